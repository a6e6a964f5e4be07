// Widescreen's kernel: two rows blended byte by byte.
//
//   blendRowsRef   the reference, a byte at a time;
//   blendRowsSse2  sixteen bytes at a time in SSE2 lanes.
#ifndef FIELDFX_WIDESCREEN_KERNELS_H
#define FIELDFX_WIDESCREEN_KERNELS_H

#include <cstddef>
#include <cstdint>

#include "fieldfx/helpers/lanes/cpu.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace fieldfx::widescreen {

using BlendRows = void (*)(const uint8_t* row0, const uint8_t* row1, float frac, uint8_t* out,
                           std::size_t bytes);

// Bytes from..bytes - 1 of the row: row i weighted by 1 - frac, row i + 1 by
// frac, in single precision, truncated.
inline void blendBytes(const uint8_t* row0, const uint8_t* row1, float frac, uint8_t* out,
                       std::size_t from, std::size_t bytes) {
    const float inv = 1.0f - frac;
    for (std::size_t b = from; b < bytes; ++b)
        out[b] = uint8_t(int32_t(float(row1[b]) * frac + float(row0[b]) * inv));
}

inline void blendRowsRef(const uint8_t* row0, const uint8_t* row1, float frac, uint8_t* out,
                         std::size_t bytes) {
    blendBytes(row0, row1, frac, out, 0, bytes);
}

#if defined(__SSE2__)
inline void blendRowsSse2(const uint8_t* row0, const uint8_t* row1, float frac, uint8_t* out,
                          std::size_t bytes) {
    const float inv = 1.0f - frac;
    std::size_t b = 0;
    // Sixteen bytes at a time, four single-precision lanes a register: the
    // same products and sum, truncated; every lane lies in 0..255, so packing
    // with saturation keeps it whole.
    const __m128 vfrac = _mm_set1_ps(frac), vinv = _mm_set1_ps(inv);
    const __m128i zero = _mm_setzero_si128();
    auto mix = [&](__m128i words0, __m128i words1, bool high) {
        const __m128i a =
            high ? _mm_unpackhi_epi16(words0, zero) : _mm_unpacklo_epi16(words0, zero);
        const __m128i c =
            high ? _mm_unpackhi_epi16(words1, zero) : _mm_unpacklo_epi16(words1, zero);
        return _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(c), vfrac),
                                           _mm_mul_ps(_mm_cvtepi32_ps(a), vinv)));
    };
    for (; b + 16 <= bytes; b += 16) {
        const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row0 + b));
        const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row1 + b));
        const __m128i lo0 = _mm_unpacklo_epi8(v0, zero), lo1 = _mm_unpacklo_epi8(v1, zero);
        const __m128i hi0 = _mm_unpackhi_epi8(v0, zero), hi1 = _mm_unpackhi_epi8(v1, zero);
        const __m128i lo = _mm_packs_epi32(mix(lo0, lo1, false), mix(lo0, lo1, true));
        const __m128i hi = _mm_packs_epi32(mix(hi0, hi1, false), mix(hi0, hi1, true));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + b), _mm_packus_epi16(lo, hi));
    }
    blendBytes(row0, row1, frac, out, b, bytes);
}
#endif

inline constexpr Kernels<BlendRows> kBlendRows{
    blendRowsRef,
#if defined(__SSE2__)
    blendRowsSse2,
#endif
};

}  // namespace fieldfx::widescreen

#endif
