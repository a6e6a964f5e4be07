// The plug-ins' frames and fields: R'G'B' frames split into the fields the
// command line makes of the same frames, and woven back to the same frames.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "frame_fields.h"

using fieldfx::frei0r::FrameFields;
using fieldfx::frei0r::Picture;

namespace {

// A frame of `height` lines whose line l is the grey 40 + 30 l, opaque.
std::vector<uint32_t> greyLines(int32_t width, int32_t height) {
    std::vector<uint32_t> rgba(std::size_t(width) * height);
    for (int32_t l = 0; l < height; ++l) {
        const uint32_t v = uint32_t(40 + 30 * l);
        for (int32_t x = 0; x < width; ++x)
            rgba[std::size_t(l) * width + x] = v | v << 8 | v << 16 | 0xffu << 24;
    }
    return rgba;
}

}  // namespace

// Five lines: the odd field holds lines 1 and 3 and repeats line 3, its own
// last line (not line 4, which belongs to the other field and instant);
// weaving gives the five lines back and drops the repeated row.
TEST(Frei0rFrameFields, OddHeightRepeatsTheOddFieldsOwnLastLine) {
    const FrameFields frames(3, 5);
    ASSERT_EQ(frames.fieldHeight(), 3);
    Picture picture;
    const std::vector<uint32_t> frame = greyLines(3, 5);
    picture.rgba = frame.data();
    frames.split(frame.data(), picture.fields);
    const std::size_t rowBytes = 3 * 4;
    const FrameFields single(3, 1);
    for (int32_t line = 0; line < 5; ++line) {
        // Each frame line converted on its own, as the row it becomes.
        fieldfx::io::Field one[2];
        single.split(frame.data() + line * 3, one);
        EXPECT_EQ(std::memcmp(picture.fields[line & 1].row(line / 2), one[0].row(0), rowBytes), 0)
            << "line " << line;
    }
    EXPECT_EQ(std::memcmp(picture.fields[1].row(2), picture.fields[1].row(1), rowBytes), 0);
    EXPECT_NE(std::memcmp(picture.fields[1].row(2), picture.fields[0].row(2), rowBytes), 0);

    std::vector<uint32_t> woven(frame.size());
    frames.weave(picture.fields, nullptr, 0, woven.data());
    EXPECT_EQ(woven, frame);
}
