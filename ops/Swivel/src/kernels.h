// Swivel's kernels: columns [begin, end) of a rotated row sampled with the
// clamp sampler, for the columns whose neighbours may lie outside the bounds
// (kClampedColumns) and for those whose neighbours all lie inside
// (kInsideColumns).
//
//   sampleColumns      the reference, a column at a time;
//   sampleColumnsAvx2  four columns' positions in lanes, then a four-position
//                      sampler (lanes/sampler_lanes.h).
#ifndef FIELDFX_SWIVEL_KERNELS_H
#define FIELDFX_SWIVEL_KERNELS_H

#include <cstdint>

#include "fieldfx/helpers/lanes/cpu.h"
#include "fieldfx/helpers/lanes/sampler_lanes.h"
#include "fieldfx/helpers/pixel/sampler.h"
#include "rotation.h"

namespace fieldfx::swivel {

// Columns [begin, end) of a row with the clamp variant's sampler (the
// reference arithmetic, a pixel at a time).
inline void sampleColumns(const Rotation& rot, const RowTerms& row,
                   const SampleSource& source, int32_t begin, int32_t end, uint8_t* out) {
    for (int32_t c = begin; c < end; ++c, out += 4) {
        const SamplePoint p = samplePoint(rot, row, c);
        sampleBilinear(source, p.x, p.y, out);
    }
}

using ColumnSampler = void (*)(const Rotation&, const RowTerms&,
                               const SampleSource&, int32_t, int32_t, uint8_t*);

#if defined(FIELDFX_AVX2_LANES)
// sampleColumns four columns at a time: their positions in lanes by the same
// formula, then a four-position sampler; the last few a column at a time.
template <void (*sample4)(const SampleSource&, __m256d, __m256d, uint8_t*)>
FIELDFX_TARGET("avx2", flatten) inline void sampleColumnsAvx2(const Rotation& rot,
                                           const RowTerms& row,
                                           const SampleSource& source, int32_t begin,
                                           int32_t end, uint8_t* out) {
    // Whole columns and a whole or half centre: every dx, and every step of
    // four, is exact.
    const double first = columnOffset(rot, begin);
    PixelLanesAvx2 dx{_mm256_setr_pd(first, first + 1.0, first + 2.0, first + 3.0)};
    int32_t c = begin;
    for (; end - c >= 4; c += 4, out += 16, dx = dx + 4.0)
        sample4(source, sampleX(rot, row, dx).v, sampleY(rot, row, dx).v, out);
    sampleColumns(rot, row, source, c, end, out);
}
#endif

// The column samplers' versions: the reference samples a column at a time.
inline constexpr Kernels<ColumnSampler> kClampedColumns{
    &sampleColumns, nullptr,
#if defined(FIELDFX_AVX2_LANES)
    &sampleColumnsAvx2<sampleBilinear4>,
#endif
};
inline constexpr Kernels<ColumnSampler> kInsideColumns{
    &sampleColumns, nullptr,
#if defined(FIELDFX_AVX2_LANES)
    &sampleColumnsAvx2<sampleBilinearInside4>,
#endif
};

}  // namespace fieldfx::swivel

#endif
