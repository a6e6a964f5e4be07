// Glide: the band cross-fades the incoming field with the outgoing one
// shifted in one of eight directions.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "shift.h"
#include "wipe_positions.h"
#include "testhost.h"
#include "transhost_double.h"

using namespace testhost;
namespace glide = fieldfx::glide;

namespace {

// ---- Arithmetic --------------------------------------------------------------

TEST(GlideArithmetic, ShiftLengthIsAPercentOfTheActiveHeight) {
    EXPECT_EQ(glide::shiftLength(50, 288), 144);
    EXPECT_EQ(glide::shiftLength(33, 100), 33);
    EXPECT_EQ(glide::shiftLength(33, 10), 3);  // 330 / 100
    EXPECT_EQ(glide::shiftLength(0, 288), 0);
}

TEST(GlideArithmetic, EightDirectionsWithTwiceTheHorizontalLength) {
    struct Expect {
        uint32_t direction;
        int32_t dx, dy;
    };
    const Expect table[] = {{0, 0, 7},  {1, -14, 7}, {2, -14, 0}, {3, -14, -7}, {4, 0, -7},
                            {5, 14, -7}, {6, 14, 0},  {7, 14, 7},  {8, 0, 0},    {0xFFFFFFFFu, 0, 0}};
    for (const Expect& e : table) {
        const glide::Shift s = glide::shiftVector(e.direction, 7);
        EXPECT_EQ(s.dx, e.dx) << e.direction;
        EXPECT_EQ(s.dy, e.dy) << e.direction;
    }
}

TEST(GlideArithmetic, HandDerivedPositionsInSinglePrecision) {
    // S 323, D 144, direction 0, pixel (100, 100).
    // m 255: k 289, S - k 34: 4896 / 323 + 100 (double would give 115.15789473684211).
    EXPECT_EQ(glide::shiftedCoordinate(34, 144, 323, 100, 0), 115.15789794921875);
    EXPECT_EQ(glide::shiftedCoordinate(34, 0, 323, 100, 0), 100.0);
    // m 0: k 34, S - k 289.
    EXPECT_EQ(glide::shiftedCoordinate(289, 144, 323, 100, 0), 228.84210205078125);
    // Direction 1 at (0, 0), m 100: k 134, S - k 189.
    EXPECT_EQ(glide::shiftedCoordinate(189, -288, 323, 0, 0), -168.52012634277344);
    EXPECT_EQ(glide::shiftedCoordinate(189, 144, 323, 0, 0), 84.26006317138672);
    // The origin of the active rectangle is added last, in single precision too.
    EXPECT_EQ(glide::shiftedCoordinate(34, 144, 323, 100, 3), 118.15789794921875);
}

TEST(GlideArithmetic, FourPositionsAtOnceAreTheScalarOnes) {
    std::mt19937 rng(5);
    auto pick = [&](int lo, int hi) { return lo + int(rng() % unsigned(hi - lo + 1)); };
    for (int run = 0; run < 2000; ++run) {
        const int32_t S = pick(4, fieldfx::kMaxBandWidth), aH = pick(1, 1080);
        const glide::Shift shift =
            glide::shiftVector(uint32_t(pick(0, 8)), glide::shiftLength(pick(0, 100), aH));
        const int32_t ax = pick(0, 50), ay = pick(0, 50);
        const glide::ShiftPositions p(shift, ax, ay, S);
        const int32_t r = pick(0, aH - 1), l = pick(0, S - 4);
        int32_t c[4], k[4];
        for (int j = 0; j < 4; ++j) c[j] = pick(0, 1919), k[j] = pick(0, S - 1);
        for (const wipetest::Quad& q : wipetest::quadEveryLaneType(p, r, c, k, l)) {
            for (int j = 0; j < 4; ++j) {
                ASSERT_EQ(q[j], glide::shiftedCoordinate(S - k[j], shift.dx, S, c[j], ax)) << run;
                ASSERT_EQ(q[4 + j], glide::shiftedCoordinate(S - l - j, shift.dy, S, r, ay)) << run;
            }
        }
    }
}

// ---- The operator ---------------------------------------------------------------

struct GlideTest : ::testing::Test {
    Host host;
    TransHostDouble tx{host};
    Module glide{"Glide"};

    GlideTest() { tx.namePrefs(glide.prefs()->block); }
    ~GlideTest() override { glide.close(); }

    uint8_t* maskAt(int x, int y) {
        return static_cast<uint8_t*>(tx.mask()->pixels) + y * tx.mask()->width + x;
    }
};

TEST_F(GlideTest, DescribesItsParameters) {
    const ParamDescriptor* group = glide.param(1);
    EXPECT_EQ(group->kind, PARAM_GROUP);
    EXPECT_EQ(group->textId, 1840);
    EXPECT_EQ(group->style, 0u);
    const int ids[] = {1810, 1820};
    for (int i = 0; i < 2; ++i) {
        const SliderDescriptor& s = glide.slider(2 + i);
        EXPECT_EQ(s.head.textId, ids[i]);
        EXPECT_EQ(s.head.style, 0u);
        EXPECT_EQ(s.auxTextId, uint32_t(ids[i] + 1));
        EXPECT_EQ(s.formatter, nullptr);
        EXPECT_EQ(s.minimum, 0);
        EXPECT_EQ(s.maximum, 100);
        EXPECT_EQ(s.value, 50);
    }
    const ChoiceDescriptor& d = glide.choice(4);
    EXPECT_EQ(d.head.textId, 1830);
    EXPECT_EQ(d.head.style, 1u);
    for (uint32_t i = 0; i < 8; ++i) EXPECT_EQ(d.labels[i], i + 1);
    EXPECT_EQ(d.labels[8], 0u);
    EXPECT_EQ(d.value, 0u);
}

// Softness 50, Distance 50, field 25 of 50 over 720 x 288 fields: S 323,
// T 289, L -34, D 144.
TEST_F(GlideTest, MidSpanBlendsTheShiftedOutgoingField) {
    host.setInput(0, patternField(720, 288, 0));
    host.setInput(1, patternField(720, 288, 100));
    tx.setMask(720, 288, 255);
    ASSERT_EQ(glide.open(), 0);
    // Direction 0, (100, 100), m 255: the outgoing field at (100, 115.158)
    // reads (149, 200, 210, 46); incoming (52, 103, 154, 205); k 289.
    EXPECT_EQ(glide.process(25, 50), 0);
    EXPECT_EQ(host.putField().word(100, 100), pixelWord(138, 189, 204, 62));
    // m 0: (100, 228.842) reads (90, 141, 192, 243); k 34.
    *maskAt(100, 100) = 0;
    EXPECT_EQ(glide.process(25, 50), 0);
    EXPECT_EQ(host.putField().word(100, 100), pixelWord(56, 107, 158, 209));
    // Direction 1, (0, 0), m 100: (-168.52, 84.26) reads column 0 between rows
    // 84 and 85: (71, 122, 173, 224); incoming (100, 151, 202, 253); k 134.
    *maskAt(0, 0) = 100;
    glide.choice(4).value = 1;
    EXPECT_EQ(glide.process(25, 50), 0);
    EXPECT_EQ(host.putField().word(0, 0), pixelWord(87, 138, 189, 240));
}

// Softness 100 (S 650), field 425 of 905 (T 425, L -225) and mask 100: every
// band pixel has k 325, so it reads the outgoing field half a shift vector
// away with weight one half. Distance 50 of an active height of 20 gives
// D 10: half vectors of (0 | +-10, 0 | +-5), whole pixels. Against a black
// (all-zero) incoming field each byte is the sampled byte / 2; samples
// leaving the active rectangle (2, 1, 36, 20) read its edge.
struct GlideDirections : GlideTest, ::testing::WithParamInterface<uint32_t> {};

TEST_P(GlideDirections, BandReadsHalfTheShiftVectorAway) {
    const uint32_t direction = GetParam();
    int hx = 0, hy = 0;  // half the shift vector, from the direction table
    switch (direction) {
        case 0: hx = 0, hy = 5; break;
        case 1: hx = -10, hy = 5; break;
        case 2: hx = -10, hy = 0; break;
        case 3: hx = -10, hy = -5; break;
        case 4: hx = 0, hy = -5; break;
        case 5: hx = 10, hy = -5; break;
        case 6: hx = 10, hy = 0; break;
        case 7: hx = 10, hy = 5; break;
        default: break;
    }
    FieldSpec a = patternField(40, 22, 0), b = makeField(40, 22, pixelWord(0, 0, 0, 0));
    for (FieldSpec* f : {&a, &b}) f->setActive(2, 1, 36, 20);
    host.setInput(0, a);
    host.setInput(1, b);
    tx.setMask(9, 5, 100);
    ASSERT_EQ(glide.open(), 0);
    glide.slider(2).value = 100;
    glide.choice(4).value = direction;
    EXPECT_EQ(glide.process(425, 905), 0);
    const FieldSpec out = host.putField();
    for (int y = 0; y < 22; ++y) {
        for (int x = 0; x < 40; ++x) {
            if (x < 2 || x >= 38 || y < 1 || y >= 21) {
                EXPECT_EQ(out.word(x, y), BLACK_PIXEL) << x << "," << y;  // the new image's fill
                continue;
            }
            const int sx = std::clamp(x + hx, 2, 37), sy = std::clamp(y + hy, 1, 20);
            for (int i = 0; i < 4; ++i)
                ASSERT_EQ(out.at(x, y)[i], ((sx * 7 + sy * 13 + i * 51) & 255) / 2)
                    << "direction " << direction << " at " << x << "," << y << " lane " << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllDirections, GlideDirections,
                         ::testing::Values(0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 100u, 0xFFFFFFFFu));

TEST_F(GlideTest, DistanceZeroCrossFadesPixelByPixel) {
    const FieldSpec a = patternField(12, 6, 3), b = patternField(12, 6, 40);
    host.setInput(0, a);
    host.setInput(1, b);
    tx.setMask(4, 3, 100);
    ASSERT_EQ(glide.open(), 0);
    glide.slider(3).value = 0;
    glide.choice(4).value = 5;
    EXPECT_EQ(glide.process(1, 2), 0);  // S 323, T 289, L -34: k 134
    const FieldSpec out = host.putField();
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 12; ++x)
            for (int i = 0; i < 4; ++i)
                EXPECT_EQ(out.at(x, y)[i], (b.at(x, y)[i] * 189 + a.at(x, y)[i] * 134) / 323)
                    << x << "," << y << " lane " << i;
}

TEST_F(GlideTest, DistanceOutsideItsRangeIsClamped) {
    host.setInput(0, patternField(24, 10, 3));
    host.setInput(1, patternField(24, 10, 40));
    tx.setMask(24, 10, 100);
    ASSERT_EQ(glide.open(), 0);
    glide.choice(4).value = 3;
    auto field = [&](int32_t distance) {
        glide.slider(3).value = distance;
        EXPECT_EQ(glide.process(1, 2), 0);
        return host.putPixels();
    };
    EXPECT_EQ(field(250), field(100));
    EXPECT_EQ(field(-1), field(0));
    EXPECT_NE(field(100), field(0));
}

// ---- Whole fields ------------------------------------------------------------------

struct GlideGolden {
    const char* name;
    int32_t softness, distance;
    uint32_t direction, position, duration;
    uint64_t sum;
};

TEST_F(GlideTest, GoldenChecksumsOfWholeFields) {
    const GlideGolden cases[] = {
        {"defaults-middle", 50, 50, 0, 25, 50, 10061176448545783087ull},
        {"wide-band-far-up-left", 100, 100, 3, 10, 40, 3471562678737146039ull},
        {"narrow-band-up-right", 20, 30, 5, 30, 40, 10352167846797166016ull},
        {"thin-band", 1, 50, 7, 20, 40, 7920465569984429575ull},
        {"no-direction", 75, 13, 9, 39, 40, 15526963153671507303ull},
        {"left", 60, 80, 2, 22, 40, 13838104847624175812ull},
        {"down-left", 45, 100, 1, 17, 40, 14898808806254627020ull},
        {"up", 90, 70, 4, 28, 40, 7247823780480219180ull},
        {"right", 30, 100, 6, 12, 40, 323512382539911164ull},
    };
    FieldSpec a = patternField(64, 30, 5);
    a.setActive(3, 2, 58, 26);
    host.setInput(0, a);
    host.setInput(1, patternField(64, 30, 91));
    tx.setPatternMask(45, 20);
    ASSERT_EQ(glide.open(), 0);
    for (const GlideGolden& g : cases) {
        glide.slider(2).value = g.softness;
        glide.slider(3).value = g.distance;
        glide.choice(4).value = g.direction;
        EXPECT_EQ(glide.process(g.position, g.duration), 0);
        EXPECT_EQ(checksum(host.putPixels()), g.sum) << g.name;
    }
}

}  // namespace
