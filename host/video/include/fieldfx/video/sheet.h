// Contact sheets: frames of an effect reduced to tiles in a grid, each
// labelled with its frame number in the built-in bitmap font, written as an
// 8-bit R'G'B' PNG file.
#ifndef FIELDFX_VIDEO_SHEET_H
#define FIELDFX_VIDEO_SHEET_H

#include <cstdint>
#include <string>
#include <vector>

#include "fieldfx/video/clip.h"

namespace fieldfx::video {

struct RgbImage {
    int width = 0, height = 0;
    std::vector<uint8_t> pixels;  // R, G, B a pixel, rows without padding
    const uint8_t* at(int x, int y) const {
        return pixels.data() + (std::size_t(y) * width + x) * 3;
    }
};

struct SheetTile {
    Field frame;        // a whole frame of 4-byte pixels (both fields woven)
    std::string label;  // e.g. "FRAME 12"
};

struct SheetLayout {
    int columns = 4;
    int tileWidth = 240;  // frames are reduced to this width
    std::string title;    // a line above the grid; none when empty
};

// Layout: a margin of 8 pixels around and between tiles; the title (font
// scale 2) in a band at the top; each tile with its label (font scale 2)
// in a band below it. The tile height keeps the frame's display aspect
// (frame size and sample aspect). Pixels are converted with `matrix`
// (H.273 numbering: BT.709, BT.2020, else BT.601) from limited range.
RgbImage renderSheet(const std::vector<SheetTile>& tiles, const SheetLayout& layout,
                     int matrix, Rational sampleAspect);

// The R'G'B' of a limited-range pixel (opacity, Cb, Cr, luma), rounded and
// clamped to 0..255.
void pixelToRgb8(const uint8_t pixel[4], int matrix, uint8_t rgb[3]);

// `count` frame numbers spread evenly over frames 0 .. frames - 1, first and
// last included (fewer when the span has fewer frames).
std::vector<int64_t> sheetFrames(int64_t frames, int count);

// Writes the image as an 8-bit R'G'B' PNG through a temporary file; throws
// VideoError when it cannot (an existing file is kept unless `replace`).
void writeSheetPng(const std::string& path, const RgbImage& image, bool replace);

}  // namespace fieldfx::video

#endif
