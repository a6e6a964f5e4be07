#include "fieldfx/png/png.h"

#include <cstring>

#ifdef FIELDFX_HAVE_PNG
#include <png.h>

#include <csetjmp>
#include <memory>
#include <new>
#endif

namespace fieldfx::png {

bool hasSignature(std::span<const uint8_t> bytes) {
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return bytes.size() >= 8 && std::memcmp(bytes.data(), kSignature, 8) == 0;
}

#ifdef FIELDFX_HAVE_PNG

bool supported() { return true; }

namespace {

// libpng's error handler records the message here, then jumps back to the
// setjmp of the call under way. Whatever must survive the jump lives on the
// heap, reached through this record, never in a local the jump passes.
struct State {
    std::span<const uint8_t> input;
    std::size_t at = 0;
    char message[200] = "";
    Image image;
    std::vector<png_bytep> rows;
};

[[noreturn]] void onError(png_structp png, png_const_charp text) {
    auto* state = static_cast<State*>(png_get_error_ptr(png));
    std::snprintf(state->message, sizeof state->message, "%s", text);
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

void readBytes(png_structp png, png_bytep out, png_size_t count) {
    auto* state = static_cast<State*>(png_get_io_ptr(png));
    if (state->input.size() - state->at < count) png_error(png, "PNG file is truncated");
    std::memcpy(out, state->input.data() + state->at, count);
    state->at += count;
}

struct ReadGuard {
    png_structp png;
    png_infop info;
    ~ReadGuard() { png_destroy_read_struct(&png, &info, nullptr); }
};

struct WriteGuard {
    png_structp png;
    png_infop info;
    ~WriteGuard() { png_destroy_write_struct(&png, &info); }
};

bool failed(std::string& error, const char* text) {
    error = text;
    return false;
}

// The transformations that turn any colour type into the decoded layout.
void requestLayout(png_structp png, png_infop info, Decoded as) {
    const int type = png_get_color_type(png, info);
    if (as == Decoded::Rgba) {
        png_set_expand(png);  // palette and low-bit grey to 8 bits, tRNS to alpha
        if (!(type & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(png);
        png_set_add_alpha(png, png_get_bit_depth(png, info) == 16 ? 0xFFFF : 0xFF,
                          PNG_FILLER_AFTER);
    } else {
        if (type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
        if (type == PNG_COLOR_TYPE_GRAY && png_get_bit_depth(png, info) < 8)
            png_set_expand_gray_1_2_4_to_8(png);
        if (type & PNG_COLOR_MASK_ALPHA) png_set_strip_alpha(png);
        if (type & PNG_COLOR_MASK_COLOR) png_set_rgb_to_gray_fixed(png, 1, -1, -1);
    }
    png_set_interlace_handling(png);
}

}  // namespace

bool decode(std::span<const uint8_t> file, Decoded as, const Limits& limits, Image& image,
            std::string& error) {
    try {
        auto state = std::make_unique<State>();
        state->input = file;
        png_structp png =
            png_create_read_struct(PNG_LIBPNG_VER_STRING, state.get(), &onError, &onWarning);
        if (png == nullptr) return failed(error, "out of memory");
        png_infop info = png_create_info_struct(png);
        ReadGuard guard{png, info};
        if (info == nullptr) return failed(error, "out of memory");
        // Nothing below is read after a jump back here but the state record.
        if (setjmp(png_jmpbuf(png))) return failed(error, state->message);
        png_set_read_fn(png, state.get(), &readBytes);
        png_read_info(png, info);
        Image& out = state->image;
        out.width = png_get_image_width(png, info);
        out.height = png_get_image_height(png, info);
        if (out.width > limits.maxWidth || out.height > limits.maxHeight ||
            uint64_t(out.width) * out.height > limits.maxPixels)
            png_error(png, "image is too large");
        requestLayout(png, info, as);
        png_read_update_info(png, info);
        out.depth = png_get_bit_depth(png, info);
        out.channels = png_get_channels(png, info);
        if (out.channels != (as == Decoded::Rgba ? 4 : 1) ||
            (out.depth != 8 && out.depth != 16) ||
            png_get_rowbytes(png, info) != out.rowBytes())
            png_error(png, "unsupported pixel layout");
        out.bytes.resize(out.rowBytes() * out.height);
        state->rows.resize(out.height);
        for (uint32_t y = 0; y < out.height; ++y)
            state->rows[y] = out.bytes.data() + y * out.rowBytes();
        png_read_image(png, state->rows.data());
        png_read_end(png, nullptr);
        image = std::move(out);
        return true;
    } catch (const std::bad_alloc&) {
        return failed(error, "out of memory");
    }
}

bool encode(std::FILE* out, uint32_t width, uint32_t height, int depth, int channels,
            const std::function<const uint8_t*(uint32_t y)>& row, std::string& error) {
    static const int kColourType[5] = {-1, PNG_COLOR_TYPE_GRAY, -1, PNG_COLOR_TYPE_RGB,
                                       PNG_COLOR_TYPE_RGB_ALPHA};
    if (channels < 1 || channels > 4 || kColourType[channels] < 0 || (depth != 8 && depth != 16))
        return failed(error, "unsupported pixel layout");
    try {
        auto state = std::make_unique<State>();
        png_structp png =
            png_create_write_struct(PNG_LIBPNG_VER_STRING, state.get(), &onError, &onWarning);
        if (png == nullptr) return failed(error, "out of memory");
        png_infop info = png_create_info_struct(png);
        WriteGuard guard{png, info};
        if (info == nullptr) return failed(error, "out of memory");
        if (setjmp(png_jmpbuf(png))) return failed(error, state->message);
        png_init_io(png, out);
        png_set_IHDR(png, info, width, height, depth, kColourType[channels], PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (uint32_t y = 0; y < height; ++y) png_write_row(png, row(y));
        png_write_end(png, nullptr);
        return true;
    } catch (const std::bad_alloc&) {
        return failed(error, "out of memory");
    }
}

#else

bool supported() { return false; }

namespace {
const char kUnsupported[] = "PNG files are not supported by this build (no libpng)";
}

bool decode(std::span<const uint8_t>, Decoded, const Limits&, Image&, std::string& error) {
    error = kUnsupported;
    return false;
}

bool encode(std::FILE*, uint32_t, uint32_t, int, int,
            const std::function<const uint8_t*(uint32_t)>&, std::string& error) {
    error = kUnsupported;
    return false;
}

#endif

}  // namespace fieldfx::png
