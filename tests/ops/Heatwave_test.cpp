// Heatwave: a rectangle of the picture shimmers; everything else is copied.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "fieldfx/helpers/pixel/sampler.h"
#include "testhost.h"
#include "wave.h"

using namespace testhost;

namespace {

constexpr bool k64Bit = sizeof(void*) == 8;

// ---- The wave arithmetic ---------------------------------------------------------

OperatorMessage plainMessage() { return message(OP_PROCESS, 10); }

TEST(HeatwaveWave, MatchesHandDerivedValuesForPixel210x110) {
    // W 720, H 288, position 10, Frequency 50, Horizontal 25, Vertical 25.
    const OperatorMessage msg = plainMessage();
    const uint32_t phase = fieldfx::heatwave::wavePhase(10);
    EXPECT_EQ(phase, 5u);
    const double freq = fieldfx::heatwave::waveFrequency(50);
    EXPECT_EQ(freq, 0x1.3a28c59e04626p+8);  // 50 x 2.0 x 3.141592654 = 314.1592654
    const fieldfx::heatwave::Amplitudes amp = fieldfx::heatwave::waveAmplitudes(25, 25, &msg);
    EXPECT_EQ(amp.x, 0.5);
    EXPECT_EQ(amp.y, 0.25);

    const fieldfx::heatwave::WaveSample s = fieldfx::heatwave::waveSample(phase, 210, 110, freq, amp, 720, 288);
    // a = 325 x freq / 720, b = (105 + 5 + 110) x freq / 576: no transcendental
    // function yet, so exact on every platform.
    EXPECT_EQ(s.a, 0x1.1b9db2678b11bp+7);  // 141.80800174305554
    EXPECT_EQ(s.b, 0x1.dff72dea4dcf4p+6);  // 119.99138609027779
    EXPECT_NEAR(s.a, 141.80800, 5e-6);
    EXPECT_NEAR(s.b, 119.99139, 5e-6);
    EXPECT_NEAR(std::cos(s.a), -0.90631, 5e-6);
    EXPECT_NEAR(std::sin(s.b), 0.57358, 5e-6);
    EXPECT_NEAR(std::sin(s.a), -0.42262, 5e-6);
    EXPECT_NEAR(std::cos(s.b), 0.81915, 5e-6);
    // sy = (cos a + sin b) x 0.25 + 110, sx = (sin a + cos b) x 0.5 + 210.
    EXPECT_NEAR(s.sy, 109.91682, 5e-6);
    EXPECT_NEAR(s.sx, 210.19827, 5e-6);
    if (k64Bit) {  // the last bit of sin/cos is the C library's
        EXPECT_EQ(s.sy, 0x1.b7aad21e9b2eep+6);  // 109.91681716749346
        EXPECT_EQ(s.sx, 0x1.a465833c7d21ap+7);  // 210.19826687839014
    }
}

TEST(HeatwaveWave, FieldsOfOneFrameShareThePhase) {
    EXPECT_EQ(fieldfx::heatwave::wavePhase(0), 0u);
    EXPECT_EQ(fieldfx::heatwave::wavePhase(1), 0u);
    EXPECT_EQ(fieldfx::heatwave::wavePhase(20), 10u);
    EXPECT_EQ(fieldfx::heatwave::wavePhase(21), 10u);
    EXPECT_EQ(fieldfx::heatwave::wavePhase(0xFFFFFFFFu), 0x7FFFFFFFu);
}

TEST(HeatwaveWave, FrequencyZeroShiftsByTheAmplitudes) {
    const OperatorMessage msg = plainMessage();
    const fieldfx::heatwave::Amplitudes amp = fieldfx::heatwave::waveAmplitudes(50, 100, &msg);
    const fieldfx::heatwave::WaveSample s = fieldfx::heatwave::waveSample(7, 3, 4, 0.0, amp, 720, 288);
    EXPECT_EQ(s.a, 0.0);
    EXPECT_EQ(s.b, 0.0);
    EXPECT_EQ(s.sx, 4.0);  // (sin 0 + cos 0) x 1.0 + 3
    EXPECT_EQ(s.sy, 5.0);  // (cos 0 + sin 0) x 1.0 + 4
}

TEST(HeatwaveWave, ScaleMultipliesThenDividesBothAmplitudes) {
    OperatorMessage msg = plainMessage();
    msg.flags = OPF_SCALE;
    msg.scaleNum = 3;
    msg.scaleDen = 4;
    fieldfx::heatwave::Amplitudes amp = fieldfx::heatwave::waveAmplitudes(10, 30, &msg);
    EXPECT_EQ(amp.x, 3 * 0.2 / 4);  // 3 x (10 / 50.0) / 4
    EXPECT_EQ(amp.y, 3 * 0.3 / 4);  // 3 x (30 / 100.0) / 4
    // The flag alone decides: the same ratio without it is ignored.
    msg.flags = OPF_ODD_FIELD;
    amp = fieldfx::heatwave::waveAmplitudes(10, 30, &msg);
    EXPECT_EQ(amp.x, 0.2);
    EXPECT_EQ(amp.y, 0.3);
}

TEST(HeatwaveWave, ZeroScaleDenominatorMeansNoScaling) {
    OperatorMessage msg = plainMessage();
    msg.flags = OPF_SCALE;
    msg.scaleNum = 5;
    msg.scaleDen = 0;
    const fieldfx::heatwave::Amplitudes amp = fieldfx::heatwave::waveAmplitudes(25, 25, &msg);
    EXPECT_EQ(amp.x, 0.5);
    EXPECT_EQ(amp.y, 0.25);
}

// ---- The rectangle -----------------------------------------------------------------

FieldImage image(int16_t w, int16_t h, int16_t ax = 0, int16_t ay = 0) {
    return FieldImage{nullptr, w, h, ax, ay, w, h};
}

PositionDescriptor areaAt(int16_t x, int16_t y, int16_t w, int16_t h) {
    return PositionDescriptor{{PARAM_POSITION, 740, 18}, 16, 8, 999, 999, x, y, w, h};
}

std::vector<int32_t> rectOf(const FieldImage& f, const PositionDescriptor& a) {
    const fieldfx::heatwave::WaveRect r = fieldfx::heatwave::waveRect(&f, a);
    return {r.x0, r.y0, r.cols, r.rows};
}

using Rect = std::vector<int32_t>;

TEST(HeatwaveRect, CornerIsRelativeToTheActiveRectangle) {
    EXPECT_EQ(rectOf(image(720, 288, 8, 2), areaAt(200, 100, 64, 32)), (Rect{208, 102, 64, 32}));
}

TEST(HeatwaveRect, CornerMovedToZeroKeepsItsSize) {
    EXPECT_EQ(rectOf(image(720, 288), areaAt(-10, -5, 64, 32)), (Rect{0, 0, 64, 32}));
    EXPECT_EQ(rectOf(image(720, 288, 8, 2), areaAt(-20, -3, 64, 32)), (Rect{0, 0, 64, 32}));
}

TEST(HeatwaveRect, CutAtTheRightAndBottomEdges) {
    EXPECT_EQ(rectOf(image(720, 288), areaAt(700, 270, 64, 32)), (Rect{700, 270, 20, 18}));
    EXPECT_EQ(rectOf(image(720, 288), areaAt(656, 256, 64, 32)), (Rect{656, 256, 64, 32}));
}

TEST(HeatwaveRect, StartingAtOrBeyondTheEdgeIsEmpty) {
    const FieldImage f = image(720, 288);
    EXPECT_EQ(rectOf(f, areaAt(720, 0, 64, 32)), (Rect{720, 0, 0, 32}));
    EXPECT_EQ(rectOf(f, areaAt(0, 288, 64, 32)), (Rect{0, 288, 64, 0}));
    EXPECT_EQ(rectOf(f, areaAt(800, 300, 64, 32)), (Rect{800, 300, -80, -12}));
    EXPECT_TRUE(fieldfx::heatwave::waveRect(&f, areaAt(720, 0, 64, 32)).empty());
    EXPECT_TRUE(fieldfx::heatwave::waveRect(&f, areaAt(0, 288, 64, 32)).empty());
    // The largest corner the records can express stays in 32-bit range.
    const FieldImage far = image(720, 288, 32767, 32767);
    EXPECT_TRUE(fieldfx::heatwave::waveRect(&far, areaAt(32767, 32767, 999, 999)).empty());
}

TEST(HeatwaveRect, NegativeSizeOrEmptyImageIsEmpty) {
    const FieldImage f = image(720, 288);
    EXPECT_TRUE(fieldfx::heatwave::waveRect(&f, areaAt(10, 10, -5, 8)).empty());
    EXPECT_TRUE(fieldfx::heatwave::waveRect(&f, areaAt(10, 10, 8, -5)).empty());
    const FieldImage none = image(0, 0);
    EXPECT_TRUE(fieldfx::heatwave::waveRect(&none, areaAt(0, 0, 64, 32)).empty());
    const FieldImage negative = image(-4, -4);
    EXPECT_TRUE(fieldfx::heatwave::waveRect(&negative, areaAt(-10, -10, 64, 32)).empty());
}

// ---- The operator --------------------------------------------------------------

struct HeatwaveTest : ::testing::Test {
    Host host;
    Module heat{"Heatwave"};

    void setArea(int x, int y, int w, int h) {
        PositionDescriptor& a = heat.position(1);
        a.posX = int16_t(x);
        a.posY = int16_t(y);
        a.areaWidth = int16_t(w);
        a.areaHeight = int16_t(h);
    }
    void setWave(int horizontal, int vertical, int frequency) {
        heat.slider(2).value = horizontal;
        heat.slider(3).value = vertical;
        heat.slider(4).value = frequency;
    }
    FieldSpec run(const FieldSpec& in, uint32_t position = 0, uint32_t flags = 0,
                  int16_t scaleNum = 0, int16_t scaleDen = 0) {
        host.setInput(0, in);
        EXPECT_EQ(heat.process(position, 1, flags, 1000, scaleNum, scaleDen), 0);
        return host.putField();
    }
};

bool sameColour(const uint8_t* a, const uint8_t* b) {
    return a[1] == b[1] && a[2] == b[2] && a[3] == b[3];
}

// With Frequency 0 every rectangle pixel reads the input one step (dx, dy)
// away. The map shows 'd' where bytes 1-3 are those of that neighbour
// (clamped into the image), '.' where they are the pixel's own, '?' else;
// byte 0 must always be the pixel's own.
std::vector<std::string> shiftMap(const FieldSpec& in, const FieldSpec& out, int dx, int dy) {
    std::vector<std::string> rows;
    for (int y = 0; y < in.height; ++y) {
        std::string row;
        for (int x = 0; x < in.width; ++x) {
            const int nx = std::clamp(x + dx, 0, in.width - 1);
            const int ny = std::clamp(y + dy, 0, in.height - 1);
            EXPECT_EQ(out.at(x, y)[0], in.at(x, y)[0]) << x << "," << y;
            if (sameColour(out.at(x, y), in.at(x, y)))
                row += '.';
            else if (sameColour(out.at(x, y), in.at(nx, ny)))
                row += 'd';
            else
                row += '?';
        }
        rows.push_back(row);
    }
    return rows;
}

using Map = std::vector<std::string>;

// `out` is `in` with bytes 1-3 of the area's pixels sampled where waveSample
// puts them, worked out pixel by pixel (no scaling).
void expectWaveByPixel(const FieldSpec& in, const FieldSpec& out, const PositionDescriptor& area,
                       uint32_t position, int horizontal, int vertical, int frequency) {
    FieldImage image{const_cast<uint8_t*>(in.pixels.data()), in.width, in.height, in.activeX,
                     in.activeY, in.activeWidth, in.activeHeight};
    const OperatorMessage msg = plainMessage();
    const auto amp = fieldfx::heatwave::waveAmplitudes(horizontal, vertical, &msg);
    const double freq = fieldfx::heatwave::waveFrequency(frequency);
    const fieldfx::heatwave::WaveRect r = fieldfx::heatwave::waveRect(&image, area);
    const fieldfx::SampleSource source = fieldfx::clampSource(&image);
    for (int y = 0; y < in.height; ++y)
        for (int x = 0; x < in.width; ++x) {
            uint8_t expected[4];
            std::memcpy(expected, in.at(x, y), 4);
            if (x >= r.x0 && x < r.x0 + r.cols && y >= r.y0 && y < r.y0 + r.rows) {
                const auto w = fieldfx::heatwave::waveSample(fieldfx::heatwave::wavePhase(position),
                                                             x, y, freq, amp, in.width, in.height);
                uint8_t sample[4];
                fieldfx::sampleBilinear(source, w.sx, w.sy, sample);
                std::memcpy(expected + 1, sample + 1, 3);
            }
            ASSERT_EQ(std::memcmp(out.at(x, y), expected, 4), 0)
                << "position " << position << " frequency " << frequency << " at " << x << ","
                << y;
        }
}

TEST_F(HeatwaveTest, DescribesItsParameters) {
    const PositionDescriptor& a = heat.position(1);
    EXPECT_EQ(a.head.textId, 740);
    EXPECT_EQ(a.head.style, 18u);
    EXPECT_EQ(std::vector<int>({a.minWidth, a.minHeight, a.maxWidth, a.maxHeight, a.posX, a.posY,
                                a.areaWidth, a.areaHeight}),
              std::vector<int>({16, 8, 999, 999, 200, 100, 64, 32}));
    const int ids[] = {710, 720, 730};
    const int defaults[] = {25, 25, 50};
    for (int i = 0; i < 3; ++i) {
        const SliderDescriptor& s = heat.slider(i + 2);
        EXPECT_EQ(s.head.textId, ids[i]);
        EXPECT_EQ(s.head.style, 0u);
        EXPECT_EQ(s.auxTextId, uint32_t(ids[i] + 1));
        EXPECT_EQ(s.formatter, nullptr);
        EXPECT_EQ(s.minimum, 0);
        EXPECT_EQ(s.maximum, 100);
        EXPECT_EQ(s.value, defaults[i]);
    }
}

TEST_F(HeatwaveTest, PixelTakesTheBilinearSampleAtItsWavePosition) {
    // Default parameters; (210, 110) lies in the default area (200, 100) 64 x 32
    // and samples (210.19826..., 109.91681...): ix 210, iy 109.
    FieldSpec in = patternField(720, 288);
    in.setWord(210, 109, pixelWord(1, 10, 200, 40));
    in.setWord(211, 109, pixelWord(2, 20, 100, 80));
    in.setWord(210, 110, pixelWord(99, 30, 0, 120));
    in.setWord(211, 110, pixelWord(4, 50, 255, 160));
    const FieldSpec out = run(in, 10);
    // Lane 1: top 10 fx + 10 = 11.98, bottom 20 fx + 30 = 33.97,
    //         (33.97 - 11.98) fy + 11.98 = 32.14 -> 32.
    // Lane 2: top -100 fx + 200 = 180.17, bottom 255 fx = 50.56 -> 61.34 -> 61.
    // Lane 3: top 40 fx + 40 = 47.93, bottom 40 fx + 120 = 127.93 -> 121.28 -> 121.
    // Byte 0 is the pixel's own.
    EXPECT_EQ(out.word(210, 110), pixelWord(99, 32, 61, 121));
}

TEST_F(HeatwaveTest, OutsideTheRectangleTheInputIsCopied) {
    const FieldSpec in = patternField(720, 288, 3);
    const FieldSpec out = run(in, 10);
    int painted = 0;
    for (int y = 0; y < 288; ++y)
        for (int x = 0; x < 720; ++x) {
            const bool inside = x >= 200 && x < 264 && y >= 100 && y < 132;
            if (!inside) {
                ASSERT_EQ(out.word(x, y), in.word(x, y)) << x << "," << y;
            } else {
                ASSERT_EQ(out.at(x, y)[0], in.at(x, y)[0]);
                painted += out.word(x, y) != in.word(x, y);
            }
        }
    EXPECT_GT(painted, 64 * 32 / 2);  // the shimmer moves most of the rectangle
}

TEST_F(HeatwaveTest, RectangleShiftsWholeWhenFrequencyIsZero) {
    // Frequency 0: a = b = 0, every pixel reads (x + ampX, y + ampY) = (x + 1, y + 1).
    setWave(50, 100, 0);
    setArea(2, 1, 3, 2);
    const FieldSpec in = patternField(8, 6);
    EXPECT_EQ(shiftMap(in, run(in), 1, 1),
              (Map{"........", "..ddd...", "..ddd...", "........", "........", "........"}));
}

TEST_F(HeatwaveTest, CornerLeftOfOrAboveTheImageMovesToZeroAndKeepsItsSize) {
    setWave(50, 100, 0);
    setArea(-3, -2, 4, 3);
    const FieldSpec in = patternField(8, 6);
    EXPECT_EQ(shiftMap(in, run(in), 1, 1),
              (Map{"dddd....", "dddd....", "dddd....", "........", "........", "........"}));
}

TEST_F(HeatwaveTest, RectanglePastTheRightAndBottomEdgesIsCut) {
    setWave(50, 100, 0);
    setArea(5, 4, 10, 10);
    const FieldSpec in = patternField(8, 6);
    // Columns 5..7 of rows 4..5. The corner pixel (7, 5) reads its own
    // position (the neighbour is clamped into the image), so it shows '.'.
    EXPECT_EQ(shiftMap(in, run(in), 1, 1),
              (Map{"........", "........", "........", "........", ".....ddd", ".....dd."}));
}

TEST_F(HeatwaveTest, RectangleStartingAtOrBeyondTheEdgePaintsNothing) {
    setWave(50, 100, 0);
    const FieldSpec in = patternField(8, 6);
    for (auto [x, y] : {std::pair{8, 0}, {0, 6}, {100, 100}, {32767, 32767}}) {
        setArea(x, y, 64, 32);
        EXPECT_EQ(run(in).pixels, in.pixels) << x << "," << y;
    }
    setArea(1, 1, -3, 2);  // a negative size
    EXPECT_EQ(run(in).pixels, in.pixels);
}

TEST_F(HeatwaveTest, SamplesReadOnlyTheActiveRectangle) {
    // No amplitude: every sample falls on a whole pixel. The area covers the
    // whole image; the active rectangle is columns 2..5, rows 1..3.
    setWave(0, 0, 50);
    FieldSpec in = patternField(8, 6);
    in.setActive(2, 1, 4, 3);
    setArea(-2, -1, 8, 6);
    const FieldSpec out = run(in, 6);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) {
            const uint8_t* nearest = in.at(std::clamp(x, 2, 5), std::clamp(y, 1, 3));
            const uint8_t* o = out.at(x, y);
            EXPECT_EQ(o[0], in.at(x, y)[0]);
            EXPECT_TRUE(sameColour(o, nearest)) << x << "," << y;
        }
}

TEST_F(HeatwaveTest, FieldsOfOneFrameAreIdentical) {
    setArea(8, 4, 64, 32);
    const FieldSpec in = patternField(96, 48, 5);
    const std::vector<uint8_t> f10 = run(in, 10).pixels;
    EXPECT_EQ(run(in, 11).pixels, f10);
    EXPECT_NE(run(in, 12).pixels, f10);
    EXPECT_NE(run(in, 9).pixels, f10);
    EXPECT_EQ(run(in, 0xFFFFFFFFu).pixels, run(in, 0xFFFFFFFEu).pixels);
}

TEST_F(HeatwaveTest, ScaleRatioScalesTheAmplitudes) {
    setWave(25, 50, 0);  // 0.5 pixel, 0.5 row
    setArea(2, 1, 3, 2);
    const FieldSpec in = patternField(8, 6);
    const Map shifted{"........", "..ddd...", "..ddd...", "........", "........", "........"};
    EXPECT_EQ(shiftMap(in, run(in, 0, OPF_SCALE, 2, 1), 1, 1), shifted);
    EXPECT_EQ(shiftMap(in, run(in, 0, OPF_SCALE, -4, -2), 1, 1), shifted);
    EXPECT_EQ(shiftMap(in, run(in, 0, OPF_SCALE, -2, 1), -1, -1), shifted);
}

TEST_F(HeatwaveTest, ZeroScaleDenominatorMeansNoScaling) {
    setWave(25, 50, 0);
    setArea(1, 1, 5, 4);
    const FieldSpec in = patternField(8, 6, 9);
    const std::vector<uint8_t> plain = run(in).pixels;
    EXPECT_NE(plain, in.pixels);
    EXPECT_EQ(run(in, 0, OPF_SCALE, 7, 0).pixels, plain);
    EXPECT_EQ(run(in, 0, OPF_SCALE, 0, 0).pixels, plain);
}

TEST_F(HeatwaveTest, SlidersOutsideTheirRangeAreClamped) {
    setArea(8, 4, 64, 32);
    const FieldSpec in = patternField(96, 48, 1);
    setWave(100, 100, 100);
    const std::vector<uint8_t> top = run(in, 4).pixels;
    setWave(5000, 101, 1 << 30);
    EXPECT_EQ(run(in, 4).pixels, top);
    setWave(0, 0, 0);
    const std::vector<uint8_t> bottom = run(in, 4).pixels;
    setWave(-1, -100, -7);
    EXPECT_EQ(run(in, 4).pixels, bottom);
}

TEST_F(HeatwaveTest, OpacityComesFromTheInputNotTheScratchImage) {
    host.setScratchFill(pixelWord(0x5A, 1, 2, 3));
    setArea(0, 0, 8, 6);
    const FieldSpec in = patternField(8, 6, 17);
    const FieldSpec out = run(in, 3);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) EXPECT_EQ(out.at(x, y)[0], in.at(x, y)[0]);
}

TEST_F(HeatwaveTest, FetchesCopiesThenHandsBackTheInputAndPutsTheScratch) {
    host.setInput(0, patternField(16, 8));
    host.setPutResult(42);
    EXPECT_EQ(heat.process(10), 42);
    EXPECT_EQ(host.calls(), (std::vector<std::string>{"opGetField(0,10)", "opAllocImage(-1,-1,1,0)",
                                                      "opFreeImage(in0)", "opPutField(scratch1)"}));
    EXPECT_EQ(host.outstanding(), 0);
    EXPECT_EQ(host.badReleases(), 0);
    EXPECT_TRUE(host.logs().empty());
}

TEST_F(HeatwaveTest, FailedFetchLogsLine91) {
    host.setInput(0, patternField(16, 8));
    host.failCall(Service::GetField, 1);
    EXPECT_EQ(heat.process(3), -1);
    EXPECT_EQ(host.calls(), (std::vector<std::string>{
                                "opGetField(0,3)", "loggerMessage(4,91,src\\Heatwave,0x0b640000)"}));
    ASSERT_EQ(host.logs().size(), 1u);
    EXPECT_EQ(host.logs()[0].text, " ");
    EXPECT_EQ(host.outstanding(), 0);
}

TEST_F(HeatwaveTest, FailedScratchLogsLine97AndReleasesTheInput) {
    host.setInput(0, patternField(16, 8));
    host.failCall(Service::AllocImage, 1);
    EXPECT_EQ(heat.process(3), -1);
    EXPECT_EQ(host.calls(),
              (std::vector<std::string>{"opGetField(0,3)", "opAllocImage(-1,-1,1,0)",
                                        "loggerMessage(4,97,src\\Heatwave,0x0b640000)",
                                        "opFreeImage(in0)"}));
    EXPECT_EQ(host.logs().size(), 1u);
    EXPECT_EQ(host.outstanding(), 0);
    EXPECT_EQ(host.badReleases(), 0);
}

TEST_F(HeatwaveTest, OtherActionsDoNothing) {
    for (uint16_t action : {0, 1, 2, 4, 5, 6, 7, 99}) {
        OperatorMessage m = message(action, 3);
        EXPECT_EQ(heat.action(m), 0);
    }
    EXPECT_TRUE(host.calls().empty());
}

TEST_F(HeatwaveTest, SmallerScratchImageIsWrittenOnlyAsFarAsItReaches) {
    // The host should hand out an image as large as the field; one of three
    // rows of eight gets the first three rows of the result and nothing beyond.
    setArea(0, 0, 8, 6);
    const FieldSpec in = patternField(8, 6, 2);
    const std::vector<uint8_t> full = run(in, 8).pixels;
    host.setScratchGeometry(makeField(8, 3));
    const FieldSpec out = run(in, 8);
    ASSERT_EQ(out.height, 3);
    EXPECT_EQ(out.pixels, std::vector<uint8_t>(full.begin(), full.begin() + 8 * 3 * 4));
    host.setScratchGeometry(makeField(3, 2));  // not even one row of 8
    EXPECT_EQ(run(in, 8).pixels, makeField(3, 2).pixels);
    EXPECT_EQ(host.outstanding(), 0);
}

TEST_F(HeatwaveTest, EmptyFieldIsHandedOnWithoutPainting) {
    host.setInput(0, makeField(0, 0));
    EXPECT_EQ(heat.process(0), 0);
    EXPECT_EQ(host.outstanding(), 0);
}

// Golden checksums of whole output fields, recorded once the exact tests
// above passed: any changed bit anywhere shows here.
TEST_F(HeatwaveTest, EveryChangeBetweenFieldsGivesTheWaveOfThatField) {
    // The sines and cosines are kept from field to field while the
    // Frequency and field size stay the same and they hold the angles the
    // phase and rectangle need. Each field here changes one of them (or
    // nothing), or moves the phase beyond the angles held or back before
    // them, and must equal the wave worked out pixel by pixel for it.
    struct Step {
        int w, h;
        uint32_t position;
        int areaX, areaY, areaW, areaH, frequency;
        int16_t activeX;
    };
    const Step steps[] = {
        {96, 48, 10, 5, 3, 60, 30, 50, 0},   {96, 48, 11, 5, 3, 60, 30, 50, 0},
        {96, 48, 12, 5, 3, 60, 30, 50, 0},   {96, 48, 12, 5, 3, 60, 30, 77, 0},
        {96, 48, 12, 6, 3, 60, 30, 77, 0},   {96, 48, 12, 6, 4, 60, 30, 77, 0},
        {96, 48, 12, 6, 4, 61, 30, 77, 0},   {96, 48, 12, 6, 4, 61, 33, 77, 0},
        {96, 48, 12, 6, 4, 61, 33, 77, 3},   {97, 48, 12, 6, 4, 61, 33, 77, 3},
        {97, 50, 12, 6, 4, 61, 33, 77, 3},   {96, 48, 10, 5, 3, 60, 30, 50, 0},
        {96, 48, 140, 5, 3, 60, 30, 50, 0},  {96, 48, 200, 5, 3, 60, 30, 50, 0},
        {96, 48, 12, 5, 3, 60, 30, 50, 0},   {96, 48, 12, 0, 0, 60, 30, 50, 0},
    };
    for (const Step& s : steps) {
        setArea(s.areaX, s.areaY, s.areaW, s.areaH);
        setWave(100, 100, s.frequency);
        FieldSpec in = patternField(s.w, s.h, int(s.position));
        in.activeX = s.activeX;
        in.activeWidth = int16_t(s.w - s.activeX);
        const FieldSpec out = run(in, s.position);

        expectWaveByPixel(in, out, heat.position(1), s.position, 100, 100, s.frequency);
    }
}

TEST_F(HeatwaveTest, RandomFieldsEqualTheWaveWorkedOutPixelByPixel) {
    // Random pictures, geometry and settings: runs of pixels taken together
    // (from even or odd columns, near the edges of the active rectangle,
    // with the tables kept or rebuilt between fields) must give the bytes
    // of the wave worked out one pixel at a time.
    std::mt19937 random(12);
    auto uniform = [&](int lo, int hi) {
        return std::uniform_int_distribution<int>(lo, hi)(random);
    };
    uint32_t position = 0;
    for (int trial = 0; trial < 60; ++trial) {
        FieldSpec in = makeField(uniform(8, 260), uniform(4, 70));
        for (uint8_t& b : in.pixels) b = uint8_t(uniform(0, 255));
        in.activeX = int16_t(uniform(0, in.width / 3));
        in.activeY = int16_t(uniform(0, in.height / 3));
        in.activeWidth = int16_t(uniform(1, in.width - in.activeX));
        in.activeHeight = int16_t(uniform(1, in.height - in.activeY));
        setArea(uniform(-20, in.width), uniform(-10, in.height), uniform(16, 300),
                uniform(8, 100));
        const int horizontal = uniform(0, 100), vertical = uniform(0, 100);
        const int frequency = uniform(0, 100);
        setWave(horizontal, vertical, frequency);
        // Mostly the next field, sometimes a jump either way.
        position = trial % 7 == 3 ? uint32_t(uniform(0, 0x7FFFFFFF)) * 2u : position + 1;
        const FieldSpec out = run(in, position);
        expectWaveByPixel(in, out, heat.position(1), position, horizontal, vertical, frequency);
        if (HasFatalFailure()) return;
    }
}

TEST_F(HeatwaveTest, GoldenChecksums) {
    struct Case {
        int horizontal, vertical, frequency, x, y, w, h;
        uint32_t position, flags;
        int16_t num, den;
        uint64_t sum;
    };
    const Case cases[] = {
        {25, 25, 50, 8, 4, 64, 32, 10, 0, 0, 0, 0xc0bb619168062c66ull},
        {100, 100, 100, -4, -2, 999, 999, 37, 0, 0, 0, 0xdfdbb754a2685925ull},
        {60, 10, 7, 30, 10, 80, 50, 1001, OPF_SCALE, 3, 2, 0xcf392fedff20e28eull},
        {0, 100, 1, 0, 0, 96, 48, 4, 0, 0, 0, 0x505b2433d2bc9a24ull},
    };
    FieldSpec in = patternField(96, 48, 11);
    in.setActive(4, 2, 88, 44);
    for (const Case& c : cases) {
        setWave(c.horizontal, c.vertical, c.frequency);
        setArea(c.x, c.y, c.w, c.h);
        const FieldSpec out = run(in, c.position, c.flags, c.num, c.den);
        EXPECT_EQ(checksum(out.pixels), c.sum)
            << c.horizontal << " " << c.vertical << " " << c.frequency << " -> 0x" << std::hex
            << checksum(out.pixels);
    }
}

}  // namespace
