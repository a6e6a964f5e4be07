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
#ifndef FIELDFX_HELPERS_EFFECTS_TUNNEL_GEOMETRY_H
#define FIELDFX_HELPERS_EFFECTS_TUNNEL_GEOMETRY_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fieldfx/helpers/contract/message.h"
#include "fieldfx/helpers/maths/opmath.h"
#include "fieldfx/helpers/pixel/sampler.h"
#include "fieldfx/operator.h"

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

// The direction of a pixel at offset (dx, dv), distance dist > 0 from the
// centre: each ratio taken through the arcsine and back through the sine.
struct Direction {
    double ux, uy;
};

inline Direction directionOf(double dx, double dv, double dist) {
    return Direction{mathSin(mathAsin(dx / dist)), mathSin(mathAsin(dv / dist))};
}

// Where a pixel in direction u samples the ring of radius rho, the row
// converted back from frame lines to field rows.
inline SamplePosition ringSample(const TunnelCentre& c, Direction u, double rho) {
    const double sy = (u.uy * rho - double(c.f)) * 0.5 * 1000.0 / double(c.pa) + double(c.cy);
    const double sx = u.ux * rho + double(c.cx);
    return SamplePosition{sx, sy};
}

// Where a pixel at offset (dx, dv), distance dist > 0 from the centre, samples
// the ring of radius rho, along its own direction.
inline SamplePosition tunnelSample(const TunnelCentre& c, double dx, double dv, double dist,
                                   double rho) {
    return ringSample(c, directionOf(dx, dv, dist), rho);
}

// The distance and direction of every pixel of a W x H field. They depend only
// on the size, the centre, the pixel aspect and the parity, yet cost a square
// root and four transcendental calls a pixel; an effect keeps one table per
// parity across requests and rebuilds it exactly when one of those changes.
// A table holds at most kMaxPixels pixels (24 MiB; both parities of a
// 1920 x 540 field fit); for a larger field, or when the heap has no room,
// rows() gives null and the caller computes each pixel directly.
//
// Each quantity is an array of its own, row after row, so that four pixels
// load as one vector; every array runs kPad zeros beyond the last pixel, so an
// eight-lane load that starts on any pixel stays inside it.
struct TunnelRows {
    const double* dist;
    const double* ux;  // Direction: zero at the centre itself, which no disc
    const double* uy;  // leaves outside

    // The rows from pixel `i` (row * width + column) on.
    TunnelRows from(std::size_t i) const { return TunnelRows{dist + i, ux + i, uy + i}; }
};

class TunnelGeometryCache {
public:
    static constexpr std::size_t kMaxPixels = std::size_t(1) << 20;
    static constexpr std::size_t kPad = 7;

    TunnelGeometryCache() = default;
    TunnelGeometryCache(const TunnelGeometryCache&) = delete;
    TunnelGeometryCache& operator=(const TunnelGeometryCache&) = delete;
    ~TunnelGeometryCache() {
        for (Table& t : tables_) std::free(t.block);
    }

    const TunnelRows* rows(const TunnelCentre& c, int32_t width, int32_t height) {
        if (width <= 0 || height <= 0) return nullptr;
        const std::size_t pixels = std::size_t(width) * std::size_t(height);
        if (pixels > kMaxPixels) return nullptr;
        Table& t = tables_[c.f];
        if (t.block != nullptr && t.width == width && t.height == height && t.c.cx == c.cx &&
            t.c.cy == c.cy && t.c.pa == c.pa)
            return &t.rows;
        const std::size_t stride = pixels + kPad;
        if (pixels > t.capacity) {
            std::free(t.block);
            t.block = static_cast<double*>(std::malloc(3 * stride * sizeof(double)));
            t.capacity = t.block != nullptr ? pixels : 0;
            if (t.block == nullptr) return nullptr;
        }
        t.c = c, t.width = width, t.height = height;
        double* dist = t.block;
        double* ux = dist + stride;
        double* uy = ux + stride;
        t.rows = TunnelRows{dist, ux, uy};
        // The arcsine and sine are odd (correctly rounded), so a pixel whose
        // offset from the centre mirrors one already done, (-dx, dv) or
        // (dx, -dv), has its distance and direction with one sign turned.
        const std::size_t w = std::size_t(width);
        for (int32_t y = 0; y < height; ++y) {
            const double dv = frameLineDistance(c, y);
            const int32_t mirrorRow = 2 * c.cy - y - c.f;
            if (dv != 0.0 && mirrorRow >= 0 && mirrorRow < y &&
                frameLineDistance(c, mirrorRow) == -dv) {
                const std::ptrdiff_t back = std::ptrdiff_t(y - mirrorRow) * std::ptrdiff_t(w);
                for (std::size_t x = 0; x < w; ++x, ++dist, ++ux, ++uy)
                    *dist = dist[-back], *ux = ux[-back], *uy = -uy[-back];
                continue;
            }
            for (int32_t x = 0; x < width; ++x, ++dist, ++ux, ++uy) {
                const int32_t mirrorColumn = 2 * c.cx - x;
                if (mirrorColumn >= 0 && mirrorColumn < x) {
                    const std::ptrdiff_t back = x - mirrorColumn;
                    *dist = dist[-back], *ux = -ux[-back], *uy = uy[-back];
                    continue;
                }
                const double dx = columnDistance(c, x);
                *dist = centreDistance(dx, dv);
                const Direction u = *dist > 0.0 ? directionOf(dx, dv, *dist) : Direction{0.0, 0.0};
                *ux = u.ux, *uy = u.uy;
            }
        }
        for (std::size_t i = 0; i < kPad; ++i) dist[i] = ux[i] = uy[i] = 0.0;
        return &t.rows;
    }

private:
    struct Table {
        TunnelCentre c{};
        int32_t width = 0, height = 0;
        double* block = nullptr;  // dist, ux and uy, each pixels + kPad long
        std::size_t capacity = 0;
        TunnelRows rows{};
    };
    Table tables_[2];
};

}  // namespace fieldfx

#endif
