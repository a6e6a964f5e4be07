/*
 * The mix of a ring pixel of the smudge spot: the blurred and the unblurred
 * picture weighted by the pixel's place across the ring.
 */
#ifndef FIELDFX_SMUDGE_RING_H
#define FIELDFX_SMUDGE_RING_H

#include <cstdint>
#include <cstring>

#include "fieldfx/helpers/lanes/cpu.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace fieldfx::smudge {

// What a pixel of the spot takes, by its weight: the blurred copy whole, the
// picture unchanged, or (any weight in 0 .. 255) the mix of the two.
constexpr float kCopy = -1.0f, kKeep = 256.0f;

// One byte of a ring pixel: the blurred and the unblurred byte mixed by the
// weight `n` of the unblurred one.
inline uint8_t ringValue(uint8_t blurred, uint8_t original, float n) {
    const float o = 255.0f - n;
    return uint8_t(int32_t((float(blurred) * o + float(original) * n) / 255.0f));
}

#if defined(__SSE2__)
// ringValue on the four bytes of a pixel at once: four single-precision lanes
// with the same operations in the same order, truncated; every lane lies in
// 0..255, so packing with saturation keeps it whole.
inline void ringPixel(const uint8_t* blurred, uint8_t* p, float n) {
    const __m128i zero = _mm_setzero_si128();
    auto widen = [&](const uint8_t* bytes) {
        int32_t word;
        std::memcpy(&word, bytes, 4);
        const __m128i v = _mm_unpacklo_epi8(_mm_cvtsi32_si128(word), zero);
        return _mm_cvtepi32_ps(_mm_unpacklo_epi16(v, zero));
    };
    const __m128 mix = _mm_add_ps(_mm_mul_ps(widen(blurred), _mm_set1_ps(255.0f - n)),
                                  _mm_mul_ps(widen(p), _mm_set1_ps(n)));
    const __m128i ints = _mm_cvttps_epi32(_mm_div_ps(mix, _mm_set1_ps(255.0f)));
    const __m128i words = _mm_packs_epi32(ints, ints);
    const int32_t bytes = _mm_cvtsi128_si32(_mm_packus_epi16(words, words));
    std::memcpy(p, &bytes, 4);
}
#else
inline void ringPixel(const uint8_t* blurred, uint8_t* p, float n) {
    for (int k = 0; k < 4; ++k) p[k] = ringValue(blurred[k], p[k], n);
}
#endif

// One pixel of the spot by its weight `n`.
inline void spotPixel(const uint8_t* blurred, uint8_t* p, float n) {
    if (n == kCopy)
        std::memcpy(p, blurred, 4);
    else if (n != kKeep)
        ringPixel(blurred, p, n);
}

#if defined(__x86_64__)

// The eight bytes of two pixels, one a 32-bit lane.
FIELDFX_TARGET("avx2", always_inline) inline __m256i widenPair(const uint8_t* bytes) {
    return _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(bytes)));
}

// spotPixel on two pixels, 8 single-precision lanes: the mix as ringPixel
// computes it, then the lanes of a copied or kept pixel replaced.
FIELDFX_TARGET("avx2", always_inline) inline __m256i spotPair(const uint8_t* blurred, const uint8_t* p, __m256 n) {
    const __m256i b = widenPair(blurred), o = widenPair(p);
    const __m256 blurredShare = _mm256_sub_ps(_mm256_set1_ps(255.0f), n);
    const __m256 mix = _mm256_add_ps(_mm256_mul_ps(_mm256_cvtepi32_ps(b), blurredShare),
                                     _mm256_mul_ps(_mm256_cvtepi32_ps(o), n));
    const __m256i ring = _mm256_cvttps_epi32(_mm256_div_ps(mix, _mm256_set1_ps(255.0f)));
    const __m256i copy = _mm256_castps_si256(_mm256_cmp_ps(n, _mm256_set1_ps(kCopy), _CMP_EQ_OQ));
    const __m256i keep = _mm256_castps_si256(_mm256_cmp_ps(n, _mm256_set1_ps(kKeep), _CMP_EQ_OQ));
    return _mm256_blendv_epi8(_mm256_blendv_epi8(ring, b, copy), o, keep);
}

// spotPixel on the four pixels at `blurred` and `p` with the weights `n`.
// A ring lane lies in 0 .. 255, so packing with saturation keeps it whole.
FIELDFX_TARGET("avx2", always_inline) inline void spotQuad(const uint8_t* blurred, uint8_t* p, __m128 n) {
    const __m256 weights = _mm256_castps128_ps256(n);
    const __m256i first = spotPair(
        blurred, p, _mm256_permutevar8x32_ps(weights, _mm256_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1)));
    const __m256i second = spotPair(
        blurred + 8, p + 8,
        _mm256_permutevar8x32_ps(weights, _mm256_setr_epi32(2, 2, 2, 2, 3, 3, 3, 3)));
    const __m128i words01 =
        _mm_packs_epi32(_mm256_castsi256_si128(first), _mm256_extracti128_si256(first, 1));
    const __m128i words23 =
        _mm_packs_epi32(_mm256_castsi256_si128(second), _mm256_extracti128_si256(second, 1));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_packus_epi16(words01, words23));
}

#endif

}  // namespace fieldfx::smudge

#endif
