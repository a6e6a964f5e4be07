/*
 * Sample positions for a pattern wipe from a table, for tests that run the
 * four-at-a-time loop against the pixel-by-pixel reference.
 */
#ifndef FIELDFX_TESTS_TABLE_POSITIONS_H
#define FIELDFX_TESTS_TABLE_POSITIONS_H

#include <cstdint>
#include <vector>

#include "fieldfx/helpers/effects/pattern_wipe_lanes.h"

namespace wipetest {

// Sample positions of every kind (fractional, whole, far outside, NaN) from
// a table keyed by column and level (x) and row and level (y), so that the
// four-at-a-time loop and the reference ask for the same ones.
struct TablePositions {
    std::vector<double> table;

    double at(std::size_t key) const { return table[key % table.size()]; }
    double x(int32_t c, int32_t k) const { return at(std::size_t(c * 31 + k * 7)); }
    double y(int32_t r, int32_t k) const { return at(std::size_t(r * 17 + k * 7 + 5)); }
    void operator()(int32_t c, int32_t r, int32_t k, double& sx, double& sy) const {
        sx = x(c, k);
        sy = y(r, k);
    }
    template <typename Lanes>
    void columns(const int32_t* c, const int32_t* k, Lanes& v) const {
        v = fieldfx::quadOf<Lanes>(x(c[0], k[0]), x(c[1], k[1]), x(c[2], k[2]), x(c[3], k[3]));
    }
    template <typename Lanes>
    void rows(int32_t r, int32_t l, Lanes& v) const {
        v = fieldfx::quadOf<Lanes>(y(r, l), y(r, l + 1), y(r, l + 2), y(r, l + 3));
    }
};

}  // namespace wipetest

#endif
