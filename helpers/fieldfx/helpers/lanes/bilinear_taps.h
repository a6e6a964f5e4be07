/*
 * The clamp-variant bilinear sampler of sampler.h split in two, so that the
 * position arithmetic of many pixels can run four lanes at once:
 *   splitTaps4  - four positions to their taps (the top-left neighbour, the
 *                 steps to the right and lower neighbours, the fractions),
 *                 exactly as withClampedNeighbours derives them;
 *   blendTaps   - one pixel's taps blended exactly as detail::blend does.
 * A pixel sampled through both reads the bytes sampleBilinear gives.
 */
#ifndef FIELDFX_HELPERS_LANES_BILINEAR_TAPS_H
#define FIELDFX_HELPERS_LANES_BILINEAR_TAPS_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fieldfx/helpers/lanes/lanes.h"
#include "fieldfx/helpers/pixel/sampler.h"

namespace fieldfx {

// Where one position reads: pixel index `at` of the source (row * rowLength
// + column), `right` (0 or 1) pixels on to its right neighbour and `down`
// pixels (0 or rowLength) on to its lower one, weighed by fx and fy.
struct BilinearTap {
    int32_t at, right, down;
    double fx, fy;
};

// detail::blend on Lanes: horizontally first, then the vertical step on the
// difference, truncated; a whole position is its top-left pixel.
template <typename Lanes>
inline void blendTaps(const uint8_t* pixels, const BilinearTap& t, uint8_t out[4]) {
    const uint8_t* p00 = pixels + std::size_t(t.at) * 4;
    if (t.fx == 0.0 && t.fy == 0.0) {
        std::memcpy(out, p00, 4);
        return;
    }
    const uint8_t* p01 = p00 + std::size_t(t.down) * 4;
    const Lanes a00 = Lanes::load(p00), a01 = Lanes::load(p01);
    const Lanes top = (Lanes::load(p00 + t.right * 4) - a00) * t.fx + a00;
    const Lanes bottom = (Lanes::load(p01 + t.right * 4) - a01) * t.fx + a01;
    storeLowBytes((bottom - top) * t.fy + top, out);
}

#if defined(FIELDFX_AVX2_LANES)

// detail::keepConvertible on four lanes: NaN and anything below -1e9 reads
// -1e9, anything above 1e9 reads 1e9.
FIELDFX_TARGET("avx2") inline __m256d keepConvertible4(__m256d v) {
    v = _mm256_max_pd(v, _mm256_set1_pd(-1.0e9));    // v > -1e9 ? v : -1e9
    return _mm256_min_pd(v, _mm256_set1_pd(1.0e9));  // v < 1e9 ? v : 1e9
}

// One axis of detail::splitPosition and detail::clampTo: the whole part
// clamped to [lo, hi), the next one clamped, and the fraction (never below 0).
struct AxisTaps4 {
    __m128i first, second;
    __m256d fraction;
};

FIELDFX_TARGET("avx2") inline AxisTaps4 splitAxis4(__m256d v, int32_t lo, int32_t hi) {
    v = keepConvertible4(v);
    const __m128i whole = _mm256_cvttpd_epi32(v);
    __m256d f = _mm256_sub_pd(v, _mm256_cvtepi32_pd(whole));
    // f < 0 only for a negative coordinate: never extrapolate. (A -0 stays -0.)
    f = _mm256_blendv_pd(f, _mm256_setzero_pd(), _mm256_cmp_pd(f, _mm256_setzero_pd(), _CMP_LT_OQ));
    const __m128i low = _mm_set1_epi32(lo), high = _mm_set1_epi32(hi - 1);
    const __m128i next = _mm_add_epi32(whole, _mm_set1_epi32(1));  // |whole| <= 1e9: no overflow
    return AxisTaps4{_mm_min_epi32(_mm_max_epi32(whole, low), high),
                     _mm_min_epi32(_mm_max_epi32(next, low), high), f};
}

// The taps of a run of N positions, one array per quantity, so that four
// positions' taps store as five vectors.
template <int32_t N>
struct BilinearTapRun {
    alignas(64) double fx[N], fy[N];
    alignas(64) int32_t at[N], right[N], down[N];

    BilinearTap operator[](int32_t i) const {
        return BilinearTap{at[i], right[i], down[i], fx[i], fy[i]};
    }
};

// The taps of four positions (x[k], y[k]) in `src` (bounds not empty), into
// entries i .. i + 3 of `run`.
template <int32_t N>
FIELDFX_TARGET("avx2") inline void splitTaps4(const SampleSource& src, __m256d x, __m256d y,
                                                       BilinearTapRun<N>& run, int32_t i) {
    const PixelRect& b = src.bounds;
    const AxisTaps4 cols = splitAxis4(x, b.x0, b.x1), rows = splitAxis4(y, b.y0, b.y1);
    const __m128i rowLength = _mm_set1_epi32(src.rowLength);
    // Indices below 32767 * 32767: int32 holds them.
    const __m128i row0 = _mm_mullo_epi32(rows.first, rowLength);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(run.at + i), _mm_add_epi32(row0, cols.first));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(run.right + i),
                     _mm_sub_epi32(cols.second, cols.first));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(run.down + i),
                     _mm_sub_epi32(_mm_mullo_epi32(rows.second, rowLength), row0));
    _mm256_storeu_pd(run.fx + i, cols.fraction);
    _mm256_storeu_pd(run.fy + i, rows.fraction);
}

#endif

}  // namespace fieldfx

#endif
