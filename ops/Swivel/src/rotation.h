/*
 * Where each output pixel of Swivel reads its input: the field is turned
 * about the centre of the whole image in frame proportions (vertical
 * distances doubled before the turn and halved after it, since a field holds
 * every second line of its frame).
 */
#ifndef FIELDFX_SWIVEL_ROTATION_H
#define FIELDFX_SWIVEL_ROTATION_H

#include <algorithm>
#include <cstdint>

#include "fieldfx/helpers/opmath.h"
#include "fieldfx/helpers/sampler.h"

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

// x = cs dx - sn dy + cx and y = (sn dx + cs dy) / 2 + cy, in that order, for
// one column's dx or (as lanes) several side by side.
template <typename T>
T sampleX(const Rotation& rot, const RowTerms& row, T dx) {
    return dx * rot.cs - row.snDy + rot.cx;
}
template <typename T>
T sampleY(const Rotation& rot, const RowTerms& row, T dx) {
    return (dx * rot.sn + row.csDy) * 0.5 + rot.cy;
}

inline double columnOffset(const Rotation& rot, int32_t column) { return double(column) - rot.cx; }

inline SamplePoint samplePoint(const Rotation& rot, const RowTerms& row, int32_t column) {
    const double dx = columnOffset(rot, column);
    return SamplePoint{sampleX(rot, row, dx), sampleY(rot, row, dx)};
}

// The columns [begin, end) of a row.
struct ColumnRun {
    int32_t begin, end;
};

// The columns of a row (of `width`) whose sample's top-left neighbour, as the
// sampler splits the position, lies in columns xMin..xMax and rows
// yMin..yMax. Along a row x never falls (cs > 0) and y only rises or only
// falls with the sign of sn: rounding keeps the order of exact values, and
// truncation keeps it too. Each bound therefore holds on a prefix or a suffix
// of the row, found by bisection, and together they hold on one run.
inline ColumnRun columnsWithin(const Rotation& rot, const RowTerms& row, int32_t width,
                               int32_t xMin, int32_t xMax, int32_t yMin, int32_t yMax) {
    // The whole parts of x and y as the sampler splits them.
    const auto ix = [&](int32_t c) {
        return int32_t(fieldfx::detail::keepConvertible(sampleX(rot, row, columnOffset(rot, c))));
    };
    const auto iy = [&](int32_t c) {
        return int32_t(fieldfx::detail::keepConvertible(sampleY(rot, row, columnOffset(rot, c))));
    };
    // The first column where `holds` does (width if none): it holds on a suffix.
    const auto first = [width](auto holds) {
        int32_t lo = 0, hi = width;
        while (lo < hi) {
            const int32_t mid = lo + (hi - lo) / 2;
            if (holds(mid)) hi = mid;
            else lo = mid + 1;
        }
        return lo;
    };
    const bool yRises = rot.sn >= 0.0;
    ColumnRun run{first([&](int32_t c) { return ix(c) >= xMin; }),
                  first([&](int32_t c) { return ix(c) > xMax; })};
    run.begin = std::max(run.begin, yRises ? first([&](int32_t c) { return iy(c) >= yMin; })
                                           : first([&](int32_t c) { return iy(c) <= yMax; }));
    run.end = std::min(run.end, yRises ? first([&](int32_t c) { return iy(c) > yMax; })
                                       : first([&](int32_t c) { return iy(c) < yMin; }));
    if (run.end < run.begin) run.end = run.begin;
    return run;
}

}  // namespace fieldfx::swivel

#endif
