// A frei0r host's RGBA8888 frames and the operators' two fields of Y'CbCr
// pixels. The frame's even lines make field 0, its odd lines field 1 (the
// field rendered with OPF_ODD_FIELD), line by line as every split and weave
// of the host does (fieldfx/fieldio/frames.h): an odd frame height leaves
// field 1 one line short, which repeats its own last line, so the fields are
// those `fieldfx render` makes of the same frames.
#ifndef FIELDFX_FREI0R_FRAME_FIELDS_H
#define FIELDFX_FREI0R_FRAME_FIELDS_H

#include <cstdint>

#include "fieldfx/fieldio/field.h"
#include "fieldfx/fieldio/frames.h"
#include "fieldfx/fieldio/ycbcr.h"

namespace fieldfx::frei0r {

// An input frame and the two fields split from it.
struct Picture {
    const uint32_t* rgba = nullptr;
    io::Field fields[2];
};

class FrameFields {
public:
    // Frames of width x height (each at least 1); the matrix follows the
    // height as it does for R'G'B' video on the command line.
    FrameFields(int32_t width, int32_t height);

    int32_t fieldWidth() const { return width_; }
    int32_t fieldHeight() const { return io::fieldRows(height_); }
    io::Matrix matrix() const { return matrix_; }
    std::size_t frameBytes() const { return std::size_t(width_) * std::size_t(height_) * 4; }

    // Converts `rgba` (R, G, B, A bytes, alpha as opacity) into fields[0]
    // (even lines) and fields[1] (odd lines).
    void split(const uint32_t* rgba, io::Field fields[2]) const;
    // The frame woven from `fields` into `rgba`. A pixel the operator left
    // as it is in one of the `count` inputs gets that input's own R'G'B'
    // back, so unchanged pictures pass through exactly instead of taking the
    // conversion's rounding twice.
    void weave(const io::Field fields[2], const Picture* inputs, int count, uint32_t* rgba) const;

private:
    int32_t width_, height_;
    io::Matrix matrix_;
    double unit_[256];  // a byte as 0..1
};

}  // namespace fieldfx::frei0r

#endif
