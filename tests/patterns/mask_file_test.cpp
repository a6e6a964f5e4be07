// Mask files: PGM (8 and 16 bit) and PNG decoding, loading from disk, and
// scaling to the mask size.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fieldfx/patterns/patterns.h"

using namespace fieldfx::patterns;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes pgm(const std::string& header, const Bytes& samples) {
    Bytes b(header.begin(), header.end());
    b.insert(b.end(), samples.begin(), samples.end());
    return b;
}

GrayImage decoded(const Bytes& bytes) {
    GrayImage image;
    std::string error;
    EXPECT_TRUE(decodePgm(bytes, image, &error)) << error;
    return image;
}

Bytes scaled(const GrayImage& image, int width, int height, bool invert = false) {
    Bytes out(std::size_t(width) * height, 0xEE);
    std::string error;
    EXPECT_TRUE(scaleMask(image, invert, width, height, out.data(), &error)) << error;
    return out;
}

GrayImage gray(int width, int height, uint32_t maxValue, std::vector<uint16_t> samples) {
    GrayImage g;
    g.width = width;
    g.height = height;
    g.maxValue = maxValue;
    g.samples = std::move(samples);
    return g;
}

// A file in the temporary directory, removed at the end. The name carries
// the process id: ctest runs the tests of this file as parallel processes.
struct TempFile {
    std::filesystem::path path;
    TempFile(const std::string& name, const Bytes& bytes)
        : path(std::filesystem::temp_directory_path() /
               ("fieldfx_mask_" + std::to_string(::getpid()) + "_" + name)) {
        std::FILE* f = std::fopen(path.string().c_str(), "wb");
        EXPECT_NE(f, nullptr);
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    ~TempFile() { std::filesystem::remove(path); }
};

// ---- A PNG writer of our own (stored deflate blocks), independent of libpng ----

uint32_t crc32(const Bytes& data, std::size_t from) {
    uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = from; i < data.size(); ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void put32(Bytes& b, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) b.push_back(uint8_t(v >> s));
}

void chunk(Bytes& png, const char* type, const Bytes& data) {
    put32(png, uint32_t(data.size()));
    Bytes body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    png.insert(png.end(), body.begin(), body.end());
    put32(png, crc32(body, 0));
}

// `rows` already hold each row's filter byte (0) and packed samples.
Bytes png(int width, int height, int depth, int colourType, const Bytes& rows) {
    Bytes out{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes ihdr;
    put32(ihdr, uint32_t(width));
    put32(ihdr, uint32_t(height));
    ihdr.insert(ihdr.end(), {uint8_t(depth), uint8_t(colourType), 0, 0, 0});
    chunk(out, "IHDR", ihdr);
    Bytes z{0x78,
            0x01,
            0x01,
            uint8_t(rows.size()),
            uint8_t(rows.size() >> 8),
            uint8_t(~rows.size()),
            uint8_t(~rows.size() >> 8)};
    z.insert(z.end(), rows.begin(), rows.end());
    uint32_t a = 1, b = 0;
    for (uint8_t v : rows) {
        a = (a + v) % 65521;
        b = (b + a) % 65521;
    }
    put32(z, b << 16 | a);
    chunk(out, "IDAT", z);
    chunk(out, "IEND", {});
    return out;
}

// ---- PGM ------------------------------------------------------------------------

TEST(PgmFiles, Decode8BitSamples) {
    const GrayImage g = decoded(pgm("P5\n3 2\n255\n", {0, 1, 2, 253, 254, 255}));
    EXPECT_EQ(g.width, 3);
    EXPECT_EQ(g.height, 2);
    EXPECT_EQ(g.maxValue, 255u);
    EXPECT_EQ(g.samples, (std::vector<uint16_t>{0, 1, 2, 253, 254, 255}));
}

TEST(PgmFiles, Decode16BitSamplesMostSignificantByteFirst) {
    const GrayImage g = decoded(pgm("P5 2 1 65535 ", {0x12, 0x34, 0xFF, 0xFE}));
    EXPECT_EQ(g.maxValue, 65535u);
    EXPECT_EQ(g.samples, (std::vector<uint16_t>{0x1234, 0xFFFE}));
    EXPECT_EQ(decoded(pgm("P5 1 1 256\n", {0x01, 0x00})).samples, (std::vector<uint16_t>{256}));
}

TEST(PgmFiles, SkipHeaderComments) {
    const GrayImage g = decoded(pgm("P5\n# made by hand\n2 # width\n1\n#\n255\r", {7, 9}));
    EXPECT_EQ(g.samples, (std::vector<uint16_t>{7, 9}));
}

TEST(PgmFiles, RefuseMalformedFiles) {
    GrayImage g;
    std::string error;
    for (const Bytes& bad : {
             pgm("P2 1 1 255 ", {'7'}),     // plain text PGM
             pgm("P5 2 1 255 ", {1}),       // one sample short
             pgm("P5 1 1 65535 ", {1}),     // half a 16-bit sample
             pgm("P5 0 1 255 ", {}),        // no width
             pgm("P5 1 1 0 ", {0}),         // no maximum
             pgm("P5 1 1 65536 ", {0, 0}),  // maximum too large
             pgm("P5 32768 1 255 ", {0}),   // too wide
             pgm("P5 1 1 100 ", {101}),     // sample above the maximum
             pgm("P5 1 1 255", {}),         // no separator
             pgm("P5 1 x 255 ", {0}),       // not a number
             pgm("P5 99999999999999999999 1 255 ", {0}),
             Bytes{'P'},
             Bytes{},
         }) {
        EXPECT_FALSE(decodePgm(bad, g, &error)) << std::string(bad.begin(), bad.end());
        EXPECT_FALSE(error.empty());
    }
}

// ---- Scaling ---------------------------------------------------------------------

TEST(MaskScaling, KeepsSamplesAtTheirOwnSize) {
    EXPECT_EQ(scaled(gray(3, 2, 255, {0, 1, 2, 253, 254, 255}), 3, 2),
              (Bytes{0, 1, 2, 253, 254, 255}));
}

TEST(MaskScaling, MapsTheSampleRangeOntoBytes) {
    // round(s x 255 / max): 50 of 100 -> 127.5 -> 128; 1 -> 2.55 -> 3.
    EXPECT_EQ(scaled(gray(4, 1, 100, {0, 1, 50, 100}), 4, 1), (Bytes{0, 3, 128, 255}));
    // 16 bit: 32896 = 128 x 257 -> 128; 32767 -> 127.498 -> 127.
    EXPECT_EQ(scaled(gray(4, 1, 65535, {0, 32767, 32896, 65535}), 4, 1), (Bytes{0, 127, 128, 255}));
}

TEST(MaskScaling, InterpolatesWhenEnlarging) {
    // Centres -0.25, 0.25, 0.75, 1.25: 0, 0.25 x 255, 0.75 x 255, 255.
    EXPECT_EQ(scaled(gray(2, 1, 255, {0, 255}), 4, 1), (Bytes{0, 64, 191, 255}));
    EXPECT_EQ(scaled(gray(1, 2, 255, {0, 255}), 1, 4), (Bytes{0, 64, 191, 255}));
    EXPECT_EQ(scaled(gray(1, 1, 255, {77}), 3, 2), Bytes(6, 77));
}

TEST(MaskScaling, AveragesWhenReducing) {
    // Tent of half-width 2 round 0.5: weights 1/8 3/8 3/8 1/8 over samples
    // -1 (edge 0), 0, 1, 2 -> 62.5 -> 63; round 2.5 over 1, 2, 3, 4 (edge 3) -> 215.
    EXPECT_EQ(scaled(gray(4, 1, 255, {0, 100, 200, 255}), 2, 1), (Bytes{63, 215}));
    // Both axes: a 2 x 2 average of a uniform image stays uniform.
    EXPECT_EQ(scaled(gray(4, 4, 255, std::vector<uint16_t>(16, 90)), 2, 2), Bytes(4, 90));
}

TEST(MaskScaling, InvertsAfterScaling) {
    EXPECT_EQ(scaled(gray(2, 1, 255, {0, 255}), 4, 1, true), (Bytes{255, 191, 64, 0}));
}

TEST(MaskScaling, RefusesEmptyImagesAndBadSizes) {
    Bytes out(4, 0xEE);
    std::string error;
    EXPECT_FALSE(scaleMask(GrayImage{}, false, 2, 2, out.data(), &error));
    EXPECT_FALSE(scaleMask(gray(2, 2, 255, {1, 2, 3}), false, 2, 2, out.data(), &error));
    EXPECT_FALSE(scaleMask(gray(1, 1, 0, {0}), false, 2, 2, out.data(), &error));
    EXPECT_FALSE(scaleMask(gray(1, 1, 255, {0}), false, 0, 2, out.data(), &error));
    EXPECT_FALSE(scaleMask(gray(1, 1, 255, {0}), false, 2, 40000, out.data(), &error));
    EXPECT_EQ(out, Bytes(4, 0xEE));
}

// ---- Files -----------------------------------------------------------------------

TEST(MaskFiles, LoadPgmFromDisk) {
    const TempFile eight("a.pgm", pgm("P5 2 2 255\n", {10, 20, 30, 40}));
    GrayImage g;
    std::string error;
    ASSERT_TRUE(loadMaskFile(eight.path.string(), g, &error)) << error;
    EXPECT_EQ(g.samples, (std::vector<uint16_t>{10, 20, 30, 40}));

    const TempFile sixteen("b.pgm", pgm("P5 2 1 65535\n", {0xFF, 0xFF, 0x00, 0x00}));
    ASSERT_TRUE(loadMaskFile(sixteen.path.string(), g, &error)) << error;
    EXPECT_EQ(g.maxValue, 65535u);
    EXPECT_EQ(scaled(g, 4, 1), (Bytes{255, 191, 64, 0}));
}

TEST(MaskFiles, ReportMissingAndUnknownFiles) {
    GrayImage g;
    std::string error;
    EXPECT_FALSE(loadMaskFile("/nonexistent/fieldfx/mask.pgm", g, &error));
    EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
    const TempFile text("c.txt", Bytes{'h', 'e', 'l', 'l', 'o'});
    EXPECT_FALSE(loadMaskFile(text.path.string(), g, &error));
    EXPECT_NE(error.find("not a PGM"), std::string::npos) << error;
    const TempFile empty("d.pgm", Bytes{});
    EXPECT_FALSE(loadMaskFile(empty.path.string(), g, &error));
}

// ---- PNG -------------------------------------------------------------------------

// Loads bytes as a PNG file; without libpng the load must fail and say why.
bool loadPng(const Bytes& bytes, GrayImage& g, std::string& error) {
    const TempFile file("m.png", bytes);
    const bool ok = loadMaskFile(file.path.string(), g, &error);
    if (!pngSupported()) {
        EXPECT_FALSE(ok);
        EXPECT_NE(error.find("not supported"), std::string::npos) << error;
    }
    return ok;
}

TEST(PngFiles, Load8BitGray) {
    GrayImage g;
    std::string error;
    const bool ok = loadPng(png(3, 2, 8, 0, {0, 0, 128, 255, 0, 1, 2, 3}), g, error);
    if (!pngSupported()) GTEST_SKIP() << "built without libpng";
    ASSERT_TRUE(ok) << error;
    EXPECT_EQ(g.width, 3);
    EXPECT_EQ(g.height, 2);
    EXPECT_EQ(g.maxValue, 255u);
    EXPECT_EQ(g.samples, (std::vector<uint16_t>{0, 128, 255, 1, 2, 3}));
    EXPECT_EQ(scaled(g, 6, 2), (Bytes{0, 32, 96, 160, 223, 255, 1, 1, 2, 2, 3, 3}));
}

TEST(PngFiles, Load16BitGray) {
    GrayImage g;
    std::string error;
    const bool ok = loadPng(png(2, 1, 16, 0, {0, 0x12, 0x34, 0x80, 0x80}), g, error);
    if (!pngSupported()) GTEST_SKIP() << "built without libpng";
    ASSERT_TRUE(ok) << error;
    EXPECT_EQ(g.maxValue, 65535u);
    EXPECT_EQ(g.samples, (std::vector<uint16_t>{0x1234, 0x8080}));
    // 0x1234 = 4660 -> 18.13 -> 18; 0x8080 = 128 x 257 -> 128.
    EXPECT_EQ(scaled(g, 2, 1), (Bytes{18, 128}));
}

TEST(PngFiles, WidenOneBitGrayAndDropAlpha) {
    GrayImage g;
    std::string error;
    // 1 bit: 0b10100000 holds the samples 1 0 1.
    bool ok = loadPng(png(3, 1, 1, 0, {0, 0xA0}), g, error);
    if (!pngSupported()) GTEST_SKIP() << "built without libpng";
    ASSERT_TRUE(ok) << error;
    EXPECT_EQ(g.samples, (std::vector<uint16_t>{255, 0, 255}));
    // Grey and alpha pairs: the alpha bytes are dropped.
    ok = loadPng(png(2, 1, 8, 4, {0, 40, 7, 200, 250}), g, error);
    ASSERT_TRUE(ok) << error;
    EXPECT_EQ(g.samples, (std::vector<uint16_t>{40, 200}));
}

TEST(PngFiles, RefuseDamagedFiles) {
    GrayImage g;
    std::string error;
    Bytes bad = png(2, 1, 8, 0, {0, 1, 2});
    bad[bad.size() - 20] ^= 0xFF;  // inside the image data: the CRC no longer matches
    EXPECT_FALSE(loadPng(bad, g, error));
    EXPECT_FALSE(error.empty());
    const Bytes whole = png(2, 1, 8, 0, {0, 1, 2});
    EXPECT_FALSE(loadPng(Bytes(whole.begin(), whole.begin() + 30), g, error));  // truncated
    EXPECT_FALSE(error.empty());
}

}  // namespace
