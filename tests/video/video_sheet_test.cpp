// Contact sheets: colour conversion, which frames are shown, the layout of
// tiles and labels, the reduction of frames to tiles, and the PNG file.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>

#include "fieldfx/video/font.h"
#include "fieldfx/video/sheet.h"
#include "video_testing.h"

using namespace fieldfx::video;

namespace {

Field uniformFrame(int w, int h, uint8_t y, uint8_t cb, uint8_t cr) {
    Field f(w, h);
    for (std::size_t i = 0; i < f.pixels.size(); i += 4) {
        f.pixels[i] = 255;
        f.pixels[i + 1] = cb;
        f.pixels[i + 2] = cr;
        f.pixels[i + 3] = y;
    }
    return f;
}

std::vector<uint8_t> rgbOf(uint8_t y, uint8_t cb, uint8_t cr, int matrix) {
    const uint8_t pixel[4] = {255, cb, cr, y};
    uint8_t rgb[3];
    pixelToRgb8(pixel, matrix, rgb);
    return {rgb[0], rgb[1], rgb[2]};
}

std::vector<uint8_t> at(const RgbImage& image, int x, int y) {
    const uint8_t* p = image.at(x, y);
    return {p[0], p[1], p[2]};
}

const std::vector<uint8_t> kBackground = {24, 24, 24};
const std::vector<uint8_t> kLabel = {230, 230, 230};

}  // namespace

TEST(SheetColour, LimitedRangeExtremesAreBlackAndWhite) {
    EXPECT_EQ(rgbOf(235, 128, 128, 5), (std::vector<uint8_t>{255, 255, 255}));
    EXPECT_EQ(rgbOf(16, 128, 128, 5), (std::vector<uint8_t>{0, 0, 0}));
    EXPECT_EQ(rgbOf(126, 128, 128, 1), (std::vector<uint8_t>{128, 128, 128}));
    // Beyond the nominal range the result is clamped.
    EXPECT_EQ(rgbOf(255, 128, 128, 5), (std::vector<uint8_t>{255, 255, 255}));
    EXPECT_EQ(rgbOf(0, 128, 128, 5), (std::vector<uint8_t>{0, 0, 0}));
}

TEST(SheetColour, ConvertsWithTheClipsMatrix) {
    // BT.601 red and green, BT.709 red and a yellow.
    EXPECT_EQ(rgbOf(81, 90, 240, 5), (std::vector<uint8_t>{254, 0, 0}));
    EXPECT_EQ(rgbOf(145, 54, 34, 6), (std::vector<uint8_t>{0, 255, 1}));
    EXPECT_EQ(rgbOf(63, 102, 240, 1), (std::vector<uint8_t>{255, 1, 0}));
    EXPECT_EQ(rgbOf(173, 42, 136, 1), (std::vector<uint8_t>{197, 197, 1}));
    // Unspecified matrices read as BT.601.
    EXPECT_EQ(rgbOf(81, 90, 240, 2), rgbOf(81, 90, 240, 5));
}

TEST(SheetFrames, SpreadEvenlyFromFirstToLast) {
    EXPECT_EQ(sheetFrames(50, 8), (std::vector<int64_t>{0, 7, 14, 21, 28, 35, 42, 49}));
    EXPECT_EQ(sheetFrames(11, 4), (std::vector<int64_t>{0, 3, 7, 10}));
    EXPECT_EQ(sheetFrames(10, 4), (std::vector<int64_t>{0, 3, 6, 9}));
    EXPECT_EQ(sheetFrames(3, 8), (std::vector<int64_t>{0, 1, 2}));
    EXPECT_EQ(sheetFrames(1, 8), (std::vector<int64_t>{0}));
    EXPECT_EQ(sheetFrames(10, 1), (std::vector<int64_t>{0}));
    EXPECT_TRUE(sheetFrames(0, 8).empty());
    EXPECT_TRUE(sheetFrames(5, 0).empty());
}

TEST(SheetLayout, TilesLabelsAndMarginsInAGrid) {
    std::vector<SheetTile> tiles;
    for (int i = 0; i < 3; ++i)
        tiles.push_back({uniformFrame(64, 48, 235, 128, 128), std::to_string(i + 1)});
    const RgbImage image = renderSheet(tiles, {2, 32, ""}, 5, {1, 1});
    // 8 + 2 x (32 + 8) wide; 8 + 2 x (24 + 20 + 8) high.
    ASSERT_EQ(image.width, 88);
    ASSERT_EQ(image.height, 112);
    ASSERT_EQ(image.pixels.size(), 88u * 112 * 3);
    const std::vector<uint8_t> white = {255, 255, 255};
    // Tiles at (8, 8), (48, 8) and (8, 60), 32 x 24 each.
    for (auto [x, y] : {std::pair{8, 8}, {39, 31}, {48, 8}, {79, 31}, {8, 60}, {39, 83}})
        EXPECT_EQ(at(image, x, y), white) << x << "," << y;
    for (auto [x, y] : {std::pair{7, 8}, {40, 8}, {8, 7}, {8, 32}, {48, 60}, {87, 111}})
        EXPECT_EQ(at(image, x, y), kBackground) << x << "," << y;
    // Label "1" at (8, 36): column 2 of its top row is lit, 2 x 2 pixels.
    EXPECT_EQ(at(image, 12, 36), kLabel);
    EXPECT_EQ(at(image, 13, 37), kLabel);
    EXPECT_EQ(at(image, 11, 36), kBackground);
    // Label "3" under the third tile at (8, 88): its top row is 0x1F.
    EXPECT_EQ(at(image, 8, 88), kLabel);
    EXPECT_EQ(at(image, 17, 88), kLabel);
}

TEST(SheetLayout, TitleBandAboveTheGrid) {
    std::vector<SheetTile> tiles = {{uniformFrame(64, 48, 16, 128, 128), "A"}};
    const RgbImage image = renderSheet(tiles, {4, 32, "T"}, 5, {1, 1});
    // One column; title band 14 + 16 high.
    ASSERT_EQ(image.width, 48);
    ASSERT_EQ(image.height, 30 + 8 + 24 + 20 + 8);
    // "T": top row 0x1F at (8, 8), scale 2, white.
    EXPECT_EQ(at(image, 8, 8), (std::vector<uint8_t>{255, 255, 255}));
    EXPECT_EQ(at(image, 17, 9), (std::vector<uint8_t>{255, 255, 255}));
    EXPECT_EQ(at(image, 12, 10), (std::vector<uint8_t>{255, 255, 255}));  // second row: 0x04
    EXPECT_EQ(at(image, 8, 10), kBackground);
    EXPECT_EQ(at(image, 12, 38), (std::vector<uint8_t>{0, 0, 0}));  // the black tile
}

TEST(SheetLayout, TileHeightKeepsTheDisplayAspect) {
    std::vector<SheetTile> tiles = {{uniformFrame(64, 48, 16, 128, 128), ""}};
    // 32 x 48 x 15 / (64 x 16) = 22.5, rounded up to 23.
    EXPECT_EQ(renderSheet(tiles, {1, 32, ""}, 5, {16, 15}).height, 8 + 23 + 20 + 8);
    // Unknown sample aspect: square pixels.
    EXPECT_EQ(renderSheet(tiles, {1, 32, ""}, 5, {0, 1}).height, 8 + 24 + 20 + 8);
    // Tiles are at least 16 wide.
    EXPECT_EQ(renderSheet(tiles, {1, 4, ""}, 5, {1, 1}).width, 32);
}

TEST(SheetReduce, AveragesThePixelsEachTilePixelCovers) {
    // Columns alternate black and white; a half-width tile averages pairs.
    Field frame = uniformFrame(64, 48, 16, 128, 128);
    for (int y = 0; y < 48; ++y)
        for (int x = 1; x < 64; x += 2) frame.row(y)[4 * x + 3] = 235;
    // The right half is white throughout.
    for (int y = 0; y < 48; ++y)
        for (int x = 32; x < 64; ++x) frame.row(y)[4 * x + 3] = 235;
    const RgbImage image = renderSheet({{frame, ""}}, {1, 32, ""}, 5, {1, 1});
    // (16 + 235 + 1) / 2 = 126: grey 128 in R'G'B'.
    EXPECT_EQ(at(image, 8, 8), (std::vector<uint8_t>{128, 128, 128}));
    EXPECT_EQ(at(image, 8 + 15, 8 + 23), (std::vector<uint8_t>{128, 128, 128}));
    EXPECT_EQ(at(image, 8 + 16, 8), (std::vector<uint8_t>{255, 255, 255}));
}

TEST(SheetPng, WritesAnRgbFileThatReadsBack) {
    videotest::ScratchDir dir;
    RgbImage image;
    image.width = 5;
    image.height = 3;
    for (int i = 0; i < 45; ++i) image.pixels.push_back(uint8_t(i * 5));
    const std::string path = dir / "sheet.png";
    writeSheetPng(path, image, false);

    png_image read{};
    read.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&read, path.c_str()));
    EXPECT_EQ(read.width, 5u);
    EXPECT_EQ(read.height, 3u);
    EXPECT_EQ(read.format, PNG_FORMAT_RGB);
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(read));
    ASSERT_TRUE(png_image_finish_read(&read, nullptr, pixels.data(), 0, nullptr));
    EXPECT_EQ(pixels, image.pixels);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"sheet.png"});
}

TEST(SheetPng, KeepsAnExistingFileUnlessToldToReplaceIt) {
    videotest::ScratchDir dir;
    RgbImage image;
    image.width = image.height = 1;
    image.pixels = {1, 2, 3};
    const std::string path = dir / "sheet.png";
    writeSheetPng(path, image, false);
    const auto before = videotest::fileBytes(path);
    image.pixels = {9, 9, 9};
    EXPECT_THROW(writeSheetPng(path, image, false), VideoError);
    EXPECT_EQ(videotest::fileBytes(path), before);
    writeSheetPng(path, image, true);
    EXPECT_NE(videotest::fileBytes(path), before);
    EXPECT_EQ(dir.entries().size(), 1u);
}

TEST(SheetPng, UnwritablePathIsAClearErrorAndLeavesNothing) {
    videotest::ScratchDir dir;
    RgbImage image;
    image.width = image.height = 1;
    image.pixels = {1, 2, 3};
    std::FILE* f = std::fopen((dir / "file").c_str(), "w");
    std::fclose(f);
    try {
        writeSheetPng(dir / "file/sheet.png", image, false);
        FAIL() << "no error";
    } catch (const VideoError& e) {
        EXPECT_NE(std::string(e.what()).find("file/sheet.png"), std::string::npos) << e.what();
    }
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"file"});
    RgbImage empty;
    EXPECT_THROW(writeSheetPng(dir / "empty.png", empty, false), VideoError);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"file"});
}
