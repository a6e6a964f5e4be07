/*
 * Bilinear sampling of 4-byte pixels at fractional positions.
 *
 * One arithmetic for every operator: the four neighbours around (x, y) are
 * blended lane by lane in double precision, horizontally first, then the
 * vertical step on the difference of the two horizontal results, and the
 * result is truncated toward zero. The variants differ only in what a
 * neighbour outside the bounding rectangle reads:
 *   clamp        - the nearest pixel of the rectangle (the active rectangle,
 *                  or the whole image for the image-clamp variant);
 *   border       - a fixed colour.
 * Everything is passed in (no operator-wide state), so the routines are
 * reentrant, and they live in this header so they inline into pixel loops.
 */
#ifndef FIELDFX_HELPERS_PIXEL_SAMPLER_H
#define FIELDFX_HELPERS_PIXEL_SAMPLER_H

#include <algorithm>
#include <cstdint>
#include <cmath>
#include <cstring>

#include "fieldfx/helpers/lanes/lanes.h"
#include "fieldfx/helpers/pixel/rect.h"
#include "fieldfx/operator.h"

namespace fieldfx {

struct SampleSource {
    const uint8_t* pixels;  // first byte of the top row
    int32_t rowLength;      // pixels per row
    PixelRect bounds;       // the rectangle reads stay in (inside the image)
};

// Clamp variant source: reads bounded by the active rectangle. A rectangle
// that is empty once kept inside the image falls back to the whole image, so
// that a clamped read always finds a pixel.
inline SampleSource clampSource(const FieldImage* img) {
    PixelRect r = activeRect(img);
    if (r.empty()) r = imageRect(img);
    return SampleSource{static_cast<const uint8_t*>(img->pixels), img->width, r};
}

// Image-clamp variant source: reads bounded by the whole image.
inline SampleSource imageClampSource(const FieldImage* img) {
    return SampleSource{static_cast<const uint8_t*>(img->pixels), img->width, imageRect(img)};
}

// Border variant source: pixels outside the active rectangle (kept inside the
// image; empty means every neighbour is the border colour) read the border.
inline SampleSource borderSource(const FieldImage* img) {
    return SampleSource{static_cast<const uint8_t*>(img->pixels), img->width, activeRect(img)};
}

namespace detail {

// Positions never leave this range in the operators; keeping them inside it
// makes the integer conversion defined for any input (NaN reads as the low end).
// (Plain comparisons, not fmin/fmax, which compile to library calls.)
inline double keepConvertible(double v) {
    if (!(v >= -1.0e9)) return -1.0e9;
    return v > 1.0e9 ? 1.0e9 : v;
}

inline void splitPosition(double x, double y, int32_t& ix, int32_t& iy, double& fx, double& fy) {
    x = keepConvertible(x);
    y = keepConvertible(y);
    ix = static_cast<int32_t>(x);
    iy = static_cast<int32_t>(y);
    fx = x - ix;
    fy = y - iy;
    if (fx < 0.0) fx = 0.0;  // only for a negative coordinate: never extrapolate
    if (fy < 0.0) fy = 0.0;
}

// Each lane: horizontally first, then the vertical step on the difference of
// the two horizontal results, truncated. (Differences of bytes are exact in
// double, so q - p here is the integer difference converted.)
inline void blend(const uint8_t* p00, const uint8_t* p10, const uint8_t* p01, const uint8_t* p11,
                  double fx, double fy, uint8_t out[4]) {
    // At a whole position both steps add zero: the result is p00 itself.
    if (fx == 0.0 && fy == 0.0) {
        std::memcpy(out, p00, 4);
        return;
    }
    const PixelLanes a00 = PixelLanes::load(p00), a01 = PixelLanes::load(p01);
    const PixelLanes top = (PixelLanes::load(p10) - a00) * fx + a00;
    const PixelLanes bottom = (PixelLanes::load(p11) - a01) * fx + a01;
    storeLowBytes((bottom - top) * fy + top, out);
}

inline int32_t clampTo(int32_t v, int32_t lo, int32_t hiExclusive) {
    if (v < lo) return lo;
    if (v >= hiExclusive) return hiExclusive - 1;
    return v;
}

}  // namespace detail

// The four neighbours of (x, y), clamped to `src.bounds` (which must not be
// empty), handed with the fractions to `blend(p00, p10, p01, p11, fx, fy)`.
template <typename Blend>
[[gnu::always_inline]] inline void withClampedNeighbours(const SampleSource& src, double x, double y, Blend&& blend) {
    int32_t ix, iy;
    double fx, fy;
    detail::splitPosition(x, y, ix, iy, fx, fy);
    const PixelRect& b = src.bounds;
    const int32_t c0 = detail::clampTo(ix, b.x0, b.x1);
    const int32_t c1 = detail::clampTo(ix + 1, b.x0, b.x1);
    const int32_t r0 = detail::clampTo(iy, b.y0, b.y1);
    const int32_t r1 = detail::clampTo(iy + 1, b.y0, b.y1);
    const uint8_t* row0 = src.pixels + std::size_t(r0) * std::size_t(src.rowLength) * 4;
    const uint8_t* row1 = src.pixels + std::size_t(r1) * std::size_t(src.rowLength) * 4;
    blend(row0 + c0 * 4, row0 + c1 * 4, row1 + c0 * 4, row1 + c1 * 4, fx, fy);
}

// Clamp and image-clamp variants. `src.bounds` must not be empty.
inline void sampleBilinear(const SampleSource& src, double x, double y, uint8_t out[4]) {
    withClampedNeighbours(src, x, y,
                          [out](const uint8_t* p00, const uint8_t* p10, const uint8_t* p01,
                                const uint8_t* p11, double fx, double fy) {
                              detail::blend(p00, p10, p01, p11, fx, fy, out);
                          });
}

// Border variant: a neighbour outside `src.bounds` reads `border` (4 bytes in
// memory order).
inline void sampleBilinearBorder(const SampleSource& src, double x, double y,
                                 const uint8_t border[4], uint8_t out[4]) {
    int32_t ix, iy;
    double fx, fy;
    detail::splitPosition(x, y, ix, iy, fx, fy);
    const PixelRect& b = src.bounds;
    auto fetch = [&](int32_t c, int32_t r) -> const uint8_t* {
        if (c < b.x0 || c >= b.x1 || r < b.y0 || r >= b.y1) return border;
        return src.pixels + (std::size_t(r) * std::size_t(src.rowLength) + std::size_t(c)) * 4;
    };
    detail::blend(fetch(ix, iy), fetch(ix + 1, iy), fetch(ix, iy + 1), fetch(ix + 1, iy + 1), fx, fy,
                  out);
}

}  // namespace fieldfx

#endif
