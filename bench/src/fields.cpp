#include "fields.h"

#include <cstdio>
#include <memory>

namespace fieldfx::bench {

io::Field syntheticField(int32_t width, int32_t height, uint32_t seed) {
    io::Field f(width, height);
    uint32_t noise = seed * 2654435761u + 1u;
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* p = f.row(y);
        for (int32_t x = 0; x < width; ++x, p += 4) {
            noise = noise * 1664525u + 1013904223u;
            const uint32_t checker = ((x >> 4) ^ (y >> 3)) & 1u;
            p[0] = 255;
            p[1] = uint8_t(16 + (x * 7 + seed * 31) % 225);
            p[2] = uint8_t(16 + (y * 5 + seed * 17) % 225);
            p[3] = uint8_t(16 + (x + 2 * y + checker * 64 + (noise >> 27)) % 220);
        }
    }
    return f;
}

std::size_t rawFrameBytes(int32_t width, int32_t height) {
    return std::size_t(width) * std::size_t(height) * 4;
}

void splitRawFrame(const uint8_t* frame, int32_t width, int32_t height, io::Field& top,
                   io::Field& bottom) {
    const std::size_t plane = std::size_t(width) * std::size_t(height);
    const uint8_t* lumaPlane = frame;
    const uint8_t* cbPlane = frame + plane;
    const uint8_t* crPlane = frame + 2 * plane;
    const uint8_t* alphaPlane = frame + 3 * plane;
    top = io::Field(width, (height + 1) / 2);
    bottom = io::Field(width, height / 2);
    for (int32_t line = 0; line < height; ++line) {
        io::Field& field = (line & 1) == 0 ? top : bottom;
        uint8_t* out = field.row(line / 2);
        const std::size_t at = std::size_t(line) * std::size_t(width);
        for (int32_t x = 0; x < width; ++x, out += 4) {
            out[0] = alphaPlane[at + x];
            out[1] = cbPlane[at + x];
            out[2] = crPlane[at + x];
            out[3] = lumaPlane[at + x];
        }
    }
}

std::vector<io::Field> readRawFields(const std::string& path, int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) throw io::IoError(path + ": no frame size");
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) throw io::IoError(path + ": cannot open");
    std::vector<uint8_t> frame(rawFrameBytes(width, height));
    std::vector<io::Field> fields;
    while (std::fread(frame.data(), 1, frame.size(), file.get()) == frame.size()) {
        io::Field top, bottom;
        splitRawFrame(frame.data(), width, height, top, bottom);
        fields.push_back(std::move(top));
        fields.push_back(std::move(bottom));
    }
    if (fields.empty())
        throw io::IoError(path + ": holds no whole " + std::to_string(width) + "x" +
                          std::to_string(height) + " yuva444p frame");
    return fields;
}

}  // namespace fieldfx::bench
