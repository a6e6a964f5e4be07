// Clip descriptions: pixel aspect from the sample aspect ratio, field order
// names and parities, and the matrix assumed for untagged clips.
#include <gtest/gtest.h>

#include "fieldfx/video/clip.h"

using namespace fieldfx::video;

TEST(VideoPixelAspect, IsThousandOverTheSampleAspectRoundedHalfUp) {
    EXPECT_EQ(pixelAspectOf({1, 1}), 1000);
    EXPECT_EQ(pixelAspectOf({16, 15}), 938);  // 937.5
    EXPECT_EQ(pixelAspectOf({64, 45}), 703);  // 703.125
    EXPECT_EQ(pixelAspectOf({12, 11}), 917);  // 916.67
    EXPECT_EQ(pixelAspectOf({8, 9}), 1125);
    EXPECT_EQ(pixelAspectOf({10, 11}), 1100);
    EXPECT_EQ(pixelAspectOf({2, 1}), 500);
}

TEST(VideoPixelAspect, UnknownRatiosGiveSquarePixels) {
    EXPECT_EQ(pixelAspectOf({0, 1}), 1000);
    EXPECT_EQ(pixelAspectOf({1, 0}), 1000);
    EXPECT_EQ(pixelAspectOf({-4, 3}), 1000);
    EXPECT_EQ(pixelAspectOf({4, -3}), 1000);
}

TEST(VideoPixelAspect, StaysWithinTheRequestField) {
    EXPECT_EQ(pixelAspectOf({1, 100}), 32767);      // 100000
    EXPECT_EQ(pixelAspectOf({3, 2000}), 32767);     // 666666.7
    EXPECT_EQ(pixelAspectOf({100000, 1}), 1);       // 0.01
    EXPECT_EQ(pixelAspectOf({2147483647, 1}), 1);
    EXPECT_EQ(pixelAspectOf({1, 2147483647}), 32767);
}

// The names messages give are the ones --field-order takes.
TEST(VideoScan, NamesAreTheOptionsSpellings) {
    EXPECT_STREQ(scanName(Scan::Progressive), "progressive");
    EXPECT_STREQ(scanName(Scan::TopFirst), "tff");
    EXPECT_STREQ(scanName(Scan::BottomFirst), "bff");
}

TEST(VideoScan, OddLinesComeSecondExceptBottomFirst) {
    EXPECT_FALSE(fieldHoldsOddLines(Scan::TopFirst, 0));
    EXPECT_TRUE(fieldHoldsOddLines(Scan::TopFirst, 1));
    EXPECT_FALSE(fieldHoldsOddLines(Scan::Progressive, 0));
    EXPECT_TRUE(fieldHoldsOddLines(Scan::Progressive, 1));
    EXPECT_TRUE(fieldHoldsOddLines(Scan::BottomFirst, 0));
    EXPECT_FALSE(fieldHoldsOddLines(Scan::BottomFirst, 1));
    // Field indices count on through the clip.
    EXPECT_TRUE(fieldHoldsOddLines(Scan::BottomFirst, 6));
    EXPECT_TRUE(fieldHoldsOddLines(Scan::TopFirst, 7));
}

TEST(VideoMatrix, UntaggedClipsAssumeTheMatrixOfTheirSize) {
    EXPECT_EQ(defaultMatrix(576), 5);
    EXPECT_EQ(defaultMatrix(719), 5);
    EXPECT_EQ(defaultMatrix(720), 1);
    EXPECT_EQ(effectiveMatrix({2, 1, 2, 2}, 1080), 1);
    EXPECT_EQ(effectiveMatrix({0, 1, 2, 2}, 480), 5);
    EXPECT_EQ(effectiveMatrix({6, 1, 2, 2}, 1080), 6);
    EXPECT_EQ(effectiveMatrix({1, 1, 2, 2}, 480), 1);
}

TEST(VideoClipInfo, FieldsOfOddHeightFramesRoundUp) {
    ClipInfo info;
    info.height = 576;
    info.frames = 10;
    EXPECT_EQ(info.fieldHeight(), 288);
    EXPECT_EQ(info.fieldCount(), 20);
    info.height = 577;
    EXPECT_EQ(info.fieldHeight(), 289);
}
