// Tunnel: a disc kept around the centre, radial streaks sampled from a ring
// outside its rim, the input mixed back in by distance. Expected bytes are
// derived by hand from the formulas and the neighbour pixels each case plants.
#include <gtest/gtest.h>

#include "testhost.h"

using namespace testhost;

namespace {

struct TunnelTest : ::testing::Test {
    Host host;
    Module tunnel{"Tunnel"};

    void set(int cx, int cy, int radius, int mix, int depth) {
        tunnel.position(1).posX = int16_t(cx);
        tunnel.position(1).posY = int16_t(cy);
        tunnel.slider(2).value = radius;
        tunnel.slider(3).value = mix;
        tunnel.slider(4).value = depth;
    }

    FieldSpec run(const FieldSpec& src, uint32_t flags = 0, int16_t pixelAspect = 1000) {
        host.setInput(0, src);
        EXPECT_EQ(tunnel.process(5, 1, flags, pixelAspect), 0);
        return host.putField();
    }
};

void plant(FieldSpec& f, int x, int y, uint32_t w) { f.setWord(x, y, w); }

TEST_F(TunnelTest, DescribesItsParameters) {
    const PositionDescriptor& c = tunnel.position(1);
    EXPECT_EQ(c.head.textId, 1430);
    EXPECT_EQ(c.head.style, 18u);
    EXPECT_EQ(c.minWidth, 10);
    EXPECT_EQ(c.minHeight, 5);
    EXPECT_EQ(c.maxWidth, 10);
    EXPECT_EQ(c.maxHeight, 5);
    EXPECT_EQ(c.posX, 320);
    EXPECT_EQ(c.posY, 140);
    EXPECT_EQ(c.areaWidth, 10);
    EXPECT_EQ(c.areaHeight, 5);
    const int ids[] = {1410, 1420, 1440}, mins[] = {1, 0, 0}, maxs[] = {300, 100, 20},
              defs[] = {50, 0, 10};
    for (int i = 0; i < 3; ++i) {
        const SliderDescriptor& s = tunnel.slider(i + 2);
        EXPECT_EQ(s.head.textId, ids[i]);
        EXPECT_EQ(s.head.style, 0u);
        EXPECT_EQ(s.auxTextId, uint32_t(ids[i] + 1));
        EXPECT_EQ(s.formatter, nullptr);
        EXPECT_EQ(s.minimum, mins[i]);
        EXPECT_EQ(s.maximum, maxs[i]);
        EXPECT_EQ(s.value, defs[i]);
    }
}

// ---- Host calls -------------------------------------------------------------

TEST_F(TunnelTest, FetchesAllocatesFreesTheInputAndPutsTheScratch) {
    host.setInput(0, patternField(8, 4));
    host.setPutResult(17);
    EXPECT_EQ(tunnel.process(9), 17);
    EXPECT_EQ(host.calls(), (std::vector<std::string>{"opGetField(0,9)", "opAllocImage(-1,-1,1,0)",
                                                      "opFreeImage(in0)", "opPutField(scratch1)"}));
    EXPECT_EQ(host.outstanding(), 0);
    EXPECT_EQ(host.badReleases(), 0);
}

TEST_F(TunnelTest, FailedFetchLogsLine100) {
    host.setInput(0, patternField(8, 4));
    host.failCall(Service::GetField, 1);
    EXPECT_EQ(tunnel.process(3), -1);
    EXPECT_EQ(host.calls(), (std::vector<std::string>{
                                "opGetField(0,3)", "loggerMessage(4,100,src\\Tunnel,0x0b840000)"}));
    ASSERT_EQ(host.logs().size(), 1u);
    EXPECT_EQ(host.logs()[0].text, " ");
}

TEST_F(TunnelTest, FailedScratchLogsLine106AndReleasesTheInput) {
    host.setInput(0, patternField(8, 4));
    host.failCall(Service::AllocImage, 1);
    EXPECT_EQ(tunnel.process(3), -1);
    EXPECT_EQ(host.calls(),
              (std::vector<std::string>{"opGetField(0,3)", "opAllocImage(-1,-1,1,0)",
                                        "loggerMessage(4,106,src\\Tunnel,0x0b840000)",
                                        "opFreeImage(in0)"}));
    EXPECT_EQ(host.outstanding(), 0);
}

TEST_F(TunnelTest, EmptyFieldPaintsNothing) {
    host.setInput(0, makeField(0, 0));
    EXPECT_EQ(tunnel.process(0), 0);
    EXPECT_EQ(host.calls(), (std::vector<std::string>{"opGetField(0,0)", "opAllocImage(-1,-1,1,0)",
                                                      "opFreeImage(in0)", "opPutField(scratch1)"}));
}

// ---- The disc and the ring --------------------------------------------------

// 720 x 288, centre (320, 140), Radius 50, Depth 10, Mix 0: r0 144,
// span 458.0499. Pixel (700, 140) samples (469.1523, 140): fx 0.1523 between
// the planted (469, 140) and (470, 140). Pixel (320, 20) samples
// (320, 66.9521): fy 0.9521 between (320, 66) and (320, 67).
TEST_F(TunnelTest, PaintsTheHandDerivedSamplesOfAFullField) {
    FieldSpec src = makeField(720, 288, pixelWord(1, 2, 3, 4));
    plant(src, 469, 140, pixelWord(0, 100, 255, 16));
    plant(src, 470, 140, pixelWord(200, 0, 255, 116));
    plant(src, 469, 141, pixelWord(77, 77, 77, 77));  // weight 0 (fy = 0)
    plant(src, 470, 141, pixelWord(77, 77, 77, 77));
    plant(src, 320, 66, pixelWord(0, 100, 10, 50));
    plant(src, 320, 67, pixelWord(100, 0, 20, 250));
    plant(src, 321, 66, pixelWord(33, 33, 33, 33));  // weight 0 (fx = 0)
    plant(src, 321, 67, pixelWord(33, 33, 33, 33));
    plant(src, 330, 150, pixelWord(9, 8, 7, 6));
    set(320, 140, 50, 0, 10);
    const FieldSpec out = run(src);
    EXPECT_EQ(out.word(700, 140), pixelWord(30, 84, 255, 31));
    EXPECT_EQ(out.word(320, 20), pixelWord(95, 4, 19, 240));
    EXPECT_EQ(out.word(330, 150), pixelWord(9, 8, 7, 6));  // dist 22.36: inside, copied
}

// At dist = r0 exactly a pixel is copied; one further out samples just
// beyond the rim (e = 1: 464.0218 on the row, 67.978 up the column).
TEST_F(TunnelTest, PixelOnTheRimIsCopied) {
    FieldSpec src = makeField(720, 288, pixelWord(1, 2, 3, 4));
    plant(src, 464, 140, pixelWord(10, 20, 30, 40));
    plant(src, 465, 140, pixelWord(210, 20, 30, 240));
    plant(src, 320, 67, pixelWord(100, 0, 20, 250));
    set(320, 140, 50, 0, 10);
    const FieldSpec out = run(src);
    EXPECT_EQ(out.word(464, 140), pixelWord(10, 20, 30, 40));
    EXPECT_EQ(out.word(465, 140), pixelWord(14, 20, 30, 44));
    EXPECT_EQ(out.word(320, 68), pixelWord(1, 2, 3, 4));
    EXPECT_EQ(out.word(320, 67), pixelWord(3, 1, 3, 9));
}

// Depth 0 samples the rim itself: on the centre row and column every pixel
// beyond the disc repeats the rim pixel of its side.
TEST_F(TunnelTest, DepthZeroStreaksTheRim) {
    const FieldSpec src = patternField(40, 20);
    set(20, 10, 50, 0, 0);  // r0 = 10
    const FieldSpec out = run(src);
    for (int x = 0; x < 40; ++x) {
        const int from = x < 10 ? 10 : x > 30 ? 30 : x;
        EXPECT_EQ(out.word(x, 10), src.word(from, 10)) << x;
    }
    for (int y = 0; y < 20; ++y) {
        const int from = y < 5 ? 5 : y > 15 ? 15 : y;  // dv = 2 (y - 10)
        EXPECT_EQ(out.word(20, y), src.word(20, from)) << y;
    }
}

// Radius below one row's percentage leaves r0 = 0: only the centre pixel is
// copied, and with Depth 0 everything else samples the centre too.
TEST_F(TunnelTest, ZeroRadiusKeepsOnlyTheCentrePixel) {
    const FieldSpec src = patternField(40, 10);
    set(20, 5, 9, 0, 0);
    const FieldSpec out = run(src);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 40; ++x) ASSERT_EQ(out.word(x, y), src.word(20, 5)) << x << "," << y;
}

// The odd field lies one frame line lower: (20, 15) is 11 lines below the
// centre and leaves the disc (sampling row 14.5), (20, 5) is 9 above and stays.
TEST_F(TunnelTest, OddFieldShiftsTheDiscByOneFrameLine) {
    const FieldSpec src = patternField(40, 20);
    set(20, 10, 50, 0, 0);
    FieldSpec out = run(src);
    EXPECT_EQ(out.word(20, 15), src.word(20, 15));
    EXPECT_EQ(out.word(20, 4), src.word(20, 5));
    out = run(src, OPF_ODD_FIELD);
    // Rows 14 and 15 of column 20 hold 66+51i and 79+51i: halfway, truncated.
    EXPECT_EQ(out.word(20, 15), pixelWord(72, 123, 174, 225));
    EXPECT_EQ(out.word(20, 5), src.word(20, 5));
    // (20, 4) samples row 4.5: 192+51i and 205+51i, lane 1 wrapping 243 -> 0.
    EXPECT_EQ(out.word(20, 4), pixelWord(198, 121, 44, 95));
}

TEST_F(TunnelTest, PixelAspectZeroActsAsSquarePixels) {
    const FieldSpec src = patternField(40, 20, 9);
    set(17, 8, 30, 40, 12);
    const FieldSpec square = run(src, OPF_ODD_FIELD, 1000);
    EXPECT_EQ(run(src, OPF_ODD_FIELD, 0).pixels, square.pixels);
    EXPECT_NE(run(src, OPF_ODD_FIELD, 1094).pixels, square.pixels);
}

// Samples never leave the active rectangle, even with the centre outside it,
// while every pixel of the field is painted.
TEST_F(TunnelTest, SamplesStayInTheActiveRectangle) {
    const uint32_t inside = pixelWord(50, 60, 70, 80), outside = pixelWord(1, 2, 3, 4);
    FieldSpec src = makeField(40, 10, outside);
    src.setActive(5, 2, 20, 6);
    for (int y = 2; y < 8; ++y)
        for (int x = 5; x < 25; ++x) src.setWord(x, y, inside);
    set(30, 1, 9, 0, 10);  // centre (35, 3), r0 = 0
    const FieldSpec out = run(src);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 40; ++x)
            ASSERT_EQ(out.word(x, y), x == 35 && y == 3 ? outside : inside) << x << "," << y;
}

// ---- Mix ---------------------------------------------------------------------

// 40 x 10, centre (30, 5), Radius 50: r0 5 and span exactly 25 (the centre
// lies right of the half diagonal). Pixel (20, 5): e 5, rho 7, samples (23, 5)
// whole. Pixel (0, 5): e 25 = span, samples (15, 5).
struct TunnelMix : TunnelTest {
    FieldSpec src = makeField(40, 10, pixelWord(7, 7, 7, 7));
    TunnelMix() {
        plant(src, 20, 5, pixelWord(200, 100, 0, 50));
        plant(src, 23, 5, pixelWord(100, 200, 255, 50));
        plant(src, 0, 5, pixelWord(1, 2, 3, 4));
        plant(src, 15, 5, pixelWord(90, 91, 92, 93));
    }
    FieldSpec mixed(int mix) {
        set(30, 5, 50, mix, 10);
        return run(src);
    }
};

TEST_F(TunnelMix, ZeroTakesTheSample) {
    const FieldSpec out = mixed(0);
    EXPECT_EQ(out.word(20, 5), pixelWord(100, 200, 255, 50));
    EXPECT_EQ(out.word(0, 5), pixelWord(90, 91, 92, 93));
}

TEST_F(TunnelMix, WeighsTheInputByDistance) {
    // w = 50 * 5 / 100 = 2.5: (in * 2.5 + S * 22.5) / 25.
    FieldSpec out = mixed(50);
    EXPECT_EQ(out.word(20, 5), pixelWord(110, 190, 229, 50));
    EXPECT_EQ(out.word(0, 5), pixelWord(45, 46, 47, 48));  // w = 12.5: halfway
    // w = 5: (in * 5 + S * 20) / 25; at e = span the input alone.
    out = mixed(100);
    EXPECT_EQ(out.word(20, 5), pixelWord(120, 180, 204, 50));
    EXPECT_EQ(out.word(0, 5), pixelWord(1, 2, 3, 4));
}

// ---- Out of the usual range ------------------------------------------------------

// 40 x 10, centre (20, 0), Radius 10: span 23.72 but the corner pixel (0, 9)
// lies at e 25.91. With e held at span it shows its own bytes under Mix 100;
// unheld, the weights would give 272, 272, -17 and wrap.
TEST_F(TunnelTest, DistanceBeyondSpanStaysBetweenInputAndSample) {
    FieldSpec src = makeField(40, 10, pixelWord(60, 60, 60, 60));
    plant(src, 0, 9, pixelWord(250, 250, 5, 128));
    for (int y = 3; y <= 4; ++y)  // around the sample (11.14, 3.99)
        for (int x = 11; x <= 12; ++x) plant(src, x, y, pixelWord(10, 10, 250, 128));
    set(20, 0, 10, 100, 10);
    EXPECT_EQ(run(src).word(0, 9), pixelWord(250, 250, 5, 128));
}

// Radius 250 of 10 rows gives r0 25 beyond the reach 24.72: span < 0, and the
// input is kept everywhere, also at pixels outside the disc such as (0, 9).
TEST_F(TunnelTest, NonPositiveSpanKeepsTheInput) {
    const FieldSpec src = patternField(40, 10, 5);
    set(20, 0, 250, 60, 10);
    EXPECT_EQ(run(src).pixels, src.pixels);
    set(20, 0, 300, 0, 20);
    EXPECT_EQ(run(src).pixels, src.pixels);
}

TEST_F(TunnelTest, SliderValuesOutsideTheirRangeAreClamped) {
    const FieldSpec src = patternField(40, 20, 2);
    set(15, 9, 1, 0, 0);
    const FieldSpec low = run(src);
    set(15, 9, -40, -3, -1);
    EXPECT_EQ(run(src).pixels, low.pixels);
    set(15, 9, 300, 100, 20);
    const FieldSpec high = run(src);
    set(15, 9, 9999, 101, 21);
    EXPECT_EQ(run(src).pixels, high.pixels);
}

// The scratch image is laid out like the field whatever its own width: one
// larger than the field keeps the host's fill past the field's bytes, one
// smaller gets the whole rows that fit.
TEST_F(TunnelTest, ScratchOfAnotherSizeIsLaidOutLikeTheField) {
    const FieldSpec src = patternField(40, 20, 4);
    set(12, 6, 40, 30, 8);
    const std::vector<uint8_t> same = run(src).pixels;
    const uint32_t fill = pixelWord(9, 9, 9, 9);
    host.setScratchFill(fill);
    host.setScratchGeometry(makeField(50, 25));
    std::vector<uint8_t> expected = same;
    for (int i = 40 * 20; i < 50 * 25; ++i) expected.insert(expected.end(), {9, 9, 9, 9});
    EXPECT_EQ(run(src).pixels, expected);
    host.setScratchGeometry(makeField(30, 10));  // 300 pixels: 7 rows of 40
    expected.assign(same.begin(), same.begin() + 7 * 40 * 4);
    for (int i = 7 * 40; i < 30 * 10; ++i) expected.insert(expected.end(), {9, 9, 9, 9});
    EXPECT_EQ(run(src).pixels, expected);
}

// ---- Whole fields --------------------------------------------------------------

// Golden checksums of whole output fields, recorded once the exact tests
// above passed (an independent evaluation of the formulas gives the same).
TEST_F(TunnelTest, WholeFieldChecksums) {
    FieldSpec framed = patternField(96, 48, 3);
    framed.setActive(4, 2, 88, 44);
    set(40, 20, 50, 0, 10);
    EXPECT_EQ(checksum(run(patternField(96, 48, 3)).pixels), 0x242c5db7f6d47a81ull);
    set(10, 30, 30, 37, 20);
    EXPECT_EQ(checksum(run(patternField(96, 48, 3), OPF_ODD_FIELD, 1094).pixels),
              0xe6b02f750b46a400ull);
    set(86, 3, 120, 100, 3);
    EXPECT_EQ(checksum(run(framed, 0, 889).pixels), 0xa6c1d576fac096beull);
    set(50, 20, 40, 25, 7);
    EXPECT_EQ(checksum(run(patternField(95, 47, 3)).pixels), 0x04e8c7bb01e863f1ull);
}

}  // namespace
