// PNG mask files through libpng.
#include "png_reader.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "checks.h"

#ifdef FIELDFX_HAVE_PNG
#include <png.h>

#include <csetjmp>
#include <vector>
#endif

namespace fieldfx::patterns {

bool looksLikePng(std::span<const uint8_t> bytes) {
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return bytes.size() >= 8 && std::memcmp(bytes.data(), kSignature, 8) == 0;
}

#ifdef FIELDFX_HAVE_PNG

bool pngSupported() { return true; }

namespace {

// Everything that must survive libpng's longjmp on an error lives here, on
// the heap, untouched by the jump.
struct PngInput {
    std::span<const uint8_t> bytes;
    std::size_t at = 0;
    char message[160] = "PNG file is damaged";
    std::vector<uint8_t> pixels;
    std::vector<png_bytep> rows;
};

void readBytes(png_structp png, png_bytep out, png_size_t count) {
    auto* in = static_cast<PngInput*>(png_get_io_ptr(png));
    if (in->bytes.size() - in->at < count) png_error(png, "PNG file is truncated");
    std::memcpy(out, in->bytes.data() + in->at, count);
    in->at += count;
}

[[noreturn]] void onError(png_structp png, png_const_charp text) {
    auto* in = static_cast<PngInput*>(png_get_error_ptr(png));
    std::snprintf(in->message, sizeof in->message, "PNG: %s", text);
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

struct PngReadGuard {
    png_structp png;
    png_infop info;
    ~PngReadGuard() { png_destroy_read_struct(&png, &info, nullptr); }
};

}  // namespace

bool decodePng(std::span<const uint8_t> bytes, GrayImage& image, std::string* error) {
    try {
        auto in = std::make_unique<PngInput>();
        in->bytes = bytes;
        png_structp png =
            png_create_read_struct(PNG_LIBPNG_VER_STRING, in.get(), &onError, &onWarning);
        if (png == nullptr) return fail(error, "out of memory");
        png_infop info = png_create_info_struct(png);
        PngReadGuard guard{png, info};
        if (info == nullptr) return fail(error, "out of memory");
        // Only plain locals below: an error jumps back here past them.
        if (setjmp(png_jmpbuf(png))) return fail(error, in->message);
        png_set_read_fn(png, in.get(), &readBytes);
        png_set_user_limits(png, kMaxSide, kMaxSide);
        png_read_info(png, info);
        const png_uint_32 width = png_get_image_width(png, info);
        const png_uint_32 height = png_get_image_height(png, info);
        const int type = png_get_color_type(png, info);
        if (int64_t(width) * height > kMaxPixels) png_error(png, "image is too large");
        if (type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
        if (type == PNG_COLOR_TYPE_GRAY && png_get_bit_depth(png, info) < 8)
            png_set_expand_gray_1_2_4_to_8(png);
        if (type & PNG_COLOR_MASK_ALPHA) png_set_strip_alpha(png);
        if (type & PNG_COLOR_MASK_COLOR) png_set_rgb_to_gray_fixed(png, 1, -1, -1);
        png_set_interlace_handling(png);
        png_read_update_info(png, info);
        const int depth = png_get_bit_depth(png, info);
        if (png_get_channels(png, info) != 1 || (depth != 8 && depth != 16))
            png_error(png, "unsupported pixel layout");
        const std::size_t rowBytes = png_get_rowbytes(png, info);
        in->pixels.resize(rowBytes * height);
        in->rows.resize(height);
        for (png_uint_32 y = 0; y < height; ++y) in->rows[y] = in->pixels.data() + y * rowBytes;
        png_read_image(png, in->rows.data());
        png_read_end(png, nullptr);

        std::vector<uint16_t> samples(std::size_t(width) * height);
        for (png_uint_32 y = 0; y < height; ++y)
            for (png_uint_32 x = 0; x < width; ++x) {
                const uint8_t* p = in->rows[y] + (depth == 16 ? 2 * x : x);
                samples[std::size_t(y) * width + x] =
                    static_cast<uint16_t>(depth == 16 ? p[0] << 8 | p[1] : p[0]);
            }
        image.width = int(width);
        image.height = int(height);
        image.maxValue = depth == 16 ? 65535 : 255;
        image.samples = std::move(samples);
        return true;
    } catch (const std::bad_alloc&) {
        return fail(error, "out of memory");
    }
}

#else

bool pngSupported() { return false; }

bool decodePng(std::span<const uint8_t>, GrayImage&, std::string* error) {
    return fail(error, "PNG files are not supported by this build (no libpng)");
}

#endif

}  // namespace fieldfx::patterns
