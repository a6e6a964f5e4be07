// sin, cos and asin give the same bits on every platform we build: the
// digests below are those of the x86-64 build, whose every result here
// MPFR confirms.
#include "digest.h"

#include <gtest/gtest.h>

using namespace fieldfx::maths_test;

TEST(MathsDigest, SameBitsOnEveryPlatform)
{
    EXPECT_EQ(resultDigest(0), 0x53e0cbde20d2d8fcull) << "sin";
    EXPECT_EQ(resultDigest(1), 0x8c028424681b373dull) << "cos";
    EXPECT_EQ(resultDigest(2), 0x98d3ed733fbdf0feull) << "asin";
}
