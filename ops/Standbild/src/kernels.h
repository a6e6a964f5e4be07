// Standbild's kernel: every pixel of the field read at the displaced
// position, row by row, with luma noise.
//
//   shakeRowsRef   the reference blend (colour_blend.h), a byte at a time;
//   shakeRowsAvx2  the four bytes' blend in one AVX2 register.
#ifndef FIELDFX_STANDBILD_KERNELS_H
#define FIELDFX_STANDBILD_KERNELS_H

#include <cstddef>
#include <cstdint>

#include "fieldfx/helpers/lanes/cpu.h"
#include "fieldfx/helpers/pixel/colour_blend.h"
#include "fieldfx/helpers/pixel/random.h"
#include "fieldfx/helpers/pixel/sampler.h"
#include "shake.h"

namespace fieldfx::standbild {

// Where a column (or row) reads: its two neighbours (byte offsets in a row,
// or row numbers) and the weight of the second. The whole picture moves by
// one offset, so the split of c + o.x is the same on every row and is made
// once a field.
struct Tap {
    int32_t first, second;
    double weight;
};

// The clamped neighbour positions and weights of sampleBilinear along one
// axis: `along` 0 for columns, 1 for rows (the other axis is left out).
inline Tap axisTap(const SampleSource& source, double position, int along) {
    int32_t ix, iy;
    double fx, fy;
    const PixelRect& b = source.bounds;
    if (along == 0) {
        detail::splitPosition(position, 0.0, ix, iy, fx, fy);
        return Tap{detail::clampTo(ix, b.x0, b.x1) * 4,
                         detail::clampTo(ix + 1, b.x0, b.x1) * 4, fx};
    }
    detail::splitPosition(0.0, position, ix, iy, fx, fy);
    return Tap{detail::clampTo(iy, b.y0, b.y1),
                     detail::clampTo(iy + 1, b.y0, b.y1), fy};
}

// One field's painting: `rows` rows of `dst` (laid out with the input's row
// length) from `source` displaced by `o`, through the column taps if there
// is heap for them.
struct ShakeJob {
    SampleSource source;
    const Tap* taps;
    uint8_t* dst;
    int32_t rows;
    Offset o;
    bool noisy;
    int32_t amp, divisor;
    OpRandom* random;  // the noise's generator, drawn once a pixel when noisy
};

// Every pixel from the input sampled at the displaced position, row by row,
// blended by `Blend`.
template <typename Blend>
inline __attribute__((always_inline)) void shakeRows(const ShakeJob& j) {
    const int32_t width = j.source.rowLength;
    const std::size_t rowBytes = std::size_t(width) * 4;
    uint8_t* out = j.dst;
    for (int32_t r = 0; r < j.rows; ++r) {
        const Tap rowTap = axisTap(j.source, double(r) + j.o.y, 1);
        const uint8_t* row0 = j.source.pixels + std::size_t(rowTap.first) * rowBytes;
        const uint8_t* row1 = j.source.pixels + std::size_t(rowTap.second) * rowBytes;
        for (int32_t c = 0; c < width; ++c, out += 4) {
            // Byte 0 keeps what the host's new image held.
            if (j.taps != nullptr) {
                const Tap& t = j.taps[c];
                Blend::apply(row0 + t.first, row0 + t.second, row1 + t.first, row1 + t.second,
                             t.weight, rowTap.weight, out);
            } else {
                sampleBilinearColour<Blend>(j.source, double(c) + j.o.x,
                                                     double(r) + j.o.y, out);
            }
            if (j.noisy)
                out[3] = noisyLuma(*j.random, j.amp, j.divisor, out[3]);
        }
    }
}

#if defined(FIELDFX_COLOUR_BLEND_AVX2)
FIELDFX_TARGET("avx2") inline void shakeRowsAvx2(const ShakeJob& j) {
    shakeRows<ColourBlendAvx2>(j);
}
#endif

// The kernel: the shaken rows with the reference blend, or AVX2's.
using ShakeRows = void (*)(const ShakeJob& j);

inline void shakeRowsRef(const ShakeJob& j) { shakeRows<ColourBlend>(j); }

inline constexpr Kernels<ShakeRows> kShakeRows{
    &shakeRowsRef, nullptr,
#if defined(FIELDFX_COLOUR_BLEND_AVX2)
    &shakeRowsAvx2,
#endif
};

}  // namespace fieldfx::standbild

#endif
