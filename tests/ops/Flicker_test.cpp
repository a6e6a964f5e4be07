// Flicker: which clip every field of the span shows.
#include <gtest/gtest.h>

#include "testhost.h"

using namespace testhost;

namespace {

struct FlickerTest : ::testing::Test {
    Host host;
    Module flicker{"Flicker"};

    FlickerTest() {
        host.setInput(0, makeField(2, 1, pixelWord(1, 1, 1, 1)));
        host.setInput(1, makeField(2, 1, pixelWord(2, 2, 2, 2)));
    }

    // The input shown at each position of a span of `duration` fields, as a
    // string of '0' and '1'; the shown field must come back unchanged.
    std::string span(uint32_t duration, uint32_t start, int32_t block = 25) {
        flicker.choice(1).value = start;
        flicker.slider(2).value = block;
        std::string shown;
        for (uint32_t p = 0; p < duration; ++p) {
            host.clearCalls();
            EXPECT_EQ(flicker.process(p, duration), 0);
            const std::string input = host.nameOf(host.putImage()).substr(2);
            // The other clip is never fetched.
            EXPECT_EQ(host.calls(), (std::vector<std::string>{
                                        "opGetField(" + input + "," + std::to_string(p) + ")",
                                        "opPutField(in" + input + ")"}));
            EXPECT_EQ(host.putPixels()[0], input == "0" ? 1 : 2);
            shown += input;
        }
        return shown;
    }
};

std::string blocks(std::initializer_list<std::pair<char, int>> runs) {
    std::string s;
    for (auto [c, n] : runs) s += std::string(n, c);
    return s;
}

TEST_F(FlickerTest, DescribesItsParameters) {
    const ChoiceDescriptor& c = flicker.choice(1);
    EXPECT_EQ(c.head.textId, 210);
    EXPECT_EQ(c.head.style, 0u);
    EXPECT_EQ(c.labels[0], 211u);
    EXPECT_EQ(c.labels[1], 212u);
    EXPECT_EQ(c.labels[2], 0u);
    EXPECT_EQ(c.value, 1u);
    const SliderDescriptor& s = flicker.slider(2);
    EXPECT_EQ(s.head.textId, 220);
    EXPECT_EQ(s.head.style, 1u);
    EXPECT_EQ(s.auxTextId, 0u);
    EXPECT_EQ(s.formatter, nullptr);
    EXPECT_EQ(s.minimum, 1);
    EXPECT_EQ(s.maximum, 100);
    EXPECT_EQ(s.value, 25);
}

TEST_F(FlickerTest, WholeBlocksAlternateFromTheStart) {
    EXPECT_EQ(span(200, 1), blocks({{'1', 50}, {'0', 50}, {'1', 50}, {'0', 50}}));
    EXPECT_EQ(span(200, 0), blocks({{'0', 50}, {'1', 50}, {'0', 50}, {'1', 50}}));
}

TEST_F(FlickerTest, LeftoverFieldsLeadInWithFirstAndOutWithSecondClip) {
    EXPECT_EQ(span(250, 1), blocks({{'0', 25}, {'1', 50}, {'0', 50}, {'1', 50}, {'0', 50}, {'1', 25}}));
    EXPECT_EQ(span(250, 0), blocks({{'0', 25}, {'0', 50}, {'1', 50}, {'0', 50}, {'1', 50}, {'1', 25}}));
}

TEST_F(FlickerTest, ShortSpanIsACutWithTheMiddleFieldChosenByStart) {
    EXPECT_EQ(span(5, 1), "00111");
    EXPECT_EQ(span(5, 0), "00011");
    EXPECT_EQ(span(6, 1), "000111");  // m = 3: no middle field at all
}

TEST_F(FlickerTest, BlockOfOneAlternatesEveryTwoFields) {
    EXPECT_EQ(span(8, 1, 1), "11001100");
    EXPECT_EQ(span(10, 1, 1), "0110011001");  // m = 1
}

TEST_F(FlickerTest, StartOtherThanZeroOrOneShowsFirstClipInTheMiddle) {
    EXPECT_EQ(span(250, 2), blocks({{'0', 225}, {'1', 25}}));
}

TEST_F(FlickerTest, SliderOutsideItsRangeIsClamped) {
    // 0 would divide by zero; 2^30 makes 4S wrap to 0.
    const std::string s1 = span(12, 1, 1);
    EXPECT_EQ(span(12, 1, 0), s1);
    const std::string s100 = span(450, 1, 100);
    EXPECT_EQ(span(450, 1, 1 << 30), s100);
    EXPECT_EQ(span(450, 1, -5), span(450, 1, 1));
}

TEST_F(FlickerTest, ZeroDurationIsOneField) {
    flicker.choice(1).value = 1;
    EXPECT_EQ(flicker.process(0, 0), 0);
    EXPECT_EQ(host.calls()[0], "opGetField(1,0)");  // D = 1: m = 0, the middle block, C = 1
    flicker.choice(1).value = 0;
    host.clearCalls();
    EXPECT_EQ(flicker.process(0, 0), 0);
    EXPECT_EQ(host.calls()[0], "opGetField(0,0)");
}

TEST_F(FlickerTest, FailedFetchLogsTheLineOfItsInput) {
    flicker.choice(1).value = 1;
    host.failCall(Service::GetField, 1);
    EXPECT_EQ(flicker.process(10, 200), -1);  // block 1: input 1
    host.failCall(Service::GetField, 1);
    EXPECT_EQ(flicker.process(60, 200), -1);  // block 2: input 0
    EXPECT_EQ(host.calls(), (std::vector<std::string>{
                                "opGetField(1,10)", "loggerMessage(4,96,src\\Flicker,0x0bb30000)",
                                "opGetField(0,60)", "loggerMessage(4,105,src\\Flicker,0x0bb30000)"}));
    EXPECT_EQ(host.logs().size(), 2u);
}

}  // namespace
