// Wipe patterns on the command line: --pattern through the operators'
// preference request, mask files, and `fieldfx patterns`.
#include <gtest/gtest.h>

#include "cli_run.h"

using namespace clitest;
using testhost::FieldSpec;

namespace {

// A binary PGM of w x h bytes.
void writePgm(const std::string& path, int w, int h, const std::vector<uint8_t>& bytes) {
    writeFile(path, "P5\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n" +
                        std::string(bytes.begin(), bytes.end()));
}

TEST(PatternOption, MaskFileOfTheMaskSizeIsUsedUnscaled) {
    const std::string dir = tempDir("mask");
    // Fields 8 x 4, active rectangle the whole field: the mask is 8 x 8
    // (active width x twice the active height); field row r reads mask row 2r.
    std::vector<uint8_t> mask(64);
    for (int l = 0; l < 8; ++l)
        for (int c = 0; c < 8; ++c) mask[l * 8 + c] = uint8_t((c * 37 + l * 11) % 256);
    writePgm(dir + "/mask.pgm", 8, 8, mask);
    const FieldSpec a = testhost::patternField(8, 4, 1), b = testhost::patternField(8, 4, 90);
    writePam(dir + "/a.pam", {a});
    writePam(dir + "/b.pam", {b});
    for (const char* op : {"Telescope", "Glide"}) {
        // Softness 0: a hard wipe; T = 255 * 5 / 10 = 127: mask values below
        // 127 show input 1, the others input 0.
        const Result r = fieldfx(std::string("apply ") + op + " --field " + dir + "/a.pam --field " +
                                 dir + "/b.pam -o " + dir + "/out.pam -y --position 5 --duration 10 " +
                                 "--set softness=0 --pattern " + dir + "/mask.pgm");
        ASSERT_EQ(r.status, 0) << r.err;
        const auto out = readPam(dir + "/out.pam");
        ASSERT_EQ(out.size(), 1u);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 8; ++x) {
                const int m = mask[2 * y * 8 + x];
                EXPECT_EQ(out[0].word(x, y), m < 127 ? b.word(x, y) : a.word(x, y))
                    << op << " " << x << "," << y << " m " << m;
            }
    }
}

TEST(PatternOption, BuiltInPatternsChangeTheOutput) {
    const std::string dir = tempDir("builtin");
    writePam(dir + "/a.pam", {testhost::patternField(32, 16, 1), testhost::patternField(32, 16, 2)});
    writePam(dir + "/b.pam", {testhost::patternField(32, 16, 60), testhost::patternField(32, 16, 61)});
    const std::string base = "render Glide -i " + dir + "/a.pam -i " + dir + "/b.pam -y --set softness=0 ";
    ASSERT_EQ(fieldfx(base + "-o " + dir + "/right.pam").status, 0);
    ASSERT_EQ(fieldfx(base + "--pattern wipe-right -o " + dir + "/named.pam").status, 0);
    const Result r = fieldfx(base + "--pattern wipe-left -o " + dir + "/left.pam");
    ASSERT_EQ(r.status, 0) << r.err;
    // The default block is the wipe to the right; naming it changes nothing.
    EXPECT_TRUE(readFile(dir + "/right.pam") == readFile(dir + "/named.pam"));
    EXPECT_FALSE(readFile(dir + "/right.pam") == readFile(dir + "/left.pam"));
    // Wiping to the left, field 1's right half (mask 0..127 of 255, T = 127)
    // shows the incoming clip, the left half the outgoing one.
    const auto left = readPam(dir + "/left.pam");
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[1].word(31, 5), testhost::patternField(32, 16, 61).word(31, 5));
    EXPECT_EQ(left[1].word(0, 5), testhost::patternField(32, 16, 2).word(0, 5));
}

TEST(PatternOption, BadPatternsAreClearErrors) {
    const std::string dir = tempDir("badpattern");
    writePam(dir + "/a.pam", {testhost::patternField(8, 4, 1)});
    const std::string base = "apply Telescope --field " + dir + "/a.pam --field " + dir +
                             "/a.pam -o " + dir + "/o.pam --position 0 --duration 2 ";
    Result r = fieldfx(base + "--pattern " + dir + "/none.pgm");
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_EQ(r.err.rfind("fieldfx apply: error: --pattern " + dir + "/none.pgm: ", 0), 0u) << r.err;
    r = fieldfx(base + "--pattern circle:cx=500");
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_EQ(r.err.rfind("fieldfx apply: error: --pattern circle:cx=500: ", 0), 0u) << r.err;
    r = fieldfx("apply Matte --field " + dir + "/a.pam -o " + dir +
                "/o.pam --position 0 --duration 1 --pattern circle");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "fieldfx apply: error: Matte takes no wipe pattern (--pattern)\n");
    EXPECT_EQ(listDir(dir), std::vector<std::string>{"a.pam"});
}

TEST(PatternsCommand, ListsAndDrawsEveryPattern) {
    const std::string dir = tempDir("patterns");
    Result r = fieldfx("patterns");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("wipe-right ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\nclock "), std::string::npos);
    EXPECT_NE(r.out.find("  start      0..359, default 0: "), std::string::npos);
    r = fieldfx("patterns -o " + dir + " --size 20x30");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto files = listDir(dir);
    EXPECT_EQ(files.size(), 19u);
    EXPECT_EQ(files.front(), "barn-doors-horizontal.png");
    // A drawn pattern is a mask file: drawn at the mask size (active width x
    // twice the active height) it is used unscaled, and the wipe runs as with
    // the pattern's name.
    writePam(dir + "/a.pam", {testhost::patternField(20, 15, 1), testhost::patternField(20, 15, 2)});
    writePam(dir + "/b.pam", {testhost::patternField(20, 15, 9), testhost::patternField(20, 15, 8)});
    const std::string base = "render Telescope -i " + dir + "/a.pam -i " + dir + "/b.pam ";
    ASSERT_EQ(fieldfx(base + "--pattern circle -o " + dir + "/named.pam").status, 0);
    ASSERT_EQ(fieldfx(base + "--pattern " + dir + "/circle.png -o " + dir + "/file.pam").status, 0);
    EXPECT_TRUE(readFile(dir + "/named.pam") == readFile(dir + "/file.pam"));
    r = fieldfx("patterns -o " + dir);
    EXPECT_EQ(r.status, 4);
    EXPECT_NE(r.err.find("exists (use -y to replace it)"), std::string::npos);
}

}  // namespace
