// Two pixels in eight lanes against each pixel in four: the same formula gives
// the same bytes, out-of-range values and NaN included, and a pair of taps
// blends as each tap alone.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <random>

#include "fieldfx/helpers/lanes/pair_lanes.h"
#include "testhost.h"

namespace {

#if defined(FIELDFX_PAIR_LANES)
using fieldfx::PixelLanesAvx2;
using fieldfx::PixelPairLanes;

// A blend of the kind the tunnels divide by: (p * w + q * (d - w)) / d.
template <typename Lanes, typename Share>
Lanes weigh(Lanes p, Lanes q, Share w, double d) {
    return (p * w + q * (d - w)) / d;
}

FIELDFX_TARGET("avx2", flatten) void weighFour(const uint8_t* p, const uint8_t* q, double w, double d,
                                   uint8_t* out) {
    fieldfx::storeLowBytes(weigh(PixelLanesAvx2::load(p), PixelLanesAvx2::load(q), w, d), out);
}

FIELDFX_TARGET("avx512f", flatten) void weighEight(const uint8_t* p, const uint8_t* q, const double w[2],
                                      double d, uint8_t* out) {
    const PixelPairLanes v = weigh(PixelPairLanes::load(p, p + 4), PixelPairLanes::load(q, q + 4),
                                   PixelPairLanes::pair(w[0], w[1]), d);
    fieldfx::storeLowBytes(v, out);
}

TEST(PairLanes, TwoPixelsWeighAsEachAlone) {
    if (!fieldfx::haveAvx512()) GTEST_SKIP() << "no AVX-512 here";
    std::mt19937 random(21);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_real_distribution<double> weight(-3.0e9, 3.0e9), span(1.0e-3, 600.0);
    const double odd[] = {0.0, -0.0, 1.0e-300, std::numeric_limits<double>::quiet_NaN(),
                          std::numeric_limits<double>::infinity()};
    for (int trial = 0; trial < 100000; ++trial) {
        uint8_t p[8], q[8];
        for (int i = 0; i < 8; ++i) p[i] = uint8_t(byte(random)), q[i] = uint8_t(byte(random));
        const double d = trial % 9 == 0 ? odd[trial / 9 % 5] : span(random);
        double w[2] = {trial % 2 ? weight(random) : span(random) * 0.5, span(random) * 0.75};
        uint8_t single[8], paired[8];
        weighFour(p, q, w[0], d, single);
        weighFour(p + 4, q + 4, w[1], d, single + 4);
        weighEight(p, q, w, d, paired);
        ASSERT_EQ(std::memcmp(single, paired, 8), 0) << trial << " d " << d << " w " << w[0];
    }
}

FIELDFX_TARGET("avx512f", flatten) void blendPair(const uint8_t* pixels, const fieldfx::BilinearTap& s,
                                     const fieldfx::BilinearTap& t, uint8_t out[8]) {
    fieldfx::storeLowBytes(fieldfx::blendTapPair(pixels, s, t), out);
}

TEST(PairLanes, TapPairsBlendAsEachTapAlone) {
    if (!fieldfx::haveAvx512()) GTEST_SKIP() << "no AVX-512 here";
    const testhost::FieldSpec f = testhost::patternField(11, 9, 6);
    std::mt19937 random(22);
    auto draw = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    std::uniform_real_distribution<double> fraction(0.0, 1.0);
    for (int trial = 0; trial < 100000; ++trial) {
        fieldfx::BilinearTap taps[2];
        for (fieldfx::BilinearTap& t : taps) {
            const int row = draw(0, 8), column = draw(0, 10);
            t.at = row * 11 + column;
            t.right = column < 10 ? draw(0, 1) : 0;
            t.down = row < 8 ? 11 * draw(0, 1) : 0;
            t.fx = trial % 5 == 0 ? 0.0 : fraction(random);
            t.fy = trial % 7 == 0 ? 0.0 : fraction(random);
        }
        uint8_t expected[8], paired[8];
        fieldfx::blendTaps<fieldfx::PixelLanes>(f.pixels.data(), taps[0], expected);
        fieldfx::blendTaps<fieldfx::PixelLanes>(f.pixels.data(), taps[1], expected + 4);
        blendPair(f.pixels.data(), taps[0], taps[1], paired);
        ASSERT_EQ(std::memcmp(expected, paired, 8), 0) << trial;
    }
}
#endif

}  // namespace
