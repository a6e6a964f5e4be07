/*
 * Exact arithmetic the correctly rounded functions of opmath.h are built on:
 * double-double sums and products (Knuth's and Dekker's error-free
 * transformations) and 256-bit fixed point on 32-bit words. Nothing here may
 * be contracted into fused multiply-adds (-ffp-contract=off), and the fixed
 * point uses only 32x32->64-bit integer products, so every platform computes
 * the same words.
 */
#ifndef FIELDFX_HELPERS_MATHS_EXACT_H
#define FIELDFX_HELPERS_MATHS_EXACT_H

#include <bit>
#include <cstdint>

namespace fieldfx {
namespace opmath {
// ---- Exact double arithmetic (Knuth, Dekker). Correct because nothing
// here is contracted into fused multiply-adds (-ffp-contract=off).

struct DD {
    double hi, lo;
};

inline DD twoSum(double a, double b)
{
    const double s = a + b;
    const double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

// Needs |a| >= |b| (or a == 0).
inline DD fastTwoSum(double a, double b)
{
    const double s = a + b;
    return {s, b - (s - a)};
}

// The high half (26 significant bits) of Veltkamp's split of a.
inline double splitHigh(double a)
{
    const double c = 134217729.0 * a;  // 2^27 + 1
    return c - (c - a);
}

// a * b exactly.
inline DD twoProd(double a, double b)
{
    const double ah = splitHigh(a), bh = splitHigh(b);
    const double al = a - ah, bl = b - bh;
    const double p = a * b;
    return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

// 2^e for normal exponents.
inline double pow2(int e) { return std::bit_cast<double>(uint64_t(e + 1023) << 52); }

// ---- 256-bit fixed point: nine 32-bit words, least significant first,
// value = sum w[i] 2^(32 i - 256). Only 32x32->64-bit integer products, so
// 32-bit targets compute exactly the same words.

constexpr int kWords = 9;

struct Fixed {
    uint32_t w[kWords];
};

// Bits pos..pos+31 of the little-endian words w[0..n), zero outside them.
inline uint32_t bitsAt(const uint32_t* w, int n, int pos)
{
    if (pos <= -32 || pos >= 32 * n) return 0;
    const int q = pos >= 0 ? pos / 32 : -1;
    const int s = pos - 32 * q;
    const uint32_t lo = q >= 0 ? w[q] : 0;
    const uint32_t hi = q + 1 < n ? w[q + 1] : 0;
    return s == 0 ? lo : (lo >> s) | (hi << (32 - s));
}

// Index of the highest set bit, -1 for zero.
inline int topBit(const uint32_t* w, int n)
{
    for (int i = n - 1; i >= 0; i--)
        if (w[i] != 0) return 32 * i + 31 - std::countl_zero(w[i]);
    return -1;
}

inline Fixed fixedAdd(const Fixed& a, const Fixed& b)
{
    Fixed r;
    uint64_t carry = 0;
    for (int i = 0; i < kWords; i++) {
        carry += uint64_t(a.w[i]) + b.w[i];
        r.w[i] = uint32_t(carry);
        carry >>= 32;
    }
    return r;
}

// a - b for a >= b.
inline Fixed fixedSub(const Fixed& a, const Fixed& b)
{
    Fixed r;
    uint32_t borrow = 0;
    for (int i = 0; i < kWords; i++) {
        const uint64_t d = uint64_t(a.w[i]) - b.w[i] - borrow;
        r.w[i] = uint32_t(d);
        borrow = uint32_t(d >> 63);
    }
    return r;
}

inline bool fixedLess(const Fixed& a, const Fixed& b)
{
    for (int i = kWords - 1; i >= 0; i--)
        if (a.w[i] != b.w[i]) return a.w[i] < b.w[i];
    return false;
}

// The product, truncated to 256 fraction bits (both factors below 2^16).
// Column by column, each column's products summed in two 64-bit halves, so
// that no sum overflows and no carry chains the multiplications. Columns
// below 6 are left out: they change the result by less than 2^-280.
inline Fixed fixedMul(const Fixed& a, const Fixed& b)
{
    Fixed r;
    uint64_t carry = 0;
    for (int k = 6; k <= 2 * kWords - 2; k++) {
        uint64_t low = 0, high = 0;
        for (int i = k < kWords ? 0 : k - kWords + 1; i <= k && i < kWords; i++) {
            const uint64_t p = uint64_t(a.w[i]) * b.w[k - i];
            low += uint32_t(p);
            high += p >> 32;
        }
        carry += low;
        if (k >= kWords - 1) r.w[k - (kWords - 1)] = uint32_t(carry);
        carry = (carry >> 32) + high;
    }
    return r;
}

// A non-negative double below 2^32, exactly (bits below 2^-256 dropped).
inline Fixed fixedFromDouble(double v)
{
    Fixed r{};
    if (v == 0.0) return r;
    const uint64_t bits = std::bit_cast<uint64_t>(v);
    const int biased = int(bits >> 52);
    uint64_t m = bits & ((uint64_t(1) << 52) - 1);
    int pos = 256 - 1074;  // position of the significand's lowest bit
    if (biased != 0) {
        m |= uint64_t(1) << 52;
        pos = 256 + biased - 1075;
    }
    if (pos < 0) {
        m = -pos >= 64 ? 0 : m >> -pos;
        pos = 0;
    }
    const int q = pos / 32, s = pos % 32;
    const uint64_t above = s == 0 ? m >> 32 : m >> (32 - s);
    const uint32_t parts[3] = {uint32_t(m << s), uint32_t(above), uint32_t(above >> 32)};
    for (int i = 0; i < 3 && q + i < kWords; i++) r.w[q + i] = parts[i];
    return r;
}

// The 53 bits of w[0..n) from bit `top` down, as an integer.
inline uint64_t significandAt(const uint32_t* w, int n, int top)
{
    return (uint64_t(bitsAt(w, n, top - 20) & 0x1FFFFFu) << 32) | bitsAt(w, n, top - 52);
}

// Rounded to the nearest double (value at least 2^-700, never halfway: the
// values rounded here are transcendental).
inline double fixedToDouble(const Fixed& f)
{
    const int t = topBit(f.w, kWords);
    const uint64_t m = significandAt(f.w, kWords, t) + (bitsAt(f.w, kWords, t - 53) & 1u);
    return double(m) * pow2(t - 52 - 256);
}

// The leading 106 bits as a double-double (truncated; value at least 2^-700).
inline DD fixedToDD(const Fixed& f)
{
    const int t = topBit(f.w, kWords);
    return {double(significandAt(f.w, kWords, t)) * pow2(t - 52 - 256),
            double(significandAt(f.w, kWords, t - 53)) * pow2(t - 105 - 256)};
}

inline Fixed fixedFromTable(const uint32_t* w, int words = kWords)
{
    Fixed f{};
    for (int i = 0; i < words; i++) f.w[i] = w[i];
    return f;
}

}  // namespace opmath
}  // namespace fieldfx

#endif
