// Telescope: the band cross-fades the incoming field with the outgoing one
// magnified about the centre of the active rectangle.
#include <gtest/gtest.h>

#include <random>

#include "fieldfx/helpers/effects/pattern_wipe.h"
#include "testhost.h"
#include "transhost_double.h"
#include "wipe_positions.h"
#include "zoom.h"

using namespace testhost;
namespace telescope = fieldfx::telescope;

namespace {

// ---- Arithmetic --------------------------------------------------------------

TEST(TelescopeArithmetic, BandWidthForSoftness50_100_1_0) {
    EXPECT_EQ(fieldfx::wipeBandWidth(50), 323);   // 127 x 255 / 100
    EXPECT_EQ(fieldfx::wipeBandWidth(100), 650);  // 255 x 255 / 100
    EXPECT_EQ(fieldfx::wipeBandWidth(1), 5);      // 2 x 255 / 100
    EXPECT_EQ(fieldfx::wipeBandWidth(0), 0);
}

TEST(TelescopeArithmetic, BandLevelsOfTheSpan) {
    fieldfx::WipeLevels lv = fieldfx::wipeLevels(323, 25, 50);
    EXPECT_EQ(lv.S, 323);
    EXPECT_EQ(lv.T, 289);  // 578 x 25 / 50
    EXPECT_EQ(lv.L, -34);
    lv = fieldfx::wipeLevels(323, 49, 50);  // the last field
    EXPECT_EQ(lv.T, 566);
    EXPECT_EQ(lv.L, 243);
    lv = fieldfx::wipeLevels(0, 0, 50);
    EXPECT_EQ(lv.T, 0);
    EXPECT_EQ(lv.L, 0);
}

TEST(TelescopeArithmetic, ZoomStrengthIsSinglePrecision) {
    // 14400 / 1000 rounded to single precision, then widened.
    EXPECT_EQ(telescope::zoomStrength(50, 288), 14.399999618530273);
    EXPECT_EQ(telescope::zoomStrength(50, 288), 0x1.ccccccp+3);
    EXPECT_EQ(telescope::zoomStrength(0, 288), 0.0);
    EXPECT_EQ(telescope::zoomStrength(100, 576), 57.599998474121094);
}

TEST(TelescopeArithmetic, MatchesHandDerivedSamplePositions) {
    const double Z = 14.399999618530273;
    // (600, 200) with mask 255: k = 289, S - k = 34.
    const double f1 = telescope::magnification(323, 289, Z);
    EXPECT_EQ(f1, 0x1.4205635e50d7ap+1);  // 2.5157894...
    EXPECT_EQ(telescope::zoomedCoordinate(600, 360, 0, f1), 0x1.c765c1f969710p+8);  // 455.397...
    EXPECT_EQ(telescope::zoomedCoordinate(200, 144, 0, f1), 0x1.4c84d1fcecf07p+7);  // 166.259...
    // (10, 10) with mask 0: k = 34, S - k = 289.
    const double f2 = telescope::magnification(323, 34, Z);
    EXPECT_EQ(f2, 0x1.bc4b73286bca2p+3);  // 13.884...
    EXPECT_EQ(telescope::zoomedCoordinate(10, 360, 0, f2), 0x1.4ecaa04657d70p+8);  // 334.79...
    EXPECT_EQ(telescope::zoomedCoordinate(10, 144, 0, f2), 0x1.0cb28f34665e6p+7);  // 134.35...
    // Zoom 0: no magnification, whole pixels stay whole.
    EXPECT_EQ(telescope::magnification(323, 34, 0.0), 1.0);
    EXPECT_EQ(telescope::zoomedCoordinate(17, 360, 5, 1.0), 22.0);
    // The offset of the rectangle is added after the magnification.
    EXPECT_EQ(telescope::zoomedCoordinate(600, 360, 7, f1), 0x1.c765c1f969710p+8 + 7.0);
}

TEST(TelescopeArithmetic, FourPositionsAtOnceAreTheScalarOnes) {
    std::mt19937 rng(3);
    auto pick = [&](int lo, int hi) { return lo + int(rng() % unsigned(hi - lo + 1)); };
    for (int run = 0; run < 2000; ++run) {
        const int32_t S = pick(8, fieldfx::kMaxBandWidth), aH = pick(1, 1080);
        const double Z = telescope::zoomStrength(pick(0, 100), aH);
        const int32_t halfW = pick(0, 960), halfH = aH / 2, ax = pick(0, 50), ay = pick(0, 50);
        // Field 1 of 2: the levels from L = (S + 255) / 2 - S up.
        const fieldfx::WipeLevels lv = fieldfx::wipeLevels(S, 1, 2);
        const fieldfx::LevelRange levels = fieldfx::bandLevelRange(lv);
        const telescope::ZoomPositions p(halfW, halfH, ax, ay, lv, Z);
        const int32_t r = pick(0, aH - 1), l = pick(levels.lo, levels.hi - 4);
        int32_t c[4], k[4];
        for (int j = 0; j < 4; ++j) c[j] = pick(0, 2 * halfW + 1), k[j] = pick(levels.lo, levels.hi - 1);
        for (const wipetest::Quad& q : wipetest::quadEveryLaneType(p, r, c, k, l)) {
            for (int j = 0; j < 4; ++j) {
                const double f = telescope::magnification(S, k[j], Z);
                ASSERT_EQ(q[j], telescope::zoomedCoordinate(c[j], halfW, ax, f)) << run;
                ASSERT_EQ(q[4 + j], telescope::zoomedCoordinate(
                                        r, halfH, ay, telescope::magnification(S, l + j, Z)))
                    << run;
            }
        }
    }
}

// ---- The operator ---------------------------------------------------------------

struct TelescopeTest : ::testing::Test {
    Host host;
    TransHostDouble tx{host};
    Module telescope{"Telescope"};

    TelescopeTest() { tx.namePrefs(telescope.prefs()->block); }
    ~TelescopeTest() override { telescope.close(); }
};

TEST_F(TelescopeTest, DescribesItsParameters) {
    const ParamDescriptor* group = telescope.param(1);
    EXPECT_EQ(group->kind, PARAM_GROUP);
    EXPECT_EQ(group->textId, 1930);
    EXPECT_EQ(group->style, 0u);
    const int ids[] = {1910, 1920};
    for (int i = 0; i < 2; ++i) {
        const SliderDescriptor& s = telescope.slider(2 + i);
        EXPECT_EQ(s.head.textId, ids[i]);
        EXPECT_EQ(s.head.style, 0u);
        EXPECT_EQ(s.auxTextId, uint32_t(ids[i] + 1));
        EXPECT_EQ(s.formatter, nullptr);
        EXPECT_EQ(s.minimum, 0);
        EXPECT_EQ(s.maximum, 100);
        EXPECT_EQ(s.value, 50);
    }
}

// Softness 50, Zoom 50, field 25 of 50 over 720 x 288 fields: every mask
// value lies in the band (S 323, T 289, L -34).
TEST_F(TelescopeTest, MidSpanBlendsTheMagnifiedOutgoingField) {
    host.setInput(0, patternField(720, 288, 0));
    host.setInput(1, patternField(720, 288, 100));
    tx.setMask(720, 288, 255);
    ASSERT_EQ(telescope.open(), 0);
    static_cast<uint8_t*>(tx.mask()->pixels)[10 * 720 + 10] = 0;
    EXPECT_EQ(telescope.process(25, 50), 0);
    const FieldSpec out = host.putField();
    // (600, 200), m 255: the outgoing field at (455.397, 166.259) reads
    // (229, 24, 75, 126); incoming (244, 39, 90, 141); (in1 x 34 + s x 289) / 323.
    EXPECT_EQ(out.word(600, 200), pixelWord(230, 25, 76, 127));
    // (10, 10), m 0: sample (334.79, 134.35) = (179, 45, 96, 147), incoming
    // (44, 95, 146, 197); (in1 x 289 + s x 34) / 323.
    EXPECT_EQ(out.word(10, 10), pixelWord(58, 89, 140, 191));
    // The centre (360, 144) samples itself at every magnification: incoming
    // (140, 191, 242, 37), outgoing (40, 91, 142, 193), k 289.
    EXPECT_EQ(out.word(360, 144), pixelWord(50, 101, 152, 176));
}

// With Zoom 0 the band is a plain cross-fade of the same pixel of both fields.
TEST_F(TelescopeTest, ZoomZeroCrossFadesPixelByPixel) {
    const FieldSpec a = patternField(12, 6, 3), b = patternField(12, 6, 40);
    host.setInput(0, a);
    host.setInput(1, b);
    tx.setMask(4, 3, 100);
    ASSERT_EQ(telescope.open(), 0);
    telescope.slider(3).value = 0;
    EXPECT_EQ(telescope.process(1, 2), 0);  // S 323, T 289, L -34: k 134
    const FieldSpec out = host.putField();
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 12; ++x)
            for (int i = 0; i < 4; ++i)
                EXPECT_EQ(out.at(x, y)[i], (b.at(x, y)[i] * 189 + a.at(x, y)[i] * 134) / 323)
                    << x << "," << y << " lane " << i;
}

TEST_F(TelescopeTest, CentreOfTheActiveRectangleSamplesItself) {
    FieldSpec a = patternField(20, 12, 3), b = patternField(20, 12, 40);
    for (FieldSpec* f : {&a, &b}) f->setActive(3, 2, 14, 8);
    host.setInput(0, a);
    host.setInput(1, b);
    tx.setMask(14, 8, 100);
    ASSERT_EQ(telescope.open(), 0);
    telescope.slider(3).value = 100;
    EXPECT_EQ(telescope.process(1, 2), 0);  // k 134
    // halfW 7, halfH 4: column 10, row 6 of the field.
    const FieldSpec out = host.putField();
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(out.at(10, 6)[i], (b.at(10, 6)[i] * 189 + a.at(10, 6)[i] * 134) / 323);
}

TEST_F(TelescopeTest, ZoomOutsideItsRangeIsClamped) {
    host.setInput(0, patternField(24, 10, 3));
    host.setInput(1, patternField(24, 10, 40));
    tx.setMask(24, 10, 100);
    ASSERT_EQ(telescope.open(), 0);
    auto field = [&](int32_t zoom) {
        telescope.slider(3).value = zoom;
        EXPECT_EQ(telescope.process(1, 2), 0);
        return host.putPixels();
    };
    EXPECT_EQ(field(400), field(100));
    EXPECT_EQ(field(-5), field(0));
    EXPECT_NE(field(100), field(0));
}

// ---- Whole fields ------------------------------------------------------------------

struct TelescopeGolden {
    const char* name;
    int32_t softness, zoom;
    uint32_t position, duration;
    uint64_t sum;
};

TEST_F(TelescopeTest, GoldenChecksumsOfWholeFields) {
    const TelescopeGolden cases[] = {
        {"defaults-middle", 50, 50, 25, 50, 13172925879565360188ull},
        {"wide-band-strong-zoom", 100, 100, 10, 40, 8522778930083743209ull},
        {"narrow-band-no-zoom", 20, 0, 30, 40, 1302647709224092540ull},
        {"hard-edge", 0, 50, 20, 40, 17350509429345599987ull},
        {"last-field", 75, 13, 39, 40, 11065997118657347548ull},
    };
    FieldSpec a = patternField(64, 30, 5);
    a.setActive(3, 2, 58, 26);
    host.setInput(0, a);
    host.setInput(1, patternField(64, 30, 91));
    tx.setPatternMask(45, 20);
    ASSERT_EQ(telescope.open(), 0);
    for (const TelescopeGolden& g : cases) {
        telescope.slider(2).value = g.softness;
        telescope.slider(3).value = g.zoom;
        EXPECT_EQ(telescope.process(g.position, g.duration), 0);
        EXPECT_EQ(checksum(host.putPixels()), g.sum) << g.name;
    }
}

}  // namespace
