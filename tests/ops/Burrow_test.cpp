// Burrow: a disc of one clip that opens (or closes) with the progress, the
// other clip streaked from the rim outside it, and a fade over the first
// eighth. Expected bytes are derived by hand from the formulas; most cases use
// uniform inputs so that the sample's value is known wherever it lands.
#include <gtest/gtest.h>

#include "testhost.h"

using namespace testhost;

namespace {

constexpr uint32_t grey(uint8_t v) { return pixelWord(v, v, v, v); }

struct BurrowTest : ::testing::Test {
    Host host;
    Module burrow{"Burrow"};

    void set(int cx, int cy, int depth, uint32_t direction) {
        burrow.position(1).posX = int16_t(cx);
        burrow.position(1).posY = int16_t(cy);
        burrow.slider(2).value = depth;
        burrow.choice(3).value = direction;
    }

    void inputs(FieldSpec in0, FieldSpec in1) {
        host.setInput(0, std::move(in0));
        host.setInput(1, std::move(in1));
    }

    FieldSpec run(uint32_t position, uint32_t duration, uint32_t flags = 0,
                  int16_t pixelAspect = 1000) {
        EXPECT_EQ(burrow.process(position, duration, flags, pixelAspect), 0);
        return host.putField();
    }

    // 40 x 20 with input 0 all 200 and input 1 all 100; centre (20, 10), so
    // the farthest corner lies at Rmax = sqrt(800) = 28.284.
    void uniformSmall(int depth = 10, uint32_t direction = 0) {
        inputs(makeField(40, 20, grey(200)), makeField(40, 20, grey(100)));
        set(20, 10, depth, direction);
    }
};

TEST_F(BurrowTest, DescribesItsParameters) {
    const PositionDescriptor& c = burrow.position(1);
    EXPECT_EQ(c.head.textId, 1510);
    EXPECT_EQ(c.head.style, 18u);
    EXPECT_EQ(c.minWidth, 10);
    EXPECT_EQ(c.maxHeight, 5);
    EXPECT_EQ(c.posX, 320);
    EXPECT_EQ(c.posY, 140);
    EXPECT_EQ(c.areaWidth, 10);
    EXPECT_EQ(c.areaHeight, 5);
    const SliderDescriptor& d = burrow.slider(2);
    EXPECT_EQ(d.head.textId, 1520);
    EXPECT_EQ(d.auxTextId, 1521u);
    EXPECT_EQ(d.formatter, nullptr);
    EXPECT_EQ(d.minimum, 0);
    EXPECT_EQ(d.maximum, 20);
    EXPECT_EQ(d.value, 10);
    const ChoiceDescriptor& dir = burrow.choice(3);
    EXPECT_EQ(dir.head.textId, 1530);
    EXPECT_EQ(dir.head.style, 0u);
    EXPECT_EQ(dir.labels[0], 1531u);
    EXPECT_EQ(dir.labels[1], 1532u);
    EXPECT_EQ(dir.labels[2], 0u);
    EXPECT_EQ(dir.value, 0u);
}

// ---- Host calls -------------------------------------------------------------

TEST_F(BurrowTest, OpeningPaintsInputZeroAndFreesInputOne) {
    uniformSmall(10, 0);
    host.setPutResult(23);
    EXPECT_EQ(burrow.process(4, 16), 23);
    EXPECT_EQ(host.calls(), (std::vector<std::string>{"opGetField(0,4)", "opGetField(1,4)",
                                                      "opFreeImage(in1)", "opPutField(in0)"}));
    EXPECT_EQ(host.outstanding(), 0);
}

TEST_F(BurrowTest, ClosingPaintsInputOneAndFreesInputZero) {
    for (uint32_t direction : {1u, 7u}) {  // any value but 0 closes
        uniformSmall(10, direction);
        host.clearCalls();
        EXPECT_EQ(burrow.process(4, 16), 0);
        EXPECT_EQ(host.calls(), (std::vector<std::string>{"opGetField(1,4)", "opGetField(0,4)",
                                                          "opFreeImage(in0)", "opPutField(in1)"}));
    }
    EXPECT_EQ(host.outstanding(), 0);
}

TEST_F(BurrowTest, EachFailedFetchLogsItsLineAndReleasesWhatWasFetched) {
    struct Case {
        uint32_t direction;
        int nth;
        std::vector<std::string> calls;
    };
    const std::string log = "loggerMessage(4,";
    const Case cases[] = {
        {0, 1, {"opGetField(0,6)", log + "98,src\\Burrow,0x0bb80000)"}},
        {0, 2, {"opGetField(0,6)", "opGetField(1,6)", log + "104,src\\Burrow,0x0bb80000)",
                "opFreeImage(in0)"}},
        {1, 1, {"opGetField(1,6)", log + "116,src\\Burrow,0x0bb80000)"}},
        {1, 2, {"opGetField(1,6)", "opGetField(0,6)", log + "122,src\\Burrow,0x0bb80000)",
                "opFreeImage(in1)"}},
    };
    host.setInput(0, makeField(4, 2));
    host.setInput(1, makeField(4, 2));
    std::size_t logged = 0;
    for (const Case& c : cases) {
        burrow.choice(3).value = c.direction;
        host.clearCalls();
        host.failCall(Service::GetField, c.nth);
        EXPECT_EQ(burrow.process(6, 10), -1);
        EXPECT_EQ(host.calls(), c.calls);
        ASSERT_EQ(host.logs().size(), ++logged);
        EXPECT_EQ(host.logs().back().text, " ");
        EXPECT_EQ(host.outstanding(), 0);
        EXPECT_EQ(host.badReleases(), 0);
    }
}

// ---- Tunnel and fade -----------------------------------------------------------

// 720 x 288, centre (320, 140), Depth 10, D 50: Rmax 497.6103, D8 6.
struct BurrowFullField : BurrowTest {
    BurrowFullField() {
        inputs(makeField(720, 288, grey(200)), makeField(720, 288, grey(100)));
        set(320, 140, 10, 0);
    }
};

// p 25, tunnel phase: r = span = 248.8051; (700, 140) has e 131.1949 and
// T = (200 e + 100 (span - e)) / span = 152.73.
TEST_F(BurrowFullField, TunnelPhaseBlendsTheInputWithTheStreaks) {
    const FieldSpec out = run(25, 50);
    EXPECT_EQ(out.word(700, 140), grey(152));
    EXPECT_EQ(out.word(330, 150), grey(100));  // inside: input 1
}

// p 3, fade phase with weight 3 of 6: inside (200*3 + 100*3) / 6; outside
// T = 174.86 gives (174.86*3 + 600) / 6 = 187.43.
TEST_F(BurrowFullField, FadePhaseWeighsByProgress) {
    const FieldSpec out = run(3, 50);
    EXPECT_EQ(out.word(330, 150), grey(150));
    EXPECT_EQ(out.word(700, 140), grey(187));
}

// The samples of (700, 140): (574.0781, 140) at p 25 and (357.3423, 140) at
// p 3, between the planted right neighbour and the uniform 100.
TEST_F(BurrowFullField, SamplesTheRingInInputOne) {
    FieldSpec in1 = makeField(720, 288, grey(100));
    in1.setWord(575, 140, pixelWord(255, 0, 100, 180));  // S = 112, 92, 100, 106
    in1.setWord(358, 140, pixelWord(0, 255, 200, 20));   // S = 65, 153, 134, 72
    host.setInput(1, in1);
    EXPECT_EQ(run(25, 50).word(700, 140), pixelWord(158, 148, 152, 155));
    EXPECT_EQ(run(3, 50).word(700, 140), pixelWord(183, 194, 191, 183));
}

TEST_F(BurrowTest, FirstFieldOfALongSpanIsInputZeroUnchanged) {
    inputs(patternField(40, 20, 1), patternField(40, 20, 2));
    set(20, 10, 10, 0);
    EXPECT_EQ(run(0, 16).pixels, patternField(40, 20, 1).pixels);
    set(20, 10, 10, 1);  // closing: the last field has t = 0, input 1 unchanged
    EXPECT_EQ(run(15, 16).pixels, patternField(40, 20, 2).pixels);
}

// D 16, D8 2. t 1 still fades: inside (200 + 100) / 2; (30, 10) has
// T = 131.04 and becomes (131.04 + 200) / 2. t 2 is the tunnel phase: inside
// input 1, (30, 10) T = 126.1. The corner (0, 0) lies at Rmax: input 0.
TEST_F(BurrowTest, FadeEndsWhereTReachesAnEighth) {
    uniformSmall();
    FieldSpec out = run(1, 16);
    EXPECT_EQ(out.word(21, 10), grey(150));
    EXPECT_EQ(out.word(30, 10), grey(165));
    EXPECT_EQ(out.word(0, 0), grey(200));
    out = run(2, 16);
    EXPECT_EQ(out.word(21, 10), grey(100));
    EXPECT_EQ(out.word(30, 10), grey(126));
    EXPECT_EQ(out.word(0, 0), grey(200));
}

// D 5: D8 = 0, no fade at all. At t = 0 the disc has radius 0: only the
// centre is input 1, everything else T with e = dist, span = Rmax
// ((21, 10): 103.5, (30, 10): 135.36).
TEST_F(BurrowTest, ShortSpanSkipsTheFade) {
    uniformSmall();
    const FieldSpec out = run(0, 5);
    EXPECT_EQ(out.word(20, 10), grey(100));
    EXPECT_EQ(out.word(21, 10), grey(103));
    EXPECT_EQ(out.word(30, 10), grey(135));
    EXPECT_EQ(out.word(0, 0), grey(200));
}

// Direction 1 at p 0 of 10: t = 9, the disc of input 0 reaches 0.9 Rmax; only
// a margin toward the corners (14 of 800 pixels) is outside, and the corner
// itself, at e = span, shows input 1.
TEST_F(BurrowTest, ClosingStartsWithANearlyFullDisc) {
    const FieldSpec in0 = patternField(40, 20, 1), in1 = patternField(40, 20, 2);
    inputs(in0, in1);
    set(20, 10, 10, 1);
    const FieldSpec out = run(0, 10);
    int inside = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x) inside += out.word(x, y) == in0.word(x, y);
    EXPECT_EQ(inside, 786);
    EXPECT_EQ(out.word(20, 10), in0.word(20, 10));
    EXPECT_EQ(out.word(0, 0), in1.word(0, 0));
}

// Depth 0 samples the rim (34.142, 10) for every pixel right of the disc:
// lane 0 of input 1 there is 114.99, and over A = 0 the byte is
// 114 * (span - e) / span.
TEST_F(BurrowTest, DepthZeroSamplesTheRim) {
    inputs(makeField(40, 20, 0), patternField(40, 20, 2));
    set(20, 10, 0, 0);
    const FieldSpec out = run(4, 8);  // r = Rmax / 2 = span = 14.142
    EXPECT_EQ(out.at(36, 10)[0], 99);  // e 1.858
    EXPECT_EQ(out.at(39, 10)[0], 74);  // e 4.858
}

TEST_F(BurrowTest, OddFieldAndPixelAspectShapeTheDisc) {
    uniformSmall();
    // r = 14.142 at p 4 of 8: (20, 17) is 14 frame lines below, 15 on the odd field.
    EXPECT_EQ(run(4, 8).word(20, 17), grey(100));
    EXPECT_NE(run(4, 8, OPF_ODD_FIELD).word(20, 17), grey(100));
    EXPECT_EQ(run(4, 8, OPF_ODD_FIELD, 0).pixels, run(4, 8, OPF_ODD_FIELD, 1000).pixels);
}

// ---- Out of the usual range ------------------------------------------------------

// A pixel aspect of 3000 puts pixels beyond the farthest corner (e > span):
// the byte keeps the low 8 bits of the truncated tunnel value.
TEST_F(BurrowTest, TunnelValueBeyondAByteWraps) {
    uniformSmall();
    const FieldSpec out = run(6, 8, 0, 3000);  // r 21.213, span 7.071
    EXPECT_EQ(out.word(20, 0), grey(648 & 255));   // e 38.787
    EXPECT_EQ(out.word(20, 19), grey(563 & 255));  // e 32.787
    EXPECT_EQ(out.word(0, 10), grey(100));
}

// Positions at or beyond the duration count as the last field (the fetch
// still asks for the position given); a duration of 0 counts as 1.
TEST_F(BurrowTest, PositionBeyondTheDurationCountsAsTheLastField) {
    inputs(patternField(40, 20, 1), patternField(40, 20, 2));
    for (uint32_t direction : {0u, 1u}) {
        set(20, 10, 10, direction);
        const FieldSpec last = run(4, 5);
        host.clearCalls();
        EXPECT_EQ(run(5, 5).pixels, last.pixels);
        EXPECT_EQ(host.calls()[0], direction == 0 ? "opGetField(0,5)" : "opGetField(1,5)");
        EXPECT_EQ(run(100000, 5).pixels, last.pixels);
        EXPECT_EQ(run(7, 0).pixels, run(0, 1).pixels);
    }
}

// With D = 2^32 - 1 the fade weights exceed 32 bits: D8 = 536870911 and at
// t = 3 the centre is (200 (D8 - 3) + 100 * 3) / D8 = 199. Closing at p 0 the
// span is Rmax / D; with a pixel aspect of 32767 far pixels have tunnel values
// beyond the 32-bit range, whose low byte is 0.
TEST_F(BurrowTest, HugeDurationKeepsTheArithmeticDefined) {
    uniformSmall();
    FieldSpec out = run(3, 0xFFFFFFFFu);
    EXPECT_EQ(out.word(20, 10), grey(199));
    EXPECT_EQ(out.word(21, 10), grey(199));
    EXPECT_EQ(out.word(0, 0), grey(200));
    set(20, 10, 10, 1);
    out = run(0, 0xFFFFFFFFu, 0, 32767);
    EXPECT_EQ(out.word(21, 10), grey(200));
    EXPECT_EQ(out.word(20, 11), grey(0));
    EXPECT_EQ(out.word(0, 0), grey(0));
}

// Samples read input 1 inside input 0's active rectangle (x 5..34, y 2..17),
// whatever input 1's own rectangle says: every byte is as if input 1 were 100
// everywhere. (2, 10) samples (3.13, 10), clamped to column 5.
TEST_F(BurrowTest, SamplesStayInTheActiveRectangleOfThePaintedInput) {
    FieldSpec a = makeField(40, 20, grey(200));
    a.setActive(5, 2, 30, 16);
    FieldSpec b = makeField(40, 20, grey(9));
    b.activeWidth = 1, b.activeHeight = 1;
    for (int y = 2; y < 18; ++y)
        for (int x = 5; x < 35; ++x) b.setWord(x, y, grey(100));
    inputs(a, b);
    set(15, 8, 10, 0);
    const FieldSpec out = run(4, 8);
    EXPECT_EQ(out.word(2, 10), grey(127));
    EXPECT_EQ(out.word(20, 10), grey(100));
    EXPECT_EQ(checksum(out.pixels), 0xcf1238a008cfb9ebull);
}

// A second input smaller than the first is read at its nearest pixels; one
// without pixels leaves the painted input as it is.
TEST_F(BurrowTest, SecondInputOfAnotherSizeIsReadInsideItself) {
    const FieldSpec small = patternField(20, 10, 2);
    inputs(patternField(40, 20, 1), small);
    set(20, 10, 10, 0);
    FieldSpec out = run(5, 8);
    EXPECT_EQ(out.word(20, 10), small.word(19, 9));
    EXPECT_EQ(checksum(out.pixels), 0xce04bab6a80b197eull);
    // Input 0's active rectangle (x 30..39, y 12..19) misses input 1 wholly:
    // samples are bounded by the whole of input 1 instead.
    FieldSpec framed = patternField(40, 20, 1);
    framed.setActive(30, 12, 10, 8);
    host.setInput(0, framed);
    set(-5, -2, 10, 0);
    EXPECT_EQ(checksum(run(5, 8).pixels), 0x002ffb62748a3bddull);
    host.setInput(1, makeField(0, 0));
    EXPECT_EQ(run(5, 8).pixels, framed.pixels);
    EXPECT_EQ(host.outstanding(), 0);
}

// ---- Whole fields --------------------------------------------------------------

// Golden checksums of whole output fields, recorded once the exact tests
// above passed (an independent evaluation of the formulas gives the same).
TEST_F(BurrowTest, WholeFieldChecksums) {
    inputs(patternField(96, 48, 1), patternField(96, 48, 2));
    set(40, 20, 10, 0);
    EXPECT_EQ(checksum(run(25, 50).pixels), 0x368fd1f964acd9b6ull);
    set(10, 30, 20, 1);
    EXPECT_EQ(checksum(run(2, 40, OPF_ODD_FIELD, 1094).pixels), 0xa0192f0a5fed91daull);
    FieldSpec f0 = patternField(96, 48, 1), f1 = patternField(96, 48, 2);
    f0.activeX = f1.activeX = 4, f0.activeY = f1.activeY = 2;
    f0.activeWidth = f1.activeWidth = 88, f0.activeHeight = f1.activeHeight = 44;
    inputs(f0, f1);
    set(86, 3, 3, 0);
    EXPECT_EQ(checksum(run(5, 64, 0, 889).pixels), 0xa8b30678b6e2c5a1ull);
    set(86, 3, 3, 1);
    EXPECT_EQ(checksum(run(5, 64, OPF_ODD_FIELD, 889).pixels), 0x8c8f61c2c5a50cf7ull);
    inputs(patternField(95, 47, 1), patternField(95, 47, 2));  // odd width: W / 2 truncates
    set(20, 20, 7, 0);
    EXPECT_EQ(checksum(run(9, 30).pixels), 0x1752404f49cb5bb0ull);
}

}  // namespace
