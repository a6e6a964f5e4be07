#include "av.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <map>
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

namespace {

// A regular input file, opened once and shared by every demuxer reading it
// (each at its own position, with pread).
struct OpenFile {
    int fd = -1;
    ~OpenFile() {
        if (fd >= 0) close(fd);
    }
};

// The files open now, by the name they were opened with.
std::mutex filesLock;
std::map<std::string, std::weak_ptr<OpenFile>> openFiles;

std::shared_ptr<OpenFile> openOnce(const std::string& name) {
    const std::lock_guard<std::mutex> hold(filesLock);
    if (auto it = openFiles.find(name); it != openFiles.end())
        if (auto file = it->second.lock()) return file;
    auto file = std::make_shared<OpenFile>();
    file->fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (file->fd < 0) return nullptr;
    openFiles[name] = file;
    return file;
}

// One demuxer's reading of a shared file.
struct FileReading {
    std::shared_ptr<OpenFile> file;
    int64_t position = 0;
};

int readFile(void* opaque, uint8_t* buffer, int size) {
    auto* r = static_cast<FileReading*>(opaque);
    ssize_t n;
    while ((n = pread(r->file->fd, buffer, std::size_t(size), off_t(r->position))) < 0 &&
           errno == EINTR) {
    }
    if (n < 0) return AVERROR(errno);
    if (n == 0) return AVERROR_EOF;
    r->position += n;
    return int(n);
}

int64_t seekFile(void* opaque, int64_t offset, int whence) {
    auto* r = static_cast<FileReading*>(opaque);
    struct stat st;
    if (fstat(r->file->fd, &st) != 0) return AVERROR(errno);
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE: return int64_t(st.st_size);
    case SEEK_SET: break;
    case SEEK_CUR: offset += r->position; break;
    case SEEK_END: offset += int64_t(st.st_size); break;
    default: return AVERROR(EINVAL);
    }
    if (offset < 0) return AVERROR(EINVAL);
    r->position = offset;
    return offset;
}

void freeFileIo(AVIOContext* io) {
    if (io == nullptr) return;
    delete static_cast<FileReading*>(io->opaque);
    av_freep(&io->buffer);
    avio_context_free(&io);
}

// Opens the regular file `name` for `input` through the shared descriptor.
int openRegularFile(AVFormatContext** input, const std::string& name, AVDictionary** options) {
    auto file = openOnce(name);
    if (!file) return AVERROR(errno ? errno : ENOENT);
    constexpr int kBufferSize = 1 << 16;
    auto* buffer = static_cast<uint8_t*>(av_malloc(kBufferSize));
    auto* reading = new (std::nothrow) FileReading{std::move(file), 0};
    AVIOContext* io = buffer && reading ? avio_alloc_context(buffer, kBufferSize, 0, reading,
                                                             readFile, nullptr, seekFile)
                                        : nullptr;
    AVFormatContext* context = io ? avformat_alloc_context() : nullptr;
    if (context == nullptr) {
        if (io) {
            freeFileIo(io);
        } else {
            av_free(buffer);
            delete reading;
        }
        return AVERROR(ENOMEM);
    }
    context->pb = io;
    context->flags |= AVFMT_FLAG_CUSTOM_IO;
    const int r = avformat_open_input(&context, name.c_str(), nullptr, options);
    if (r < 0) {
        freeFileIo(io);  // the failed open freed the context, not its custom I/O
        return r;
    }
    *input = context;
    return r;
}

bool isReading(const AVIOContext* io) {
    return io != nullptr && io->read_packet == readFile;
}

}  // namespace

void closeInput(AVFormatContext* input) {
    if (input == nullptr) return;
    AVIOContext* io = (input->flags & AVFMT_FLAG_CUSTOM_IO) && isReading(input->pb) ? input->pb
                                                                                   : nullptr;
    avformat_close_input(&input);
    freeFileIo(io);
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
    const bool regular = stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    const int r = regular ? openRegularFile(input, name, &options)
                          : avformat_open_input(input, url.c_str(), nullptr, &options);
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
