// Tunnel: keeps a disc around the centre and repaints everything outside it
// with samples of a thin ring just beyond the rim, each taken in the pixel's
// own direction, so the outside turns into streaks radiating from the disc.
// Mix blends the input back in, the more the farther a pixel lies out.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "fieldfx/helpers/action.h"
#include "fieldfx/helpers/describe.h"
#include "fieldfx/helpers/lanes.h"
#include "fieldfx/helpers/pair_lanes.h"
#include "fieldfx/helpers/params.h"
#include "fieldfx/helpers/rect.h"
#include "fieldfx/helpers/request.h"
#include "fieldfx/helpers/sampler.h"
#include "fieldfx/helpers/tunnel_geometry.h"

namespace {

const char kIdent[] = "$Id: Vexo_Tunnel,v 1.0 2014/03/24 00:00:00 Orvandel $";
const fieldfx::OperatorIdentity kId{"src\\Tunnel", 0x0b840000u};

// The failure points and the source line each one logs.
constexpr int32_t kInputLine = 100;
constexpr int32_t kScratchLine = 106;

PositionDescriptor centre = fieldfx::makeCentreMarker(1430, 320, 140);
SliderDescriptor radius = fieldfx::makeSlider(1410, 1, 300, 50);
SliderDescriptor mix = fieldfx::makeSlider(1420, 0, 100, 0);
SliderDescriptor depth = fieldfx::makeSlider(1440, 0, 20, 10);

const auto kTags = fieldfx::describeOperator(
    fieldfx::kFilter, kIdent, 2, &centre, &radius, &mix, &depth);

// Radius of the untouched disc: Radius percent of the field height.
int32_t discRadius(int32_t height, int32_t radiusPercent) { return height * radiusPercent / 100; }

// The length over which distances beyond the rim are normalised: the larger
// horizontal reach of the frame diagonal from the centre, less the disc. The
// integer sum under the root is formed in 64 bits so that no size overflows.
double tunnelSpan(int32_t width, int32_t height, int32_t cx, int32_t r0) {
    const int64_t w = width, h = height;
    const double diag = fieldfx::mathSqrt(double(w * w + 4 * h * h));
    const double half = diag * 0.5;
    return std::fabs(double(cx) - half) + half - double(r0);
}

// The input's share grows with the distance e beyond the rim up to Mix percent
// at e = span. Beyond span (pixels far from an off-middle centre) e is held at
// span so the weights stay non-negative and each byte between input and sample.
double inputShare(double e, double span, int32_t mixPercent) {
    return double(mixPercent) * std::min(e, span) / 100.0;
}

// The input weighed by w against the sample. Lanes carries the four byte
// computations (fieldfx/helpers/lanes.h), or two pixels' (pair_lanes.h) with
// w a pair.
template <typename Lanes, typename Share>
Lanes mixValue(Lanes in, Lanes sample, Share w, double span) {
    return (in * w + sample * (span - w)) / span;
}

template <typename Lanes>
void mixPixel(const uint8_t in[4], const uint8_t sample[4], double w, double span, uint8_t out[4]) {
    fieldfx::storeLowBytes(mixValue(Lanes::load(in), Lanes::load(sample), w, span), out);
}

// Each pixel's distance and direction from the centre, kept across fields.
fieldfx::TunnelGeometryCache geometry;

struct TunnelField {
    fieldfx::TunnelCentre c;
    int32_t r0;
    double span;
    int32_t depth, mix;
};

#if defined(FIELDFX_PAIR_LANES)
// inputShare for a chunk, with the lanes of ringChunk.
template <typename V>
void inputShares(const double* e, int32_t n, double span, int32_t mixPercent, double* share) {
    using L = fieldfx::RingLanes<V>;
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
void paintRings(const fieldfx::SampleSource& source, const fieldfx::TunnelRows& row, int32_t cols,
                const uint8_t* inPixel, uint8_t* outPixel, const TunnelField& q) {
    using Lanes = std::conditional_t<kPairs, fieldfx::PixelPairLanes, fieldfx::PixelLanesAvx2>;
    const double rim = double(q.r0);
    fieldfx::RingChunk chunk;
    alignas(64) double share[fieldfx::RingChunk::kPixels];
    for (int32_t x0 = 0; x0 < cols; x0 += fieldfx::RingChunk::kPixels) {
        const int32_t n = std::min(fieldfx::RingChunk::kPixels, cols - x0);
        const fieldfx::TunnelRows part = row.from(std::size_t(x0));
        fieldfx::ringChunk<Lanes>(q.c, part, n, rim, q.span, q.depth, source, chunk);
        if (q.mix != 0) inputShares<Lanes>(chunk.e, n, q.span, q.mix, share);
        const uint8_t* const chunkIn = inPixel;
        uint8_t* const chunkOut = outPixel;
        [[maybe_unused]] fieldfx::PairSamples pairs;
        [[maybe_unused]] fieldfx::PixelSamples singles;
        for (int32_t i = 0; i < n; ++i, inPixel += 4, outPixel += 4) {
            if (part.dist[i] <= rim) {
                std::memcpy(outPixel, inPixel, 4);
                continue;
            }
            if constexpr (kPairs) {
                if (i + 1 < n && !(part.dist[i + 1] <= rim)) {
                    using Pair = fieldfx::PixelPairLanes;
                    const Pair v =
                        fieldfx::blendTapPair(source.pixels, chunk.tap[i], chunk.tap[i + 1]);
                    if (q.mix != 0)
                        pairs.add(i, v);
                    else
                        fieldfx::storeLowBytes(v, outPixel);
                    ++i, inPixel += 4, outPixel += 4;
                    continue;
                }
            }
            if constexpr (!kPairs) {
                if (q.mix != 0) {
                    fieldfx::blendTaps<fieldfx::PixelLanesAvx2>(source.pixels, chunk.tap[i],
                                                                singles.add(i));
                    continue;
                }
            }
            uint8_t sample[4];
            fieldfx::blendTaps<fieldfx::PixelLanesAvx2>(source.pixels, chunk.tap[i], sample);
            if (q.mix == 0)
                std::memcpy(outPixel, sample, 4);
            else
                mixPixel<fieldfx::PixelLanesAvx2>(inPixel, sample, share[i], q.span, outPixel);
        }
        for (int32_t p = 0; p < singles.count; ++p) {
            const std::size_t at = std::size_t(singles.at[p]) * 4;
            mixPixel<fieldfx::PixelLanesAvx2>(chunkIn + at, singles.bytes[p],
                                              share[singles.at[p]], q.span, chunkOut + at);
        }
        if constexpr (kPairs) {
            using Pair = fieldfx::PixelPairLanes;
            for (int32_t p = 0; p < pairs.count; ++p) {
                const int32_t i = pairs.first[p];
                const uint8_t* twoIn = chunkIn + std::size_t(i) * 4;
                fieldfx::storeLowBytes(mixValue(Pair::load(twoIn, twoIn + 4), pairs[p],
                                                Pair::pair(share[i], share[i + 1]), q.span),
                                       chunkOut + std::size_t(i) * 4);
            }
        }
    }
}
#endif

// Paints dst from src, mixing with Lanes. dst is laid out like src (the host hands out a scratch
// image at least as large as the field); one that is smaller gets the rows
// that fit.
template <typename Lanes, bool kPairs = false>
void paintTunnel(const FieldImage* src, FieldImage* dst, const TunnelField& q) {
    const int32_t cols = src->width;
    const int32_t rows = fieldfx::rowsHeld(dst, cols, src->height);
    if (cols <= 0 || rows <= 0) return;
    const auto* in = static_cast<const uint8_t*>(src->pixels);
    auto* out = static_cast<uint8_t*>(dst->pixels);
    const std::size_t inRow = std::size_t(cols) * 4, outRow = inRow;

    // With span <= 0 the disc is as large as the frame's reach from the centre:
    // there is no ring left to stretch (the formulas would divide by zero or
    // run backwards), so the input is kept everywhere.
    if (!(q.span > 0.0)) {
        for (int32_t y = 0; y < rows; ++y)
            std::memcpy(out + std::size_t(y) * outRow, in + std::size_t(y) * inRow,
                        std::size_t(cols) * 4);
        return;
    }

    const fieldfx::SampleSource source = fieldfx::clampSource(src);
    const double rim = double(q.r0);
    const fieldfx::TunnelRows* table = geometry.rows(q.c, cols, src->height);
    for (int32_t y = 0; y < rows; ++y) {
        const uint8_t* inPixel = in + std::size_t(y) * inRow;
        uint8_t* outPixel = out + std::size_t(y) * outRow;
#if defined(FIELDFX_AVX2_LANES)
        if constexpr (std::is_same_v<Lanes, fieldfx::PixelLanesAvx2>) {
            if (table != nullptr) {
                paintRings<kPairs>(source, table->from(std::size_t(y) * std::size_t(cols)), cols,
                                   inPixel, outPixel, q);
                continue;
            }
        }
#endif
        const double dv = fieldfx::frameLineDistance(q.c, y);
        for (int32_t x = 0; x < cols; ++x, inPixel += 4, outPixel += 4) {
            const std::size_t i = std::size_t(y) * std::size_t(cols) + std::size_t(x);
            const double dx = fieldfx::columnDistance(q.c, x);
            const double dist = table ? table->dist[i] : fieldfx::centreDistance(dx, dv);
            if (dist <= rim) {
                std::memcpy(outPixel, inPixel, 4);
                continue;
            }
            const double e = dist - rim;
            const double rho = fieldfx::ringRadius(q.depth, e, q.span, rim);
            const fieldfx::Direction u = table ? fieldfx::Direction{table->ux[i], table->uy[i]}
                                               : fieldfx::directionOf(dx, dv, dist);
            const fieldfx::SamplePosition s = fieldfx::ringSample(q.c, u, rho);
            uint8_t sample[4];
            fieldfx::sampleBilinear(source, s.x, s.y, sample);
            if (q.mix == 0)
                std::memcpy(outPixel, sample, 4);
            else
                mixPixel<Lanes>(inPixel, sample, inputShare(e, q.span, q.mix), q.span, outPixel);
        }
    }
}

#if defined(FIELDFX_AVX2_LANES)
FIELDFX_AVX2_KERNEL void paintTunnelAvx2(const FieldImage* src, FieldImage* dst,
                                         const TunnelField& q) {
    paintTunnel<fieldfx::PixelLanesAvx2>(src, dst, q);
}

FIELDFX_AVX512_KERNEL void paintTunnelAvx512(const FieldImage* src, FieldImage* dst,
                                             const TunnelField& q) {
    paintTunnel<fieldfx::PixelLanesAvx2, true>(src, dst, q);
}
#endif

int32_t process(const OperatorMessage* msg) {
    fieldfx::RequestImages images(kId);
    FieldImage *src, *dst;
    if (!images.fieldAndScratch(msg->position, kInputLine, kScratchLine, src, dst)) return -1;

    TunnelField q;
    q.c = fieldfx::tunnelCentre(src, centre, msg);
    q.r0 = discRadius(src->height, fieldfx::sliderValue(radius));
    q.span = tunnelSpan(src->width, src->height, q.c.cx, q.r0);
    q.depth = fieldfx::sliderValue(depth);
    q.mix = fieldfx::sliderValue(mix);
#if defined(FIELDFX_AVX2_LANES)
    if (fieldfx::haveAvx512())
        paintTunnelAvx512(src, dst, q);
    else if (fieldfx::haveAvx2())
        paintTunnelAvx2(src, dst, q);
    else
#endif
        paintTunnel<fieldfx::PixelLanes>(src, dst, q);

    return images.deliver(dst);
}

}  // namespace

int32_t OperatorAction(OperatorMessage* msg) { return fieldfx::operatorAction(msg, process); }

const OperatorTag* GetOperatorInfo(void) { return kTags.data(); }
