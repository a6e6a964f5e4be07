#include "av.h"

#include <sys/stat.h>

#include <cstdarg>
#include <cstdlib>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

namespace fieldfx::video::av {

std::string errorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

namespace {

// Decoder threads log too, so the line is shared by the process.
std::mutex logLock;
std::string lastLogError;
std::vector<std::pair<const void*, std::atomic<int>*>> watched;  // decoders and their error counts

void captureLine(void* object, int level, const char* format, va_list args) {
    if (level > AV_LOG_ERROR) return;
    char line[512];
    int prefix = 1;
    av_log_format_line(object, level, format, args, line, sizeof line, &prefix);
    std::string text(line);
    // Drop the "[component @ 0x...] " prefix and the line end.
    if (const auto close = text.find("] "); !text.empty() && text[0] == '[' && close != std::string::npos)
        text.erase(0, close + 2);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    if (text.empty()) return;
    std::lock_guard<std::mutex> hold(logLock);
    lastLogError = text;
    for (const auto& [decoder, errors] : watched)
        if (decoder == object) ++*errors;
}

}  // namespace

void installLogCapture() {
    static const bool installed = [] {
        av_log_set_callback(captureLine);
        return true;
    }();
    (void)installed;
}

void watchErrors(const AVCodecContext* decoder, std::atomic<int>* errors) {
    std::lock_guard<std::mutex> hold(logLock);
    watched.emplace_back(decoder, errors);
}

void unwatchErrors(const AVCodecContext* decoder) {
    std::lock_guard<std::mutex> hold(logLock);
    for (std::size_t i = 0; i < watched.size(); ++i)
        if (watched[i].first == decoder) watched.erase(watched.begin() + long(i--));
}

std::string takeLogError() {
    std::lock_guard<std::mutex> hold(logLock);
    std::string text;
    text.swap(lastLogError);
    return text;
}

int openInput(AVFormatContext** input, const std::string& name) {
    std::string allowed = "file,pipe";
    if (const char* more = std::getenv("FIELDFX_INPUT_PROTOCOLS"); more != nullptr && *more)
        allowed += std::string(",") + more;
    std::string url = name;
    struct stat st;
    if (stat(name.c_str(), &st) == 0 && S_ISFIFO(st.st_mode)) {
        // A second open of a pipe would wait for a writer that is gone.
        static std::mutex pipesLock;
        static std::set<std::pair<dev_t, ino_t>> pipes;
        const std::lock_guard<std::mutex> hold(pipesLock);
        if (!pipes.emplace(st.st_dev, st.st_ino).second)
            throw VideoError("'" + name + "' is a pipe: it is read once, from its start, and was "
                             "read already");
    }
    const char* protocol = avio_find_protocol_name(name.c_str());
    if (stat(name.c_str(), &st) == 0 || protocol == nullptr ||
        name.find(':') == std::string::npos) {
        url = "file:" + name;
    } else if (("," + allowed + ",").find("," + std::string(protocol) + ",") == std::string::npos) {
        throw VideoError("'" + name + "': input protocol " + protocol +
                         " is not allowed: inputs are files, pipes and built-in clips "
                         "(FIELDFX_INPUT_PROTOCOLS=" + protocol + " allows it)");
    }
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", allowed.c_str(), 0);
    const int r = avformat_open_input(input, url.c_str(), nullptr, &options);
    av_dict_free(&options);
    return r;
}

std::string describe(int code) {
    std::string text = errorText(code);
    const std::string log = takeLogError();
    if (!log.empty() && log != text) text += " (" + log + ")";
    return text;
}

FramePtr allocFrame() {
    FramePtr frame(av_frame_alloc());
    if (!frame) throw VideoError("out of memory");
    return frame;
}

PacketPtr allocPacket() {
    PacketPtr packet(av_packet_alloc());
    if (!packet) throw VideoError("out of memory");
    return packet;
}

FramePtr allocFrame(AVPixelFormat format, int width, int height) {
    FramePtr frame = allocFrame();
    frame->format = format;
    frame->width = width;
    frame->height = height;
    if (av_frame_get_buffer(frame.get(), 0) < 0) throw VideoError("out of memory");
    return frame;
}

namespace {

const int* coefficients(int matrix) {
    // sws_getCoefficients takes the same numbers; unknown ones give BT.601.
    return sws_getCoefficients(matrix);
}

}  // namespace

ScalerPtr makeScaler(const ScaleSide& from, const ScaleSide& to) {
    ScalerPtr scaler(sws_alloc_context());
    if (!scaler) throw VideoError("out of memory");
    SwsContext* s = scaler.get();
    // Bit-exact C paths: the same pixels on every machine, whatever its SIMD.
    int flags = SWS_BICUBIC | SWS_ACCURATE_RND | SWS_BITEXACT;
    if (isRgb(from.format)) flags |= SWS_FULL_CHR_H_INP;
    if (isRgb(to.format)) flags |= SWS_FULL_CHR_H_INT;
    av_opt_set_int(s, "sws_flags", flags, 0);
    av_opt_set_int(s, "srcw", from.width, 0);
    av_opt_set_int(s, "srch", from.height, 0);
    av_opt_set_int(s, "src_format", from.format, 0);
    av_opt_set_int(s, "dstw", to.width, 0);
    av_opt_set_int(s, "dsth", to.height, 0);
    av_opt_set_int(s, "dst_format", to.format, 0);
    av_opt_set_int(s, "src_range", from.range == 2 ? 1 : 0, 0);
    av_opt_set_int(s, "dst_range", to.range == 2 ? 1 : 0, 0);
    av_opt_set_int(s, "src_v_chr_pos", from.chromaPos, 0);
    av_opt_set_int(s, "dst_v_chr_pos", to.chromaPos, 0);
    if (sws_init_context(s, nullptr, nullptr) < 0)
        throw VideoError(std::string("cannot convert ") + av_get_pix_fmt_name(from.format) +
                         " to " + av_get_pix_fmt_name(to.format));
    if (isRgb(from.format) != isRgb(to.format))
        sws_setColorspaceDetails(s, coefficients(from.matrix), from.range == 2 ? 1 : 0,
                                 coefficients(to.matrix), to.range == 2 ? 1 : 0, 0, 1 << 16,
                                 1 << 16);
    return scaler;
}

bool isFullRangeFormat(AVPixelFormat format) {
    switch (format) {
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUVJ444P:
    case AV_PIX_FMT_YUVJ440P:
    case AV_PIX_FMT_YUVJ411P:
        return true;
    default:
        return false;
    }
}

bool hasAlpha(AVPixelFormat format) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    return d != nullptr && (d->flags & AV_PIX_FMT_FLAG_ALPHA) != 0;
}

bool isRgb(AVPixelFormat format) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    return d != nullptr && ((d->flags & AV_PIX_FMT_FLAG_RGB) != 0 ||
                            (d->flags & AV_PIX_FMT_FLAG_PAL) != 0);
}

bool halvesChromaLines(AVPixelFormat format) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    return d != nullptr && !isRgb(format) && d->nb_components >= 3 && d->log2_chroma_h == 1;
}

}  // namespace fieldfx::video::av
