// Choosing the container, encoder and pixel format of an output.
#include <algorithm>
#include <cctype>
#include <utility>

#include "av.h"
#include "fieldfx/video/output.h"

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/timecode.h>
}

namespace fieldfx::video {

namespace {

constexpr int kDefaultCrf = 16;

struct Container {
    const char* extension;
    const char* muxer;
    const char* encoder;        // default encoder
    const char* pixelFormat;    // its default pixel format
    const char* losslessEncoder;
    const char* losslessFormat;
};

constexpr Container kContainers[] = {
    {"mp4", "mp4", "libx264", "yuv420p", "libx264", "yuv444p"},
    {"mov", "mov", "libx264", "yuv420p", "libx264", "yuv444p"},
    {"mkv", "matroska", "libx264", "yuv420p", "ffv1", "yuva444p"},
    {"avi", "avi", "ffv1", "yuv420p", "ffv1", "yuva444p"},
    {"y4m", "yuv4mpegpipe", "wrapped_avframe", "yuv444p", "wrapped_avframe", "yuv444p"},
    {"nut", "nut", "rawvideo", "yuv444p", "rawvideo", "yuva444p"},
    {"dpx", "image2", "dpx", "gbrp10le", "", ""},
    {"tif", "image2", "tiff", "rgb48le", "", ""},
    {"tiff", "image2", "tiff", "rgb48le", "", ""},
};

// Containers that -f also knows by FFmpeg's muxer name.
constexpr std::pair<const char*, const char*> kMuxerNames[] = {
    {"matroska", "mkv"}, {"yuv4mpegpipe", "y4m"}, {"mp4", "mp4"}, {"mov", "mov"},
    {"avi", "avi"},      {"nut", "nut"}};

// Codec presets of post-production: an encoder with its profile and format.
struct Preset {
    const char* name;
    const char* encoder;
    const char* profile;
    const char* pixelFormat;
};

constexpr Preset kPresets[] = {
    {"prores", "prores_ks", "hq", "yuv422p10le"},
    {"prores-4444", "prores_ks", "4444", "yuva444p10le"},
    {"dnxhr-hq", "dnxhd", "dnxhr_hq", "yuv422p"},
    {"dnxhr-hqx", "dnxhd", "dnxhr_hqx", "yuv422p10le"},
    {"dnxhr-444", "dnxhd", "dnxhr_444", "yuv444p10le"},
};

// Encoders that keep every value at their settings (libx264 at qp 0).
bool isLosslessEncoder(const std::string& name) {
    return name == "ffv1" || name == "ffvhuff" || name == "huffyuv" || name == "utvideo" ||
           name == "rawvideo" || name == "wrapped_avframe" || name == "libx264";
}

std::string extensionOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = path.substr(dot + 1);
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

bool encoderTakes(const AVCodec* codec, AVPixelFormat format) {
    if (codec->pix_fmts == nullptr) return true;
    for (const AVPixelFormat* f = codec->pix_fmts; *f != AV_PIX_FMT_NONE; ++f)
        if (*f == format) return true;
    return false;
}

const Container* containerNamed(const std::string& name) {
    std::string ext = name;
    for (const auto& [muxer, extension] : kMuxerNames)
        if (name == muxer) ext = extension;
    for (const Container& c : kContainers)
        if (ext == c.extension) return &c;
    return nullptr;
}

}  // namespace

int pipeDescriptor(const std::string& name, int standard) {
    if (name == "-" || name == "pipe:") return standard;
    if (name.rfind("pipe:", 0) != 0 || name.size() > 8) return -1;
    int fd = 0;
    for (std::size_t i = 5; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return -1;
        fd = fd * 10 + (name[i] - '0');
    }
    return fd;
}

std::string containerChoices() {
    std::string list;
    for (const Container& c : kContainers)
        if (std::string(c.extension) != "tiff") list += (list.empty() ? "" : ", ") + std::string(c.extension);
    return list;
}

std::string timecodeAfter(const std::string& timecode, Rational rate, int64_t frames) {
    AVTimecode tc;
    if (rate.num <= 0 || rate.den <= 0 ||
        av_timecode_init_from_string(&tc, AVRational{rate.num, rate.den}, timecode.c_str(),
                                     nullptr) < 0)
        return timecode;
    char text[AV_TIMECODE_STR_SIZE];
    return av_timecode_make_string(&tc, text, int(frames));
}

bool isContainerName(const std::string& name) { return containerNamed(name) != nullptr; }

bool isIntraPreset(const std::string& codec) {
    for (const Preset& p : kPresets)
        if (codec == p.name) return true;
    return false;
}

std::string intraCoding(const OutputFormat& format) {
    const std::string& e = format.encoder;
    if (e != "prores_ks" && e != "dnxhd" && e != "ffv1" && e != "dpx" && e != "tiff") return "";
    return e + " " + (format.profile.empty() ? "-" : format.profile) + " " + format.pixelFormat;
}

OutputFormat chooseOutputFormat(const std::string& path, const OutputOptions& options) {
    const bool pipe = pipeDescriptor(path, 1) >= 0;
    const std::string ext = options.container.empty() ? extensionOf(path) : options.container;
    const Container* container = containerNamed(ext);
    if (container == nullptr && !options.container.empty())
        throw VideoError("-f " + options.container + ": unknown container; choose one of " +
                         containerChoices());
    if (container == nullptr && pipe)
        throw VideoError("cannot write '" + path + "': a pipe has no name to tell its format; "
                         "give it with -f (" + containerChoices() + ")");
    if (container == nullptr)
        throw VideoError("cannot write '" + path +
                         "': unsupported output type (the name must end in .mp4, .mov, .mkv, "
                         ".avi, .y4m, .nut, .dpx or .tif)");

    OutputFormat out;
    out.muxer = container->muxer;
    out.sequence = out.muxer == "image2";
    // A pipe cannot be sought back into: only containers written front to
    // back go there.
    if (pipe && (out.muxer == "mp4" || out.muxer == "mov" || out.muxer == "avi" || out.sequence))
        throw VideoError("cannot write ." + std::string(container->extension) +
                         " into a pipe (it needs a file); a pipe takes y4m, nut or mkv");
    if (options.lossless && out.sequence)
        throw VideoError("--lossless: ." + std::string(container->extension) +
                         " frames hold R'G'B', which the fields' Y'CbCr does not survive "
                         "exactly (write .mkv, .avi or .nut --lossless)");
    out.encoder = options.lossless ? container->losslessEncoder : container->encoder;
    std::string preferred = options.lossless ? container->losslessFormat : container->pixelFormat;
    const Preset* preset = nullptr;
    for (const Preset& p : kPresets)
        if (options.codec == p.name) preset = &p;
    if (preset != nullptr) {
        if (options.lossless)
            throw VideoError("--lossless: " + options.codec + " is not a lossless codec");
        out.encoder = preset->encoder;
        out.profile = preset->profile;
        preferred = preset->pixelFormat;
    } else if (!options.codec.empty()) {
        out.encoder = options.codec;
        if (options.lossless && !isLosslessEncoder(out.encoder))
            throw VideoError("--lossless needs a lossless encoder (ffv1, ffvhuff, huffyuv, "
                             "utvideo, rawvideo or libx264), not " + out.encoder);
        if (options.lossless && preferred == "yuv444p" && out.encoder != "libx264")
            preferred = "yuva444p";
    }

    const AVCodec* codec = avcodec_find_encoder_by_name(out.encoder.c_str());
    if (codec == nullptr || codec->type != AVMEDIA_TYPE_VIDEO)
        throw VideoError("no video encoder named '" + out.encoder + "' in this FFmpeg");
    const AVOutputFormat* muxer = av_guess_format(out.muxer.c_str(), nullptr, nullptr);
    if (muxer == nullptr) throw VideoError("this FFmpeg cannot write ." + ext + " files");
    // A muxer that keeps no list of codecs takes only its own default one.
    // (An image sequence holds whatever image codec its extension names.)
    int holds = avformat_query_codec(muxer, codec->id, FF_COMPLIANCE_NORMAL);
    // Matroska holds video of a codec that has a Video for Windows or a
    // QuickTime tag (DNxHR, DPX, TIFF) in its compatibility modes, which
    // FFmpeg reads back.
    const AVCodecTag* const compatible[] = {avformat_get_riff_video_tags(),
                                            avformat_get_mov_video_tags(), nullptr};
    if (holds == 0 && out.muxer == "matroska" && av_codec_get_tag(compatible, codec->id) != 0)
        holds = 1;
    if (!out.sequence && (holds == 0 || (holds < 0 && codec->id != muxer->video_codec)))
        throw VideoError("." + ext + " files cannot hold " + out.encoder + " video");

    if (!options.pixelFormat.empty()) {
        const AVPixelFormat f = av_get_pix_fmt(options.pixelFormat.c_str());
        if (f == AV_PIX_FMT_NONE)
            throw VideoError("unknown pixel format '" + options.pixelFormat + "'");
        if (!encoderTakes(codec, f))
            throw VideoError(out.encoder + " cannot encode " + options.pixelFormat);
        out.pixelFormat = options.pixelFormat;
    } else {
        // The preferred format, else the nearest one the encoder takes.
        const AVPixelFormat want = av_get_pix_fmt(preferred.c_str());
        AVPixelFormat f = want;
        if (!encoderTakes(codec, want)) f = avcodec_find_best_pix_fmt_of_list(codec->pix_fmts, want, 1, nullptr);
        out.pixelFormat = av_get_pix_fmt_name(f);
    }

    const bool takesCrf =
        codec->priv_class != nullptr &&
        av_opt_find(const_cast<AVClass**>(&codec->priv_class), "crf", nullptr, 0,
                    AV_OPT_SEARCH_FAKE_OBJ) != nullptr;
    out.losslessH264 = options.lossless && out.encoder == "libx264";
    if (options.crf >= 0) {
        if (options.lossless) throw VideoError("--crf and --lossless exclude each other");
        if (!takesCrf) throw VideoError("--crf does not apply to " + out.encoder);
        if (options.crf > 63) throw VideoError("--crf must lie between 0 and 63");
        out.crf = options.crf;
    } else if (takesCrf && !out.losslessH264) {
        out.crf = kDefaultCrf;
    }
    return out;
}

}  // namespace fieldfx::video
