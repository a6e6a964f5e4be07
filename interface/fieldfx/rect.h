/* Pixel rectangles and the active rectangle of an image, kept inside it. */
#ifndef FIELDFX_RECT_H
#define FIELDFX_RECT_H

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

}  // namespace fieldfx

#endif
