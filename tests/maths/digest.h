// A fixed set of arguments of sin, cos and asin and a digest of the results:
// every platform must compute the same digest, and MPFR confirms every one of
// these results (opmath_mpfr_test).
#ifndef FIELDFX_TESTS_MATHS_DIGEST_H
#define FIELDFX_TESTS_MATHS_DIGEST_H

#include <fieldfx/helpers/maths/opmath.h>

#include <bit>
#include <cmath>
#include <cstdint>

namespace fieldfx::maths_test {

constexpr uint32_t kDigestCount = 200000;  // arguments a function

// Argument i of function fn (0 sin, 1 cos, 2 asin): every bit pattern,
// operator-like values, values next to multiples of pi/2 (next to +-1 and 0
// for asin) and huge values, in turn.
inline double digestArgument(int fn, uint32_t i)
{
    uint64_t z = (uint64_t(fn) << 32 | i) + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    const double unit = double(z >> 11) * 0x1p-53;
    const double sign = (z & 1) ? -1.0 : 1.0;
    switch (i % 4) {
    case 0:
        return std::bit_cast<double>(z);
    case 1:
        return fn == 2 ? unit * 2.0 - 1.0 : double(z >> 33) * (unit * 64.0) / double(1 + z % 1920);
    case 2:
        if (fn == 2) return sign * (1.0 - std::ldexp(1.0 + unit, -int(z % 60) - 1));
        return sign * double(z >> (11 + z % 53)) * 0x1.921fb54442d18p+0;
    default:
        return fn == 2 ? sign * std::ldexp(unit, -int(z % 1070)) : sign * std::ldexp(1.0 + unit, int(z % 1023));
    }
}

inline double digestFunction(int fn, double x)
{
    return fn == 0 ? mathSin(x) : fn == 1 ? mathCos(x) : mathAsin(x);
}

// FNV-1a over the results' bits.
inline uint64_t resultDigest(int fn)
{
    uint64_t h = 0xcbf29ce484222325ull;
    for (uint32_t i = 0; i < kDigestCount; i++) {
        const uint64_t bits = std::bit_cast<uint64_t>(digestFunction(fn, digestArgument(fn, i)));
        for (int b = 0; b < 64; b += 8) h = (h ^ ((bits >> b) & 0xFF)) * 0x100000001b3ull;
    }
    return h;
}

}  // namespace fieldfx::maths_test

#endif
