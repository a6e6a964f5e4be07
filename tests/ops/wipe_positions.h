/*
 * Runs a pattern wipe's four-at-a-time sample positions with every lane type
 * this processor runs, for tests that hold them to the scalar formulas.
 */
#ifndef FIELDFX_TESTS_WIPE_POSITIONS_H
#define FIELDFX_TESTS_WIPE_POSITIONS_H

#include <array>
#include <cstring>
#include <vector>

#include "fieldfx/helpers/effects/pattern_wipe_lanes.h"

namespace wipetest {

// The columns of four pixels, then the rows of four levels.
using Quad = std::array<double, 8>;

template <typename Lanes, typename Positions>
Quad quadWith(const Positions& p, int32_t r, const int32_t* c, const int32_t* k, int32_t l) {
    Lanes x, y;
    p.columns(c, k, x);
    p.rows(r, l, y);
    Quad q;
    std::memcpy(q.data(), &x, 32);
    std::memcpy(q.data() + 4, &y, 32);
    return q;
}

#if defined(FIELDFX_AVX2_LANES)
template <typename Positions>
FIELDFX_TARGET("avx2", flatten) Quad quadAvx2(const Positions& p, int32_t r, const int32_t* c,
                                  const int32_t* k, int32_t l) {
    return quadWith<fieldfx::PixelLanesAvx2>(p, r, c, k, l);
}
#endif

template <typename Positions>
std::vector<Quad> quadEveryLaneType(const Positions& p, int32_t r, const int32_t* c,
                                    const int32_t* k, int32_t l) {
    std::vector<Quad> quads{quadWith<fieldfx::PixelLanes>(p, r, c, k, l)};
#if defined(FIELDFX_AVX2_LANES)
    if (fieldfx::haveAvx2()) quads.push_back(quadAvx2(p, r, c, k, l));
#endif
    return quads;
}

}  // namespace wipetest

#endif
