// Matte: everything outside the active rectangle becomes black, in place.
#include <gtest/gtest.h>

#include "testhost.h"

using namespace testhost;

namespace {

constexpr uint32_t kWhite = pixelWord(255, 128, 128, 235);

struct MatteTest : ::testing::Test {
    Host host;
    Module matte{"Matte"};

    // Runs one field with the given active rectangle over a white 6x4 field and
    // returns the output as rows of 'B' (black) and '.' (untouched).
    std::vector<std::string> run(int ax, int ay, int aw, int ah, int w = 6, int h = 4) {
        FieldSpec f = makeField(w, h, kWhite);
        f.setActive(ax, ay, aw, ah);
        host.setInput(0, f);
        EXPECT_EQ(matte.process(7), 0);
        const FieldSpec out = host.putField();
        std::vector<std::string> rows;
        for (int y = 0; y < h; ++y) {
            std::string row;
            for (int x = 0; x < w; ++x) {
                const uint32_t word = out.word(x, y);
                EXPECT_TRUE(word == BLACK_PIXEL || word == kWhite);
                row += word == BLACK_PIXEL ? 'B' : '.';
            }
            rows.push_back(row);
        }
        return rows;
    }
};

TEST_F(MatteTest, BlackensOutsideTheActiveRectangleInPlace) {
    EXPECT_EQ(run(1, 1, 3, 2), (std::vector<std::string>{"BBBBBB", "B...BB", "B...BB", "BBBBBB"}));
    EXPECT_EQ(host.calls(), (std::vector<std::string>{"opGetField(0,7)", "opPutField(in0)"}));
    EXPECT_EQ(host.outstanding(), 0);
}

TEST_F(MatteTest, FullRectangleLeavesFieldUnchanged) {
    EXPECT_EQ(run(0, 0, 6, 4), (std::vector<std::string>{"......", "......", "......", "......"}));
}

TEST_F(MatteTest, EmptyRectangleBlackensEverything) {
    EXPECT_EQ(run(2, 1, 0, 2), (std::vector<std::string>(4, "BBBBBB")));
    EXPECT_EQ(run(2, 1, 3, 0), (std::vector<std::string>(4, "BBBBBB")));
}

TEST_F(MatteTest, RectangleReachingOutsideTheFieldWritesOnlyInside) {
    // Left of and above the field, then beyond its right and bottom edges.
    EXPECT_EQ(run(-2, -1, 5, 3), (std::vector<std::string>{"...BBB", "...BBB", "BBBBBB", "BBBBBB"}));
    EXPECT_EQ(run(4, 2, 100, 100), (std::vector<std::string>{"BBBBBB", "BBBBBB", "BBBB..", "BBBB.."}));
    // Wholly outside.
    EXPECT_EQ(run(50, 50, 10, 10), (std::vector<std::string>(4, "BBBBBB")));
    EXPECT_EQ(run(-32768, -32768, 32767, 32767), (std::vector<std::string>(4, "BBBBBB")));
}

TEST_F(MatteTest, EmptyFieldIsHandedBackUnchanged) {
    host.setInput(0, makeField(0, 0));
    EXPECT_EQ(matte.process(0), 0);
    EXPECT_EQ(host.calls(), (std::vector<std::string>{"opGetField(0,0)", "opPutField(in0)"}));
}

TEST_F(MatteTest, ReturnsThePutResult) {
    host.setInput(0, makeField(2, 2));
    host.setPutResult(-7);
    EXPECT_EQ(matte.process(0), -7);
}

TEST_F(MatteTest, FailedFetchLogsLine77) {
    host.failCall(Service::GetField, 1);
    EXPECT_EQ(matte.process(3), -1);
    EXPECT_EQ(host.calls(), (std::vector<std::string>{"opGetField(0,3)",
                                                      "loggerMessage(4,77,src\\Matte,0x0b820000)"}));
    ASSERT_EQ(host.logs().size(), 1u);
    EXPECT_EQ(host.logs()[0].text, " ");
}

}  // namespace
