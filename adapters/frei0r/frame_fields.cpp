#include "frame_fields.h"

#include <cstring>

#include "fieldfx/fieldio/frames.h"

namespace fieldfx::frei0r {

FrameFields::FrameFields(int32_t width, int32_t height)
    : width_(width), height_(height), matrix_(io::matrixForHeight(height)) {
    for (int v = 0; v < 256; ++v) unit_[v] = v / 255.0;
}

void FrameFields::split(const uint32_t* rgba, io::Field fields[2]) const {
    const int32_t h = fieldHeight();
    for (int f = 0; f < 2; ++f)
        if (fields[f].width != width_ || fields[f].height != h) fields[f] = io::Field(width_, h);
    const auto* in = reinterpret_cast<const uint8_t*>(rgba);
    io::forEachFieldRow(height_, [&](int32_t line, int parity, int32_t row) {
        uint8_t* out = fields[parity].row(row);
        const uint8_t* px = in + std::size_t(line) * width_ * 4;
        for (int32_t x = 0; x < width_; ++x, px += 4, out += 4)
            io::rgbToPixel(unit_[px[0]], unit_[px[1]], unit_[px[2]], px[3], out, matrix_);
    });
}

void FrameFields::weave(const io::Field fields[2], const Picture* inputs, int count,
                        uint32_t* rgba) const {
    auto* out = reinterpret_cast<uint8_t*>(rgba);
    io::forEachFrameLine(height_, [&](int32_t line, int parity, int32_t row) {
        const uint8_t* px = fields[parity].row(row);
        const std::size_t offset = std::size_t(line) * width_ * 4;
        for (int32_t x = 0; x < width_; ++x, px += 4) {
            const std::size_t at = offset + std::size_t(x) * 4;
            int kept = 0;
            while (kept < count &&
                   std::memcmp(px, inputs[kept].fields[parity].row(row) + x * 4, 4) != 0)
                ++kept;
            if (kept < count) {
                std::memcpy(out + at, reinterpret_cast<const uint8_t*>(inputs[kept].rgba) + at, 4);
                continue;
            }
            double rgb[3];
            io::pixelToRgb(px, rgb, matrix_);
            out[at] = uint8_t(io::quantise(rgb[0], 255));
            out[at + 1] = uint8_t(io::quantise(rgb[1], 255));
            out[at + 2] = uint8_t(io::quantise(rgb[2], 255));
            out[at + 3] = px[0];
        }
    });
}

}  // namespace fieldfx::frei0r
