#include "fieldfx/fieldio/frames.h"

#include <cstring>

namespace fieldfx::io {

void splitFrame(const Field& frame, Field& top, Field& bottom) {
    if (frame.height % 2 != 0)
        throw IoError("a frame of odd height (" + std::to_string(frame.height) +
                      " lines) cannot be split into two fields of one size");
    const int32_t h = frame.height / 2;
    if (top.width != frame.width || top.height != h) top = Field(frame.width, h);
    if (bottom.width != frame.width || bottom.height != h) bottom = Field(frame.width, h);
    const std::size_t rowBytes = std::size_t(frame.width) * 4;
    for (int32_t y = 0; y < h; ++y) {
        std::memcpy(top.row(y), frame.row(2 * y), rowBytes);
        std::memcpy(bottom.row(y), frame.row(2 * y + 1), rowBytes);
    }
}

void weaveFields(const Field& top, const Field& bottom, Field& frame) {
    if (!top.sameSize(bottom)) throw IoError("fields of different sizes cannot be woven");
    if (frame.width != top.width || frame.height != 2 * top.height)
        frame = Field(top.width, 2 * top.height);
    const std::size_t rowBytes = std::size_t(top.width) * 4;
    for (int32_t y = 0; y < top.height; ++y) {
        std::memcpy(frame.row(2 * y), top.row(y), rowBytes);
        std::memcpy(frame.row(2 * y + 1), bottom.row(y), rowBytes);
    }
}

}  // namespace fieldfx::io
