// The vector blend of bytes 1-3 against the scalar blend it stands for.
#include <gtest/gtest.h>

#include <random>

#include "fieldfx/helpers/colour_blend.h"

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
            ASSERT_EQ(out[i], expected[i]) << trial << " lane " << i << " fx " << fx << " fy " << fy;
    }
}

}  // namespace
