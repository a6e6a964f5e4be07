/*
 * The bilinear blend of sampler.h for bytes 1-3 of a pixel (Cb, Cr, luma),
 * the opacity byte of the output left as it is.
 *
 * The four bytes of a pixel are four independent double computations of the
 * same form, so on x86 they run two lanes to an SSE2 register: the same
 * subtraction, multiplication and addition in the same order as the scalar
 * blend (no fused multiply-add), and a truncating conversion, so every lane
 * rounds exactly as the scalar code does. Elsewhere the scalar blend runs.
 */
#ifndef FIELDFX_HELPERS_PIXEL_COLOUR_BLEND_H
#define FIELDFX_HELPERS_PIXEL_COLOUR_BLEND_H

#include <cstdint>
#include <cstring>

#include "fieldfx/helpers/lanes/cpu.h"
#include "fieldfx/helpers/pixel/sampler.h"

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace fieldfx {

#if defined(__SSE2__)

namespace detail {

inline __m128i widenPixel(const uint8_t* p) {
    int32_t word;
    std::memcpy(&word, p, 4);
    const __m128i zero = _mm_setzero_si128();
    return _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(word), zero), zero);
}

// Lanes 0-1 and 2-3 of four 32-bit integers as doubles.
inline __m128d lowPair(__m128i v) { return _mm_cvtepi32_pd(v); }
inline __m128d highPair(__m128i v) { return _mm_cvtepi32_pd(_mm_shuffle_epi32(v, 0x0E)); }

inline __m128d blendPair(__m128d a00, __m128d d0, __m128d a01, __m128d d1, __m128d fx,
                         __m128d fy) {
    const __m128d top = _mm_add_pd(_mm_mul_pd(d0, fx), a00);
    const __m128d bottom = _mm_add_pd(_mm_mul_pd(d1, fx), a01);
    return _mm_add_pd(_mm_mul_pd(_mm_sub_pd(bottom, top), fy), top);
}

// Lanes 1-3 of the truncated blend into bytes 1-3 of `out`. Every lane lies
// in 0..255, so packing with saturation keeps it whole; byte 0 is the low
// byte of the little-endian word and stays.
inline void storeColour(__m128i ints, uint8_t* out) {
    const __m128i words = _mm_packs_epi32(ints, ints);
    const uint32_t bytes = uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(words, words)));
    uint32_t word;
    std::memcpy(&word, out, 4);
    word = (word & 0xFFu) | (bytes & ~0xFFu);
    std::memcpy(out, &word, 4);
}

}  // namespace detail

// Bytes 1-3 of `out` from detail::blend of the four neighbours.
inline void blendColour(const uint8_t* p00, const uint8_t* p10, const uint8_t* p01,
                        const uint8_t* p11, double fx, double fy, uint8_t* out) {
    const __m128i a00 = detail::widenPixel(p00), a01 = detail::widenPixel(p01);
    // The differences are exact in 32-bit integers, as in the scalar blend.
    const __m128i d0 = _mm_sub_epi32(detail::widenPixel(p10), a00);
    const __m128i d1 = _mm_sub_epi32(detail::widenPixel(p11), a01);
    const __m128d vfx = _mm_set1_pd(fx), vfy = _mm_set1_pd(fy);
    const __m128d lo = detail::blendPair(detail::lowPair(a00), detail::lowPair(d0),
                                         detail::lowPair(a01), detail::lowPair(d1), vfx, vfy);
    const __m128d hi = detail::blendPair(detail::highPair(a00), detail::highPair(d0),
                                         detail::highPair(a01), detail::highPair(d1), vfx, vfy);
    detail::storeColour(_mm_unpacklo_epi64(_mm_cvttpd_epi32(lo), _mm_cvttpd_epi32(hi)), out);
}

#if defined(__x86_64__)
#define FIELDFX_COLOUR_BLEND_AVX2 1

// blendColour with the four lanes in one AVX2 register: the same operations
// in the same order (AVX2 brings no fused multiply-add with it). For CPUs
// that have it (haveAvx2, cpu.h).
FIELDFX_TARGET("avx2") inline void blendColourAvx2(const uint8_t* p00, const uint8_t* p10,
                                                             const uint8_t* p01, const uint8_t* p11,
                                                             double fx, double fy, uint8_t* out) {
    auto widen = [](const uint8_t* p) FIELDFX_TARGET("avx2") {
        int32_t word;
        std::memcpy(&word, p, 4);
        return _mm_cvtepu8_epi32(_mm_cvtsi32_si128(word));
    };
    const __m128i a00 = widen(p00), a01 = widen(p01);
    const __m256d d0 = _mm256_cvtepi32_pd(_mm_sub_epi32(widen(p10), a00));
    const __m256d d1 = _mm256_cvtepi32_pd(_mm_sub_epi32(widen(p11), a01));
    const __m256d vfx = _mm256_set1_pd(fx);
    const __m256d top = _mm256_add_pd(_mm256_mul_pd(d0, vfx), _mm256_cvtepi32_pd(a00));
    const __m256d bottom = _mm256_add_pd(_mm256_mul_pd(d1, vfx), _mm256_cvtepi32_pd(a01));
    const __m256d v =
        _mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(bottom, top), _mm256_set1_pd(fy)), top);
    detail::storeColour(_mm256_cvttpd_epi32(v), out);
}

#endif

#else

inline void blendColour(const uint8_t* p00, const uint8_t* p10, const uint8_t* p01,
                        const uint8_t* p11, double fx, double fy, uint8_t* out) {
    uint8_t v[4];
    detail::blend(p00, p10, p01, p11, fx, fy, v);
    out[1] = v[1];
    out[2] = v[2];
    out[3] = v[3];
}

#endif

// The blends as types, so that a pixel loop can be built once for each: the
// AVX2 one inside a function compiled for AVX2, chosen at run time.
struct ColourBlend {
    static void apply(const uint8_t* p00, const uint8_t* p10, const uint8_t* p01,
                      const uint8_t* p11, double fx, double fy, uint8_t* out) {
        blendColour(p00, p10, p01, p11, fx, fy, out);
    }
};

#if defined(FIELDFX_COLOUR_BLEND_AVX2)
struct ColourBlendAvx2 {
    FIELDFX_TARGET("avx2") static void apply(const uint8_t* p00, const uint8_t* p10,
                                                      const uint8_t* p01, const uint8_t* p11,
                                                      double fx, double fy, uint8_t* out) {
        blendColourAvx2(p00, p10, p01, p11, fx, fy, out);
    }
};
#endif

// sampleBilinear (clamp variants) writing bytes 1-3 of `out` only.
template <typename Blend = ColourBlend>
inline void sampleBilinearColour(const SampleSource& src, double x, double y, uint8_t* out) {
    withClampedNeighbours(src, x, y,
                          [out](const uint8_t* p00, const uint8_t* p10, const uint8_t* p01,
                                const uint8_t* p11, double fx, double fy) {
                              Blend::apply(p00, p10, p01, p11, fx, fy, out);
                          });
}

}  // namespace fieldfx

#endif
