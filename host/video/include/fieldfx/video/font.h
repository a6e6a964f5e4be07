// A small bitmap font for labels: 5 x 7 pixel glyphs in 6 x 8 cells, upper
// case letters (lower case is drawn as upper case), digits and common
// punctuation; any other character shows as a hollow box.
#ifndef FIELDFX_VIDEO_FONT_H
#define FIELDFX_VIDEO_FONT_H

#include <cstdint>
#include <string>

namespace fieldfx::video {

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;
constexpr int kGlyphAdvance = 6;  // one blank column between characters

// Seven rows of the character's glyph, top first; bit 4 is the leftmost column.
const uint8_t* glyphRows(char c);

// Width and height in pixels of `text` drawn at `scale` (each font pixel a
// scale x scale square); no trailing blank column.
int textWidth(const std::string& text, int scale);
inline int textHeight(int scale) { return kGlyphHeight * scale; }

// Calls plot(x, y) for every lit pixel of `text` with its top-left corner at
// (left, top).
template <typename Plot>
void drawText(const std::string& text, int left, int top, int scale, Plot&& plot) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const uint8_t* rows = glyphRows(text[i]);
        const int x0 = left + int(i) * kGlyphAdvance * scale;
        for (int gy = 0; gy < kGlyphHeight; ++gy)
            for (int gx = 0; gx < kGlyphWidth; ++gx)
                if (rows[gy] & (0x10 >> gx))
                    for (int sy = 0; sy < scale; ++sy)
                        for (int sx = 0; sx < scale; ++sx)
                            plot(x0 + gx * scale + sx, top + gy * scale + sy);
    }
}

}  // namespace fieldfx::video

#endif
