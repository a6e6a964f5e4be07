/*
 * The mix of a ring pixel of the smudge spot: the blurred and the unblurred
 * picture weighted by the pixel's place across the ring.
 */
#ifndef FIELDFX_SMUDGE_RING_H
#define FIELDFX_SMUDGE_RING_H

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace fieldfx::smudge {

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

}  // namespace fieldfx::smudge

#endif
