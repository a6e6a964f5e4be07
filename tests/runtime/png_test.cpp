// PNG frames: any PNG read into Y'CbCr pixels, frames written as 16-bit RGBA
// and read back exactly.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "fieldfx/fieldio/png.h"
#include "fieldfx/fieldio/ycbcr.h"

using namespace fieldfx::io;

namespace {

std::string tempDir() {
    char name[] = "/tmp/fieldfx-png-XXXXXX";
    return mkdtemp(name);
}

// A PNG written with libpng directly: 8-bit samples of the given colour type.
void writeTestPng(const std::string& path, int width, int height, int colourType,
                  const std::vector<uint8_t>& samples) {
    FILE* f = std::fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_set_IHDR(png, info, width, height, 8, colourType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const int channels = colourType == PNG_COLOR_TYPE_RGB ? 3 : colourType == PNG_COLOR_TYPE_GRAY ? 1 : 4;
    for (int y = 0; y < height; ++y)
        png_write_row(png, const_cast<uint8_t*>(samples.data()) + y * width * channels);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
}

uint32_t word(const Field& f, int i) {
    const uint8_t* p = f.pixels.data() + 4 * i;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

TEST(PngRead, EightBitRgbWithoutAlphaIsOpaque) {
    const std::string path = tempDir() + "/rgb.png";
    writeTestPng(path, 3, 1, PNG_COLOR_TYPE_RGB, {255, 0, 0, 0, 0, 0, 255, 255, 255});
    const Field f = readPngFrame(path);
    ASSERT_EQ(f.width, 3);
    ASSERT_EQ(f.height, 1);
    EXPECT_EQ(word(f, 0), 0x51F05AFFu);
    EXPECT_EQ(word(f, 1), 0x108080FFu);
    EXPECT_EQ(word(f, 2), 0xEB8080FFu);
}

TEST(PngRead, AlphaBecomesOpacityAndGreyBecomesLuma) {
    const std::string dir = tempDir();
    writeTestPng(dir + "/rgba.png", 1, 1, PNG_COLOR_TYPE_RGB_ALPHA, {0, 0, 0, 77});
    EXPECT_EQ(word(readPngFrame(dir + "/rgba.png"), 0), 0x1080804Du);
    writeTestPng(dir + "/grey.png", 2, 1, PNG_COLOR_TYPE_GRAY, {255, 0});
    const Field g = readPngFrame(dir + "/grey.png");
    EXPECT_EQ(word(g, 0), 0xEB8080FFu);
    EXPECT_EQ(word(g, 1), 0x108080FFu);
}

TEST(PngRead, BrokenFilesAreRejected) {
    const std::string dir = tempDir();
    std::ofstream(dir + "/not.png") << "hello, not a png";
    EXPECT_THROW(readPngFrame(dir + "/not.png"), IoError);
    writeTestPng(dir + "/cut.png", 64, 64, PNG_COLOR_TYPE_RGB, std::vector<uint8_t>(64 * 64 * 3, 9));
    truncate((dir + "/cut.png").c_str(), 60);
    EXPECT_THROW(readPngFrame(dir + "/cut.png"), IoError);
    EXPECT_THROW(readPngFrame(dir + "/missing.png"), IoError);
}

TEST(PngRoundTrip, FramesInsideTheCubeComeBackExactly) {
    // Pixels made from R'G'B' colours and every opacity; each of them must be
    // inside the cube for the exactness promise, which the frame checks.
    Field frame(64, 8);
    for (int i = 0; i < 64 * 8; ++i) {
        uint8_t* p = frame.pixels.data() + 4 * i;
        const uint8_t y = uint8_t(16 + i % 220), cb = uint8_t(100 + i % 50), cr = uint8_t(110 + i % 40);
        p[0] = uint8_t(i * 7);
        p[1] = cb;
        p[2] = cr;
        p[3] = y;
        double rgb[3];
        pixelToRgb(p, rgb);
        if (rgb[0] < 0 || rgb[0] > 1 || rgb[1] < 0 || rgb[1] > 1 || rgb[2] < 0 || rgb[2] > 1) {
            p[1] = 128;  // grey is inside the cube at every luma
            p[2] = 128;
        }
    }
    const std::string path = tempDir() + "/frame.png";
    FILE* out = std::fopen(path.c_str(), "wb");
    writePngFrame(out, frame, path);
    std::fclose(out);
    const Field back = readPngFrame(path);
    ASSERT_EQ(back.width, 64);
    ASSERT_EQ(back.height, 8);
    EXPECT_EQ(back.pixels, frame.pixels);
}

}  // namespace
