/*
 * Four adjacent pixels of the heat wave at once, on processors with AVX2.
 *
 * The scalar path works out one pixel's sample position and blends its four
 * neighbours with the bytes of a pixel as lanes. Here the lanes are four
 * pixels instead: their positions come from four table entries at once, and
 * each of bytes 1-3 is blended for all four pixels in one register. Every
 * lane performs the scalar pixel's operations in the same order (no fused
 * multiply-add), so each byte is the one the scalar path writes.
 */
#ifndef FIELDFX_HEATWAVE_QUAD_H
#define FIELDFX_HEATWAVE_QUAD_H

#if defined(__x86_64__)
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "wave.h"

namespace fieldfx::heatwave {

namespace quad {

#define FIELDFX_QUAD_AVX2 __attribute__((target("avx2"), always_inline))

// b[0], b[0], b[1], b[1]: the b-wave values of pixels x .. x + 3.
FIELDFX_QUAD_AVX2 inline __m256d pairs(const double* b) {
    return _mm256_permute4x64_pd(_mm256_castpd128_pd256(_mm_loadu_pd(b)), 0x50);
}

// The 8 bytes at `p` and at `q` (a pixel and its right neighbour each).
FIELDFX_QUAD_AVX2 inline __m128 twoPairs(const uint8_t* p, const uint8_t* q) {
    const __m128d low = _mm_castsi128_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
    return _mm_castpd_ps(_mm_loadh_pd(low, reinterpret_cast<const double*>(q)));
}

// Byte `Shift` / 8 of each lane.
template <int Shift>
FIELDFX_QUAD_AVX2 inline __m128i byteOf(__m128i v) {
    return _mm_and_si128(_mm_srli_epi32(v, Shift), _mm_set1_epi32(0xFF));
}

// Byte `Shift` / 8 of the four pixels: the blend of colour_blend.h with the
// integer differences, top = d0 fx + a00, bottom = d1 fx + a01 and
// (bottom - top) fy + top, truncated and saturated to 0..255 as the scalar
// path's packing does; in place in each lane.
template <int Shift>
FIELDFX_QUAD_AVX2 inline __m128i blendByte(__m128i p00, __m128i p10, __m128i p01, __m128i p11,
                                           __m256d fx, __m256d fy) {
    const __m128i a00 = byteOf<Shift>(p00), a01 = byteOf<Shift>(p01);
    const __m256d d0 = _mm256_cvtepi32_pd(_mm_sub_epi32(byteOf<Shift>(p10), a00));
    const __m256d d1 = _mm256_cvtepi32_pd(_mm_sub_epi32(byteOf<Shift>(p11), a01));
    const __m256d top = _mm256_add_pd(_mm256_mul_pd(d0, fx), _mm256_cvtepi32_pd(a00));
    const __m256d bottom = _mm256_add_pd(_mm256_mul_pd(d1, fx), _mm256_cvtepi32_pd(a01));
    const __m256d v = _mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(bottom, top), fy), top);
    const __m128i bytes =
        _mm_min_epi32(_mm_max_epi32(_mm256_cvttpd_epi32(v), _mm_setzero_si128()),
                      _mm_set1_epi32(0xFF));
    return _mm_slli_epi32(bytes, Shift);
}

}  // namespace quad

// Pixels x .. x + 3 of row y, x even, whose samples and both their
// neighbours in each direction lie inside the source (so no read is
// clamped): bytes 1-3 of out[0 .. 15] from `src` (rows `sourceRow` bytes
// apart). `t` holds the pixels' wave values from index i (the a-wave) and k
// (the b-wave, shared by each pair x, x + 1).
FIELDFX_QUAD_AVX2 inline void waveQuad(const uint8_t* src, std::size_t sourceRow,
                                        const WaveTables& t, std::size_t i, std::size_t k,
                                        Amplitudes amp, int32_t x, int32_t y, uint8_t* out) {
    using quad::pairs, quad::twoPairs, quad::blendByte;
    const __m256d xs =
        _mm256_cvtepi32_pd(_mm_add_epi32(_mm_set1_epi32(x), _mm_setr_epi32(0, 1, 2, 3)));
    const __m256d sy = _mm256_add_pd(
        _mm256_mul_pd(_mm256_add_pd(_mm256_loadu_pd(t.cosA + i), pairs(t.sinB + k)),
                      _mm256_set1_pd(amp.y)),
        _mm256_set1_pd(double(y)));
    const __m256d sx = _mm256_add_pd(
        _mm256_mul_pd(_mm256_add_pd(_mm256_loadu_pd(t.sinA + i), pairs(t.cosB + k)),
                      _mm256_set1_pd(amp.x)),
        xs);
    const __m128i ix = _mm256_cvttpd_epi32(sx), iy = _mm256_cvttpd_epi32(sy);
    const __m256d fx = _mm256_sub_pd(sx, _mm256_cvtepi32_pd(ix));
    const __m256d fy = _mm256_sub_pd(sy, _mm256_cvtepi32_pd(iy));

    // Each pixel's top-left neighbour and the one to its right are one
    // 8-byte load, the row below another.
    alignas(16) int32_t cols[4], rows[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(cols), ix);
    _mm_store_si128(reinterpret_cast<__m128i*>(rows), iy);
    const uint8_t* at[4];
    for (int p = 0; p < 4; ++p)
        at[p] = src + std::size_t(rows[p]) * sourceRow + std::size_t(cols[p]) * 4;
    const __m128 top01 = twoPairs(at[0], at[1]), top23 = twoPairs(at[2], at[3]);
    const __m128 bottom01 = twoPairs(at[0] + sourceRow, at[1] + sourceRow);
    const __m128 bottom23 = twoPairs(at[2] + sourceRow, at[3] + sourceRow);
    // Regrouped as one neighbour of the four pixels a register.
    auto left = [](__m128 a, __m128 b) {
        return _mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
    };
    auto right = [](__m128 a, __m128 b) {
        return _mm_castps_si128(_mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)));
    };
    const __m128i p00 = left(top01, top23), p10 = right(top01, top23);
    const __m128i p01 = left(bottom01, bottom23), p11 = right(bottom01, bottom23);

    const __m128i colour =
        _mm_or_si128(_mm_or_si128(blendByte<8>(p00, p10, p01, p11, fx, fy),
                                  blendByte<16>(p00, p10, p01, p11, fx, fy)),
                     blendByte<24>(p00, p10, p01, p11, fx, fy));
    // Byte 0 of each pixel stays as it is.
    auto* o = reinterpret_cast<__m128i*>(out);
    const __m128i opacity = _mm_and_si128(_mm_loadu_si128(o), _mm_set1_epi32(0xFF));
    _mm_storeu_si128(o, _mm_or_si128(opacity, colour));
}

#undef FIELDFX_QUAD_AVX2

}  // namespace fieldfx::heatwave

#endif

#endif
