// The operators' sin, cos and asin against MPFR: every result correctly
// rounded, over the ranges the operators use, the whole double range and the
// hard cases; and the error bounds the fast path relies on.
#include "digest.h"
#include "oracle.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <string>

using namespace fieldfx;
using namespace fieldfx::maths_test;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr long kScale = 50;  // the sanitizer build checks a fiftieth
#else
constexpr long kScale = 1;
#endif

struct Chunk {
    Fn fn;
    Family family;
    int part;
    long count;
};

std::string chunkName(const testing::TestParamInfo<Chunk>& info)
{
    return std::string(fnName(info.param.fn)) + familyName(info.param.family) + std::to_string(info.param.part);
}

// 10^7 arguments a function in all, in parts of 10^6 so that ctest -j
// spreads them.
std::vector<Chunk> chunks()
{
    std::vector<Chunk> all;
    const struct {
        Family family;
        int parts;
    } sinCosPlan[] = {{Family::Operators, 4}, {Family::Whole, 2}, {Family::Hard, 2}, {Family::Huge, 2}},
      asinPlan[] = {{Family::Operators, 4}, {Family::Whole, 2}, {Family::Hard, 4}};
    for (Fn fn : {Fn::Sin, Fn::Cos, Fn::Asin}) {
        for (const auto& p : fn == Fn::Asin ? std::vector(std::begin(asinPlan), std::end(asinPlan))
                                            : std::vector(std::begin(sinCosPlan), std::end(sinCosPlan)))
            for (int part = 0; part < p.parts; part++) all.push_back({fn, p.family, part, 1000000 / kScale});
    }
    return all;
}

class CorrectlyRounded : public testing::TestWithParam<Chunk> {};

TEST_P(CorrectlyRounded, MatchesMpfr)
{
    const Chunk& c = GetParam();
    Rng rng{uint64_t(c.part) * 1000003u + uint64_t(c.family) * 7919u + uint64_t(c.fn)};
    long wrong = 0;
    for (long i = 0; i < c.count; i++) {
        const double x = sample(c.fn, c.family, rng);
        const double want = reference(c.fn, x), got = ours(c.fn, x);
        if (!sameBits(got, want) && wrong++ < 5)
            ADD_FAILURE() << fnName(c.fn) << "(" << std::hexfloat << x << ") = " << got << ", want " << want;
    }
    EXPECT_EQ(wrong, 0);
}

INSTANTIATE_TEST_SUITE_P(Maths, CorrectlyRounded, testing::ValuesIn(chunks()), chunkName);

double nan() { return std::numeric_limits<double>::quiet_NaN(); }
double inf() { return std::numeric_limits<double>::infinity(); }

TEST(Maths, ZerosInfinitiesNanAndDomain)
{
    const double tiny = std::numeric_limits<double>::denorm_min();
    for (double x : {0.0, -0.0, tiny, -tiny, 0x1p-1022, -0x1p-1030, 0x1.fffffffffffffp-28, 0x1p-27, 0x1.fffffffffffffp-27, 0x1p-26}) {
        EXPECT_TRUE(sameBits(mathSin(x), reference(Fn::Sin, x))) << std::hexfloat << x;
        EXPECT_TRUE(sameBits(mathAsin(x), reference(Fn::Asin, x))) << std::hexfloat << x;
        EXPECT_TRUE(sameBits(mathCos(x), reference(Fn::Cos, x))) << std::hexfloat << x;
    }
    EXPECT_TRUE(std::signbit(mathSin(-0.0)));
    EXPECT_TRUE(std::signbit(mathAsin(-0.0)));
    for (double x : {inf(), -inf(), nan(), -nan()}) {
        EXPECT_TRUE(std::isnan(mathSin(x)));
        EXPECT_TRUE(std::isnan(mathCos(x)));
        EXPECT_TRUE(std::isnan(mathAsin(x)));
    }
    for (double x : {1.0000000000000002, -1.0000000000000002, 2.0, -1e300, inf()}) EXPECT_TRUE(std::isnan(mathAsin(x)));
    EXPECT_EQ(mathAsin(1.0), 0x1.921fb54442d18p+0);
    EXPECT_EQ(mathAsin(-1.0), -0x1.921fb54442d18p+0);
    EXPECT_EQ(mathAsin(0.5), reference(Fn::Asin, 0.5));
    EXPECT_EQ(mathSin(std::numeric_limits<double>::max()), reference(Fn::Sin, std::numeric_limits<double>::max()));
}

// Arguments that are hard for argument reduction: the double closest to a
// multiple of pi/2, the largest quadrant numbers, and the boundaries where
// the reduction changes method; and the doubles just below half a table step,
// where rounding the table index must not round up.
TEST(Maths, ReductionExtremes)
{
    const double cases[] = {0x1.6ac5b262ca1ffp+849,  // 6381956970095103 * 2^797, closest to k pi/2
                            0x1.921fb54442d18p+0,  0x1.921fb54442d18p+1,  0x1.921fb54442d18p+30,
                            0x1.921fb54442d17p+30, 0x1.921fb54442d18p-1,  0x1.921fb54442d17p-1,
                            0x1p+1023,             0x1.fffffffffffffp+1023, 1e12, 4.2e9 * 250.0 / 1000.0,
                            0x1p+52,               0x1p+53,               0x1p+63, 0x1p+64, 0x1p+100,
                            0x1.fffffffffffffp-8,  0x1.fffffffffffffp-9};
    for (double c : cases)
        for (double x : {c, -c, std::nextafter(c, 0.0), std::nextafter(c, inf())}) {
            EXPECT_TRUE(sameBits(mathSin(x), reference(Fn::Sin, x))) << std::hexfloat << x;
            EXPECT_TRUE(sameBits(mathCos(x), reference(Fn::Cos, x))) << std::hexfloat << x;
        }
}

// The exact path alone decides every argument it is given (the fast path
// leaves it only a few in a thousand, so it is checked directly).
TEST(Maths, ExactPathAlone)
{
    Rng rng{99};
    for (Family family : {Family::Operators, Family::Hard, Family::Huge})
        for (int i = 0; i < 3000 / int(kScale > 1 ? 10 : 1); i++) {
            const double x = sample(Fn::Sin, family, rng);
            EXPECT_TRUE(sameBits(opmath::slowSinCos(x, false), reference(Fn::Sin, x))) << std::hexfloat << x;
            EXPECT_TRUE(sameBits(opmath::slowSinCos(x, true), reference(Fn::Cos, x))) << std::hexfloat << x;
            const double y = std::fabs(sample(Fn::Asin, family == Family::Huge ? Family::Operators : family, rng));
            if (y < 0x1p-26 || y >= 1.0) continue;
            // from the rounded double alone, the exact path's worst start
            EXPECT_TRUE(sameBits(opmath::slowAsin(y, {reference(Fn::Asin, y), 0.0}), reference(Fn::Asin, y)))
                << std::hexfloat << y;
        }
}

// The digest every platform must reproduce is made of correctly rounded
// results only.
TEST(Maths, DigestArguments)
{
    for (int fn = 0; fn < 3; fn++)
        for (uint32_t i = 0; i < kDigestCount; i += uint32_t(kScale)) {
            const double x = digestArgument(fn, i);
            ASSERT_TRUE(sameBits(digestFunction(fn, x), reference(Fn(fn), x))) << fn << std::hexfloat << " " << x;
        }
}

// The double-double estimates stay within their proven error bounds, which
// the rounding test's bounds exceed.
TEST(Maths, FastPathErrorBounds)
{
    Rng rng{7};
    double worst[4] = {};
    const auto check = [&worst](Fn fn, double x) {
        if (fn == Fn::Asin) {
            if (x < 0x1p-26 || x >= 1.0) return;
            worst[2] = std::max(worst[2], relativeError(fn, x, opmath::asinEstimate(x)));
            worst[3] = std::max(worst[3], relativeError(fn, x, opmath::asinFastEstimate(x)));
        } else if (std::fabs(x) >= 0x1p-26) {
            const opmath::Estimate e = opmath::sinCosEstimate(x, fn == Fn::Cos);
            const double bound = e.errAbs / std::fabs(e.value.hi);
            worst[int(fn)] = std::max(worst[int(fn)], relativeError(fn, x, e.value) - bound);
        }
    };
    for (int i = 0; i < 60000 / int(kScale); i++) {
        const Family family = Family(i % 4);
        for (Fn fn : {Fn::Sin, Fn::Cos}) check(fn, sample(fn, family == Family::Whole ? Family::Operators : family, rng));
        check(Fn::Asin, std::fabs(sample(Fn::Asin, family == Family::Huge ? Family::Hard : family, rng)));
    }
    // The kernels' worst places: the ends of the table intervals (sin and cos
    // of (i +- 1/2)/128, asin of (i + 1/2)/128 +- 1/256), x = 1/2, where
    // asin's second reduction doubles the kernel's relative error, and
    // 1 - 2^-13, where that reduction's square root crosses 1/128; and the
    // ends of the rows of asin(1 - t), t = 2^-(b+2) (1 + r/32).
    for (int i = 0; i <= 128; i++)
        for (double x : {(i - 0.5) / 128.0, (i + 0.5) / 128.0, i / 128.0, 0.5 + i * 0x1p-60, 0.5 - i * 0x1p-60,
                         1.0 - 0x1p-13 + (i - 64) * 0x1p-53})
            for (double y : {std::nextafter(x, 0.0), x, std::nextafter(x, 1.0)}) {
                if (x <= 0.79) for (Fn fn : {Fn::Sin, Fn::Cos}) check(fn, y);
                check(Fn::Asin, y);
            }
    for (int b = 0; b < 5; b++)
        for (int r = 0; r <= 32; r++) {
            const double x = 1.0 - std::ldexp(1.0 + r / 32.0, -(b + 2));
            for (double y : {std::nextafter(x, 0.0), x, std::nextafter(x, 1.0)}) check(Fn::Asin, y);
        }
    EXPECT_LT(worst[0], 0x1.6a09e667f3bcdp-68);  // 2^-67.5
    EXPECT_LT(worst[1], 0x1.6a09e667f3bcdp-68);
    EXPECT_LT(worst[2], 0x1p-68);
    EXPECT_LT(worst[3], 0x1p-62);  // the first estimate of asin
}

}  // namespace
