// The built-in clips: their description, their pictures (exact pixels of the
// bars and the gradient; the motion clip's two fields at their own
// instants), the size, length and field order options, and bad names.
#include <gtest/gtest.h>

#include "fieldfx/fieldio/ycbcr.h"
#include "fieldfx/video/clip.h"
#include "fieldfx/video/source.h"
#include "testhost.h"
#include "video_testing.h"

using namespace fieldfx::video;

namespace {

std::vector<uint8_t> px(const Field& f, int x, int row) {
    const uint8_t* p = f.row(row) + 4 * x;
    return {p[0], p[1], p[2], p[3]};
}

Frame firstFrame(const std::string& name, const SourceOptions& options = {}) {
    auto source = openSource(name, options);
    Frame frame;
    EXPECT_TRUE(source->read(frame));
    return frame;
}

using Px = std::vector<uint8_t>;

}  // namespace

TEST(Builtin, DefaultsToInterlacedPalSizeAtTwentyFiveFrames) {
    for (const std::string& name : builtinNames()) {
        auto source = openSource(name);
        const ClipInfo& info = source->info();
        EXPECT_EQ(info.name, name);
        EXPECT_EQ(info.width, 720);
        EXPECT_EQ(info.height, 576);
        EXPECT_EQ(info.frameRate.num, 25);
        EXPECT_EQ(info.frameRate.den, 1);
        EXPECT_EQ(info.timeBase.num, 1);
        EXPECT_EQ(info.timeBase.den, 25);
        EXPECT_EQ(info.scan, Scan::TopFirst);
        EXPECT_EQ(pixelAspectOf(info.sampleAspect), 1000);
        EXPECT_EQ(info.colour.matrix, 5);
        EXPECT_EQ(info.colour.range, 1);
        EXPECT_EQ(info.frames, 50);
        EXPECT_FALSE(info.alpha);
        EXPECT_FALSE(info.audio);
    }
    EXPECT_EQ(builtinNames(),
              (std::vector<std::string>{"builtin:bars", "builtin:motion", "builtin:gradient"}));
    EXPECT_TRUE(isBuiltinName("builtin:motion"));
    EXPECT_FALSE(isBuiltinName("motion.mp4"));
}

// Standard definition up to 719 lines, high definition from 720: the clips'
// colour tags, the matrix of untagged video and that of untagged R'G'B'
// pictures all switch at the same line.
TEST(Builtin, HighDefinitionStartsAtSevenHundredTwentyLines) {
    for (const int height : {718, 719, 720, 721, 1080}) {
        SCOPED_TRACE(height);
        SourceOptions options;
        options.width = 64;
        options.height = height;
        const ColourTags colour = openSource("builtin:bars", options)->info().colour;
        const bool hd = height >= 720;
        EXPECT_EQ(colour.matrix, hd ? 1 : 5);
        EXPECT_EQ(colour.primaries, hd ? 1 : 5);
        EXPECT_EQ(colour.transfer, hd ? 1 : 6);
        EXPECT_EQ(defaultMatrix(height), hd ? 1 : 5);
        EXPECT_EQ(fieldfx::io::matrixForHeight(height),
                  hd ? fieldfx::io::Matrix::Bt709 : fieldfx::io::Matrix::Bt601);
    }
}

TEST(Builtin, LengthOptionAndTimestamps) {
    SourceOptions options;
    options.frames = 3;
    auto source = openSource("builtin:bars", options);
    Frame frame;
    for (int64_t k = 0; k < 3; ++k) {
        ASSERT_TRUE(source->read(frame));
        EXPECT_EQ(frame.pts, k);
        EXPECT_EQ(frame.first.width, 720);
        EXPECT_EQ(frame.first.height, 288);
        EXPECT_EQ(frame.second.height, 288);
    }
    EXPECT_FALSE(source->read(frame));
    EXPECT_FALSE(source->read(frame));
}

TEST(Builtin, BarsAreFullWhiteThenSeventyFivePercentColours) {
    const Frame f = firstFrame("builtin:bars");
    // BT.601 limited range: white 100 %, 75 % yellow, 75 % blue, black.
    EXPECT_EQ(px(f.first, 0, 0), (Px{255, 128, 128, 235}));
    EXPECT_EQ(px(f.first, 89, 100), (Px{255, 128, 128, 235}));
    EXPECT_EQ(px(f.first, 90, 100), (Px{255, 44, 142, 162}));
    EXPECT_EQ(px(f.second, 540, 215), (Px{255, 212, 114, 35}));  // frame line 431
    EXPECT_EQ(px(f.second, 719, 0), (Px{255, 128, 128, 16}));
    // The bottom quarter (frame lines 432 on) is an eight-step grey scale.
    EXPECT_EQ(px(f.first, 0, 216), (Px{255, 128, 128, 16}));
    EXPECT_EQ(px(f.first, 270, 216), (Px{255, 128, 128, 110}));  // step 3 of 7
    EXPECT_EQ(px(f.second, 719, 287), (Px{255, 128, 128, 235}));
}

TEST(Builtin, GradientRampsEachComponent) {
    SourceOptions small;
    small.width = 32;
    small.height = 16;
    const Frame f = firstFrame("builtin:gradient", small);
    // Y' = 16 + 219 x / 31, Cr = 240 - 224 x / 31, Cb = 16 + 224 line / 15.
    EXPECT_EQ(px(f.first, 0, 0), (Px{255, 16, 240, 16}));
    EXPECT_EQ(px(f.second, 0, 0), (Px{255, 30, 240, 16}));  // frame line 1
    EXPECT_EQ(px(f.first, 16, 3), (Px{255, 105, 125, 129}));  // line 6: 16 + 89
    EXPECT_EQ(px(f.second, 31, 7), (Px{255, 240, 16, 235}));  // line 15
}

TEST(Builtin, MotionFieldsAreDrawnAtTheirOwnInstants) {
    const Frame f = firstFrame("builtin:motion");
    // The checkerboard (cells of 48) scrolls 3 pixels a field. Frame line 120
    // (first field) at instant 0: column 46 is in cell 0 of cell row 2, the
    // light first hue; line 121 (second field) at instant 1: column 46 + 3 is
    // in cell 1, an odd cell, the dark second hue.
    EXPECT_EQ(px(f.first, 46, 60), (Px{255, 109, 184, 114}));
    EXPECT_EQ(px(f.second, 46, 60), (Px{255, 104, 141, 77}));
    // The band of frame lines 449 .. 494 alternates white and black lines.
    EXPECT_EQ(px(f.first, 2, 230), (Px{255, 128, 128, 224}));   // line 460
    EXPECT_EQ(px(f.second, 2, 230), (Px{255, 128, 128, 27}));   // line 461
    EXPECT_EQ(px(f.first, 2, 225), (Px{255, 128, 128, 224}));   // line 450
    EXPECT_EQ(px(f.second, 2, 224), (Px{255, 128, 128, 27}));   // line 449
}

TEST(Builtin, MotionProgressiveFieldsShareOneInstant) {
    SourceOptions options;
    options.scan = Scan::Progressive;
    const Frame f = firstFrame("builtin:motion", options);
    EXPECT_EQ(px(f.first, 46, 60), (Px{255, 109, 184, 114}));
    EXPECT_EQ(px(f.second, 46, 60), (Px{255, 109, 184, 114}));
}

TEST(Builtin, MotionBottomFirstStartsWithTheOddLines) {
    SourceOptions options;
    options.scan = Scan::BottomFirst;
    const Frame f = firstFrame("builtin:motion", options);
    // First field: odd lines at instant 0; second: even lines at instant 1.
    EXPECT_EQ(px(f.first, 2, 230), (Px{255, 128, 128, 27}));
    EXPECT_EQ(px(f.second, 2, 230), (Px{255, 128, 128, 224}));
    EXPECT_EQ(px(f.first, 46, 60), (Px{255, 109, 184, 114}));  // line 121, cell 0
    EXPECT_EQ(px(f.second, 46, 60), (Px{255, 104, 141, 77}));  // line 120, cell 1
}

TEST(Builtin, OddFrameHeightRepeatsTheOddFieldsLastLine) {
    SourceOptions options;
    options.width = 40;
    options.height = 33;
    auto source = openSource("builtin:gradient", options);
    EXPECT_EQ(source->info().fieldHeight(), 17);
    Frame f;
    ASSERT_TRUE(source->read(f));
    ASSERT_EQ(f.second.height, 17);
    EXPECT_EQ(px(f.second, 5, 16), px(f.second, 5, 15));  // line 31 repeated
    EXPECT_EQ(px(f.first, 5, 16)[1], 240);                // line 32: Cb 16 + 224
}

TEST(Builtin, MotionGoldenChecksums) {
    SourceOptions options;
    options.frames = 2;
    auto source = openSource("builtin:motion", options);
    Frame f;
    std::vector<uint64_t> sums;
    while (source->read(f)) {
        std::vector<uint8_t> both = f.first.pixels;
        both.insert(both.end(), f.second.pixels.begin(), f.second.pixels.end());
        sums.push_back(testhost::checksum(both));
    }
    ASSERT_EQ(sums.size(), 2u);
    EXPECT_NE(sums[0], sums[1]);
    EXPECT_EQ(sums[0], 0xbc9d36c1be28ac9eull);
    EXPECT_EQ(sums[1], 0xa7d0441fc175b177ull);
}

TEST(Builtin, BadNamesAndSizesAreRefused) {
    try {
        openSource("builtin:nothing");
        FAIL() << "no error";
    } catch (const VideoError& e) {
        EXPECT_NE(std::string(e.what()).find("builtin:bars, builtin:motion"), std::string::npos)
            << e.what();
    }
    SourceOptions tiny;
    tiny.width = 8;
    tiny.height = 8;
    EXPECT_THROW(openSource("builtin:bars", tiny), VideoError);
    SourceOptions huge;
    huge.width = 9000;
    huge.height = 576;
    EXPECT_THROW(openSource("builtin:bars", huge), VideoError);
}
