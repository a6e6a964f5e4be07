// R'G'B' <-> Y'CbCr, BT.601 or BT.709 coefficients, limited range (Y' 16..235,
// Cb/Cr 16..240 for colours inside the R'G'B' cube), in the pixel byte order
// of the operators: byte 0 opacity, byte 1 Cb, byte 2 Cr, byte 3 luma.
#ifndef FIELDFX_FIELDIO_YCBCR_H
#define FIELDFX_FIELDIO_YCBCR_H

#include <cstdint>

namespace fieldfx::io {

enum class Matrix { Bt601, Bt709 };

// Frames of 720 lines and more are high definition. Pictures whose colour
// is not tagged take their matrix (and the built-in clips their primaries and
// transfer) from this: BT.709 for high definition, BT.601 below.
inline bool isHighDefinition(int32_t frameHeight) { return frameHeight >= 720; }

// The matrix of R'G'B' pictures without a tag.
inline Matrix matrixForHeight(int32_t frameHeight) {
    return isHighDefinition(frameHeight) ? Matrix::Bt709 : Matrix::Bt601;
}

// r, g, b in 0..1; the pixel gets the nearest 8-bit Y'CbCr and `opacity`.
void rgbToPixel(double r, double g, double b, uint8_t opacity, uint8_t pixel[4],
                Matrix matrix = Matrix::Bt601);

// The pixel's R'G'B' in 0..1 units, not clamped (a pixel outside the R'G'B'
// cube gives values below 0 or above 1).
void pixelToRgb(const uint8_t pixel[4], double rgb[3], Matrix matrix = Matrix::Bt601);

// A component in 0..1 as an integer 0..maxValue, clamped and rounded.
uint16_t quantise(double value, uint16_t maxValue);

// The pixel word (bytes in memory order) of an 8-bit R'G'B' colour, opaque.
uint32_t pixelWordOfRgb(uint8_t r, uint8_t g, uint8_t b);

}  // namespace fieldfx::io

#endif
