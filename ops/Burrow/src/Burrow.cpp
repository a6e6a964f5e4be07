// Burrow: a transition through a tunnel. Image B shows inside a disc whose
// radius follows the progress from zero to the farthest frame corner; outside
// it, image A is blended with streaks sampled from B along the rim. During the
// first eighth of the progress the whole picture fades from A into that
// tunnel picture. Direction 0 opens a disc of input 1 over input 0; Direction
// 1 closes a disc of input 0 into input 1.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "fieldfx/helpers/action.h"
#include "fieldfx/helpers/describe.h"
#include "fieldfx/helpers/lanes.h"
#include "fieldfx/helpers/message.h"
#include "fieldfx/helpers/pair_lanes.h"
#include "fieldfx/helpers/params.h"
#include "fieldfx/helpers/rect.h"
#include "fieldfx/helpers/request.h"
#include "fieldfx/helpers/sampler.h"
#include "fieldfx/helpers/tunnel_geometry.h"

namespace {

const char kIdent[] = "$Id: Vexo_Burrow,v 1.0 2014/03/24 00:00:00 Orvandel $";
const fieldfx::OperatorIdentity kId{"src\\Burrow", 0x0bb80000u};

// The failure points and the source line each one logs.
// Opening fetches input 0 (the field painted) first, closing input 1.
constexpr int32_t kOpeningFirstLine = 98;
constexpr int32_t kOpeningSecondLine = 104;
constexpr int32_t kClosingFirstLine = 116;
constexpr int32_t kClosingSecondLine = 122;

const uint32_t kDirectionLabels[] = {1531, 1532, 0};
PositionDescriptor centre = fieldfx::makeCentreMarker(1510, 320, 140);
SliderDescriptor depth = fieldfx::makeSlider(1520, 0, 20, 10);
ChoiceDescriptor direction = fieldfx::makeChoice(1530, kDirectionLabels, 0);

const auto kTags = fieldfx::describeOperator(
    fieldfx::kTransition, kIdent, 2, &centre, &depth, &direction);

// Distance from the centre to the farthest corner of the W x 2H frame.
double farthestCorner(int32_t width, int32_t height, int32_t cx, int32_t cy) {
    const double halfWidth = double(width / 2);
    const double a = std::fabs(halfWidth - double(cx)) + halfWidth;
    const double b = std::fabs(double(height) - 2.0 * double(cy)) + double(height);
    return fieldfx::mathSqrt(a * a + b * b);
}

// The progress count t of a span of D fields and the quantities derived from
// it. Counts are 64-bit so that no duration overflows a product.
struct Progress {
    int64_t t, d8;
    double r, span;
};

// t counts up from A towards B whatever the direction. The position is kept
// below the duration here: beyond it t would turn negative (closing; a fade
// dividing by D8 = 0 when D < 8) or the radius pass the farthest corner.
Progress progressOf(const OperatorMessage* msg, bool closing, double rmax) {
    const int64_t d = fieldfx::durationOf(msg);
    const int64_t p = fieldfx::positionWithin(msg);
    Progress g;
    g.t = closing ? d - p - 1 : p;
    g.d8 = d / 8;
    g.r = double(g.t) * rmax / double(d);
    g.span = rmax - g.r;
    return g;
}

// B's pixels bounded by A's active rectangle, with B's own row length. When
// the two geometries differ the bounds are also kept inside B's image (and
// fall back to the whole of B when nothing of A's rectangle lies in it), so no
// read leaves either image.
fieldfx::SampleSource burrowSource(const FieldImage* a, const FieldImage* b) {
    const fieldfx::PixelRect active = fieldfx::activeRect(a), inB = fieldfx::imageRect(b);
    fieldfx::PixelRect r{std::max(active.x0, inB.x0), std::max(active.y0, inB.y0),
                         std::min(active.x1, inB.x1), std::min(active.y1, inB.y1)};
    if (r.empty()) r = inB;
    return fieldfx::SampleSource{static_cast<const uint8_t*>(b->pixels), b->width, r};
}

// Each pixel's distance and direction from the centre, kept across fields.
fieldfx::TunnelGeometryCache geometry;

// The painted input's bytes outside the disc: A blended with the sample of B
// by the distance e beyond the rim, and during the fade weighed against A
// again. A byte takes the low 8 bits of the value truncated to 32 bits;
// beyond that range (possible only where a pixel lies beyond the farthest
// corner, with a large pixel aspect) it is 0, as the x86 conversion gives.
// A's fade term int64(a) * keep is exact in double (below 2^37). Lanes
// carries each pixel's four byte computations (fieldfx/helpers/lanes.h), or
// two pixels' (pair_lanes.h) with e a pair.
template <typename Lanes, typename Share>
Lanes tunnelValue(Lanes inA, Lanes sample, Share e, const Progress& g, bool fade, double keep) {
    const Lanes tunnel = (inA * e + sample * (g.span - e)) / g.span;
    if (!fade) return tunnel;
    return (tunnel * double(g.t) + inA * keep) / double(g.d8);
}

template <typename Lanes>
void tunnelPixel(uint8_t* pa, const uint8_t sample[4], double e, const Progress& g, bool fade,
                 double keep) {
    fieldfx::storeLowBytes(
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
[[maybe_unused]] constexpr int64_t kFadeInDoubles = int64_t(1) << 44;  // x86-64 only

template <typename Lanes>
void fadeDiscPixel(uint8_t* pa, const uint8_t* pb, double t, double keep, double d8) {
    fieldfx::storeLowBytes((Lanes::load(pa) * keep + Lanes::load(pb) * t) / d8, pa);
}

struct BurrowField {
    fieldfx::TunnelCentre c;
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
void paintRings(const fieldfx::SampleSource& source, const fieldfx::TunnelRows& row,
                int32_t width, uint8_t* pa, const uint8_t* rowB, int32_t lastColB,
                const BurrowField q) {
    using Lanes = std::conditional_t<kPairs, fieldfx::PixelPairLanes, fieldfx::PixelLanesAvx2>;
    const double keep = double(q.keep);
    const bool fadeInDoubles = q.fade && q.g.d8 < kFadeInDoubles;
    const double t = double(q.g.t), d8 = double(q.g.d8);
    fieldfx::RingChunk chunk;
    for (int32_t x0 = 0; x0 < width; x0 += fieldfx::RingChunk::kPixels) {
        const int32_t n = std::min(fieldfx::RingChunk::kPixels, width - x0);
        const fieldfx::TunnelRows part = row.from(std::size_t(x0));
        fieldfx::ringChunk<Lanes>(q.c, part, n, q.g.r, q.g.span, q.depth, source, chunk);
        uint8_t* const chunkA = pa;
        [[maybe_unused]] fieldfx::PairSamples pairs;
        [[maybe_unused]] fieldfx::PixelSamples singles;
        for (int32_t i = 0; i < n; ++i, pa += 4) {
            if (q.g.r >= part.dist[i]) {
                const uint8_t* pb = rowB + std::size_t(std::min(x0 + i, lastColB)) * 4;
                if (fadeInDoubles)
                    fadeDiscPixel<fieldfx::PixelLanesAvx2>(pa, pb, t, keep, d8);
                else
                    discPixel(pa, pb, q.g, q.fade, q.keep);
                continue;
            }
            if constexpr (kPairs) {
                if (i + 1 < n && !(q.g.r >= part.dist[i + 1])) {
                    pairs.add(i, fieldfx::blendTapPair(source.pixels, chunk.tap[i],
                                                       chunk.tap[i + 1]));
                    ++i, pa += 4;
                    continue;
                }
            }
            if constexpr (!kPairs) {
                fieldfx::blendTaps<fieldfx::PixelLanesAvx2>(source.pixels, chunk.tap[i],
                                                            singles.add(i));
                continue;
            }
            uint8_t sample[4];
            fieldfx::blendTaps<fieldfx::PixelLanesAvx2>(source.pixels, chunk.tap[i], sample);
            tunnelPixel<fieldfx::PixelLanesAvx2>(pa, sample, chunk.e[i], q.g, q.fade, keep);
        }
        for (int32_t p = 0; p < singles.count; ++p) {
            const int32_t i = singles.at[p];
            tunnelPixel<fieldfx::PixelLanesAvx2>(chunkA + std::size_t(i) * 4, singles.bytes[p],
                                                 chunk.e[i], q.g, q.fade, keep);
        }
        if constexpr (kPairs) {
            using Pair = fieldfx::PixelPairLanes;
            for (int32_t p = 0; p < pairs.count; ++p) {
                const int32_t i = pairs.first[p];
                uint8_t* twoA = chunkA + std::size_t(i) * 4;
                const Pair e = Pair::pair(chunk.e[i], chunk.e[i + 1]);
                fieldfx::storeLowBytes(
                    tunnelValue(Pair::load(twoA, twoA + 4), pairs[p], e, q.g, q.fade, keep), twoA);
            }
        }
    }
}
#endif

// Paints A in place. B's pixel (x, y) is read at the nearest pixel of B's
// image, which is (x, y) itself when both images have one geometry.
template <typename Lanes, bool kPairs = false>
void paintBurrow(FieldImage* a, const FieldImage* b, const BurrowField& q) {
    const int32_t width = a->width, height = a->height;
    if (width <= 0 || height <= 0 || b->width <= 0 || b->height <= 0) return;
    const fieldfx::SampleSource source = burrowSource(a, b);
    const int32_t lastColB = b->width - 1, lastRowB = b->height - 1;
    const auto* inB = static_cast<const uint8_t*>(b->pixels);
    auto* pixelsA = static_cast<uint8_t*>(a->pixels);
    const Progress& g = q.g;

    const fieldfx::TunnelRows* table = geometry.rows(q.c, width, height);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* pa = pixelsA + std::size_t(y) * std::size_t(width) * 4;
        const uint8_t* rowB = inB + std::size_t(std::min(y, lastRowB)) * std::size_t(b->width) * 4;
#if defined(FIELDFX_AVX2_LANES)
        if constexpr (std::is_same_v<Lanes, fieldfx::PixelLanesAvx2>) {
            if (table != nullptr) {
                paintRings<kPairs>(source, table->from(std::size_t(y) * std::size_t(width)),
                                   width, pa, rowB, lastColB, q);
                continue;
            }
        }
#endif
        const double dv = fieldfx::frameLineDistance(q.c, y);
        for (int32_t x = 0; x < width; ++x, pa += 4) {
            const std::size_t i = std::size_t(y) * std::size_t(width) + std::size_t(x);
            const double dx = fieldfx::columnDistance(q.c, x);
            const double dist = table ? table->dist[i] : fieldfx::centreDistance(dx, dv);
            if (g.r >= dist) {
                discPixel(pa, rowB + std::size_t(std::min(x, lastColB)) * 4, g, q.fade, q.keep);
                continue;
            }
            const double e = dist - g.r;
            const double rho = fieldfx::ringRadius(q.depth, e, g.span, g.r);
            const fieldfx::Direction u = table ? fieldfx::Direction{table->ux[i], table->uy[i]}
                                               : fieldfx::directionOf(dx, dv, dist);
            const fieldfx::SamplePosition s = fieldfx::ringSample(q.c, u, rho);
            uint8_t sample[4];
            fieldfx::sampleBilinear(source, s.x, s.y, sample);
            tunnelPixel<Lanes>(pa, sample, e, g, q.fade, double(q.keep));
        }
    }
}

#if defined(FIELDFX_AVX2_LANES)
FIELDFX_AVX2_KERNEL void paintBurrowAvx2(FieldImage* a, const FieldImage* b, const BurrowField& q) {
    paintBurrow<fieldfx::PixelLanesAvx2>(a, b, q);
}

FIELDFX_AVX512_KERNEL void paintBurrowAvx512(FieldImage* a, const FieldImage* b,
                                             const BurrowField& q) {
    paintBurrow<fieldfx::PixelLanesAvx2, true>(a, b, q);
}
#endif

int32_t process(const OperatorMessage* msg) {
    // Any Direction other than 0 closes.
    const bool closing = direction.value != 0;
    fieldfx::RequestImages images(kId);
    FieldImage* a = images.field(closing ? 1 : 0, msg->position,
                                 closing ? kClosingFirstLine : kOpeningFirstLine);
    if (a == nullptr) return -1;
    FieldImage* b = images.field(closing ? 0 : 1, msg->position,
                                 closing ? kClosingSecondLine : kOpeningSecondLine);
    if (b == nullptr) return -1;

    BurrowField q;
    q.c = fieldfx::tunnelCentre(a, centre, msg);
    q.g = progressOf(msg, closing, farthestCorner(a->width, a->height, q.c.cx, q.c.cy));
    q.depth = fieldfx::sliderValue(depth);
    q.fade = q.g.t < q.g.d8;
    q.keep = q.g.d8 - q.g.t;
#if defined(FIELDFX_AVX2_LANES)
    if (fieldfx::haveAvx512())
        paintBurrowAvx512(a, b, q);
    else if (fieldfx::haveAvx2())
        paintBurrowAvx2(a, b, q);
    else
#endif
        paintBurrow<fieldfx::PixelLanes>(a, b, q);

    return images.deliver(a);
}

}  // namespace

int32_t OperatorAction(OperatorMessage* msg) { return fieldfx::operatorAction(msg, process); }

const OperatorTag* GetOperatorInfo(void) { return kTags.data(); }
