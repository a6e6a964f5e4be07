/*
 * Glide's band arithmetic: the shift vector of each direction and where a
 * band pixel samples the outgoing field.
 */
#ifndef FIELDFX_GLIDE_SHIFT_H
#define FIELDFX_GLIDE_SHIFT_H

#include <cstdint>

#include "fieldfx/helpers/effects/pattern_wipe.h"
#include "fieldfx/helpers/effects/pattern_wipe_lanes.h"

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

// The sample positions of band pixels for paintPatternWipe: the shift
// parts of every band level once a field, so that shiftedCoordinate is two
// single-precision additions, four pixels (columns) or four levels (rows) in
// one register.
struct ShiftPositions {
    int32_t ax, ay;
    // Four entries past the last level, so that levels go four at a time.
    float partX[kMaxBandWidth + 3] = {}, partY[kMaxBandWidth + 3] = {};

    ShiftPositions(Shift shift, int32_t ax, int32_t ay, int32_t S) : ax(ax), ay(ay) {
        for (int32_t k = 0; k < S; ++k) {
            partX[k] = shiftPart(S - k, shift.dx, S);
            partY[k] = shiftPart(S - k, shift.dy, S);
        }
    }

    template <typename Lanes>
    void columns(const int32_t* c, const int32_t* k, Lanes& x) const {
        const FloatQuad part = floatQuadOf(partX[k[0]], partX[k[1]], partX[k[2]], partX[k[3]]);
        x = widen<Lanes>(part + floatQuadOfInts(c) + float(ax));
    }
    template <typename Lanes>
    void rows(int32_t r, int32_t l, Lanes& y) const {
        y = widen<Lanes>(loadFloatQuad(partY + l) + float(r) + float(ay));
    }
};

}  // namespace fieldfx::glide

#endif
