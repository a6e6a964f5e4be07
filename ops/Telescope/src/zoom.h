/*
 * Telescope's band arithmetic: how strongly the outgoing field is magnified
 * about the centre of the active rectangle, and where a band pixel samples it.
 */
#ifndef FIELDFX_TELESCOPE_ZOOM_H
#define FIELDFX_TELESCOPE_ZOOM_H

#include <algorithm>
#include <cstdint>

#include "fieldfx/helpers/pattern_wipe.h"
#include "fieldfx/helpers/wipe_lanes.h"

namespace fieldfx::telescope {

// Z = Zoom x aH / 1000, formed in single precision and then widened.
inline double zoomStrength(int32_t zoom, int32_t activeHeight) {
    return double(float(zoom * activeHeight) / 1000.0f);
}

// f = (S - k) x Z / S + 1: nearly 1 + Z at the band's lower edge (k near 0),
// nearly 1 at its upper edge, joining the unchanged outgoing pixels.
inline double magnification(int32_t S, int32_t k, double Z) {
    return double(S - k) * Z / double(S) + 1.0;
}

// The sampled coordinate of column (or row) c of the rectangle: c's distance
// from the half-size point shrunk by f, measured from that point again.
inline double zoomedCoordinate(int32_t c, int32_t half, int32_t origin, double f) {
    return double(c - half) / f + double(half) + double(origin);
}

// The sample positions of band pixels, four at a time (paintPatternWipe):
// the magnification of every level a mask byte reaches once a field, the
// sampled row of each such level once a row (a row has more band pixels than
// a field has levels), and the sampled column of each pixel, all in lanes
// across four pixels or levels.
struct ZoomPositions {
    int32_t halfW, halfH, ax, ay;
    int32_t kLo, kHi;  // the levels of mask bytes 0..255
    int32_t row = -1;  // the rectangle row rowY holds
    // Four entries past the last level, so that levels go four at a time.
    double f[kMaxBandWidth + 3];
    double rowY[kMaxBandWidth + 3];

    ZoomPositions(int32_t halfW, int32_t halfH, int32_t ax, int32_t ay, const WipeLevels& lv,
                  double Z)
        : halfW(halfW), halfH(halfH), ax(ax), ay(ay),
          kLo(int32_t(std::max<int64_t>(0, -lv.L))),
          kHi(int32_t(std::min<int64_t>(lv.S, 256 - lv.L))) {
        for (int32_t k = 0; k < kMaxBandWidth + 3; ++k)
            f[k] = k >= kLo && k < kHi ? magnification(lv.S, k, Z) : 1.0;
    }

    template <typename Lanes>
    void operator()(int32_t r, const int32_t* c, const int32_t* k, Lanes& x, Lanes& y) {
        if (r != row) {
            for (int32_t l = kLo; l < kHi; l += 4)
                storeQuad(Lanes::all(double(r - halfH)) / loadQuad<Lanes>(f + l) +
                              double(halfH) + double(ay),
                          rowY + l);
            row = r;
        }
        x = (quadOfInts<Lanes>(c) - double(halfW)) / gatherQuad<Lanes>(f, k) + double(halfW) +
            double(ax);
        y = gatherQuad<Lanes>(rowY, k);
    }
};

}  // namespace fieldfx::telescope

#endif
