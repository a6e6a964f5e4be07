// The transition preference block: byte layout, round trips, blocks that are
// not valid, the text form, and the mask a choice draws.
#include "fieldfx/patterns/transition_prefs.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "fieldfx/patterns/patterns.h"

using namespace fieldfx;

namespace {

using Block = std::array<uint8_t, kTransitionPrefsSize>;
using Bytes = std::vector<uint8_t>;

Block encoded(const TransitionChoice& c) {
    Block b;
    b.fill(0xEE);
    std::string error;
    EXPECT_TRUE(encodeTransitionPrefs(c, b.data(), &error)) << error;
    return b;
}

TransitionChoice pattern(const char* name, std::vector<int32_t> values, bool invert = false) {
    TransitionChoice c;
    c.pattern = patterns::findPattern(name)->number;
    for (std::size_t i = 0; i < values.size(); ++i) c.values[i] = values[i];
    c.invert = invert;
    return c;
}

TransitionChoice file(const std::string& path) {
    TransitionChoice c;
    c.source = TransitionChoice::Source::File;
    c.path = path;
    return c;
}

// ---- Layout ---------------------------------------------------------------------

TEST(TransitionPrefsLayout, PatternBlockBytes) {
    const Block b = encoded(pattern("circle", {30, 70}, true));
    Block expected{};
    expected[0] = 1;   // version
    expected[1] = 0;   // built-in pattern
    expected[2] = 1;   // invert
    expected[3] = 12;  // circle
    expected[4] = 30;  // cx, little-endian
    expected[8] = 70;  // cy
    EXPECT_EQ(b, expected);
}

TEST(TransitionPrefsLayout, SettingsAreLittleEndian) {
    const Block b = encoded(pattern("dissolve", {0x01020304, 32}));
    EXPECT_EQ(b[3], 18);
    EXPECT_EQ((std::vector<uint8_t>(b.begin() + 4, b.begin() + 12)),
              (std::vector<uint8_t>{4, 3, 2, 1, 32, 0, 0, 0}));
}

TEST(TransitionPrefsLayout, FileBlockBytes) {
    const Block b = encoded(file("masks/iris.pgm"));
    Block expected{};
    expected[0] = 1;
    expected[1] = 1;
    std::memcpy(expected.data() + 4, "masks/iris.pgm", 14);
    EXPECT_EQ(b, expected);
}

// ---- Round trips ------------------------------------------------------------------

TEST(TransitionPrefsRoundTrip, EveryPatternWithDefaultsAndExtremes) {
    for (const patterns::Pattern& p : patterns::builtinPatterns()) {
        for (int variant = 0; variant < 3; ++variant) {
            TransitionChoice c;
            c.pattern = p.number;
            c.invert = variant == 1;
            for (int i = 0; i < p.settingCount; ++i)
                c.values[i] = variant == 0   ? p.settings[i].defaultValue
                              : variant == 1 ? p.settings[i].minimum
                                             : p.settings[i].maximum;
            TransitionChoice back;
            const Block b = encoded(c);
            EXPECT_TRUE(decodeTransitionPrefs(b.data(), back)) << p.name;
            EXPECT_EQ(back, c) << p.name << " variant " << variant;
        }
    }
}

TEST(TransitionPrefsRoundTrip, FilePathsUpToTheLimit) {
    for (const std::string& path :
         {std::string("a"), std::string(107, 'x'), std::string("/masks/wipe \xC3\xA9toile.png")}) {
        TransitionChoice c = file(path);
        c.invert = true;
        TransitionChoice back;
        EXPECT_TRUE(decodeTransitionPrefs(encoded(c).data(), back));
        EXPECT_EQ(back, c);
    }
}

TEST(TransitionPrefsRoundTrip, ZeroBlockAndNullAreTheDefault) {
    const Block zero{};
    TransitionChoice c = pattern("box", {1, 2});
    EXPECT_TRUE(decodeTransitionPrefs(zero.data(), c));
    EXPECT_EQ(c, defaultTransition());
    c = pattern("box", {1, 2});
    EXPECT_TRUE(decodeTransitionPrefs(nullptr, c));
    EXPECT_EQ(c, defaultTransition());
    EXPECT_EQ(defaultTransition().source, TransitionChoice::Source::Pattern);
    EXPECT_EQ(defaultTransition().pattern, 0);
    EXPECT_FALSE(defaultTransition().invert);
}

// ---- Blocks that are not valid --------------------------------------------------------

void expectDefault(const Block& b, const char* why) {
    TransitionChoice c = pattern("spiral", {10, 20, 4}, true);
    EXPECT_FALSE(decodeTransitionPrefs(b.data(), c)) << why;
    EXPECT_EQ(c, defaultTransition()) << why;
}

TEST(TransitionPrefsInvalid, FallBackToTheDefault) {
    const Block good = encoded(pattern("blinds", {5, 1}));
    Block b;
    b = good, b[0] = 2, expectDefault(b, "unknown version");
    b = Block{}, b[77] = 1, expectDefault(b, "version 0 with a stray byte");
    b = good, b[1] = 2, expectDefault(b, "unknown source");
    b = good, b[2] = 2, expectDefault(b, "reserved flag bit");
    b = good, b[3] = 19, expectDefault(b, "unknown pattern");
    b = good, b[4] = 13, expectDefault(b, "count above its range");
    b = good, b[4] = 1, expectDefault(b, "count below its range");
    b = good, b[7] = 0x80, expectDefault(b, "negative count");
    b = good, b[8] = 2, expectDefault(b, "vertical above its range");
    b = good, b[12] = 1, expectDefault(b, "a setting the pattern does not have");
    b = good, b[36] = 1, expectDefault(b, "reserved byte");
    b = good, b[111] = 1, expectDefault(b, "last reserved byte");
}

TEST(TransitionPrefsInvalid, FileBlocksNeedATerminatedPath) {
    const Block good = encoded(file("x.pgm"));
    Block b;
    b = good, b[3] = 1, expectDefault(b, "pattern byte of a file block");
    b = good, b[4] = 0, expectDefault(b, "empty path");
    b = good, std::memset(b.data() + 4, 'a', 108), expectDefault(b, "path not terminated");
    b = good, b[20] = 'z', expectDefault(b, "bytes after the terminator");
}

TEST(TransitionPrefsInvalid, EncodingRefusesWhatCannotBeStored) {
    Block b{};
    std::string error;
    TransitionChoice c = pattern("box", {101, 50});
    EXPECT_FALSE(encodeTransitionPrefs(c, b.data(), &error));
    EXPECT_NE(error.find("cx"), std::string::npos) << error;
    c = pattern("wipe-up", {});
    c.values[0] = 1;
    EXPECT_FALSE(encodeTransitionPrefs(c, b.data(), &error));
    c = TransitionChoice{};
    c.pattern = 19;
    EXPECT_FALSE(encodeTransitionPrefs(c, b.data(), &error));
    EXPECT_FALSE(encodeTransitionPrefs(file(""), b.data(), &error));
    EXPECT_FALSE(encodeTransitionPrefs(file(std::string(108, 'x')), b.data(), &error));
    EXPECT_FALSE(encodeTransitionPrefs(file(std::string("a\0b", 3)), b.data(), &error));
    EXPECT_EQ(b, Block{});
}

// ---- Text form --------------------------------------------------------------------

TransitionChoice parsed(const std::string& text) {
    TransitionChoice c;
    std::string error;
    EXPECT_TRUE(parseTransitionArgument(text, c, &error)) << text << ": " << error;
    return c;
}

TEST(TransitionArgument, NamesWithDefaultsAndSettings) {
    EXPECT_EQ(parsed("circle"), pattern("circle", {50, 50}));
    EXPECT_EQ(parsed("circle:cy=70,cx=30"), pattern("circle", {30, 70}));
    EXPECT_EQ(parsed("clock:start=90,invert=1"), pattern("clock", {50, 50, 90, 0}, true));
    EXPECT_EQ(parsed("wipe-up:invert=0"), pattern("wipe-up", {}));
    EXPECT_EQ(parsed("dissolve:seed=-0"), pattern("dissolve", {0, 1}));
}

TEST(TransitionArgument, OtherTextIsAMaskFile) {
    EXPECT_EQ(parsed("masks/star.png"), file("masks/star.png"));
    EXPECT_EQ(parsed("./circle"), file("./circle"));
    EXPECT_EQ(parsed("C:\\masks\\a.pgm"), file("C:\\masks\\a.pgm"));
}

TEST(TransitionArgument, RefusesBadSettings) {
    TransitionChoice c = pattern("box", {1, 2});
    const TransitionChoice before = c;
    std::string error;
    for (const char* bad :
         {"blinds:count=13", "box:radius=3", "box:cx", "box:cx=", "box:cx=4x", "box:cx=99999999999",
          "wipe-right:invert=2", "circle:", "circle:cx=1,", ""}) {
        EXPECT_FALSE(parseTransitionArgument(bad, c, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
        EXPECT_EQ(c, before) << bad;
    }
    EXPECT_FALSE(parseTransitionArgument(std::string(108, 'm'), c, &error));
}

TEST(TransitionArgument, DescriptionsReadBack) {
    EXPECT_EQ(describeTransition(pattern("circle", {30, 70}, true)), "circle:cx=30,cy=70,invert=1");
    EXPECT_EQ(describeTransition(pattern("wipe-left", {}, true)), "wipe-left:invert=1");
    EXPECT_EQ(describeTransition(pattern("wipe-left", {})), "wipe-left");
    EXPECT_EQ(describeTransition(file("m.pgm")), "m.pgm");
    for (const patterns::Pattern& p : patterns::builtinPatterns()) {
        TransitionChoice c;
        c.pattern = p.number;
        for (int i = 0; i < p.settingCount; ++i) c.values[i] = p.settings[i].maximum;
        EXPECT_EQ(parsed(describeTransition(c)), c) << p.name;
    }
}

// ---- The mask of a choice -------------------------------------------------------------

TEST(TransitionMask, PatternsDrawAsThePatternLibraryDoes) {
    Bytes viaChoice(9 * 5), direct(9 * 5);
    ASSERT_TRUE(renderTransition(pattern("diamond", {20, 80}, true), 9, 5, viaChoice.data()));
    const std::vector<int32_t> values{20, 80};
    ASSERT_TRUE(patterns::renderPattern(*patterns::findPattern("diamond"), values, true, 9, 5,
                                        direct.data()));
    EXPECT_EQ(viaChoice, direct);
    EXPECT_TRUE(renderTransition(defaultTransition(), 4, 1, direct.data()));
    EXPECT_EQ(Bytes(direct.begin(), direct.begin() + 4), (Bytes{0, 85, 170, 255}));
}

TEST(TransitionMask, FilesLoadAndScale) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("fieldfx_prefs_test_mask_" + std::to_string(::getpid()) + ".pgm");
    {
        std::FILE* f = std::fopen(path.string().c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("P5 2 1 255\n", f);
        std::fputc(0, f);
        std::fputc(255, f);
        std::fclose(f);
    }
    Bytes out(4);
    TransitionChoice c = file(path.string());
    c.invert = true;
    std::string error;
    EXPECT_TRUE(renderTransition(c, 4, 1, out.data(), &error)) << error;
    EXPECT_EQ(out, (Bytes{255, 191, 64, 0}));
    std::filesystem::remove(path);
    EXPECT_FALSE(renderTransition(c, 4, 1, out.data(), &error));
    EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
}

}  // namespace
