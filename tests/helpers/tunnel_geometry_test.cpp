// The tunnel geometry shared by Tunnel and Burrow, pinned to the bit. The
// expected doubles were derived by hand in an independent evaluation of the
// formulas (printed with %a).
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "fieldfx/helpers/effects/tunnel_geometry.h"
#include "testhost.h"

using namespace fieldfx;

namespace {

// Transcendental results are pinned to the last bit on x86-64 only; other C
// libraries may differ there (the output bytes are checked everywhere).
#if UINTPTR_MAX == UINT64_MAX
#define EXPECT_TRANSCENDENTAL(actual, expected) EXPECT_EQ(actual, expected)
#else
#define EXPECT_TRANSCENDENTAL(actual, expected) EXPECT_NEAR(actual, expected, 1e-12)
#endif

const TunnelCentre kEven{320, 140, 0, 1000};

TEST(TunnelGeometry, CentreCountsFromTheActiveCornerAndReadsTheMessage) {
    FieldImage image{};
    image.activeX = 8;
    image.activeY = -3;
    PositionDescriptor marker{};
    marker.posX = 320;
    marker.posY = 140;
    OperatorMessage msg{};
    msg.flags = OPF_ODD_FIELD | OPF_SCALE;
    msg.pixelAspect = 1094;
    TunnelCentre c = tunnelCentre(&image, marker, &msg);
    EXPECT_EQ(c.cx, 328);
    EXPECT_EQ(c.cy, 137);
    EXPECT_EQ(c.f, 1);
    EXPECT_EQ(c.pa, 1094);
    msg.flags = OPF_SCALE;
    msg.pixelAspect = 0;  // taken as square pixels
    c = tunnelCentre(&image, marker, &msg);
    EXPECT_EQ(c.f, 0);
    EXPECT_EQ(c.pa, 1000);
}

TEST(TunnelGeometry, VerticalDistanceCountsFrameLinesScaledByAspect) {
    EXPECT_EQ(frameLineDistance(kEven, 20), -240.0);
    EXPECT_EQ(frameLineDistance(TunnelCentre{320, 140, 1, 1000}, 20), -239.0);
    // 1094 * -240 / 1000, the product first.
    EXPECT_EQ(frameLineDistance(TunnelCentre{320, 140, 0, 1094}, 20), -0x1.068f5c28f5c29p+8);
    EXPECT_EQ(frameLineDistance(TunnelCentre{320, 140, 1, 1094}, 20), -0x1.058f5c28f5c29p+8);
    EXPECT_EQ(columnDistance(kEven, 700), 380.0);
    EXPECT_EQ(columnDistance(kEven, 7), -313.0);
    EXPECT_EQ(centreDistance(10.0, 20.0), 0x1.65c55827df1d2p+4);  // 22.360679774997898
}

TEST(TunnelGeometry, RingRadiusRunsFromTheRimToDepthBeyondIt) {
    const double span = 0x1.ca0cc59a7fdc0p+8;  // 458.04989019033019
    EXPECT_EQ(ringRadius(10, 236.0, span, 144.0), 0x1.2a4df7468924ep+7);  // 149.15227718757745
    EXPECT_EQ(ringRadius(10, 96.0, span, 144.0), 0x1.243112255ed6ap+7);   // 146.09584156782813
    EXPECT_EQ(ringRadius(0, 236.0, span, 144.0), 144.0);
    EXPECT_EQ(ringRadius(10, span, span, 144.0), 154.0);
}

TEST(TunnelGeometry, SamplesAlongThePixelsDirection) {
    // Right of the centre on its row, and straight above it.
    SamplePosition s = tunnelSample(kEven, 380.0, 0.0, 380.0, 0x1.2a4df7468924ep+7);
    EXPECT_EQ(s.x, 0x1.d526fba344927p+8);  // 469.15227718757745
    EXPECT_EQ(s.y, 140.0);
    s = tunnelSample(kEven, 0.0, -240.0, 240.0, 0x1.243112255ed6ap+7);
    EXPECT_EQ(s.x, 320.0);
    EXPECT_EQ(s.y, 0x1.0bceeddaa1296p+6);  // 66.952079216085934
    // A rim radius that grows with progress: the ring at 254.078... lies
    // right of the centre.
    s = tunnelSample(kEven, 380.0, 0.0, 380.0, 0x1.fc28020faf0d7p+7);
    EXPECT_EQ(s.x, 0x1.1f0a0083ebc36p+9);  // 574.07814072620272
}

TEST(TunnelGeometry, OddFieldAndAspectAreUndoneInTheSampleRow) {
    const TunnelCentre c{20, 10, 1, 1094};
    const double dv = frameLineDistance(c, 3);
    EXPECT_EQ(dv, -0x1.ca1cac083126fp+3);  // -14.316000000000001
    const double dist = centreDistance(11.0, dv);
    EXPECT_EQ(dist, 0x1.20dd4a66cd6c0p+4);
    const double rho = ringRadius(7, dist - 4.25, 13.5, 4.25);
    EXPECT_EQ(rho, 0x1.6d0b699a04700p+3);
    const SamplePosition s = tunnelSample(c, 11.0, dv, dist, rho);
    EXPECT_TRANSCENDENTAL(s.x, 0x1.af35264efa8a6p+4);  // 26.950475986967511
    EXPECT_TRANSCENDENTAL(s.y, 0x1.5a2868bc8990ap+2);  // 5.4087163773713289
}

// Every pixel of a kept table against its own distance and direction.
void expectTableHoldsEachPixel(const TunnelTable* table, const TunnelCentre& c, int32_t width,
                               int32_t height, const std::string& what) {
    ASSERT_NE(table, nullptr) << what;
    for (int32_t y = 0; y < height; ++y) {
        const double dv = frameLineDistance(c, y);
        const TunnelRows row = table->row(y);
        for (int32_t x = 0; x < width; ++x) {
            const double dx = columnDistance(c, x), dist = centreDistance(dx, dv);
            ASSERT_EQ(row.dist[x], dist) << what << " pixel " << x << "," << y;
            if (dist == 0.0) continue;
            const Direction u = directionOf(dx, dv, dist);
            ASSERT_EQ(row.ux[x], u.ux) << what << " pixel " << x << "," << y;
            ASSERT_EQ(row.uy[x], u.uy) << what << " pixel " << x << "," << y;
        }
    }
}

// The kept table against each pixel's own distance and direction, with
// centres that let rows and columns mirror others (even fields, and odd ones
// with square pixels) and centres that do not.
TEST(TunnelGeometry, KeptTableHoldsEachPixelsDistanceAndDirection) {
    std::mt19937 random(3);
    auto draw = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    for (int trial = 0; trial < 200; ++trial) {
        const int32_t width = draw(1, 40), height = draw(1, 30);
        const TunnelCentre c{draw(-10, width + 10), draw(-10, height + 10), draw(0, 1),
                             trial % 2 ? 1000 : draw(1, 3000)};
        TunnelGeometryCache cache;
        expectTableHoldsEachPixel(cache.rows(c, width, height), c, width, height,
                                  "trial " + std::to_string(trial));
        if (HasFatalFailure()) return;
    }
}

// One cache across a moving centre, as an animated Centre drives it: steps of
// a few pixels, jumps across and out of the field, both parities, a changed
// pixel aspect and a changed field size. The canvas grows and is read at new
// offsets; every pixel must still hold its own distance and direction.
TEST(TunnelGeometry, MovingCentreKeepsEachPixelsDistanceAndDirection) {
    std::mt19937 random(11);
    auto draw = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    TunnelGeometryCache cache;
    int32_t width = 37, height = 23, cx = 18, cy = 11, pa = 1000;
    for (int step = 0; step < 400; ++step) {
        switch (draw(0, 9)) {
            case 0: cx = draw(-60, width + 60), cy = draw(-40, height + 40); break;
            case 1: pa = draw(0, 1) ? 1000 : draw(1, 3000); break;
            case 2: width = draw(1, 50), height = draw(1, 30); break;
            default: cx += draw(-5, 5), cy += draw(-3, 3); break;
        }
        const TunnelCentre c{cx, cy, step % 2, pa};
        expectTableHoldsEachPixel(cache.rows(c, width, height), c, width, height,
                                  "step " + std::to_string(step) + " centre " +
                                      std::to_string(cx) + "," + std::to_string(cy) + " pa " +
                                      std::to_string(pa) + " odd " + std::to_string(step % 2));
        if (HasFatalFailure()) return;
    }
}

// What a moving centre costs: a still centre nothing after its first field;
// a step of a few pixels at most the strip it uncovers (here none: the margin
// taken when the canvas first grew covers it); a return to where it was, nothing.
TEST(TunnelGeometry, MovingCentreWorksOutOnlyOffsetsNotHeldBefore) {
    TunnelGeometryCache cache;
    const int32_t width = 200, height = 100;
    ASSERT_NE(cache.rows(TunnelCentre{100, 50, 0, 1094}, width, height), nullptr);
    const std::size_t first = cache.cellsComputed();
    EXPECT_GT(first, std::size_t(width * height / 4));
    EXPECT_LE(first, std::size_t(width * height));
    ASSERT_NE(cache.rows(TunnelCentre{100, 50, 0, 1094}, width, height), nullptr);
    EXPECT_EQ(cache.cellsComputed(), first);

    // Three columns to the right: the canvas grows left by three columns
    // and half the field more.
    ASSERT_NE(cache.rows(TunnelCentre{103, 50, 0, 1094}, width, height), nullptr);
    const std::size_t grown = cache.cellsComputed() - first;
    EXPECT_GT(grown, 0u);
    EXPECT_LE(grown, std::size_t((3 + width / 2) * height));
    for (int32_t cx = 104; cx < 103 + width / 2; cx += 7)
        ASSERT_NE(cache.rows(TunnelCentre{cx, 50, 0, 1094}, width, height), nullptr);
    ASSERT_NE(cache.rows(TunnelCentre{100, 50, 0, 1094}, width, height), nullptr);
    EXPECT_EQ(cache.cellsComputed(), first + grown);

    // The other parity keeps a canvas of its own; a new pixel aspect starts afresh.
    ASSERT_NE(cache.rows(TunnelCentre{100, 50, 1, 1094}, width, height), nullptr);
    const std::size_t odd = cache.cellsComputed();
    ASSERT_NE(cache.rows(TunnelCentre{103, 50, 0, 1094}, width, height), nullptr);
    EXPECT_EQ(cache.cellsComputed(), odd);
    ASSERT_NE(cache.rows(TunnelCentre{103, 50, 0, 1000}, width, height), nullptr);
    EXPECT_GT(cache.cellsComputed(), odd);
}

// A canvas never grows beyond its bound: a centre that wanders far starts
// afresh with its window, and still gets the right table.
TEST(TunnelGeometry, CanvasStartsAfreshRatherThanGrowPastItsBound) {
    TunnelGeometryCache cache;
    const int32_t width = 1024, height = 1024;  // the largest window a table takes
    const TunnelCentre near{10, 10, 0, 1000}, far{5000, 3000, 0, 1000};
    ASSERT_NE(cache.rows(near, width, height), nullptr);
    const std::size_t first = cache.cellsComputed();
    const TunnelTable* table = cache.rows(far, width, height);
    ASSERT_NE(table, nullptr);
    EXPECT_LE(cache.cellsComputed() - first, std::size_t(width) * std::size_t(height));
    const TunnelRows row = table->row(700);
    const double dx = columnDistance(far, 900), dv = frameLineDistance(far, 700);
    EXPECT_EQ(row.dist[900], centreDistance(dx, dv));
    EXPECT_EQ(row.ux[900], directionOf(dx, dv, centreDistance(dx, dv)).ux);
    EXPECT_EQ(cache.rows(TunnelCentre{10, 10, 0, 1000}, width + 1, height), nullptr);
}

#if defined(FIELDFX_PAIR_LANES)
FIELDFX_TARGET("avx2", flatten) void ringRowFour(const TunnelCentre& c, const TunnelRows& row, int32_t n,
                                     double rim, double span, int32_t depth,
                                     const SampleSource& src, RingChunk& chunk) {
    ringChunk<PixelLanesAvx2>(c, row, n, rim, span, depth, src, chunk);
}

FIELDFX_TARGET("avx512f", flatten) void ringRowEight(const TunnelCentre& c, const TunnelRows& row, int32_t n,
                                        double rim, double span, int32_t depth,
                                        const SampleSource& src, RingChunk& chunk) {
    ringChunk<PixelPairLanes>(c, row, n, rim, span, depth, src, chunk);
}

// Rows of the kept table, four and eight pixels at a time, against the scalar
// functions and the sampler's neighbours and fractions: random centres (inside and outside the field), aspects,
// parities, rims, depths and row lengths that leave a partial last group.
TEST(TunnelGeometry, RingChunkSamplesAsTheScalarFunctions) {
    if (!haveAvx2()) GTEST_SKIP() << "no AVX2 here";
    std::mt19937 random(5);
    auto draw = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    for (int trial = 0; trial < 300; ++trial) {
        const int32_t width = draw(1, RingChunk::kPixels), height = draw(1, 24);
        testhost::FieldSpec f = testhost::patternField(width, height, trial);
        const FieldImage image{f.pixels.data(), f.width, f.height, int16_t(draw(0, 3)),
                               int16_t(draw(0, 3)), f.width, f.height};
        const SampleSource src = clampSource(&image);
        const TunnelCentre c{draw(-20, width + 20), draw(-10, height + 10), draw(0, 1),
                             draw(0, 1) ? 1000 : draw(1, 3000)};
        const double rim = draw(0, 30) + (trial % 3) * 0.25;
        const double span = draw(1, 400) * 1.375;
        const int32_t depth = draw(0, 20);
        TunnelGeometryCache cache;
        const TunnelTable* table = cache.rows(c, width, height);
        ASSERT_NE(table, nullptr);
        for (int32_t y = 0; y < height; ++y) {
            const TunnelRows row = table->row(y);
            RingChunk four, eight;
            ringRowFour(c, row, width, rim, span, depth, src, four);
            if (haveAvx512()) ringRowEight(c, row, width, rim, span, depth, src, eight);
            const double dv = frameLineDistance(c, y);
            for (int32_t x = 0; x < width; ++x) {
                const double dx = columnDistance(c, x), dist = centreDistance(dx, dv);
                if (dist <= rim) continue;
                const double rho = ringRadius(depth, dist - rim, span, rim);
                const SamplePosition s = tunnelSample(c, dx, dv, dist, rho);
                for (const RingChunk* chunk : {&four, &eight}) {
                    if (chunk == &eight && !haveAvx512()) break;
                    ASSERT_EQ(chunk->e[x], dist - rim);
                    const BilinearTap& t = chunk->tap[x];
                    const uint8_t* p00 = src.pixels + std::size_t(t.at) * 4;
                    withClampedNeighbours(src, s.x, s.y,
                                          [&](const uint8_t* q00, const uint8_t* q10,
                                              const uint8_t* q01, const uint8_t*, double fx,
                                              double fy) {
                                              ASSERT_EQ(p00, q00);
                                              ASSERT_EQ(p00 + t.right * 4, q10);
                                              ASSERT_EQ(p00 + std::size_t(t.down) * 4, q01);
                                              ASSERT_EQ(t.fx, fx);
                                              ASSERT_EQ(t.fy, fy);
                                          });
                }
                ASSERT_FALSE(HasFatalFailure()) << "trial " << trial << " pixel " << x << "," << y;
            }
        }
    }
}
#endif

}  // namespace
