// Iris: a soft circle wipe through a distance map kept from the first field
// to OP_CLOSE.
#include <gtest/gtest.h>

#include "distance_map.h"
#include "testhost.h"

using namespace testhost;
namespace iris = fieldfx::iris;

namespace {

constexpr uint32_t kA = pixelWord(200, 10, 255, 0);  // outgoing clip
constexpr uint32_t kB = pixelWord(100, 250, 0, 255);  // incoming clip

struct IrisTest : ::testing::Test {
    Host host;
    Module iris{"Iris"};

    IrisTest() {
        iris.close();  // no map left over from another test
        iris.slider(2).value = 0;
        iris.choice(3).value = 0;
    }
    ~IrisTest() override { iris.close(); }

    void frame(int width, int height) {
        host.setInput(0, makeField(width, height, kA));
        host.setInput(1, makeField(width, height, kB));
    }

    void centreAt(int x, int y) {
        iris.position(1).posX = int16_t(x);
        iris.position(1).posY = int16_t(y);
    }

    // Runs field `position` of a span of 255 fields: with Softness 0 the
    // threshold is then the position itself, and a pixel shows B exactly
    // when its map byte is below it.
    FieldSpec run(uint32_t position, uint32_t flags = 0, int16_t pixelAspect = 1000) {
        EXPECT_EQ(iris.process(position, 255, flags, pixelAspect), 0);
        return host.putField();
    }

    // 'A' or 'B' for each row of column `x` after run().
    std::string column(uint32_t position, int x = 0, uint32_t flags = 0,
                       int16_t pixelAspect = 1000) {
        const FieldSpec out = run(position, flags, pixelAspect);
        std::string s;
        for (int y = 0; y < out.height; ++y) s += shown(out, x, y);
        return s;
    }

    static char shown(const FieldSpec& out, int x, int y) {
        const uint32_t w = out.word(x, y);
        return w == kA ? 'A' : w == kB ? 'B' : '?';
    }

    // The map byte of pixel (x, y) is v: the pixel keeps A at threshold v
    // and takes B at threshold v + 1.
    void expectMapByte(int x, int y, int v, uint32_t flags = 0) {
        EXPECT_EQ(shown(run(uint32_t(v), flags), x, y), 'A') << x << "," << y << " below " << v;
        EXPECT_EQ(shown(run(uint32_t(v + 1), flags), x, y), 'B') << x << "," << y << " above " << v;
    }
};

// ---- Arithmetic --------------------------------------------------------------

TEST(IrisArithmetic, MatchesHandDerivedValues) {
    // 720 x 288 fields, centre (320, 140): cx 320, cy2 280, mx 401, my 297.
    EXPECT_EQ(iris::mapRadius(720, 576, 320, 280), 499);  // sqrt(249010) = 499.009...
    EXPECT_EQ(iris::lineDistance(280, 280, 1000), 0.0);
    EXPECT_EQ(iris::centreDistance(0.0, 700, 320), 380.0);
    EXPECT_EQ(iris::mapValue(380.0, 499, false), 194);  // 194.188...
    EXPECT_EQ(iris::mapValue(380.0, 499, true), 60);    // 60.81...
    EXPECT_EQ(iris::softLevels(20), 51);
    EXPECT_EQ(iris::threshold(51, 25, 50), 153);
    EXPECT_EQ(iris::blendEdge(200, 100, 18, 33, 51), 135);  // 6900 / 51
    EXPECT_EQ(iris::threshold(51, 49, 50), 299);            // the last field
    // The pixel aspect scales the vertical distance before it is squared.
    EXPECT_EQ(iris::lineDistance(290, 280, 1500), 15.0);
    EXPECT_EQ(iris::centreDistance(15.0, 340, 320), 25.0);
}

TEST(IrisArithmetic, ThresholdProductWrapsAsThirtyTwoBits) {
    // 306 x 14035947 = 4294999782 = 2^32 + 32486.
    EXPECT_EQ(iris::threshold(51, 14035947u, 1), 32486);
    // The quotient itself is unsigned: far past the span it stays large.
    EXPECT_EQ(iris::threshold(255, 0xFFFFFFFFu, 0xFFFFFFFFu), 0);  // 510 x (2^32 - 1) wraps to 2^32 - 510
    EXPECT_EQ(iris::threshold(255, 100, 50), 1020);
    EXPECT_EQ(iris::threshold(0, 16843009u, 1), 4294967295ll);  // 255 x 16843009 = 2^32 - 1
}

TEST(IrisArithmetic, MapValuesBeyondTheRadiusAreClampedNotWrapped) {
    EXPECT_EQ(iris::mapValue(28.0, 12, false), 255);  // 595: low 8 bits would give 83
    EXPECT_EQ(iris::mapValue(28.0, 12, true), 0);     // -340: low 8 bits would give 172
    EXPECT_EQ(iris::mapValue(12.0, 12, false), 255);
    EXPECT_EQ(iris::mapValue(12.0, 12, true), 0);
    EXPECT_EQ(iris::mapValue(11.99, 12, true), 0);  // 0.2125 truncates to 0
}

TEST(IrisArithmetic, RadiusOfACentreFarOffTheFrameDoesNotOverflow) {
    // mx = 32767 + 65534 + 1 = 98302, my = 65534 + 131068 + 1 = 196603:
    // squares beyond 2^31, sqrt(48316022813) = 219809.06
    EXPECT_EQ(iris::mapRadius(32767, 65534, -65534, -131068), 219809);
}

// ---- Description -------------------------------------------------------------

TEST_F(IrisTest, DescribesItsParameters) {
    const PositionDescriptor& c = iris.position(1);
    EXPECT_EQ(c.head.textId, 1710);
    EXPECT_EQ(c.head.style, 18u);
    EXPECT_EQ(c.minWidth, 10);
    EXPECT_EQ(c.minHeight, 5);
    EXPECT_EQ(c.maxWidth, 10);
    EXPECT_EQ(c.maxHeight, 5);
    EXPECT_EQ(c.posX, 320);
    EXPECT_EQ(c.posY, 140);
    EXPECT_EQ(c.areaWidth, 10);
    EXPECT_EQ(c.areaHeight, 5);
    const SliderDescriptor& s = iris.slider(2);
    EXPECT_EQ(s.head.textId, 1720);
    EXPECT_EQ(s.head.style, 0u);
    EXPECT_EQ(s.auxTextId, 1721u);
    EXPECT_EQ(s.formatter, nullptr);
    EXPECT_EQ(s.minimum, 0);
    EXPECT_EQ(s.maximum, 100);
    const ChoiceDescriptor& d = iris.choice(3);
    EXPECT_EQ(d.head.textId, 1730);
    EXPECT_EQ(d.head.style, 0u);
    EXPECT_EQ(d.labels[0], 1731u);
    EXPECT_EQ(d.labels[1], 1732u);
    EXPECT_EQ(d.labels[2], 0u);
}

TEST(IrisDefaults, SoftnessTwentyClosingAroundTheCentre) {
    Module iris("Iris");
    EXPECT_EQ(iris.slider(2).value, 20);
    EXPECT_EQ(iris.choice(3).value, 1u);
}

// ---- The map -----------------------------------------------------------------

TEST_F(IrisTest, MapBytesOpeningAroundTheDefaultCentre) {
    frame(720, 288);
    iris.choice(3).value = 0;
    expectMapByte(700, 140, 194);  // frame line 280, d = 380
    expectMapByte(0, 0, 217);      // d = 425.2: 216 if R were 500
    expectMapByte(719, 287, 253);  // frame line 574, d = 496.2: 254 if R were 498
}

TEST_F(IrisTest, MapBytesClosingAroundTheDefaultCentre) {
    frame(720, 288);
    iris.choice(3).value = 1;
    expectMapByte(700, 140, 60);
    expectMapByte(320, 140, 255);  // the centre
}

TEST_F(IrisTest, DirectionOtherThanZeroCloses) {
    frame(720, 288);
    iris.choice(3).value = 7;
    expectMapByte(700, 140, 60);
}

TEST_F(IrisTest, OddFieldReadsTheFrameLineBelow) {
    // 8 x 4 fields, centre (0, 0): R = trunc(sqrt(9^2 + 9^2)) = 12, and
    // column 0 of frame line l holds trunc(l x 255 / 12): 0 21 42 63 85 106 127 148.
    frame(8, 4);
    centreAt(0, 0);
    iris.choice(3).value = 0;
    EXPECT_EQ(column(43), "BBAA");                 // lines 0 2 4 6: 0 42 85 127
    EXPECT_EQ(column(43, 0, OPF_ODD_FIELD), "BAAA");  // lines 1 3 5 7: 21 63 106 148
    EXPECT_EQ(column(107, 0, OPF_ODD_FIELD), "BBBA");
    EXPECT_EQ(column(43, 0, OPF_SCALE), "BBAA");  // only bit 1 selects the odd field
}

TEST_F(IrisTest, PixelAspectAboveThousandClampsTheMap) {
    // pa 4000: column 0 of line l is at d = 4l, 85l of 255: lines 0 2 4 6 give
    // 0 170 340 510, clamped to 0 170 255 255.
    frame(8, 4);
    centreAt(0, 0);
    iris.choice(3).value = 0;
    EXPECT_EQ(column(255, 0, 0, 4000), "BBAA");
    iris.close();
    // Closing: 255 85 -85 -255, clamped to 255 85 0 0.
    iris.choice(3).value = 1;
    EXPECT_EQ(column(1, 0, 0, 4000), "AABB");
}

TEST_F(IrisTest, PixelAspectZeroIsSquarePixels) {
    frame(8, 4);
    centreAt(0, 0);
    iris.choice(3).value = 0;
    EXPECT_EQ(column(43, 0, 0, 0), "BBAA");
    EXPECT_EQ(column(22, 0, OPF_ODD_FIELD, 0), "BAAA");
}

TEST_F(IrisTest, CentreCountsFromTheActiveRectangle) {
    // Active rectangle at (2, 1): centre (1, 0) is column 3, frame line 2.
    FieldSpec a = makeField(8, 4, kA), b = makeField(8, 4, kB);
    a.setActive(2, 1, 6, 3);
    host.setInput(0, a);
    host.setInput(1, b);
    centreAt(1, 0);
    iris.choice(3).value = 0;
    // The centre pixel (3, 1) has map byte 0; all others are at least 1 pixel
    // away: mx = 6, my = 7, R = 9, one pixel is trunc(255 / 9) = 28.
    const FieldSpec out = run(1);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(shown(out, x, y), x == 3 && y == 1 ? 'B' : 'A') << x << "," << y;
    const FieldSpec more = run(29);
    EXPECT_EQ(shown(more, 4, 1), 'B');  // one column right: 28
    EXPECT_EQ(shown(more, 5, 1), 'A');  // two: 56
    EXPECT_EQ(shown(more, 3, 2), 'A');  // one row down is two frame lines: 56
}

// ---- The blend ---------------------------------------------------------------

TEST_F(IrisTest, MidSpanBlendsTheSoftEdge) {
    // Softness 20, span 50, field 25: soft 51, thr 153, thr - soft 102.
    frame(720, 288);
    iris.choice(3).value = 0;
    iris.slider(2).value = 20;
    EXPECT_EQ(iris.process(25, 50), 0);
    const FieldSpec out = host.putField();
    EXPECT_EQ(out.word(700, 140), kA);  // m = 194 >= thr
    EXPECT_EQ(out.word(497, 140), kB);  // m = 90 < 102
    // m = 120 (d = 235): wa = 18, wb = 33 on all four bytes, opacity included.
    EXPECT_EQ(out.word(555, 140), pixelWord(135, 165, 90, 165));
    EXPECT_EQ(out.word(555, 140), pixelWord((200 * 18 + 100 * 33) / 51, (10 * 18 + 250 * 33) / 51,
                                            (255 * 18) / 51, (255 * 33) / 51));
    EXPECT_EQ(out.word(320, 140), kB);  // the centre, m = 0
}

TEST_F(IrisTest, LastFieldStillBlendsTheOuterMapValues) {
    // Field 49 of 50: thr = 306 x 49 / 50 = 299, thr - soft = 248.
    frame(720, 288);
    iris.choice(3).value = 0;
    iris.slider(2).value = 20;
    EXPECT_EQ(iris.process(49, 50), 0);
    const FieldSpec out = host.putField();
    EXPECT_EQ(out.word(714, 0), kB);                             // m = 247
    EXPECT_EQ(out.word(717, 0), kB);                             // m = 248: wa 0
    EXPECT_EQ(out.word(719, 282), pixelWord(103, 240, 10, 245));  // m = 250: wa 2, wb 49
    EXPECT_EQ(out.word(719, 287), pixelWord(109, 226, 25, 230));  // m = 253: wa 5, wb 46
}

TEST_F(IrisTest, FirstFieldKeepsTheOutgoingClip) {
    host.setInput(0, patternField(40, 20, 3));
    host.setInput(1, patternField(40, 20, 9));
    centreAt(20, 10);
    iris.slider(2).value = 100;
    EXPECT_EQ(iris.process(0, 50), 0);
    EXPECT_EQ(host.putPixels(), patternField(40, 20, 3).pixels);
    EXPECT_EQ(host.calls(), (std::vector<std::string>{"opGetField(0,0)", "opGetField(1,0)",
                                                      "opFreeImage(in1)", "opPutField(in0)"}));
    EXPECT_EQ(host.outstanding(), 0);
}

TEST_F(IrisTest, SoftnessZeroIsAHardEdge) {
    frame(8, 4);
    centreAt(0, 0);
    iris.choice(3).value = 0;
    iris.slider(2).value = 0;
    // Span 50, field 10: thr = 255 x 10 / 50 = 51: map bytes 0 and 42 below it.
    EXPECT_EQ(iris.process(10, 50), 0);
    const FieldSpec out = host.putField();
    std::string col;
    for (int y = 0; y < 4; ++y) col += shown(out, 0, y);
    EXPECT_EQ(col, "BBAA");
}

TEST_F(IrisTest, SoftnessIsReadAnewEveryField) {
    frame(720, 288);
    iris.choice(3).value = 0;
    iris.slider(2).value = 0;
    EXPECT_EQ(iris.process(25, 50), 0);  // thr = 127: m = 120 takes B outright
    EXPECT_EQ(host.putField().word(555, 140), kB);
    iris.slider(2).value = 20;
    EXPECT_EQ(iris.process(25, 50), 0);
    EXPECT_EQ(host.putField().word(555, 140), pixelWord(135, 165, 90, 165));
}

TEST_F(IrisTest, SoftnessOutsideItsRangeIsClamped) {
    host.setInput(0, patternField(40, 20, 3));
    host.setInput(1, patternField(40, 20, 9));
    centreAt(20, 10);
    iris.choice(3).value = 0;
    auto field = [&](int32_t softness) {
        iris.slider(2).value = softness;
        EXPECT_EQ(iris.process(20, 50), 0);
        return host.putPixels();
    };
    EXPECT_EQ(field(150), field(100));  // soft would be 382
    EXPECT_EQ(field(-20), field(0));
    EXPECT_NE(field(100), field(0));
}

TEST_F(IrisTest, PixelsOutsideTheActiveRectangleKeepTheOutgoingClip) {
    FieldSpec a = makeField(8, 4, kA);
    a.setActive(2, 1, 4, 2);
    host.setInput(0, a);
    host.setInput(1, makeField(8, 4, kB));
    centreAt(0, 0);
    // thr 255: every map byte of this small frame (at most 200) is below.
    const FieldSpec out = run(255);
    std::vector<std::string> rows;
    for (int y = 0; y < 4; ++y) {
        std::string row;
        for (int x = 0; x < 8; ++x) row += shown(out, x, y);
        rows.push_back(row);
    }
    EXPECT_EQ(rows, (std::vector<std::string>{"AAAAAAAA", "AABBBBAA", "AABBBBAA", "AAAAAAAA"}));
}

TEST_F(IrisTest, ActiveRectangleReachingOutsideTheFieldPaintsOnlyInside) {
    FieldSpec a = makeField(8, 4, kA);
    a.setActive(5, 2, 100, 100);
    host.setInput(0, a);
    host.setInput(1, makeField(8, 4, kB));
    centreAt(0, 0);
    const FieldSpec out = run(255);
    std::vector<std::string> rows;
    for (int y = 0; y < 4; ++y) {
        std::string row;
        for (int x = 0; x < 8; ++x) row += shown(out, x, y);
        rows.push_back(row);
    }
    EXPECT_EQ(rows, (std::vector<std::string>{"AAAAAAAA", "AAAAAAAA", "AAAAABBB", "AAAAABBB"}));
}

TEST_F(IrisTest, SmallerIncomingFieldIsNeverReadOutside) {
    host.setInput(0, makeField(8, 4, kA));
    host.setInput(1, makeField(4, 2, kB));
    centreAt(0, 0);
    const FieldSpec out = run(255);
    std::vector<std::string> rows;
    for (int y = 0; y < 4; ++y) {
        std::string row;
        for (int x = 0; x < 8; ++x) row += shown(out, x, y);
        rows.push_back(row);
    }
    EXPECT_EQ(rows, (std::vector<std::string>{"BBBBAAAA", "BBBBAAAA", "AAAAAAAA", "AAAAAAAA"}));
}

TEST_F(IrisTest, EmptyFieldIsHandedBackWithoutAMap) {
    frame(0, 0);
    EXPECT_EQ(iris.process(3, 10), 0);
    EXPECT_EQ(host.calls(), (std::vector<std::string>{"opGetField(0,3)", "opGetField(1,3)",
                                                      "opFreeImage(in1)", "opPutField(in0)"}));
}

TEST_F(IrisTest, ZeroDurationIsOneField) {
    frame(8, 4);
    centreAt(0, 0);
    EXPECT_EQ(iris.process(0, 0), 0);  // thr 0
    EXPECT_EQ(host.putField().word(0, 0), kA);
    EXPECT_EQ(iris.process(1, 0), 0);  // thr 255 x 1 / 1
    EXPECT_EQ(host.putField().word(0, 0), kB);
}

TEST_F(IrisTest, ReturnsThePutResult) {
    frame(8, 4);
    host.setPutResult(-9);
    EXPECT_EQ(iris.process(1, 2), -9);
}

// ---- Map lifecycle -------------------------------------------------------------
// The small frame of OddFieldReadsTheFrameLineBelow: at threshold 200 column 0
// reads "BBBB" from an opening map (0 42 85 127) and "AABB" from a closing
// one (255 212 170 127).

struct IrisLifecycle : IrisTest {
    IrisLifecycle() {
        frame(8, 4);
        centreAt(0, 0);
        iris.choice(3).value = 0;
    }
};

TEST_F(IrisLifecycle, MapIsBuiltAtTheFirstFieldAndKeptUntilClose) {
    EXPECT_EQ(column(200), "BBBB");
    // Centre, Direction and pixel aspect of later fields do not reach it.
    iris.choice(3).value = 1;
    centreAt(7, 3);
    EXPECT_EQ(column(200, 0, 0, 4000), "BBBB");
    centreAt(0, 0);
    EXPECT_EQ(column(200), "BBBB");
    // After OP_CLOSE the next field builds a new one from the values of then.
    EXPECT_EQ(iris.close(), 0);
    EXPECT_EQ(column(200), "AABB");
}

TEST_F(IrisLifecycle, CloseTwiceFreesOnce) {
    EXPECT_EQ(column(200), "BBBB");
    host.clearCalls();
    EXPECT_EQ(iris.close(), 0);
    EXPECT_EQ(iris.close(), 0);  // a second free would stop the sanitizer build
    EXPECT_TRUE(host.calls().empty());
    iris.choice(3).value = 1;
    EXPECT_EQ(column(200), "AABB");
}

TEST_F(IrisLifecycle, OpenReleasesAMapStillHeldAndStartsWithout) {
    EXPECT_EQ(column(200), "BBBB");
    iris.choice(3).value = 1;
    host.clearCalls();
    EXPECT_EQ(iris.open(), 0);  // the old map is freed (leak checking would see it)
    EXPECT_TRUE(host.calls().empty());
    EXPECT_EQ(column(200), "AABB");
    EXPECT_EQ(iris.close(), 0);
    EXPECT_EQ(iris.open(), 0);
    iris.choice(3).value = 0;
    EXPECT_EQ(column(200), "BBBB");
}

TEST_F(IrisLifecycle, FieldOfAnotherSizeRebuildsTheMap) {
    EXPECT_EQ(column(60), "BBAA");  // 0 42 85 127
    // 16 x 4: mx 17, my 9, R = 19; lines 0 2 4 6 give 0 26 53 80.
    frame(16, 4);
    EXPECT_EQ(column(60), "BBBA");
    // 4 x 2: mx 5, my 5, R = 7; lines 0 2 give 0 72. The 16-wide map would
    // give line 1 (21) for row 1.
    frame(4, 2);
    EXPECT_EQ(column(60), "BA");
    // Same width, other height.
    frame(4, 3);  // mx 5, my 7, R = 8; lines 0 2 4: 0 63 127
    EXPECT_EQ(column(64), "BBA");
}

TEST_F(IrisLifecycle, FailedFieldBuildsNoMap) {
    host.failCall(Service::GetField, 2);
    EXPECT_EQ(iris.process(3, 255), -1);
    iris.choice(3).value = 1;  // the first field that succeeds takes this
    EXPECT_EQ(column(200), "AABB");
}

// ---- Host calls and failures ----------------------------------------------------

TEST_F(IrisTest, FetchesBothFieldsFreesTheIncomingAndPutsTheOutgoing) {
    frame(8, 4);
    EXPECT_EQ(iris.process(6, 10), 0);
    EXPECT_EQ(host.calls(), (std::vector<std::string>{"opGetField(0,6)", "opGetField(1,6)",
                                                      "opFreeImage(in1)", "opPutField(in0)"}));
    EXPECT_EQ(host.outstanding(), 0);
    EXPECT_EQ(host.badReleases(), 0);
}

TEST_F(IrisTest, MissingOutgoingFieldLogsLine84) {
    frame(8, 4);
    host.failCall(Service::GetField, 1);
    EXPECT_EQ(iris.process(5, 10), -1);
    EXPECT_EQ(host.calls(), (std::vector<std::string>{
                                "opGetField(0,5)", "loggerMessage(4,84,src\\Iris,0x0bba0000)"}));
    ASSERT_EQ(host.logs().size(), 1u);
    EXPECT_EQ(host.logs()[0].text, " ");
    EXPECT_EQ(host.outstanding(), 0);
}

TEST_F(IrisTest, MissingIncomingFieldLogsLine90AndReleasesTheOutgoing) {
    frame(8, 4);
    host.failCall(Service::GetField, 2);
    EXPECT_EQ(iris.process(5, 10), -1);
    EXPECT_EQ(host.calls(),
              (std::vector<std::string>{"opGetField(0,5)", "opGetField(1,5)",
                                        "loggerMessage(4,90,src\\Iris,0x0bba0000)",
                                        "opFreeImage(in0)"}));
    EXPECT_EQ(host.logs().size(), 1u);
    EXPECT_EQ(host.outstanding(), 0);
    EXPECT_EQ(host.badReleases(), 0);
}

// ---- Whole fields ------------------------------------------------------------------

struct IrisGolden {
    const char* name;
    int32_t softness;
    uint32_t direction;
    int16_t cx, cy;
    uint32_t position, duration, flags;
    int16_t pixelAspect;
    uint64_t sum;
};

TEST_F(IrisTest, GoldenChecksumsOfWholeFields) {
    const IrisGolden cases[] = {
        {"opening-even", 20, 0, 40, 15, 10, 40, 0, 1000, 9954017107934274242ull},
        {"opening-odd", 20, 0, 40, 15, 10, 40, OPF_ODD_FIELD, 1000, 1693417604161316966ull},
        {"closing-soft", 50, 1, 10, 25, 25, 40, OPF_ODD_FIELD, 1000, 14653455906551302325ull},
        {"hard-aspect", 0, 0, 70, 5, 12, 40, 0, 1422, 8720086977927941123ull},
        {"closing-wide-aspect", 100, 1, 40, 15, 33, 40, 0, 3000, 5861409911887469207ull},
    };
    FieldSpec a = patternField(90, 36, 1);
    a.setActive(5, 3, 80, 30);
    host.setInput(0, a);
    host.setInput(1, patternField(90, 36, 77));
    for (const IrisGolden& g : cases) {
        iris.close();
        iris.slider(2).value = g.softness;
        iris.choice(3).value = g.direction;
        centreAt(g.cx, g.cy);
        EXPECT_EQ(iris.process(g.position, g.duration, g.flags, g.pixelAspect), 0);
        EXPECT_EQ(checksum(host.putPixels()), g.sum) << g.name;
    }
}

}  // namespace

namespace {

TEST(IrisSoftDivisor, EqualsDivisionForEverySumTheEdgeForms) {
    for (int32_t soft = 1; soft <= 255; ++soft) {
        const fieldfx::iris::SoftDivisor by(soft);
        for (uint32_t x = 0; x <= 255u * uint32_t(soft); ++x)
            ASSERT_EQ(by.divide(x), x / uint32_t(soft)) << x << " / " << soft;
    }
}

}  // namespace
