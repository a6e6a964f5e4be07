/*
 * Runs a pattern wipe's four-at-a-time sample positions with every lane type
 * this processor runs, for tests that hold them to the scalar formulas.
 */
#ifndef FIELDFX_TESTS_WIPE_POSITIONS_H
#define FIELDFX_TESTS_WIPE_POSITIONS_H

#include <array>
#include <cstring>
#include <vector>

#include "fieldfx/helpers/wipe_lanes.h"

namespace wipetest {

// x[0..3] then y[0..3].
using Quad = std::array<double, 8>;

template <typename Lanes, typename Positions>
Quad quadWith(Positions& p, int32_t r, const int32_t* c, const int32_t* k) {
    Lanes x, y;
    p(r, c, k, x, y);
    Quad q;
    std::memcpy(q.data(), &x, 32);
    std::memcpy(q.data() + 4, &y, 32);
    return q;
}

#if defined(FIELDFX_AVX2_LANES)
template <typename Positions>
FIELDFX_AVX2_KERNEL Quad quadAvx2(Positions& p, int32_t r, const int32_t* c,
                                  const int32_t* k) {
    return quadWith<fieldfx::PixelLanesAvx2>(p, r, c, k);
}
#endif

template <typename Positions>
std::vector<Quad> quadEveryLaneType(Positions& p, int32_t r, const int32_t* c,
                                    const int32_t* k) {
    std::vector<Quad> quads{quadWith<fieldfx::PixelLanes>(p, r, c, k)};
#if defined(FIELDFX_AVX2_LANES)
    if (fieldfx::haveAvx2()) quads.push_back(quadAvx2(p, r, c, k));
#endif
    return quads;
}

}  // namespace wipetest

#endif
