// Tunnel's kernel: one row of the field outside the disc repainted with
// ring samples, mixed with the input by Mix.
//
//   tunnelRowRef     the reference: each pixel in turn, plain doubles;
//   tunnelRowSse2    the same loop with the bytes in SSE2 lanes;
//   tunnelRowAvx2    from the kept geometry table, the ring positions of
//                    four pixels at once (paintRings);
//   tunnelRowAvx512  eight pixels' positions at once, neighbours blended
//                    and mixed in pairs.
// Without a table (a field too large for one) every version runs the
// reference loop with its own lanes.
#ifndef FIELDFX_TUNNEL_KERNELS_H
#define FIELDFX_TUNNEL_KERNELS_H

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

namespace fieldfx::tunnel {

// The input's share grows with the distance e beyond the rim up to Mix percent
// at e = span. Beyond span (pixels far from an off-middle centre) e is held at
// span so the weights stay non-negative and each byte between input and sample.
inline double inputShare(double e, double span, int32_t mixPercent) {
    return double(mixPercent) * std::min(e, span) / 100.0;
}

// The input weighed by w against the sample. Lanes carries the four byte
// computations (fieldfx/helpers/lanes/lanes.h), or two pixels' (pair_lanes.h) with
// w a pair.
template <typename Lanes, typename Share>
inline Lanes mixValue(Lanes in, Lanes sample, Share w, double span) {
    return (in * w + sample * (span - w)) / span;
}

template <typename Lanes>
inline void mixPixel(const uint8_t in[4], const uint8_t sample[4], double w, double span, uint8_t out[4]) {
    storeLowBytes(mixValue(Lanes::load(in), Lanes::load(sample), w, span), out);
}

struct TunnelField {
    TunnelCentre c;
    int32_t r0;
    double span;
    int32_t depth, mix;
};

#if defined(FIELDFX_PAIR_LANES)
// inputShare for a chunk, with the lanes of ringChunk.
template <typename V>
inline void inputShares(const double* e, int32_t n, double span, int32_t mixPercent, double* share) {
    using L = RingLanes<V>;
    for (int32_t i = 0; i < n; i += L::kWidth)
        L::store(share + i, V::all(double(mixPercent)) * L::atMost(L::load(e + i), span) / 100.0);
}

// One row of the direct loop below, from the kept table, with the divisions
// of the ring radius, the sample row and the input's share taken for four
// pixels at once, or eight with kPairs (the IEEE quotients, bit for bit the
// scalar ones); with kPairs, two neighbours outside the disc are also blended
// and mixed together in eight lanes; the mix in a second pass over the chunk
// (PixelSamples, PairSamples).
template <bool kPairs>
inline void paintRings(const SampleSource& source, const TunnelRows& row, int32_t cols,
                const uint8_t* inPixel, uint8_t* outPixel, const TunnelField& q) {
    using Lanes = std::conditional_t<kPairs, PixelPairLanes, PixelLanesAvx2>;
    const double rim = double(q.r0);
    RingChunk chunk;
    alignas(64) double share[RingChunk::kPixels];
    for (int32_t x0 = 0; x0 < cols; x0 += RingChunk::kPixels) {
        const int32_t n = std::min(RingChunk::kPixels, cols - x0);
        const TunnelRows part = row.from(std::size_t(x0));
        ringChunk<Lanes>(q.c, part, n, rim, q.span, q.depth, source, chunk);
        if (q.mix != 0) inputShares<Lanes>(chunk.e, n, q.span, q.mix, share);
        const uint8_t* const chunkIn = inPixel;
        uint8_t* const chunkOut = outPixel;
        [[maybe_unused]] PairSamples pairs;
        [[maybe_unused]] PixelSamples singles;
        for (int32_t i = 0; i < n; ++i, inPixel += 4, outPixel += 4) {
            if (part.dist[i] <= rim) {
                std::memcpy(outPixel, inPixel, 4);
                continue;
            }
            if constexpr (kPairs) {
                if (i + 1 < n && !(part.dist[i + 1] <= rim)) {
                    using Pair = PixelPairLanes;
                    const Pair v =
                        blendTapPair(source.pixels, chunk.tap[i], chunk.tap[i + 1]);
                    if (q.mix != 0)
                        pairs.add(i, v);
                    else
                        storeLowBytes(v, outPixel);
                    ++i, inPixel += 4, outPixel += 4;
                    continue;
                }
            }
            if constexpr (!kPairs) {
                if (q.mix != 0) {
                    blendTaps<PixelLanesAvx2>(source.pixels, chunk.tap[i],
                                                                singles.add(i));
                    continue;
                }
            }
            uint8_t sample[4];
            blendTaps<PixelLanesAvx2>(source.pixels, chunk.tap[i], sample);
            if (q.mix == 0)
                std::memcpy(outPixel, sample, 4);
            else
                mixPixel<PixelLanesAvx2>(inPixel, sample, share[i], q.span, outPixel);
        }
        for (int32_t p = 0; p < singles.count; ++p) {
            const std::size_t at = std::size_t(singles.at[p]) * 4;
            mixPixel<PixelLanesAvx2>(chunkIn + at, singles.bytes[p],
                                              share[singles.at[p]], q.span, chunkOut + at);
        }
        if constexpr (kPairs) {
            using Pair = PixelPairLanes;
            for (int32_t p = 0; p < pairs.count; ++p) {
                const int32_t i = pairs.first[p];
                const uint8_t* twoIn = chunkIn + std::size_t(i) * 4;
                storeLowBytes(mixValue(Pair::load(twoIn, twoIn + 4), pairs[p],
                                                Pair::pair(share[i], share[i + 1]), q.span),
                                       chunkOut + std::size_t(i) * 4);
            }
        }
    }
}
#endif

// The kernel: row y of the field (cols pixels, `in` to `out`), with `row` the
// geometry table from the row's first pixel on, or null to compute each
// pixel's distance and direction. Every pixel of the row is written.
using TunnelRow = void (*)(const SampleSource& source, const TunnelRows* row, int32_t y,
                           int32_t cols, const uint8_t* in, uint8_t* out, const TunnelField& q);

template <typename Lanes>
inline void tunnelRowWith(const SampleSource& source, const TunnelRows* row, int32_t y,
                          int32_t cols, const uint8_t* inPixel, uint8_t* outPixel,
                          const TunnelField& q) {
    const double rim = double(q.r0);
    const double dv = frameLineDistance(q.c, y);
    for (int32_t x = 0; x < cols; ++x, inPixel += 4, outPixel += 4) {
        const double dx = columnDistance(q.c, x);
        const double dist = row ? row->dist[x] : centreDistance(dx, dv);
        if (dist <= rim) {
            std::memcpy(outPixel, inPixel, 4);
            continue;
        }
        const double e = dist - rim;
        const double rho = ringRadius(q.depth, e, q.span, rim);
        const Direction u = row ? Direction{row->ux[x], row->uy[x]} : directionOf(dx, dv, dist);
        const SamplePosition s = ringSample(q.c, u, rho);
        uint8_t sample[4];
        sampleBilinear(source, s.x, s.y, sample);
        if (q.mix == 0)
            std::memcpy(outPixel, sample, 4);
        else
            mixPixel<Lanes>(inPixel, sample, inputShare(e, q.span, q.mix), q.span, outPixel);
    }
}

inline void tunnelRowRef(const SampleSource& source, const TunnelRows* row, int32_t y, int32_t cols,
                         const uint8_t* in, uint8_t* out, const TunnelField& q) {
    tunnelRowWith<PixelLanesPlain>(source, row, y, cols, in, out, q);
}

#if defined(__SSE2__)
inline void tunnelRowSse2(const SampleSource& source, const TunnelRows* row, int32_t y,
                          int32_t cols, const uint8_t* in, uint8_t* out, const TunnelField& q) {
    tunnelRowWith<PixelLanes>(source, row, y, cols, in, out, q);
}
#endif

#if defined(FIELDFX_PAIR_LANES)
FIELDFX_TARGET("avx2", flatten)
inline void tunnelRowAvx2(const SampleSource& source, const TunnelRows* row, int32_t y,
                          int32_t cols, const uint8_t* in, uint8_t* out, const TunnelField& q) {
    if (row != nullptr)
        paintRings<false>(source, *row, cols, in, out, q);
    else
        tunnelRowWith<PixelLanesAvx2>(source, row, y, cols, in, out, q);
}

FIELDFX_TARGET("avx512f", flatten)
inline void tunnelRowAvx512(const SampleSource& source, const TunnelRows* row, int32_t y,
                            int32_t cols, const uint8_t* in, uint8_t* out, const TunnelField& q) {
    if (row != nullptr)
        paintRings<true>(source, *row, cols, in, out, q);
    else
        tunnelRowWith<PixelLanesAvx2>(source, row, y, cols, in, out, q);
}
#endif

inline constexpr Kernels<TunnelRow> kTunnelRow{
    tunnelRowRef,
#if defined(__SSE2__)
    tunnelRowSse2,
#else
    nullptr,
#endif
#if defined(FIELDFX_PAIR_LANES)
    tunnelRowAvx2, tunnelRowAvx512,
#endif
};

}  // namespace fieldfx::tunnel

#endif
