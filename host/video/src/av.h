// Small helpers around FFmpeg's C API shared by the library's files:
// owning pointers, error text, and scaler contexts.
#ifndef FIELDFX_VIDEO_AV_H
#define FIELDFX_VIDEO_AV_H

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <atomic>
#include <memory>
#include <string>

#include "fieldfx/video/clip.h"

namespace fieldfx::video::av {

struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct CodecFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
// Closes an input of openInput (with the file it reads, when it was its last
// reader) or any other demuxer.
void closeInput(AVFormatContext* input);
struct InputClose {
    void operator()(AVFormatContext* f) const { closeInput(f); }
};
struct ScalerFree {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFree>;
using InputPtr = std::unique_ptr<AVFormatContext, InputClose>;
using ScalerPtr = std::unique_ptr<SwsContext, ScalerFree>;

std::string errorText(int code);

// FFmpeg's own log lines are kept, not printed: the last error line is
// added to the library's messages. `takeLogError` returns it (or "") and
// forgets it.
void installLogCapture();
std::string takeLogError();
// Counts into `errors` the errors `decoder` logs from now on, until
// unwatched: damage a decoder conceals and only logs (FFV1's slice CRC
// mismatch) is damage all the same.
void watchErrors(const AVCodecContext* decoder, std::atomic<int>* errors);
void unwatchErrors(const AVCodecContext* decoder);
// Opens `name` for reading. Inputs are local files, read as named (a colon
// in a file's name is no protocol), and pipes; other protocols (network,
// concat:, ...) only when FIELDFX_INPUT_PROTOCOLS lists them
// (comma-separated). Throws VideoError for a protocol not allowed; returns
// avformat_open_input's result. A regular file is opened once: while an
// input of it is open, every further one (counting its frames, copying its
// audio) reads the same open file, so a file renamed, replaced or unlinked
// in between cannot change what is read. Close with closeInput (InputPtr).
int openInput(AVFormatContext** input, const std::string& name);

// errorText(code), followed by the captured log line in parentheses.
std::string describe(int code);

FramePtr allocFrame();
PacketPtr allocPacket();
// A frame with buffers of the given format and size (throws on failure).
FramePtr allocFrame(AVPixelFormat format, int width, int height);

// One side of a scaler: geometry, format, range (1 limited, 2 full), the
// matrix for R'G'B' <-> Y'CbCr (H.273 numbering) and the vertical position of
// the chroma samples in 1/256 of a luma line (-513: the scaler's default).
struct ScaleSide {
    int width = 0, height = 0;
    AVPixelFormat format = AV_PIX_FMT_NONE;
    int range = 1;
    int matrix = 2;
    int chromaPos = -513;
};
// Throws VideoError when the scaler cannot make the conversion.
ScalerPtr makeScaler(const ScaleSide& from, const ScaleSide& to);

bool isFullRangeFormat(AVPixelFormat format);  // the yuvj formats
bool hasAlpha(AVPixelFormat format);
bool isRgb(AVPixelFormat format);
// Chroma lines are half as many as luma lines (4:2:0 and 4:1:0 formats).
bool halvesChromaLines(AVPixelFormat format);

}  // namespace fieldfx::video::av

#endif
