/*
 * The clamp-variant bilinear sampler at four positions at once (AVX2, x86-64).
 *
 * Each pixel is exactly what sampleBilinear of sampler.h gives at its
 * position: the positions are kept convertible, split into whole and
 * fractional parts and the neighbours clamped four lanes at a time; each
 * pixel's four bytes are then blended in one AVX2 register, with the
 * operations of detail::blend in its order. (blend copies p00 at a whole
 * position; the arithmetic gives the same there, since both steps add a zero
 * product.) Call these from a FIELDFX_TARGET("avx2", flatten).
 */
#ifndef FIELDFX_HELPERS_LANES_SAMPLER_LANES_H
#define FIELDFX_HELPERS_LANES_SAMPLER_LANES_H

#include "fieldfx/helpers/lanes/lanes.h"
#include "fieldfx/helpers/pixel/sampler.h"

#if defined(FIELDFX_AVX2_LANES)

namespace fieldfx {


namespace detail {

// The blend of four neighbours at lane i of the fractions, each byte
// truncated to a 32-bit word.
template <int i>
FIELDFX_TARGET("avx2") inline __m128i blendLane(const uint8_t* p00, const uint8_t* p10, const uint8_t* p01,
                                      const uint8_t* p11, __m256d fx, __m256d fy) {
    const __m256d two52 = _mm256_set1_pd(4503599627370496.0);
    // Each neighbour's bytes as 2^52 + byte (PixelLanesAvx2::loadBiased).
    const __m256d b00 = PixelLanesAvx2::loadBiased(p00).v, b01 = PixelLanesAvx2::loadBiased(p01).v;
    const __m256d b10 = PixelLanesAvx2::loadBiased(p10).v, b11 = PixelLanesAvx2::loadBiased(p11).v;
    const __m256d f = _mm256_permute4x64_pd(fx, 0x55 * i);
    const __m256d top = _mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(b10, b00), f), _mm256_sub_pd(b00, two52));
    const __m256d bottom =
        _mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(b11, b01), f), _mm256_sub_pd(b01, two52));
    const __m256d g = _mm256_permute4x64_pd(fy, 0x55 * i);
    return _mm256_cvttpd_epi32(_mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(bottom, top), g), top));
}

// Whole parts and fractions as splitPosition gives them, for positions kept
// convertible: max(0, f) is `f < 0 ? 0 : f`, operand for operand.
FIELDFX_TARGET("avx2") inline __m256d fractionOf(__m256d v, __m128i whole) {
    return _mm256_max_pd(_mm256_setzero_pd(), _mm256_sub_pd(v, _mm256_cvtepi32_pd(whole)));
}

// Four pixels' words stored as 16 bytes. Each blend stays within a rounding
// of its four bytes, so it truncates to a byte, which the saturating packs
// keep as it is.
FIELDFX_TARGET("avx2") inline void storeFour(__m128i w0, __m128i w1, __m128i w2, __m128i w3, uint8_t* out) {
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(w0, w1), _mm_packs_epi32(w2, w3));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
}

}  // namespace detail

// Pixel i of `out` (16 bytes) samples (x[i], y[i]); `src.bounds` must not be
// empty.
FIELDFX_TARGET("avx2") inline void sampleBilinear4(const SampleSource& src, __m256d x, __m256d y,
                                         uint8_t* out) {
    // keepConvertible: max(v, lo) reads lo for NaN, as `!(v >= lo)` does.
    const __m256d lo = _mm256_set1_pd(-1.0e9), hi = _mm256_set1_pd(1.0e9);
    x = _mm256_min_pd(_mm256_max_pd(x, lo), hi);
    y = _mm256_min_pd(_mm256_max_pd(y, lo), hi);
    const __m128i ix = _mm256_cvttpd_epi32(x), iy = _mm256_cvttpd_epi32(y);
    const __m256d fx = detail::fractionOf(x, ix), fy = detail::fractionOf(y, iy);

    const PixelRect& b = src.bounds;
    const __m128i one = _mm_set1_epi32(1);
    const __m128i x0 = _mm_set1_epi32(b.x0), xLast = _mm_set1_epi32(b.x1 - 1);
    const __m128i y0 = _mm_set1_epi32(b.y0), yLast = _mm_set1_epi32(b.y1 - 1);
    const __m128i c0 = _mm_min_epi32(_mm_max_epi32(ix, x0), xLast);
    const __m128i c1 = _mm_min_epi32(_mm_max_epi32(_mm_add_epi32(ix, one), x0), xLast);
    const __m128i r0 = _mm_min_epi32(_mm_max_epi32(iy, y0), yLast);
    const __m128i r1 = _mm_min_epi32(_mm_max_epi32(_mm_add_epi32(iy, one), y0), yLast);
    // Pixel indices: a field's rows and columns are int16, so they fit.
    const __m128i length = _mm_set1_epi32(src.rowLength);
    const __m128i row0 = _mm_mullo_epi32(r0, length), row1 = _mm_mullo_epi32(r1, length);
    alignas(16) int32_t i00[4], i10[4], i01[4], i11[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(i00), _mm_add_epi32(row0, c0));
    _mm_store_si128(reinterpret_cast<__m128i*>(i10), _mm_add_epi32(row0, c1));
    _mm_store_si128(reinterpret_cast<__m128i*>(i01), _mm_add_epi32(row1, c0));
    _mm_store_si128(reinterpret_cast<__m128i*>(i11), _mm_add_epi32(row1, c1));
    const auto at = [p = src.pixels](int32_t index) { return p + std::size_t(index) * 4; };
    detail::storeFour(
        detail::blendLane<0>(at(i00[0]), at(i10[0]), at(i01[0]), at(i11[0]), fx, fy),
        detail::blendLane<1>(at(i00[1]), at(i10[1]), at(i01[1]), at(i11[1]), fx, fy),
        detail::blendLane<2>(at(i00[2]), at(i10[2]), at(i01[2]), at(i11[2]), fx, fy),
        detail::blendLane<3>(at(i00[3]), at(i10[3]), at(i01[3]), at(i11[3]), fx, fy), out);
}

// Pixel i of `out` (16 bytes) samples (x[i], y[i]) whose four neighbours all
// lie inside `src.bounds` (so the positions need no keeping either): no
// clamping, one index a pixel.
FIELDFX_TARGET("avx2") inline void sampleBilinearInside4(const SampleSource& src, __m256d x, __m256d y,
                                               uint8_t* out) {
    const __m128i ix = _mm256_cvttpd_epi32(x), iy = _mm256_cvttpd_epi32(y);
    const __m256d fx = detail::fractionOf(x, ix), fy = detail::fractionOf(y, iy);
    const __m128i index = _mm_add_epi32(_mm_mullo_epi32(iy, _mm_set1_epi32(src.rowLength)), ix);
    const std::size_t below = std::size_t(src.rowLength) * 4;
    const uint8_t* const p[4] = {src.pixels + std::size_t(_mm_extract_epi32(index, 0)) * 4,
                                 src.pixels + std::size_t(_mm_extract_epi32(index, 1)) * 4,
                                 src.pixels + std::size_t(_mm_extract_epi32(index, 2)) * 4,
                                 src.pixels + std::size_t(_mm_extract_epi32(index, 3)) * 4};
    detail::storeFour(
        detail::blendLane<0>(p[0], p[0] + 4, p[0] + below, p[0] + below + 4, fx, fy),
        detail::blendLane<1>(p[1], p[1] + 4, p[1] + below, p[1] + below + 4, fx, fy),
        detail::blendLane<2>(p[2], p[2] + 4, p[2] + below, p[2] + below + 4, fx, fy),
        detail::blendLane<3>(p[3], p[3] + 4, p[3] + below, p[3] + below + 4, fx, fy), out);
}


}  // namespace fieldfx

#endif

#endif
