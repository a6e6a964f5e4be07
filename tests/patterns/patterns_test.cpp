// Built-in wipe patterns: the catalogue, exact small masks, the histogram
// rule, odd sizes and golden checksums.
#include "fieldfx/patterns/patterns.h"

#include <gtest/gtest.h>

#include <array>
#include <set>
#include <string>
#include <vector>

#include "testhost.h"

using namespace fieldfx::patterns;

namespace {

std::vector<uint8_t> render(const char* name, std::vector<int32_t> values, int width, int height,
                            bool invert = false) {
    const Pattern* p = findPattern(name);
    EXPECT_NE(p, nullptr) << name;
    std::vector<uint8_t> out(std::size_t(width) * height, 0xEE);
    std::string error;
    EXPECT_TRUE(renderPattern(*p, values, invert, width, height, out.data(), &error)) << error;
    return out;
}

using Bytes = std::vector<uint8_t>;

// ---- Catalogue -------------------------------------------------------------------

TEST(PatternCatalogue, NumbersFollowTheListWithoutGaps) {
    const auto list = builtinPatterns();
    ASSERT_EQ(list.size(), 19u);
    for (std::size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(list[i].number, i);
        EXPECT_EQ(patternByNumber(int(i)), &list[i]);
        EXPECT_EQ(findPattern(list[i].name), &list[i]);
    }
    EXPECT_EQ(patternByNumber(-1), nullptr);
    EXPECT_EQ(patternByNumber(19), nullptr);
    EXPECT_EQ(findPattern("no-such-pattern"), nullptr);
    EXPECT_EQ(findPattern(""), nullptr);
    EXPECT_STREQ(defaultPattern().name, "wipe-right");
}

TEST(PatternCatalogue, HoldsEveryRequiredShape) {
    for (const char* name :
         {"wipe-right", "wipe-left", "wipe-down", "wipe-up", "wipe-down-right", "wipe-down-left",
          "wipe-up-right", "wipe-up-left", "barn-doors-horizontal", "barn-doors-vertical", "box",
          "diamond", "circle", "ellipse", "clock", "blinds", "checkerboard", "spiral", "dissolve"})
        EXPECT_NE(findPattern(name), nullptr) << name;
}

TEST(PatternCatalogue, SettingsHaveUniqueNamesAndDefaultsInRange) {
    for (const Pattern& p : builtinPatterns()) {
        ASSERT_LE(p.settingCount, kMaxSettings);
        std::set<std::string> names;
        for (int i = 0; i < p.settingCount; ++i) {
            const Setting& s = p.settings[i];
            EXPECT_TRUE(names.insert(s.name).second) << p.name << " " << s.name;
            EXPECT_LE(s.minimum, s.defaultValue) << p.name << " " << s.name;
            EXPECT_LE(s.defaultValue, s.maximum) << p.name << " " << s.name;
            EXPECT_EQ(settingIndex(p, s.name), i);
        }
        EXPECT_EQ(settingIndex(p, "invert"), -1);
        EXPECT_EQ(defaultValues(p).size(), std::size_t(p.settingCount));
    }
}

TEST(PatternCatalogue, ListsTheNamedSettingsWithTheirDefaults) {
    const Pattern& blinds = *findPattern("blinds");
    EXPECT_EQ(defaultValues(blinds), (std::vector<int32_t>{8, 0}));
    EXPECT_EQ(settingIndex(blinds, "count"), 0);
    const Pattern& clock = *findPattern("clock");
    EXPECT_EQ(defaultValues(clock), (std::vector<int32_t>{50, 50, 0, 0}));
    EXPECT_EQ(defaultValues(*findPattern("dissolve")), (std::vector<int32_t>{1, 1}));
    EXPECT_EQ(defaultValues(*findPattern("spiral")), (std::vector<int32_t>{50, 50, 3}));
    EXPECT_EQ(defaultValues(*findPattern("checkerboard")), (std::vector<int32_t>{8, 6}));
    EXPECT_EQ(findPattern("wipe-up")->settingCount, 0);
}

// ---- Exact small masks ---------------------------------------------------------
// Runs of equal keys starting at rank f get min(255, f x 256 / (N - last run)).

TEST(PatternValues, StraightWipesSpreadColumnsAndRows) {
    // Columns are runs of 2 starting at 0, 2, 4, 6; span 8 - 2 = 6.
    EXPECT_EQ(render("wipe-right", {}, 4, 2), (Bytes{0, 85, 170, 255, 0, 85, 170, 255}));
    EXPECT_EQ(render("wipe-left", {}, 4, 2), (Bytes{255, 170, 85, 0, 255, 170, 85, 0}));
    EXPECT_EQ(render("wipe-down", {}, 2, 3), (Bytes{0, 0, 128, 128, 255, 255}));
    EXPECT_EQ(render("wipe-up", {}, 2, 3), (Bytes{255, 255, 128, 128, 0, 0}));
}

TEST(PatternValues, DiagonalWipesStartInTheirCorner) {
    // Keys (2x + 1) x 2 + (2y + 1) x 3: 5 9 13 / 11 15 19, all distinct; span 5.
    EXPECT_EQ(render("wipe-down-right", {}, 3, 2), (Bytes{0, 51, 153, 102, 204, 255}));
    EXPECT_EQ(render("wipe-down-left", {}, 3, 2), (Bytes{153, 51, 0, 255, 204, 102}));
    EXPECT_EQ(render("wipe-up-right", {}, 3, 2), (Bytes{102, 204, 255, 0, 51, 153}));
    EXPECT_EQ(render("wipe-up-left", {}, 3, 2), (Bytes{255, 204, 102, 153, 51, 0}));
}

TEST(PatternValues, BarnDoorsOpenFromTheCentreLine) {
    // |2x + 1 - 5| = 4 2 0 2 4: runs at 0 (1), 1 (2), 3 (2); span 3.
    EXPECT_EQ(render("barn-doors-horizontal", {}, 5, 1), (Bytes{255, 85, 0, 85, 255}));
    EXPECT_EQ(render("barn-doors-vertical", {}, 1, 5), (Bytes{255, 85, 0, 85, 255}));
    EXPECT_EQ(render("barn-doors-vertical", {}, 2, 2), (Bytes{128, 128, 128, 128}));
}

TEST(PatternValues, BoxKeepsTheFrameProportions) {
    // 5 x 3: max(|X| x 3, |Y| x 5) = 600 500 500 500 600 / 600 300 0 300 600:
    // runs at 0 (1), 1 (2), 3 (6), 9 (6); span 9.
    EXPECT_EQ(render("box", {}, 5, 3),
              (Bytes{255, 85, 85, 85, 255, 255, 28, 0, 28, 255, 255, 85, 85, 85, 255}));
}

TEST(PatternValues, CircleDiamondAndEllipseGrowFromTheCentre) {
    const Bytes ring{255, 51, 255, 51, 0, 51, 255, 51, 255};
    EXPECT_EQ(render("circle", {}, 3, 3), ring);
    EXPECT_EQ(render("diamond", {}, 3, 3), ring);
    // 5 x 3: (3X)^2 + (5Y)^2 with X = -200..200, Y = -100..100; runs at
    // 0, 1, 3, 5, 9, 11 (last of 4); span 11.
    EXPECT_EQ(render("ellipse", {}, 5, 3),
              (Bytes{255, 116, 69, 116, 255, 209, 23, 0, 23, 209, 255, 116, 69, 116, 255}));
    // The circle of the same frame is round: (X^2 + Y^2) orders it otherwise.
    EXPECT_NE(render("circle", {}, 5, 3), render("ellipse", {}, 5, 3));
}

TEST(PatternValues, CentreSettingsMoveTheShape) {
    // cx 0, cy 0: the centre is the top left corner of the frame.
    // X = 50, 150, 250; Y = 50, 150: X^2 + Y^2 = 5000 25000 65000 / 25000 45000 85000;
    // runs at 0, 1 (2), 3, 4, 5; span 5.
    EXPECT_EQ(render("circle", {0, 0}, 3, 2), (Bytes{0, 51, 204, 51, 153, 255}));
}

TEST(PatternValues, ClockSweepsClockwiseFromTwelve) {
    // Centre and top share angle 0; then one eighth of a turn per neighbour.
    EXPECT_EQ(render("clock", {}, 3, 3), (Bytes{255, 0, 64, 224, 0, 96, 192, 160, 128}));
    // From three o'clock, counter-clockwise: the centre (angle 0) now sits
    // with twelve o'clock, a quarter turn on.
    EXPECT_EQ(render("clock", {50, 50, 90, 1}, 3, 3),
              (Bytes{128, 64, 32, 160, 64, 0, 192, 224, 255}));
}

TEST(PatternValues, SpiralReachesOutwardTurnByTurn) {
    // 3 x 3, three turns: centre 0, bottom 1.5, left 1.75, top 2, top right
    // 2.125, right 2.25, bottom right 2.375, bottom left 2.625, top left 2.875.
    EXPECT_EQ(render("spiral", {}, 3, 3), (Bytes{255, 96, 128, 64, 0, 160, 224, 32, 192}));
}

TEST(PatternValues, BlindsRepeatPerSlat) {
    EXPECT_EQ(render("blinds", {2, 0}, 1, 8), (Bytes{0, 85, 170, 255, 0, 85, 170, 255}));
    EXPECT_EQ(render("blinds", {2, 1}, 8, 1), (Bytes{0, 85, 170, 255, 0, 85, 170, 255}));
}

TEST(PatternValues, CheckerboardWipesOneColourThenTheOther) {
    EXPECT_EQ(render("checkerboard", {2, 2}, 4, 2), (Bytes{0, 85, 170, 255, 170, 255, 0, 85}));
}

TEST(PatternValues, DissolveIsAReproduciblePermutation) {
    // 256 cells of one pixel: every value exactly once.
    const Bytes a = render("dissolve", {7, 1}, 16, 16);
    EXPECT_EQ(std::set<uint8_t>(a.begin(), a.end()).size(), 256u);
    EXPECT_EQ(render("dissolve", {7, 1}, 16, 16), a);
    EXPECT_NE(render("dissolve", {8, 1}, 16, 16), a);
    // Cells of 2 x 2 change together: four cells take 0, 85, 170, 255.
    const Bytes c = render("dissolve", {7, 2}, 4, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(c[y * 4 + x], c[(y / 2 * 2) * 4 + x / 2 * 2]) << x << "," << y;
    EXPECT_EQ((std::set<uint8_t>{c[0], c[2], c[8], c[10]}), (std::set<uint8_t>{0, 85, 170, 255}));
}

TEST(PatternValues, InvertMirrorsEveryValue) {
    EXPECT_EQ(render("wipe-right", {}, 4, 2, true), (Bytes{255, 170, 85, 0, 255, 170, 85, 0}));
    const Bytes plain = render("spiral", {}, 31, 17);
    const Bytes inverted = render("spiral", {}, 31, 17, true);
    for (std::size_t i = 0; i < plain.size(); ++i) EXPECT_EQ(inverted[i], 255 - plain[i]);
}

// ---- Refusals --------------------------------------------------------------------

TEST(PatternRequests, RefuseBadSettingsAndSizesWithoutWriting) {
    const Pattern& blinds = *findPattern("blinds");
    Bytes out(64, 0xEE);
    std::string error;
    const std::array<int32_t, 1> tooMany{13};
    EXPECT_FALSE(renderPattern(blinds, tooMany, false, 8, 8, out.data(), &error));
    EXPECT_NE(error.find("count"), std::string::npos) << error;
    const std::array<int32_t, 1> tooFew{1};
    EXPECT_FALSE(renderPattern(blinds, tooFew, false, 8, 8, out.data(), nullptr));
    const std::array<int32_t, 3> extra{8, 0, 0};
    EXPECT_FALSE(renderPattern(blinds, extra, false, 8, 8, out.data(), &error));
    EXPECT_FALSE(renderPattern(blinds, {}, false, 0, 8, out.data(), &error));
    EXPECT_FALSE(renderPattern(blinds, {}, false, 8, -1, out.data(), &error));
    EXPECT_FALSE(renderPattern(blinds, {}, false, 32768, 1, out.data(), &error));
    EXPECT_FALSE(renderPattern(blinds, {}, false, 32767, 32767, out.data(), &error));
    EXPECT_EQ(out, Bytes(64, 0xEE));
}

TEST(PatternRequests, MissingTrailingSettingsTakeTheirDefaults) {
    EXPECT_EQ(render("clock", {50, 50}, 9, 7), render("clock", {50, 50, 0, 0}, 9, 7));
    EXPECT_EQ(render("blinds", {}, 5, 40), render("blinds", {8, 0}, 5, 40));
}

// ---- Every pattern: odd sizes, histogram, golden checksums ----------------------------

class EveryPattern : public ::testing::TestWithParam<int> {
protected:
    const Pattern& pattern() const { return *patternByNumber(GetParam()); }
};

std::string nameOf(const ::testing::TestParamInfo<int>& info) {
    std::string name = patternByNumber(info.param)->name;
    for (char& c : name)
        if (c == '-') c = '_';
    return name;
}

// Each of the 16 bands of 16 values holds 6.25 % +- 2 % of the pixels.
void expectEvenHistogram(const Bytes& mask, const std::string& what) {
    std::array<std::size_t, 16> bands{};
    for (uint8_t v : mask) ++bands[v / 16];
    for (int b = 0; b < 16; ++b) {
        const double percent = 100.0 * double(bands[b]) / double(mask.size());
        EXPECT_GE(percent, 4.25) << what << " band " << b;
        EXPECT_LE(percent, 8.25) << what << " band " << b;
    }
    EXPECT_EQ(*std::min_element(mask.begin(), mask.end()), 0) << what;
    EXPECT_EQ(*std::max_element(mask.begin(), mask.end()), 255) << what;
}

Bytes renderAt(const Pattern& p, const std::vector<int32_t>& values, int width, int height) {
    Bytes out(std::size_t(width) * height);  // exactly the size: ASan sees any overrun
    std::string error;
    EXPECT_TRUE(renderPattern(p, values, false, width, height, out.data(), &error)) << error;
    return out;
}

TEST_P(EveryPattern, AdvancesEvenlyAtFrameSize) {
    expectEvenHistogram(renderAt(pattern(), {}, 720, 576), "defaults");
}

TEST_P(EveryPattern, AdvancesEvenlyAcrossItsSettings) {
    const Pattern& p = pattern();
    for (int i = 0; i < p.settingCount; ++i) {
        const Setting& s = p.settings[i];
        for (int32_t v : {s.minimum, s.maximum, (s.minimum + s.maximum) / 3}) {
            std::vector<int32_t> values = defaultValues(p);
            values[i] = v;
            expectEvenHistogram(renderAt(p, values, 720, 576),
                                std::string(s.name) + "=" + std::to_string(v));
        }
    }
}

TEST_P(EveryPattern, DrawsOddSizesInsideTheBuffer) {
    const Pattern& p = pattern();
    EXPECT_EQ(renderAt(p, {}, 1, 1), Bytes{128});  // one pixel, one run
    for (auto [w, h] : {std::pair{1, 9}, {9, 1}, {2, 2}, {13, 5}, {7, 31}, {101, 3}}) {
        const Bytes m = renderAt(p, {}, w, h);
        ASSERT_EQ(m.size(), std::size_t(w) * h);
    }
    expectEvenHistogram(renderAt(p, {}, 719, 575), "719x575");
    expectEvenHistogram(renderAt(p, {}, 333, 211), "333x211");
}

// Recorded from these renders after the exact tests above passed; any changed
// byte of any pattern changes its sum.
TEST_P(EveryPattern, MatchesItsGoldenChecksum) {
    static const uint64_t kGolden[] = {
        0x9c89eba6d20b7583ull,  // wipe-right
        0x669e51400564eb83ull,  // wipe-left
        0xf3e6106037603d83ull,  // wipe-down
        0x8e2c442b556a9a83ull,  // wipe-up
        0x32302169532d2cfcull,  // wipe-down-right
        0x70e7f6cf11262c22ull,  // wipe-down-left
        0x870962c669c75440ull,  // wipe-up-right
        0x0fbe674f0256b4deull,  // wipe-up-left
        0x684fa0eb9e650f83ull,  // barn-doors-horizontal
        0xf1500bf4f2ac4883ull,  // barn-doors-vertical
        0x68b9558aa8b27ecbull,  // box
        0xd240cc6bed76e9fbull,  // diamond
        0xb8bf3dcf7cc2afa3ull,  // circle
        0x6ba2222a6354646bull,  // ellipse
        0xe0d86c41392cdc73ull,  // clock
        0x7eb6a9d1b6315983ull,  // blinds
        0xe47bc866765f6983ull,  // checkerboard
        0x904400408857ad02ull,  // spiral
        0x61dbd614f298b017ull,  // dissolve
    };
    const uint64_t sum = testhost::checksum(renderAt(pattern(), {}, 720, 576));
    ASSERT_LT(std::size_t(GetParam()), std::size(kGolden));
    EXPECT_EQ(sum, kGolden[GetParam()]) << std::hex << "0x" << sum << "ull";
}

INSTANTIATE_TEST_SUITE_P(Builtin, EveryPattern, ::testing::Range(0, 19), nameOf);

}  // namespace
