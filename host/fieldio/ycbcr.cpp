#include "fieldfx/fieldio/ycbcr.h"

#include <cmath>

namespace fieldfx::io {

namespace {
// Luma weights and the chroma divisors 2 (1 - kB), 2 (1 - kR), written out
// as the standards give them.
struct Weights {
    double r, g, b, cb, cr;
};
constexpr Weights kBt601{0.299, 0.587, 0.114, 1.772, 1.402};
constexpr Weights kBt709{0.2126, 0.7152, 0.0722, 1.8556, 1.5748};

const Weights& weights(Matrix m) { return m == Matrix::Bt709 ? kBt709 : kBt601; }

// Rounds half up and clamps; the conversion truncates, which is the floor
// for the values in 0..255 it is left with (no call into libm per byte).
uint8_t toByte(double v) {
    const double r = v + 0.5;
    return r < 0.0 ? 0 : r >= 255.0 ? 255 : uint8_t(r);
}
}  // namespace

void rgbToPixel(double r, double g, double b, uint8_t opacity, uint8_t pixel[4], Matrix matrix) {
    const Weights& w = weights(matrix);
    const double y = w.r * r + w.g * g + w.b * b;
    pixel[0] = opacity;
    pixel[1] = toByte(128.0 + 224.0 * (b - y) / w.cb);
    pixel[2] = toByte(128.0 + 224.0 * (r - y) / w.cr);
    pixel[3] = toByte(16.0 + 219.0 * y);
}

void pixelToRgb(const uint8_t pixel[4], double rgb[3], Matrix matrix) {
    const Weights& w = weights(matrix);
    const double y = (double(pixel[3]) - 16.0) / 219.0;
    const double pb = (double(pixel[1]) - 128.0) / 224.0;
    const double pr = (double(pixel[2]) - 128.0) / 224.0;
    const double r = y + w.cr * pr;
    const double b = y + w.cb * pb;
    rgb[0] = r;
    rgb[1] = (y - w.r * r - w.b * b) / w.g;
    rgb[2] = b;
}

uint16_t quantise(double value, uint16_t maxValue) {
    if (!(value > 0.0)) return 0;
    if (value >= 1.0) return maxValue;
    return uint16_t(std::floor(value * maxValue + 0.5));
}

uint32_t pixelWordOfRgb(uint8_t r, uint8_t g, uint8_t b) {
    uint8_t p[4];
    rgbToPixel(r / 255.0, g / 255.0, b / 255.0, 255, p);
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace fieldfx::io
