// Standbild: the picture wanders along eased random targets, with optional
// noise on the luma byte; targets, noise amplitude and easing table are kept
// from one open to the next.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <dlfcn.h>
#endif
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "shake.h"
#include "testhost.h"

using namespace testhost;

namespace {

// The generator's first draws after a seed of 0 are 38, 7719, 21238, 2437,
// 8855, 11797, 8365, 32285, 10450, 30612, 5853, 28100, ...

// ---- Easing ------------------------------------------------------------------------

TEST(StandbildEase, CurveIsTheRoundedQuarterSine) {
    for (int k = 0; k < 256; ++k) {
        const double exact = 1024.0 * (1.0 - std::sin(3.14159265358979323846 / 2.0 * k / 256.0));
        EXPECT_EQ(fieldfx::standbild::easeCurve[k], int(std::floor(exact + 0.5))) << k;
    }
    EXPECT_EQ(fieldfx::standbild::easeCurve[0], 1024);
    EXPECT_EQ(fieldfx::standbild::easeCurve[1], 1018);
    EXPECT_EQ(fieldfx::standbild::easeCurve[2], 1011);
    EXPECT_EQ(fieldfx::standbild::easeCurve[128], 300);
    EXPECT_EQ(fieldfx::standbild::easeCurve[254], 0);
    EXPECT_EQ(fieldfx::standbild::easeCurve[255], 0);
}

TEST(StandbildEase, TableRisesFromZeroThrough1024To2048) {
    int16_t table[512];
    fieldfx::standbild::buildEaseTable(table);
    EXPECT_EQ(table[0], 0);      // curve[255]
    EXPECT_EQ(table[253], 1011); // curve[2]
    EXPECT_EQ(table[255], 1024); // curve[0]
    EXPECT_EQ(table[256], 1024); // 2048 - curve[0]
    EXPECT_EQ(table[384], 1748); // 2048 - curve[128]
    EXPECT_EQ(table[506], 2047); // 2048 - curve[250]
    EXPECT_EQ(table[511], 2048); // 2048 - curve[255]
    for (int k = 1; k < 512; ++k) EXPECT_GE(table[k], table[k - 1]) << k;
}

TEST(StandbildEase, MatchesHandDerivedValuesForPeriod91) {
    int16_t table[512];
    fieldfx::standbild::buildEaseTable(table);
    // p = 45: k = trunc(45 x 512 / 91) = 253, g = 1011 x 45 / 2048.
    fieldfx::standbild::Ease e = fieldfx::standbild::easeAt(table, 45, 91);
    EXPECT_EQ(e.t, 45.0);
    EXPECT_EQ(e.k, 253);
    EXPECT_EQ(e.g, 22.21435546875);
    // p = 90: k = 506, g = 2047 x 90 / 2048.
    e = fieldfx::standbild::easeAt(table, 90, 91);
    EXPECT_EQ(e.k, 506);
    EXPECT_EQ(e.g, 89.9560546875);
    // A period later the same place in the period.
    e = fieldfx::standbild::easeAt(table, 91 + 45, 91);
    EXPECT_EQ(e.t, 45.0);
    EXPECT_EQ(e.g, 22.21435546875);
    e = fieldfx::standbild::easeAt(table, 91, 91);
    EXPECT_EQ(e.t, 0.0);
    EXPECT_EQ(e.g, 0.0);
    // Period 1: always the start of a period.
    e = fieldfx::standbild::easeAt(table, 12345, 1);
    EXPECT_EQ(e.t, 0.0);
    EXPECT_EQ(e.k, 0);
}

TEST(StandbildEase, NegativePositionStaysInsideTheTable) {
    int16_t table[512];
    fieldfx::standbild::buildEaseTable(table);
    // t = -5 - 0 = -5 would give k = trunc(-5 x 512 / 91) = -28: clamped to 0.
    fieldfx::standbild::Ease e = fieldfx::standbild::easeAt(table, -5, 91);
    EXPECT_EQ(e.t, -5.0);
    EXPECT_EQ(e.k, 0);
    EXPECT_EQ(e.g, 0.0);
    e = fieldfx::standbild::easeAt(table, INT32_MIN, 100);
    EXPECT_EQ(e.t, -48.0);  // INT32_MIN = -21474836 x 100 - 48
    EXPECT_EQ(e.k, 0);
}

// ---- Draws ---------------------------------------------------------------------------

TEST(StandbildDraws, RandomSpreadDividesTheDraw) {
    fieldfx::OpRandom r;
    r.seed(0);
    EXPECT_EQ(fieldfx::standbild::randomSpread(r, 3), 38 / 5461 - 3);      // q = 32767 / 6
    EXPECT_EQ(fieldfx::standbild::randomSpread(r, 43), 7719 / 381 - 43);   // q = 32767 / 86
    EXPECT_EQ(fieldfx::standbild::randomSpread(r, 20000), 21238 / 1 - 20000);  // q = 0 -> 1
}

TEST(StandbildDraws, OpenDrawsNoiseAmplitudeThenTwoDiscardsThenTargets) {
    fieldfx::standbild::Shake s;
    s.nextSwitch = 77;
    s.prevX = s.prevY = 5.0;
    fieldfx::standbild::openShake(s, 2, 2, 2);
    EXPECT_EQ(s.noiseAmp, 3);  // |38 / 5461 - 3|; 7719 and 21238 discarded
    // targetX = (2437 - 16383) x 2 / 16383.0 x 2, targetY = (8855 - 16383) x 2 / 16383.0
    EXPECT_EQ(s.targetX, -0x1.b3d6cf5b3d6cfp+1);  // -3.4049929805285966
    EXPECT_EQ(s.targetY, -0x1.d6875a1d6875ap-1);  // -0.9190014038942806
    EXPECT_EQ(s.prevX, 0.0);
    EXPECT_EQ(s.prevY, 0.0);
    EXPECT_EQ(s.nextSwitch, 0);
    EXPECT_EQ(s.easeTable[253], 1011);
    EXPECT_EQ(s.random.next(), 11797);  // five draws consumed
}

TEST(StandbildDraws, OpenWithoutNoiseKeepsTheEarlierAmplitude) {
    fieldfx::standbild::Shake s;
    s.noiseAmp = 7;
    fieldfx::standbild::openShake(s, 2, 2, 0);
    EXPECT_EQ(s.noiseAmp, 7);
    // The targets take the first two draws.
    EXPECT_EQ(s.targetX, -0x1.fecffb3fecffbp+1);  // (38 - 16383) x 2 / 16383.0 x 2
    EXPECT_EQ(s.targetY, -0x1.0ec43b10ec43bp+0);  // (7719 - 16383) x 2 / 16383.0
    EXPECT_EQ(s.random.next(), 21238);
}

TEST(StandbildDraws, NoiseAmplitudeIsNoisePlusOneAfterTheFirstDraw) {
    fieldfx::standbild::Shake s;
    fieldfx::standbild::openShake(s, 10, 10, 10);
    EXPECT_EQ(s.noiseAmp, 11);  // 38 / 1489 - 11
    EXPECT_EQ(s.targetX, -0x1.1066419906642p+4);  // (2437 - 16383) x 10 / 16383.0 x 2
    fieldfx::standbild::openShake(s, 0, 3, 5);
    EXPECT_EQ(s.noiseAmp, 6);  // 38 / 2730 - 6
    EXPECT_EQ(s.targetX, 0.0);
    EXPECT_EQ(s.targetY, -0x1.60e583960e584p+0);  // (8855 - 16383) x 3 / 16383.0
}

TEST(StandbildDraws, OneSwitchPerCallWhenPositionsSkipAhead) {
    fieldfx::standbild::Shake s;
    fieldfx::standbild::openShake(s, 2, 2, 0);
    const double t0x = s.targetX, t0y = s.targetY;
    EXPECT_TRUE(fieldfx::standbild::switchIfDue(s, 0, 91, 2, 2));
    EXPECT_EQ(s.nextSwitch, 91);
    EXPECT_EQ(s.prevX, t0x);
    EXPECT_EQ(s.prevY, t0y);
    EXPECT_EQ(s.targetX, 0x1.2f74bdd2f74bep+0);   // (21238 - 16383) x 2 / 16383.0 x 2
    EXPECT_EQ(s.targetY, -0x1.b3d6cf5b3d6cfp+0);  // (2437 - 16383) x 2 / 16383.0
    EXPECT_FALSE(fieldfx::standbild::switchIfDue(s, 90, 91, 2, 2));
    EXPECT_TRUE(fieldfx::standbild::switchIfDue(s, 500, 91, 2, 2));
    EXPECT_EQ(s.nextSwitch, 182);
    EXPECT_TRUE(fieldfx::standbild::switchIfDue(s, 500, 91, 2, 2));
    EXPECT_EQ(s.nextSwitch, 273);
    for (int i = 0; i < 3; ++i) fieldfx::standbild::switchIfDue(s, 500, 91, 2, 2);
    EXPECT_EQ(s.nextSwitch, 546);
    EXPECT_FALSE(fieldfx::standbild::switchIfDue(s, 500, 91, 2, 2));
    EXPECT_FALSE(fieldfx::standbild::switchIfDue(s, -1, 91, 2, 2));
}

TEST(StandbildDraws, NextSwitchWrapsLikeThe32BitPlatform) {
    fieldfx::standbild::Shake s;
    s.nextSwitch = INT32_MAX - 10;
    EXPECT_TRUE(fieldfx::standbild::switchIfDue(s, INT32_MAX, 100, 0, 0));
    EXPECT_EQ(s.nextSwitch, INT32_MIN + 89);
}

TEST(StandbildDraws, DisplacementBlendsStartAndTarget) {
    fieldfx::standbild::Shake s;
    s.prevX = 1.0;
    s.prevY = 2.0;
    s.targetX = 3.0;
    s.targetY = -4.0;
    // ((91 - g) x 1 + g x 3) / 91 and ((91 - g) x 2 + g x -4) / 91 with g = 45495 / 2048.
    const fieldfx::standbild::Offset o = fieldfx::standbild::displacement(s, 22.21435546875, 91);
    EXPECT_EQ(o.x, 135.42871093750 / 91);
    EXPECT_EQ(o.y, 48.7138671875 / 91);
    EXPECT_EQ(fieldfx::standbild::displacement(s, 0.0, 91).x, 1.0);
    EXPECT_EQ(fieldfx::standbild::displacement(s, 91.0, 91).y, -4.0);
}

TEST(StandbildDraws, NoiseDivisorAndRange) {
    EXPECT_EQ(fieldfx::standbild::noiseDivisor(1), 4095);
    EXPECT_EQ(fieldfx::standbild::noiseDivisor(3), 1365);
    EXPECT_EQ(fieldfx::standbild::noiseDivisor(11), 372);
    EXPECT_EQ(fieldfx::standbild::noiseDivisor(0), 1);
    fieldfx::OpRandom r;
    r.seed(0);
    EXPECT_EQ(fieldfx::standbild::noisyLuma(r, 1, 4095, 100), 96);   // 38 / 4095 + 100 - 4
    EXPECT_EQ(fieldfx::standbild::noisyLuma(r, 1, 4095, 100), 97);   // 7719 / 4095 + 100 - 4
    EXPECT_EQ(fieldfx::standbild::noisyLuma(r, 1, 4095, 100), 101);  // 21238 / 4095 + 100 - 4
    for (int i = 0; i < 2000; ++i) {
        const int v = fieldfx::standbild::noisyLuma(r, 11, 372, 128);
        ASSERT_GE(v, 128 - 44);
        ASSERT_LE(v, 128 + 44);
        ASSERT_GE(fieldfx::standbild::noisyLuma(r, 11, 372, 0), 16);
        ASSERT_LE(fieldfx::standbild::noisyLuma(r, 11, 372, 255), 235);
    }
}

TEST(StandbildDraws, ZeroAmplitudeAddsNothingButStillDraws) {
    fieldfx::OpRandom r;
    r.seed(0);
    EXPECT_EQ(fieldfx::standbild::noisyLuma(r, 0, 1, 100), 100);
    EXPECT_EQ(fieldfx::standbild::noisyLuma(r, 0, 1, 3), 16);
    EXPECT_EQ(fieldfx::standbild::noisyLuma(r, 0, 1, 250), 235);
    EXPECT_EQ(r.next(), 2437);  // three draws consumed
}

// ---- The operator --------------------------------------------------------------

constexpr int kW = 16, kH = 8;
constexpr uint8_t kScratchOpacity = 0x5A;

// Byte 1 rises by 10 a column, byte 2 by 10 a row, byte 3 by 1 a column and
// a row: a displacement reads straight off the output.
FieldSpec ramp() {
    FieldSpec f = makeField(kW, kH);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            f.setWord(x, y, pixelWord(255, uint8_t(10 * x + 20), uint8_t(10 * y + 20),
                                      uint8_t(100 + x + y)));
    return f;
}

struct StandbildTest : ::testing::Test {
    Host host;
    Module shake{"Standbild"};

    StandbildTest() {
        host.setScratchFill(pixelWord(kScratchOpacity, 0, 0, 0));
        host.setInput(0, ramp());
    }
    void set(int horizontal, int vertical, int speed, int noise) {
        shake.slider(1).value = horizontal;
        shake.slider(2).value = vertical;
        shake.slider(3).value = speed;
        shake.slider(4).value = noise;
    }
    FieldSpec run(uint32_t position, uint32_t flags = 0, int16_t num = 0, int16_t den = 0) {
        EXPECT_EQ(shake.process(position, 200, flags, 1000, num, den), 0);
        return host.putField();
    }
};

TEST_F(StandbildTest, DescribesItsParameters) {
    const int ids[] = {1610, 1620, 1630, 1640};
    const int minimum[] = {0, 0, 1, 0}, maximum[] = {10, 10, 100, 10}, value[] = {2, 2, 10, 2};
    for (int i = 0; i < 4; ++i) {
        const SliderDescriptor& s = shake.slider(i + 1);
        EXPECT_EQ(s.head.textId, ids[i]);
        EXPECT_EQ(s.head.style, 0u);
        EXPECT_EQ(s.auxTextId, uint32_t(ids[i] + 1));
        EXPECT_EQ(s.formatter, nullptr);
        EXPECT_EQ(s.minimum, minimum[i]);
        EXPECT_EQ(s.maximum, maximum[i]);
        EXPECT_EQ(s.value, value[i]);
    }
}

TEST_F(StandbildTest, FirstFieldShowsTheOpenTargets) {
    set(2, 2, 10, 0);
    EXPECT_EQ(shake.open(), 0);
    // The switch fires at p = 0 with g = 0: the displacement is the open
    // targets, (-3.9907..., -1.0576...). Pixel (8, 4) reads (4.0093, 2.9423):
    // 10 x 0.0093 + 60 -> 60, 10 x 0.9423 + 40 -> 49, 106 + 0.0093 + 0.9423 -> 106.
    FieldSpec out = run(0);
    EXPECT_EQ(out.word(8, 4), pixelWord(kScratchOpacity, 60, 49, 106));
    EXPECT_EQ(out.word(0, 0), pixelWord(kScratchOpacity, 20, 20, 100));  // clamped to (0, 0)
    EXPECT_EQ(out.word(15, 7), pixelWord(kScratchOpacity, 130, 79, 116));
}

TEST_F(StandbildTest, GlidesAlongTheEasedCurveWithinAPeriod) {
    set(2, 2, 10, 0);
    shake.open();
    run(0);
    // p = 45: g = 22.21435546875, displacement (-2.72716..., -1.21508...).
    FieldSpec out = run(45);
    EXPECT_EQ(out.word(8, 4), pixelWord(kScratchOpacity, 72, 47, 108));
    EXPECT_EQ(out.word(15, 7), pixelWord(kScratchOpacity, 142, 77, 118));
    // p = 90: g = 89.9560546875, displacement (1.12599..., -1.69509...);
    // (15, 7) reads beyond the last column, which repeats.
    out = run(90);
    EXPECT_EQ(out.word(8, 4), pixelWord(kScratchOpacity, 111, 43, 111));
    EXPECT_EQ(out.word(0, 0), pixelWord(kScratchOpacity, 31, 20, 101));
    EXPECT_EQ(out.word(15, 7), pixelWord(kScratchOpacity, 170, 73, 120));
    // p = 91: the next switch, weight 0: the target drawn at p = 0,
    // (1.18537..., -1.70249...).
    out = run(91);
    EXPECT_EQ(out.word(8, 4), pixelWord(kScratchOpacity, 111, 42, 111));
    EXPECT_EQ(out.word(15, 7), pixelWord(kScratchOpacity, 170, 72, 120));
}

TEST_F(StandbildTest, PositionsSkippingAheadSwitchOncePerCall) {
    set(2, 2, 10, 0);
    shake.open();
    run(0);
    // One switch (to targets drawn 5th-6th): displacement (0.44732..., -1.42356...).
    FieldSpec out = run(500);
    EXPECT_EQ(out.word(8, 4), pixelWord(kScratchOpacity, 104, 45, 111));
    // The same position again switches once more (draws 7th-8th):
    // (-1.86720..., 0.05071...).
    out = run(500);
    EXPECT_EQ(out.word(8, 4), pixelWord(kScratchOpacity, 81, 60, 110));
}

TEST_F(StandbildTest, SpeedOneHundredJumpsToThePreviousTargetEveryField) {
    set(2, 2, 100, 0);
    shake.open();
    // Period 1: every field switches and shows the target drawn one field before.
    const uint32_t expected[] = {pixelWord(kScratchOpacity, 60, 49, 106),
                                 pixelWord(kScratchOpacity, 111, 42, 111),
                                 pixelWord(kScratchOpacity, 81, 54, 109),
                                 pixelWord(kScratchOpacity, 80, 79, 111)};
    for (uint32_t p = 0; p < 4; ++p) EXPECT_EQ(run(p).word(8, 4), expected[p]) << p;
}

TEST_F(StandbildTest, NoMotionAndNoNoiseCopiesBytesOneToThree) {
    set(0, 0, 37, 0);
    shake.open();
    FieldSpec in = ramp();
    in.setWord(3, 3, pixelWord(9, 1, 254, 255));  // no clamp without noise
    in.setWord(4, 3, pixelWord(9, 0, 3, 2));
    host.setInput(0, in);
    for (uint32_t p : {0u, 17u, 64u}) {
        const FieldSpec out = run(p);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                ASSERT_EQ(out.word(x, y), (in.word(x, y) & 0xFFFFFF00u) | kScratchOpacity);
    }
}

TEST_F(StandbildTest, NoiseFollowsTheDrawsAfterTheOpenAndTheSwitch) {
    set(2, 2, 10, 2);
    shake.open();  // noiseAmp 3, q = 1365; five draws at open, two at the switch
    host.setInput(0, makeField(kW, kH, pixelWord(255, 128, 128, 128)));
    const FieldSpec out = run(0);
    // 32285 / 1365 + 128 - 12, 10450 / 1365 + ..., 30612, 5853, 28100, 128 + ...
    const int expected[] = {139, 123, 138, 120, 136};
    for (int x = 0; x < 5; ++x) EXPECT_EQ(out.at(x, 0)[3], expected[x]) << x;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            EXPECT_EQ(out.at(x, y)[1], 128);
            ASSERT_GE(out.at(x, y)[3], 128 - 12);
            ASSERT_LE(out.at(x, y)[3], 128 + 12);
        }
}

TEST_F(StandbildTest, NoisyLumaIsClampedTo16Through235) {
    set(2, 2, 10, 10);
    shake.open();  // noiseAmp 11: +-44
    for (uint8_t luma : {0, 5, 250, 255}) {
        host.setInput(0, makeField(kW, kH, pixelWord(255, 128, 128, luma)));
        const FieldSpec out = run(0);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const int v = out.at(x, y)[3];
                ASSERT_GE(v, 16);
                ASSERT_LE(v, 235);
                ASSERT_LE(std::abs(v - std::clamp(int(luma), 16, 235)), 44);
            }
    }
}

TEST_F(StandbildTest, NewOpenRepeatsTheSameOutput) {
    set(3, 1, 60, 4);
    shake.open();
    std::vector<std::vector<uint8_t>> first;
    for (uint32_t p : {0u, 1u, 2u, 40u, 41u, 90u}) first.push_back(run(p).pixels);
    run(3);  // more draws before the new open change nothing
    shake.close();
    shake.open();
    std::size_t i = 0;
    for (uint32_t p : {0u, 1u, 2u, 40u, 41u, 90u}) EXPECT_EQ(run(p).pixels, first[i++]) << p;
    EXPECT_NE(first[0], first[1]);
}

TEST_F(StandbildTest, ScaleRatioScalesTheDisplacement) {
    set(2, 2, 10, 0);
    shake.open();
    // 2/1 doubles the open targets: (-7.98144..., -2.11536...).
    FieldSpec out = run(0, OPF_SCALE, 2, 1);
    EXPECT_EQ(out.word(8, 4), pixelWord(kScratchOpacity, 20, 38, 101));
    EXPECT_EQ(out.word(15, 0), pixelWord(kScratchOpacity, 90, 20, 107));
}

TEST_F(StandbildTest, ZeroScaleDenominatorMeansNoScaling) {
    set(2, 2, 10, 0);
    shake.open();
    const std::vector<uint8_t> plain = run(0).pixels;
    shake.open();
    EXPECT_EQ(run(0, OPF_SCALE, 5, 0).pixels, plain);
}

TEST_F(StandbildTest, SamplesClampToTheWholeImageNotTheActiveRectangle) {
    set(2, 2, 10, 0);
    shake.open();
    run(0);
    const std::vector<uint8_t> whole = run(90).pixels;
    FieldSpec in = ramp();
    in.setActive(4, 2, 6, 3);
    host.setInput(0, in);
    shake.open();
    run(0);
    EXPECT_EQ(run(90).pixels, whole);
}

TEST_F(StandbildTest, NegativePositionReadsTheFirstTableEntry) {
    set(2, 2, 10, 0);
    shake.open();
    // -5 as the host's signed count: before nextSwitch (0), no switch; k is
    // clamped to 0 so g = 0 and the displacement is the start, (0, 0).
    const FieldSpec out = run(0xFFFFFFFBu);
    EXPECT_EQ(host.calls()[0], "opGetField(0,4294967291)");
    const FieldSpec in = ramp();
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            ASSERT_EQ(out.word(x, y), (in.word(x, y) & 0xFFFFFF00u) | kScratchOpacity);
    run(0x80000000u);
    // Still no switch: the first field shows the open targets.
    EXPECT_EQ(run(0).word(8, 4), pixelWord(kScratchOpacity, 60, 49, 106));
}

TEST_F(StandbildTest, ProcessBeforeAnyOpenDoesNotFail) {
    set(2, 2, 10, 0);
    EXPECT_EQ(shake.process(5), 0);
    EXPECT_EQ(host.outstanding(), 0);
}

TEST_F(StandbildTest, SlidersOutsideTheirRangeAreClamped) {
    set(10, 10, 100, 10);
    shake.open();
    std::vector<std::vector<uint8_t>> top;
    for (uint32_t p = 0; p < 3; ++p) top.push_back(run(p).pixels);
    set(1000, 11, 101, 1 << 30);
    shake.open();
    for (uint32_t p = 0; p < 3; ++p) EXPECT_EQ(run(p).pixels, top[p]) << p;
    set(-4, -4, 0, -1);  // Speed 0 would give period 101; it is clamped to 1
    shake.open();
    const std::vector<uint8_t> low = run(0).pixels;
    set(0, 0, 1, 0);
    shake.open();
    EXPECT_EQ(run(0).pixels, low);
}

TEST_F(StandbildTest, FetchesAllocatesThenHandsBackTheInputAndPutsTheNewImage) {
    set(2, 2, 10, 2);
    shake.open();
    host.setPutResult(9);
    EXPECT_EQ(shake.process(4), 9);
    EXPECT_EQ(host.calls(), (std::vector<std::string>{"opGetField(0,4)", "opAllocImage(-1,-1,1,0)",
                                                      "opFreeImage(in0)", "opPutField(scratch1)"}));
    EXPECT_EQ(host.outstanding(), 0);
    EXPECT_EQ(host.badReleases(), 0);
}

TEST_F(StandbildTest, FailedFetchLogsLine125AndLeavesTheStateAlone) {
    set(2, 2, 10, 0);
    shake.open();
    host.failCall(Service::GetField, 1);
    EXPECT_EQ(shake.process(0), -1);
    EXPECT_EQ(host.calls(), (std::vector<std::string>{
                                "opGetField(0,0)", "loggerMessage(4,125,src\\Standbild,0x0bb90000)"}));
    ASSERT_EQ(host.logs().size(), 1u);
    EXPECT_EQ(host.logs()[0].text, " ");
    // The switch of p = 0 has not happened: the field still shows the open targets.
    EXPECT_EQ(run(0).word(8, 4), pixelWord(kScratchOpacity, 60, 49, 106));
}

TEST_F(StandbildTest, FailedAllocationLogsLine131AndReleasesTheInput) {
    set(2, 2, 10, 0);
    shake.open();
    host.failCall(Service::AllocImage, 1);
    EXPECT_EQ(shake.process(0), -1);
    EXPECT_EQ(host.calls(),
              (std::vector<std::string>{"opGetField(0,0)", "opAllocImage(-1,-1,1,0)",
                                        "loggerMessage(4,131,src\\Standbild,0x0bb90000)",
                                        "opFreeImage(in0)"}));
    EXPECT_EQ(host.outstanding(), 0);
    EXPECT_EQ(host.badReleases(), 0);
    EXPECT_EQ(run(0).word(8, 4), pixelWord(kScratchOpacity, 60, 49, 106));
}

TEST_F(StandbildTest, CloseAndOtherActionsCallNothing) {
    for (uint16_t action : {0, 2, 4, 5, 6, 7, 99}) {
        OperatorMessage m = message(action, 3);
        EXPECT_EQ(shake.action(m), 0);
    }
    EXPECT_EQ(shake.open(), 0);
    EXPECT_TRUE(host.calls().empty());
}

TEST_F(StandbildTest, SmallerScratchImageIsWrittenOnlyAsFarAsItReaches) {
    set(2, 2, 10, 0);
    shake.open();
    const std::vector<uint8_t> full = run(0).pixels;
    host.setScratchGeometry(makeField(kW, 3));
    shake.open();
    const FieldSpec out = run(0);
    ASSERT_EQ(out.height, 3);
    EXPECT_EQ(out.pixels, std::vector<uint8_t>(full.begin(), full.begin() + kW * 3 * 4));
    EXPECT_EQ(host.outstanding(), 0);
}

// Golden checksums of whole output fields over a run of positions, recorded
// once the exact tests above passed.
TEST_F(StandbildTest, GoldenChecksums) {
    struct Case {
        int horizontal, vertical, speed, noise;
        uint64_t sum;
    };
    const Case cases[] = {
        {2, 2, 10, 2, 0x71a2af34c8f4f99bull},
        {10, 10, 95, 0, 0x35617a1c8ad43ba7ull},
        {7, 0, 100, 10, 0xab696c74e29b2fbcull},
        {0, 5, 1, 1, 0x47549932e93eb552ull},
    };
    host.setInput(0, patternField(96, 48, 4));
    for (const Case& c : cases) {
        set(c.horizontal, c.vertical, c.speed, c.noise);
        shake.open();
        std::vector<uint8_t> all;
        for (uint32_t p : {0u, 1u, 2u, 7u, 30u, 31u, 99u, 250u}) {
            const std::vector<uint8_t> field = run(p).pixels;
            all.insert(all.end(), field.begin(), field.end());
        }
        EXPECT_EQ(checksum(all), c.sum) << c.horizontal << " " << c.vertical << " " << c.speed
                                        << " " << c.noise << " -> 0x" << std::hex << checksum(all);
    }
}

// ---- A freshly loaded library ---------------------------------------------------------
// (POSIX loading of a private copy; the module's logic is the same on Windows.)
#if !defined(_WIN32)

// A private copy of the module, so that it is loaded afresh whatever this
// process loaded before: its state is exactly a newly loaded library's.
class FreshStandbild {
public:
    FreshStandbild() {
        char dir[] = "/tmp/standbild-test-XXXXXX";
        if (mkdtemp(dir) == nullptr) throw std::runtime_error("mkdtemp");
        dir_ = dir;
        const std::string path = dir_ + "/Standbild.so";
        std::filesystem::copy_file(modulePath("Standbild"), path);
        handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle_ == nullptr) throw std::runtime_error(dlerror());
        action_ = reinterpret_cast<OperatorActionFn>(dlsym(handle_, "OperatorAction"));
        info_ = reinterpret_cast<GetOperatorInfoFn>(dlsym(handle_, "GetOperatorInfo"))();
    }
    ~FreshStandbild() {
        dlclose(handle_);
        std::filesystem::remove_all(dir_);
    }
    SliderDescriptor& slider(int index) {
        for (const OperatorTag* t = info_; t->tag != 0; ++t)
            if (t->tag == OPE_PARAM1 + uint32_t(index - 1))
                return *reinterpret_cast<SliderDescriptor*>(t->value);
        throw std::runtime_error("no such parameter");
    }
    int32_t act(uint16_t action, uint32_t position = 0) {
        OperatorMessage m = message(action, position, 200);
        return action_(&m);
    }

private:
    std::string dir_;
    void* handle_ = nullptr;
    OperatorActionFn action_ = nullptr;
    const OperatorTag* info_ = nullptr;
};

TEST(StandbildFreshLibrary, ZeroAmplitudeWithNoiseOnAddsNothingButKeepsTheDrawsInStep) {
    Host host;
    FreshStandbild shake;
    shake.slider(1).value = 2;
    shake.slider(2).value = 2;
    shake.slider(3).value = 100;  // period 1: every field switches
    shake.slider(4).value = 0;
    ASSERT_EQ(shake.act(OP_OPEN), 0);  // no noise at open: the amplitude stays 0
    shake.slider(4).value = 2;

    // With amplitude 0 byte 3 is only clamped.
    host.setInputAt(0, 0, makeField(kW, kH, pixelWord(255, 128, 128, 5)));
    host.setInputAt(0, 1, makeField(kW, kH, pixelWord(255, 128, 128, 250)));
    host.setInputAt(0, 2, ramp());
    host.setScratchGeometry(ramp());
    ASSERT_EQ(shake.act(OP_PROCESS, 0), 0);
    FieldSpec out = host.putField();
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) ASSERT_EQ(out.word(x, y), pixelWord(255, 128, 128, 16));
    ASSERT_EQ(shake.act(OP_PROCESS, 1), 0);
    out = host.putField();
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) ASSERT_EQ(out.word(x, y), pixelWord(255, 128, 128, 235));

    // Each field drew once a pixel: the target drawn at p = 1 comes from draws
    // 133 and 134 (26814, 9642): (2.54678..., -0.82292...). Pixel (8, 4) reads
    // (10.5468, 3.1771): 125, 51, and 113 + 0.5468 + 0.1771 -> 113, no noise.
    // Without the per-pixel draws it would be (-1.83800..., -0.55984...): 81, 54, 109.
    ASSERT_EQ(shake.act(OP_PROCESS, 2), 0);
    EXPECT_EQ(host.putField().word(8, 4), pixelWord(255, 125, 51, 113));
    EXPECT_EQ(host.outstanding(), 0);
}

#endif

}  // namespace
