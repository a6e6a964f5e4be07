/* Pixel rectangles and the active rectangle of an image, kept inside it. */
#ifndef FIELDFX_HELPERS_PIXEL_RECT_H
#define FIELDFX_HELPERS_PIXEL_RECT_H

#include <algorithm>
#include <cstdint>

#include "fieldfx/operator.h"

namespace fieldfx {

// Columns x0 .. x1 - 1 and rows y0 .. y1 - 1.
struct PixelRect {
    int32_t x0, y0, x1, y1;

    bool empty() const { return x1 <= x0 || y1 <= y0; }
};

inline PixelRect imageRect(const FieldImage* f) {
    return PixelRect{0, 0, std::max<int32_t>(0, f->width), std::max<int32_t>(0, f->height)};
}

// The active rectangle intersected with the image: for a rectangle inside the
// image nothing changes; one reaching outside is cut so that no read or write
// leaves the image; an empty one stays empty.
inline PixelRect activeRect(const FieldImage* f) {
    const PixelRect img = imageRect(f);
    const int32_t ax = f->activeX, ay = f->activeY;
    PixelRect r{std::max(ax, img.x0), std::max(ay, img.y0),
                std::min(ax + int32_t(f->activeWidth), img.x1),
                std::min(ay + int32_t(f->activeHeight), img.y1)};
    if (r.empty()) r.x1 = r.x0, r.y1 = r.y0;
    return r;
}

// How many of `rows` rows of `rowLength` pixels fit in the pixel buffer of
// `image`. Operators lay a scratch image out with the fetched field's row
// length; the host promises one at least as large as the field, and one that
// is smaller is written only as far as its buffer reaches.
inline int32_t rowsHeld(const FieldImage* image, int32_t rowLength, int32_t rows) {
    if (rows <= 0) return 0;
    if (rowLength <= 0) return rows;
    const int64_t capacity = int64_t(std::max<int32_t>(0, image->width)) *
                             int64_t(std::max<int32_t>(0, image->height));
    return int32_t(std::min<int64_t>(rows, capacity / rowLength));
}

}  // namespace fieldfx

#endif
