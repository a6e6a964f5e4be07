// MPFR as the reference for the operators' sin, cos and asin, and the
// argument families they are checked on. Shared by the test suite and the
// long run.
#ifndef FIELDFX_TESTS_MATHS_ORACLE_H
#define FIELDFX_TESTS_MATHS_ORACLE_H

#include <fieldfx/helpers/maths/opmath.h>

#include "splitmix.h"

#include <mpfr.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <string>

namespace fieldfx::maths_test {

enum class Fn { Sin, Cos, Asin };

inline const char* fnName(Fn f) { return f == Fn::Sin ? "sin" : f == Fn::Cos ? "cos" : "asin"; }

inline double ours(Fn f, double x)
{
    return f == Fn::Sin ? mathSin(x) : f == Fn::Cos ? mathCos(x) : mathAsin(x);
}

inline int mpfrEval(Fn f, mpfr_t y, const mpfr_t x)
{
    return f == Fn::Sin ? mpfr_sin(y, x, MPFR_RNDN)
         : f == Fn::Cos ? mpfr_cos(y, x, MPFR_RNDN)
                        : mpfr_asin(y, x, MPFR_RNDN);
}

// f(x) correctly rounded to a double, subnormals included.
inline double reference(Fn f, double x)
{
    const mpfr_exp_t emin = mpfr_get_emin(), emax = mpfr_get_emax();
    mpfr_set_emin(-1073);
    mpfr_set_emax(1024);
    mpfr_t a, y;
    mpfr_init2(a, 53);
    mpfr_init2(y, 53);
    mpfr_set_d(a, x, MPFR_RNDN);
    const int inexact = mpfrEval(f, y, a);
    mpfr_subnormalize(y, inexact, MPFR_RNDN);
    const double r = mpfr_get_d(y, MPFR_RNDN);
    mpfr_clear(a);
    mpfr_clear(y);
    mpfr_set_emin(emin);
    mpfr_set_emax(emax);
    return r;
}

// |hi + lo - f(x)| / |f(x)|.
inline double relativeError(Fn f, double x, opmath::DD v)
{
    mpfr_t a, y, e;
    mpfr_inits2(400, a, y, e, static_cast<mpfr_ptr>(nullptr));
    mpfr_set_d(a, x, MPFR_RNDN);
    mpfrEval(f, y, a);
    mpfr_set_d(e, v.hi, MPFR_RNDN);
    mpfr_add_d(e, e, v.lo, MPFR_RNDN);
    mpfr_sub(e, e, y, MPFR_RNDN);
    mpfr_div(e, e, y, MPFR_RNDN);
    const double r = std::fabs(mpfr_get_d(e, MPFR_RNDN));
    mpfr_clears(a, y, e, static_cast<mpfr_ptr>(nullptr));
    return r;
}

// The double nearest to k pi/2.
inline double nearestQuarterTurn(double k)
{
    mpfr_t a;
    mpfr_init2(a, 1300);
    mpfr_const_pi(a, MPFR_RNDN);
    mpfr_mul_d(a, a, k * 0.5, MPFR_RNDN);
    const double r = mpfr_get_d(a, MPFR_RNDN);
    mpfr_clear(a);
    return r;
}

inline bool sameBits(double a, double b)
{
    return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b) || (std::isnan(a) && std::isnan(b));
}

// Families of arguments.
enum class Family {
    Whole,      // every bit pattern: NaN, infinities, subnormals, huge
    Operators,  // what the operators pass: wave phases up to ~10^12, angles, ratios
    Hard,       // next to multiples of pi/2 (sin, cos); next to +-1 and 0 (asin)
    Huge,       // sin, cos: 2^20 .. 2^1024
};

inline const char* familyName(Family f)
{
    return f == Family::Whole ? "Whole" : f == Family::Operators ? "Operators" : f == Family::Hard ? "Hard" : "Huge";
}

inline double sample(Fn fn, Family family, Rng& rng)
{
    const double sign = (rng.next() & 1) ? -1.0 : 1.0;
    switch (family) {
    case Family::Whole:
        return std::bit_cast<double>(rng.next());
    case Family::Operators:
        if (fn == Fn::Asin) {
            // dv / dist of a centre distance: ratios of small integers, and any value in [-1, 1]
            if (rng.next() & 1) return sign * rng.unit();
            const double dv = rng.below(2048), dx = rng.below(2048);
            return dv == 0.0 && dx == 0.0 ? 0.0 : sign * dv / std::sqrt(dv * dv + dx * dx);
        }
        switch (rng.below(3)) {
        case 0: {  // a wave angle: (phase + x + y) * freq / width
            const double n = double(uint32_t(rng.next()) >> rng.below(32));
            return n * (rng.unit() * 64.0) / double(1 + rng.below(1920));
        }
        case 1:  // turning angles
            return sign * rng.unit() * 6.283185307 * double(1 + rng.below(8));
        default:
            return sign * std::ldexp(rng.unit() + 0.5, rng.below(60) - 30);
        }
    case Family::Hard:
        if (fn == Fn::Asin) {
            const double e = std::ldexp(1.0 + rng.unit(), -rng.below(60) - 1);
            switch (rng.below(3)) {
            case 0: return sign * (1.0 - e);  // next to +-1
            case 1: return sign * std::ldexp(rng.unit() + 0.5, -rng.below(1080));  // towards 0, subnormals
            default: return sign * (0.5 + (rng.unit() - 0.5) * std::ldexp(1.0, -rng.below(50)));
            }
        } else {
            // k pi/2 rounded, moved by a few ulps
            const double k = std::floor(std::ldexp(rng.unit() + 0.5, rng.below(64)));
            double x = nearestQuarterTurn(k == 0.0 ? 1.0 : k);
            for (int steps = rng.below(5) - 2; steps != 0; steps += steps < 0 ? 1 : -1)
                x = std::nextafter(x, steps < 0 ? 0.0 : INFINITY);
            return sign * x;
        }
    case Family::Huge:
        return sign * std::ldexp(rng.unit() + 0.5, 21 + rng.below(1003));
    }
    return 0.0;
}

}  // namespace fieldfx::maths_test

#endif
