/*
 * Lanes for the band of the pattern wipes (pattern_wipe.h).
 *
 * Positions: the lane types of lanes.h across four pixels instead of across
 * the four bytes of one, so four sample positions are computed at once, then
 * split into the neighbours and fractions of the clamp sampler (sampler.h).
 *
 * Neighbours: a byte b is taken as the double 2^52 + b. The difference of
 * two such doubles is exactly the difference of the bytes and subtracting
 * 2^52 gives b exactly, so the bilinear blend computes on the same values as
 * with converted bytes; with AVX2 the byte is placed into the low bits of
 * 2^52's pattern instead of being converted.
 *
 * Band blend: (incoming x (S - k) + sample x k) / S on whole numbers, in
 * single precision (see bandReciprocal in pattern_wipe.h).
 *
 * Every operation is the IEEE one of the scalar code, lane by lane, so each
 * lane holds the bits the scalar computation gives.
 */
#ifndef FIELDFX_HELPERS_EFFECTS_PATTERN_WIPE_LANES_H
#define FIELDFX_HELPERS_EFFECTS_PATTERN_WIPE_LANES_H

#include <cstdint>
#include <cstring>

#include "fieldfx/helpers/lanes/bilinear_taps.h"
#include "fieldfx/helpers/lanes/lanes.h"
#include "fieldfx/helpers/pixel/rect.h"

namespace fieldfx {

constexpr double kByteBias = 4503599627370496.0;  // 2^52

template <typename Lanes>
Lanes loadQuad(const double* p);
template <typename Lanes>
Lanes quadOf(double a, double b, double c, double d);
template <typename Lanes>
Lanes quadOfInts(const int32_t* p);

// Four entries of a table, picked by four indices.
template <typename Lanes>
Lanes gatherQuad(const double* table, const int32_t* index) {
    return quadOf<Lanes>(table[index[0]], table[index[1]], table[index[2]], table[index[3]]);
}

// A pixel's bytes b as the lanes 2^52 + b.
template <typename Lanes>
Lanes loadBiased(const uint8_t* p) {
    return Lanes::load(p) + kByteBias;
}

#if defined(__SSE2__)

template <>
inline PixelLanes loadQuad<PixelLanes>(const double* p) {
    return PixelLanes{_mm_loadu_pd(p), _mm_loadu_pd(p + 2)};
}
template <>
inline PixelLanes quadOf<PixelLanes>(double a, double b, double c, double d) {
    return PixelLanes{_mm_set_pd(b, a), _mm_set_pd(d, c)};
}
template <>
inline PixelLanes quadOfInts<PixelLanes>(const int32_t* p) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return PixelLanes{_mm_cvtepi32_pd(v), _mm_cvtepi32_pd(_mm_srli_si128(v, 8))};
}
// As the x86 instructions: a < b ? a : b and a > b ? a : b, so a NaN in a
// gives b.
inline PixelLanes minLanes(PixelLanes a, PixelLanes b) {
    return PixelLanes{_mm_min_pd(a.lo, b.lo), _mm_min_pd(a.hi, b.hi)};
}
inline PixelLanes maxLanes(PixelLanes a, PixelLanes b) {
    return PixelLanes{_mm_max_pd(a.lo, b.lo), _mm_max_pd(a.hi, b.hi)};
}
inline void storeQuad(PixelLanes v, double* p) {
    _mm_storeu_pd(p, v.lo);
    _mm_storeu_pd(p + 2, v.hi);
}
// Each lane truncated toward zero; every lane must lie within the 32-bit range.
inline __m128i truncatedInts(PixelLanes v) {
    return _mm_unpacklo_epi64(_mm_cvttpd_epi32(v.lo), _mm_cvttpd_epi32(v.hi));
}
inline void storeInts(PixelLanes v, int32_t* p) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), truncatedInts(v));
}
inline PixelLanes truncateLanes(PixelLanes v) {
    return PixelLanes{_mm_cvtepi32_pd(_mm_cvttpd_epi32(v.lo)),
                      _mm_cvtepi32_pd(_mm_cvttpd_epi32(v.hi))};
}

// Four single-precision values, one a pixel, and their widening into lanes.
struct FloatQuad {
    __m128 v;
};
inline FloatQuad floatQuadOf(float a, float b, float c, float d) {
    return FloatQuad{_mm_set_ps(d, c, b, a)};
}
inline FloatQuad loadFloatQuad(const float* p) { return FloatQuad{_mm_loadu_ps(p)}; }
inline FloatQuad floatQuadOfInts(const int32_t* p) {
    return FloatQuad{_mm_cvtepi32_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)))};
}
inline FloatQuad operator+(FloatQuad a, float b) { return FloatQuad{_mm_add_ps(a.v, _mm_set1_ps(b))}; }
inline FloatQuad operator+(FloatQuad a, FloatQuad b) { return FloatQuad{_mm_add_ps(a.v, b.v)}; }
template <typename Lanes>
Lanes widen(FloatQuad q);
template <>
inline PixelLanes widen<PixelLanes>(FloatQuad q) {
    return PixelLanes{_mm_cvtps_pd(q.v), _mm_cvtps_pd(_mm_movehl_ps(q.v, q.v))};
}

// The band blend of one pixel: each lane of `sample` truncated (a whole
// 0..255), then (incoming x w[0..3] + sample x w[4..7]) x reciprocal
// truncated, in single precision.
template <typename Lanes>
void blendBandFloat(const uint8_t* incoming, Lanes sample, const float* w, float reciprocal,
                    uint8_t* out) {
    int32_t word;
    std::memcpy(&word, incoming, 4);
    const __m128i zero = _mm_setzero_si128();
    const __m128 in = _mm_cvtepi32_ps(
        _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(word), zero), zero));
    const __m128 n = _mm_add_ps(_mm_mul_ps(in, _mm_loadu_ps(w)),
                                _mm_mul_ps(_mm_cvtepi32_ps(truncatedInts(sample)), _mm_loadu_ps(w + 4)));
    const __m128i q = _mm_cvttps_epi32(_mm_mul_ps(n, _mm_set1_ps(reciprocal)));
    const __m128i words = _mm_packs_epi32(q, q);
    const int32_t bytes = _mm_cvtsi128_si32(_mm_packus_epi16(words, words));
    std::memcpy(out, &bytes, 4);
}

#else

template <>
inline PixelLanes loadQuad<PixelLanes>(const double* p) {
    return PixelLanes{{p[0], p[1], p[2], p[3]}};
}
template <>
inline PixelLanes quadOf<PixelLanes>(double a, double b, double c, double d) {
    return PixelLanes{{a, b, c, d}};
}
template <>
inline PixelLanes quadOfInts<PixelLanes>(const int32_t* p) {
    return PixelLanes{{double(p[0]), double(p[1]), double(p[2]), double(p[3])}};
}
inline PixelLanes minLanes(PixelLanes a, PixelLanes b) {
    for (int i = 0; i < 4; ++i) a.v[i] = a.v[i] < b.v[i] ? a.v[i] : b.v[i];
    return a;
}
inline PixelLanes maxLanes(PixelLanes a, PixelLanes b) {
    for (int i = 0; i < 4; ++i) a.v[i] = a.v[i] > b.v[i] ? a.v[i] : b.v[i];
    return a;
}
inline void storeQuad(PixelLanes v, double* p) {
    for (int i = 0; i < 4; ++i) p[i] = v.v[i];
}
inline void storeInts(PixelLanes v, int32_t* p) {
    for (int i = 0; i < 4; ++i) p[i] = int32_t(v.v[i]);
}
inline PixelLanes truncateLanes(PixelLanes v) {
    for (int i = 0; i < 4; ++i) v.v[i] = double(int32_t(v.v[i]));
    return v;
}
struct FloatQuad {
    float v[4];
};
inline FloatQuad floatQuadOf(float a, float b, float c, float d) { return FloatQuad{{a, b, c, d}}; }
inline FloatQuad loadFloatQuad(const float* p) { return FloatQuad{{p[0], p[1], p[2], p[3]}}; }
inline FloatQuad floatQuadOfInts(const int32_t* p) {
    return FloatQuad{{float(p[0]), float(p[1]), float(p[2]), float(p[3])}};
}
inline FloatQuad operator+(FloatQuad a, float b) {
    for (float& v : a.v) v += b;
    return a;
}
inline FloatQuad operator+(FloatQuad a, FloatQuad b) {
    for (int i = 0; i < 4; ++i) a.v[i] += b.v[i];
    return a;
}
template <typename Lanes>
Lanes widen(FloatQuad q) {
    return quadOf<Lanes>(q.v[0], q.v[1], q.v[2], q.v[3]);
}
template <typename Lanes>
void blendBandFloat(const uint8_t* incoming, Lanes sample, const float* w, float reciprocal,
                    uint8_t* out) {
    for (int i = 0; i < 4; ++i) {
        const float n = float(incoming[i]) * w[i] + float(int32_t(sample.v[i])) * w[4 + i];
        out[i] = uint8_t(int32_t(n * reciprocal));
    }
}

#endif

// blendBandFloat of two pixels.
template <typename Lanes>
void blendBandPair(const uint8_t* inA, const uint8_t* inB, Lanes sA, Lanes sB, const float* wA,
                   const float* wB, float reciprocal, uint8_t* outA, uint8_t* outB) {
    blendBandFloat(inA, sA, wA, reciprocal, outA);
    blendBandFloat(inB, sB, wB, reciprocal, outB);
}

// Sorts a stretch of row by its mask values m: from T up a pixel shows the
// outgoing pixel, below L the incoming one, and in between it lies in the
// band at level k = m - L. sort() writes the pixels outside the band and
// lists the band pixels by column and level; sixteen at a time with SSE2,
// where a mask byte against a level clamped to 0..256 compares without
// widening (m >= t is t - m saturating at 0).
class BandSorter {
public:
    BandSorter(int64_t T, int64_t L) : T_(T), L_(L) {
#if defined(__SSE2__)
        const int64_t t = T < 0 ? 0 : T > 256 ? 256 : T;
        const int64_t l = L < 0 ? 0 : L > 256 ? 256 : L;
        t8_ = _mm_set1_epi8(char(t > 255 ? 255 : t));
        l8_ = _mm_set1_epi8(char(l > 255 ? 255 : l));
        geOn_ = t > 255 ? _mm_setzero_si128() : _mm_set1_epi8(-1);
        ltAll_ = l > 255 ? _mm_set1_epi8(-1) : _mm_setzero_si128();
#endif
    }

    // count pixels from column c0 of the rectangle: mask values m[i], rows
    // from the stretch's first pixel. Returns how many band pixels it listed.
    int32_t sort(const uint8_t* m, int32_t count, const uint8_t* row0, const uint8_t* row1,
                 uint8_t* out, int32_t c0, int32_t* bandC, int32_t* bandK) const {
        int32_t n = 0, i = 0;
#if defined(__SSE2__)
        const __m128i zero = _mm_setzero_si128(), ones = _mm_set1_epi8(-1);
        for (; i + 16 <= count; i += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m + i));
            const __m128i ge = _mm_and_si128(_mm_cmpeq_epi8(_mm_subs_epu8(t8_, v), zero), geOn_);
            const __m128i lt = _mm_or_si128(
                _mm_andnot_si128(_mm_cmpeq_epi8(_mm_subs_epu8(l8_, v), zero), ones), ltAll_);
            const int band = ~_mm_movemask_epi8(_mm_or_si128(ge, lt)) & 0xFFFF;
            if (band == 0xFFFF) {
                const __m128i k16[2] = {_mm_unpacklo_epi8(v, zero), _mm_unpackhi_epi8(v, zero)};
                const __m128i L = _mm_set1_epi32(int32_t(L_));
                for (int q = 0; q < 4; ++q) {
                    const __m128i k32 = q % 2 == 0 ? _mm_unpacklo_epi16(k16[q / 2], zero)
                                                   : _mm_unpackhi_epi16(k16[q / 2], zero);
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(bandK + n + 4 * q),
                                     _mm_sub_epi32(k32, L));
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(bandC + n + 4 * q),
                                     _mm_add_epi32(_mm_set1_epi32(c0 + i + 4 * q),
                                                   _mm_set_epi32(3, 2, 1, 0)));
                }
                n += 16;
                continue;
            }
            // Every pixel takes the outgoing or the incoming one; band pixels
            // are painted over later.
            const __m128i ge16[2] = {_mm_unpacklo_epi8(ge, ge), _mm_unpackhi_epi8(ge, ge)};
            for (int q = 0; q < 4; ++q) {
                const __m128i pick = q % 2 == 0 ? _mm_unpacklo_epi16(ge16[q / 2], ge16[q / 2])
                                                : _mm_unpackhi_epi16(ge16[q / 2], ge16[q / 2]);
                const std::size_t at = std::size_t(i + 4 * q) * 4;
                const __m128i p0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row0 + at));
                const __m128i p1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row1 + at));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at),
                                 _mm_or_si128(_mm_and_si128(pick, p0), _mm_andnot_si128(pick, p1)));
            }
            for (int b = band; b != 0; b &= b - 1) {
                const int j = __builtin_ctz(unsigned(b));
                bandC[n] = c0 + i + j;
                bandK[n] = int32_t(m[i + j] - L_);
                ++n;
            }
        }
#endif
        for (; i < count; ++i) {
            const std::size_t at = std::size_t(i) * 4;
            if (m[i] >= T_) {
                std::memcpy(out + at, row0 + at, 4);
            } else if (m[i] < L_) {
                std::memcpy(out + at, row1 + at, 4);
            } else {
                bandC[n] = c0 + i;
                bandK[n] = int32_t(m[i] - L_);  // 0 <= k < S
                ++n;
            }
        }
        return n;
    }

private:
    int64_t T_, L_;
#if defined(__SSE2__)
    __m128i t8_, l8_, geOn_, ltAll_;
#endif
};

// One axis of the clamp sampler's split (sampler.h) for four positions,
// lane by lane: each kept convertible, its whole part and fraction (never
// negative), and its two neighbours clamped to lo .. last, times `scale`
// (1 for columns, the row length for rows: a pixel index stays below 2^31,
// both sides of an image being 16-bit).
template <typename Lanes>
void splitAxis(Lanes v, int32_t lo, int32_t last, int32_t scale, int32_t* i0, int32_t* i1,
               double* frac) {
    v = minLanes(maxLanes(v, Lanes::all(-1.0e9)), Lanes::all(1.0e9));  // NaN gives -1e9
    const Lanes whole = truncateLanes(v);
    const Lanes vlo = Lanes::all(lo), vlast = Lanes::all(last);
    storeQuad(maxLanes(v - whole, Lanes::all(0.0)), frac);
    storeInts(minLanes(maxLanes(whole, vlo), vlast) * double(scale), i0);
    storeInts(minLanes(maxLanes(whole + 1.0, vlo), vlast) * double(scale), i1);
}

#if defined(FIELDFX_AVX2_LANES)


template <>
FIELDFX_TARGET("avx2") inline PixelLanesAvx2 loadQuad<PixelLanesAvx2>(const double* p) {
    return PixelLanesAvx2{_mm256_loadu_pd(p)};
}
template <>
FIELDFX_TARGET("avx2") inline PixelLanesAvx2 quadOf<PixelLanesAvx2>(double a, double b, double c, double d) {
    return PixelLanesAvx2{_mm256_set_pd(d, c, b, a)};
}
template <>
FIELDFX_TARGET("avx2") inline PixelLanesAvx2 quadOfInts<PixelLanesAvx2>(const int32_t* p) {
    return PixelLanesAvx2{_mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)))};
}
template <>
FIELDFX_TARGET("avx2") inline PixelLanesAvx2 widen<PixelLanesAvx2>(FloatQuad q) {
    return PixelLanesAvx2{_mm256_cvtps_pd(q.v)};
}
FIELDFX_TARGET("avx2") inline __m128i truncatedInts(PixelLanesAvx2 v) { return _mm256_cvttpd_epi32(v.v); }

template <>
FIELDFX_TARGET("avx2") inline PixelLanesAvx2 loadBiased<PixelLanesAvx2>(const uint8_t* p) {
    return PixelLanesAvx2::loadBiased(p);
}

// blendBandPair with the two pixels side by side in one AVX2 register.
FIELDFX_TARGET("avx2") inline void blendBandPair(const uint8_t* inA, const uint8_t* inB, PixelLanesAvx2 sA,
                                       PixelLanesAvx2 sB, const float* wA, const float* wB,
                                       float reciprocal, uint8_t* outA, uint8_t* outB) {
    int32_t a, b;
    std::memcpy(&a, inA, 4);
    std::memcpy(&b, inB, 4);
    const __m256 in =
        _mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(_mm_insert_epi32(_mm_cvtsi32_si128(a), b, 1)));
    const __m256 s = _mm256_cvtepi32_ps(
        _mm256_set_m128i(_mm256_cvttpd_epi32(sB.v), _mm256_cvttpd_epi32(sA.v)));
    const __m256 w0 = _mm256_set_m128(_mm_loadu_ps(wB), _mm_loadu_ps(wA));
    const __m256 w1 = _mm256_set_m128(_mm_loadu_ps(wB + 4), _mm_loadu_ps(wA + 4));
    const __m256 n = _mm256_add_ps(_mm256_mul_ps(in, w0), _mm256_mul_ps(s, w1));
    const __m256i q = _mm256_cvttps_epi32(_mm256_mul_ps(n, _mm256_set1_ps(reciprocal)));
    const __m256i words = _mm256_packs_epi32(q, q);  // within each half
    const __m256i bytes = _mm256_packus_epi16(words, words);
    a = _mm256_cvtsi256_si32(bytes);
    b = _mm256_extract_epi32(bytes, 4);
    std::memcpy(outA, &a, 4);
    std::memcpy(outB, &b, 4);
}

// splitAxis with the whole parts in 32-bit integer lanes (bilinear_taps.h).
FIELDFX_TARGET("avx2") inline void splitAxis(PixelLanesAvx2 x, int32_t lo, int32_t last, int32_t scale,
                                   int32_t* i0, int32_t* i1, double* frac) {
    const AxisTaps4 taps = splitAxis4(x.v, lo, last + 1);
    const __m128i w = _mm_set1_epi32(scale);
    _mm256_storeu_pd(frac, taps.fraction);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(i0), _mm_mullo_epi32(taps.first, w));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(i1), _mm_mullo_epi32(taps.second, w));
}


#endif

}  // namespace fieldfx

#endif
