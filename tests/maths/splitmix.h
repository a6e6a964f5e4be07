// splitmix64: a small generator whose sequence is the same on every platform,
// for the tests that must draw the same arguments and requests everywhere.
#ifndef FIELDFX_TESTS_MATHS_SPLITMIX_H
#define FIELDFX_TESTS_MATHS_SPLITMIX_H

#include <cstdint>

namespace fieldfx::maths_test {

struct Rng {
    uint64_t s;
    uint64_t next()
    {
        uint64_t z = (s += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double unit() { return double(next() >> 11) * 0x1p-53; }  // [0, 1)
    int below(int n) { return int(next() % uint64_t(n)); }
};

}  // namespace fieldfx::maths_test

#endif
