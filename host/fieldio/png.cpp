#include "fieldfx/fieldio/png.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <memory>
#include <vector>

#include "fieldfx/fieldio/ycbcr.h"

namespace fieldfx::io {

namespace {

constexpr uint32_t kMaxFrameSide = 65534;  // two fields of at most 32767 rows

// libpng reports errors by longjmp back to the setjmp in readPngFrame /
// writePngFrame; the message is kept here first.
struct ErrorState {
    char message[200] = "";
};

void onError(png_structp png, png_const_charp message) {
    auto* state = static_cast<ErrorState*>(png_get_error_ptr(png));
    std::snprintf(state->message, sizeof state->message, "%s", message);
    png_longjmp(png, 1);
}
void onWarning(png_structp, png_const_charp) {}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

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

// The decoded rows as a frame. Kept out of line: the function that holds
// libpng's setjmp keeps as few locals as it can.
[[gnu::noinline]] Field toFrame(const std::vector<png_bytep>& rows, uint32_t width,
                                uint32_t height, int depth) {
    Field frame(static_cast<int32_t>(width), static_cast<int32_t>(height));
    for (uint32_t y = 0; y < height; ++y) pixelRow(rows[y], depth, frame, int32_t(y));
    return frame;
}

// Row y of a frame as 16-bit big-endian R'G'B'A samples.
[[gnu::noinline]] void rgbaRow(const Field& frame, int32_t y, uint8_t* out) {
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

}  // namespace

Field readPngFrame(const std::string& path) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) throw IoError(path + ": cannot open: " + std::strerror(errno));
    unsigned char signature[8];
    if (std::fread(signature, 1, 8, file.get()) != 8 || png_sig_cmp(signature, 0, 8) != 0)
        throw IoError(path + ": not a PNG file");

    ErrorState state;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, onError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        throw IoError(path + ": out of memory");
    }
    // Everything that must survive a longjmp is created before setjmp and
    // only reached through pointers afterwards.
    std::vector<uint8_t> bytes;
    std::vector<png_bytep> rows;
    uint32_t width = 0, height = 0;
    int depth = 0;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        throw IoError(path + ": bad PNG: " + state.message);
    }
    png_init_io(png, file.get());
    png_set_sig_bytes(png, 8);
    png_read_info(png, info);
    width = png_get_image_width(png, info);
    height = png_get_image_height(png, info);
    if (width > 32767 || height > kMaxFrameSide) png_error(png, "frame larger than 32767x65534");
    const int colourType = png_get_color_type(png, info);
    png_set_expand(png);  // palette and low-bit grey to 8 bits, tRNS to alpha
    if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    depth = png_get_bit_depth(png, info) == 16 ? 16 : 8;
    png_set_add_alpha(png, depth == 16 ? 0xFFFF : 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const std::size_t rowBytes = png_get_rowbytes(png, info);
    if (rowBytes != std::size_t(width) * 4 * (depth / 8)) png_error(png, "unexpected row layout");
    bytes.resize(rowBytes * height);
    rows.resize(height);
    for (uint32_t y = 0; y < height; ++y) rows[y] = bytes.data() + y * rowBytes;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);

    return toFrame(rows, width, height, depth);
}

void writePngFrame(std::FILE* out, const Field& frame, const std::string& path) {
    ErrorState state;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, onError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        throw IoError(path + ": out of memory");
    }
    std::vector<uint8_t> row(std::size_t(frame.width) * 8);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw IoError(path + ": cannot write PNG: " + state.message);
    }
    png_init_io(png, out);
    png_set_IHDR(png, info, uint32_t(frame.width), uint32_t(frame.height), 16,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int32_t y = 0; y < frame.height; ++y) {
        rgbaRow(frame, y, row.data());
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::ferror(out)) throw IoError(path + ": write error: " + std::strerror(errno));
}

void writeGreyPng(std::FILE* out, int32_t width, int32_t height, const uint8_t* bytes,
                  const std::string& path) {
    ErrorState state;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, onError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        throw IoError(path + ": out of memory");
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw IoError(path + ": cannot write PNG: " + state.message);
    }
    png_init_io(png, out);
    png_set_IHDR(png, info, uint32_t(width), uint32_t(height), 8, PNG_COLOR_TYPE_GRAY,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int32_t y = 0; y < height; ++y)
        png_write_row(png, const_cast<uint8_t*>(bytes) + std::size_t(y) * std::size_t(width));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::ferror(out)) throw IoError(path + ": write error: " + std::strerror(errno));
}

}  // namespace fieldfx::io
