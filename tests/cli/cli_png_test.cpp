// PNG frames on the command line: fields woven into frames and split back,
// the Y'CbCr pixels unchanged through the PNG's R'G'B'.
#include <gtest/gtest.h>

#include <cstdio>

#include "cli_run.h"

using namespace clitest;
using testhost::FieldSpec;

namespace {

// Pixels inside the R'G'B' cube: greys at every luma, and colours with
// |Cb - 128|, |Cr - 128| <= 28 at luma 80..170 (R', G', B' then stay within
// 0.07..0.93). Opacity varies too.
FieldSpec insideTheCube(int w, int h, int seed) {
    FieldSpec f = testhost::makeField(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int i = x + y * w + seed;
            const uint8_t luma = uint8_t(16 + (i * 37) % 220);
            const bool colour = luma >= 80 && luma <= 170;
            f.setWord(x, y, testhost::pixelWord(uint8_t(i * 13), colour ? uint8_t(100 + i % 57) : 128,
                                                colour ? uint8_t(100 + (i * 7) % 57) : 128, luma));
        }
    return f;
}

TEST(PngFrames, FieldsRoundTripThroughAPngSequence) {
    const std::string dir = tempDir("png");
    const std::vector<FieldSpec> fields{insideTheCube(20, 6, 0), insideTheCube(20, 6, 1),
                                        insideTheCube(20, 6, 2), insideTheCube(20, 6, 3)};
    writePam(dir + "/in.pam", fields);
    Result r = fieldfx("render Matte -i " + dir + "/in.pam -o " + dir + "/f%04d.png");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(listDir(dir), (std::vector<std::string>{"f0000.png", "f0001.png", "in.pam"}));
    r = fieldfx("render Matte -i " + dir + "/f%04d.png -o " + dir + "/back.pam");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto back = readPam(dir + "/back.pam");
    ASSERT_EQ(back.size(), 4u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(back[i].pixels, fields[i].pixels) << i;
}

TEST(PngFrames, FieldOrderDecidesWhichFieldComesFirst) {
    const std::string dir = tempDir("order");
    const FieldSpec a = insideTheCube(8, 3, 0), b = insideTheCube(8, 3, 50);
    writePam(dir + "/in.pam", {a, b});
    // Top field first: field 0 holds the even lines of the frame.
    ASSERT_EQ(fieldfx("render Matte -i " + dir + "/in.pam -o " + dir + "/frame.png").status, 0);
    // Read back bottom field first: the odd lines come first in time.
    ASSERT_EQ(fieldfx("render Matte --field-order bff -i " + dir + "/frame.png -o " + dir + "/b.pam")
                  .status,
              0);
    const auto back = readPam(dir + "/b.pam");
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].pixels, b.pixels);
    EXPECT_EQ(back[1].pixels, a.pixels);
}

TEST(PngFrames, ManyFramesNeedANumberedNameAndWholeFrames) {
    const std::string dir = tempDir("frames");
    writePam(dir + "/four.pam", {insideTheCube(8, 3, 0), insideTheCube(8, 3, 1),
                                 insideTheCube(8, 3, 2), insideTheCube(8, 3, 3)});
    writePam(dir + "/three.pam", {insideTheCube(8, 3, 0), insideTheCube(8, 3, 1),
                                  insideTheCube(8, 3, 2)});
    Result r = fieldfx("render Matte -i " + dir + "/four.pam -o " + dir + "/one.png");
    EXPECT_EQ(r.status, 4);
    EXPECT_EQ(r.err, "fieldfx render: error: " + dir +
                         "/one.png: one PNG holds one frame, the output has 2 (use a numbered name "
                         "such as out%04d.png)\n");
    r = fieldfx("render Matte -i " + dir + "/three.pam -o " + dir + "/f%d.png");
    EXPECT_EQ(r.status, 4);
    EXPECT_EQ(r.err, "fieldfx render: error: " + dir +
                         "/f%d.png: 3 fields cannot be woven into whole frames (write .pam "
                         "instead)\n");
    EXPECT_EQ(listDir(dir), (std::vector<std::string>{"four.pam", "three.pam"}));
    // --start and --duration count frames.
    r = fieldfx("render Matte -i " + dir + "/four.pam --start 1 --duration 1 -o " + dir + "/last.png");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Matte: 2 fields (1 frames) -> " + dir + "/last.png\n");
    r = fieldfx("render Matte -i " + dir + "/last.png -o " + dir + "/last.pam");
    const auto last = readPam(dir + "/last.pam");
    ASSERT_EQ(last.size(), 2u);
    EXPECT_EQ(last[0].pixels, insideTheCube(8, 3, 2).pixels);
}

TEST(PngFrames, NumberedInputMayStartAtOneAndSecondsNeedARate) {
    const std::string dir = tempDir("seq");
    writePam(dir + "/in.pam", {insideTheCube(8, 3, 0), insideTheCube(8, 3, 1),
                               insideTheCube(8, 3, 2), insideTheCube(8, 3, 3)});
    ASSERT_EQ(fieldfx("render Matte -i " + dir + "/in.pam -o " + dir + "/x%02d.png").status, 0);
    ASSERT_EQ(std::rename((dir + "/x01.png").c_str(), (dir + "/x02.png").c_str()), 0);
    ASSERT_EQ(std::rename((dir + "/x00.png").c_str(), (dir + "/x01.png").c_str()), 0);
    // 0.08 s at 25 frames a second is two frames.
    Result r = fieldfx("render Matte -i " + dir + "/x%02d.png --rate 25 --duration 0.08s -o " + dir +
                       "/o.pam");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto out = readPam(dir + "/o.pam");
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[3].pixels, insideTheCube(8, 3, 3).pixels);
}

TEST(Generate, FramesOrSingleFields) {
    const std::string dir = tempDir("generate");
    Result r = fieldfx("generate -o " + dir + "/three.pam --fields 3 --size 16x8");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "generated 3 fields of 16x4 -> " + dir + "/three.pam\n");
    const auto three = readPam(dir + "/three.pam");
    ASSERT_EQ(three.size(), 3u);
    EXPECT_EQ(three[2].width, 16);
    EXPECT_EQ(three[2].height, 4);
    // The disc moves between the two fields of a frame, the bars stay.
    EXPECT_EQ(three[0].word(0, 0), three[2].word(0, 0));
    r = fieldfx("generate -o " + dir + "/f%02d.png --frames 2 --size 16x8");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(listDir(dir), (std::vector<std::string>{"f00.png", "f01.png", "three.pam"}));
    EXPECT_EQ(fieldfx("generate -o " + dir + "/odd.pam --size 16x7").status, 2);
    EXPECT_EQ(fieldfx("generate -o " + dir + "/x.pam --frames 1 --fields 1").status, 2);
}

}  // namespace
