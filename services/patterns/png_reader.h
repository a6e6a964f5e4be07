// PNG mask files through libpng (when the library was built with it).
#ifndef FIELDFX_PATTERNS_PNG_READER_H
#define FIELDFX_PATTERNS_PNG_READER_H

#include <cstdint>
#include <span>
#include <string>

#include "fieldfx/services/patterns.h"

namespace fieldfx::patterns {

// The bytes start with the PNG signature.
bool looksLikePng(std::span<const uint8_t> bytes);
// Decodes a PNG held in memory into grey samples: 8-bit (maxValue 255) or
// 16-bit (65535) grey, lower depths widened to 8 bits, colour turned grey,
// alpha dropped. Without libpng: fails.
bool decodePng(std::span<const uint8_t> bytes, GrayImage& image, std::string* error);

}  // namespace fieldfx::patterns

#endif
