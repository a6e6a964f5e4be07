// Decoded frames to fields of 4-byte pixels and back.
//
// A frame is first brought to 8-bit planar Y'CbCr with its own chroma
// subsampling and limited range (by the scaler, which leaves every line in
// its place). Subsampled chroma then reaches full resolution by repeating
// each sample over the pixels it covers, and returns by averaging them, so a
// frame that goes through unchanged comes back with the very same chroma.
// Interlaced frames are handled one field at a time: each field's chroma
// lines serve its own lines only, never those of the other field.
// Progressive frames are converted whole and split into even and odd lines.
// Either way every row goes between the frame's lines and the field in one
// pass.
#ifndef FIELDFX_VIDEO_FRAME_FIELDS_H
#define FIELDFX_VIDEO_FRAME_FIELDS_H

#include "av.h"

namespace fieldfx::video {

// The geometry and colour of one side of the conversion.
struct FrameFormat {
    int width = 0, height = 0;
    AVPixelFormat format = AV_PIX_FMT_NONE;
    Scan scan = Scan::Progressive;
    int range = 1;   // 1 limited, 2 full
    int matrix = 2;  // for R'G'B' formats: the Y'CbCr matrix of the fields
};

// Line `row` of a yuv444p / yuva444p picture as one row of 4-byte pixels
// (opacity 255 without alpha), and back.
void packRow(const AVFrame& planar, int row, bool alpha, uint8_t* out);
void unpackRow(const uint8_t* in, bool alpha, int row, AVFrame& planar);

// The 8-bit planar Y'CbCr format with the chroma subsampling (and alpha) of
// `format`; 4:4:4 for R'G'B', grey and palette formats.
AVPixelFormat planarFormatFor(AVPixelFormat format);

class FrameSplitter {
public:
    explicit FrameSplitter(const FrameFormat& source);
    // The two fields of `frame` in time order, limited range; opacity from the
    // alpha channel, 255 without one.
    void split(const AVFrame& frame, Field& first, Field& second);

    // Whether frames are split without the scaler: their fields can then be
    // made apart (splitField), each on any thread.
    bool splitsDirectly() const { return !scaler_; }
    // Throws VideoError for a frame of another size or format than the source's.
    void check(const AVFrame& frame) const;
    // Field `which` (0 first in time, 1 second) of a checked frame that
    // needs no scaler, as split makes it. Safe on several threads at once.
    void splitField(const AVFrame& frame, int which, Field& out) const;

private:
    FrameFormat source_;
    AVPixelFormat planar_;
    bool alpha_;
    av::ScalerPtr scaler_;   // source -> planar_, when they differ
    av::FramePtr planarFrame_;
};

class FrameWeaver {
public:
    explicit FrameWeaver(const FrameFormat& target);
    // Weaves two fields (in time order) into `frame`, which must have the
    // target's format and size.
    void weave(const Field& first, const Field& second, AVFrame& frame);

private:
    FrameFormat target_;
    AVPixelFormat planar_;
    bool alpha_;
    av::ScalerPtr scaler_;  // planar_ -> target, when they differ
    av::FramePtr planarFrame_;
};

}  // namespace fieldfx::video

#endif
