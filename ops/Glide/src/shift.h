/*
 * Glide's band arithmetic: the shift vector of each direction and where a
 * band pixel samples the outgoing field.
 */
#ifndef FIELDFX_GLIDE_SHIFT_H
#define FIELDFX_GLIDE_SHIFT_H

#include <cstdint>

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

// The sampled coordinate of column (or row) c of the rectangle for a band
// pixel whose change-over has weight S - k left: the part (S - k) / S of the
// shift, added to c and the rectangle's origin, all in single precision.
inline double shiftedCoordinate(int32_t remaining, int32_t shift, int32_t S, int32_t c,
                                int32_t origin) {
    return double(float(remaining * shift) / float(S) + float(c) + float(origin));
}

}  // namespace fieldfx::glide

#endif
