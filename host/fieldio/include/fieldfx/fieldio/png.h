// PNG frames through libpng, converted to and from Y'CbCr pixels (ycbcr.h).
// Any PNG is read (palette, grey, 8 or 16 bits, with or without alpha;
// opacity from the alpha channel, 255 without). Frames are written as 16-bit
// RGBA, so that every Y'CbCr pixel inside the R'G'B' cube reads back exactly.
#ifndef FIELDFX_FIELDIO_PNG_H
#define FIELDFX_FIELDIO_PNG_H

#include <cstdio>
#include <string>

#include "fieldfx/fieldio/field.h"

namespace fieldfx::io {

Field readPngFrame(const std::string& path);  // throws IoError
void writePngFrame(std::FILE* out, const Field& frame, const std::string& path);
// An 8-bit grey image (a wipe mask: one byte a pixel, rows of `width` bytes).
void writeGreyPng(std::FILE* out, int32_t width, int32_t height, const uint8_t* bytes,
                  const std::string& path);

}  // namespace fieldfx::io

#endif
