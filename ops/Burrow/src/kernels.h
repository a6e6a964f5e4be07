// Burrow's kernel: one row of A painted in place, the tunnel of B's samples
// outside the disc and B (or the fade of A into B) inside it.
//
//   burrowRowRef     the reference: each pixel in turn, plain doubles;
//   burrowRowSse2    the same loop with the bytes in SSE2 lanes;
//   burrowRowAvx2    from the kept geometry table, the ring positions of
//                    four pixels at once (paintRings);
//   burrowRowAvx512  eight pixels' positions at once, neighbours blended in
//                    pairs.
// Without a table (a field too large for one) every version runs the
// reference loop with its own lanes.
#ifndef FIELDFX_BURROW_KERNELS_H
#define FIELDFX_BURROW_KERNELS_H

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "fieldfx/helpers/effects/tunnel_geometry.h"
#include "fieldfx/helpers/effects/tunnel_geometry_lanes.h"
#include "fieldfx/helpers/lanes/cpu.h"
#include "fieldfx/helpers/lanes/lanes.h"
#include "fieldfx/helpers/lanes/pair_lanes.h"
#include "fieldfx/helpers/pixel/sampler.h"

namespace fieldfx::burrow {

// The progress count t of a span of D fields and the quantities derived from
// it. Counts are 64-bit so that no duration overflows a product.
struct Progress {
    int64_t t, d8;
    double r, span;
};

// The painted input's bytes outside the disc: A blended with the sample of B
// by the distance e beyond the rim, and during the fade weighed against A
// again. A byte takes the low 8 bits of the value truncated to 32 bits;
// beyond that range (possible only where a pixel lies beyond the farthest
// corner, with a large pixel aspect) it is 0, as the x86 conversion gives.
// A's fade term int64(a) * keep is exact in double (below 2^37). Lanes
// carries each pixel's four byte computations (fieldfx/helpers/lanes/lanes.h), or
// two pixels' (pair_lanes.h) with e a pair.
template <typename Lanes, typename Share>
inline Lanes tunnelValue(Lanes inA, Lanes sample, Share e, const Progress& g, bool fade, double keep) {
    const Lanes tunnel = (inA * e + sample * (g.span - e)) / g.span;
    if (!fade) return tunnel;
    return (tunnel * double(g.t) + inA * keep) / double(g.d8);
}

template <typename Lanes>
inline void tunnelPixel(uint8_t* pa, const uint8_t sample[4], double e, const Progress& g, bool fade,
                 double keep) {
    storeLowBytes(
        tunnelValue(Lanes::load(pa), Lanes::load(sample), e, g, fade, keep), pa);
}

// A pixel inside the disc: B's, or during the fade A and B weighed by
// integers.
inline void discPixel(uint8_t* pa, const uint8_t* pb, const Progress& g, bool fade, int64_t keep) {
    if (!fade) {
        std::memcpy(pa, pb, 4);
        return;
    }
    for (int i = 0; i < 4; ++i)
        pa[i] = uint8_t((int64_t(pa[i]) * keep + int64_t(pb[i]) * g.t) / g.d8);
}

// discPixel's fade with the four bytes in lanes, for D8 below kFadeInDoubles:
// a x keep + b x t is at most 255 x D8, exact in double, and the quotient
// truncates to the integer one, as a quotient short of the next whole number
// falls short by at least 1 / D8 > 2^-44, while rounding moves a quotient
// below 256 by at most half a unit in its last place, 2^-46.
inline constexpr int64_t kFadeInDoubles = int64_t(1) << 44;  // used by the x86-64 kernels

template <typename Lanes>
inline void fadeDiscPixel(uint8_t* pa, const uint8_t* pb, double t, double keep, double d8) {
    storeLowBytes((Lanes::load(pa) * keep + Lanes::load(pb) * t) / d8, pa);
}

struct BurrowField {
    TunnelCentre c;
    Progress g;
    int32_t depth;
    bool fade;
    int64_t keep;  // A's integer weight in the fade
};

#if defined(FIELDFX_PAIR_LANES)
// One row of the direct loop below, from the kept table, with the divisions
// of the ring radius and the sample row taken for four pixels at once, or
// eight with kPairs (the IEEE quotients, bit for bit the scalar ones); with
// kPairs, two neighbours outside the disc are also blended and divided
// together in eight lanes; the blends in a second pass over the chunk
// (PixelSamples, PairSamples). q comes by value: the byte stores through pa
// may alias anything, so a reference's fields were loaded again and the
// fade's counts converted to doubles for every pair.
template <bool kPairs>
inline void paintRings(const SampleSource& source, const TunnelRows& row,
                int32_t width, uint8_t* pa, const uint8_t* rowB, int32_t lastColB,
                const BurrowField q) {
    using Lanes = std::conditional_t<kPairs, PixelPairLanes, PixelLanesAvx2>;
    const double keep = double(q.keep);
    const bool fadeInDoubles = q.fade && q.g.d8 < kFadeInDoubles;
    const double t = double(q.g.t), d8 = double(q.g.d8);
    RingChunk chunk;
    for (int32_t x0 = 0; x0 < width; x0 += RingChunk::kPixels) {
        const int32_t n = std::min(RingChunk::kPixels, width - x0);
        const TunnelRows part = row.from(std::size_t(x0));
        ringChunk<Lanes>(q.c, part, n, q.g.r, q.g.span, q.depth, source, chunk);
        uint8_t* const chunkA = pa;
        [[maybe_unused]] PairSamples pairs;
        [[maybe_unused]] PixelSamples singles;
        for (int32_t i = 0; i < n; ++i, pa += 4) {
            if (q.g.r >= part.dist[i]) {
                const uint8_t* pb = rowB + std::size_t(std::min(x0 + i, lastColB)) * 4;
                if (fadeInDoubles)
                    fadeDiscPixel<PixelLanesAvx2>(pa, pb, t, keep, d8);
                else
                    discPixel(pa, pb, q.g, q.fade, q.keep);
                continue;
            }
            if constexpr (kPairs) {
                if (i + 1 < n && !(q.g.r >= part.dist[i + 1])) {
                    pairs.add(i, blendTapPair(source.pixels, chunk.tap[i],
                                                       chunk.tap[i + 1]));
                    ++i, pa += 4;
                    continue;
                }
            }
            if constexpr (!kPairs) {
                blendTaps<PixelLanesAvx2>(source.pixels, chunk.tap[i],
                                                            singles.add(i));
                continue;
            }
            uint8_t sample[4];
            blendTaps<PixelLanesAvx2>(source.pixels, chunk.tap[i], sample);
            tunnelPixel<PixelLanesAvx2>(pa, sample, chunk.e[i], q.g, q.fade, keep);
        }
        for (int32_t p = 0; p < singles.count; ++p) {
            const int32_t i = singles.at[p];
            tunnelPixel<PixelLanesAvx2>(chunkA + std::size_t(i) * 4, singles.bytes[p],
                                                 chunk.e[i], q.g, q.fade, keep);
        }
        if constexpr (kPairs) {
            using Pair = PixelPairLanes;
            for (int32_t p = 0; p < pairs.count; ++p) {
                const int32_t i = pairs.first[p];
                uint8_t* twoA = chunkA + std::size_t(i) * 4;
                const Pair e = Pair::pair(chunk.e[i], chunk.e[i + 1]);
                storeLowBytes(
                    tunnelValue(Pair::load(twoA, twoA + 4), pairs[p], e, q.g, q.fade, keep), twoA);
            }
        }
    }
}
#endif

// The kernel: row y of A (width pixels at pa) painted in place, rowB the row
// of B it reads (its columns up to lastColB), with `row` the geometry table
// from the row's first pixel on, or null to compute each pixel's distance
// and direction.
using BurrowRow = void (*)(const SampleSource& source, const TunnelRows* row, int32_t y,
                           int32_t width, uint8_t* pa, const uint8_t* rowB, int32_t lastColB,
                           const BurrowField& q);

template <typename Lanes>
inline void burrowRowWith(const SampleSource& source, const TunnelRows* row, int32_t y,
                          int32_t width, uint8_t* pa, const uint8_t* rowB, int32_t lastColB,
                          const BurrowField& q) {
    const Progress& g = q.g;
    const double dv = frameLineDistance(q.c, y);
    for (int32_t x = 0; x < width; ++x, pa += 4) {
        const double dx = columnDistance(q.c, x);
        const double dist = row ? row->dist[x] : centreDistance(dx, dv);
        if (g.r >= dist) {
            discPixel(pa, rowB + std::size_t(std::min(x, lastColB)) * 4, g, q.fade, q.keep);
            continue;
        }
        const double e = dist - g.r;
        const double rho = ringRadius(q.depth, e, g.span, g.r);
        const Direction u = row ? Direction{row->ux[x], row->uy[x]} : directionOf(dx, dv, dist);
        const SamplePosition s = ringSample(q.c, u, rho);
        uint8_t sample[4];
        sampleBilinear(source, s.x, s.y, sample);
        tunnelPixel<Lanes>(pa, sample, e, g, q.fade, double(q.keep));
    }
}

inline void burrowRowRef(const SampleSource& source, const TunnelRows* row, int32_t y,
                         int32_t width, uint8_t* pa, const uint8_t* rowB, int32_t lastColB,
                         const BurrowField& q) {
    burrowRowWith<PixelLanesPlain>(source, row, y, width, pa, rowB, lastColB, q);
}

#if defined(__SSE2__)
inline void burrowRowSse2(const SampleSource& source, const TunnelRows* row, int32_t y,
                          int32_t width, uint8_t* pa, const uint8_t* rowB, int32_t lastColB,
                          const BurrowField& q) {
    burrowRowWith<PixelLanes>(source, row, y, width, pa, rowB, lastColB, q);
}
#endif

#if defined(FIELDFX_PAIR_LANES)
FIELDFX_TARGET("avx2", flatten)
inline void burrowRowAvx2(const SampleSource& source, const TunnelRows* row, int32_t y,
                          int32_t width, uint8_t* pa, const uint8_t* rowB, int32_t lastColB,
                          const BurrowField& q) {
    if (row != nullptr)
        paintRings<false>(source, *row, width, pa, rowB, lastColB, q);
    else
        burrowRowWith<PixelLanesAvx2>(source, row, y, width, pa, rowB, lastColB, q);
}

FIELDFX_TARGET("avx512f", flatten)
inline void burrowRowAvx512(const SampleSource& source, const TunnelRows* row, int32_t y,
                            int32_t width, uint8_t* pa, const uint8_t* rowB, int32_t lastColB,
                            const BurrowField& q) {
    if (row != nullptr)
        paintRings<true>(source, *row, width, pa, rowB, lastColB, q);
    else
        burrowRowWith<PixelLanesAvx2>(source, row, y, width, pa, rowB, lastColB, q);
}
#endif

inline constexpr Kernels<BurrowRow> kBurrowRow{
    burrowRowRef,
#if defined(__SSE2__)
    burrowRowSse2,
#else
    nullptr,
#endif
#if defined(FIELDFX_PAIR_LANES)
    burrowRowAvx2, burrowRowAvx512,
#endif
};

}  // namespace fieldfx::burrow

#endif
