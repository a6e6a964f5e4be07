// Smudge: blurs an elliptical spot of the field, in place. Inside the inner
// radius the picture becomes a box-blurred copy of itself; across the ring out
// to the outer radius the blurred copy fades linearly into the picture.
#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "box.h"
#include "fieldfx/helpers/contract/action.h"
#include "fieldfx/helpers/contract/describe.h"
#include "fieldfx/helpers/contract/message.h"
#include "fieldfx/helpers/contract/params.h"
#include "fieldfx/helpers/contract/request.h"
#include "fieldfx/helpers/lanes/lanes.h"
#include "fieldfx/helpers/maths/opmath.h"
#include "fieldfx/helpers/pixel/rect.h"
#include "fieldfx/helpers/pixel/table.h"
#include "ring.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

const char kIdent[] = "$Id: Vexo_Smudge,v 1.0 2014/03/24 00:00:00 Orvandel $";
const fieldfx::OperatorIdentity kId{"src\\Smudge", 0x0b830000u};

// The failure points and the source line each one logs.
constexpr int32_t kInputLine = 95;
constexpr int32_t kScratchLine = 101;  // the blurred copy

PositionDescriptor spotCentre = fieldfx::makeCentreMarker(1330, 320, 140);
SliderDescriptor spotSize = fieldfx::makeSlider(1310, 1, 200, 50);      // R, % of field height
SliderDescriptor blurStrength = fieldfx::makeSlider(1340, 1, 100, 20);  // half the box length
SliderDescriptor ringSoftness = fieldfx::makeSlider(1320, 0, 100, 10);  // ring width, % of R

const auto kTags = fieldfx::describeOperator(
    fieldfx::kFilter, kIdent, 2, &spotCentre, &spotSize, &blurStrength, &ringSoftness);

// ---- The blur -----------------------------------------------------------------

struct BoxWindow {
    int32_t first, last;
};

// The samples averaged into sample p of a line of n: `reach` samples either
// side, cut at the ends of the line; in the interior `length` samples from
// p - reach on (length is 2 reach or 2 reach + 1, so an even window reaches
// one sample further back than forward). The end cases are tested first, the
// far end before the near one.
//
// Windows are also kept inside the line: for lines of 2 reach + 1 samples
// or more this changes nothing; in shorter lines the far-end window would
// otherwise start before the line.
BoxWindow boxWindow(int32_t p, int32_t n, int32_t reach, int32_t length) {
    BoxWindow w;
    if (p >= n - 1 - reach) {
        w = {p - reach, n - 1};
    } else if (p <= reach) {
        w = {0, p + reach};
    } else {
        w = {p - reach, p - reach + length - 1};
    }
    return {std::max(w.first, 0), std::min(w.last, n - 1)};
}

// The box blur of bytes 1-3 over the rows and columns a spot paints, one
// output row at a time: the row's vertical means come from running sums down
// every column it needs, then the row is blurred along itself. Both ends of
// a window only ever move forward from one sample to the next, so a running
// sum carries over:
//
//     first      last                 first'       last'
//       [ a b c d ]          ->          [ b c d e f ]     sum += e + f - a
//
// and each sample costs the same whatever the window length.
struct BlurPlan {
    int32_t width, height;
    int32_t rowFirst, rowLast;  // output rows
    int32_t colFirst, colLast;  // output columns
    int32_t reach, length;      // along a row: d, s
    int32_t reachDown, lengthDown;  // down a column: d / 2, d
    int32_t sumFirst, sumLast;  // the columns the row windows read
};

BlurPlan blurPlan(int32_t width, int32_t height, int32_t s, int32_t rowFirst, int32_t rowLast,
                  int32_t colFirst, int32_t colLast) {
    const int32_t d = s / 2;
    BlurPlan p{width, height, rowFirst, rowLast, colFirst, colLast, d, s, d / 2, d, 0, 0};
    p.sumFirst = boxWindow(colFirst, width, p.reach, p.length).first;
    p.sumLast = boxWindow(colLast, width, p.reach, p.length).last;
    return p;
}

// Adds (sign 1) or takes away (sign -1) a row's bytes of the summed columns;
// sixteen bytes at a time on SSE2.
void addRow(uint32_t* sums, const uint8_t* row, std::size_t bytes, int sign) {
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= bytes; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
        const __m128i lo = _mm_unpacklo_epi8(v, zero), hi = _mm_unpackhi_epi8(v, zero);
        const __m128i parts[4] = {_mm_unpacklo_epi16(lo, zero), _mm_unpackhi_epi16(lo, zero),
                                  _mm_unpacklo_epi16(hi, zero), _mm_unpackhi_epi16(hi, zero)};
        for (int k = 0; k < 4; ++k) {
            auto* at = reinterpret_cast<__m128i*>(sums + i + 4 * k);
            const __m128i sum = _mm_loadu_si128(at);
            _mm_storeu_si128(at, sign > 0 ? _mm_add_epi32(sum, parts[k])
                                          : _mm_sub_epi32(sum, parts[k]));
        }
    }
#endif
    for (; i < bytes; ++i) sums[i] = sign > 0 ? sums[i] + row[i] : sums[i] - row[i];
}

// Running column sums and their means, 4 a summed column (byte 0 unused).
fieldfx::TableStore<uint32_t> columnSums;
fieldfx::TableStore<uint8_t> columnMeans;

// Blurs bytes 1-3 of the plan's rows and columns of `src` into `dst`.
void blurArea(const uint8_t* src, uint8_t* dst, const BlurPlan& p, uint32_t* sums, uint8_t* line) {
    const std::size_t rowBytes = std::size_t(p.width) * 4;
    const std::size_t sumBytes = std::size_t(p.sumLast - p.sumFirst + 1) * 4;
    const uint8_t* column = src + std::size_t(p.sumFirst) * 4;
    std::fill(sums, sums + sumBytes, 0u);
    // The rows `sums` holds; the windows down the columns only move forward.
    int32_t first = boxWindow(p.rowFirst, p.height, p.reachDown, p.lengthDown).first;
    int32_t last = first - 1;
    for (int32_t y = p.rowFirst; y <= p.rowLast; ++y) {
        const BoxWindow down = boxWindow(y, p.height, p.reachDown, p.lengthDown);
        while (last < down.last)
            addRow(sums, column + std::size_t(++last) * rowBytes, sumBytes, 1);
        while (first < down.first)
            addRow(sums, column + std::size_t(first++) * rowBytes, sumBytes, -1);
        const fieldfx::smudge::CountDivisor byRows{uint32_t(last - first + 1)};
        for (std::size_t i = 0; i < sumBytes; i += 4) {
            fieldfx::smudge::PixelSum column;
            column.load(sums + i);
            const uint32_t means = byRows.meansOf(column);
            std::memcpy(line + i, &means, 4);
        }

        uint8_t* out = dst + std::size_t(y) * rowBytes;
        fieldfx::smudge::PixelSum sum;
        int32_t l = p.sumFirst, r = p.sumFirst - 1;  // the columns `sum` holds
        uint32_t count = 0;
        fieldfx::smudge::CountDivisor byColumns{1};
        auto mean = [&](int32_t c) { return line + std::size_t(c - p.sumFirst) * 4; };
        // Between these the window keeps its length and moves by one.
        const int32_t interiorBegin = p.reach + 1, interiorEnd = p.width - 1 - p.reach;
        for (int32_t x = p.colFirst; x <= p.colLast; ++x) {
            if (x > p.colFirst && x - 1 >= interiorBegin && x < interiorEnd) {
                sum.add(mean(++r));
                sum.subtract(mean(l++));
            } else {
                const BoxWindow w = boxWindow(x, p.width, p.reach, p.length);
                for (; r < w.last; ++r) sum.add(mean(r + 1));
                for (; l < w.first; ++l) sum.subtract(mean(l));
                if (uint32_t(r - l + 1) != count) {
                    count = uint32_t(r - l + 1);
                    byColumns = fieldfx::smudge::CountDivisor{count};
                }
            }
            // Bytes 1-3 of the means; byte 0 keeps what the scratch image held.
            uint8_t* o = out + std::size_t(x) * 4;
            uint32_t word;
            std::memcpy(&word, o, 4);
            word = (word & 0xFFu) | (byColumns.meansOf(sum) & ~0xFFu);
            std::memcpy(o, &word, 4);
        }
    }
}

#if defined(__x86_64__)
// A row's column means summed along the row, 4 a summed column after a
// first zero column.
fieldfx::TableStore<uint32_t> columnPrefix;

// An output column near the ends of the rows, whose window is cut: the same
// in every row, so worked out once a field.
struct EdgeColumn {
    BoxWindow window;
    fieldfx::smudge::CountDivisor by;
};
fieldfx::TableStore<EdgeColumn> edgeColumns;

// The output columns of a plan taken four at a time (from `first`, before
// `end`); the others, at either end, are edge columns.
struct QuadColumns {
    int32_t first, end;

    explicit QuadColumns(const BlurPlan& p) {
        // Between these every window has `length` columns from x - reach on.
        const int32_t interiorFirst = std::max(p.colFirst, p.reach + 1);
        const int32_t interiorEnd = std::min(p.colLast + 1, p.width - 1 - p.reach);
        first = std::min(interiorFirst, p.colLast + 1);
        end = first + std::max(interiorEnd - first, 0) / 4 * 4;
    }
    std::size_t edges(const BlurPlan& p) const {
        return std::size_t(first - p.colFirst) + std::size_t(p.colLast + 1 - end);
    }
};

// blurArea on AVX2, with the same sums and divisions. The column means of a
// row are divided eight at a time and summed along the row as they come,
// so that any window of them is the difference of two prefix sums: pairs of
// neighbouring output pixels then need two loads and a subtraction, and the
// eight sums divide at once. Where at most one row enters and one leaves the
// column windows, the sums take them in the same pass.
FIELDFX_TARGET("avx2") void blurAreaAvx2(const uint8_t* src, uint8_t* dst,
                                                  const BlurPlan& p, uint32_t* sums,
                                                  uint32_t* prefix, EdgeColumn* edges) {
    const QuadColumns quads(p);
    EdgeColumn* edge = edges;
    auto addEdges = [&](int32_t from, int32_t end) {
        for (int32_t x = from; x < end; ++x, ++edge) {
            const BoxWindow w = boxWindow(x, p.width, p.reach, p.length);
            *edge = EdgeColumn{w, fieldfx::smudge::CountDivisor{uint32_t(w.last - w.first + 1)}};
        }
    };
    addEdges(p.colFirst, quads.first);
    addEdges(quads.end, p.colLast + 1);

    const std::size_t rowBytes = std::size_t(p.width) * 4;
    const std::size_t sumBytes = std::size_t(p.sumLast - p.sumFirst + 1) * 4;
    const uint8_t* column = src + std::size_t(p.sumFirst) * 4;
    std::fill(sums, sums + sumBytes, 0u);
    std::fill(prefix, prefix + 4, 0u);
    int32_t first = boxWindow(p.rowFirst, p.height, p.reachDown, p.lengthDown).first;
    int32_t last = first - 1;
    for (int32_t y = p.rowFirst; y <= p.rowLast; ++y) {
        const BoxWindow down = boxWindow(y, p.height, p.reachDown, p.lengthDown);
        const uint8_t* enter = nullptr;
        const uint8_t* leave = nullptr;
        if (last >= first && down.last - last <= 1 && down.first - first <= 1) {
            if (last < down.last) enter = column + std::size_t(++last) * rowBytes;
            if (first < down.first) leave = column + std::size_t(first++) * rowBytes;
        } else {
            while (last < down.last)
                addRow(sums, column + std::size_t(++last) * rowBytes, sumBytes, 1);
            while (first < down.first)
                addRow(sums, column + std::size_t(first++) * rowBytes, sumBytes, -1);
        }
        const fieldfx::smudge::CountDivisor byRows{uint32_t(last - first + 1)};
        __m128i carry = _mm_setzero_si128();
        std::size_t i = 0;
        for (; i + 8 <= sumBytes; i += 8) {
            auto* at = reinterpret_cast<__m256i*>(sums + i);
            __m256i v = _mm256_loadu_si256(at);
            if (enter != nullptr) v = _mm256_add_epi32(v, fieldfx::smudge::widenPair(enter + i));
            if (leave != nullptr) v = _mm256_sub_epi32(v, fieldfx::smudge::widenPair(leave + i));
            if (enter != nullptr || leave != nullptr) _mm256_storeu_si256(at, v);
            const __m256i means = byRows.divide8(v);
            const __m128i left = _mm_add_epi32(carry, _mm256_castsi256_si128(means));
            carry = _mm_add_epi32(left, _mm256_extracti128_si256(means, 1));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(prefix + 4 + i), left);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(prefix + 8 + i), carry);
        }
        for (; i < sumBytes; i += 4) {  // an odd last column
            for (std::size_t k = i; k < i + 4; ++k) {
                if (enter != nullptr) sums[k] += enter[k];
                if (leave != nullptr) sums[k] -= leave[k];
            }
            uint32_t running[4];
            _mm_storeu_si128(reinterpret_cast<__m128i*>(running), carry);
            for (int k = 0; k < 4; ++k) prefix[4 + i + k] = running[k] + byRows.divide(sums[i + k]);
        }

        // The window of output column x covers prefix[4 (last + 1)] minus
        // prefix[4 first], columns counted from sumFirst.
        uint8_t* out = dst + std::size_t(y) * rowBytes;
        auto windowSum = [&](const BoxWindow& w) {
            fieldfx::smudge::PixelSum sum, before;
            sum.load(prefix + std::size_t(w.last + 1 - p.sumFirst) * 4);
            before.load(prefix + std::size_t(w.first - p.sumFirst) * 4);
            sum.v = _mm_sub_epi32(sum.v, before.v);
            return sum;
        };
        auto edgePixels = [&](int32_t from, int32_t end, const EdgeColumn* e) {
            for (int32_t x = from; x < end; ++x, ++e) {
                uint8_t* o = out + std::size_t(x) * 4;
                uint32_t word;
                std::memcpy(&word, o, 4);
                word = (word & 0xFFu) | (e->by.meansOf(windowSum(e->window)) & ~0xFFu);
                std::memcpy(o, &word, 4);
            }
        };
        edgePixels(p.colFirst, quads.first, edges);
        const fieldfx::smudge::CountDivisor byColumns{uint32_t(p.length)};
        const __m128i opacity = _mm_set1_epi32(0xFF);
        for (int32_t x = quads.first; x < quads.end; x += 4) {
            auto pairMeans = [&](int32_t at) FIELDFX_TARGET("avx2") {
                const uint32_t* hi = prefix + std::size_t(at - p.reach + p.length - p.sumFirst) * 4;
                const uint32_t* lo = prefix + std::size_t(at - p.reach - p.sumFirst) * 4;
                return byColumns.divide8(
                    _mm256_sub_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(hi)),
                                     _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lo))));
            };
            const __m256i m01 = pairMeans(x), m23 = pairMeans(x + 2);
            // Every mean lies in 0..255, so packing with saturation keeps it.
            const __m128i bytes = _mm_packus_epi16(
                _mm_packs_epi32(_mm256_castsi256_si128(m01), _mm256_extracti128_si256(m01, 1)),
                _mm_packs_epi32(_mm256_castsi256_si128(m23), _mm256_extracti128_si256(m23, 1)));
            auto* o = reinterpret_cast<__m128i*>(out + std::size_t(x) * 4);
            _mm_storeu_si128(o, _mm_or_si128(_mm_and_si128(_mm_loadu_si128(o), opacity),
                                             _mm_andnot_si128(opacity, bytes)));
        }
        edgePixels(quads.end, p.colLast + 1, edges + (quads.first - p.colFirst));
    }
}
#endif

// The box length: twice the strength, scaled with the field size, at least 2.
// Slider values are clamped to their range; a scale denominator of 0 means no
// scaling.
int32_t boxLength(const OperatorMessage* msg) {
    int32_t s = 2 * fieldfx::sliderValue(blurStrength);
    if (fieldfx::scalesSizes(msg)) s = s * int32_t(msg->scaleNum) / int32_t(msg->scaleDen);
    return std::max(s, 2);
}

// ---- The spot -------------------------------------------------------------------

// Distance of a pixel from the spot centre, in single precision.
float spotDistance(int32_t dx, int32_t dy) {
    const float q = float(dy) * float(dy) + float(dx) * float(dx);
    return float(fieldfx::mathSqrt(double(q)));
}

// Weight of the unblurred picture at `dist` inside the ring: 0 at the inner
// radius, 255 at the outer one.
float ringWeight(float dist, int32_t inner, int32_t outer) {
    return (dist - float(inner)) * 255.0f / float(outer - inner);
}

// The spot in image coordinates. Vertical distances count frame lines (two
// per row, one more in an odd field) scaled by the pixel aspect, so the spot
// is R pixels wide either side of column cx and `tall` / 2 rows high either
// side of row y0 + tall / 2. x0..x1, y0..y1 bound it (x1 = cx + 3R - 1 lies
// well beyond the spot's right edge).
struct Spot {
    int32_t outer, inner;  // R and Rin
    int32_t tall;          // H
    int32_t cx, x0, x1, y0, y1;
    int32_t aspect, odd;
};

Spot spotGeometry(const FieldImage* f, int32_t height, const OperatorMessage* msg) {
    Spot s;
    s.outer = height * fieldfx::sliderValue(spotSize) / 100;
    s.inner = s.outer * (100 - fieldfx::sliderValue(ringSoftness)) / 100;
    s.aspect = fieldfx::pixelAspectOf(msg);  // 0 is taken as square pixels
    s.tall = s.outer * 1000 / s.aspect;      // negative for a negative aspect: no rows
    s.cx = int32_t(f->activeX) + int32_t(spotCentre.posX);
    s.x0 = s.cx - s.outer;
    s.x1 = s.x0 + 4 * s.outer - 1;
    s.y0 = int32_t(f->activeY) + int32_t(spotCentre.posY) - s.tall / 2;
    s.y1 = s.y0 + 2 * s.tall - 1;
    s.odd = fieldfx::isOddField(msg) ? 1 : 0;
    return s;
}

// The rows and columns that can hold a pixel of the spot.
//
// Only rows and columns whose offset from the centre is at most R can hold a
// pixel with dist <= R (an offset of R + 1 gives a single-precision distance
// above R for every R the field sizes allow), so they stop there rather than
// at the far edges of the bounding rectangle.
struct SpotArea {
    int32_t rowFirst, rowLast, colFirst, colLast;

    bool empty() const { return rowLast < rowFirst || colLast < colFirst; }
};

SpotArea spotArea(const Spot& s, int32_t width, int32_t height) {
    return SpotArea{std::max(s.y0, 0), std::min(s.y1, height - 1), std::max(s.x0, 0),
                    std::min({s.x1, s.cx + s.outer, width - 1})};
}

// What the pixel at offset (dx, dy) from the centre takes: the blurred copy
// inside the inner radius, nothing beyond the outer radius, and across the
// ring the mix with the weight returned.
using fieldfx::smudge::kCopy, fieldfx::smudge::kKeep;

float spotWeight(int32_t dx, int32_t dy, const Spot& s) {
    const float dist = spotDistance(dx, dy);
    if (float(s.inner) < dist && dist <= float(s.outer)) return ringWeight(dist, s.inner, s.outer);
    return dist <= float(s.outer) ? kCopy : kKeep;
}

// The weights of every offset up to R either way, at |dy| (R + 1) + |dx|.
// They depend on R and Rin alone, so they are kept from field to field; a
// spot of R above 2047 (16 MiB of weights) works out each pixel's own.
struct WeightCache {
    fieldfx::TableStore<float> store;
    const float* weights = nullptr;
    int32_t outer = -1, inner = -1;
};
WeightCache weightCache;

const float* spotWeights(const Spot& s) {
    constexpr int32_t kMaxCachedRadius = 2047;
    if (s.outer < 0 || s.outer > kMaxCachedRadius) return nullptr;
    if (weightCache.weights != nullptr && weightCache.outer == s.outer &&
        weightCache.inner == s.inner)
        return weightCache.weights;
    const std::size_t side = std::size_t(s.outer) + 1;
    float* w = weightCache.store.reserve(side * side);
    weightCache.weights = w;
    if (w == nullptr) return nullptr;
    for (std::size_t dy = 0; dy < side; ++dy)
        for (std::size_t dx = 0; dx < side; ++dx)
            w[dy * side + dx] = spotWeight(int32_t(dx), int32_t(dy), s);
    weightCache.outer = s.outer;
    weightCache.inner = s.inner;
    return w;
}

// The offset from the centre of each row of the spot that has one, and the
// row's weights (null without a weight table).
struct SpotRow {
    int32_t dy;
    const float* weights;
};

template <typename PaintRow>
inline __attribute__((always_inline)) void eachSpotRow(const Spot& s, const SpotArea& a,
                                                       PaintRow&& paintRow) {
    const float* weights = spotWeights(s);
    for (int32_t i = a.rowFirst; i <= a.rowLast; ++i) {
        // i - y0 < 2H here, so the product stays below 3 R * 1000.
        const int32_t dy = (2 * (i - s.y0) - s.tall) * s.aspect / 1000 + s.odd;
        if (dy > s.outer || dy < -s.outer) continue;
        const float* row =
            weights != nullptr ? weights + std::size_t(std::abs(dy)) * std::size_t(s.outer + 1)
                               : nullptr;
        paintRow(i, SpotRow{dy, row});
    }
}

// Pixels `from` .. a.colLast of row i of the spot, one at a time.
inline void paintSpotPixels(uint8_t* src, const uint8_t* blurred, int32_t width, const Spot& s,
                            const SpotArea& a, int32_t i, SpotRow r, int32_t from) {
    const std::size_t rowStart = std::size_t(i) * std::size_t(width);
    for (int32_t j = from; j <= a.colLast; ++j) {
        const float n =
            r.weights != nullptr ? r.weights[std::abs(j - s.cx)] : spotWeight(j - s.cx, r.dy, s);
        const std::size_t at = (rowStart + std::size_t(j)) * 4;
        fieldfx::smudge::spotPixel(blurred + at, src + at, n);
    }
}

// Paints the blurred copy into the spot.
void paintSpot(uint8_t* src, const uint8_t* blurred, int32_t width, const Spot& s,
               const SpotArea& a) {
    eachSpotRow(s, a, [&](int32_t i, SpotRow r) {
        paintSpotPixels(src, blurred, width, s, a, i, r, a.colFirst);
    });
}

#if defined(__x86_64__)
// paintSpot with four pixels at a time where the weights are tabled.
FIELDFX_TARGET("avx2") void paintSpotAvx2(uint8_t* src, const uint8_t* blurred,
                                                   int32_t width, const Spot& s,
                                                   const SpotArea& a) {
    eachSpotRow(s, a, [&](int32_t i, SpotRow r) FIELDFX_TARGET("avx2") {
        int32_t j = a.colFirst;
        if (r.weights != nullptr) {
            const std::size_t rowStart = std::size_t(i) * std::size_t(width);
            for (; j + 3 <= a.colLast; j += 4) {
                // The weights of columns j .. j + 3, by their distance from cx.
                const int32_t dx = j - s.cx;
                __m128 n;
                if (dx >= 0) {
                    n = _mm_loadu_ps(r.weights + dx);
                } else if (dx + 3 <= 0) {
                    n = _mm_shuffle_ps(_mm_loadu_ps(r.weights - dx - 3),
                                       _mm_loadu_ps(r.weights - dx - 3), _MM_SHUFFLE(0, 1, 2, 3));
                } else {
                    n = _mm_setr_ps(r.weights[-dx], r.weights[std::abs(dx + 1)],
                                    r.weights[std::abs(dx + 2)], r.weights[dx + 3]);
                }
                const std::size_t at = (rowStart + std::size_t(j)) * 4;
                fieldfx::smudge::spotQuad(blurred + at, src + at, n);
            }
        }
        paintSpotPixels(src, blurred, width, s, a, i, r, j);
    });
}
#endif

// The kernel: the spot's area blurred into the scratch image, then the spot
// painted from it, with its column sums and scratch lines kept across fields.
// Without heap for them the spot shows the scratch image as the host handed
// it out.
using SmudgeSpot = void (*)(uint8_t* src, uint8_t* blurred, int32_t width, const Spot& spot,
                            const SpotArea& area, const BlurPlan& plan);

std::size_t sumBytesOf(const BlurPlan& plan) {
    return std::size_t(plan.sumLast - plan.sumFirst + 1) * 4;
}

void smudgeSpotRef(uint8_t* src, uint8_t* blurred, int32_t width, const Spot& spot,
                   const SpotArea& area, const BlurPlan& plan) {
    uint32_t* sums = columnSums.reserve(sumBytesOf(plan));
    uint8_t* line = columnMeans.reserve(sumBytesOf(plan));
    if (sums != nullptr && line != nullptr) blurArea(src, blurred, plan, sums, line);
    paintSpot(src, blurred, width, spot, area);
}

#if defined(__x86_64__)
void smudgeSpotAvx2(uint8_t* src, uint8_t* blurred, int32_t width, const Spot& spot,
                    const SpotArea& area, const BlurPlan& plan) {
    uint32_t* sums = columnSums.reserve(sumBytesOf(plan));
    uint32_t* prefix = columnPrefix.reserve(sumBytesOf(plan) + 4);
    // At least one edge column's room: no room at all reads as no heap.
    EdgeColumn* edges =
        edgeColumns.reserve(std::max<std::size_t>(QuadColumns(plan).edges(plan), 1));
    if (sums != nullptr && prefix != nullptr && edges != nullptr)
        blurAreaAvx2(src, blurred, plan, sums, prefix, edges);
    paintSpotAvx2(src, blurred, width, spot, area);
}
#endif

const fieldfx::Kernels<SmudgeSpot> kSmudgeSpot{
    &smudgeSpotRef, nullptr,
#if defined(__x86_64__)
    &smudgeSpotAvx2,
#endif
};

// ---- The field --------------------------------------------------------------------

int32_t process(const OperatorMessage* msg) {
    fieldfx::RequestImages images(kId);
    FieldImage *src, *blurred;
    if (!images.fieldAndScratch(msg->position, kInputLine, kScratchLine, src, blurred)) return -1;

    // The scratch image is indexed with the field's geometry; a negative size
    // counts as 0.
    const int32_t width = std::max<int32_t>(src->width, 0);
    const int32_t height = std::max<int32_t>(src->height, 0);
    auto* srcPixels = static_cast<uint8_t*>(src->pixels);
    auto* blurredPixels = static_cast<uint8_t*>(blurred->pixels);

    const Spot spot = spotGeometry(src, height, msg);
    SpotArea area = spotArea(spot, width, height);
    // A scratch image smaller than the field holds blurred rows only as far
    // as it reaches; the spot's rows below that keep the picture.
    area.rowLast = std::min(area.rowLast, fieldfx::rowsHeld(blurred, width, height) - 1);
    if (!area.empty()) {
        const BlurPlan plan = blurPlan(width, height, boxLength(msg), area.rowFirst, area.rowLast,
                                       area.colFirst, area.colLast);
        kSmudgeSpot.chosen()(srcPixels, blurredPixels, width, spot, area, plan);
    }

    return images.deliver(src);
}

}  // namespace

int32_t OperatorAction(OperatorMessage* msg) { return fieldfx::operatorAction(msg, process); }

const OperatorTag* GetOperatorInfo(void) { return kTags.data(); }
