/*
 * Glide's band arithmetic: the shift vector of each direction and where a
 * band pixel samples the outgoing field.
 */
#ifndef FIELDFX_GLIDE_SHIFT_H
#define FIELDFX_GLIDE_SHIFT_H

#include <cstdint>

#include "fieldfx/helpers/pattern_wipe.h"
#include "fieldfx/helpers/wipe_lanes.h"

namespace fieldfx::glide {

struct Shift {
    int32_t dx, dy;
};

// D = Distance percent of the active height.
inline int32_t shiftLength(int32_t distance, int32_t activeHeight) {
    return (distance * activeHeight) / 100;
}

// The offset at which band pixels read the outgoing field: directions 0..7
// turn clockwise from straight down, the horizontal component twice the
// vertical one. Any other direction does not shift.
inline Shift shiftVector(uint32_t direction, int32_t D) {
    switch (direction) {
        case 0: return {0, D};
        case 1: return {-2 * D, D};
        case 2: return {-2 * D, 0};
        case 3: return {-2 * D, -D};
        case 4: return {0, -D};
        case 5: return {2 * D, -D};
        case 6: return {2 * D, 0};
        case 7: return {2 * D, D};
        default: return {0, 0};
    }
}

// The part (S - k) / S of a shift component, in single precision.
inline float shiftPart(int32_t remaining, int32_t shift, int32_t S) {
    return float(remaining * shift) / float(S);
}

// The sampled coordinate of column (or row) c of the rectangle for a band
// pixel whose change-over has weight S - k left: the part (S - k) / S of the
// shift, added to c and the rectangle's origin, all in single precision.
inline double shiftedCoordinate(int32_t remaining, int32_t shift, int32_t S, int32_t c,
                                int32_t origin) {
    return double(shiftPart(remaining, shift, S) + float(c) + float(origin));
}

// The sample positions of band pixels, four at a time (paintPatternWipe):
// the shift parts of every band level once a field, so that a pixel's
// shiftedCoordinate is two single-precision additions an axis, four pixels
// in one register.
struct ShiftPositions {
    int32_t ax, ay;
    float partX[kMaxBandWidth], partY[kMaxBandWidth];

    ShiftPositions(Shift shift, int32_t ax, int32_t ay, int32_t S) : ax(ax), ay(ay) {
        for (int32_t k = 0; k < S; ++k) {
            partX[k] = shiftPart(S - k, shift.dx, S);
            partY[k] = shiftPart(S - k, shift.dy, S);
        }
    }

    template <typename Lanes>
    void operator()(int32_t r, const int32_t* c, const int32_t* k, Lanes& x, Lanes& y) const {
        auto parts = [&](const float* part) {
            return floatQuadOf(part[k[0]], part[k[1]], part[k[2]], part[k[3]]);
        };
        x = widen<Lanes>(parts(partX) + floatQuadOfInts(c) + float(ax));
        y = widen<Lanes>(parts(partY) + float(r) + float(ay));
    }
};

}  // namespace fieldfx::glide

#endif
