// Decoded frames to fields of 4-byte pixels and back.
//
// Interlaced frames are converted one field at a time: the field's lines of
// every plane are gathered first, and a 4:2:0 field is scaled with the chroma
// siting of its parity (a quarter line below the luma line for the even
// field, three quarters for the odd one), so chroma never mixes across
// fields. Progressive frames are converted whole and then split into their
// even and odd lines.
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

class FrameSplitter {
public:
    explicit FrameSplitter(const FrameFormat& source);
    // The two fields of `frame` in time order, limited range; opacity from the
    // alpha channel, 255 without one.
    void split(const AVFrame& frame, Field& first, Field& second);

private:
    FrameFormat source_;
    bool alpha_;
    AVPixelFormat planar_;  // yuv444p or yuva444p
    av::ScalerPtr scalers_[2];
    av::FramePtr lines_[2];  // the field's lines in the source format
    av::FramePtr planes_[2];
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
    av::ScalerPtr scalers_[2];
    av::FramePtr planes_[2];
    av::FramePtr lines_[2];
};

}  // namespace fieldfx::video

#endif
