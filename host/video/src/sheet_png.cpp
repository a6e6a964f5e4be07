// Contact sheets as 8-bit R'G'B' PNG files.
#include <cstdio>

#include "fieldfx/fieldio/output_file.h"
#include "fieldfx/png/png.h"
#include "fieldfx/video/sheet.h"

namespace fieldfx::video {

void writeSheetPng(const std::string& path, const RgbImage& image, bool replace) {
    if (image.width <= 0 || image.height <= 0)
        throw VideoError("cannot write '" + path + "': the sheet is empty");
    try {
        io::OutputFile file(path, replace);
        std::string error;
        if (!png::encode(file.stream(), uint32_t(image.width), uint32_t(image.height), 8, 3,
                         [&](uint32_t y) { return image.at(0, int(y)); }, error))
            throw VideoError("cannot write '" + path + "': " + error);
        file.commit();
    } catch (const io::IoError& e) {
        throw VideoError(e.what());
    }
}

}  // namespace fieldfx::video
