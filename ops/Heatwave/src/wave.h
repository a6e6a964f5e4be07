/*
 * The heat-wave geometry: which rectangle shimmers, and where each of its
 * pixels samples the input. The displacement is the sum of two sine waves
 * that run diagonally across the picture and advance once a frame.
 */
#ifndef FIELDFX_HEATWAVE_WAVE_H
#define FIELDFX_HEATWAVE_WAVE_H

#include <cstddef>
#include <cstdint>

#include "fieldfx/helpers/contract/message.h"
#include "fieldfx/helpers/maths/opmath.h"
#include "fieldfx/operator.h"

namespace fieldfx::heatwave {

// The field count halved: fields 2k and 2k + 1 share one phase.
inline uint32_t wavePhase(uint32_t position) { return position >> 1; }

// Periods of the first wave across the picture width, as an angle factor.
inline double waveFrequency(int32_t frequency) { return double(frequency) * 2.0 * 3.141592654; }

struct Amplitudes {
    double x;  // pixels a wave
    double y;  // rows a wave
};

// Horizontal / 50 pixels and Vertical / 100 rows, scaled by the message's
// size ratio under OPF_SCALE (a zero denominator means no scaling).
inline Amplitudes waveAmplitudes(int32_t horizontal, int32_t vertical, const OperatorMessage* msg) {
    Amplitudes amp{horizontal / 50.0, vertical / 100.0};
    if (fieldfx::scalesSizes(msg)) {
        const double num = msg->scaleNum, den = msg->scaleDen;
        amp.y = num * amp.y / den;
        amp.x = num * amp.x / den;
    }
    return amp;
}

// Columns x0 .. x0 + cols - 1 of rows y0 .. y0 + rows - 1; nothing when cols
// or rows is not positive.
struct WaveRect {
    int32_t x0, y0, cols, rows;

    bool empty() const { return cols <= 0 || rows <= 0; }
};

// The Area marker placed in the image: its corner relative to the active
// rectangle, moved to 0 (keeping its size) when it lies left of or above the
// image, and the area cut at the image's right and bottom edges. The result
// is bounded by the image, not by the active rectangle; a non-empty one lies
// wholly inside the image.
inline WaveRect waveRect(const FieldImage* src, const PositionDescriptor& area) {
    const int32_t width = src->width, height = src->height;
    WaveRect r{int32_t(src->activeX) + area.posX, int32_t(src->activeY) + area.posY,
               area.areaWidth, area.areaHeight};
    if (r.x0 < 0) r.x0 = 0;
    if (r.y0 < 0) r.y0 = 0;
    if (r.x0 + r.cols > width) r.cols = width - r.x0;
    if (r.y0 + r.rows > height) r.rows = height - r.y0;
    return r;
}

// One pixel's wave angles (a, b) and its sample position (sx, sy). `phase`
// plus the coordinates cannot wrap: phase < 2^31 and x, y < 2^15.
struct WaveSample {
    double a, b, sx, sy;
};

inline WaveSample waveSample(uint32_t phase, int32_t x, int32_t y, double freq, Amplitudes amp,
                             int32_t width, int32_t height) {
    WaveSample s;
    s.a = double(phase + uint32_t(x) + uint32_t(y)) * freq / double(width);
    s.b = double(uint32_t(x / 2) + phase + uint32_t(y)) * freq / double(2 * height);
    s.sy = (fieldfx::mathCos(s.a) + fieldfx::mathSin(s.b)) * amp.y + double(y);
    s.sx = (fieldfx::mathSin(s.a) + fieldfx::mathCos(s.b)) * amp.x + double(x);
    return s;
}

// A field's wave values by the integer each angle is a multiple of: angle a
// of pixel (x, y) is (phase + x + y) freq / W, angle b is (x / 2 + phase + y)
// freq / 2H, so the rectangle needs cols + rows - 1 values of a wave and about
// half as many of b, not four sines and cosines a pixel. The same argument
// gives the same sine, so a pixel reads exactly what waveSample computes.
struct WaveTables {
    double* cosA;  // by (x - x0) + (y - y0)
    double* sinA;
    double* sinB;  // by (x / 2 - x0 / 2) + (y - y0)
    double* cosB;
};

// The integers the angles of a rectangle's pixels are multiples of: a wave
// needs `count` of them from `first` on.
struct WaveSpan {
    uint32_t first;
    std::size_t count;
};

inline WaveSpan waveSpanA(uint32_t phase, const WaveRect& r) {
    return {phase + uint32_t(r.x0) + uint32_t(r.y0), std::size_t(r.cols + r.rows - 1)};
}
inline WaveSpan waveSpanB(uint32_t phase, const WaveRect& r) {
    return {uint32_t(r.x0 / 2) + phase + uint32_t(r.y0),
            std::size_t((r.x0 + r.cols - 1) / 2 - r.x0 / 2 + r.rows)};
}

// cos and sin of n freq / divisor for the n of `span`, the angles of
// waveSample with divisor W (wave a) or 2H (wave b).
inline void fillWave(double* cosOut, double* sinOut, WaveSpan span, double freq, double divisor) {
    for (std::size_t i = 0; i < span.count; ++i) {
        const double angle = double(span.first + uint32_t(i)) * freq / divisor;
        cosOut[i] = fieldfx::mathCos(angle);
        sinOut[i] = fieldfx::mathSin(angle);
    }
}

}  // namespace fieldfx::heatwave

#endif
