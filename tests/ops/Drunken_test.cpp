// Drunken: the points on the turning ellipse, the mean, the edges, the abort
// polls and the host calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <tuple>

#include "testhost.h"

using namespace testhost;

namespace {

constexpr uint8_t kNewOpacity = 0x5A;

struct DrunkenTest : ::testing::Test {
    Host host;
    Module drunken{"Drunken"};

    DrunkenTest() { host.setScratchFill(pixelWord(kNewOpacity, 1, 2, 3)); }

    void set(int samples, int amount) {
        drunken.slider(1).value = samples;
        drunken.slider(2).value = amount;
    }

    // A black field (lanes 0) with one pixel at (px, py) of lanes 255, 150, 30.
    // Output pixel (x, y) reads (x + dx, y + dy) for every point, so each point
    // shows as one pixel at (px - dx, py - dy) holding the impulse divided by
    // n. Returns those pixels as (x - px, y - py), i.e. the negated offsets.
    std::set<std::pair<int, int>> impulseResponse(int width, int height, int px, int py,
                                                  uint32_t position, int n) {
        FieldSpec in = makeField(width, height, pixelWord(0xA5, 0, 0, 0));
        in.setWord(px, py, pixelWord(0xA5, 255, 150, 30));
        host.setInput(0, in);
        EXPECT_EQ(drunken.process(position), 0);
        const FieldSpec out = host.putField();
        std::set<std::pair<int, int>> hits;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const uint32_t w = out.word(x, y);
                if (w == pixelWord(kNewOpacity, 0, 0, 0)) continue;
                EXPECT_EQ(w, pixelWord(kNewOpacity, uint8_t(255 / n), uint8_t(150 / n),
                                       uint8_t(30 / n)))
                    << x << "," << y;
                hits.emplace(x - px, y - py);
            }
        return hits;
    }
};

using Points = std::set<std::pair<int, int>>;

// (dx, dy) offsets as the impulse response shows them.
Points negated(std::initializer_list<std::pair<int, int>> offsets) {
    Points p;
    for (auto [dx, dy] : offsets) p.emplace(-dx, -dy);
    return p;
}

// ---- Description ------------------------------------------------------------------

TEST_F(DrunkenTest, DescribesItsParameters) {
    struct Slider {
        int index, textId, minimum, maximum, value;
    };
    for (const Slider& e : {Slider{1, 410, 2, 6, 3}, Slider{2, 420, 10, 100, 25}}) {
        const SliderDescriptor& s = drunken.slider(e.index);
        EXPECT_EQ(s.head.textId, e.textId);
        EXPECT_EQ(s.head.style, 0u);
        EXPECT_EQ(s.auxTextId, uint32_t(e.textId + 1));
        EXPECT_EQ(s.formatter, nullptr);
        EXPECT_EQ(s.minimum, e.minimum);
        EXPECT_EQ(s.maximum, e.maximum);
        EXPECT_EQ(s.value, e.value);
    }
}

// ---- Host calls -------------------------------------------------------------------

TEST_F(DrunkenTest, FreesTheFieldAndHandsBackTheNewImage) {
    host.setInput(0, patternField(16, 8));
    host.setPutResult(17);
    EXPECT_EQ(drunken.process(12), 17);
    EXPECT_EQ(host.calls(), (std::vector<std::string>{"opGetField(0,12)",
                                                      "opAllocImage(-1,-1,1,0)",
                                                      "opFreeImage(in0)", "opPutField(scratch1)"}));
    EXPECT_TRUE(host.logs().empty());
    EXPECT_EQ(host.outstanding(), 0);
    EXPECT_EQ(host.badReleases(), 0);
}

TEST_F(DrunkenTest, PollsAbortAfterEvery32ndRowAndFinishesAnyway) {
    host.setAbortResult(1);  // ignored
    int scratch = 0;
    for (auto [height, polls] : {std::pair{31, 0}, std::pair{32, 1}, std::pair{63, 1},
                                 std::pair{64, 2}, std::pair{100, 3}}) {
        host.clearCalls();
        host.setInput(0, makeField(3, height, pixelWord(0, 40, 50, 60)));
        EXPECT_EQ(drunken.process(0), 0);
        std::vector<std::string> expected{"opGetField(0,0)", "opAllocImage(-1,-1,1,0)"};
        for (int i = 0; i < polls; ++i) expected.push_back("opChkAbort()");
        expected.push_back("opFreeImage(in0)");
        expected.push_back("opPutField(scratch" + std::to_string(++scratch) + ")");
        EXPECT_EQ(host.calls(), expected) << "height " << height;
        // Every row was finished.
        const FieldSpec out = host.putField();
        for (int y = 0; y < height; ++y)
            EXPECT_EQ(out.word(2, y), pixelWord(kNewOpacity, 40, 50, 60));
    }
}

TEST_F(DrunkenTest, FailedFetchLogsLine80) {
    host.failCall(Service::GetField, 1);
    EXPECT_EQ(drunken.process(4), -1);
    EXPECT_EQ(host.calls(), (std::vector<std::string>{
                                "opGetField(0,4)", "loggerMessage(4,80,src\\Drunken,0x0bb50000)"}));
    ASSERT_EQ(host.logs().size(), 1u);
    EXPECT_EQ(host.logs()[0].text, " ");
}

TEST_F(DrunkenTest, FailedNewImageLogsLine86AndReleasesTheField) {
    host.setInput(0, patternField(16, 40));
    host.failCall(Service::AllocImage, 1);
    EXPECT_EQ(drunken.process(5), -1);
    EXPECT_EQ(host.calls(), (std::vector<std::string>{
                                "opGetField(0,5)", "opAllocImage(-1,-1,1,0)",
                                "loggerMessage(4,86,src\\Drunken,0x0bb50000)", "opFreeImage(in0)"}));
    ASSERT_EQ(host.logs().size(), 1u);
    EXPECT_EQ(host.logs()[0].text, " ");
    EXPECT_EQ(host.outstanding(), 0);
    EXPECT_EQ(host.badReleases(), 0);
}

TEST_F(DrunkenTest, EmptyFieldIsStillHandedBack) {
    host.setInput(0, makeField(0, 0));
    EXPECT_EQ(drunken.process(0), 0);
    EXPECT_EQ(host.calls(), (std::vector<std::string>{"opGetField(0,0)",
                                                      "opAllocImage(-1,-1,1,0)",
                                                      "opFreeImage(in0)", "opPutField(scratch1)"}));
    // A negative width counts as 0: the 40 rows are still walked (one abort
    // poll), no pixel is read or written.
    FieldSpec negative = makeField(0, 40);
    negative.width = -3;
    host.setInput(0, negative);
    host.setScratchGeometry(makeField(1, 40));
    host.clearCalls();
    EXPECT_EQ(drunken.process(0), 0);
    EXPECT_EQ(host.calls(), (std::vector<std::string>{"opGetField(0,0)", "opAllocImage(-1,-1,1,0)",
                                                      "opChkAbort()", "opFreeImage(in0)",
                                                      "opPutField(scratch2)"}));
}

TEST_F(DrunkenTest, SmallerNewImageIsWrittenOnlyAsFarAsItReaches) {
    // The host should hand out an image as large as the field. One that holds
    // 3 rows of the field's 16 pixels (16 x 3, or 12 x 5 laid out with the
    // field's row length) gets the first 3 rows of the result, nothing more.
    host.setInput(0, patternField(16, 8));
    ASSERT_EQ(drunken.process(5), 0);
    const FieldSpec full = host.putField();
    for (auto [w, h] : {std::pair{16, 3}, std::pair{12, 5}}) {
        host.setScratchGeometry(makeField(w, h));
        ASSERT_EQ(drunken.process(5), 0);
        const FieldSpec out = host.putField();
        for (int i = 0; i < w * h; ++i)
            EXPECT_EQ(out.word(i % w, i / w),
                      i < 48 ? full.word(i % 16, i / 16) : pixelWord(kNewOpacity, 1, 2, 3))
                << i;
    }
    EXPECT_EQ(host.outstanding(), 0);
}

// ---- The points on the ellipse ----------------------------------------------------

TEST_F(DrunkenTest, ThreePointsTurnFromOneFieldToTheNext) {
    // 720 x 288, Amount 25: ax = 72 x 25 / 100 = 18, ay = 28 x 25 / 100 = 7.
    set(3, 25);
    EXPECT_EQ(impulseResponse(720, 288, 360, 144, 0, 3), negated({{0, 7}, {15, -3}, {-15, -3}}));
    EXPECT_EQ(impulseResponse(720, 288, 360, 144, 1, 3), negated({{1, 6}, {14, -4}, {-16, -2}}));
}

TEST_F(DrunkenTest, TwoPointsLieHalfATurnApart) {
    set(2, 25);
    EXPECT_EQ(impulseResponse(720, 288, 360, 144, 0, 2), negated({{0, 7}, {0, -7}}));
    EXPECT_EQ(impulseResponse(720, 288, 360, 144, 1, 2), negated({{1, 6}, {-1, -6}}));
}

TEST_F(DrunkenTest, SixPointsAndPositionsAsUnsigned) {
    set(6, 25);
    EXPECT_EQ(impulseResponse(720, 288, 360, 144, 0, 6),
              negated({{0, 7}, {15, 3}, {15, -3}, {0, -7}, {-15, -3}, {-15, 3}}));
    // Position 4000000000 is not a negative number.
    set(4, 25);
    EXPECT_EQ(impulseResponse(720, 288, 360, 144, 4000000000u, 4),
              negated({{15, 3}, {8, -6}, {-15, -3}, {-8, 6}}));
}

TEST_F(DrunkenTest, OffsetsTruncateTowardZero) {
    // Amount 10 below 100 columns: ax = 9 x 10 / 100 = 0, ay = 20 x 10 / 100 = 2.
    // Point 1 lies at 6.283185307 / 3, a little short of a third of a turn,
    // so its cosine stays above -0.5 and dy truncates to 0; point 2, a
    // little short of two thirds, has dy = -1.
    set(3, 10);
    EXPECT_EQ(impulseResponse(90, 200, 45, 100, 0, 3), negated({{0, 2}, {0, 0}, {0, -1}}));
}

// ---- The mean and the edges ---------------------------------------------------------

TEST_F(DrunkenTest, EdgesRepeatTheImageBorderNotTheActiveRectangle) {
    // 40 x 20, Amount 100: ax = 4, ay = 2; points (0, 2), (3, 0), (-3, -1).
    // Lane 1 is 5 x column, lane 2 10 x row, lane 3 constant.
    set(3, 100);
    FieldSpec in = makeField(40, 20, pixelWord(0xA5, 0, 0, 0));
    in.setActive(10, 5, 20, 10);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x) in.setWord(x, y, pixelWord(0xA5, uint8_t(5 * x), uint8_t(10 * y), 7));
    host.setInput(0, in);
    ASSERT_EQ(drunken.process(0), 0);
    const FieldSpec out = host.putField();
    auto lane1 = [](int x) {  // columns x, x + 3, x - 3 clamped to 0..39
        switch (x) {
            case 0: return 5;     // 0 + 3 + 0 = 3 -> 15 / 3
            case 1: return 8;     // 1 + 4 + 0 -> 25 / 3
            case 2: return 11;    // 2 + 5 + 0 -> 35 / 3
            case 37: return 183;  // 37 + 39 + 34 -> 550 / 3
            case 38: return 186;  // 38 + 39 + 35 -> 560 / 3
            case 39: return 190;  // 39 + 39 + 36 -> 570 / 3
            default: return 5 * x;
        }
    };
    auto lane2 = [](int y) {  // rows y + 2, y, y - 1 clamped to 0..19
        switch (y) {
            case 0: return 6;     // 2 + 0 + 0 -> 20 / 3
            case 18: return 180;  // 19 + 18 + 17 -> 540 / 3
            case 19: return 186;  // 19 + 19 + 18 -> 560 / 3
            default: return 10 * y + 3;
        }
    };
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x)
            EXPECT_EQ(out.word(x, y),
                      pixelWord(kNewOpacity, uint8_t(lane1(x)), uint8_t(lane2(y)), 7))
                << x << "," << y;
}

TEST_F(DrunkenTest, MeansRoundDown) {
    // Lanes 1, 2, 3 of the pixels around: a uniform field but for the column
    // the right-hand point reads, so each mean is (2 a + b) / 3.
    set(3, 100);
    FieldSpec in = makeField(40, 20, pixelWord(0xA5, 10, 11, 12));
    for (int y = 0; y < 20; ++y) in.setWord(23, y, pixelWord(0xA5, 12, 15, 200));
    host.setInput(0, in);
    ASSERT_EQ(drunken.process(0), 0);
    // Pixel (20, 10) reads (20, 12), (23, 10), (17, 9).
    EXPECT_EQ(host.putField().word(20, 10), pixelWord(kNewOpacity, 10, 12, 74));
}

TEST_F(DrunkenTest, SliderValuesOutsideTheirRangeAreClamped) {
    set(0, 25);  // as 2: never a division by zero
    EXPECT_EQ(impulseResponse(720, 288, 360, 144, 0, 2), negated({{0, 7}, {0, -7}}));
    set(9, 25);  // as 6
    EXPECT_EQ(impulseResponse(720, 288, 360, 144, 0, 6),
              negated({{0, 7}, {15, 3}, {15, -3}, {0, -7}, {-15, -3}, {-15, 3}}));
    set(2, 1000);  // as 100: ay = 28
    EXPECT_EQ(impulseResponse(720, 288, 360, 144, 0, 2), negated({{0, 28}, {0, -28}}));
    set(2, -5);  // as 10: ay = 2
    EXPECT_EQ(impulseResponse(720, 288, 360, 144, 0, 2), negated({{0, 2}, {0, -2}}));
}

TEST_F(DrunkenTest, EveryPixelIsTheMeanOfItsClampedPointsOverRandomFields) {
    // Wide enough that most columns run four at a time, with the edge columns
    // beside them: each output pixel against the plain mean of its points.
    std::mt19937 random(3);
    std::uniform_int_distribution<uint32_t> word;
    for (int n = 2; n <= 6; ++n) {
        set(n, 100);
        const uint32_t position = 7u * uint32_t(n);
        const Points points = impulseResponse(91, 40, 45, 20, position, n);
        ASSERT_EQ(points.size(), std::size_t(n));
        FieldSpec in = makeField(91, 40);
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 91; ++x)  // the largest sums too
                in.setWord(x, y, y == 7 ? 0xFFFFFFFFu : word(random));
        host.setInput(0, in);
        ASSERT_EQ(drunken.process(position), 0);
        const FieldSpec out = host.putField();
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 91; ++x) {
                int sum[4] = {};
                for (auto [ndx, ndy] : points)
                    for (int i = 1; i < 4; ++i)
                        sum[i] += in.at(std::clamp(x - ndx, 0, 90), std::clamp(y - ndy, 0, 39))[i];
                ASSERT_EQ(out.word(x, y), pixelWord(kNewOpacity, uint8_t(sum[1] / n),
                                                    uint8_t(sum[2] / n), uint8_t(sum[3] / n)))
                    << n << ": " << x << "," << y;
            }
    }
}

// ---- Whole fields -------------------------------------------------------------------

TEST_F(DrunkenTest, GoldenChecksums) {
    // Recorded once the exact tests above passed.
    const std::tuple<int, int, uint32_t, uint64_t> cases[] = {
        {3, 25, 0, 0xa3fe571d0275f339},
        {2, 10, 7, 0x63cc2742d06775d3},
        {5, 64, 1000, 0x4bb2f0ac5da6c10e},
        {6, 100, 123457, 0xf98dfa644a754119},
    };
    for (auto [samples, amount, position, sum] : cases) {
        set(samples, amount);
        host.setInput(0, patternField(720, 288, amount));
        ASSERT_EQ(drunken.process(position), 0);
        EXPECT_EQ(checksum(host.putPixels()), sum) << std::hex << checksum(host.putPixels());
    }
}

}  // namespace
