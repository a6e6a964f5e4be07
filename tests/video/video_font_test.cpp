// The label font: glyph shapes, case folding, unknown characters, text
// extent and drawing at a scale.
#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "fieldfx/video/font.h"

using namespace fieldfx::video;

TEST(LabelFont, GlyphRowsHoldTheShapeLeftmostColumnInBitFour) {
    const uint8_t a[7] = {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11};
    const uint8_t one[7] = {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(glyphRows('A')[i], a[i]) << i;
        EXPECT_EQ(glyphRows('1')[i], one[i]) << i;
        EXPECT_EQ(glyphRows(' ')[i], 0) << i;
    }
}

TEST(LabelFont, LowerCaseIsDrawnAsUpperCase) {
    EXPECT_EQ(glyphRows('g'), glyphRows('G'));
    EXPECT_EQ(glyphRows('z'), glyphRows('Z'));
}

TEST(LabelFont, UnknownCharactersShowAHollowBox) {
    const uint8_t box[7] = {0x1F, 0x11, 0x11, 0x11, 0x11, 0x11, 0x1F};
    for (char c : {'~', '\t', '@', char(0xC3)})
        for (int i = 0; i < 7; ++i) EXPECT_EQ(glyphRows(c)[i], box[i]);
}

TEST(LabelFont, EveryGlyphFitsFiveColumns) {
    for (int c = 0; c < 256; ++c)
        for (int i = 0; i < 7; ++i) EXPECT_EQ(glyphRows(char(c))[i] & ~0x1F, 0) << c;
}

TEST(LabelFont, TextWidthLeavesNoTrailingBlank) {
    EXPECT_EQ(textWidth("", 3), 0);
    EXPECT_EQ(textWidth("A", 1), 5);
    EXPECT_EQ(textWidth("AB", 1), 11);
    EXPECT_EQ(textWidth("AB", 2), 22);
    EXPECT_EQ(textHeight(3), 21);
}

TEST(LabelFont, DrawTextPlotsEveryLitFontPixelAsAScaledSquare) {
    std::set<std::pair<int, int>> lit;
    drawText("I", 10, 20, 1, [&](int x, int y) { lit.insert({x, y}); });
    // I: 0x0E, five rows of 0x04, 0x0E.
    EXPECT_EQ(lit.size(), 11u);
    EXPECT_TRUE(lit.count({11, 20}) && lit.count({13, 20}) && lit.count({12, 23}));
    EXPECT_FALSE(lit.count({10, 20}) || lit.count({11, 21}));

    std::set<std::pair<int, int>> big;
    drawText("I", 10, 20, 2, [&](int x, int y) { big.insert({x, y}); });
    EXPECT_EQ(big.size(), 44u);
    EXPECT_TRUE(big.count({12, 20}) && big.count({13, 21}) && big.count({15, 21}));
    EXPECT_TRUE(big.count({17, 21}));
    EXPECT_FALSE(big.count({11, 20}) || big.count({18, 20}) || big.count({12, 22}));

    // The second character starts six font pixels to the right.
    std::set<std::pair<int, int>> two;
    drawText(".I", 0, 0, 1, [&](int x, int y) { two.insert({x, y}); });
    EXPECT_TRUE(two.count({7, 0}));   // I's top bar starts at column 6 + 1
    EXPECT_TRUE(two.count({2, 5}));   // the full stop: 0x0C in rows 5 and 6
    EXPECT_EQ(two.size(), 15u);
}
