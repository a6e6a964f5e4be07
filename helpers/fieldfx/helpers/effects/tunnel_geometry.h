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

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

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

// The distance and direction of every pixel of a W x H field. They depend
// only on the pixel's offset from the centre (dx = x - cx, k = y - cy, both
// exact in double), the pixel aspect and the parity, yet cost a square root
// and four transcendental calls a pixel; an effect keeps them across requests.
//
// The table is kept in offset space, one canvas per parity: a rectangle of
// offsets (columns dx, rows k) that holds at least the window a field needs,
// -cx <= dx < W - cx and -cy <= k < H - cy. A field whose window lies inside
// the canvas reads its rows straight out of it, so a centre that moves costs
// nothing once the canvas covers where it goes. When the window leaves the
// canvas, the canvas grows to take it in, plus a margin of half the field in
// the direction it grew (a centre that keeps moving then stays inside for a
// while), and only the offsets it did not hold are computed. A new pixel
// aspect starts a fresh canvas of the window alone.
//
// A window holds at most kMaxPixels pixels (24 MiB; both parities of a
// 1920 x 540 field fit), a canvas at most kMaxCanvasPixels (every centre
// inside a 1920 x 540 field, 96 MiB); a canvas that would grow beyond that
// starts afresh with the window. For a larger field, or when the heap has no
// room, rows() gives null and the caller computes each pixel directly.
//
// Each quantity is an array of its own, row after row, so that four pixels
// load as one vector; every array runs kPad zeros beyond its last offset, so
// an eight-lane load that starts on any pixel stays inside it (a load past
// the end of a row reads the canvas's next row, or the pad: finite values the
// kernels leave unused).
struct TunnelRows {
    const double* dist;
    const double* ux;  // Direction: zero at the centre itself, which no disc
    const double* uy;  // leaves outside

    // The rows from pixel `i` (in the row's own columns) on.
    TunnelRows from(std::size_t i) const { return TunnelRows{dist + i, ux + i, uy + i}; }
};

// A field's view of a canvas: row y of the field from its column 0 on.
class TunnelTable {
public:
    TunnelRows row(int32_t y) const { return first_.from(std::size_t(y) * stride_); }

private:
    friend class TunnelGeometryCache;
    TunnelRows first_{};
    std::size_t stride_ = 0;
};

class TunnelGeometryCache {
public:
    static constexpr std::size_t kMaxPixels = std::size_t(1) << 20;
    static constexpr std::size_t kMaxCanvasPixels = std::size_t(1) << 22;
    static constexpr std::size_t kPad = 7;

    TunnelGeometryCache() = default;
    TunnelGeometryCache(const TunnelGeometryCache&) = delete;
    TunnelGeometryCache& operator=(const TunnelGeometryCache&) = delete;
    ~TunnelGeometryCache() {
        for (Canvas& t : canvases_) std::free(t.block);
    }

    const TunnelTable* rows(const TunnelCentre& c, int32_t width, int32_t height) {
        if (width <= 0 || height <= 0) return nullptr;
        if (std::size_t(width) * std::size_t(height) > kMaxPixels) return nullptr;
        Canvas& t = canvases_[c.f];
        const Offsets want{-c.cx, -c.cy, width - c.cx, height - c.cy};
        if (t.block == nullptr || t.pa != c.pa || !t.area.holds(want))
            if (!grow(t, c, want, width, height)) return nullptr;
        const std::size_t stride = t.area.columns();
        const std::size_t first = std::size_t(want.k0 - t.area.k0) * stride +
                                  std::size_t(want.dx0 - t.area.dx0);
        t.view.first_ = TunnelRows{t.dist() + first, t.ux() + first, t.uy() + first};
        t.view.stride_ = stride;
        return &t.view;
    }

    // Offsets whose distance and direction were worked out (not copied) since
    // the cache was made: what moving the centre cost.
    std::size_t cellsComputed() const { return computed_; }

private:
    // Offsets dx0 <= dx < dx1, k0 <= k < k1 (64-bit: a centre far outside
    // the field plus a margin stays exact).
    struct Offsets {
        int64_t dx0 = 0, k0 = 0, dx1 = 0, k1 = 0;
        std::size_t columns() const { return std::size_t(dx1 - dx0); }
        std::size_t cells() const { return columns() * std::size_t(k1 - k0); }
        bool hasRow(int64_t k) const { return k0 <= k && k < k1; }
        bool hasColumn(int64_t dx) const { return dx0 <= dx && dx < dx1; }
        bool holds(const Offsets& o) const {
            return dx0 <= o.dx0 && o.dx1 <= dx1 && k0 <= o.k0 && o.k1 <= k1;
        }
    };

    struct Canvas {
        int32_t pa = 0;
        Offsets area;
        double* block = nullptr;  // dist, ux and uy, each area.cells() + kPad long
        TunnelTable view;
        std::size_t stride() const { return area.cells() + kPad; }
        double* dist() const { return block; }
        double* ux() const { return block + stride(); }
        double* uy() const { return block + 2 * stride(); }
    };

    bool grow(Canvas& t, const TunnelCentre& c, const Offsets& want, int32_t width,
              int32_t height) {
        const bool keep = t.block != nullptr && t.pa == c.pa;
        Offsets next = want;
        if (keep) {
            Offsets both{std::min(t.area.dx0, want.dx0), std::min(t.area.k0, want.k0),
                         std::max(t.area.dx1, want.dx1), std::max(t.area.k1, want.k1)};
            next = both;
            if (want.dx0 < t.area.dx0) next.dx0 -= width / 2;
            if (want.dx1 > t.area.dx1) next.dx1 += width / 2;
            if (want.k0 < t.area.k0) next.k0 -= height / 2;
            if (want.k1 > t.area.k1) next.k1 += height / 2;
            if (next.cells() > kMaxCanvasPixels) next = both;
        }
        const Offsets old = keep && next.cells() <= kMaxCanvasPixels ? t.area : Offsets{};
        if (old.cells() == 0) next = want;

        Canvas fresh;
        fresh.pa = c.pa;
        fresh.area = next;
        fresh.block = static_cast<double*>(std::malloc(3 * fresh.stride() * sizeof(double)));
        if (fresh.block == nullptr) return false;
        const std::size_t columns = next.columns(), oldColumns = old.columns();
        for (int64_t k = old.k0; k < old.k1; ++k) {
            const std::size_t to = std::size_t(k - next.k0) * columns + std::size_t(old.dx0 - next.dx0);
            const std::size_t from = std::size_t(k - old.k0) * oldColumns;
            std::memcpy(fresh.dist() + to, t.dist() + from, oldColumns * sizeof(double));
            std::memcpy(fresh.ux() + to, t.ux() + from, oldColumns * sizeof(double));
            std::memcpy(fresh.uy() + to, t.uy() + from, oldColumns * sizeof(double));
        }
        fill(fresh, c, old);
        std::free(t.block);
        t.pa = fresh.pa, t.area = fresh.area, t.block = fresh.block;
        return true;
    }

    // Works out every offset of t.area that `old` does not hold, row after
    // row, each row left to right. The arcsine and sine are odd (correctly
    // rounded), so an offset that mirrors one already held, (-dx, k) or a row
    // whose vertical distance is the negated one, has its distance and
    // direction with one sign turned.
    void fill(Canvas& t, const TunnelCentre& c, const Offsets& old) {
        const TunnelCentre origin{0, 0, c.f, c.pa};
        const Offsets& a = t.area;
        const std::size_t columns = a.columns();
        double* const dist = t.dist();
        double* const ux = t.ux();
        double* const uy = t.uy();
        for (int64_t k = a.k0; k < a.k1; ++k) {
            const double dv = frameLineDistance(origin, int32_t(k));
            const int64_t mirrorRow = -k - c.f;
            const bool rowMirrors = dv != 0.0 && a.hasRow(mirrorRow) &&
                                    frameLineDistance(origin, int32_t(mirrorRow)) == -dv;
            const bool oldRow = old.hasRow(k);
            const std::size_t row = std::size_t(k - a.k0) * columns;
            const std::ptrdiff_t up = (std::ptrdiff_t(mirrorRow) - std::ptrdiff_t(k)) *
                                      std::ptrdiff_t(columns);
            auto cells = [&](int64_t from, int64_t to) {
                for (int64_t dx = from; dx < to; ++dx) {
                    const std::size_t i = row + std::size_t(dx - a.dx0);
                    // The mirror row is held where it lies above this one
                    // (done in this pass) or in the old canvas.
                    if (rowMirrors && (mirrorRow < k || (old.hasRow(mirrorRow) && old.hasColumn(dx)))) {
                        const std::size_t m = std::size_t(std::ptrdiff_t(i) + up);
                        dist[i] = dist[m], ux[i] = ux[m], uy[i] = -uy[m];
                        continue;
                    }
                    const int64_t mirrorColumn = -dx;
                    if (a.hasColumn(mirrorColumn) &&
                        (mirrorColumn < dx || (oldRow && old.hasColumn(mirrorColumn)))) {
                        const std::size_t m = row + std::size_t(mirrorColumn - a.dx0);
                        dist[i] = dist[m], ux[i] = -ux[m], uy[i] = uy[m];
                        continue;
                    }
                    const double x = columnDistance(origin, int32_t(dx));
                    dist[i] = centreDistance(x, dv);
                    const Direction u = dist[i] > 0.0 ? directionOf(x, dv, dist[i]) : Direction{0.0, 0.0};
                    ux[i] = u.ux, uy[i] = u.uy;
                    ++computed_;
                }
            };
            if (oldRow) {
                cells(a.dx0, old.dx0);
                cells(old.dx1, a.dx1);
            } else {
                cells(a.dx0, a.dx1);
            }
        }
        const std::size_t end = a.cells();
        for (std::size_t i = 0; i < kPad; ++i) dist[end + i] = ux[end + i] = uy[end + i] = 0.0;
    }

    Canvas canvases_[2];
    std::size_t computed_ = 0;
};

}  // namespace fieldfx

#endif
