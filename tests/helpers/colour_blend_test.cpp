// The vector blends of bytes 1-3 against the scalar blend they stand for.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "fieldfx/helpers/pixel/colour_blend.h"
#include "testhost.h"

namespace {

TEST(ColourBlend, EqualsTheScalarBlendAndKeepsByteZero) {
    std::mt19937 random(12);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_real_distribution<double> fraction(0.0, 1.0);
    for (int trial = 0; trial < 200000; ++trial) {
        uint8_t p[4][4];
        for (auto& pixel : p)
            for (uint8_t& b : pixel) b = uint8_t(byte(random));
        // Whole and half steps too: the roundings that end exactly on an integer.
        double fx = fraction(random), fy = fraction(random);
        if (trial % 7 == 0) fx = 0.5;
        if (trial % 11 == 0) fy = 0.0;
        uint8_t expected[4], out[4] = {uint8_t(trial), 1, 2, 3};
        fieldfx::detail::blend(p[0], p[1], p[2], p[3], fx, fy, expected);
        fieldfx::blendColour(p[0], p[1], p[2], p[3], fx, fy, out);
        ASSERT_EQ(out[0], uint8_t(trial));
        for (int i = 1; i < 4; ++i)
            ASSERT_EQ(out[i], expected[i])
                << trial << " lane " << i << " fx " << fx << " fy " << fy;
#if defined(FIELDFX_COLOUR_BLEND_AVX2)
        if (fieldfx::haveAvx2()) {
            uint8_t wide[4] = {uint8_t(trial), 1, 2, 3};
            fieldfx::blendColourAvx2(p[0], p[1], p[2], p[3], fx, fy, wide);
            ASSERT_EQ(std::memcmp(wide, out, 4), 0) << trial;
        }
#endif
    }
}

TEST(ColourBlend, SampleEqualsTheScalarSamplerAtAnyPosition) {
    // Positions inside, beyond every edge, far out of range and not a number.
    testhost::FieldSpec f = testhost::patternField(13, 7, 4);
    const FieldImage image{f.pixels.data(), f.width, f.height, 2, 1, 9, 5};
    const fieldfx::SampleSource source = fieldfx::clampSource(&image);
    std::mt19937 random(8);
    std::uniform_real_distribution<double> near(-4.0, 17.0);
    const double odd[] = {std::numeric_limits<double>::quiet_NaN(), 1.0e9, -1.0e9, 3.0e12,
                          -3.0e12, -0.0, -0.5, 12.0};
    for (int trial = 0; trial < 100000; ++trial) {
        double x = near(random), y = near(random);
        if (trial % 5 == 0) x = odd[trial / 5 % 8];
        if (trial % 3 == 0) y = odd[trial / 3 % 8];
        uint8_t expected[4], out[4] = {0xC3, 0, 0, 0};
        fieldfx::sampleBilinear(source, x, y, expected);
        fieldfx::sampleBilinearColour(source, x, y, out);
        ASSERT_EQ(out[0], 0xC3);
        for (int i = 1; i < 4; ++i)
            ASSERT_EQ(out[i], expected[i]) << x << "," << y << " lane " << i;
    }
}

}  // namespace
