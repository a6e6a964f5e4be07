#include "fieldfx/fieldio/frames.h"

#include <cstring>

namespace fieldfx::io {

void splitFrame(const Field& frame, Field& top, Field& bottom) {
    if (frame.height % 2 != 0)
        throw IoError("a frame of odd height (" + std::to_string(frame.height) +
                      " lines) cannot be split into two fields of one size");
    const int32_t h = fieldRows(frame.height);
    if (top.width != frame.width || top.height != h) top = Field(frame.width, h);
    if (bottom.width != frame.width || bottom.height != h) bottom = Field(frame.width, h);
    const std::size_t rowBytes = std::size_t(frame.width) * 4;
    Field* fields[2] = {&top, &bottom};
    forEachFieldRow(frame.height, [&](int32_t line, int parity, int32_t row) {
        std::memcpy(fields[parity]->row(row), frame.row(line), rowBytes);
    });
}

void weaveFields(const Field& top, const Field& bottom, Field& frame) {
    if (!top.sameSize(bottom)) throw IoError("fields of different sizes cannot be woven");
    if (frame.width != top.width || frame.height != 2 * top.height)
        frame = Field(top.width, 2 * top.height);
    const std::size_t rowBytes = std::size_t(top.width) * 4;
    const Field* fields[2] = {&top, &bottom};
    forEachFrameLine(frame.height, [&](int32_t line, int parity, int32_t row) {
        std::memcpy(frame.row(line), fields[parity]->row(row), rowBytes);
    });
}

}  // namespace fieldfx::io
