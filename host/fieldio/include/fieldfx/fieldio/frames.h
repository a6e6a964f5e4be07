// Frames and their two fields: the top field holds frame lines 0, 2, 4, ...,
// the bottom field lines 1, 3, 5, ... (the field the operators flag with
// OPF_ODD_FIELD). Which of the two comes first in time is the field order.
//
// Every split of a frame into fields and weave back (field files, video
// frames, the frei0r plug-ins' R'G'B' frames) walks the lines as below, each
// with its own pixel conversion. Both fields of a frame of H lines have
// (H + 1) / 2 rows. When H is odd the bottom field lacks its last line and
// repeats its own line before it (a field shows only its own instant), and
// the weave drops that row again.
#ifndef FIELDFX_FIELDIO_FRAMES_H
#define FIELDFX_FIELDIO_FRAMES_H

#include <algorithm>
#include <cstdint>

#include "fieldfx/fieldio/field.h"

namespace fieldfx::io {

// Rows of each field of a frame of `frameHeight` lines.
constexpr int32_t fieldRows(int32_t frameHeight) { return (frameHeight + 1) / 2; }

// The last of `lines` lines with parity `parity` (0 even, 1 odd); line 0
// when there is none (one line). Chroma lines of interlaced video follow the
// same rule as frame lines.
constexpr int32_t lastLineOfParity(int32_t lines, int parity) {
    const int32_t last = ((lines - 1 - parity) & 1) != 0 ? lines - 2 : lines - 1;
    return std::max<int32_t>(last, 0);
}

// The frame line that row `row` of the field of parity `parity` is split from.
constexpr int32_t frameLineOf(int32_t frameHeight, int parity, int32_t row) {
    return std::min(2 * row + parity, lastLineOfParity(frameHeight, parity));
}

// Splitting: split(line, parity, row) for every row of both fields, even
// field first, where `line` is the frame line that row is made from.
template <typename Split>
void forEachFieldRow(int32_t frameHeight, Split split) {
    const int32_t rows = fieldRows(frameHeight);
    for (int parity = 0; parity < 2; ++parity)
        for (int32_t row = 0; row < rows; ++row)
            split(frameLineOf(frameHeight, parity, row), parity, row);
}

// Weaving: weave(line, parity, row) for every frame line from the top, where
// row `row` of the field of parity `parity` is the one it is woven from.
template <typename Weave>
void forEachFrameLine(int32_t frameHeight, Weave weave) {
    for (int32_t line = 0; line < frameHeight; ++line) weave(line, line & 1, line / 2);
}

enum class FieldOrder { TopFirst, BottomFirst };

// Field `index` in time of a frame (0 or 1): true when it holds the odd lines.
inline bool holdsOddLines(FieldOrder order, unsigned index) {
    return (index & 1u) == (order == FieldOrder::TopFirst ? 1u : 0u);
}

// The even (odd) lines of `frame`, copied. The frame height must be even
// (field files hold fields of one size that weave into whole frames).
void splitFrame(const Field& frame, Field& top, Field& bottom);
// Interleaves two fields of equal size into a frame of twice their height.
void weaveFields(const Field& top, const Field& bottom, Field& frame);

}  // namespace fieldfx::io

#endif
