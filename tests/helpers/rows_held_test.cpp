// rowsHeld: how many rows of a field's row length a scratch image can take.
#include <gtest/gtest.h>

#include "fieldfx/helpers/pixel/rect.h"

namespace {

FieldImage sized(int16_t w, int16_t h) { return FieldImage{nullptr, w, h, 0, 0, w, h}; }

TEST(RowsHeld, ImageAsLargeAsTheFieldHoldsEveryRow) {
    const FieldImage same = sized(720, 288);
    EXPECT_EQ(fieldfx::rowsHeld(&same, 720, 288), 288);
    const FieldImage larger = sized(768, 300);
    EXPECT_EQ(fieldfx::rowsHeld(&larger, 720, 288), 288);
}

TEST(RowsHeld, SmallerImageHoldsTheRowsItsBufferReaches) {
    const FieldImage shorter = sized(720, 100);
    EXPECT_EQ(fieldfx::rowsHeld(&shorter, 720, 288), 100);
    // 700 x 288 pixels hold 280 rows of 720 (201600 / 720 = 280).
    const FieldImage narrower = sized(700, 288);
    EXPECT_EQ(fieldfx::rowsHeld(&narrower, 720, 288), 280);
    const FieldImage tiny = sized(3, 2);
    EXPECT_EQ(fieldfx::rowsHeld(&tiny, 8, 6), 0);
}

TEST(RowsHeld, EmptyOrNegativeSizesHoldNothing) {
    const FieldImage none = sized(0, 0);
    EXPECT_EQ(fieldfx::rowsHeld(&none, 8, 6), 0);
    const FieldImage negative = sized(-8, 6);
    EXPECT_EQ(fieldfx::rowsHeld(&negative, 8, 6), 0);
    const FieldImage some = sized(8, 6);
    EXPECT_EQ(fieldfx::rowsHeld(&some, 8, 0), 0);
    EXPECT_EQ(fieldfx::rowsHeld(&some, 8, -3), 0);
    // Rows of no pixels fit any number of times.
    EXPECT_EQ(fieldfx::rowsHeld(&none, 0, 6), 6);
}

TEST(RowsHeld, LargestRecordsDoNotOverflow) {
    const FieldImage big = sized(32767, 32767);
    EXPECT_EQ(fieldfx::rowsHeld(&big, 32767, 32767), 32767);
    EXPECT_EQ(fieldfx::rowsHeld(&big, 1, 32767), 32767);
}

}  // namespace
