// R'G'B' <-> Y'CbCr (BT.601, limited range) in the operators' byte order.
#include <gtest/gtest.h>

#include "fieldfx/fieldio/ycbcr.h"

using namespace fieldfx::io;

namespace {

uint32_t word(const uint8_t p[4]) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

TEST(YCbCr, PrimariesGiveTheLimitedRangeValues) {
    // Y' = 16 + 219 (0.299 R + 0.587 G + 0.114 B), Cb = 128 + 224 (B - Y) / 1.772,
    // Cr = 128 + 224 (R - Y) / 1.402, rounded; bytes opacity, Cb, Cr, Y'.
    EXPECT_EQ(pixelWordOfRgb(0, 0, 0), 0x108080FFu);
    EXPECT_EQ(pixelWordOfRgb(255, 255, 255), 0xEB8080FFu);
    EXPECT_EQ(pixelWordOfRgb(255, 0, 0), 0x51F05AFFu);  // 81.48, 90.20, 240
    EXPECT_EQ(pixelWordOfRgb(0, 255, 0), 0x912236FFu);  // 144.55, 53.80, 34.21
    EXPECT_EQ(pixelWordOfRgb(0, 0, 255), 0x296EF0FFu);  // 40.97, 240, 109.79
}

TEST(YCbCr, OpacityIsCarriedUnchanged) {
    uint8_t p[4];
    rgbToPixel(0.0, 0.0, 0.0, 37, p);
    EXPECT_EQ(word(p), 0x10808025u);
}

TEST(YCbCr, InverseOfThePrimaries) {
    const uint8_t red[4] = {255, 90, 240, 81};
    double rgb[3];
    pixelToRgb(red, rgb);
    // Y = 65/219, R = Y + 1.402 * 112/224
    EXPECT_NEAR(rgb[0], 65.0 / 219 + 1.402 * 112 / 224, 1e-12);
    const uint8_t black[4] = {255, 128, 128, 16};
    pixelToRgb(black, rgb);
    EXPECT_EQ(rgb[0], 0.0);
    EXPECT_EQ(rgb[1], 0.0);
    EXPECT_EQ(rgb[2], 0.0);
}

TEST(YCbCr, QuantiseRoundsAndClamps) {
    EXPECT_EQ(quantise(-0.1, 255), 0);
    EXPECT_EQ(quantise(0.5, 255), 128);  // 127.5 rounds up
    EXPECT_EQ(quantise(1.7, 65535), 65535);
    EXPECT_EQ(quantise(1.0 / 65535 * 0.49, 65535), 0);
}

// Every Y'CbCr pixel whose R'G'B' lies inside the cube comes back exactly
// through 16-bit R'G'B' (how PNG frames are written).
TEST(YCbCr, EveryPixelInsideTheCubeRoundTripsThroughSixteenBits) {
    long inside = 0, wrong = 0;
    for (int y = 16; y <= 235; ++y)
        for (int cb = 16; cb <= 240; ++cb)
            for (int cr = 16; cr <= 240; ++cr) {
                const uint8_t p[4] = {200, uint8_t(cb), uint8_t(cr), uint8_t(y)};
                double rgb[3];
                pixelToRgb(p, rgb);
                if (rgb[0] < 0 || rgb[0] > 1 || rgb[1] < 0 || rgb[1] > 1 || rgb[2] < 0 || rgb[2] > 1)
                    continue;
                ++inside;
                uint8_t q[4];
                rgbToPixel(quantise(rgb[0], 65535) / 65535.0, quantise(rgb[1], 65535) / 65535.0,
                           quantise(rgb[2], 65535) / 65535.0, 200, q);
                if (word(p) != word(q)) ++wrong;
            }
    EXPECT_GT(inside, 1000000);
    EXPECT_EQ(wrong, 0);
}

}  // namespace
