/*
 * PNG files through libpng, for the pattern library's mask files and the
 * host's frames and contact sheets. libpng reports errors by longjmp; the
 * jump stays inside this library, whose calls answer false with the reason
 * instead. A build without libpng has the same calls, and they answer that
 * PNG is not supported.
 */
#ifndef FIELDFX_SERVICES_PNG_H
#define FIELDFX_SERVICES_PNG_H

#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace fieldfx::png {

// Whether this build reads and writes PNG files (it was built with libpng).
bool supported();

// The bytes start with the PNG signature.
bool hasSignature(std::span<const uint8_t> bytes);

// What decode turns any PNG into: R'G'B'A (grey widened to colour, palette
// and transparency expanded, opaque where there was no alpha) or grey
// (colour turned grey, alpha dropped). Either way lower depths are widened
// to 8 bits and 16 bits stay 16.
enum class Decoded { Rgba, Grey };

struct Image {
    uint32_t width = 0;
    uint32_t height = 0;
    int depth = 0;     // bits a sample: 8, or 16 stored big-endian
    int channels = 0;  // 4 (Rgba) or 1 (Grey)
    std::vector<uint8_t> bytes;  // rows without padding

    std::size_t rowBytes() const { return std::size_t(width) * channels * (depth / 8); }
    const uint8_t* row(uint32_t y) const { return bytes.data() + y * rowBytes(); }
};

// Images past these are refused before their pixels are read.
struct Limits {
    uint32_t maxWidth;
    uint32_t maxHeight;
    uint64_t maxPixels;
};

// Decodes a whole PNG file held in memory. False, with the reason in
// `error`, for a damaged, truncated or too large file.
bool decode(std::span<const uint8_t> file, Decoded as, const Limits& limits, Image& image,
            std::string& error);

// Writes a non-interlaced PNG of `channels` samples a pixel (1 grey, 3
// R'G'B', 4 R'G'B'A) of `depth` bits (8, or 16 big-endian) to `out`.
// row(y) gives row y's bytes, valid until it is asked for the next row, and
// must not throw. Whether `out` took the bytes is left to the caller
// (ferror), as is closing it.
bool encode(std::FILE* out, uint32_t width, uint32_t height, int depth, int channels,
            const std::function<const uint8_t*(uint32_t y)>& row, std::string& error);

}  // namespace fieldfx::png

#endif
