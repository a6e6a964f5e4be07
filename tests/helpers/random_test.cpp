// The private generator reproduces the original platform's rand sequence.
#include <gtest/gtest.h>

#include <cstdlib>

#include "fieldfx/helpers/pixel/random.h"

TEST(OpRandom, SeedZeroGivesTheOriginalSequence) {
    fieldfx::OpRandom r;
    r.seed(0);
    const int32_t expected[] = {38, 7719, 21238, 2437, 8855, 11797, 8365, 32285};
    for (int32_t e : expected) EXPECT_EQ(r.next(), e);
}

TEST(OpRandom, ReseedRestartsAndLeavesTheProcessGeneratorAlone) {
    std::srand(12345);
    const int first = std::rand();
    std::srand(12345);
    fieldfx::OpRandom r;
    r.seed(1);
    const int32_t a = r.next();
    r.seed(1);
    EXPECT_EQ(r.next(), a);
    EXPECT_EQ(a, 41);
    EXPECT_EQ(std::rand(), first);
    for (int i = 0; i < 100000; ++i) {
        const int32_t v = r.next();
        ASSERT_GE(v, 0);
        ASSERT_LE(v, fieldfx::kRandMax);
    }
}
