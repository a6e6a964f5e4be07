// The long check of the operators' sin, cos and asin against MPFR, outside
// the test suite: opmath_longrun COUNT SEED checks COUNT arguments of every
// family for each function and prints what it found.
#include "oracle.h"

#include <cstdio>
#include <cstdlib>

using namespace fieldfx::maths_test;

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: opmath_longrun COUNT SEED\n"
                             "  checks COUNT arguments of each family for sin, cos and asin against MPFR\n");
        return 2;
    }
    const long count = std::atol(argv[1]);
    const uint64_t seed = std::strtoull(argv[2], nullptr, 10);
    long wrong = 0;
    for (Fn fn : {Fn::Sin, Fn::Cos, Fn::Asin})
        for (Family family : {Family::Operators, Family::Whole, Family::Hard, Family::Huge}) {
            Rng rng{seed * 0x100000001B3ull + uint64_t(family) * 131u + uint64_t(fn)};
            for (long i = 0; i < count; i++) {
                const double x = sample(fn, family, rng);
                const double want = reference(fn, x), got = ours(fn, x);
                if (!sameBits(got, want)) {
                    wrong++;
                    std::printf("MISROUNDED %s(%a) = %a, want %a\n", fnName(fn), x, got, want);
                }
            }
            std::printf("%s %s: %ld arguments checked\n", fnName(fn), familyName(family), count);
            std::fflush(stdout);
        }
    std::printf("misrounded: %ld\n", wrong);
    return wrong == 0 ? 0 : 1;
}
