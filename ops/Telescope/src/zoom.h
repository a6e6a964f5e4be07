/*
 * Telescope's band arithmetic: how strongly the outgoing field is magnified
 * about the centre of the active rectangle, and where a band pixel samples it.
 */
#ifndef FIELDFX_TELESCOPE_ZOOM_H
#define FIELDFX_TELESCOPE_ZOOM_H

#include <cstdint>

#include "fieldfx/helpers/effects/pattern_wipe.h"
#include "fieldfx/helpers/effects/pattern_wipe_lanes.h"

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

// The sample positions of band pixels for paintPatternWipe: the
// magnification of every level a mask byte reaches once a field, then
// zoomedCoordinate in lanes across four pixels (columns) or four levels
// (rows).
struct ZoomPositions {
    int32_t halfW, halfH, ax, ay;
    double f[kMaxBandWidth + 3];  // 1 outside the levels reached

    ZoomPositions(int32_t halfW, int32_t halfH, int32_t ax, int32_t ay, const WipeLevels& lv,
                  double Z)
        : halfW(halfW), halfH(halfH), ax(ax), ay(ay) {
        const LevelRange levels = bandLevelRange(lv);
        for (int32_t k = 0; k < kMaxBandWidth + 3; ++k)
            f[k] = k >= levels.lo && k < levels.hi ? magnification(lv.S, k, Z) : 1.0;
    }

    template <typename Lanes>
    void columns(const int32_t* c, const int32_t* k, Lanes& x) const {
        x = (quadOfInts<Lanes>(c) - double(halfW)) / gatherQuad<Lanes>(f, k) + double(halfW) +
            double(ax);
    }
    template <typename Lanes>
    void rows(int32_t r, int32_t l, Lanes& y) const {
        y = Lanes::all(double(r - halfH)) / loadQuad<Lanes>(f + l) + double(halfH) + double(ay);
    }
};

}  // namespace fieldfx::telescope

#endif
