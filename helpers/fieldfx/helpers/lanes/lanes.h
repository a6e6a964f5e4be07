/*
 * The four bytes of a pixel as four doubles, computed on together.
 *
 * Operators blend a pixel byte by byte with one double formula per byte. The
 * four computations are independent and identical, so they run side by side:
 * PixelLanes two at a time in SSE2 registers (every x86 build), and on x86-64
 * PixelLanesAvx2 all four in one AVX2 register, chosen at run time. The same
 * operations in the same order on every lane give the same roundings as four
 * scalar passes (no FMA: none is ever written, the AVX2 code is built without
 * it, and -ffp-contract=off keeps the compiler from fusing). A formula written
 * with these operators reads as the scalar one does; code that runs with
 * either type is a template on it, instantiated for AVX2 inside a function
 * marked FIELDFX_TARGET("avx2", flatten).
 */
#ifndef FIELDFX_HELPERS_LANES_LANES_H
#define FIELDFX_HELPERS_LANES_LANES_H

#include <cstdint>
#include <cstring>

#include "fieldfx/helpers/lanes/cpu.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#define FIELDFX_AVX2_LANES 1
#endif

namespace fieldfx {

#if defined(__SSE2__)

struct PixelLanes {
    __m128d lo, hi;  // bytes 0, 1 and bytes 2, 3

    static PixelLanes load(const uint8_t* pixel) {
        int32_t word;
        std::memcpy(&word, pixel, 4);
        const __m128i zero = _mm_setzero_si128();
        const __m128i wide =
            _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(word), zero), zero);
        return PixelLanes{_mm_cvtepi32_pd(wide), _mm_cvtepi32_pd(_mm_srli_si128(wide, 8))};
    }
    static PixelLanes all(double v) { return PixelLanes{_mm_set1_pd(v), _mm_set1_pd(v)}; }
};

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

inline PixelLanes operator+(PixelLanes a, double b) { return a + PixelLanes::all(b); }
inline PixelLanes operator-(PixelLanes a, double b) { return a - PixelLanes::all(b); }
inline PixelLanes operator*(PixelLanes a, double b) { return a * PixelLanes::all(b); }
inline PixelLanes operator/(PixelLanes a, double b) { return a / PixelLanes::all(b); }

#endif

// The same four lanes as plain doubles: the reference kernels compute with
// these on every target, and so does every operator where there is no SSE2.
struct PixelLanesPlain {
    double v[4];

    static PixelLanesPlain load(const uint8_t* p) {
        return PixelLanesPlain{{double(p[0]), double(p[1]), double(p[2]), double(p[3])}};
    }
    static PixelLanesPlain all(double v) { return PixelLanesPlain{{v, v, v, v}}; }
};

#define FIELDFX_LANEWISE(op)                                                     \
    inline PixelLanesPlain operator op(PixelLanesPlain a, PixelLanesPlain b) {   \
        for (int i = 0; i < 4; ++i) a.v[i] = a.v[i] op b.v[i];                   \
        return a;                                                                \
    }                                                                            \
    inline PixelLanesPlain operator op(PixelLanesPlain a, double b) {            \
        return a op PixelLanesPlain::all(b);                                     \
    }
FIELDFX_LANEWISE(+)
FIELDFX_LANEWISE(-)
FIELDFX_LANEWISE(*)
FIELDFX_LANEWISE(/)
#undef FIELDFX_LANEWISE

inline void storeLowBytes(PixelLanesPlain v, uint8_t* out) {
    for (int i = 0; i < 4; ++i) {
        const double d = v.v[i];
        out[i] = d > -2147483649.0 && d < 2147483648.0 ? uint8_t(uint32_t(int32_t(d))) : 0;
    }
}

#if !defined(__SSE2__)
using PixelLanes = PixelLanesPlain;
#endif

#if defined(FIELDFX_AVX2_LANES)

struct PixelLanesAvx2 {
    __m256d v;

    FIELDFX_TARGET("avx2") static PixelLanesAvx2 load(const uint8_t* pixel) {
        int32_t word;
        std::memcpy(&word, pixel, 4);
        return PixelLanesAvx2{_mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(word)))};
    }
    FIELDFX_TARGET("avx2") static PixelLanesAvx2 all(double v) { return PixelLanesAvx2{_mm256_set1_pd(v)}; }
    // A pixel's four bytes b as the doubles 2^52 + b: the bytes placed in the
    // low bits of 2^52's bit pattern instead of converted. The difference of
    // two such lanes is the bytes' difference exactly, and subtracting 2^52
    // gives the byte.
    FIELDFX_TARGET("avx2") static PixelLanesAvx2 loadBiased(const uint8_t* pixel) {
        int32_t word;
        std::memcpy(&word, pixel, 4);
        return PixelLanesAvx2{_mm256_castsi256_pd(_mm256_or_si256(
            _mm256_cvtepu8_epi64(_mm_cvtsi32_si128(word)), _mm256_set1_epi64x(0x4330000000000000)))};
    }
};

FIELDFX_TARGET("avx2") inline PixelLanesAvx2 operator+(PixelLanesAvx2 a, PixelLanesAvx2 b) {
    return PixelLanesAvx2{_mm256_add_pd(a.v, b.v)};
}
FIELDFX_TARGET("avx2") inline PixelLanesAvx2 operator-(PixelLanesAvx2 a, PixelLanesAvx2 b) {
    return PixelLanesAvx2{_mm256_sub_pd(a.v, b.v)};
}
FIELDFX_TARGET("avx2") inline PixelLanesAvx2 operator*(PixelLanesAvx2 a, PixelLanesAvx2 b) {
    return PixelLanesAvx2{_mm256_mul_pd(a.v, b.v)};
}
FIELDFX_TARGET("avx2") inline PixelLanesAvx2 operator/(PixelLanesAvx2 a, PixelLanesAvx2 b) {
    return PixelLanesAvx2{_mm256_div_pd(a.v, b.v)};
}
FIELDFX_TARGET("avx2") inline PixelLanesAvx2 operator+(PixelLanesAvx2 a, double b) {
    return a + PixelLanesAvx2::all(b);
}
FIELDFX_TARGET("avx2") inline PixelLanesAvx2 operator-(PixelLanesAvx2 a, double b) {
    return a - PixelLanesAvx2::all(b);
}
FIELDFX_TARGET("avx2") inline PixelLanesAvx2 operator*(PixelLanesAvx2 a, double b) {
    return a * PixelLanesAvx2::all(b);
}
FIELDFX_TARGET("avx2") inline PixelLanesAvx2 operator/(PixelLanesAvx2 a, double b) {
    return a / PixelLanesAvx2::all(b);
}

// As storeLowBytes of PixelLanes: 0x80000000 for a lane out of range.
FIELDFX_TARGET("avx2") inline void storeLowBytes(PixelLanesAvx2 v, uint8_t* out) {
    const __m128i low = _mm_and_si128(_mm256_cvttpd_epi32(v.v), _mm_set1_epi32(0xFF));
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(low, low), low);
    const int32_t word = _mm_cvtsi128_si32(bytes);
    std::memcpy(out, &word, 4);
}

#endif

}  // namespace fieldfx

#endif
