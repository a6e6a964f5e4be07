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

#include "fieldfx/helpers/maths/opmath.h"
#include "fieldfx/helpers/pixel/sampler.h"

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

// The columns of each row (of `width`) whose sample's top-left neighbour, as
// the sampler splits the position, lies in columns xMin..xMax and rows
// yMin..yMax. Along a row x never falls (cs > 0) and y only rises or only
// falls with the sign of sn: rounding keeps the order of exact values, and
// truncation keeps it too. Each bound therefore holds on a prefix or a suffix
// of the row, and together they hold on one run. Where a bound ends moves
// little from row to row, so each is searched from the previous row's end,
// by steps doubling away from it, then by bisection.
class BoxColumns {
public:
    BoxColumns(int32_t xMin, int32_t xMax, int32_t yMin, int32_t yMax)
        : xMin_(xMin), xMax_(xMax), yMin_(yMin), yMax_(yMax) {}

    ColumnRun along(const Rotation& rot, const RowTerms& row, int32_t width) {
        // The whole parts of x and y as the sampler splits them.
        const auto ix = [&](int32_t c) {
            const double x = sampleX(rot, row, columnOffset(rot, c));
            return int32_t(fieldfx::detail::keepConvertible(x));
        };
        const auto iy = [&](int32_t c) {
            const double y = sampleY(rot, row, columnOffset(rot, c));
            return int32_t(fieldfx::detail::keepConvertible(y));
        };
        // Where each bound starts to hold, and where it stops (y rises along
        // the row when sn >= 0, and falls otherwise).
        const bool rises = rot.sn >= 0.0;
        const auto xFrom = [&](int32_t c) { return ix(c) >= xMin_; };
        const auto xPast = [&](int32_t c) { return ix(c) > xMax_; };
        const auto yFrom = [&](int32_t c) { return rises ? iy(c) >= yMin_ : iy(c) <= yMax_; };
        const auto yPast = [&](int32_t c) { return rises ? iy(c) > yMax_ : iy(c) < yMin_; };
        ColumnRun run{std::max(first(width, ends_[0], xFrom), first(width, ends_[2], yFrom)),
                      std::min(first(width, ends_[1], xPast), first(width, ends_[3], yPast))};
        if (run.end < run.begin) run.end = run.begin;
        return run;
    }

private:
    // The first column of [0, width] where `holds` does (width if none), for
    // a `holds` that is false and then true along the row, searched from
    // `from`, which is left there for the next row.
    template <typename Holds>
    static int32_t first(int32_t width, int32_t& from, Holds holds) {
        const auto at = [&](int32_t c) { return c >= width || (c >= 0 && holds(c)); };
        int32_t lo, hi = std::clamp(from, 0, width);  // at(lo) false, at(hi) true
        int32_t step = 1;
        if (at(hi)) {
            for (lo = hi - 1; at(lo); lo = hi - step) hi = lo, step *= 2;
        } else {
            for (lo = hi, hi = lo + 1; !at(hi); hi = lo + step) lo = hi, step *= 2;
        }
        lo = std::max(lo, -1);
        hi = std::min(hi, width);
        while (hi - lo > 1) {
            const int32_t mid = lo + (hi - lo) / 2;
            if (at(mid)) hi = mid;
            else lo = mid;
        }
        return from = hi;
    }

    int32_t xMin_, xMax_, yMin_, yMax_;
    int32_t ends_[4] = {0, 0, 0, 0};
};

}  // namespace fieldfx::swivel

#endif
