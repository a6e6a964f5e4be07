/*
 * The transcendental functions operators use: sin, cos and asin correctly
 * rounded (to nearest) for every double, so that every platform computes the
 * same bits. C libraries differ in the last bit of these, and compilers merge
 * or replace calls to the C names; ours have other names and use nothing but
 * IEEE double operations in a fixed order and exact integer arithmetic.
 *
 * Each function first evaluates in double-double (a value hi + lo carrying
 * about 106 bits) with a bounded relative error. When the interval of that
 * bound around hi + lo rounds to a single double, that double is the correctly
 * rounded result. Otherwise (roughly one call in a few thousand) the value is
 * recomputed in 256-bit fixed point from exact integer words, which is within
 * 2^-240 of the true value and decides the rounding.
 *
 * Arguments of sin and cos are reduced modulo pi/2 exactly: by a four-part
 * pi/2 while the quadrant number is at most 2^30, beyond that by multiplying the
 * argument's integer significand with the needed 416-bit window of 2/pi
 * (which holds 1536 bits, enough for the largest double).
 */
#ifndef FIELDFX_HELPERS_MATHS_OPMATH_H
#define FIELDFX_HELPERS_MATHS_OPMATH_H

#include <fieldfx/helpers/maths/exact.h>
#include <fieldfx/helpers/maths/opmath_tables.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace fieldfx {
namespace opmath {

// sin r and cos r for 0 <= r < 1.58. With r = a +- t, a = i/64 from the
// table (i <= 100, where cos a is still positive) and t < 0.0083, the Taylor
// series of t in Horner's scheme in t^2, every partial sum positive:
// sin t = t (1 - t^2 (1/3! - t^2 (1/5! - ...))) to t^23 and cos t to t^24,
// whose next terms are below 2^-256. The error stays below 2^-250.
inline void fixedSinCos(const Fixed& r, Fixed& s, Fixed& c)
{
    const uint32_t i = std::min((bitsAt(r.w, kWords, 249) + 1) >> 1, 100u);  // round(64 r)
    const Fixed a = fixedFromDouble(double(i) * 0.015625);
    const bool below = fixedLess(r, a);
    const Fixed t = below ? fixedSub(a, r) : fixedSub(r, a);
    const Fixed t2 = fixedMul(t, t);
    Fixed ps = fixedFromTable(kInverseFactorials[23], 8), pc = fixedFromTable(kInverseFactorials[24], 8);
    for (int n = 22; n >= 2; n -= 2) {
        pc = fixedSub(fixedFromTable(kInverseFactorials[n], 8), fixedMul(t2, pc));
        if (n > 2) ps = fixedSub(fixedFromTable(kInverseFactorials[n - 1], 8), fixedMul(t2, ps));
    }
    Fixed one{};
    one.w[kWords - 1] = 1;
    const Fixed ct = fixedSub(one, fixedMul(t2, pc));
    const Fixed st = fixedMul(t, fixedSub(one, fixedMul(t2, ps)));
    const Fixed sa = fixedFromTable(kSinCosFixed[i][0]), ca = fixedFromTable(kSinCosFixed[i][1]);
    // sin(a -+ t) = sa ct -+ ca st, cos(a -+ t) = ca ct +- sa st
    const Fixed sact = fixedMul(sa, ct), cast = fixedMul(ca, st);
    const Fixed cact = fixedMul(ca, ct), sast = fixedMul(sa, st);
    s = below ? fixedSub(sact, cast) : fixedAdd(sact, cast);
    c = below ? fixedAdd(cact, sast) : fixedSub(cact, sast);
}

// For ax >= pi/4: ax * 2/pi = q + f with q taken mod 4 and |f| <= 1/2; f is
// returned as sign and magnitude with 256 fraction bits (error below 2^-255).
struct Reduced {
    int quadrant;
    bool negative;
    Fixed fraction;
};

inline Reduced reduceLarge(double ax)
{
    const uint64_t bits = std::bit_cast<uint64_t>(ax);
    const uint64_t m = (bits & ((uint64_t(1) << 52) - 1)) | (uint64_t(1) << 52);
    const int e = int(bits >> 52) - 1075;  // ax = m 2^e
    // Words of 2/pi before `first` only add multiples of 4 to ax * 2/pi; the
    // window of n words puts the product's binary point 373 bits or more
    // above its lowest bit, so the words left off change f by below 2^-320.
    const int first = e > 2 ? (e - 2) / 32 : 0;
    const int n = (373 + e - 32 * first + 31) / 32;
    uint32_t prod[16] = {};
    const uint32_t mw[2] = {uint32_t(m), uint32_t(m >> 32)};
    for (int i = 0; i < 2; i++) {
        uint64_t carry = 0;
        for (int j = 0; j < n; j++) {
            carry += uint64_t(mw[i]) * kTwoOverPiWords[first + n - 1 - j] + prod[i + j];
            prod[i + j] = uint32_t(carry);
            carry >>= 32;
        }
        prod[i + n] = uint32_t(carry);
    }
    const int point = 32 * (first + n) - e;
    Reduced r{int(bitsAt(prod, n + 2, point) & 3u), false, {}};
    for (int k = 0; k < 8; k++) r.fraction.w[k] = bitsAt(prod, n + 2, point - 256 + 32 * k);
    if (r.fraction.w[7] >> 31) {  // f >= 1/2: use f - 1 of the next quadrant
        r.negative = true;
        r.quadrant = (r.quadrant + 1) & 3;
        uint64_t carry = 1;
        for (int k = 0; k < 8; k++) {
            carry += uint32_t(~r.fraction.w[k]);
            r.fraction.w[k] = uint32_t(carry);
            carry >>= 32;
        }
    }
    return r;
}

constexpr double kQuarterPi = 0x1.921fb54442d18p-1;  // just below pi/4

// Relative error bounds the rounding test assumes for the double-double
// evaluations. The sin and cos kernels stay below 2^-67.5, their reductions
// below 2^-100 (plus the absolute bound they return); the asin evaluation
// stays below 2^-68, asin's first estimate below 2^-62. The tests check
// those bounds against MPFR.
constexpr double kSinCosError = 0x1p-67;
constexpr double kAsinError = 0x1p-67;
constexpr double kAsinFastError = 0x1p-61;

// hi + lo is within err of the true value: true, with the double that whole
// interval rounds to, when it does not straddle a rounding boundary. The
// margin in the error bounds covers the roundings of lo -+ err.
inline bool roundsTo(DD v, double err, double& out)
{
    const double a = v.hi + (v.lo - err);
    const double b = v.hi + (v.lo + err);
    out = a;
    return a == b;
}

// sin or cos of r = rh + rl, |r| <= 0.8, relative error below 2^-67.5. With
// r = a + t, a = i/128 from the table and t = th + l, |th| <= 2^-8:
// sin t = th + sinLo and cos t = 1 + cm1, and both results take the form
// A cos t + B sin t = A + B th + A cm1 + B sinLo with (A, B) = (sin a, cos a)
// for the sine, (cos a, -sin a) for the cosine. Only B th is formed exactly
// (from the split halves of th and of B's high part): |cm1| <= 2^-17, so the roundings of th^2, of cm1, of
// A cm1 and of the last addition into the low part are each below 2^-70 A,
// and A is at most 4/3 of the result (for i = 1, where it is twice, those
// four are below 2^-71 A each); the rest stays below 2^-76 of the result.
// No branch depends on the argument. The result is multiplied by sign.
[[gnu::always_inline]] inline DD sinCosKernel(double rh, double rl, bool cosine, double sign)
{
    const double sr = rh < 0 ? -1.0 : 1.0;
    const double h = rh * sr, l = rl * sr;
    // round(128 h) from the exact 256 h: h * 128 + 0.5 would round up just
    // below 1/256, and th would then not be exact.
    const int i = (int(h * 256.0) + 1) >> 1;
    const double th = h - double(i) * 0.0078125;  // exact (Sterbenz for i >= 1)
    const double z = th * th;
    const double ps = -0x1.5555555555555p-3 + z * (0x1.1111111111111p-7 + z * -0x1.a01a01a01a01ap-13);
    const double pc = 0x1.5555555555555p-5 + z * -0x1.6c16c16c16c17p-10;
    const double sinLo = (l - 0.5 * z * l) + th * (z * ps);
    const double cm1 = -0.5 * z + (z * z * pc - th * l);
    // A and B: each high part, low part and high half of the split
    const double* A = kSinCosTable[i] + (cosine ? 3 : 0);
    const double* B = A + 3;
    // B th = bH thH + bH thL + (the rest of B) th, the first two exact
    const double thH = splitHigh(th), thL = th - thH;
    const DD s = twoSum(A[0], B[2] * thH);
    const double lo = (s.lo + A[1] + B[2] * thL + ((B[0] - B[2]) + B[1]) * th + B[0] * sinLo + A[1] * cm1) + A[0] * cm1;
    const DD r = fastTwoSum(s.hi, lo);
    const double f = cosine ? sign : sign * sr;  // sin is odd, cos even
    return {r.hi * f, r.lo * f};
}

// sin (cosine false) or cos of x in 256-bit fixed point, rounded.
[[gnu::noinline]] inline double slowSinCos(double x, bool cosine)
{
    const double ax = x < 0 ? -x : x;
    Reduced red{0, false, fixedFromDouble(ax)};
    Fixed r = red.fraction;
    if (ax >= kQuarterPi) {
        red = reduceLarge(ax);
        Fixed halfPi;
        for (int i = 0; i < kWords; i++) halfPi.w[i] = kHalfPiFixed[i];
        r = fixedMul(red.fraction, halfPi);
    }
    Fixed s, c;
    fixedSinCos(r, s, c);
    // |x| = q pi/2 + r': sin takes sin r', cos r', -sin r', -cos r' by quadrant;
    // cos takes cos r', -sin r', -cos r', sin r'.
    const int q = red.quadrant;
    const bool useCos = ((q & 1) != 0) != cosine;
    bool minus = cosine ? (q == 1 || q == 2) : q >= 2;
    if (!useCos && red.negative) minus = !minus;
    if (!cosine && x < 0) minus = !minus;
    const double v = fixedToDouble(useCos ? c : s);
    return minus ? -v : v;
}

// sin (cosine false) or cos of x in double-double, and an absolute error
// bound to add to the relative one of kSinCosError.
struct Estimate {
    DD value;
    double errAbs;
};

[[gnu::always_inline]] inline Estimate sinCosEstimate(double x, bool cosine)
{
    const double ax = x < 0 ? -x : x;
    double rh = ax, rl = 0.0, errAbs = 0.0;
    int q = 0;
    if (ax >= kQuarterPi) {
        if (ax < 0x1.921fb54442d18p+30) {
            // k <= 2^30: k times each of the first three parts is exact, and
            // so are ax - k p0 and its difference with k p1 (both lie on the
            // grid of ulp(ax) or of 2^-44 and are small enough for 53 bits).
            // What the parts leave off pi/2 and the roundings of k p3 and of
            // the low word stay below k 2^-122 (and 2^-106 of r).
            const double k = (ax * kTwoOverPi + 0x1.8p52) - 0x1.8p52;
            q = int(k) & 3;
            const double t = (ax - k * kHalfPiParts[0]) - k * kHalfPiParts[1];
            const DD s = twoSum(t, -(k * kHalfPiParts[2]));
            const DD r = twoSum(s.hi, s.lo - k * kHalfPiParts[3]);
            rh = r.hi;
            rl = r.lo;
            errAbs = k * 0x1p-120;
        } else {
            const Reduced red = reduceLarge(ax);
            const DD f = fixedToDD(red.fraction);
            DD r = twoProd(f.hi, kHalfPi[0]);
            r = fastTwoSum(r.hi, r.lo + (f.hi * kHalfPi[1] + f.lo * kHalfPi[0]));
            rh = red.negative ? -r.hi : r.hi;
            rl = red.negative ? -r.lo : r.lo;
            q = red.quadrant;
        }
    }
    // cos |x| = sin(|x| + pi/2): quadrant q + 1 of the sine. Quadrants 1 and
    // 3 take the cosine of r, quadrants 2 and 3 the negated result.
    const int qs = q + (cosine ? 1 : 0);
    const double sign = ((qs & 2) ? -1.0 : 1.0) * (!cosine && x < 0 ? -1.0 : 1.0);
    return {sinCosKernel(rh, rl, (qs & 1) != 0, sign), errAbs};
}

inline double sinCos(double x, bool cosine)
{
    const Estimate e = sinCosEstimate(x, cosine);
    double r;
    return roundsTo(e.value, std::fabs(e.value.hi) * kSinCosError + e.errAbs, r) ? r : slowSinCos(x, cosine);
}

// asin(x + xl) for 2^-28 <= x <= 1/2 and |xl| <= 2^-52 x, relative error
// below 2^-68: xl adds xl asin'(x), from the series of asin' to h^2 (to
// 2^-22 of it, which is below 2^-52 of the result). Below 2^-8 the
// odd series; above, the Taylor polynomial about the middle of x's 1/128 wide
// interval, whose terms beyond the square are below 2^-19.6 of the result.
// Only c0 + c1 h is exact; c2 h^2 (below 2^-16.4 of the result) is rounded
// once, below 2^-69.4, and the cubic and higher terms' roundings stay below
// 2^-69.9. At x = 1/2, where asinEstimate doubles the relative error, the
// first of these is below 2^-69.3 and the second below 2^-74.
template <bool withLow>
inline DD asinKernel(double x, double xl)
{
    if (x < 0x1p-8) {
        const double z = x * x;
        const double p = 0x1.5555555555555p-3 + z * (0x1.3333333333333p-4 + z * (0x1.6db6db6db6db7p-5 + z * (0x1.f1c71c71c71c7p-6 + z * 0x1.6e8ba2e8ba2e9p-6)));
        return fastTwoSum(x, withLow ? x * (z * p) + (xl + 0.5 * z * xl) : x * (z * p));
    }
    const int i = x < 0.5 ? int(x * 128.0) : 63;
    const double h = x - (double(i) + 0.5) * 0.0078125;  // exact
    const double* c = kAsinTable[i];
    // c3 + c4 h + ... + c9 h^6 by Estrin's scheme: a short dependency chain
    // (the terms left off stay below 2^-75.9 of the result).
    const double hh = h * h, h4 = hh * hh;
    const double t = (c[3] + h * c[4]) + hh * (c[5] + h * c[6]) +
                     h4 * ((c[7] + h * c[8]) + hh * c[9]);
    // From the split halves of h: h^2 = hH^2 + hL (h + hH) and
    // c1 h = c1H hH + c1H hL + (the rest of c1) h, the products of halves exact.
    const double hH = splitHigh(h), hL = h - hH;
    const double h2 = hH * hH;
    const DD s = twoSum(c[0], c[13] * hH);
    DD r = twoSum(s.hi, c[2] * h2);
    r.lo += s.lo + c[10] + (c[13] * hL + ((c[1] - c[13]) + c[11]) * h) + (c[12] * h2 + c[2] * (hL * (h + hH))) +
            hh * (h * t);
    if (withLow) r.lo += xl * (c[1] + h * (2.0 * c[2] + 3.0 * c[3] * h));
    return fastTwoSum(r.hi, r.lo);
}

// sqrt((1 - x)/2) = sh + sl for 1/2 <= x < 1, sl = (z - sh^2) / (2 sh) to
// 2^-78 sh: one division. z is exact, z - shH^2 too (Sterbenz), the rest of
// sh^2, shL (sh + shH), rounded.
inline DD halfComplementRoot(double x)
{
    const double z = (1.0 - x) * 0.5;
    const double sh = std::sqrt(z);
    const double shH = splitHigh(sh), shL = sh - shH;
    return {sh, ((z - shH * shH) - shL * (sh + shH)) / (2.0 * sh)};
}

// asin x in double-double for 2^-26 <= x < 1, relative error below 2^-68.
inline DD asinEstimate(double x)
{
    if (x < 0.5) return asinKernel<false>(x, 0.0);
    // asin x = pi/2 - 2 asin s, s = sqrt((1 - x)/2)
    const DD s = halfComplementRoot(x);
    const DD b = asinKernel<true>(s.hi, s.lo);
    const DD r = twoSum(kHalfPi[0], -2.0 * b.hi);
    return fastTwoSum(r.hi, r.lo + (kHalfPi[1] - 2.0 * b.lo));
}

// asin's first, cheaper estimate, which decides all but about one call in
// two hundred; the others take asinEstimate's.

// asin(x + xl) for 1/128 <= x <= 1/2 and |xl| <= 2^-52 x, relative error
// below 2^-62.4. i >= 1, so x >= 2^(m - 7) with m = floor(log2 i): h is a
// multiple of ulp(x) >= 2^(m - 59) and |h| <= 2^-8, at most 51 - m
// significant bits, and c1 rounded to m + 2 bits (column 14) makes c1 h exact
// with no split. What that rounding leaves of c1 (column 15) is below 2^-(m+2)
// c1, or for i < 16, where the short c1 is 1, below a^2 / 2; its product's
// rounding is below 2^-62.9 of the result (rows 16 to 31 are the worst). The
// terms beyond h^8 are below 2^-68, the polynomial from h^2 (below 2^-16.4 of
// the result) is evaluated to 2^-67, the sums of the low part to 2^-68.
template <bool withLow>
[[gnu::always_inline]] inline DD asinFastKernel(double x, double xl)
{
    const int i = x < 0.5 ? int(x * 128.0) : 63;
    const double h = x - (double(i) + 0.5) * 0.0078125;  // exact
    const double* c = kAsinTable[i];
    const double p = c[14] * h;  // exact
    const double s = c[0] + p;  // |p| < c0
    const double e = p - (s - c[0]);
    const double hh = h * h, h4 = hh * hh;
    const double poly = hh * (((c[2] + h * c[3]) + hh * (c[4] + h * c[5])) + h4 * ((c[6] + h * c[7]) + hh * c[8]));
    double lo = (e + c[10]) + c[15] * h;
    if (withLow) lo += xl * (c[1] + h * (2.0 * c[2]));
    return {s, lo + poly};
}

// x + x^3/6 + ... + 35 x^9/1152 for |x| < 1/128 in double-double: the terms
// left off are below 2^-75 of x, the correction (below 2^-16.5 x) is
// evaluated to 2^-67.7.
inline DD asinSeries(double x, double xl)
{
    const double z = x * x;
    const double p = 0x1.5555555555555p-3 + z * (0x1.3333333333333p-4 + z * (0x1.6db6db6db6db7p-5 + z * 0x1.f1c71c71c71c7p-6));
    return fastTwoSum(x, x * (z * p) + xl);
}

// asin x for 1/2 < x <= 63/64 as asin(1 - t), relative error below 2^-64.5.
// t = 1 - x is exact and lies in [2^-(b+2), 2^-(b+1)) for b = 0..4: its
// exponent and top five fraction bits give the row, the middle of the row's
// 1/32 of that binade is the centre, so that |h| <= t/64 and the Taylor
// series shrink by about 2^-6 a term (the singularity at t = 0 is t away).
// h is a multiple of 2^-53 below 2^-(b+8) in magnitude, at most 45 - b
// significant bits, so d1 rounded to 8 + b bits gives an exact d1 h; what that
// leaves of d1, rounded twice, adds below 2^-66.2 of the result, the terms
// beyond h^9 below 2^-67.2, the polynomial from h^2 (below 2^-15.4 of the
// result) below 2^-66.4 with its evaluation, the sums 2^-68.
[[gnu::always_inline]] inline DD asinNearOneKernel(double x)
{
    const double t = 1.0 - x;
    const uint64_t bits = std::bit_cast<uint64_t>(t);
    const unsigned row = ((1021u - unsigned(bits >> 52)) << 5) | unsigned((bits >> 47) & 31u);
    const double h = t - std::bit_cast<double>((bits & 0xffff800000000000u) | (uint64_t(1) << 46));  // exact
    const double* d = kAsinNearOneTable[row];
    const double p = d[2] * h;  // exact
    const double s = d[0] + p;  // |p| <= 2^-6 < d0
    const double e = p - (s - d[0]);
    const double hh = h * h, h4 = hh * hh;
    const double poly = hh * (((d[4] + h * d[5]) + hh * (d[6] + h * d[7])) + h4 * ((d[8] + h * d[9]) + hh * (d[10] + h * d[11])));
    return {s, ((e + d[1]) + d[3] * h) + poly};
}

// asin x for 2^-26 <= x < 1 in double-double, relative error below 2^-62.
// Above 63/64 the reduction of asinEstimate, whose square root is then below
// 0.089: it scales the kernel's relative error by less than 0.13.
[[gnu::always_inline]] inline DD asinFastEstimate(double x)
{
    if (x <= 0.5) return x < 0.0078125 ? asinSeries(x, 0.0) : asinFastKernel<false>(x, 0.0);
    if (x <= 0.984375) return asinNearOneKernel(x);
    const DD s = halfComplementRoot(x);
    const DD b = s.hi < 0.0078125 ? asinSeries(s.hi, s.lo) : asinFastKernel<true>(s.hi, s.lo);
    const DD r = fastTwoSum(kHalfPi[0], -2.0 * b.hi);
    return {r.hi, r.lo + (kHalfPi[1] - 2.0 * b.lo)};
}

// asin x for 2^-26 <= x < 1: Newton's iteration y -= (sin y - x) / cos y in
// fixed point from the double-double estimate y0. The step is divided in
// double-double (relative error below 2^-100), so a step d leaves an error
// below d 2^-100 + d^2 / cos y: two steps in all but the steepest cases.
[[gnu::noinline]] inline double slowAsin(double x, DD y0)
{
    const Fixed fx = fixedFromDouble(x);
    const Fixed low = fixedFromDouble(std::fabs(y0.lo));
    Fixed y = y0.lo < 0 ? fixedSub(fixedFromDouble(y0.hi), low) : fixedAdd(fixedFromDouble(y0.hi), low);
    for (int step = 0; step < 8; step++) {
        Fixed s, c;
        fixedSinCos(y, s, c);
        const bool over = fixedLess(fx, s);
        const Fixed d = over ? fixedSub(s, fx) : fixedSub(fx, s);
        if (topBit(d.w, kWords) < 0) break;
        const DD dd = fixedToDD(d), cd = fixedToDD(c);
        const double q1 = dd.hi / cd.hi;
        const DD p = twoProd(q1, cd.hi);
        const double q2 = (((dd.hi - p.hi) - p.lo) + (dd.lo - q1 * cd.lo)) / cd.hi;
        const Fixed step1 = fixedFromDouble(q1);
        y = over ? fixedSub(y, step1) : fixedAdd(y, step1);
        const Fixed step2 = fixedFromDouble(std::fabs(q2));
        y = (q2 < 0) != over ? fixedSub(y, step2) : fixedAdd(y, step2);
        if (q1 < 0x1p-130 && q1 * q1 < cd.hi * 0x1p-235) break;
    }
    return fixedToDouble(y);
}

}  // namespace opmath

inline double mathSin(double x)
{
    const double ax = std::fabs(x);
    if (!(ax <= std::numeric_limits<double>::max())) return x - x;  // NaN for inf and NaN
    if (ax < 0x1p-26) return x;  // |sin x - x| < |x|^3/6, below half an ulp
    return opmath::sinCos(x, false);
}

inline double mathCos(double x)
{
    const double ax = std::fabs(x);
    if (!(ax <= std::numeric_limits<double>::max())) return x - x;
    if (ax < 0x1p-27) return 1.0;  // 1 - cos x < 2^-55, below half an ulp of 1-
    return opmath::sinCos(x, true);
}

inline double mathAsin(double x)
{
    using namespace opmath;
    const double ax = std::fabs(x);
    if (!(ax < 1.0)) {
        if (ax == 1.0) return x < 0 ? -kHalfPi[0] : kHalfPi[0];  // pi/2 rounded
        return std::isnan(x) ? x + x : std::numeric_limits<double>::quiet_NaN();
    }
    if (ax < 0x1p-26) return x;  // asin x - x < x^3/6, below half an ulp
    const DD v = asinFastEstimate(ax);
    double r;
    if (!roundsTo(v, v.hi * kAsinFastError, r)) [[unlikely]] {
        const DD w = asinEstimate(ax);
        if (!roundsTo(w, w.hi * kAsinError, r)) r = slowAsin(ax, w);
    }
    // asin is odd: the sign of x, set without a branch on it
    return std::bit_cast<double>(std::bit_cast<uint64_t>(r) | (std::bit_cast<uint64_t>(x) & 0x8000000000000000u));
}

inline double mathSqrt(double x) { return std::sqrt(x); }

}  // namespace fieldfx

#endif
