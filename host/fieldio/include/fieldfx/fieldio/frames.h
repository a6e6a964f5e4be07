// Frames and their two fields: the top field holds frame lines 0, 2, 4, ...,
// the bottom field lines 1, 3, 5, ... (the field the operators flag with
// OPF_ODD_FIELD). Which of the two comes first in time is the field order.
#ifndef FIELDFX_FIELDIO_FRAMES_H
#define FIELDFX_FIELDIO_FRAMES_H

#include "fieldfx/fieldio/field.h"

namespace fieldfx::io {

enum class FieldOrder { TopFirst, BottomFirst };

// Field `index` in time of a frame (0 or 1): true when it holds the odd lines.
inline bool holdsOddLines(FieldOrder order, unsigned index) {
    return (index & 1u) == (order == FieldOrder::TopFirst ? 1u : 0u);
}

// The even (odd) lines of `frame`. The frame height must be even.
void splitFrame(const Field& frame, Field& top, Field& bottom);
// Interleaves two fields of equal size into a frame of twice their height.
void weaveFields(const Field& top, const Field& bottom, Field& frame);

}  // namespace fieldfx::io

#endif
