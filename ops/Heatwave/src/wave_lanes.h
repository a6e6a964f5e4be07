/*
 * Four adjacent pixels of the heat wave at once, on processors with AVX2.
 *
 * The scalar path works out one pixel's sample position and blends its four
 * neighbours with the bytes of a pixel as lanes. Here the lanes are four
 * pixels instead: their positions come from four table entries at once, and
 * each of bytes 1-3 is blended for all four pixels in one register. Every
 * lane performs the scalar pixel's operations in the same order (no fused
 * multiply-add), so each byte is the one the scalar path writes. Bytes become
 * doubles by shuffling them into the mantissa of 2^52, which costs less than
 * widening and converting them.
 */
#ifndef FIELDFX_HEATWAVE_WAVE_LANES_H
#define FIELDFX_HEATWAVE_WAVE_LANES_H

#include "fieldfx/helpers/lanes/cpu.h"

#if defined(__x86_64__)
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "wave.h"

namespace fieldfx::heatwave {

namespace quad {


// b[0], b[0], b[1], b[1]: the b-wave values of pixels x .. x + 3.
FIELDFX_TARGET("avx2", always_inline) inline __m256d pairs(const double* b) {
    return _mm256_permute4x64_pd(_mm256_castpd128_pd256(_mm_loadu_pd(b)), 0x50);
}

// The 8 bytes at `p` and at `q` (a pixel and its right neighbour each).
FIELDFX_TARGET("avx2", always_inline) inline __m128 twoPairs(const uint8_t* p, const uint8_t* q) {
    const __m128d low = _mm_castsi128_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
    return _mm_castpd_ps(_mm_loadh_pd(low, reinterpret_cast<const double*>(q)));
}

// Byte C of each pixel on the left (or the right) of the pairs of pixels
// in `pairs`, one a 64-bit lane, as the double 2^52 + byte: the byte shuffled
// into the low mantissa bits of 2^52. Differences of these are the exact
// differences of the bytes, and subtracting 2^52 gives the byte itself.
template <int C, bool Right>
FIELDFX_TARGET("avx2", always_inline) inline __m256d biasedByte(__m256i pairs) {
    constexpr char first = C + (Right ? 4 : 0), z = char(0x80);  // z: a zero byte
    const __m256i pick =
        _mm256_setr_epi8(first, z, z, z, z, z, z, z, first + 8, z, z, z, z, z, z, z,  //
                         first, z, z, z, z, z, z, z, first + 8, z, z, z, z, z, z, z);
    const __m256i exponent = _mm256_set1_epi64x(0x4330000000000000);  // 2^52
    return _mm256_castsi256_pd(_mm256_or_si256(_mm256_shuffle_epi8(pairs, pick), exponent));
}

// Byte C of the four pixels: the blend of colour_blend.h with the integer
// differences, top = d0 fx + a00, bottom = d1 fx + a01 and
// (bottom - top) fy + top, truncated, a 32-bit lane each. `top` and `bottom`
// hold each pixel's pair of neighbours in the row above and below.
template <int C>
FIELDFX_TARGET("avx2", always_inline) inline __m128i blendByte(__m256i top, __m256i bottom, __m256d fx, __m256d fy) {
    const __m256d bias = _mm256_set1_pd(4503599627370496.0);  // 2^52
    const __m256d b00 = biasedByte<C, false>(top), b10 = biasedByte<C, true>(top);
    const __m256d b01 = biasedByte<C, false>(bottom), b11 = biasedByte<C, true>(bottom);
    const __m256d d0 = _mm256_sub_pd(b10, b00), d1 = _mm256_sub_pd(b11, b01);
    const __m256d upper = _mm256_add_pd(_mm256_mul_pd(d0, fx), _mm256_sub_pd(b00, bias));
    const __m256d lower = _mm256_add_pd(_mm256_mul_pd(d1, fx), _mm256_sub_pd(b01, bias));
    const __m256d v = _mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(lower, upper), fy), upper);
    return _mm256_cvttpd_epi32(v);
}

}  // namespace quad

// Pixels x .. x + 3 of row y, x even, whose samples and both their
// neighbours in each direction lie inside the source (so no read is
// clamped): bytes 1-3 of out[0 .. 15] from `src` (rows `rowLength` pixels
// apart). `t` holds the pixels' wave values from index i (the a-wave) and k
// (the b-wave, shared by each pair x, x + 1).
FIELDFX_TARGET("avx2", always_inline) inline void waveQuad(const uint8_t* src, int32_t rowLength,
                                        const WaveTables& t, std::size_t i, std::size_t k,
                                        Amplitudes amp, int32_t x, int32_t y, uint8_t* out) {
    const std::size_t sourceRow = std::size_t(rowLength) * 4;
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
    // 8-byte load, the row below another; the loads of pixels x, x + 1 in
    // the low half of a register, of x + 2, x + 3 in the high half. Pixel
    // offsets stay below 2^30: both coordinates are below 2^15.
    const __m128i offsets = _mm_add_epi32(_mm_mullo_epi32(iy, _mm_set1_epi32(rowLength)), ix);
    const uint64_t first = uint64_t(_mm_cvtsi128_si64(offsets));
    const uint64_t second = uint64_t(_mm_extract_epi64(offsets, 1));
    const uint8_t* const at[4] = {src + (first & 0xFFFFFFFFu) * 4, src + (first >> 32) * 4,
                                  src + (second & 0xFFFFFFFFu) * 4, src + (second >> 32) * 4};
    const __m256i top = _mm256_castps_si256(
        _mm256_set_m128(twoPairs(at[2], at[3]), twoPairs(at[0], at[1])));
    const __m256i bottom =
        _mm256_castps_si256(_mm256_set_m128(twoPairs(at[2] + sourceRow, at[3] + sourceRow),
                                            twoPairs(at[0] + sourceRow, at[1] + sourceRow)));

    // The bytes, saturated to 0..255 as the scalar path's packing does, then
    // moved into place: bytes 1-3 of each pixel, byte 0 zero.
    const __m128i bytes = _mm_packus_epi16(
        _mm_packs_epi32(blendByte<1>(top, bottom, fx, fy), blendByte<2>(top, bottom, fx, fy)),
        _mm_packs_epi32(blendByte<3>(top, bottom, fx, fy), _mm_setzero_si128()));
    const char z = char(0x80);
    const __m128i colour =
        _mm_shuffle_epi8(bytes, _mm_setr_epi8(z, 0, 4, 8, z, 1, 5, 9, z, 2, 6, 10, z, 3, 7, 11));
    // Byte 0 of each pixel stays as it is.
    auto* o = reinterpret_cast<__m128i*>(out);
    const __m128i opacity = _mm_and_si128(_mm_loadu_si128(o), _mm_set1_epi32(0xFF));
    _mm_storeu_si128(o, _mm_or_si128(opacity, colour));
}


}  // namespace fieldfx::heatwave

#endif

#endif
