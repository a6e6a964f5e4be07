/*
 * The clamp-variant bilinear sampler at four positions at once (AVX2, x86-64).
 *
 * Each pixel is exactly what sampleBilinear of sampler.h gives at its
 * position: the positions are kept convertible, split into whole and
 * fractional parts and the neighbours clamped four lanes at a time; each
 * pixel is then blended in one PixelLanesAvx2, with the operations of
 * detail::blend in its order. (blend copies p00 at a whole position; the
 * arithmetic gives the same there, since both steps add a zero product.)
 * Call it from a FIELDFX_AVX2_KERNEL.
 */
#ifndef FIELDFX_HELPERS_SAMPLER_AVX2_H
#define FIELDFX_HELPERS_SAMPLER_AVX2_H

#include "fieldfx/helpers/lanes.h"
#include "fieldfx/helpers/sampler.h"

#if defined(FIELDFX_AVX2_LANES)

namespace fieldfx {

// Pixel i of `out` (16 bytes) samples (x[i], y[i]); `src.bounds` must not be
// empty.
__attribute__((target("avx2"))) inline void sampleBilinear4(const SampleSource& src, __m256d x,
                                                             __m256d y, uint8_t* out) {
    // keepConvertible: max(v, lo) reads lo for NaN, as `!(v >= lo)` does.
    const __m256d lo = _mm256_set1_pd(-1.0e9), hi = _mm256_set1_pd(1.0e9);
    x = _mm256_min_pd(_mm256_max_pd(x, lo), hi);
    y = _mm256_min_pd(_mm256_max_pd(y, lo), hi);
    const __m128i ix = _mm256_cvttpd_epi32(x), iy = _mm256_cvttpd_epi32(y);
    // max(0, f) is `f < 0 ? 0 : f`, operand for operand.
    const __m256d zero = _mm256_setzero_pd();
    alignas(32) double fx[4], fy[4];
    _mm256_store_pd(fx, _mm256_max_pd(zero, _mm256_sub_pd(x, _mm256_cvtepi32_pd(ix))));
    _mm256_store_pd(fy, _mm256_max_pd(zero, _mm256_sub_pd(y, _mm256_cvtepi32_pd(iy))));

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

    // Each blend stays within a rounding of its four bytes, so it truncates
    // to a byte, which the saturating packs keep as it is.
    const uint8_t* p = src.pixels;
    __m128i words[4];
    for (int i = 0; i < 4; ++i) {
        const PixelLanesAvx2 a00 = PixelLanesAvx2::load(p + std::size_t(i00[i]) * 4);
        const PixelLanesAvx2 a01 = PixelLanesAvx2::load(p + std::size_t(i01[i]) * 4);
        const PixelLanesAvx2 top =
            (PixelLanesAvx2::load(p + std::size_t(i10[i]) * 4) - a00) * fx[i] + a00;
        const PixelLanesAvx2 bottom =
            (PixelLanesAvx2::load(p + std::size_t(i11[i]) * 4) - a01) * fx[i] + a01;
        words[i] = _mm256_cvttpd_epi32(((bottom - top) * fy[i] + top).v);
    }
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(words[0], words[1]),
                                           _mm_packs_epi32(words[2], words[3]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
}


namespace detail {
struct InsideRows {
    const uint8_t* pixels;
    std::size_t below;  // bytes from a pixel to the one under it

    __attribute__((target("avx2"))) static __m256d biased(const uint8_t* pixel) {
        int32_t word;
        std::memcpy(&word, pixel, 4);
        return _mm256_castsi256_pd(_mm256_or_si256(_mm256_cvtepu8_epi64(_mm_cvtsi32_si128(word)),
                                                   _mm256_set1_epi64x(0x4330000000000000)));
    }

    // Lane i's pixel, its bytes truncated to 32-bit words.
    template <int i>
    __attribute__((target("avx2"))) __m128i blend(__m128i index, __m256d fx, __m256d fy) const {
        const uint8_t* p = pixels + std::size_t(_mm_extract_epi32(index, i)) * 4;
        const __m256d two52 = _mm256_set1_pd(4503599627370496.0);
        const __m256d b00 = biased(p), b10 = biased(p + 4);
        const __m256d b01 = biased(p + below), b11 = biased(p + below + 4);
        const __m256d f = _mm256_permute4x64_pd(fx, 0x55 * i), g = _mm256_permute4x64_pd(fy, 0x55 * i);
        const __m256d a00 = _mm256_sub_pd(b00, two52), a01 = _mm256_sub_pd(b01, two52);
        const __m256d top = _mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(b10, b00), f), a00);
        const __m256d bottom = _mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(b11, b01), f), a01);
        return _mm256_cvttpd_epi32(_mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(bottom, top), g), top));
    }
};
}  // namespace detail

// Pixel i of `out` (16 bytes) samples (x[i], y[i]) whose four neighbours all
// lie inside `src.bounds`: no clamping, one index a pixel. Bytes become doubles
// by the exponent of 2^52: the pattern of 2^52 with a byte in its low bits is
// 2^52 + byte, the difference of two of them is exact, and subtracting 2^52
// gives the byte.
__attribute__((target("avx2"))) inline void sampleBilinearInside4(const SampleSource& src,
                                                                   __m256d x, __m256d y,
                                                                   uint8_t* out) {
    const __m128i ix = _mm256_cvttpd_epi32(x), iy = _mm256_cvttpd_epi32(y);
    const __m256d zero = _mm256_setzero_pd();
    const __m256d fx = _mm256_max_pd(zero, _mm256_sub_pd(x, _mm256_cvtepi32_pd(ix)));
    const __m256d fy = _mm256_max_pd(zero, _mm256_sub_pd(y, _mm256_cvtepi32_pd(iy)));
    const __m128i index = _mm_add_epi32(_mm_mullo_epi32(iy, _mm_set1_epi32(src.rowLength)), ix);
    const detail::InsideRows rows{src.pixels, std::size_t(src.rowLength) * 4};
    const __m128i bytes = _mm_packus_epi16(
        _mm_packs_epi32(rows.blend<0>(index, fx, fy), rows.blend<1>(index, fx, fy)),
        _mm_packs_epi32(rows.blend<2>(index, fx, fy), rows.blend<3>(index, fx, fy)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
}

}  // namespace fieldfx

#endif

#endif
