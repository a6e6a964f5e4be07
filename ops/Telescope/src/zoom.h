/*
 * Telescope's band arithmetic: how strongly the outgoing field is magnified
 * about the centre of the active rectangle, and where a band pixel samples it.
 */
#ifndef FIELDFX_TELESCOPE_ZOOM_H
#define FIELDFX_TELESCOPE_ZOOM_H

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
// the magnification of every band level once a field, then zoomedCoordinate
// for both axes in lanes across the four pixels.
struct ZoomPositions {
    int32_t halfW, halfH, ax, ay;
    double f[kMaxBandWidth];

    ZoomPositions(int32_t halfW, int32_t halfH, int32_t ax, int32_t ay, int32_t S, double Z)
        : halfW(halfW), halfH(halfH), ax(ax), ay(ay) {
        for (int32_t k = 0; k < S; ++k) f[k] = magnification(S, k, Z);
    }

    template <typename Lanes>
    void operator()(int32_t r, const int32_t* c, const int32_t* k, Lanes& x, Lanes& y) const {
        const Lanes fk = gatherQuad<Lanes>(f, k);
        x = (quadOfInts<Lanes>(c) - double(halfW)) / fk + double(halfW) + double(ax);
        y = Lanes::all(double(r - halfH)) / fk + double(halfH) + double(ay);
    }
};

}  // namespace fieldfx::telescope

#endif
