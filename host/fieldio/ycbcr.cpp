#include "fieldfx/fieldio/ycbcr.h"

#include <cmath>

namespace fieldfx::io {

namespace {
constexpr double kR = 0.299, kG = 0.587, kB = 0.114;

uint8_t toByte(double v) {
    const double r = std::floor(v + 0.5);
    return uint8_t(r < 0.0 ? 0.0 : r > 255.0 ? 255.0 : r);
}
}  // namespace

void rgbToPixel(double r, double g, double b, uint8_t opacity, uint8_t pixel[4]) {
    const double y = kR * r + kG * g + kB * b;
    pixel[0] = opacity;
    pixel[1] = toByte(128.0 + 224.0 * (b - y) / 1.772);
    pixel[2] = toByte(128.0 + 224.0 * (r - y) / 1.402);
    pixel[3] = toByte(16.0 + 219.0 * y);
}

void pixelToRgb(const uint8_t pixel[4], double rgb[3]) {
    const double y = (double(pixel[3]) - 16.0) / 219.0;
    const double pb = (double(pixel[1]) - 128.0) / 224.0;
    const double pr = (double(pixel[2]) - 128.0) / 224.0;
    const double r = y + 1.402 * pr;
    const double b = y + 1.772 * pb;
    rgb[0] = r;
    rgb[1] = (y - kR * r - kB * b) / kG;
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
