/*
 * Telescope's band arithmetic: how strongly the outgoing field is magnified
 * about the centre of the active rectangle, and where a band pixel samples it.
 */
#ifndef FIELDFX_TELESCOPE_ZOOM_H
#define FIELDFX_TELESCOPE_ZOOM_H

#include <cstdint>

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

}  // namespace fieldfx::telescope

#endif
