// Taps split four at a time and blended one by one, against the sampler they
// stand for, at positions inside, beyond every edge, far out and not numbers.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <random>

#include "fieldfx/helpers/lanes/bilinear_taps.h"
#include "testhost.h"

namespace {

#if defined(FIELDFX_AVX2_LANES)
FIELDFX_TARGET("avx2") void splitFour(const fieldfx::SampleSource& source,
                                               const double* x, const double* y,
                                               fieldfx::BilinearTapRun<4>& taps) {
    fieldfx::splitTaps4(source, _mm256_loadu_pd(x), _mm256_loadu_pd(y), taps, 0);
}

FIELDFX_TARGET("avx2", flatten) void blendWide(const uint8_t* pixels, const fieldfx::BilinearTap& tap,
                                   uint8_t out[4]) {
    fieldfx::blendTaps<fieldfx::PixelLanesAvx2>(pixels, tap, out);
}

TEST(BilinearTaps, FourAtATimeSampleAsTheSampler) {
    if (!fieldfx::haveAvx2()) GTEST_SKIP() << "no AVX2 here";
    testhost::FieldSpec f = testhost::patternField(13, 7, 4);
    const FieldImage image{f.pixels.data(), f.width, f.height, 2, 1, 9, 5};
    const fieldfx::SampleSource source = fieldfx::clampSource(&image);
    std::mt19937 random(8);
    std::uniform_real_distribution<double> near(-4.0, 17.0);
    const double odd[] = {std::numeric_limits<double>::quiet_NaN(), 1.0e9, -1.0e9, 3.0e12,
                          -3.0e12, -0.0, -0.5, 12.0, 4.0};
    for (int trial = 0; trial < 50000; ++trial) {
        double x[4], y[4];
        for (int i = 0; i < 4; ++i) {
            x[i] = near(random), y[i] = near(random);
            if ((trial + i) % 5 == 0) x[i] = odd[(trial + i) / 5 % 9];
            if ((trial + i) % 3 == 0) y[i] = odd[(trial + i) / 3 % 9];
        }
        fieldfx::BilinearTapRun<4> taps;
        splitFour(source, x, y, taps);
        for (int i = 0; i < 4; ++i) {
            uint8_t expected[4], viaSse2[4], viaAvx2[4];
            fieldfx::sampleBilinear(source, x[i], y[i], expected);
            fieldfx::blendTaps<fieldfx::PixelLanes>(source.pixels, taps[i], viaSse2);
            blendWide(source.pixels, taps[i], viaAvx2);
            ASSERT_EQ(std::memcmp(viaSse2, expected, 4), 0) << x[i] << "," << y[i];
            ASSERT_EQ(std::memcmp(viaAvx2, expected, 4), 0) << x[i] << "," << y[i];
        }
    }
}
#endif

}  // namespace
