// Heatwave's kernel: the rectangle's rows, each pixel sampled at its wave
// position.
//
//   waveRowsRef   the reference, a pixel at a time;
//   waveRowsAvx2  runs of four pixels whose samples need no clamping at
//                 once (wave_lanes.h), from the kept wave tables.
#ifndef FIELDFX_HEATWAVE_KERNELS_H
#define FIELDFX_HEATWAVE_KERNELS_H

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "fieldfx/helpers/lanes/cpu.h"
#include "fieldfx/helpers/pixel/colour_blend.h"
#include "fieldfx/helpers/pixel/sampler.h"
#include "wave.h"
#include "wave_lanes.h"

namespace fieldfx::heatwave {

// One field's painting: the rectangle of `dst` (laid out with the input's
// row length) from samples of the input.
struct WaveJob {
    SampleSource source;
    uint8_t* dst;
    int32_t width, height;
    WaveRect rect;
    uint32_t phase;
    double freq;
    Amplitudes amp;
    const WaveTables* tables;  // null: each pixel works out its angles
};

// Where a sample and both its neighbours each way stay inside the source
// bounds, so that the sampler's range checks and clamps change nothing. A
// sample lies at most 2 |amplitude| from its pixel.
struct InnerArea {
    int32_t x0, x1, y0, y1;  // pixels x0 .. x1 - 1 of rows y0 .. y1 - 1

    InnerArea(const WaveJob& j) {
        const PixelRect& b = j.source.bounds;
        const int32_t reachX = int32_t(2.0 * std::fabs(j.amp.x)) + 2;
        const int32_t reachY = int32_t(2.0 * std::fabs(j.amp.y)) + 2;
        x0 = b.x0 + reachX;
        x1 = b.x1 - reachX - 1;
        y0 = b.y0 + reachY;
        y1 = b.y1 - reachY - 1;
    }
};

// Pixel (x, y) of the rectangle sampled at its wave position, blended by
// `Blend`: the reference arithmetic.
template <typename Blend>
inline __attribute__((always_inline)) void wavePixel(const WaveJob& j, const InnerArea& inner,
                                                     int32_t x, int32_t y, uint8_t* out) {
    const WaveRect& rect = j.rect;
    const WaveTables* t = j.tables;
    double sx, sy;
    if (t != nullptr) {
        // waveSample's sums, with the sines and cosines looked up.
        const int32_t dy = y - rect.y0;
        const int32_t i = x - rect.x0 + dy, k = x / 2 - rect.x0 / 2 + dy;
        sy = (t->cosA[i] + t->sinB[k]) * j.amp.y + double(y);
        sx = (t->sinA[i] + t->cosB[k]) * j.amp.x + double(x);
    } else {
        const WaveSample s =
            waveSample(j.phase, x, y, j.freq, j.amp, j.width, j.height);
        sx = s.sx;
        sy = s.sy;
    }
    // Byte 0, the opacity, stays as copied from the input.
    if (y >= inner.y0 && y < inner.y1 && x >= inner.x0 && x < inner.x1) {
        const std::size_t sourceRow = std::size_t(j.source.rowLength) * 4;
        const int32_t ix = int32_t(sx), iy = int32_t(sy);
        const uint8_t* p = j.source.pixels + std::size_t(iy) * sourceRow + ix * 4;
        Blend::apply(p, p + 4, p + sourceRow, p + sourceRow + 4, sx - ix, sy - iy, out);
    } else {
        sampleBilinearColour<Blend>(j.source, sx, sy, out);
    }
}

inline uint8_t* rowStart(const WaveJob& j, int32_t y) {
    return j.dst + (std::size_t(y) * std::size_t(j.width) + std::size_t(j.rect.x0)) * 4;
}

// Each pixel of the rectangle, one at a time.
template <typename Blend>
inline __attribute__((always_inline)) void waveRows(const WaveJob& j) {
    const InnerArea inner(j);
    const WaveRect& rect = j.rect;
    for (int32_t y = rect.y0; y < rect.y0 + rect.rows; ++y) {
        uint8_t* out = rowStart(j, y);
        for (int32_t x = rect.x0; x < rect.x0 + rect.cols; ++x, out += 4)
            wavePixel<Blend>(j, inner, x, y, out);
    }
}

#if defined(FIELDFX_COLOUR_BLEND_AVX2)
// As waveRows, with runs of four unclamped pixels from an even column on
// taken together.
FIELDFX_TARGET("avx2") inline void waveRowsAvx2(const WaveJob& j) {
    using Blend = ColourBlendAvx2;
    const InnerArea inner(j);
    const WaveRect& rect = j.rect;
    const int32_t end = rect.x0 + rect.cols;
    const int32_t unclamped = std::max(rect.x0, inner.x0);
    const int32_t quadFirst = unclamped + (unclamped & 1);  // even: pairs share a b-wave value
    const int32_t quadEnd = std::min(end, inner.x1);
    for (int32_t y = rect.y0; y < rect.y0 + rect.rows; ++y) {
        uint8_t* out = rowStart(j, y);
        int32_t x = rect.x0;
        if (j.tables != nullptr && y >= inner.y0 && y < inner.y1) {
            for (; x < std::min(quadFirst, end); ++x, out += 4)
                wavePixel<Blend>(j, inner, x, y, out);
            const int32_t dy = y - rect.y0;
            for (; x + 4 <= quadEnd; x += 4, out += 16)
                waveQuad(j.source.pixels, j.source.rowLength, *j.tables,
                                            std::size_t(x - rect.x0 + dy),
                                            std::size_t(x / 2 - rect.x0 / 2 + dy), j.amp, x, y,
                                            out);
        }
        for (; x < end; ++x, out += 4) wavePixel<Blend>(j, inner, x, y, out);
    }
}
#endif

// The kernel: the rectangle's rows, each pixel in turn (the reference), or
// with AVX2 four pixels at once where their samples need no clamping.
using WaveRows = void (*)(const WaveJob& j);

inline void waveRowsRef(const WaveJob& j) { waveRows<ColourBlend>(j); }

inline constexpr Kernels<WaveRows> kWaveRows{
    &waveRowsRef, nullptr,
#if defined(FIELDFX_COLOUR_BLEND_AVX2)
    &waveRowsAvx2,
#endif
};

}  // namespace fieldfx::heatwave

#endif
