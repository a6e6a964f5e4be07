// The four-lane pixel arithmetic against plain double arithmetic, lane by
// lane, bit for bit, over random operands.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "fieldfx/helpers/lanes.h"
#include "fieldfx/helpers/sampler.h"

namespace {

using fieldfx::PixelLanes;


// The low byte of v truncated to 32 bits; 0 beyond that range, as on x86.
uint8_t lowByte(double v) {
    if (!(v > -2147483649.0 && v < 2147483648.0)) return 0;
    return uint8_t(uint32_t(int32_t(v)));
}

struct Operands {
    uint8_t a[4], b[4];
    double s;
};

Operands randomOperands(std::mt19937_64& rng) {
    Operands o;
    for (int i = 0; i < 4; ++i) o.a[i] = uint8_t(rng()), o.b[i] = uint8_t(rng());
    // Scalars from tiny to beyond the 32-bit range, either sign.
    std::uniform_real_distribution<double> exponent(-40.0, 40.0);
    o.s = std::ldexp(1.0 + double(rng() % 1000003) / 1000003.0, int(exponent(rng)));
    if (rng() % 2) o.s = -o.s;
    return o;
}

TEST(PixelLanes, EveryOperationRoundsAsFourScalarOnes) {
    std::mt19937_64 rng(12);
    for (int n = 0; n < 20000; ++n) {
        const Operands o = randomOperands(rng);
        const PixelLanes a = fieldfx::lanesOf(o.a), b = fieldfx::lanesOf(o.b);
        // One expression using every operator, as the operators write theirs.
        uint8_t got[4];
        fieldfx::storeLowBytes((a * o.s + b * (o.s - 3.0)) / o.s - a / b + b, got);
        for (int i = 0; i < 4; ++i) {
            const double x = o.a[i], y = o.b[i];
            const double want = (x * o.s + y * (o.s - 3.0)) / o.s - x / y + y;
            ASSERT_EQ(got[i], lowByte(want)) << n << " lane " << i << " " << want;
        }
    }
}

TEST(PixelLanes, LowBytesOfValuesOutOfRangeAndNaNAreZero) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const uint8_t one[4] = {1, 1, 1, 1};
    uint8_t got[4];
    fieldfx::storeLowBytes(fieldfx::lanesOf(one) * 2147483648.0, got);
    EXPECT_EQ(got[0], 0);
    fieldfx::storeLowBytes(fieldfx::lanesOf(one) * -2147483904.0 + 0.5, got);
    EXPECT_EQ(got[1], 0);
    fieldfx::storeLowBytes(fieldfx::lanesOf(one) * nan, got);
    EXPECT_EQ(got[2], 0);
    fieldfx::storeLowBytes(fieldfx::lanesOf(one) * -2147483648.5, got);  // truncates in range
    EXPECT_EQ(got[3], 0);
    fieldfx::storeLowBytes(fieldfx::lanesOf(one) * 2147483647.9, got);
    EXPECT_EQ(got[0], 255);
    fieldfx::storeLowBytes(fieldfx::lanesOf(one) * -257.5, got);
    EXPECT_EQ(got[0], 255);
}

TEST(PixelLanes, BilinearBlendMatchesTheScalarFormula) {
    std::mt19937_64 rng(34);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int n = 0; n < 20000; ++n) {
        uint8_t p[4][4];
        for (auto& pixel : p)
            for (uint8_t& byte : pixel) byte = uint8_t(rng());
        const double fx = unit(rng), fy = n % 7 == 0 ? 0.0 : unit(rng);
        uint8_t got[4];
        fieldfx::detail::blend(p[0], p[1], p[2], p[3], fx, fy, got);
        for (int i = 0; i < 4; ++i) {
            const double top = double(int32_t(p[1][i]) - int32_t(p[0][i])) * fx + double(p[0][i]);
            const double bottom = double(int32_t(p[3][i]) - int32_t(p[2][i])) * fx + double(p[2][i]);
            ASSERT_EQ(got[i], uint8_t(int32_t((bottom - top) * fy + top))) << n << " lane " << i;
        }
    }
}

}  // namespace
