// Widescreen: which source rows (and fractions) every output row takes, the
// band geometry, the bars, and the host calls of a field.
#include <gtest/gtest.h>

#include <random>

#include "testhost.h"

using namespace testhost;

namespace {

// Each row says which it is: byte 0 = row & 255, byte 1 = row >> 8; byte 2
// alternates 0 (even rows) and 255 (odd rows); byte 3 is 99 everywhere.
FieldSpec numberedRows(int width, int height) {
    FieldSpec f = makeField(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            f.setWord(x, y, pixelWord(uint8_t(y & 255), uint8_t(y >> 8), y % 2 ? 255 : 0, 99));
    return f;
}

// The source row a nearest-row output row copies (-1 when the row is not one
// of numberedRows' rows, or its pixels differ).
int sourceRow(const FieldSpec& out, int y) {
    const uint32_t w = out.word(0, y);
    for (int x = 1; x < out.width; ++x)
        if (out.word(x, y) != w) return -1;
    const int row = int(w & 255) | int((w >> 8) & 255) << 8;
    return w == pixelWord(uint8_t(row & 255), uint8_t(row >> 8), row % 2 ? 255 : 0, 99) ? row : -1;
}

struct WidescreenTest : ::testing::Test {
    Host host;
    Module widescreen{"Widescreen"};

    static constexpr uint32_t kBar = 0x5A6B7C8Du;

    FieldSpec run(const FieldSpec& in, uint32_t conversion, uint32_t smoothing,
                  uint32_t bar = kBar) {
        host.setInput(0, in);
        widescreen.choice(1).value = conversion;
        widescreen.choice(2).value = smoothing;
        widescreen.colour(3).value = bar;
        EXPECT_EQ(widescreen.process(0), 0);
        return host.putField();
    }
    bool isBar(const FieldSpec& out, int y, uint32_t bar = kBar) {
        for (int x = 0; x < out.width; ++x)
            if (out.word(x, y) != bar) return false;
        return true;
    }
};

TEST_F(WidescreenTest, DescribesItsParameters) {
    const ChoiceDescriptor& conversion = widescreen.choice(1);
    EXPECT_EQ(conversion.head.textId, 310);
    EXPECT_EQ(conversion.head.style, 0u);
    EXPECT_EQ(conversion.labels[0], 311u);
    EXPECT_EQ(conversion.labels[1], 312u);
    EXPECT_EQ(conversion.labels[2], 0u);
    EXPECT_EQ(conversion.value, 1u);
    const ChoiceDescriptor& smoothing = widescreen.choice(2);
    EXPECT_EQ(smoothing.head.textId, 320);
    EXPECT_EQ(smoothing.labels[0], 321u);
    EXPECT_EQ(smoothing.labels[1], 322u);
    EXPECT_EQ(smoothing.labels[2], 0u);
    EXPECT_EQ(smoothing.value, 1u);
    const ColourDescriptor& bar = widescreen.colour(3);
    EXPECT_EQ(bar.head.textId, 330);
    EXPECT_EQ(bar.value, BLACK_PIXEL);
}

// ---- Squeeze -------------------------------------------------------------------

TEST_F(WidescreenTest, SqueezeNearestRowsOf288) {
    const FieldSpec out = run(numberedRows(5, 288), 0, 0);
    // The accumulated single-precision position (step 1.3333334) is just
    // below 12 at the tenth band row: row 11, not 12.
    const int expected[] = {0, 1, 2, 4, 5, 6, 8, 9, 10, 11, 13, 14};
    for (int k = 0; k < 12; ++k) EXPECT_EQ(sourceRow(out, 36 + k), expected[k]) << "row " << 36 + k;
    EXPECT_EQ(sourceRow(out, 251), 286);
    for (int y = 0; y < 36; ++y) EXPECT_TRUE(isBar(out, y)) << y;
    for (int y = 252; y < 288; ++y) EXPECT_TRUE(isBar(out, y)) << y;
    for (int y = 36; y < 252; ++y) EXPECT_GE(sourceRow(out, y), 0) << y;
}

TEST_F(WidescreenTest, BandHeightAndTop) {
    struct Size {
        int height, band, top;
    };
    for (const Size s : {Size{288, 216, 36}, Size{240, 180, 30}, Size{576, 432, 72},
                         Size{287, 215, 36}, Size{2, 1, 0}}) {
        const FieldSpec out = run(makeField(3, s.height, pixelWord(1, 2, 3, 4)), 0, 0);
        int first = -1, count = 0;
        for (int y = 0; y < s.height; ++y) {
            if (isBar(out, y)) continue;
            if (first < 0) first = y;
            ++count;
            EXPECT_EQ(out.word(0, y), pixelWord(1, 2, 3, 4)) << s.height << " row " << y;
        }
        EXPECT_EQ(first, s.top) << s.height;
        EXPECT_EQ(count, s.band) << s.height;
    }
}

TEST_F(WidescreenTest, SqueezeBlendsNeighbouringRows) {
    const FieldSpec out = run(numberedRows(3, 288), 0, 1);
    // Positions 0, 1.3333334, 2.6666667, 4: row bytes of i and i + 1 weighted
    // by 1 - frac and frac; byte 2 blends 0 and 255 (or 255 and 0).
    EXPECT_EQ(out.word(0, 36), pixelWord(0, 0, 0, 99));
    // 1.3333334: frac 0.33333337, 2 * frac + 1 * (1 - frac) = 1.3333334 -> 1;
    // byte 2: 0 * frac + 255 * 0.6666666 = 169.99998 -> 169.
    EXPECT_EQ(out.word(0, 37), pixelWord(1, 0, 169, 99));
    // 2.6666667: frac 0.6666667: 3 * frac + 2 * (1 - frac) = 2.6666667 -> 2;
    // byte 2: 255 * 0.6666667 = 170.00002 -> 170.
    EXPECT_EQ(out.word(0, 38), pixelWord(2, 0, 170, 99));
    EXPECT_EQ(out.word(0, 39), pixelWord(4, 0, 0, 99));
    EXPECT_TRUE(isBar(out, 35));
    EXPECT_TRUE(isBar(out, 252));
}

TEST_F(WidescreenTest, SqueezeBlendsInSinglePrecision) {
    FieldSpec in = makeField(1, 288, pixelWord(0, 0, 0, 0));
    in.setWord(0, 1, pixelWord(4, 0, 0, 0));
    in.setWord(0, 2, pixelWord(1, 7, 0, 0));
    in.setWord(0, 3, pixelWord(0, 4, 0, 0));
    const FieldSpec out = run(in, 0, 1);
    // Row 37, frac 0.33333337 and inv 0.6666666: 1 * frac + 4 * inv rounds to
    // 3.0 in single precision (2.99999988 in double).
    EXPECT_EQ(out.at(0, 37)[0], 3);
    // Row 38, frac 0.6666667 and inv 0.33333325: 4 * frac + 7 * inv is 5.0
    // (4.99999976 in double).
    EXPECT_EQ(out.at(0, 38)[1], 5);
}

TEST_F(WidescreenTest, WideRowsBlendAsEachColumnAlone) {
    // Rows of 37 pixels blend sixteen bytes at a time and the last four one
    // by one; a field one pixel wide only ever takes the byte-by-byte path.
    // Every column of a random field must equal that column blended alone.
    std::mt19937 random(21);
    std::uniform_int_distribution<uint32_t> word;
    FieldSpec in = makeField(37, 288);
    for (int y = 0; y < 288; ++y)
        for (int x = 0; x < 37; ++x) in.setWord(x, y, word(random));
    for (uint32_t conversion : {0u, 1u}) {
        const FieldSpec wide = run(in, conversion, 1);
        for (int x = 0; x < 37; ++x) {
            FieldSpec column = makeField(1, 288);
            for (int y = 0; y < 288; ++y) column.setWord(0, y, in.word(x, y));
            const FieldSpec alone = run(column, conversion, 1);
            for (int y = 0; y < 288; ++y)
                ASSERT_EQ(wide.word(x, y), alone.word(0, y)) << conversion << ": " << x << "," << y;
        }
    }
}

TEST_F(WidescreenTest, BarColourShowsInSqueezeOnly) {
    const uint32_t bar = pixelWord(0x10, 0xF0, 0x33, 0xEB);
    host.setScratchFill(pixelWord(7, 7, 7, 7));
    FieldSpec squeezed = run(numberedRows(4, 240), 0, 1, bar);
    for (int y = 0; y < 30; ++y) EXPECT_TRUE(isBar(squeezed, y, bar)) << y;
    for (int y = 210; y < 240; ++y) EXPECT_TRUE(isBar(squeezed, y, bar)) << y;
    FieldSpec stretched = run(numberedRows(4, 240), 1, 1, bar);
    for (int y = 0; y < 240; ++y) EXPECT_FALSE(isBar(stretched, y, bar)) << y;
    for (int y = 0; y < 240; ++y) EXPECT_NE(stretched.word(0, y), pixelWord(7, 7, 7, 7)) << y;
}

// ---- Stretch -------------------------------------------------------------------

TEST_F(WidescreenTest, StretchNearestRowsOf288) {
    const FieldSpec out = run(numberedRows(4, 288), 1, 0);
    // Position 36 + 0.75 r, exact in single precision.
    const int expected[] = {36, 36, 37, 38, 39, 39, 40, 41, 42, 42};
    for (int r = 0; r < 10; ++r) EXPECT_EQ(sourceRow(out, r), expected[r]) << r;
    EXPECT_EQ(sourceRow(out, 287), 251);  // 36 + 215.25
    for (int r = 0; r < 288; ++r) EXPECT_EQ(sourceRow(out, r), 36 + r * 3 / 4) << r;
}

TEST_F(WidescreenTest, StretchBlendFractionsRepeat) {
    const FieldSpec out = run(numberedRows(2, 288), 1, 1);
    // Fractions 0, 0.75, 0.5, 0.25 from rows 36, 36, 37, 38. Byte 0: the row
    // number plus the fraction, truncated; byte 2 from 0 to 255 at 0.75 is
    // 191 (191.25), from 255 to 0 at 0.5 is 127 (127.5), from 0 to 255 at
    // 0.25 is 63 (63.75). Byte 3: equal bytes stay 99.
    EXPECT_EQ(out.word(0, 0), pixelWord(36, 0, 0, 99));
    EXPECT_EQ(out.word(0, 1), pixelWord(36, 0, 191, 99));
    EXPECT_EQ(out.word(0, 2), pixelWord(37, 0, 127, 99));
    EXPECT_EQ(out.word(0, 3), pixelWord(38, 0, 63, 99));
    EXPECT_EQ(out.word(0, 4), pixelWord(39, 0, 255, 99));
    EXPECT_EQ(out.word(1, 1), pixelWord(36, 0, 191, 99));
    // Row 287: position 251.25 between rows 251 (255) and 252 (0).
    EXPECT_EQ(out.word(0, 287), pixelWord(251, 0, 191, 99));
}

TEST_F(WidescreenTest, ChoicesOtherThanZeroStretchAndBlend) {
    const FieldSpec reference = run(numberedRows(3, 100), 1, 1);
    EXPECT_EQ(run(numberedRows(3, 100), 5, 9).pixels, reference.pixels);
}

// ---- Rows outside the field --------------------------------------------------

TEST_F(WidescreenTest, OneRowField) {
    // Stretch: B = 0, T = 0, position 0; the blend's second row is row 0 too.
    FieldSpec out = run(makeField(3, 1, pixelWord(5, 6, 7, 8)), 1, 1);
    EXPECT_EQ(out.word(2, 0), pixelWord(5, 6, 7, 8));
    out = run(makeField(3, 1, pixelWord(5, 6, 7, 8)), 1, 0);
    EXPECT_EQ(out.word(2, 0), pixelWord(5, 6, 7, 8));
    // Squeeze: B = 0, nothing but the bar.
    out = run(makeField(3, 1, pixelWord(5, 6, 7, 8)), 0, 1);
    EXPECT_TRUE(isBar(out, 0));
}

TEST_F(WidescreenTest, TallFieldsNeverReadBelowTheLastRow) {
    // H = 6911: the last band row (864 + 5182) sits at position 6910.0, whose
    // blend partner would be row 6911.
    FieldSpec out = run(numberedRows(1, 6911), 0, 1);
    EXPECT_EQ(out.word(0, 6046), pixelWord(6910 & 255, 6910 >> 8, 0, 99));
    EXPECT_TRUE(isBar(out, 6047));
    // H = 22396: the last band row (2799 + 16796) sits at 22396.0, past the
    // last row; it takes the last row.
    out = run(numberedRows(1, 22396), 0, 0);
    EXPECT_EQ(sourceRow(out, 19595), 22395);
    EXPECT_EQ(sourceRow(out, 19594), 22394);
}

TEST_F(WidescreenTest, EmptyFieldsWriteNothing) {
    FieldSpec empty;
    empty.width = 0;
    empty.height = 4;
    FieldSpec out = run(empty, 0, 1);
    EXPECT_TRUE(out.pixels.empty());
    empty.width = 4;
    empty.height = 0;
    out = run(empty, 1, 1);
    EXPECT_TRUE(out.pixels.empty());
}

// A host that hands out a scratch image smaller than the field gets only the
// rows that fit.
TEST_F(WidescreenTest, SmallerScratchGetsTheRowsThatFit) {
    host.setScratchGeometry(makeField(6, 4));
    // Stretch, H = 10: B = 7, T = 1, positions 1, 1.7, 2.4, 3.1.
    FieldSpec out = run(numberedRows(6, 10), 1, 0);
    ASSERT_EQ(out.height, 4);
    const int stretched[] = {1, 1, 2, 3};
    for (int r = 0; r < 4; ++r) EXPECT_EQ(sourceRow(out, r), stretched[r]) << r;
    // Squeeze: bar row 0, then positions 0, 1.4285715, 2.857143.
    out = run(numberedRows(6, 10), 0, 1);
    EXPECT_TRUE(isBar(out, 0));
    EXPECT_EQ(out.word(0, 1), pixelWord(0, 0, 0, 99));
    EXPECT_EQ(out.word(5, 1), pixelWord(0, 0, 0, 99));
}

// ---- Host calls --------------------------------------------------------------

TEST_F(WidescreenTest, FieldSequence) {
    host.setPutResult(-3);
    host.setInput(0, numberedRows(2, 8));
    EXPECT_EQ(widescreen.process(41), -3);
    EXPECT_EQ(host.calls(), (std::vector<std::string>{"opGetField(0,41)", "opAllocImage(-1,-1,1,0)",
                                                      "opFreeImage(in0)", "opPutField(scratch1)"}));
    EXPECT_EQ(host.outstanding(), 0);
}

TEST_F(WidescreenTest, MissingFieldIsLoggedAtLine90) {
    host.setInput(0, numberedRows(2, 8));
    host.failCall(Service::GetField, 1);
    EXPECT_EQ(widescreen.process(2), -1);
    EXPECT_EQ(host.calls(), (std::vector<std::string>{
                                "opGetField(0,2)", "loggerMessage(4,90,src\\Widescreen,0x0bb40000)"}));
}

TEST_F(WidescreenTest, MissingScratchIsLoggedAtLine96AndTheFieldReleased) {
    host.setInput(0, numberedRows(2, 8));
    host.failCall(Service::AllocImage, 1);
    EXPECT_EQ(widescreen.process(2), -1);
    EXPECT_EQ(host.calls(),
              (std::vector<std::string>{"opGetField(0,2)", "opAllocImage(-1,-1,1,0)",
                                        "loggerMessage(4,96,src\\Widescreen,0x0bb40000)",
                                        "opFreeImage(in0)"}));
    EXPECT_EQ(host.outstanding(), 0);
    EXPECT_EQ(host.badReleases(), 0);
}

// ---- Golden checksums ----------------------------------------------------------

// Whole output fields, recorded once the exact tests above passed.
TEST_F(WidescreenTest, GoldenChecksums) {
    struct Case {
        int width, height;
        uint32_t conversion, smoothing;
        uint64_t sum;
    };
    const Case cases[] = {
        {720, 288, 0, 0, 2897781518108273187ull},  {720, 288, 0, 1, 9257961174342008306ull},
        {720, 288, 1, 0, 10816422551865551107ull}, {720, 288, 1, 1, 8115086520490331683ull},
        {53, 287, 0, 1, 10439010590160948730ull},  {53, 243, 1, 1, 3663281925363410474ull},
    };
    for (const Case& c : cases) {
        const FieldSpec out = run(patternField(c.width, c.height, 17), c.conversion, c.smoothing);
        EXPECT_EQ(checksum(out.pixels), c.sum) << c.width << "x" << c.height << " conversion "
                                               << c.conversion << " smoothing " << c.smoothing;
    }
}

}  // namespace
