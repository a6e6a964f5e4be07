// The long check of the operators' sin, cos and asin against MPFR, outside
// the test suite: opmath_longrun BLOCKS SEED [FUNCTION...] checks BLOCKS
// rounds of 10^5 arguments of every family for each function (sin, cos and
// asin unless named), printing the running totals after every round (so a
// run cut short still reports what it covered).
#include "oracle.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace fieldfx::maths_test;

int main(int argc, char** argv)
{
    bool wanted[3] = {argc == 3, argc == 3, argc == 3};
    bool usage = argc < 3;
    for (int a = 3; a < argc; a++) {
        int f = 0;
        while (f < 3 && std::strcmp(argv[a], fnName(Fn(f))) != 0) f++;
        if (f == 3) usage = true;
        else wanted[f] = true;
    }
    if (usage) {
        std::fprintf(stderr, "usage: opmath_longrun BLOCKS SEED [sin] [cos] [asin]\n"
                             "  checks BLOCKS x 10^5 arguments of each family for the functions named\n"
                             "  (all three by default) against MPFR; prints every misrounded result\n"
                             "  and the running totals\n");
        return 2;
    }
    const long blocks = std::atol(argv[1]);
    const uint64_t seed = std::strtoull(argv[2], nullptr, 10);
    const Family families[] = {Family::Operators, Family::Whole, Family::Hard, Family::Huge};
    Rng rngs[3][4];
    for (int f = 0; f < 3; f++)
        for (int k = 0; k < 4; k++) rngs[f][k] = Rng{seed * 0x100000001B3ull + uint64_t(k) * 131u + uint64_t(f)};
    long checked[3] = {}, wrong = 0;
    for (long b = 0; b < blocks; b++) {
        for (int f = 0; f < 3; f++)
            for (int k = 0; k < (f == 2 ? 3 : 4) && wanted[f]; k++)  // asin: no huge arguments
                for (int i = 0; i < 100000; i++) {
                    const Fn fn = Fn(f);
                    const double x = sample(fn, families[k], rngs[f][k]);
                    const double want = reference(fn, x), got = ours(fn, x);
                    checked[f]++;
                    if (!sameBits(got, want)) {
                        wrong++;
                        std::printf("MISROUNDED %s(%a) = %a, want %a\n", fnName(fn), x, got, want);
                    }
                }
        std::printf("after %ld rounds: sin %ld, cos %ld, asin %ld checked, %ld misrounded\n", b + 1, checked[0],
                    checked[1], checked[2], wrong);
        std::fflush(stdout);
    }
    return wrong == 0 ? 0 : 1;
}
