// Drunken's kernel: one row of means of the n points around each pixel.
//
//   averageRowRef   the reference, a pixel at a time;
//   averageRowSse2  the columns whose points all lie inside their rows four
//                   pixels at a time in 16-bit SSE2 lanes.
#ifndef FIELDFX_DRUNKEN_KERNELS_H
#define FIELDFX_DRUNKEN_KERNELS_H

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "fieldfx/helpers/lanes/cpu.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace fieldfx::drunken {

constexpr int32_t kMaxSamples = 6;

struct Offset {
    int32_t dx, dy;
};

// The kernel: bytes 1 to 3 of every pixel of a row of `width` pixels at
// `out` become the means of the n points around it, point i read from
// rows[i] at offsets[i].dx; columns inner..innerEnd - 1 have every point
// inside its row. Byte 0 is left as it was.
using AverageRow = void (*)(const uint8_t* const* rows, const Offset* offsets, int32_t n,
                            int32_t width, int32_t inner, int32_t innerEnd, uint8_t* out);

// Bytes 1 to 3 of the pixel at column x: the means of the n points around it;
// points beyond the image read its nearest edge pixel.
inline void averagePixel(const uint8_t* const* rows, const Offset* offsets, int32_t n, int32_t x,
                  int32_t width, uint8_t* out) {
    uint32_t s1 = 0, s2 = 0, s3 = 0;
    for (int32_t i = 0; i < n; ++i) {
        const uint8_t* p = rows[i] + std::clamp(x + offsets[i].dx, 0, width - 1) * 4;
        s1 += p[1];
        s2 += p[2];
        s3 += p[3];
    }
    out[1] = uint8_t(s1 / uint32_t(n));
    out[2] = uint8_t(s2 / uint32_t(n));
    out[3] = uint8_t(s3 / uint32_t(n));
}

inline void averageRowRef(const uint8_t* const* rows, const Offset* offsets, int32_t n,
                          int32_t width, int32_t, int32_t, uint8_t* out) {
    for (int32_t x = 0; x < width; ++x) averagePixel(rows, offsets, n, x, width, out + x * 4);
}

#if defined(__SSE2__)
// ceil(2^16 / n): the high half of s times it is s / n for every sum of up to
// six bytes (s * (n r - 2^16) stays below 2^16 for n = 2..6).
inline uint16_t meanReciprocal(int32_t n) { return uint16_t((65536 + n - 1) / n); }

// averagePixel for four pixels whose points all lie inside their rows
// (`taps[i]` is point i of the first), in 16-bit lanes.
inline void averageFour(const uint8_t* const* taps, int32_t n, __m128i reciprocal, uint8_t* out) {
    const __m128i zero = _mm_setzero_si128();
    __m128i lo = zero, hi = zero;
    for (int32_t i = 0; i < n; ++i) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(taps[i]));
        lo = _mm_add_epi16(lo, _mm_unpacklo_epi8(v, zero));
        hi = _mm_add_epi16(hi, _mm_unpackhi_epi8(v, zero));
    }
    const __m128i means = _mm_packus_epi16(_mm_mulhi_epu16(lo, reciprocal),
                                           _mm_mulhi_epu16(hi, reciprocal));
    auto* at = reinterpret_cast<__m128i*>(out);
    const __m128i opacity = _mm_set1_epi32(0xFF);  // byte 0 of each pixel stays
    _mm_storeu_si128(at, _mm_or_si128(_mm_and_si128(_mm_loadu_si128(at), opacity),
                                      _mm_andnot_si128(opacity, means)));
}

inline void averageRowSse2(const uint8_t* const* rows, const Offset* offsets, int32_t n,
                           int32_t width, int32_t inner, int32_t innerEnd, uint8_t* out) {
    const __m128i reciprocal = _mm_set1_epi16(int16_t(meanReciprocal(n)));
    int32_t x = 0;
    for (; x < inner && x < width; ++x) averagePixel(rows, offsets, n, x, width, out + x * 4);
    for (; x + 4 <= innerEnd; x += 4) {
        const uint8_t* taps[kMaxSamples];
        for (int32_t i = 0; i < n; ++i) taps[i] = rows[i] + (x + offsets[i].dx) * 4;
        averageFour(taps, n, reciprocal, out + x * 4);
    }
    for (; x < width; ++x) averagePixel(rows, offsets, n, x, width, out + x * 4);
}
#endif

inline constexpr Kernels<AverageRow> kAverageRow{
    averageRowRef,
#if defined(__SSE2__)
    averageRowSse2,
#endif
};

}  // namespace fieldfx::drunken

#endif
