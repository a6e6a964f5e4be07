// The four-lane pixel arithmetic (SSE2, and AVX2 where the processor runs
// it) against plain double arithmetic, lane by lane, over random operands.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "fieldfx/helpers/lanes/lanes.h"
#include "fieldfx/helpers/pixel/sampler.h"

namespace {

// The low byte of v truncated to 32 bits; 0 beyond that range, as on x86.
uint8_t lowByte(double v) {
    if (!(v > -2147483649.0 && v < 2147483648.0)) return 0;
    return uint8_t(uint32_t(int32_t(v)));
}

// One expression using every operator, as the operators write theirs.
template <typename Lanes>
void evaluate(const uint8_t a[4], const uint8_t b[4], double s, uint8_t out[4]) {
    const Lanes x = Lanes::load(a), y = Lanes::load(b);
    fieldfx::storeLowBytes((x * s + y * (s - 3.0)) / s - x / y + y, out);
}

using Evaluate = void (*)(const uint8_t*, const uint8_t*, double, uint8_t*);

#if defined(FIELDFX_AVX2_LANES)
FIELDFX_TARGET("avx2", flatten) void evaluateAvx2(const uint8_t a[4], const uint8_t b[4], double s,
                                      uint8_t out[4]) {
    evaluate<fieldfx::PixelLanesAvx2>(a, b, s, out);
}
#endif

// Every lane type this processor runs.
std::vector<Evaluate> laneTypes() {
    std::vector<Evaluate> types{&evaluate<fieldfx::PixelLanes>,
                                &evaluate<fieldfx::PixelLanesPlain>};
#if defined(FIELDFX_AVX2_LANES)
    if (fieldfx::haveAvx2()) types.push_back(&evaluateAvx2);
#endif
    return types;
}

TEST(PixelLanes, EveryOperationRoundsAsFourScalarOnes) {
    std::mt19937_64 rng(12);
    std::uniform_real_distribution<double> exponent(-40.0, 40.0);
    for (int n = 0; n < 20000; ++n) {
        uint8_t a[4], b[4];
        for (int i = 0; i < 4; ++i) a[i] = uint8_t(rng()), b[i] = uint8_t(rng());
        // Scalars from tiny to beyond the 32-bit range, either sign.
        double s = std::ldexp(1.0 + double(rng() % 1000003) / 1000003.0, int(exponent(rng)));
        if (rng() % 2) s = -s;
        for (Evaluate evaluateLanes : laneTypes()) {
            uint8_t got[4];
            evaluateLanes(a, b, s, got);
            for (int i = 0; i < 4; ++i) {
                const double x = a[i], y = b[i];
                const double want = (x * s + y * (s - 3.0)) / s - x / y + y;
                ASSERT_EQ(got[i], lowByte(want)) << n << " lane " << i << " " << want;
            }
        }
    }
}

TEST(PixelLanes, LowBytesOfValuesOutOfRangeAreZero) {
    const uint8_t a[4] = {1, 1, 1, 1}, b[4] = {1, 1, 1, 1};
    // (a s + b (s - 3)) / s - a / b + b = 2 - 3 / s: s picks the value.
    const struct {
        double s;
        uint8_t want;
    } cases[] = {
        {-3.0 / 2147483646.0, 0},    // 2^31: out of range
        {3.0 / 2147483651.0, 0},     // -2^31 - 1: out of range
        {-3.0 / 2147483645.5, 255},  // 2147483647.5 truncates to 2^31 - 1
        {3.0 / 259.5, 255},          // -257.5 truncates to -257
        {0.0, 0},                    // minus infinity
    };
    for (Evaluate evaluateLanes : laneTypes()) {
        for (const auto& c : cases) {
            uint8_t got[4];
            evaluateLanes(a, b, c.s, got);
            EXPECT_EQ(got[0], c.want) << c.s;
            EXPECT_EQ(got[3], c.want) << c.s;
        }
    }
}

TEST(PixelLanes, BilinearBlendMatchesTheScalarFormula) {
    std::mt19937_64 rng(34);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int n = 0; n < 20000; ++n) {
        uint8_t p[4][4];
        for (auto& pixel : p)
            for (uint8_t& byte : pixel) byte = uint8_t(rng());
        const double fx = n % 5 == 0 ? 0.0 : unit(rng), fy = n % 7 == 0 ? 0.0 : unit(rng);
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
