/*
 * The geometry of the tunnel effects: distances from a centre measured in
 * frame lines, the radius of the ring a pixel outside the disc samples, and
 * the position it samples in its own direction from the centre.
 *
 * Vertical distances count frame lines (two per field row, plus one on the
 * odd field) scaled by the pixel aspect, so that they compare with horizontal
 * pixel distances; the sample position undoes that scaling again. Everything
 * is double precision in the order written here: the effects are defined to
 * the bit.
 */
#ifndef FIELDFX_HELPERS_TUNNEL_GEOMETRY_H
#define FIELDFX_HELPERS_TUNNEL_GEOMETRY_H

#include <cstdint>

#include "fieldfx/helpers/message.h"
#include "fieldfx/operator.h"
#include "fieldfx/helpers/opmath.h"

namespace fieldfx {

struct TunnelCentre {
    int32_t cx, cy;  // centre in image columns and rows
    int32_t f;       // 1 on the odd field: its rows lie one frame line lower
    int32_t pa;      // pixel aspect x 1000, never 0
};

// The centre marker counts from the top-left corner of the image's active
// rectangle. A pixel aspect of 0 is taken as 1000 (it divides the sample row).
inline TunnelCentre tunnelCentre(const FieldImage* image, const PositionDescriptor& centre,
                                 const OperatorMessage* msg) {
    return TunnelCentre{int32_t(image->activeX) + int32_t(centre.posX),
                        int32_t(image->activeY) + int32_t(centre.posY), isOddField(msg) ? 1 : 0,
                        pixelAspectOf(msg)};
}

// Vertical distance of row y from the centre in frame lines, aspect-corrected.
inline double frameLineDistance(const TunnelCentre& c, int32_t y) {
    return double(c.pa) * ((double(y) - double(c.cy)) * 2.0) / 1000.0 + double(c.f);
}

inline double columnDistance(const TunnelCentre& c, int32_t x) { return double(x) - double(c.cx); }

inline double centreDistance(double dx, double dv) { return mathSqrt(dv * dv + dx * dx); }

// The radius a pixel at distance e beyond the rim samples: the rim itself at
// e = 0, Depth pixels farther out where e reaches span.
inline double ringRadius(int32_t depth, double e, double span, double rim) {
    return double(depth) * e / span + rim;
}

struct SamplePosition {
    double x, y;
};

// Where a pixel at offset (dx, dv), distance dist > 0 from the centre, samples
// the ring of radius rho: along its own direction, each ratio taken through
// the arcsine and back through the sine, the row converted back from frame
// lines to field rows.
inline SamplePosition tunnelSample(const TunnelCentre& c, double dx, double dv, double dist,
                                   double rho) {
    const double uy = mathSin(mathAsin(dv / dist));
    const double ux = mathSin(mathAsin(dx / dist));
    const double sy = (uy * rho - double(c.f)) * 0.5 * 1000.0 / double(c.pa) + double(c.cy);
    const double sx = ux * rho + double(c.cx);
    return SamplePosition{sx, sy};
}

}  // namespace fieldfx

#endif
