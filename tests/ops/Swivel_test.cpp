// Swivel: the rotated sample positions, the output bytes in both edge
// variants, the Angle formatter, and the host calls of a field.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>

#include "fieldfx/helpers/pixel/sampler.h"
#include "formatter.h"
#include "rotation.h"
#include "testhost.h"

using namespace testhost;

namespace {

constexpr bool kLastBitLibm = sizeof(void*) == 8;  // sin/cos pinned on x86-64 only

using Pixel = std::array<uint8_t, 4>;

Pixel pixelAt(const FieldSpec& f, int x, int y) {
    const uint8_t* p = f.at(x, y);
    return Pixel{p[0], p[1], p[2], p[3]};
}

// ---- Sample positions --------------------------------------------------------

TEST(SwivelGeometry, ThirtyDegreesOnAFullField) {
    const fieldfx::swivel::Rotation rot = fieldfx::swivel::rotationOf(300, 720, 288);
    // 300 * -3.141592654 = -942.4777962, / 1800.
    EXPECT_EQ(rot.angle, -0x1.0c1523836d8e0p-1);  // -0.5235987756666667
    EXPECT_EQ(rot.cx, 360.0);
    EXPECT_EQ(rot.cy, 144.0);
    if (kLastBitLibm) {
        EXPECT_EQ(rot.sn, -0x1.0000000082335p-1);  // -0.5000000000592083
        EXPECT_EQ(rot.cs, 0x1.bb67ae85399edp-1);   // 0.8660254037502547
    }
    const auto at = [&](int c, int r) { return fieldfx::swivel::samplePoint(rot, fieldfx::swivel::rowTerms(rot, r), c); };
    // dx 240, dy 112.
    const fieldfx::swivel::SamplePoint p = at(600, 200);
    EXPECT_EQ(p.x, 0x1.37ec4ce747beep+9);  // 623.8460969066925
    EXPECT_EQ(p.y, 0x1.08feae2ce792bp+7);  // 132.49742260290927
    // The top-left corner reads from left of the picture.
    const fieldfx::swivel::SamplePoint q = at(0, 0);
    if (kLastBitLibm) {
        EXPECT_EQ(q.x, -0x1.7f139ad7d7024p+6);  // -95.76914536714372
        EXPECT_EQ(q.y, 0x1.b52b5baad6458p+6);   // 109.29234187062082
    }
    EXPECT_LT(q.x, -95.0);
    // The centre maps to itself.
    const fieldfx::swivel::SamplePoint m = at(360, 144);
    EXPECT_EQ(m.x, 360.0);
    EXPECT_EQ(m.y, 144.0);
}

TEST(SwivelGeometry, PositiveAngleTurnsTheOtherWayFromNegative) {
    const fieldfx::swivel::Rotation plus = fieldfx::swivel::rotationOf(450, 21, 11);
    const fieldfx::swivel::Rotation minus = fieldfx::swivel::rotationOf(-450, 21, 11);
    EXPECT_EQ(plus.angle, -0.7853981635);  // 450 * -3.141592654 / 1800
    EXPECT_EQ(minus.angle, 0.7853981635);
    EXPECT_LT(plus.sn, 0.0);
    EXPECT_GT(minus.sn, 0.0);
    // Right of the centre (10.5, 5.5) by 4.5, half a row above it:
    // +450 reads above (y = 5.5 - 2.75 s), -450 below (y = 5.5 + 1.75 s).
    const fieldfx::swivel::SamplePoint a = fieldfx::swivel::samplePoint(plus, fieldfx::swivel::rowTerms(plus, 5), 15);
    const fieldfx::swivel::SamplePoint b = fieldfx::swivel::samplePoint(minus, fieldfx::swivel::rowTerms(minus, 5), 15);
    EXPECT_NEAR(a.y, 3.5554, 1e-4);
    EXPECT_NEAR(a.x, 12.9749, 1e-4);
    EXPECT_NEAR(b.y, 6.7374, 1e-4);
    EXPECT_NEAR(b.x, 14.3891, 1e-4);
}

TEST(SwivelGeometry, OddSizesPutTheCentreBetweenPixels) {
    const fieldfx::swivel::Rotation rot = fieldfx::swivel::rotationOf(0, 5, 3);
    EXPECT_EQ(rot.cx, 2.5);
    EXPECT_EQ(rot.cy, 1.5);
    // Angle 0 leaves every position whole.
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 5; ++c) {
            const fieldfx::swivel::SamplePoint p = fieldfx::swivel::samplePoint(rot, fieldfx::swivel::rowTerms(rot, r), c);
            EXPECT_EQ(p.x, double(c));
            EXPECT_EQ(p.y, double(r));
        }
    }
}

// Along a row the sample's top-left neighbour moves one way in each axis, so
// the columns whose neighbour lies in a box are one run: checked against
// every column, for turns either way, boxes inside, across and outside, and
// rows in any order (each search starts where the row before ended).
TEST(SwivelGeometry, ColumnsWithinABoxAreOneRun) {
    std::mt19937_64 rng(21);
    for (int n = 0; n < 1000; ++n) {
        const int width = 1 + int(rng() % 120), height = 1 + int(rng() % 60);
        const int32_t tenths = n % 50 == 0 ? 0 : int32_t(rng() % 901) - 450;
        const fieldfx::swivel::Rotation rot = fieldfx::swivel::rotationOf(tenths, width, height);
        const int32_t xMin = int32_t(rng() % (width + 20)) - 10;
        const int32_t yMin = int32_t(rng() % (height + 20)) - 10;
        const int32_t xMax = xMin + int32_t(rng() % (width + 10)) - 2;
        const int32_t yMax = yMin + int32_t(rng() % (height + 10)) - 2;
        fieldfx::swivel::BoxColumns box(xMin, xMax, yMin, yMax);
        for (int k = 0; k < 4; ++k) {
            const int32_t r = k == 0 ? 0 : int32_t(rng() % height);
            const fieldfx::swivel::RowTerms row = fieldfx::swivel::rowTerms(rot, r);
            const fieldfx::swivel::ColumnRun run = box.along(rot, row, width);
            ASSERT_LE(run.begin, run.end);
            for (int32_t c = 0; c < width; ++c) {
                const fieldfx::swivel::SamplePoint p = fieldfx::swivel::samplePoint(rot, row, c);
                const int32_t ix = int32_t(p.x), iy = int32_t(p.y);
                ASSERT_EQ(ix >= xMin && ix <= xMax && iy >= yMin && iy <= yMax,
                          c >= run.begin && c < run.end)
                    << "angle " << tenths << " row " << r << " column " << c << " of " << width;
            }
        }
    }
}

// ---- The module ----------------------------------------------------------------

struct SwivelTest : ::testing::Test {
    Host host;
    Module swivel{"Swivel"};

    void configure(int32_t angle, uint32_t edges, uint32_t background = BLACK_PIXEL) {
        swivel.slider(1).value = angle;
        swivel.choice(2).value = edges;
        swivel.colour(3).value = background;
    }
};

TEST_F(SwivelTest, DescribesItsParameters) {
    const SliderDescriptor& a = swivel.slider(1);
    EXPECT_EQ(a.head.textId, 510);
    EXPECT_EQ(a.head.style, 2u);
    EXPECT_EQ(a.auxTextId, 0u);
    EXPECT_NE(a.formatter, nullptr);
    EXPECT_EQ(a.minimum, -450);
    EXPECT_EQ(a.maximum, 450);
    EXPECT_EQ(a.value, 0);
    const ChoiceDescriptor& e = swivel.choice(2);
    EXPECT_EQ(e.head.textId, 520);
    EXPECT_EQ(e.head.style, 0u);
    EXPECT_EQ(e.labels[0], 521u);
    EXPECT_EQ(e.labels[1], 522u);
    EXPECT_EQ(e.labels[2], 0u);
    EXPECT_EQ(e.value, 0u);
    const ColourDescriptor& b = swivel.colour(3);
    EXPECT_EQ(b.head.textId, 530);
    EXPECT_EQ(b.head.style, 0u);
    EXPECT_EQ(b.value, BLACK_PIXEL);
}

// A full field with the active rectangle inset: columns 8..711, rows 2..285.
FieldSpec fullField() {
    FieldSpec f = patternField(720, 288);
    f.setActive(8, 2, 704, 284);
    return f;
}

TEST_F(SwivelTest, ThirtyDegreesClampVariant) {
    host.setInput(0, fullField());
    configure(300, 0);
    ASSERT_EQ(swivel.process(0), 0);
    const FieldSpec out = host.putField();
    // (600, 200) reads (623.846.., 132.497..) from (623, 132) (189, 240, 35, 86),
    // (624, 132) (196, 247, 42, 93), (623, 133) (202, 253, 48, 99) and
    // (624, 133) (209, 4, 55, 106).
    EXPECT_EQ(pixelAt(out, 600, 200), (Pixel{201, 144, 47, 98}));
    // (0, 0) reads left of the picture: the first active column, rows 109 and
    // 110 (193, 244, 39, 90) and (206, 1, 52, 103) at fy 0.29234...
    EXPECT_EQ(pixelAt(out, 0, 0), (Pixel{196, 172, 42, 93}));
    EXPECT_EQ(pixelAt(out, 360, 144), pixelAt(fullField(), 360, 144));
    // (119, 0) reads x 7.2878.., y 79.5423..: column 7 clamps to 8, rows 79 and 80.
    EXPECT_EQ(pixelAt(out, 119, 0), (Pixel{66, 117, 168, 219}));
    // (100, 232) reads row 285.21..: row 286 clamps to 285.
    EXPECT_EQ(pixelAt(out, 100, 232), (Pixel{144, 195, 246, 41}));
}

TEST_F(SwivelTest, ThirtyDegreesBorderVariant) {
    host.setInput(0, fullField());
    configure(300, 1, pixelWord(0x11, 0x22, 0x33, 0x44));
    ASSERT_EQ(swivel.process(0), 0);
    const FieldSpec out = host.putField();
    EXPECT_EQ(pixelAt(out, 600, 200), (Pixel{201, 144, 47, 98}));
    EXPECT_EQ(pixelAt(out, 0, 0), (Pixel{0x11, 0x22, 0x33, 0x44}));
    EXPECT_EQ(pixelAt(out, 360, 144), pixelAt(fullField(), 360, 144));
    // Column 7 is the border: blended into the first active column.
    EXPECT_EQ(pixelAt(out, 119, 0), (Pixel{31, 57, 84, 111}));
    EXPECT_EQ(pixelAt(out, 100, 232), (Pixel{117, 161, 205, 47}));
}

// The expected output of Angle 0: the input inside the active rectangle, and
// outside it the nearest pixel of the rectangle (clamp) or the colour.
FieldSpec angleZeroExpected(const FieldSpec& in, bool border, uint32_t colour) {
    FieldSpec out = in;
    for (int y = 0; y < in.height; ++y) {
        for (int x = 0; x < in.width; ++x) {
            const bool inside = x >= in.activeX && x < in.activeX + in.activeWidth &&
                                y >= in.activeY && y < in.activeY + in.activeHeight;
            if (inside) continue;
            if (border) {
                out.setWord(x, y, colour);
            } else {
                const int cx = std::min(std::max(x, int(in.activeX)), in.activeX + in.activeWidth - 1);
                const int cy = std::min(std::max(y, int(in.activeY)), in.activeY + in.activeHeight - 1);
                out.setWord(x, y, in.word(cx, cy));
            }
        }
    }
    return out;
}

TEST_F(SwivelTest, AngleZeroCopiesInsideAndFillsOutside) {
    FieldSpec in = patternField(11, 7, 3);
    in.setActive(2, 1, 6, 4);
    host.setInput(0, in);
    const uint32_t colour = pixelWord(1, 2, 3, 4);
    configure(0, 0, colour);
    ASSERT_EQ(swivel.process(0), 0);
    EXPECT_EQ(host.putPixels(), angleZeroExpected(in, false, colour).pixels);
    configure(0, 1, colour);
    ASSERT_EQ(swivel.process(0), 0);
    EXPECT_EQ(host.putPixels(), angleZeroExpected(in, true, colour).pixels);
    // Any Edges value other than 0 is the border variant.
    configure(0, 7, colour);
    ASSERT_EQ(swivel.process(0), 0);
    EXPECT_EQ(host.putPixels(), angleZeroExpected(in, true, colour).pixels);
}

TEST_F(SwivelTest, FortyFiveDegreesEitherWay) {
    // Rows 0..4 hold 10, rows 5..10 hold 200: +450 reads pixel (15, 5) from
    // rows 3 and 4, -450 from rows 6 and 7.
    FieldSpec in = makeField(21, 11, pixelWord(10, 10, 10, 10));
    for (int y = 5; y < 11; ++y)
        for (int x = 0; x < 21; ++x) in.setWord(x, y, pixelWord(200, 200, 200, 200));
    host.setInput(0, in);
    configure(450, 0);
    ASSERT_EQ(swivel.process(0), 0);
    EXPECT_EQ(host.putField().word(15, 5), pixelWord(10, 10, 10, 10));
    configure(-450, 0);
    ASSERT_EQ(swivel.process(0), 0);
    EXPECT_EQ(host.putField().word(15, 5), pixelWord(200, 200, 200, 200));
}

TEST_F(SwivelTest, AngleOutsideItsRangeIsClamped) {
    host.setInput(0, patternField(31, 17, 5));
    configure(450, 1);
    ASSERT_EQ(swivel.process(0), 0);
    const std::vector<uint8_t> at450 = host.putPixels();
    configure(9000, 1);
    ASSERT_EQ(swivel.process(0), 0);
    EXPECT_EQ(host.putPixels(), at450);
    configure(-450, 1);
    ASSERT_EQ(swivel.process(0), 0);
    const std::vector<uint8_t> atMinus450 = host.putPixels();
    EXPECT_NE(atMinus450, at450);
    configure(INT32_MIN, 1);
    ASSERT_EQ(swivel.process(0), 0);
    EXPECT_EQ(host.putPixels(), atMinus450);
}

// Every pixel of random fields, turns and rectangles (reaching outside the
// image, or empty) is the single-pixel sampler's at its position, however the
// row was split into runs and whichever lanes sampled them.
TEST_F(SwivelTest, EveryPixelIsTheSamplerAtItsPosition) {
    std::mt19937_64 rng(43);
    for (int n = 0; n < 150; ++n) {
        const int width = 1 + int(rng() % 90), height = 1 + int(rng() % 40);
        FieldSpec in = patternField(width, height, int(rng() % 100));
        in.activeX = int16_t(int(rng() % (width + 6)) - 3);
        in.activeY = int16_t(int(rng() % (height + 6)) - 3);
        in.activeWidth = int16_t(int(rng() % (width + 6)) - 2);
        in.activeHeight = int16_t(int(rng() % (height + 6)) - 2);
        const int32_t tenths = n % 10 == 0 ? 0 : int32_t(rng() % 901) - 450;
        const bool useBorder = rng() % 2 != 0;
        uint8_t border[4];
        const uint32_t colour = uint32_t(rng());
        std::memcpy(border, &colour, 4);
        host.setInput(0, in);
        configure(tenths, useBorder ? 1 : 0, colour);
        ASSERT_EQ(swivel.process(0), 0);
        const FieldSpec out = host.putField();

        const FieldImage image{in.pixels.data(), in.width,       in.height,     in.activeX,
                               in.activeY,       in.activeWidth, in.activeHeight};
        const auto rot = fieldfx::swivel::rotationOf(tenths, width, height);
        const fieldfx::SampleSource clamped = fieldfx::clampSource(&image);
        const fieldfx::SampleSource bordered = fieldfx::borderSource(&image);
        for (int r = 0; r < height; ++r) {
            const fieldfx::swivel::RowTerms row = fieldfx::swivel::rowTerms(rot, r);
            for (int c = 0; c < width; ++c) {
                const fieldfx::swivel::SamplePoint p = fieldfx::swivel::samplePoint(rot, row, c);
                Pixel want{};
                if (useBorder)
                    fieldfx::sampleBilinearBorder(bordered, p.x, p.y, border, want.data());
                else
                    fieldfx::sampleBilinear(clamped, p.x, p.y, want.data());
                ASSERT_EQ(pixelAt(out, c, r), want) << width << "x" << height << " angle "
                                                    << tenths << " edges " << useBorder << " at "
                                                    << c << "," << r;
            }
        }
    }
}

// ---- Active rectangles outside the image ---------------------------------------

TEST_F(SwivelTest, RectangleReachingOutsideTheImageIsCut) {
    FieldSpec in = patternField(13, 9, 1);
    in.setActive(-4, -3, 40, 30);
    host.setInput(0, in);
    configure(0, 0);
    ASSERT_EQ(swivel.process(0), 0);
    EXPECT_EQ(host.putPixels(), in.pixels);  // the whole image is active
    configure(0, 1);
    ASSERT_EQ(swivel.process(0), 0);
    EXPECT_EQ(host.putPixels(), in.pixels);
    configure(-450, 0);  // reads far outside: clamped into the image
    ASSERT_EQ(swivel.process(0), 0);
    configure(-450, 1);
    ASSERT_EQ(swivel.process(0), 0);
}

TEST_F(SwivelTest, EmptyRectangleClampsToTheImageOrShowsOnlyTheColour) {
    FieldSpec in = patternField(13, 9, 2);
    in.activeX = 20;
    in.activeWidth = 0;
    host.setInput(0, in);
    configure(0, 0);
    ASSERT_EQ(swivel.process(0), 0);
    EXPECT_EQ(host.putPixels(), in.pixels);
    const uint32_t colour = pixelWord(9, 8, 7, 6);
    configure(300, 1, colour);
    ASSERT_EQ(swivel.process(0), 0);
    EXPECT_EQ(host.putPixels(), makeField(13, 9, colour).pixels);
}

// ---- Host calls --------------------------------------------------------------

TEST_F(SwivelTest, FieldSequenceWithAnAbortPollPerRow) {
    host.setInput(0, patternField(6, 3));
    host.setPutResult(7);
    host.setAbortResult(1);  // an abort request is never acted on
    configure(120, 0);
    EXPECT_EQ(swivel.process(25), 7);
    EXPECT_EQ(host.calls(), (std::vector<std::string>{
                                "opGetField(0,25)", "opAllocImage(-1,-1,1,0)", "opChkAbort()",
                                "opChkAbort()", "opChkAbort()", "opFreeImage(in0)",
                                "opPutField(scratch1)"}));
    EXPECT_EQ(host.outstanding(), 0);
    EXPECT_EQ(host.badReleases(), 0);
}

TEST_F(SwivelTest, EveryOutputPixelIsWritten) {
    host.setInput(0, makeField(9, 5, pixelWord(50, 60, 70, 80)));
    host.setScratchFill(pixelWord(1, 1, 1, 1));
    configure(-333, 0);
    ASSERT_EQ(swivel.process(0), 0);
    EXPECT_EQ(host.putPixels(), makeField(9, 5, pixelWord(50, 60, 70, 80)).pixels);
}

// A host that hands out a scratch image smaller than the field gets only the
// rows that fit.
TEST_F(SwivelTest, SmallerScratchGetsTheRowsThatFit) {
    const FieldSpec in = patternField(6, 10, 4);
    host.setInput(0, in);
    host.setScratchGeometry(makeField(6, 4));
    configure(0, 0);
    ASSERT_EQ(swivel.process(0), 0);
    EXPECT_EQ(host.putPixels(), std::vector<uint8_t>(in.pixels.begin(), in.pixels.begin() + 6 * 4 * 4));
    configure(300, 1);
    ASSERT_EQ(swivel.process(0), 0);
}

TEST_F(SwivelTest, MissingFieldIsLoggedAtLine90) {
    host.setInput(0, patternField(4, 4));
    host.failCall(Service::GetField, 1);
    EXPECT_EQ(swivel.process(3), -1);
    EXPECT_EQ(host.calls(), (std::vector<std::string>{
                                "opGetField(0,3)", "loggerMessage(4,90,src\\Swivel,0x0bb60000)"}));
    ASSERT_EQ(host.logs().size(), 1u);
    EXPECT_EQ(host.logs()[0].text, " ");
}

TEST_F(SwivelTest, MissingScratchIsLoggedAtLine96AndTheFieldReleased) {
    host.setInput(0, patternField(4, 4));
    host.failCall(Service::AllocImage, 1);
    EXPECT_EQ(swivel.process(3), -1);
    EXPECT_EQ(host.calls(), (std::vector<std::string>{
                                "opGetField(0,3)", "opAllocImage(-1,-1,1,0)",
                                "loggerMessage(4,96,src\\Swivel,0x0bb60000)", "opFreeImage(in0)"}));
    EXPECT_EQ(host.outstanding(), 0);
    EXPECT_EQ(host.badReleases(), 0);
}

// ---- Angle formatter -----------------------------------------------------------

TEST_F(SwivelTest, AngleTextInDegrees) {
    const SliderDescriptor& a = swivel.slider(1);
    const auto text = [&](int32_t v) { return formatSliderValue(a, v).utf8(); };
    EXPECT_EQ(text(-450), "-45.0\xC2\xB0");
    EXPECT_EQ(text(-15), "-1.5\xC2\xB0");
    EXPECT_EQ(text(-10), "-1.0\xC2\xB0");
    EXPECT_EQ(text(0), "0.0\xC2\xB0");
    EXPECT_EQ(text(7), "0.7\xC2\xB0");
    EXPECT_EQ(text(450), "45.0\xC2\xB0");
    EXPECT_EQ(text(300), "30.0\xC2\xB0");
    const FormattedText t = formatSliderValue(a, 450);
    EXPECT_EQ(t.text, u"45.0\u00B0");
    EXPECT_EQ(t.result, 5);
    EXPECT_TRUE(t.terminated);
    EXPECT_TRUE(t.untouched);
}

TEST_F(SwivelTest, SmallNegativeAnglesWriteTheMinusThemselves) {
    const SliderDescriptor& a = swivel.slider(1);
    for (int32_t v = -9; v <= -1; ++v) {
        const FormattedText t = formatSliderValue(a, v);
        const std::u16string expected = u"-0." + std::u16string(1, char16_t(u'0' - v)) + u"\u00B0";
        EXPECT_EQ(t.text, expected) << v;
        EXPECT_EQ(t.result, 4) << v;  // what sxprintf wrote after the minus
        EXPECT_TRUE(t.untouched);
    }
}

TEST_F(SwivelTest, AngleTextIsCutToTheHostsBuffer) {
    const SliderDescriptor& a = swivel.slider(1);
    const FormattedText t = formatSliderValue(a, -450, 4);
    EXPECT_EQ(t.text, u"-45");
    EXPECT_EQ(t.result, 3);
    EXPECT_TRUE(t.untouched);
    const FormattedText s = formatSliderValue(a, -5, 3);
    EXPECT_EQ(s.text, u"-0");
    EXPECT_EQ(s.result, 1);
    EXPECT_TRUE(s.untouched);
    // One character: nothing fits after the minus, and no lone sign is left.
    ::testing::internal::CaptureStderr();
    const FormattedText one = formatSliderValue(a, -5, 1);
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(one.text, u"");
    EXPECT_TRUE(one.terminated);
    EXPECT_EQ(one.result, -1);
    EXPECT_TRUE(one.untouched);
}

// ---- Golden checksums ----------------------------------------------------------

// Whole output fields, recorded once the exact tests above passed: any
// change of a single bit in any pixel shows here.
TEST_F(SwivelTest, GoldenChecksums) {
    struct Case {
        int width, height;
        int32_t angle;
        uint32_t edges;
        uint64_t sum;
    };
    const Case cases[] = {
        {720, 288, 300, 0, 8432386092950852044ull},
        {720, 288, -450, 1, 17571513301556302758ull},
        {97, 61, 7, 0, 6021819557607282618ull},
        {97, 61, -123, 3, 11749462137346682917ull},
    };
    for (const Case& c : cases) {
        FieldSpec in = patternField(c.width, c.height, 11);
        in.setActive(5, 3, c.width - 9, c.height - 5);
        host.setInput(0, in);
        configure(c.angle, c.edges, pixelWord(0x20, 0x90, 0x70, 0xEB));
        ASSERT_EQ(swivel.process(0), 0);
        EXPECT_EQ(checksum(host.putPixels()), c.sum)
            << c.width << "x" << c.height << " angle " << c.angle << " edges " << c.edges;
    }
}

}  // namespace
