// One field (or frame) of 4-byte pixels in the operators' memory order:
// opacity, Cb, Cr, luma.
#ifndef FIELDFX_FIELDIO_FIELD_H
#define FIELDFX_FIELDIO_FIELD_H

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace fieldfx::io {

// The largest picture any reader accepts, checked against the size a file
// declares before anything is allocated for it: a frame (or field) of at
// most 2^26 pixels (8192x8192, 256 MiB of 4-byte pixels), as for masks.
inline constexpr uint64_t kMaxPicturePixels = uint64_t(1) << 26;

struct Field {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> pixels;  // width * height * 4 bytes, rows without padding

    Field() = default;
    Field(int32_t w, int32_t h) : width(w), height(h), pixels(std::size_t(w) * h * 4) {}

    uint8_t* row(int32_t y) { return pixels.data() + std::size_t(y) * width * 4; }
    const uint8_t* row(int32_t y) const { return pixels.data() + std::size_t(y) * width * 4; }
    bool sameSize(const Field& o) const { return width == o.width && height == o.height; }
};

// A failed read or write; the message names the file and what is wrong.
class IoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace fieldfx::io

#endif
