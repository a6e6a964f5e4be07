// The frames the benchmarks feed: raw yuva444p frames split into fields in
// the operators' byte order, and the synthetic fields.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fields.h"

using fieldfx::io::Field;
using namespace fieldfx::bench;

namespace {

std::vector<uint8_t> pixel(const Field& f, int x, int y) {
    const uint8_t* p = f.row(y) + 4 * x;
    return {p[0], p[1], p[2], p[3]};
}

// A 2 x 3 yuva444p frame: Y plane 10.., U plane 40.., V plane 70.., A plane
// 100.., each counting along the lines.
std::vector<uint8_t> numberedFrame(uint8_t offset) {
    std::vector<uint8_t> frame;
    for (uint8_t plane : {10, 40, 70, 100})
        for (uint8_t i = 0; i < 6; ++i) frame.push_back(uint8_t(plane + i + offset));
    return frame;
}

std::string tempPath(const char* name) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir != nullptr ? dir : "/tmp") + "/" + name + "-" +
           std::to_string(::getpid()) + ".raw";
}

}  // namespace

TEST(RawFrames, SplitIntoFieldsAsOpacityCbCrLuma) {
    const std::vector<uint8_t> frame = numberedFrame(0);
    Field top, bottom;
    splitRawFrame(frame.data(), 2, 3, top, bottom);
    ASSERT_EQ(top.width, 2);
    ASSERT_EQ(top.height, 2);  // lines 0 and 2
    ASSERT_EQ(bottom.width, 2);
    ASSERT_EQ(bottom.height, 1);  // line 1
    // Line 0: samples 0, 1; line 1: samples 2, 3; line 2: samples 4, 5.
    EXPECT_EQ(pixel(top, 0, 0), (std::vector<uint8_t>{100, 40, 70, 10}));
    EXPECT_EQ(pixel(top, 1, 0), (std::vector<uint8_t>{101, 41, 71, 11}));
    EXPECT_EQ(pixel(bottom, 0, 0), (std::vector<uint8_t>{102, 42, 72, 12}));
    EXPECT_EQ(pixel(bottom, 1, 0), (std::vector<uint8_t>{103, 43, 73, 13}));
    EXPECT_EQ(pixel(top, 0, 1), (std::vector<uint8_t>{104, 44, 74, 14}));
    EXPECT_EQ(pixel(top, 1, 1), (std::vector<uint8_t>{105, 45, 75, 15}));
}

TEST(RawFrames, FileGivesFieldsInTimeOrderAndIgnoresAPartialFrame) {
    const std::string path = tempPath("bench-fields");
    std::vector<uint8_t> bytes = numberedFrame(0);
    const std::vector<uint8_t> second = numberedFrame(1);
    bytes.insert(bytes.end(), second.begin(), second.end());
    bytes.insert(bytes.end(), 5, 0);  // the start of a third frame
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    std::fclose(f);

    const std::vector<Field> fields = readRawFields(path, 2, 3);
    std::remove(path.c_str());
    ASSERT_EQ(fields.size(), 4u);
    EXPECT_EQ(pixel(fields[0], 0, 0), (std::vector<uint8_t>{100, 40, 70, 10}));
    EXPECT_EQ(pixel(fields[1], 0, 0), (std::vector<uint8_t>{102, 42, 72, 12}));
    EXPECT_EQ(pixel(fields[2], 0, 0), (std::vector<uint8_t>{101, 41, 71, 11}));
    EXPECT_EQ(pixel(fields[3], 1, 0), (std::vector<uint8_t>{104, 44, 74, 14}));
}

TEST(RawFrames, NoWholeFrameOrNoFileIsAnError) {
    const std::string path = tempPath("bench-short");
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("too short", f);
    std::fclose(f);
    EXPECT_THROW(readRawFields(path, 2, 3), fieldfx::io::IoError);
    std::remove(path.c_str());
    EXPECT_THROW(readRawFields(path, 2, 3), fieldfx::io::IoError);
}

TEST(SyntheticFields, OpaqueWithinTheLimitedRangeAndVaried) {
    const Field a = syntheticField(64, 32, 1);
    const Field again = syntheticField(64, 32, 1);
    const Field b = syntheticField(64, 32, 2);
    EXPECT_EQ(a.pixels, again.pixels);
    EXPECT_NE(a.pixels, b.pixels);
    int lumaValues[256] = {};
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 64; ++x) {
            const std::vector<uint8_t> p = pixel(a, x, y);
            ASSERT_EQ(p[0], 255);
            ASSERT_GE(p[1], 16);
            ASSERT_LE(p[1], 240);
            ASSERT_GE(p[2], 16);
            ASSERT_LE(p[2], 240);
            ASSERT_GE(p[3], 16);
            ASSERT_LE(p[3], 235);
            ++lumaValues[p[3]];
        }
    int distinct = 0;
    for (int n : lumaValues) distinct += n > 0;
    EXPECT_GT(distinct, 64);  // not a flat picture
}
