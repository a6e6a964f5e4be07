/*
 * The four bytes of a pixel as four doubles, computed on together.
 *
 * Operators blend a pixel byte by byte with one double formula per byte. The
 * four computations are independent and identical, so they run two at a time
 * in SSE2 registers: the same operations in the same order on every lane give
 * the same roundings as four scalar passes (no FMA: none is ever written, and
 * -ffp-contract=off keeps the compiler from fusing). A formula written with
 * these operators reads as the scalar one does.
 */
#ifndef FIELDFX_HELPERS_LANES_H
#define FIELDFX_HELPERS_LANES_H

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace fieldfx {

#if defined(__SSE2__)

struct PixelLanes {
    __m128d lo, hi;  // bytes 0, 1 and bytes 2, 3
};

inline PixelLanes lanesOf(const uint8_t* pixel) {
    int32_t word;
    std::memcpy(&word, pixel, 4);
    const __m128i zero = _mm_setzero_si128();
    const __m128i wide = _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(word), zero), zero);
    return PixelLanes{_mm_cvtepi32_pd(wide), _mm_cvtepi32_pd(_mm_srli_si128(wide, 8))};
}

inline PixelLanes lanesOf(double v) { return PixelLanes{_mm_set1_pd(v), _mm_set1_pd(v)}; }

inline PixelLanes operator+(PixelLanes a, PixelLanes b) {
    return PixelLanes{_mm_add_pd(a.lo, b.lo), _mm_add_pd(a.hi, b.hi)};
}
inline PixelLanes operator-(PixelLanes a, PixelLanes b) {
    return PixelLanes{_mm_sub_pd(a.lo, b.lo), _mm_sub_pd(a.hi, b.hi)};
}
inline PixelLanes operator*(PixelLanes a, PixelLanes b) {
    return PixelLanes{_mm_mul_pd(a.lo, b.lo), _mm_mul_pd(a.hi, b.hi)};
}
inline PixelLanes operator/(PixelLanes a, PixelLanes b) {
    return PixelLanes{_mm_div_pd(a.lo, b.lo), _mm_div_pd(a.hi, b.hi)};
}

// Each lane truncated toward zero to 32 bits and its low byte stored. A lane
// beyond the 32-bit range (or NaN) converts as the x86 conversion does, to
// 0x80000000, whose low byte is 0.
inline void storeLowBytes(PixelLanes v, uint8_t* out) {
    const __m128i words = _mm_unpacklo_epi64(_mm_cvttpd_epi32(v.lo), _mm_cvttpd_epi32(v.hi));
    const __m128i low = _mm_and_si128(words, _mm_set1_epi32(0xFF));
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(low, low), low);
    const int32_t word = _mm_cvtsi128_si32(bytes);
    std::memcpy(out, &word, 4);
}

#else

struct PixelLanes {
    double v[4];
};

inline PixelLanes lanesOf(const uint8_t* pixel) {
    return PixelLanes{{double(pixel[0]), double(pixel[1]), double(pixel[2]), double(pixel[3])}};
}

inline PixelLanes lanesOf(double v) { return PixelLanes{{v, v, v, v}}; }

#define FIELDFX_LANEWISE(op)                                              \
    inline PixelLanes operator op(PixelLanes a, PixelLanes b) {           \
        for (int i = 0; i < 4; ++i) a.v[i] = a.v[i] op b.v[i];            \
        return a;                                                         \
    }
FIELDFX_LANEWISE(+)
FIELDFX_LANEWISE(-)
FIELDFX_LANEWISE(*)
FIELDFX_LANEWISE(/)
#undef FIELDFX_LANEWISE

inline void storeLowBytes(PixelLanes v, uint8_t* out) {
    for (int i = 0; i < 4; ++i) {
        const double d = v.v[i];
        out[i] = d > -2147483649.0 && d < 2147483648.0 ? uint8_t(uint32_t(int32_t(d))) : 0;
    }
}

#endif

inline PixelLanes operator+(PixelLanes a, double b) { return a + lanesOf(b); }
inline PixelLanes operator-(PixelLanes a, double b) { return a - lanesOf(b); }
inline PixelLanes operator*(PixelLanes a, double b) { return a * lanesOf(b); }
inline PixelLanes operator/(PixelLanes a, double b) { return a / lanesOf(b); }

}  // namespace fieldfx

#endif
