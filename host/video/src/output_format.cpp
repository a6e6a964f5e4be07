// Choosing the container, encoder and pixel format of an output.
#include <algorithm>
#include <cctype>

#include "av.h"
#include "fieldfx/video/output.h"

extern "C" {
#include <libavutil/opt.h>
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

}  // namespace

OutputFormat chooseOutputFormat(const std::string& path, const OutputOptions& options) {
    const std::string ext = extensionOf(path);
    const Container* container = nullptr;
    for (const Container& c : kContainers)
        if (ext == c.extension) container = &c;
    if (container == nullptr)
        throw VideoError("cannot write '" + path +
                         "': unsupported output type (the name must end in .mp4, .mov, .mkv, "
                         ".avi or .y4m)");

    OutputFormat out;
    out.muxer = container->muxer;
    out.encoder = options.lossless ? container->losslessEncoder : container->encoder;
    std::string preferred = options.lossless ? container->losslessFormat : container->pixelFormat;
    if (!options.codec.empty()) {
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
    const int holds = avformat_query_codec(muxer, codec->id, FF_COMPLIANCE_NORMAL);
    if (holds == 0 || (holds < 0 && codec->id != muxer->video_codec))
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
