// A transition's second input made to match the first: which source field
// each field comes from at another frame rate, fields moved half a line for
// the other field order, and fields scaled to another frame size.
#include <gtest/gtest.h>

#include "fieldfx/video/field_reader.h"
#include "video_clips.h"

using namespace fieldfx::video;
using namespace videotest;

namespace {

ClipInfo target(int width, int height, Rational rate, Scan scan) {
    ClipInfo t;
    t.width = width;
    t.height = height;
    t.frameRate = rate;
    t.timeBase = {rate.den, rate.num};
    t.scan = scan;
    return t;
}

SourceOptions gradient(int frames) {
    SourceOptions o;
    o.width = 32;
    o.height = 16;
    o.frames = frames;
    return o;
}

// Cb of the 32 x 16 built-in gradient on frame line `line`.
int gradientCb(int line) { return 16 + 224 * line / 15; }

}  // namespace

TEST(Conform, NeededForAnotherSizeRateOrFieldOrder) {
    const ClipInfo a = target(720, 576, {25, 1}, Scan::TopFirst);
    EXPECT_FALSE(needsConforming(a, a));
    EXPECT_TRUE(needsConforming(a, target(704, 576, {25, 1}, Scan::TopFirst)));
    EXPECT_TRUE(needsConforming(a, target(720, 480, {25, 1}, Scan::TopFirst)));
    EXPECT_TRUE(needsConforming(a, target(720, 576, {30000, 1001}, Scan::TopFirst)));
    EXPECT_TRUE(needsConforming(a, target(720, 576, {25, 1}, Scan::BottomFirst)));
    EXPECT_FALSE(needsConforming(a, target(720, 576, {50, 2}, Scan::TopFirst)));
}

TEST(Conform, DoubleRateRepeatsEachField) {
    FieldReader source("builtin:gradient", gradient(4));
    ConformedReader c(source, target(32, 16, {50, 1}, Scan::TopFirst));
    EXPECT_EQ(c.info().frames, 8);
    EXPECT_EQ(c.fieldCount(), 16);
    for (int64_t j = 0; j < 16; ++j) EXPECT_EQ(c.sourceIndex(j), j / 2) << j;
    // Field 3 (odd lines) is source field 1 (odd lines), unchanged.
    EXPECT_EQ(c.field(3).row(2)[1], gradientCb(5));
}

TEST(Conform, HalfRateTakesEveryOtherField) {
    FieldReader source("builtin:gradient", gradient(4));
    ConformedReader c(source, target(32, 16, {25, 2}, Scan::TopFirst));
    EXPECT_EQ(c.info().frames, 2);
    for (int64_t j = 0; j < 4; ++j) EXPECT_EQ(c.sourceIndex(j), 2 * j) << j;
}

TEST(Conform, NtscRateFromPal) {
    FieldReader source("builtin:gradient", gradient(4));
    ConformedReader c(source, target(32, 16, {30000, 1001}, Scan::TopFirst));
    // Field j shows source field floor(j x 25 x 1001 / 30000).
    const int64_t expected[] = {0, 0, 1, 2, 3, 4, 5, 5, 6, 7};
    for (int64_t j = 0; j < 10; ++j) EXPECT_EQ(c.sourceIndex(j), expected[j]) << j;
    // 8 source fields last 9.59 fields at the new rate: 10 fields, 5 frames.
    EXPECT_EQ(c.info().frames, 5);
}

TEST(Conform, OtherFieldOrderMovesFieldsHalfALine) {
    FieldReader source("builtin:gradient", gradient(2));
    ConformedReader c(source, target(32, 16, {25, 1}, Scan::BottomFirst));
    EXPECT_EQ(c.info().scan, Scan::BottomFirst);
    // Field 0 must hold odd lines; source field 0 has the even ones: row y is
    // the rounded-up mean of lines 2y and 2y + 2, the last row its own line.
    const Field& first = c.field(0);
    EXPECT_EQ(first.row(0)[1], (gradientCb(0) + gradientCb(2) + 1) / 2);  // (16 + 45 + 1) / 2
    EXPECT_EQ(first.row(0)[1], 31);
    EXPECT_EQ(first.row(7)[1], gradientCb(14));
    // Field 1 must hold even lines; source field 1 has the odd ones: row y is
    // the mean of lines 2y - 1 and 2y + 1, the first row its own line.
    const Field& second = c.field(1);
    EXPECT_EQ(second.row(0)[1], gradientCb(1));
    EXPECT_EQ(second.row(1)[1], (gradientCb(1) + gradientCb(3) + 1) / 2);  // (30 + 60 + 1) / 2
    EXPECT_EQ(second.row(1)[1], 45);
    // Lanes without vertical change stay as they are.
    EXPECT_EQ(second.row(3)[4 * 5 + 3], c.field(1).row(0)[4 * 5 + 3]);
}

TEST(Conform, SameFieldOrderKeepsFieldsAsTheyAre) {
    FieldReader source("builtin:gradient", gradient(2));
    const Field expected = source.field(1);
    ConformedReader c(source, target(32, 16, {25, 1}, Scan::TopFirst));
    EXPECT_TRUE(c.field(1).pixels == expected.pixels);
}

TEST(Conform, OtherSizeScalesEachField) {
    const std::string path = clip("flat.mkv", {"-f", "lavfi", "-i",
                                               "color=c=0x3070B0:s=32x16:r=25:d=0.08,format=yuv444p",
                                               "-c:v", "ffv1"});
    FieldReader source(path);
    const Field original = source.field(0);
    ConformedReader c(source, target(64, 48, {25, 1}, Scan::Progressive));
    const Field& f = c.field(0);
    ASSERT_EQ(f.width, 64);
    ASSERT_EQ(f.height, 24);
    // A flat picture stays flat at any size.
    for (int lane = 0; lane < 4; ++lane)
        EXPECT_EQ(laneDeviation(f, lane, original.pixels[lane]), 0) << lane;
}

TEST(Conform, ReadingBackwardsReopensTheSource) {
    FieldReader source("builtin:gradient", gradient(4));
    const Field late = source.field(7);
    const Field early = source.field(0);
    EXPECT_TRUE(source.field(7).pixels == late.pixels);
    EXPECT_TRUE(source.field(0).pixels == early.pixels);
    EXPECT_THROW(source.field(8), VideoError);
    EXPECT_THROW(source.field(-1), VideoError);
}

TEST(Conform, FieldsTakenOverAreReadAgainWhenAskedFor) {
    FieldReader fresh("builtin:motion", gradient(3)), reader("builtin:motion", gradient(3));
    Field slot;  // empty at first: the reader is handed a buffer of no size
    for (int64_t i : {0, 1, 2, 3}) {
        reader.takeField(i, slot);
        ASSERT_EQ(slot.width, 32);
        ASSERT_TRUE(slot.pixels == fresh.field(i).pixels) << i;
    }
    // Both fields of the frames kept were given up.
    EXPECT_TRUE(reader.field(2).pixels == fresh.field(2).pixels);
    EXPECT_TRUE(reader.field(3).pixels == fresh.field(3).pixels);
    reader.takeField(5, slot);
    EXPECT_TRUE(reader.field(4).pixels == fresh.field(4).pixels);
    EXPECT_TRUE(reader.field(5).pixels == fresh.field(5).pixels);
    EXPECT_TRUE(slot.pixels == fresh.field(5).pixels);
}
