/*
 * Where each output pixel of Swivel reads its input: the field is turned
 * about the centre of the whole image in frame proportions (vertical
 * distances doubled before the turn and halved after it, since a field holds
 * every second line of its frame).
 */
#ifndef FIELDFX_SWIVEL_ROTATION_H
#define FIELDFX_SWIVEL_ROTATION_H

#include <cstdint>

#include "fieldfx/helpers/opmath.h"

namespace fieldfx::swivel {

struct Rotation {
    double angle;   // radians; a positive Angle turns by a negative angle
    double sn, cs;  // its sine and cosine
    double cx, cy;  // centre of the whole image
};

// The part of the position that is the same along an output row.
struct RowTerms {
    double snDy, csDy;  // sn * dy and cs * dy, dy the row's doubled offset
};

struct SamplePoint {
    double x, y;
};

// Angle in tenths of a degree; 3.141592654 as written, multiplied first.
inline Rotation rotationOf(int32_t tenths, int32_t width, int32_t height) {
    const double angle = double(tenths) * (-3.141592654) / 1800.0;
    return Rotation{angle, fieldfx::mathSin(angle), fieldfx::mathCos(angle), double(width) * 0.5,
                    double(height) * 0.5};
}

inline RowTerms rowTerms(const Rotation& rot, int32_t row) {
    const double dy = (double(row) - rot.cy) * 2.0;
    return RowTerms{rot.sn * dy, rot.cs * dy};
}

// x = cs dx - sn dy + cx and y = (sn dx + cs dy) / 2 + cy, in that order.
inline SamplePoint samplePoint(const Rotation& rot, const RowTerms& row, int32_t column) {
    const double dx = double(column) - rot.cx;
    return SamplePoint{rot.cs * dx - row.snDy + rot.cx, (rot.sn * dx + row.csDy) * 0.5 + rot.cy};
}

}  // namespace fieldfx::swivel

#endif
