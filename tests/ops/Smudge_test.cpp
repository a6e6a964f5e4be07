// Smudge: the box blur and its windows, the elliptical spot with its soft
// ring, parameter and message handling, and the host calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "box.h"
#include "ring.h"
#include "testhost.h"

using namespace testhost;

namespace {

constexpr uint8_t kScratchOpacity = 0x5A;

struct SmudgeTest : ::testing::Test {
    Host host;
    Module smudge{"Smudge"};

    SmudgeTest() { host.setScratchFill(pixelWord(kScratchOpacity, 1, 2, 3)); }

    void setSpot(int x, int y, int size, int strength, int softness) {
        smudge.position(1).posX = int16_t(x);
        smudge.position(1).posY = int16_t(y);
        smudge.slider(2).value = size;
        smudge.slider(3).value = strength;
        smudge.slider(4).value = softness;
    }

    int32_t run(const FieldSpec& in, uint32_t flags = 0, int16_t aspect = 1000,
                int16_t scaleNum = 0, int16_t scaleDen = 0, uint32_t position = 0) {
        host.setInput(0, in);
        return smudge.process(position, 1, flags, aspect, scaleNum, scaleDen);
    }

    // The whole field blurred: a spot of twice the field height centred on
    // the field, without a ring, covers every pixel of the small fields used
    // here (checked through byte 0, which then comes from the scratch image).
    FieldSpec blurred(const FieldSpec& in, int strength, uint32_t flags = 0, int16_t scaleNum = 0,
                      int16_t scaleDen = 0) {
        setSpot(in.width / 2, in.height / 2, 200, strength, 0);
        EXPECT_EQ(run(in, flags, 1000, scaleNum, scaleDen), 0);
        FieldSpec out = host.putField();
        for (int y = 0; y < out.height; ++y)
            for (int x = 0; x < out.width; ++x) EXPECT_EQ(out.at(x, y)[0], kScratchOpacity);
        return out;
    }

    // Byte 0 of every output pixel, rows of three-digit numbers, for a field
    // of uniform bytes 200 over a scratch image whose byte 0 is 100: 100
    // inside the inner radius, 200 outside the spot, the mix on the ring.
    std::vector<std::string> spotMap(int width, int height, uint32_t flags = 0,
                                     int16_t aspect = 1000, int activeX = 0, int activeY = 0) {
        host.setScratchFill(pixelWord(100, 7, 7, 7));
        FieldSpec in = makeField(width, height, pixelWord(200, 200, 200, 200));
        in.activeX = int16_t(activeX);
        in.activeY = int16_t(activeY);
        EXPECT_EQ(run(in, flags, aspect), 0);
        const FieldSpec out = host.putField();
        std::vector<std::string> rows;
        for (int y = 0; y < height; ++y) {
            std::string row;
            for (int x = 0; x < width; ++x) {
                char cell[8];
                std::snprintf(cell, sizeof cell, "%s%3d", x ? " " : "", out.at(x, y)[0]);
                row += cell;
                // Blurring a uniform field changes nothing, nor does mixing
                // 200 with 200 here.
                for (int i = 1; i < 4; ++i) EXPECT_EQ(out.at(x, y)[i], 200) << x << "," << y;
            }
            rows.push_back(row);
        }
        return rows;
    }
};

// A field whose lanes 1..3 hold the given values along each row, every row alike.
FieldSpec rowsAlike(int height, const std::vector<int>& l1, const std::vector<int>& l2,
                    const std::vector<int>& l3) {
    FieldSpec f = makeField(int(l1.size()), height, pixelWord(0xA5, 0, 0, 0));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < f.width; ++x) {
            f.at(x, y)[1] = uint8_t(l1[x]);
            f.at(x, y)[2] = uint8_t(l2[x]);
            f.at(x, y)[3] = uint8_t(l3[x]);
        }
    return f;
}

// A field whose lane 1 holds the given values down each column, every column
// alike; lanes 2 and 3 hold 255 minus that and a constant.
FieldSpec columnsAlike(int width, const std::vector<int>& values) {
    FieldSpec f = makeField(width, int(values.size()), pixelWord(0xA5, 0, 0, 0));
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < width; ++x) {
            f.at(x, y)[1] = uint8_t(values[y]);
            f.at(x, y)[2] = uint8_t(255 - values[y]);
            f.at(x, y)[3] = 77;
        }
    return f;
}

std::vector<int> lane(const FieldSpec& f, int lane, int row) {
    std::vector<int> v;
    for (int x = 0; x < f.width; ++x) v.push_back(f.at(x, row)[lane]);
    return v;
}

std::vector<int> laneDown(const FieldSpec& f, int lane, int column) {
    std::vector<int> v;
    for (int y = 0; y < f.height; ++y) v.push_back(f.at(column, y)[lane]);
    return v;
}

using Ints = std::vector<int>;

// ---- Description ------------------------------------------------------------------

TEST_F(SmudgeTest, DescribesItsParameters) {
    const PositionDescriptor& p = smudge.position(1);
    EXPECT_EQ(p.head.textId, 1330);
    EXPECT_EQ(p.head.style, 18u);
    EXPECT_EQ((Ints{p.minWidth, p.minHeight, p.maxWidth, p.maxHeight, p.posX, p.posY,
                    p.areaWidth, p.areaHeight}),
              (Ints{10, 5, 10, 5, 320, 140, 10, 5}));
    struct Slider {
        int index, textId, minimum, maximum, value;
    };
    for (const Slider& e : {Slider{2, 1310, 1, 200, 50}, Slider{3, 1340, 1, 100, 20},
                            Slider{4, 1320, 0, 100, 10}}) {
        const SliderDescriptor& s = smudge.slider(e.index);
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

TEST_F(SmudgeTest, BlursIntoScratchAndHandsBackTheFetchedField) {
    host.setPutResult(42);
    EXPECT_EQ(run(patternField(40, 20), 0, 1000, 0, 0, 25), 42);
    EXPECT_EQ(host.calls(), (std::vector<std::string>{"opGetField(0,25)",
                                                      "opAllocImage(-1,-1,1,0)",
                                                      "opFreeImage(scratch1)", "opPutField(in0)"}));
    EXPECT_TRUE(host.logs().empty());
    EXPECT_EQ(host.outstanding(), 0);
    EXPECT_EQ(host.badReleases(), 0);
}

TEST_F(SmudgeTest, FailedFetchLogsLine95) {
    host.failCall(Service::GetField, 1);
    EXPECT_EQ(run(patternField(8, 4), 0, 1000, 0, 0, 3), -1);
    EXPECT_EQ(host.calls(), (std::vector<std::string>{
                                "opGetField(0,3)", "loggerMessage(4,95,src\\Smudge,0x0b830000)"}));
    ASSERT_EQ(host.logs().size(), 1u);
    EXPECT_EQ(host.logs()[0].text, " ");
}

TEST_F(SmudgeTest, FailedScratchLogsLine101AndReleasesTheField) {
    host.failCall(Service::AllocImage, 1);
    EXPECT_EQ(run(patternField(8, 4), 0, 1000, 0, 0, 9), -1);
    EXPECT_EQ(host.calls(), (std::vector<std::string>{
                                "opGetField(0,9)", "opAllocImage(-1,-1,1,0)",
                                "loggerMessage(4,101,src\\Smudge,0x0b830000)", "opFreeImage(in0)"}));
    ASSERT_EQ(host.logs().size(), 1u);
    EXPECT_EQ(host.logs()[0].text, " ");
    EXPECT_EQ(host.outstanding(), 0);
    EXPECT_EQ(host.badReleases(), 0);
}

TEST_F(SmudgeTest, EmptyFieldIsHandedBackWithTheSameCalls) {
    int scratch = 0;
    for (auto [w, h] : {std::pair{0, 0}, std::pair{5, 0}, std::pair{0, 5}, std::pair{-3, 4}}) {
        host.clearCalls();
        FieldSpec in = makeField(std::max(w, 0), h);
        in.width = int16_t(w);  // a negative width is taken as 0
        host.setScratchGeometry(makeField(std::max(w, 1), h));
        EXPECT_EQ(run(in), 0);
        EXPECT_EQ(host.calls(), (std::vector<std::string>{
                                    "opGetField(0,0)", "opAllocImage(-1,-1,1,0)",
                                    "opFreeImage(scratch" + std::to_string(++scratch) + ")",
                                    "opPutField(in0)"}));
        EXPECT_EQ(host.outstanding(), 0);
    }
}

TEST_F(SmudgeTest, SmallerScratchImageBlursOnlyTheRowsItHolds) {
    // The host should hand out a scratch image as large as the field. One
    // that holds 5 of the 10 rows (laid out with the field's row length) gets
    // the blur of those rows; the spot's rows beyond it stay as they came.
    const FieldSpec in = patternField(16, 10);
    const FieldSpec full = blurred(in, 3);
    for (auto [w, h] : {std::pair{16, 5}, std::pair{8, 11}}) {
        host.setScratchGeometry(makeField(w, h));
        ASSERT_EQ(run(in), 0);
        const FieldSpec out = host.putField();
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 16; ++x)
                EXPECT_EQ(out.word(x, y), (y < 5 ? full : in).word(x, y)) << x << "," << y;
    }
    EXPECT_EQ(host.outstanding(), 0);
}

// ---- The blur ---------------------------------------------------------------------

TEST_F(SmudgeTest, HorizontalWindowsNearTheBorders) {
    // Strength 2: s = 4, d = 2. Columns 0..2 average from column 0 to x + 2,
    // the interior x - 2 .. x + 1, columns 5..7 from x - 2 to the last.
    const FieldSpec out = blurred(rowsAlike(3, {10, 20, 30, 40, 50, 60, 70, 80},
                                            {30, 60, 90, 120, 150, 180, 210, 240},
                                            {1, 2, 3, 4, 5, 6, 7, 8}),
                                  2);
    for (int y = 0; y < 3; ++y) {
        EXPECT_EQ(lane(out, 1, y), (Ints{20, 25, 30, 35, 45, 60, 65, 70}));
        EXPECT_EQ(lane(out, 2, y), (Ints{60, 75, 90, 105, 135, 180, 195, 210}));
        EXPECT_EQ(lane(out, 3, y), (Ints{2, 2, 3, 3, 4, 6, 6, 7}));  // truncated means
    }
}

TEST_F(SmudgeTest, VerticalWindowsAreHalfAsLong) {
    // s = 4: d = 2 rows, e = 1. Rows 0 and 1 average from row 0 to y + 1,
    // the interior y - 1 .. y, rows 6 and 7 from y - 1 to the last.
    const FieldSpec out = blurred(columnsAlike(4, {10, 20, 30, 40, 50, 60, 70, 80}), 2);
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(laneDown(out, 1, x), (Ints{15, 20, 25, 35, 45, 55, 70, 75}));
        EXPECT_EQ(laneDown(out, 2, x), (Ints{240, 235, 230, 220, 210, 200, 185, 180}));
        EXPECT_EQ(laneDown(out, 3, x), (Ints(8, 77)));
    }
}

TEST_F(SmudgeTest, OddBoxLengthFromTheSizeScale) {
    // Strength 7 scaled by 1/2: s = 7, d = 3, e = 1. Both windows are
    // symmetric: 7 columns (x - 3 .. x + 3) and 3 rows (y - 1 .. y + 1).
    const Ints values{3, 9, 27, 81, 243, 5, 15, 45, 135, 200};
    const FieldSpec across = blurred(rowsAlike(3, values, values, values), 7, OPF_SCALE, 1, 2);
    EXPECT_EQ(lane(across, 1, 1), (Ints{30, 72, 61, 54, 60, 78, 103, 107, 80, 98}));
    const FieldSpec down = blurred(columnsAlike(9, values), 7, OPF_SCALE, 1, 2);
    EXPECT_EQ(laneDown(down, 1, 4), (Ints{6, 13, 39, 117, 109, 87, 21, 65, 126, 167}));
}

TEST_F(SmudgeTest, StrengthOneAveragesTwoColumnsAndKeepsRows) {
    const Ints values{3, 9, 27, 81, 243, 5, 15, 45, 135, 200};
    const FieldSpec across = blurred(rowsAlike(3, values, values, values), 1);
    EXPECT_EQ(lane(across, 1, 0), (Ints{6, 13, 18, 54, 162, 124, 10, 30, 126, 167}));
    // s = 2 leaves columns as they are (one-row windows).
    const FieldSpec down = blurred(columnsAlike(9, values), 1);
    EXPECT_EQ(laneDown(down, 1, 0), values);
}

TEST_F(SmudgeTest, ScaledBoxLengthIsAtLeastTwo) {
    const Ints values{3, 9, 27, 81, 243, 5, 15, 45, 135, 200};
    const Ints twoColumnMeans{6, 13, 18, 54, 162, 124, 10, 30, 126, 167};
    // 6 x 1 / 4 = 1, and -1 x 8 / 1 = -8: both become 2.
    EXPECT_EQ(lane(blurred(rowsAlike(3, values, values, values), 3, OPF_SCALE, 1, 4), 1, 0),
              twoColumnMeans);
    EXPECT_EQ(lane(blurred(rowsAlike(3, values, values, values), 4, OPF_SCALE, -1, 1), 1, 0),
              twoColumnMeans);
}

TEST_F(SmudgeTest, ScaleIgnoredWithoutTheFlagOrWithDenominatorZero) {
    const Ints values{10, 20, 30, 40, 50, 60, 70, 80};
    const Ints unscaled{20, 25, 30, 35, 45, 60, 65, 70};  // s = 4
    EXPECT_EQ(lane(blurred(rowsAlike(3, values, values, values), 2, OPF_SCALE, 1, 0), 1, 2),
              unscaled);
    EXPECT_EQ(lane(blurred(rowsAlike(3, values, values, values), 2, 0, 1, 4), 1, 2), unscaled);
}

TEST_F(SmudgeTest, WindowsLargerThanTheImageAreCutToIt) {
    // s = 8 on a 3 x 2 field: every window spans the whole column, then the
    // whole row: column means 15, 30, 45 (45.5), row mean 30.
    FieldSpec in = makeField(3, 2, pixelWord(0xA5, 0, 0, 0));
    const int values[2][3] = {{10, 20, 31}, {20, 41, 60}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            for (int i = 1; i < 4; ++i) in.at(x, y)[i] = uint8_t(values[y][x]);
    for (const FieldSpec& out :
         {blurred(in, 4), blurred(in, 100, OPF_SCALE, 32767, 1)}) {  // s = 6553400
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x)
                for (int i = 1; i < 4; ++i) EXPECT_EQ(out.at(x, y)[i], 30) << x << "," << y;
    }
}

// The box blur by its definition: each byte of a pixel the mean, rounded
// down, over its row window of the means, rounded down, of the columns over
// their column windows (d / 2 either side and d long, for a box of s: d
// either side and s long).
struct Window {
    int first, last;
};

Window windowOf(int p, int n, int reach, int length) {
    Window w{p - reach, p - reach + length - 1};
    if (p >= n - 1 - reach)
        w = {p - reach, n - 1};
    else if (p <= reach)
        w = {0, p + reach};
    return {std::max(w.first, 0), std::min(w.last, n - 1)};
}

FieldSpec boxBlur(const FieldSpec& f, int s) {
    const int d = s / 2;
    FieldSpec columns = f, out = f;
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x)
            for (int lane = 1; lane < 4; ++lane) {
                const Window down = windowOf(y, f.height, d / 2, d);
                int sum = 0;
                for (int r = down.first; r <= down.last; ++r) sum += f.at(x, r)[lane];
                columns.at(x, y)[lane] = uint8_t(sum / (down.last - down.first + 1));
            }
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x)
            for (int lane = 1; lane < 4; ++lane) {
                const Window across = windowOf(x, f.width, d, s);
                int sum = 0;
                for (int c = across.first; c <= across.last; ++c) sum += columns.at(c, y)[lane];
                out.at(x, y)[lane] = uint8_t(sum / (across.last - across.first + 1));
            }
    return out;
}

TEST_F(SmudgeTest, RandomSpotsHoldTheBoxBlurOfTheirDefinition) {
    // Random pictures, sizes, box lengths (odd ones from the size scale) and
    // spots reaching any edge or none: every pixel the spot takes (byte 0
    // from the scratch image) holds the box blur in bytes 1-3, every other
    // one the input.
    std::mt19937 random(7);
    auto uniform = [&](int lo, int hi) {
        return std::uniform_int_distribution<int>(lo, hi)(random);
    };
    int taken = 0, kept = 0;
    for (int trial = 0; trial < 40; ++trial) {
        FieldSpec in = makeField(uniform(3, 160), uniform(2, 50));
        for (uint8_t& b : in.pixels) b = uint8_t(uniform(0, 255));
        for (int y = 0; y < in.height; ++y)
            for (int x = 0; x < in.width; ++x) in.at(x, y)[0] = kScratchOpacity + 1;
        const int strength = uniform(1, 100);
        const bool scaled = trial % 3 == 0;
        const int16_t num = scaled ? int16_t(uniform(1, 5)) : 0, den = scaled ? 3 : 0;
        const int s = std::max(scaled ? 2 * strength * num / den : 2 * strength, 2);
        setSpot(uniform(0, in.width), uniform(0, in.height), uniform(1, 200), strength, 0);
        ASSERT_EQ(run(in, scaled ? OPF_SCALE : 0, 1000, num, den), 0);
        const FieldSpec out = host.putField(), blurred = boxBlur(in, s);
        for (int y = 0; y < in.height; ++y)
            for (int x = 0; x < in.width; ++x) {
                const bool inSpot = out.at(x, y)[0] == kScratchOpacity;
                ++(inSpot ? taken : kept);
                for (int lane = 1; lane < 4; ++lane)
                    ASSERT_EQ(out.at(x, y)[lane], (inSpot ? blurred : in).at(x, y)[lane])
                        << "trial " << trial << " at " << x << "," << y << " lane " << lane;
            }
    }
    EXPECT_GT(taken, 10000);
    EXPECT_GT(kept, 10000);
}

// ---- The spot ---------------------------------------------------------------------

TEST_F(SmudgeTest, RingByteMixesBlurredAndInput) {
    // 720 x 288, Size 50, Softness 10, Position (320, 140): R = 144,
    // Rin = 129, H = 144, y0 = 68; row 140 has dy = 0. Strength 1 makes the
    // blurred pixel the mean of the column and its left neighbour, so a
    // column of zeros at 454 gives blurred 100 at 455 (input 200 there).
    setSpot(320, 140, 50, 1, 10);
    host.setScratchFill(pixelWord(100, 0, 0, 0));
    FieldSpec in = makeField(720, 288, pixelWord(200, 200, 200, 200));
    for (int y = 0; y < 288; ++y) in.setWord(454, y, pixelWord(200, 0, 0, 0));
    ASSERT_EQ(run(in), 0);
    const FieldSpec out = host.putField();
    // dist 135: N = 6 x 255 / 15 = 102, O = 153; (100 x 153 + 200 x 102) / 255.
    EXPECT_EQ(out.word(455, 140), pixelWord(140, 140, 140, 140));
    // dist 134: N = 85: lanes (100 x 170 + 0) / 255, byte 0 (100 x 170 + 200 x 85) / 255.
    EXPECT_EQ(out.word(454, 140), pixelWord(133, 66, 66, 66));
    // dist 136: N = 119: byte 0 (100 x 136 + 200 x 119) / 255.
    EXPECT_EQ(out.word(456, 140), pixelWord(146, 200, 200, 200));
    // dist 129 = Rin: the blurred pixel; dist 144 = R: N = 255, the input.
    EXPECT_EQ(out.word(449, 140), pixelWord(100, 200, 200, 200));
    EXPECT_EQ(out.word(464, 140), pixelWord(200, 200, 200, 200));
    EXPECT_EQ(out.word(465, 140), pixelWord(200, 200, 200, 200));
    // Far from the spot the zero column is untouched.
    EXPECT_EQ(out.word(454, 10), pixelWord(200, 0, 0, 0));
    EXPECT_EQ(out.word(454, 250), pixelWord(200, 0, 0, 0));
}

TEST_F(SmudgeTest, SinglePrecisionMixCanLoseOne) {
    // Mixing 90 with 90 at dist = sqrt(53^2 + 120^2) = 131.18...: in single
    // precision the weighted sum falls just below 90 x 255.
    setSpot(320, 140, 50, 20, 10);
    host.setScratchFill(pixelWord(90, 0, 0, 0));
    ASSERT_EQ(run(makeField(720, 288, pixelWord(90, 90, 90, 90))), 0);
    const FieldSpec out = host.putField();
    std::vector<std::pair<int, int>> lost;
    for (int y = 0; y < 288; ++y)
        for (int x = 0; x < 720; ++x) {
            const uint32_t w = out.word(x, y);
            if (w != pixelWord(90, 90, 90, 90)) {
                EXPECT_EQ(w, pixelWord(89, 89, 89, 89));
                lost.emplace_back(x, y);
            }
        }
    EXPECT_EQ(lost, (std::vector<std::pair<int, int>>{{267, 80}, {373, 80}, {267, 200}, {373, 200}}));
}

TEST_F(SmudgeTest, SpotWithSoftRing) {
    // Size 75 of 8 rows: R = 6, Softness 50: Rin = 3, H = 6, centre (8, 3).
    setSpot(8, 3, 75, 20, 50);
    EXPECT_EQ(spotMap(16, 8), (std::vector<std::string>{
        "200 200 200 200 200 200 200 200 200 200 200 200 200 200 200 200",
        "200 200 200 200 188 166 149 137 133 137 149 166 188 200 200 200",
        "200 200 200 179 149 120 100 100 100 100 100 120 149 179 200 200",
        "200 200 200 166 133 100 100 100 100 100 100 100 133 166 200 200",
        "200 200 200 179 149 120 100 100 100 100 100 120 149 179 200 200",
        "200 200 200 200 188 166 149 137 133 137 149 166 188 200 200 200",
        "200 200 200 200 200 200 200 200 200 200 200 200 200 200 200 200",
        "200 200 200 200 200 200 200 200 200 200 200 200 200 200 200 200"}));
}

TEST_F(SmudgeTest, OddFieldMovesTheSpotHalfARowUp) {
    // One frame line more at every row: rows 2 and 3 lie at dy = -1 and 1.
    setSpot(8, 3, 75, 20, 50);
    EXPECT_EQ(spotMap(16, 8, OPF_ODD_FIELD), (std::vector<std::string>{
        "200 200 200 200 200 194 179 169 166 169 179 194 200 200 200 200",
        "200 200 200 194 166 141 120 105 100 105 120 141 166 194 200 200",
        "200 200 200 169 137 105 100 100 100 100 100 105 137 169 200 200",
        "200 200 200 169 137 105 100 100 100 100 100 105 137 169 200 200",
        "200 200 200 194 166 141 120 105 100 105 120 141 166 194 200 200",
        "200 200 200 200 200 194 179 169 166 169 179 194 200 200 200 200",
        "200 200 200 200 200 200 200 200 200 200 200 200 200 200 200 200",
        "200 200 200 200 200 200 200 200 200 200 200 200 200 200 200 200"}));
}

TEST_F(SmudgeTest, PositionIsRelativeToTheActiveRectangleAndAspectScalesRows) {
    // Active rectangle at (2, 1), Position (6, 2): centre column 8. Aspect
    // 1200: H = 5, y0 = 1, dy = (2 (i - 1) - 5) x 1200 / 1000 + 1 for the odd
    // field: -5, -2, 0, 2, 4 on rows 1..5.
    setSpot(6, 2, 75, 20, 50);
    EXPECT_EQ(spotMap(16, 8, OPF_ODD_FIELD, 1200, 2, 1), (std::vector<std::string>{
        "200 200 200 200 200 200 200 200 200 200 200 200 200 200 200 200",
        "200 200 200 200 200 194 179 169 166 169 179 194 200 200 200 200",
        "200 200 200 179 149 120 100 100 100 100 100 120 149 179 200 200",
        "200 200 200 166 133 100 100 100 100 100 100 100 133 166 200 200",
        "200 200 200 179 149 120 100 100 100 100 100 120 149 179 200 200",
        "200 200 200 200 188 166 149 137 133 137 149 166 188 200 200 200",
        "200 200 200 200 200 200 200 200 200 200 200 200 200 200 200 200",
        "200 200 200 200 200 200 200 200 200 200 200 200 200 200 200 200"}));
}

TEST_F(SmudgeTest, SoftnessZeroHasNoRing) {
    setSpot(8, 3, 75, 20, 0);
    EXPECT_EQ(spotMap(16, 8), (std::vector<std::string>{
        "200 200 200 200 200 200 200 200 100 200 200 200 200 200 200 200",
        "200 200 200 200 100 100 100 100 100 100 100 100 100 200 200 200",
        "200 200 200 100 100 100 100 100 100 100 100 100 100 100 200 200",
        "200 200 100 100 100 100 100 100 100 100 100 100 100 100 100 200",
        "200 200 200 100 100 100 100 100 100 100 100 100 100 100 200 200",
        "200 200 200 200 100 100 100 100 100 100 100 100 100 200 200 200",
        "200 200 200 200 200 200 200 200 100 200 200 200 200 200 200 200",
        "200 200 200 200 200 200 200 200 200 200 200 200 200 200 200 200"}));
}

TEST_F(SmudgeTest, SoftnessHundredCopiesOnlyTheCentre) {
    setSpot(8, 3, 75, 20, 100);
    EXPECT_EQ(spotMap(16, 8), (std::vector<std::string>{
        "200 200 200 200 200 200 200 200 200 200 200 200 200 200 200 200",
        "200 200 200 200 194 183 174 168 166 168 174 183 194 200 200 200",
        "200 200 200 189 174 160 147 137 133 137 147 160 174 189 200 200",
        "200 200 200 183 166 150 133 116 100 116 133 150 166 183 200 200",
        "200 200 200 189 174 160 147 137 133 137 147 160 174 189 200 200",
        "200 200 200 200 194 183 174 168 166 168 174 183 194 200 200 200",
        "200 200 200 200 200 200 200 200 200 200 200 200 200 200 200 200",
        "200 200 200 200 200 200 200 200 200 200 200 200 200 200 200 200"}));
}

TEST_F(SmudgeTest, SpotIsCutAtTheImageEdges) {
    // Centre (1, 0): the spot reaches left of column 0 and above row 0.
    setSpot(1, 0, 75, 20, 50);
    EXPECT_EQ(spotMap(16, 8), (std::vector<std::string>{
        "100 100 100 100 100 133 166 200 200 200 200 200 200 200 200 200",
        "100 100 100 100 120 149 179 200 200 200 200 200 200 200 200 200",
        "137 133 137 149 166 188 200 200 200 200 200 200 200 200 200 200",
        "200 200 200 200 200 200 200 200 200 200 200 200 200 200 200 200",
        "200 200 200 200 200 200 200 200 200 200 200 200 200 200 200 200",
        "200 200 200 200 200 200 200 200 200 200 200 200 200 200 200 200",
        "200 200 200 200 200 200 200 200 200 200 200 200 200 200 200 200",
        "200 200 200 200 200 200 200 200 200 200 200 200 200 200 200 200"}));
    // Centred far outside the field: nothing changes.
    setSpot(-500, 3, 75, 20, 50);
    for (const std::string& row : spotMap(16, 8))
        EXPECT_EQ(row, "200 200 200 200 200 200 200 200 200 200 200 200 200 200 200 200");
}

TEST_F(SmudgeTest, ZeroRadiusLeavesTheFieldAsItCame) {
    // Size 1 of 50 rows: R = 0.
    setSpot(20, 25, 1, 20, 10);
    const FieldSpec in = patternField(40, 50);
    ASSERT_EQ(run(in), 0);
    EXPECT_EQ(host.putPixels(), in.pixels);
}

// ---- Parameters and message ---------------------------------------------------------

TEST_F(SmudgeTest, AspectZeroIsSquarePixels) {
    setSpot(30, 10, 100, 5, 30);
    ASSERT_EQ(run(patternField(64, 24), 0, 1000), 0);
    const std::vector<uint8_t> square = host.putPixels();
    ASSERT_EQ(run(patternField(64, 24), 0, 0), 0);
    EXPECT_EQ(host.putPixels(), square);
}

TEST_F(SmudgeTest, NegativeAspectPaintsNoSpot) {
    setSpot(30, 10, 100, 5, 30);
    const FieldSpec in = patternField(64, 24);
    ASSERT_EQ(run(in, 0, -1000), 0);
    EXPECT_EQ(host.putPixels(), in.pixels);
}

TEST_F(SmudgeTest, SliderValuesOutsideTheirRangeAreClamped) {
    const FieldSpec in = patternField(200, 16);
    auto output = [&](int size, int strength, int softness) {
        setSpot(100, 8, size, strength, softness);
        EXPECT_EQ(run(in), 0);
        return host.putPixels();
    };
    EXPECT_EQ(output(1000, 20, 10), output(200, 20, 10));
    EXPECT_NE(output(200, 20, 10), output(150, 20, 10));
    EXPECT_EQ(output(100, 500, 10), output(100, 100, 10));
    EXPECT_NE(output(100, 100, 10), output(100, 90, 10));
    EXPECT_EQ(output(100, 20, 150), output(100, 20, 100));
    EXPECT_NE(output(100, 20, 100), output(100, 20, 90));
}

TEST_F(SmudgeTest, SpotWeightsFollowEveryChangeOfTheRadii) {
    // The weights by offset are kept between fields: each change of Size,
    // Softness or field height must show at once, and coming back to a
    // setting gives its first output again.
    auto output = [&](int size, int softness, int height) {
        setSpot(20, 12, size, 20, softness);
        EXPECT_EQ(run(patternField(40, height, 9)), 0);
        return host.putPixels();
    };
    const auto first = output(75, 50, 24);
    const std::vector<std::vector<uint8_t>> others{output(75, 10, 24), output(60, 50, 24),
                                                   output(75, 50, 26)};
    for (const auto& other : others) EXPECT_NE(other, first);
    EXPECT_EQ(output(75, 50, 24), first);
    EXPECT_EQ(output(75, 10, 24), others[0]);
    EXPECT_EQ(output(60, 50, 24), others[1]);
}

// The four sums and the same reversed divided by divide8, where the
// processor has AVX2; false where it has not.
#if defined(__x86_64__)
FIELDFX_TARGET("avx2") void divideEightAvx2(const fieldfx::smudge::CountDivisor& by,
                                                     const uint32_t sums[4], uint32_t out[8]) {
    const __m256i v = _mm256_setr_epi32(int32_t(sums[0]), int32_t(sums[1]), int32_t(sums[2]),
                                        int32_t(sums[3]), int32_t(sums[3]), int32_t(sums[2]),
                                        int32_t(sums[1]), int32_t(sums[0]));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), by.divide8(v));
}

bool divideEight(const fieldfx::smudge::CountDivisor& by, const uint32_t sums[4],
                 uint32_t out[8]) {
    if (!__builtin_cpu_supports("avx2")) return false;
    divideEightAvx2(by, sums, out);
    return true;
}
#else
bool divideEight(const fieldfx::smudge::CountDivisor&, const uint32_t*, uint32_t*) {
    return false;
}
#endif

TEST(SmudgeBox, CountDivisorEqualsDivisionForEveryWindowSum) {
    // Every sum up to 255 c for the counts of windows up to 300 samples, then
    // the edges of the range (multiples of c and one less) up to 32767, four
    // different sums in the lanes of a pixel.
    for (uint32_t c = 1; c <= 300; ++c) {
        const fieldfx::smudge::CountDivisor by(c);
        for (uint32_t x = 0; x <= 255 * c; ++x) ASSERT_EQ(by.divide(x), x / c) << x << " / " << c;
    }
    for (uint32_t c = 301; c <= 32767; c += 97) {
        const fieldfx::smudge::CountDivisor by(c);
        for (uint32_t q = 1; q <= 255; ++q) {
            const uint32_t sums[4] = {q * c, q * c - 1, (q - 1) * c + c / 2, 255 * c};
            fieldfx::smudge::PixelSum s;
            s.load(sums);
            const uint32_t word = by.meansOf(s);
            uint8_t means[4];
            std::memcpy(means, &word, 4);
            uint32_t eight[8];
            const bool eightAtOnce = divideEight(by, sums, eight);
            for (int k = 0; k < 4; ++k) {
                ASSERT_EQ(by.divide(sums[k]), sums[k] / c) << sums[k] << " / " << c;
                ASSERT_EQ(means[k], sums[k] / c) << sums[k] << " / " << c << " lane " << k;
                if (eightAtOnce) {
                    ASSERT_EQ(eight[k], sums[k] / c) << sums[k] << " / " << c << " lane " << k;
                    ASSERT_EQ(eight[k + 4], sums[3 - k] / c) << sums[3 - k] << " / " << c;
                }
            }
        }
    }
}

#if defined(__x86_64__)
FIELDFX_TARGET("avx2") void spotQuadAvx2(const uint8_t* blurred, uint8_t* p,
                                                  const float n[4]) {
    fieldfx::smudge::spotQuad(blurred, p, _mm_loadu_ps(n));
}

TEST(SmudgeRing, FourPixelsAtOnceEqualOneAtATime) {
    if (!__builtin_cpu_supports("avx2")) GTEST_SKIP() << "no AVX2 here";
    // Weights of every kind side by side: copied, kept, the ring's ends and
    // anything between.
    std::mt19937 random(6);
    std::uniform_int_distribution<int> byte(0, 255), kind(0, 5);
    std::uniform_real_distribution<float> weight(0.0f, 255.0f);
    const float fixed[] = {fieldfx::smudge::kCopy, fieldfx::smudge::kKeep, 0.0f, 255.0f};
    for (int trial = 0; trial < 100000; ++trial) {
        uint8_t blurred[16], p[16], expected[16];
        float n[4];
        for (int k = 0; k < 16; ++k) {
            blurred[k] = uint8_t(byte(random));
            p[k] = expected[k] = uint8_t(byte(random));
        }
        for (int i = 0; i < 4; ++i) {
            const int w = kind(random);
            n[i] = w < 4 ? fixed[w] : weight(random);
            fieldfx::smudge::spotPixel(blurred + 4 * i, expected + 4 * i, n[i]);
        }
        spotQuadAvx2(blurred, p, n);
        ASSERT_EQ(std::memcmp(p, expected, 16), 0) << trial;
    }
}
#endif

TEST(SmudgeRing, PixelMixEqualsTheByteMixOverRandomInputs) {
    std::mt19937 random(5);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_real_distribution<float> weight(0.0f, 255.0f);
    for (int trial = 0; trial < 200000; ++trial) {
        uint8_t blurred[4], p[4], expected[4];
        for (int k = 0; k < 4; ++k) {
            blurred[k] = uint8_t(byte(random));
            p[k] = uint8_t(byte(random));
        }
        const float n = trial % 97 == 0 ? 255.0f : weight(random);
        for (int k = 0; k < 4; ++k) expected[k] = fieldfx::smudge::ringValue(blurred[k], p[k], n);
        fieldfx::smudge::ringPixel(blurred, p, n);
        for (int k = 0; k < 4; ++k) ASSERT_EQ(p[k], expected[k]) << trial << " lane " << k;
    }
}

// ---- Whole fields -------------------------------------------------------------------

TEST_F(SmudgeTest, GoldenChecksums) {
    // Recorded once the exact tests above passed.
    struct Case {
        int x, y, size, strength, softness;
        uint32_t flags;
        int16_t aspect, scaleNum, scaleDen;
        uint64_t sum;
    };
    const Case cases[] = {
        {320, 140, 50, 20, 10, 0, 1000, 0, 0, 0x86c55d0536b561d1},
        {100, 200, 120, 37, 55, OPF_ODD_FIELD, 1094, 0, 0, 0xa1fdec298df3d719},
        {500, 30, 80, 100, 0, OPF_SCALE, 911, 3, 4, 0xcc339b165ace517b},
        {700, 280, 200, 1, 100, OPF_SCALE | OPF_ODD_FIELD, 1000, 5, 2, 0x8a6de94ae1ba548c},
    };
    for (const Case& c : cases) {
        setSpot(c.x, c.y, c.size, c.strength, c.softness);
        ASSERT_EQ(run(patternField(720, 288, c.size), c.flags, c.aspect, c.scaleNum, c.scaleDen),
                  0);
        EXPECT_EQ(checksum(host.putPixels()), c.sum) << std::hex << checksum(host.putPixels());
    }
}

}  // namespace
