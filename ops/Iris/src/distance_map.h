/*
 * Iris's arithmetic: the distance map that holds, for every pixel of the full
 * frame, its distance from the centre scaled to 0..255, and the threshold a
 * field compares it with.
 */
#ifndef FIELDFX_IRIS_DISTANCE_MAP_H
#define FIELDFX_IRIS_DISTANCE_MAP_H

#include <algorithm>
#include <cstdint>

#include "fieldfx/helpers/maths/opmath.h"

namespace fieldfx::iris {

// R: one more than the largest horizontal and vertical distances from the
// centre (column cx, frame line cy2) to the edges of a W x H2 frame, combined
// without the pixel aspect, so a little more than the farthest corner's
// distance. Squares are formed in 64 bits: a centre far off the frame would
// overflow 32.
inline int32_t mapRadius(int32_t W, int32_t H2, int32_t cx, int32_t cy2) {
    const int64_t mx = int64_t(std::max(cx, W - cx)) + 1;
    const int64_t my = int64_t(std::max(cy2, H2 - cy2)) + 1;
    return int32_t(mathSqrt(double(mx * mx + my * my)));
}

// Vertical distance of frame line l from the centre line, in frame lines
// scaled by the pixel aspect (divided by 1000 before it is squared).
inline double lineDistance(int32_t l, int32_t cy2, int32_t pa) {
    return double(pa) * (double(l) - double(cy2)) / 1000.0;
}

inline double centreDistance(double lineDist, int32_t x, int32_t cx) {
    const double h = double(x) - double(cx);
    return mathSqrt(lineDist * lineDist + h * h);
}

// The map byte: 0 at the centre growing outward when opening, 255 at the
// centre falling outward when closing. With a pixel aspect above 1000 the
// scaled distance can exceed R; such values are clamped into 0..255 (not
// wrapped to their low 8 bits), so the far corners change last, not early.
inline uint8_t mapValue(double d, int32_t R, bool closing) {
    double v = d * 255.0 / double(R);
    if (closing) v = 255.0 - v;
    if (v < 0.0) return 0;
    if (v >= 255.0) return 255;
    return uint8_t(int32_t(v));
}

// soft: the width of the blended edge, Softness percent of 255.
inline int32_t softLevels(int32_t softness) { return softness * 255 / 100; }

// thr = (soft + 255) x position / duration, the product wrapping as a 32-bit
// value and divided unsigned; kept wider so it compares as the large value it
// is for a position past the span.
inline int64_t threshold(int32_t soft, uint32_t position, uint32_t duration) {
    return int64_t((uint32_t(soft + 255) * position) / duration);
}

// One byte of an edge pixel: wa parts of the outgoing byte, wb = soft - wa
// parts of the incoming one.
inline uint8_t blendEdge(uint8_t a, uint8_t b, int32_t wa, int32_t wb, int32_t soft) {
    return uint8_t((int32_t(a) * wa + int32_t(b) * wb) / soft);
}

// Division by soft (1..255) as a multiplication: with m = 2^32 / soft + 1,
// (x * m) >> 32 is x / soft for every x < 2^16 (the excess x / 2^32 stays
// below 1 / soft), and blendEdge's sums are at most 255 soft.
struct SoftDivisor {
    uint64_t m;
    explicit SoftDivisor(int32_t soft) : m((uint64_t(1) << 32) / uint32_t(soft) + 1) {}
    uint32_t divide(uint32_t x) const { return uint32_t((uint64_t(x) * m) >> 32); }
};

// blendEdge with the division by soft made by `by`.
inline uint8_t blendEdge(uint8_t a, uint8_t b, int32_t wa, int32_t wb, const SoftDivisor& by) {
    return uint8_t(by.divide(uint32_t(int32_t(a) * wa + int32_t(b) * wb)));
}

}  // namespace fieldfx::iris

#endif
