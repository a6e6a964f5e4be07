#include "fieldfx/fieldio/png.h"

#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "fieldfx/fieldio/output_file.h"
#include "fieldfx/fieldio/ycbcr.h"
#include "fieldfx/png/png.h"

namespace fieldfx::io {

namespace {

// Two fields of at most 32767 rows each, within the size every reader takes:
// a small file declaring a huge image is refused before it is inflated.
constexpr png::Limits kFrameLimits{32767, 65534, kMaxPicturePixels};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

std::vector<uint8_t> readWhole(const std::string& path) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) throw IoError(path + ": cannot open: " + std::strerror(errno));
    noteInputFile(path);
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    if (std::ferror(file.get())) throw IoError(path + ": read error: " + std::strerror(errno));
    return bytes;
}

// One decoded R'G'B'A row (8 or 16 bits a sample) into row y of `frame`.
void pixelRow(const uint8_t* in, int depth, Field& frame, int32_t y) {
    const double scale = depth == 16 ? 65535.0 : 255.0;
    uint8_t* out = frame.row(y);
    for (int32_t x = 0; x < frame.width; ++x, out += 4) {
        double s[4];
        for (int i = 0; i < 4; ++i, in += depth / 8)
            s[i] = depth == 16 ? double(in[0] << 8 | in[1]) : double(in[0]);
        const uint8_t alpha = depth == 16 ? uint8_t(quantise(s[3] / scale, 255)) : uint8_t(s[3]);
        rgbToPixel(s[0] / scale, s[1] / scale, s[2] / scale, alpha, out);
    }
}

// Row y of a frame as 16-bit big-endian R'G'B'A samples.
void rgbaRow(const Field& frame, int32_t y, uint8_t* out) {
    const uint8_t* in = frame.row(y);
    for (int32_t x = 0; x < frame.width; ++x, in += 4) {
        double rgb[3];
        pixelToRgb(in, rgb);
        const uint16_t s[4] = {quantise(rgb[0], 65535), quantise(rgb[1], 65535),
                               quantise(rgb[2], 65535), uint16_t(in[0] * 257)};
        for (uint16_t v : s) {
            *out++ = uint8_t(v >> 8);
            *out++ = uint8_t(v);
        }
    }
}

void checkWritten(std::FILE* out, bool encoded, const std::string& error,
                  const std::string& path) {
    if (!encoded) throw IoError(path + ": cannot write PNG: " + error);
    if (std::ferror(out)) throw IoError(path + ": write error: " + std::strerror(errno));
}

}  // namespace

Field readPngFrame(const std::string& path) {
    const std::vector<uint8_t> bytes = readWhole(path);
    if (!png::hasSignature(bytes)) throw IoError(path + ": not a PNG file");
    png::Image image;
    std::string error;
    if (!png::decode(bytes, png::Decoded::Rgba, kFrameLimits, image, error))
        throw IoError(path + ": bad PNG: " + error);
    Field frame(static_cast<int32_t>(image.width), static_cast<int32_t>(image.height));
    for (uint32_t y = 0; y < image.height; ++y)
        pixelRow(image.row(y), image.depth, frame, int32_t(y));
    return frame;
}

void writePngFrame(std::FILE* out, const Field& frame, const std::string& path) {
    std::vector<uint8_t> row(std::size_t(frame.width) * 8);
    std::string error;
    const bool encoded = png::encode(out, uint32_t(frame.width), uint32_t(frame.height), 16, 4,
                                     [&](uint32_t y) {
                                         rgbaRow(frame, int32_t(y), row.data());
                                         return row.data();
                                     },
                                     error);
    checkWritten(out, encoded, error, path);
}

void writeGreyPng(std::FILE* out, int32_t width, int32_t height, const uint8_t* bytes,
                  const std::string& path) {
    std::string error;
    const bool encoded = png::encode(out, uint32_t(width), uint32_t(height), 8, 1,
                                     [&](uint32_t y) {
                                         return bytes + std::size_t(y) * std::size_t(width);
                                     },
                                     error);
    checkWritten(out, encoded, error, path);
}

}  // namespace fieldfx::io
