/*
 * The frame the pattern wipes (Telescope, Glide) are built on.
 *
 * A mask image of one byte a pixel from the transition host orders the change
 * from the outgoing clip (input 0) to the incoming one (input 1): low mask
 * values change first. The mask is kept from OP_OPEN to OP_CLOSE; OP_SETUP
 * hands the operator's preference block to a preferences request. Per field,
 * the band levels split mask values into three runs:
 *
 *       0 ........ L ............ T ........ 255
 *       | incoming |  band: k=m-L |  outgoing |
 *
 * T rises from 0 to S + 255 over the span, L = T - S trails it by the band
 * width S. Band pixels cross-fade the incoming pixel (weight S - k) with a
 * sample of the outgoing field at a position the operator chooses (weight k).
 */
#ifndef FIELDFX_HELPERS_EFFECTS_PATTERN_WIPE_H
#define FIELDFX_HELPERS_EFFECTS_PATTERN_WIPE_H

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "fieldfx/helpers/contract/request.h"
#include "fieldfx/helpers/effects/pattern_wipe_lanes.h"
#include "fieldfx/helpers/lanes/lanes.h"
#include "fieldfx/helpers/pixel/rect.h"
#include "fieldfx/helpers/pixel/sampler.h"
#include "fieldfx/operator.h"
#include "fieldfx/services.h"

namespace fieldfx {

// What one loaded pattern-wipe library keeps: its preference block (zero at
// load, the transition host's format) and the mask of the running effect.
struct PatternWipe {
    alignas(8) uint8_t prefs[TRANSITION_PREFS_SIZE];
    FieldImage* mask;
};

// The arguments the transition host takes for a wipe mask and a request.
constexpr int32_t kMaskKind = 3;
constexpr int32_t kMaskBytesPerPixel = 1;
constexpr int32_t kRequestKind = 0;
constexpr int32_t kRequestTypes = 4;
constexpr int32_t kRequestFlags = 0;
constexpr int32_t kRequestPerformed = 0;
constexpr int32_t kTakeNewPrefs = 1;

// OP_OPEN: a mask still held (OP_OPEN again without OP_CLOSE) is handed back
// first, so none leaks; then the mask of the current preferences. 0 when one
// came back, -1 (no log record) when not.
inline int32_t openWipeMask(PatternWipe& w) {
    if (w.mask != nullptr) opFreeImage(w.mask);
    w.mask = txGetOpImage(w.prefs, kMaskKind, kMaskBytesPerPixel);
    return w.mask != nullptr ? 0 : -1;
}

// OP_CLOSE: hands the mask back, once.
inline void closeWipeMask(PatternWipe& w) {
    if (w.mask != nullptr) opFreeImage(w.mask);
    w.mask = nullptr;
}

// OP_SETUP (with actionArg 0): the preferences request. New preferences are
// copied into the block only when the request was performed and its status
// says to take them over; they take effect at the next OP_OPEN.
inline void requestWipePrefs(PatternWipe& w) {
    void* request = txAllocRequest(kRequestKind);
    if (request == nullptr) return;
    txSetPrefs(request, w.prefs);
    txSetTypes(request, kRequestTypes);
    if (txRequest(request, kRequestFlags) == kRequestPerformed &&
        txGetStatus(request) == kTakeNewPrefs) {
        txGetPrefs(request, w.prefs, TRANSITION_PREFS_SIZE);
    }
    txFreeRequest(request);
}

// The action dispatch both pattern wipes share; `process` renders one field.
inline int32_t wipeAction(PatternWipe& w, OperatorMessage* msg,
                          int32_t (*process)(const OperatorMessage*)) {
    switch (msg->action) {
        case OP_OPEN: return openWipeMask(w);
        case OP_CLOSE: closeWipeMask(w); return 0;
        case OP_PROCESS: return process(msg);
        case OP_SETUP:
            if (msg->actionArg == 0) requestWipePrefs(w);
            return 0;
        default: return 0;
    }
}

// A mask the field loop can index: a host that hands out an image without
// pixels or with no rows or columns gives nothing to read.
inline bool usableMask(const FieldImage* mask) {
    return mask != nullptr && mask->pixels != nullptr && mask->width > 0 && mask->height > 0;
}

// The images of one wipe field: both inputs at its position and the output.
struct WipeImages {
    FieldImage* src0;  // outgoing
    FieldImage* src1;  // incoming
    FieldImage* dst;   // null when anything is missing
};

// Without a usable mask (OP_OPEN failed or never came) there is nothing to
// order the change by: the request fails before asking the host for anything.
// Otherwise the three images, each failure logged at its own line.
inline WipeImages wipeImages(const PatternWipe& w, RequestImages& images, uint32_t position,
                             int32_t input0Line, int32_t input1Line, int32_t scratchLine) {
    WipeImages im{};
    if (!usableMask(w.mask)) return im;
    im.src0 = images.field(0, position, input0Line);
    im.src1 = im.src0 != nullptr ? images.field(1, position, input1Line) : nullptr;
    im.dst = im.src1 != nullptr ? images.scratch(scratchLine) : nullptr;
    return im;
}

// The band width S in mask levels: Softness percent of 255, scaled by 255 /
// 100 once more, truncating after each division (50 gives 323).
constexpr int32_t wipeBandWidth(int32_t softness) { return ((softness * 255) / 100 * 255) / 100; }

// The widest band (Softness 100): band levels k stay below it.
constexpr int32_t kMaxBandWidth = wipeBandWidth(100);

struct WipeLevels {
    int32_t S;  // band width
    int64_t T;  // mask values from T up show the outgoing pixel
    int64_t L;  // mask values below L show the incoming pixel
};

// T = (S + 255) x position / duration in unsigned 32-bit arithmetic (the
// product wraps as a 32-bit value). T and L are kept wider than 32 bits so a
// position past the span (T above 2^31) compares as the large value it is.
inline WipeLevels wipeLevels(int32_t S, uint32_t position, uint32_t duration) {
    const uint32_t t = (uint32_t(S + 255) * position) / duration;
    return WipeLevels{S, int64_t(t), int64_t(t) - S};
}

// The band levels that mask bytes 0..255 reach: k = m - L from lo up to
// below hi (none when hi <= lo).
struct LevelRange {
    int32_t lo, hi;
};
inline LevelRange bandLevelRange(const WipeLevels& lv) {
    return LevelRange{int32_t(std::max<int64_t>(0, -lv.L)),
                      int32_t(std::min<int64_t>(lv.S, std::max<int64_t>(0, 256 - lv.L)))};
}

// The band blend of one pixel, lane by lane over all four bytes:
// (incoming x (S - k) + sample x k) / S in integers, 0 <= k < S. The
// products and their sum are exact in double (far below 2^53), and the
// quotient's fraction is 0 or at least 1 / S, far above its rounding error,
// so the truncated double quotient is the integer quotient. This is the
// reference the field loop's bandBlend below is tested against.
template <typename Lanes = PixelLanes>
void blendBand(const uint8_t* incoming, const uint8_t sample[4], int32_t S, int32_t k,
               uint8_t* out) {
    storeLowBytes(
        (Lanes::load(incoming) * double(S - k) + Lanes::load(sample) * double(k)) / double(S),
        out);
}

// 1 / S rounded to a float and then up to the next float, so at or above
// 1 / S by less than 2^-22 of it. For a whole n from 0 to 255 x S, n x that
// rounded to a float lies at n / S or above it by less than 255 x 2^-21
// (rounding is monotonic and a whole n / S is a float), while a fraction of
// n / S is 0 or at least 1 / S >= 1 / 650: the truncated product is the
// integer quotient n / S, no division needed.
inline float bandReciprocal(int32_t S) {
    const float r = 1.0f / float(S);
    uint32_t bits;
    std::memcpy(&bits, &r, 4);
    ++bits;  // the next float above a positive one
    float up;
    std::memcpy(&up, &bits, 4);
    return up;
}

// What the band blend needs of every level k below S: the weights S - k and
// k, four of each, one for every byte (whole and below 2^10, so the products
// with bytes and their sum are exact in single precision), and
// bandReciprocal(S).
struct BandWeights {
    float reciprocal;
    float weight[kMaxBandWidth][8];

    explicit BandWeights(int32_t S) : reciprocal(S > 0 ? bandReciprocal(S) : 0.0f) {
        for (int32_t k = 0; k < S; ++k)
            for (int i = 0; i < 4; ++i) weight[k][i] = float(S - k), weight[k][4 + i] = float(k);
    }
};

namespace detail {

// What the field loops read and write: the active rectangle's origin and
// size (not empty where they run), the mask, the clamp source of src0 and
// the pixels.
struct WipeField {
    int32_t ax, ay, aW, aH, maskW, maskH;
    const uint8_t* maskPixels;
    SampleSource source;
    const uint8_t *in0, *in1;
    uint8_t* out;

    WipeField(const FieldImage* src0, const FieldImage* src1, FieldImage* dst,
              const FieldImage* mask)
        : ax(src0->activeX), ay(src0->activeY), aW(src0->activeWidth), aH(src0->activeHeight),
          maskW(mask->width), maskH(mask->height),
          maskPixels(static_cast<const uint8_t*>(mask->pixels)), source(clampSource(src0)),
          in0(static_cast<const uint8_t*>(src0->pixels)),
          in1(static_cast<const uint8_t*>(src1->pixels)), out(static_cast<uint8_t*>(dst->pixels)) {}
};

// The rectangle a wipe paints: the active rectangle of src0, kept inside
// src1 and inside the rows dst holds.
inline PixelRect wipeRect(const FieldImage* src0, const FieldImage* src1, const FieldImage* dst) {
    PixelRect a = activeRect(src0);
    const PixelRect b1 = imageRect(src1);
    a.x1 = std::min(a.x1, b1.x1);
    a.y1 = std::min({a.y1, b1.y1, rowsHeld(dst, src0->width, src0->height)});
    return a;
}

// Mask column (maskW x c) / aW, stepped along the row without dividing: each
// column adds maskW / aW whole columns and maskW % aW to the remainder.
struct MaskColumns {
    int32_t col, rem, colStep, remStep, aW;

    MaskColumns(int32_t maskW, int32_t aW, int32_t c0)
        : col((maskW * c0) / aW), rem((maskW * c0) % aW), colStep(maskW / aW),
          remStep(maskW % aW), aW(aW) {}
    int32_t next() {
        const int32_t at = col;
        col += colStep;
        rem += remStep;
        if (rem >= aW) ++col, rem -= aW;
        return at;
    }
};

// Where the band pixels of one rectangle row sample src on the vertical
// axis, by level: the pixel index of the first pixel of the upper and lower
// neighbouring rows, and the fraction between them. Four entries past the
// last level, so that levels go four at a time.
struct RowLevels {
    int32_t upper[kMaxBandWidth + 3], lower[kMaxBandWidth + 3];
    double fy[kMaxBandWidth + 3];
};

template <typename Lanes, typename Positions>
void splitRowLevels(const SampleSource& src, int32_t r, LevelRange levels,
                    const Positions& positions, RowLevels& rows) {
    for (int32_t l = levels.lo; l < levels.hi; l += 4) {
        Lanes y;
        positions.rows(r, l, y);
        splitAxis(y, src.bounds.y0, src.bounds.y1 - 1, src.rowLength, rows.upper + l,
                  rows.lower + l, rows.fy + l);
    }
}

// A row is painted in stretches of this many pixels: the band pixels of one
// stretch are listed, then sampled.
constexpr int32_t kStretch = 256;

// The sampled columns of a stretch's band pixels, split as the clamp sampler
// splits them: left and right neighbour and the fraction between them. The
// lists are padded to a multiple of four.
struct BandColumns {
    int32_t left[kStretch + 3], right[kStretch + 3];
    double fx[kStretch + 3];
};

// The band pixels of one stretch of a rectangle row, listed by column c[i]
// and level k[i] (n of them, the lists padded to a multiple of four). First
// their sampled columns, four at a time: `positions.columns(c, k, x)` in
// lanes across the four pixels, split in the same lanes. Then each pixel's
// bilinear sample in lanes across its four bytes, the rows from the row's
// levels, and the band blend two pixels at a time. The columns go in a pass
// of their own: sampling each group of four right after its split, the
// loads of the split's lanes wait on the stores just made, and the band of
// Telescope and Glide took half as long again.
template <typename Lanes, typename Positions>
void paintBandRow(const SampleSource& src, const uint8_t* row1, uint8_t* rowOut, int32_t ax,
                  int32_t n, const int32_t* c, const int32_t* k, const RowLevels& rows,
                  const BandWeights& weights, const Positions& positions, BandColumns& cols) {
    for (int32_t i = 0; i < n; i += 4) {
        Lanes x;
        positions.columns(c + i, k + i, x);
        splitAxis(x, src.bounds.x0, src.bounds.x1 - 1, 1, cols.left + i, cols.right + i,
                  cols.fx + i);
    }
    auto sample = [&](int32_t i) {
        const int32_t level = k[i];
        const uint8_t* upper = src.pixels + std::size_t(rows.upper[level]) * 4;
        const uint8_t* lower = src.pixels + std::size_t(rows.lower[level]) * 4;
        const std::size_t c0 = std::size_t(cols.left[i]) * 4, c1 = std::size_t(cols.right[i]) * 4;
        const Lanes b00 = loadBiased<Lanes>(upper + c0), b01 = loadBiased<Lanes>(lower + c0);
        const Lanes a00 = b00 - kByteBias, a01 = b01 - kByteBias;
        const Lanes top = (loadBiased<Lanes>(upper + c1) - b00) * cols.fx[i] + a00;
        const Lanes bottom = (loadBiased<Lanes>(lower + c1) - b01) * cols.fx[i] + a01;
        return (bottom - top) * rows.fy[level] + top;
    };
    auto at = [&](int32_t i) { return std::size_t(c[i] + ax) * 4; };
    int32_t i = 0;
    for (; i + 2 <= n; i += 2)
        blendBandPair(row1 + at(i), row1 + at(i + 1), sample(i), sample(i + 1),
                      weights.weight[k[i]], weights.weight[k[i + 1]], weights.reciprocal,
                      rowOut + at(i), rowOut + at(i + 1));
    if (i < n)
        blendBandFloat(row1 + at(i), sample(i), weights.weight[k[i]], weights.reciprocal,
                       rowOut + at(i));
}

}  // namespace detail

// Paints one field of a pattern wipe into dst over the active rectangle of
// src0. The mask is stretched over the rectangle, nearest pixel by
// truncation. A band pixel samples src0 (clamp variant) at a column that
// depends on its column c of the rectangle and its level k, and a row that
// depends on its row r and k: `positions.columns(c, k, x)` gives the columns
// of four pixels c[0..3] with levels k[0..3], `positions.rows(r, l, y)` the
// rows of the four levels l .. l + 3 in row r, in lanes x and y.
//
// dst is laid out like src0 (the host hands out a scratch image at least as
// large as the field; one that is smaller gets the rows that fit). src1 is
// indexed with its own row length, and the rectangle is kept inside it: for
// inputs of one geometry (what the host hands out) that is exactly the
// rectangle; an input that is smaller is never read outside.
//
// Pixels outside the band are copied; the band pixels of a stretch of the
// row are listed and then sampled four at a time (detail::paintBandRow),
// with the rows of the row's levels split once, before its first band pixel.
// paintPatternWipe below picks the widest lanes the processor runs.
template <typename Lanes, typename Positions>
void paintPatternWipeWith(const FieldImage* src0, const FieldImage* src1, FieldImage* dst,
                          const FieldImage* mask, const WipeLevels& lv, const Positions& positions) {
    const PixelRect a = detail::wipeRect(src0, src1, dst);
    if (a.empty()) return;

    const detail::WipeField w(src0, src1, dst, mask);
    const int32_t ax = w.ax, ay = w.ay, aW = w.aW, aH = w.aH, maskW = w.maskW, maskH = w.maskH;

    const BandWeights weights(lv.S);
    const BandSorter sorter(lv.T, lv.L);
    const LevelRange levels = bandLevelRange(lv);
    detail::RowLevels rows;
    detail::BandColumns cols;
    constexpr int32_t kStretch = detail::kStretch;
    int32_t bandC[kStretch + 3], bandK[kStretch + 3];
    uint8_t stretched[kStretch];
    for (int32_t y = a.y0; y < a.y1; ++y) {
        const int32_t r = y - ay;
        const uint8_t* maskRow = w.maskPixels + std::size_t((maskH * r) / aH) * std::size_t(maskW);
        const uint8_t* row0 = w.in0 + std::size_t(y) * std::size_t(src0->width) * 4;
        const uint8_t* row1 = w.in1 + std::size_t(y) * std::size_t(src1->width) * 4;
        uint8_t* rowOut = w.out + std::size_t(y) * std::size_t(src0->width) * 4;
        detail::MaskColumns columns(maskW, aW, a.x0 - ax);
        bool rowsSplit = false;
        for (int32_t x = a.x0; x < a.x1; x += kStretch) {
            const int32_t count = std::min(a.x1 - x, kStretch);
            // A mask as wide as the rectangle is read in place.
            const uint8_t* m = maskRow + (x - ax);
            if (maskW != aW) {
                for (int32_t i = 0; i < count; ++i) stretched[i] = maskRow[columns.next()];
                m = stretched;
            }
            const std::size_t at = std::size_t(x) * 4;
            const int32_t n = sorter.sort(m, count, row0 + at, row1 + at, rowOut + at, x - ax,
                                          bandC, bandK);
            if (n == 0) continue;
            for (int32_t i = n; i % 4 != 0; ++i) bandC[i] = bandC[n - 1], bandK[i] = bandK[n - 1];
            if (!rowsSplit) detail::splitRowLevels<Lanes>(w.source, r, levels, positions, rows);
            rowsSplit = true;
            detail::paintBandRow<Lanes>(w.source, row1, rowOut, ax, n, bandC, bandK, rows, weights,
                                        positions, cols);
        }
    }
}

#if defined(FIELDFX_AVX2_LANES)
template <typename Positions>
FIELDFX_TARGET("avx2", flatten) void paintPatternWipeAvx2(const FieldImage* src0, const FieldImage* src1,
                                              FieldImage* dst, const FieldImage* mask,
                                              const WipeLevels& lv, const Positions& positions) {
    paintPatternWipeWith<PixelLanesAvx2>(src0, src1, dst, mask, lv, positions);
}
#endif

// The versions of the wipe: the reference computes four pixels' positions in
// PixelLanes (SSE2 lanes on x86; plain doubles elsewhere), AVX2 in one
// register. paintPatternWipeReference below is the pixel by pixel form both
// are tested against.
template <typename Positions>
using PaintPatternWipe = void (*)(const FieldImage* src0, const FieldImage* src1, FieldImage* dst,
                                  const FieldImage* mask, const WipeLevels& lv,
                                  const Positions& positions);

template <typename Positions>
inline constexpr Kernels<PaintPatternWipe<Positions>> kPaintPatternWipe{
    &paintPatternWipeWith<PixelLanes, Positions>, nullptr,
#if defined(FIELDFX_AVX2_LANES)
    &paintPatternWipeAvx2<Positions>,
#endif
};

template <typename Positions>
void paintPatternWipe(const FieldImage* src0, const FieldImage* src1, FieldImage* dst,
                      const FieldImage* mask, const WipeLevels& lv, const Positions& positions) {
    kPaintPatternWipe<Positions>.chosen()(src0, src1, dst, mask, lv, positions);
}

// Paints one field of a pattern wipe into dst over the active rectangle of
// src0, with the sample position of each band pixel as `samplePosition(c, r,
// k, x, y)` gives it for column c and row r of the rectangle and band level
// k (clamp variant). The pixel by pixel reference of paintPatternWipe, which
// must give the same bytes; tests compare the two.
template <typename SamplePosition>
void paintPatternWipeReference(const FieldImage* src0, const FieldImage* src1, FieldImage* dst,
                               const FieldImage* mask, const WipeLevels& lv,
                               SamplePosition samplePosition) {
    const PixelRect a = detail::wipeRect(src0, src1, dst);
    if (a.empty()) return;

    const detail::WipeField w(src0, src1, dst, mask);
    const int32_t ax = w.ax, ay = w.ay, aW = w.aW, aH = w.aH, maskW = w.maskW, maskH = w.maskH;
    for (int32_t y = a.y0; y < a.y1; ++y) {
        const int32_t r = y - ay;
        for (int32_t x = a.x0; x < a.x1; ++x) {
            const int32_t c = x - ax;
            const int32_t m = w.maskPixels[std::size_t((maskH * r) / aH) * std::size_t(maskW) +
                                           std::size_t((maskW * c) / aW)];
            const std::size_t i0 = (std::size_t(y) * std::size_t(src0->width) + std::size_t(x)) * 4;
            const std::size_t i1 = (std::size_t(y) * std::size_t(src1->width) + std::size_t(x)) * 4;
            if (m >= lv.T) {
                std::memcpy(w.out + i0, w.in0 + i0, 4);
            } else if (m < lv.L) {
                std::memcpy(w.out + i0, w.in1 + i1, 4);
            } else {
                const int32_t k = int32_t(m - lv.L);
                double sx, sy;
                samplePosition(c, r, k, sx, sy);
                uint8_t s[4];
                sampleBilinear(w.source, sx, sy, s);
                blendBand(w.in1 + i1, s, lv.S, k, w.out + i0);
            }
        }
    }
}

}  // namespace fieldfx

#endif
