// Contact sheets as 8-bit R'G'B' PNG files through libpng.
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <vector>

#include "fieldfx/fieldio/output_file.h"
#include "fieldfx/video/sheet.h"

namespace fieldfx::video {

namespace {

struct PngFailure {
    char message[200] = "";
};

void onError(png_structp png, png_const_charp message) {
    auto* failure = static_cast<PngFailure*>(png_get_error_ptr(png));
    std::snprintf(failure->message, sizeof failure->message, "%s", message);
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

// libpng reports errors by longjmp: this function holds nothing that needs
// destroying between setjmp and the jump.
bool writeRows(std::FILE* out, int width, int height, png_bytep* rows, PngFailure& failure) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &failure, onError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        std::snprintf(failure.message, sizeof failure.message, "out of memory");
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, out);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

void writeSheetPng(const std::string& path, const RgbImage& image, bool replace) {
    if (image.width <= 0 || image.height <= 0)
        throw VideoError("cannot write '" + path + "': the sheet is empty");
    try {
        io::OutputFile file(path, replace);
        std::vector<png_bytep> rows(std::size_t(image.height));
        for (int y = 0; y < image.height; ++y)
            rows[std::size_t(y)] = const_cast<png_bytep>(image.at(0, y));
        PngFailure failure;
        if (!writeRows(file.stream(), image.width, image.height, rows.data(), failure))
            throw VideoError("cannot write '" + path + "': " + failure.message);
        file.commit();
    } catch (const io::IoError& e) {
        throw VideoError(e.what());
    }
}

}  // namespace fieldfx::video
