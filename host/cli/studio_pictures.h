// The pictures fieldfx studio sends: a field converted for the screen as PNG
// output converts it (the page draws the bytes as they come), the PNG file
// itself, and the grey thumbnails of the wipe patterns.
#ifndef FIELDFX_CLI_STUDIO_PICTURES_H
#define FIELDFX_CLI_STUDIO_PICTURES_H

#include <cstdint>
#include <string>

#include "fieldfx/fieldio/field.h"

namespace fieldfx::cli::backend {

// The 16-bit R'G'B' samples PNG output writes for a pixel, reduced to 8
// bits for the screen: (s * 255 + 32767) / 65535 of each sample s.
void displayPixel(const uint8_t* px, uint8_t* out);

// A picture for the page: width and height (32-bit little-endian), then
// R, G, B, A bytes.
std::string displayImage(const io::Field& image);

// The bytes PNG output writes for `image`.
std::string pngImage(const io::Field& image);

// A PNG file of a one-byte-a-pixel mask (a wipe pattern's thumbnail).
std::string greyPng(int width, int height, const uint8_t* mask, const std::string& name);

}  // namespace fieldfx::cli::backend

#endif
