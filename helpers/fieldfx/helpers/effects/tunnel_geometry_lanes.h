/*
 * Tunnel geometry in lanes: the ring samples of tunnel_geometry.h for four
 * (PixelLanesAvx2) or eight (PixelPairLanes) pixels at a time, each lane
 * exactly what the one-pixel functions there give. Call these from the
 * instruction set's FIELDFX_TARGET kernels.
 */
#ifndef FIELDFX_HELPERS_EFFECTS_TUNNEL_GEOMETRY_LANES_H
#define FIELDFX_HELPERS_EFFECTS_TUNNEL_GEOMETRY_LANES_H

#include "fieldfx/helpers/effects/tunnel_geometry.h"
#include "fieldfx/helpers/lanes/bilinear_taps.h"
#include "fieldfx/helpers/lanes/pair_lanes.h"

#if defined(FIELDFX_PAIR_LANES)

namespace fieldfx {

// What the ring code below needs of its lanes, four (PixelLanesAvx2) or
// eight (PixelPairLanes) pixels' doubles at a time: loads and stores of
// consecutive pixels, the sampler's taps, and min(e, span) as std::min
// takes it (span < e ? span : e).
template <typename V>
struct RingLanes;

template <>
struct RingLanes<PixelLanesAvx2> {
    static constexpr int32_t kWidth = 4;
    FIELDFX_TARGET("avx2") static PixelLanesAvx2 load(const double* p) {
        return PixelLanesAvx2{_mm256_loadu_pd(p)};
    }
    FIELDFX_TARGET("avx2") static void store(double* p, PixelLanesAvx2 v) {
        _mm256_storeu_pd(p, v.v);
    }
    template <int32_t N>
    FIELDFX_TARGET("avx2") static void split(const SampleSource& src, PixelLanesAvx2 x,
                                                      PixelLanesAvx2 y, BilinearTapRun<N>& run,
                                                      int32_t i) {
        splitTaps4(src, x.v, y.v, run, i);
    }
    FIELDFX_TARGET("avx2") static PixelLanesAvx2 atMost(PixelLanesAvx2 e, double span) {
        return PixelLanesAvx2{_mm256_min_pd(_mm256_set1_pd(span), e.v)};
    }
};

template <>
struct RingLanes<PixelPairLanes> {
    static constexpr int32_t kWidth = 8;
    FIELDFX_TARGET("avx512f") static PixelPairLanes load(const double* p) {
        return PixelPairLanes{_mm512_loadu_pd(p)};
    }
    FIELDFX_TARGET("avx512f") static void store(double* p, PixelPairLanes v) {
        _mm512_storeu_pd(p, v.v);
    }
    template <int32_t N>
    FIELDFX_TARGET("avx512f") static void split(const SampleSource& src, PixelPairLanes x,
                                                         PixelPairLanes y, BilinearTapRun<N>& run,
                                                         int32_t i) {
        // (The masked extracts: GCC 12 warns about the plain ones.)
        splitTaps4(src, _mm512_maskz_extractf64x4_pd(0xF, x.v, 0),
                   _mm512_maskz_extractf64x4_pd(0xF, y.v, 0), run, i);
        splitTaps4(src, _mm512_maskz_extractf64x4_pd(0xF, x.v, 1),
                   _mm512_maskz_extractf64x4_pd(0xF, y.v, 1), run, i + 4);
    }
    FIELDFX_TARGET("avx512f") static PixelPairLanes atMost(PixelPairLanes e, double span) {
        return PixelPairLanes{_mm512_maskz_min_pd(kAll, _mm512_set1_pd(span), e.v)};
    }
};

// The ring samples of up to kPixels consecutive pixels of one table row,
// worked out RingLanes<V>::kWidth pixels at once: for each pixel its distance
// e beyond the rim, and the taps of the point
// ringSample(c, u, ringRadius(depth, e, span, rim)) in `src`. The same
// operations in the same order as the scalar functions, so the same bits.
// Pixels inside the disc get taps too; they go unused.
struct RingChunk {
    static constexpr int32_t kPixels = 64;
    alignas(64) double e[kPixels];
    BilinearTapRun<kPixels> tap;
};

// The samples of a chunk's pixels outside the disc, kept for a second pass
// that blends them: blending each pixel right after its sample, the blend's
// divisions waited on the sample's loads; sampling all of a chunk first lets
// the divisions of many pixels overlap. PixelSamples holds single pixels'
// bytes, PairSamples pairs of neighbours in eight lanes.
struct PixelSamples {
    uint8_t bytes[RingChunk::kPixels][4];
    int32_t at[RingChunk::kPixels];  // the chunk index of each pixel
    int32_t count = 0;

    // Where the sample of chunk pixel i goes.
    uint8_t* add(int32_t i) {
        at[count] = i;
        return bytes[count++];
    }
};

struct PairSamples {
    alignas(64) double lanes[RingChunk::kPixels * 4];
    int32_t first[RingChunk::kPixels / 2];  // the chunk index of each pair's first pixel
    int32_t count = 0;

    FIELDFX_TARGET("avx512f") void add(int32_t i, PixelPairLanes v) {
        _mm512_store_pd(lanes + 8 * count, v.v);
        first[count++] = i;
    }
    FIELDFX_TARGET("avx512f") PixelPairLanes operator[](int32_t p) const {
        return PixelPairLanes{_mm512_load_pd(lanes + 8 * p)};
    }
};

template <typename V>
void ringChunk(const TunnelCentre& c, const TunnelRows& row, int32_t n, double rim, double span,
               int32_t depth, const SampleSource& src, RingChunk& out) {
    using L = RingLanes<V>;
    for (int32_t i = 0; i < n; i += L::kWidth) {
        const V e = L::load(row.dist + i) - rim;
        const V rho = e * double(depth) / span + rim;
        const V sy = (L::load(row.uy + i) * rho - double(c.f)) * 0.5 * 1000.0 / double(c.pa) +
                     double(c.cy);
        const V sx = L::load(row.ux + i) * rho + double(c.cx);
        L::store(out.e + i, e);
        L::split(src, sx, sy, out.tap, i);
    }
}

}  // namespace fieldfx

#endif

#endif
