#include "frame_fields.h"

#include <algorithm>
#include <cstring>

#include "fieldfx/fieldio/frames.h"
#include "fieldfx/helpers/lanes/cpu.h"

// The row conversions run sixteen pixels at a time with SSE2 and thirty-two
// with AVX2 (on x86-64), at the level the project's dispatcher chooses once
// per process (FIELDFX_ISA lowers it); every level gives the bytes of the
// plain loops.
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace fieldfx::video {

namespace {

#if defined(__SSE2__)
bool haveSse2() { return int(chosenIsa()) >= int(Isa::Sse2); }
#endif

const uint8_t* line(const AVFrame& f, int plane, int row) {
    return f.data[plane] + std::ptrdiff_t(row) * f.linesize[plane];
}
uint8_t* line(AVFrame& f, int plane, int row) {
    return f.data[plane] + std::ptrdiff_t(row) * f.linesize[plane];
}

#if defined(__x86_64__)
FIELDFX_TARGET("avx2") inline __m256i load32(const uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
FIELDFX_TARGET("avx2") inline void store32(uint8_t* p, __m256i v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}

// 16 chroma samples, each repeated over its two pixels.
FIELDFX_TARGET("avx2") inline __m256i doubled(const uint8_t* p) {
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_unpacklo_epi8(c, c)),
                                   _mm_unpackhi_epi8(c, c), 1);
}

// The first `width` rounded down to 32 pixels of expandRow, with AVX2: the
// same interleaving in both 128-bit halves, whose four results are then put
// back in pixel order. Returns the pixels done.
FIELDFX_TARGET("avx2") int expandRowAvx2(const uint8_t* y, const uint8_t* cb, const uint8_t* cr,
                                   const uint8_t* a, int width, int sx, uint8_t* out) {
    int x = 0;
    for (; x + 32 <= width; x += 32, out += 128) {
        const __m256i vy = load32(y + x);
        const __m256i va = a ? load32(a + x) : _mm256_set1_epi8(char(255));
        const __m256i vb = sx == 0 ? load32(cb + x) : doubled(cb + (x >> 1));
        const __m256i vr = sx == 0 ? load32(cr + x) : doubled(cr + (x >> 1));
        const __m256i abLow = _mm256_unpacklo_epi8(va, vb), abHigh = _mm256_unpackhi_epi8(va, vb);
        const __m256i ryLow = _mm256_unpacklo_epi8(vr, vy), ryHigh = _mm256_unpackhi_epi8(vr, vy);
        // Pixels 0-3 | 16-19, 4-7 | 20-23, 8-11 | 24-27, 12-15 | 28-31.
        const __m256i p0 = _mm256_unpacklo_epi16(abLow, ryLow), p1 = _mm256_unpackhi_epi16(abLow, ryLow);
        const __m256i p2 = _mm256_unpacklo_epi16(abHigh, ryHigh), p3 = _mm256_unpackhi_epi16(abHigh, ryHigh);
        store32(out, _mm256_permute2x128_si256(p0, p1, 0x20));
        store32(out + 32, _mm256_permute2x128_si256(p2, p3, 0x20));
        store32(out + 64, _mm256_permute2x128_si256(p0, p1, 0x31));
        store32(out + 96, _mm256_permute2x128_si256(p2, p3, 0x31));
    }
    return x;
}

// The first `width` rounded down to 32 pixels of extractLane; the packs work
// in 128-bit halves, so a last permutation puts the bytes in order.
FIELDFX_TARGET("avx2") inline __m256i laneWords(const uint8_t* p, __m128i shift) {
    return _mm256_and_si256(_mm256_srl_epi32(load32(p), shift), _mm256_set1_epi32(0xff));
}

FIELDFX_TARGET("avx2") int extractLaneAvx2(const uint8_t* in, int width, int lane, uint8_t* out) {
    const __m128i shift = _mm_cvtsi32_si128(8 * lane);
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    int x = 0;
    for (; x + 32 <= width; x += 32) {
        const uint8_t* p = in + 4 * x;
        const __m256i words0 = _mm256_packs_epi32(laneWords(p, shift), laneWords(p + 32, shift));
        const __m256i words1 = _mm256_packs_epi32(laneWords(p + 64, shift), laneWords(p + 96, shift));
        store32(out + x, _mm256_permutevar8x32_epi32(_mm256_packus_epi16(words0, words1), order));
    }
    return x;
}

// Horizontally halved chroma over 1 << SY whole rows, sixteen samples
// (thirty-two pixels) at a time, as reduceChromaLine's SSE2 loop does eight;
// returns the samples done.
//
// The Cb and Cr sums of the pixel pairs x .. x + 15, as eight 32-bit lanes
// in order (Cb in the low 16 bits, Cr in the high).
template <int SY>
FIELDFX_TARGET("avx2") inline __m256i pairSums(const uint8_t* const* rows, int x) {
    const __m256i cbByte = _mm256_set1_epi32(0xff), crByte = _mm256_set1_epi32(0xff0000);
    __m256i s[2];
    for (int j = 0; j < 2; ++j) {
        __m256i v = _mm256_setzero_si256();
        for (int i = 0; i < 1 << SY; ++i) {
            const __m256i w = load32(rows[i] + 4 * x + 32 * j);
            v = _mm256_add_epi16(v, _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi32(w, 8), cbByte),
                                                    _mm256_and_si256(w, crByte)));
        }
        // Each pixel to its right-hand neighbour; the even lanes to the
        // low half of each 128-bit half.
        s[j] = _mm256_shuffle_epi32(_mm256_add_epi16(v, _mm256_srli_epi64(v, 32)), _MM_SHUFFLE(3, 1, 2, 0));
    }
    return _mm256_permute4x64_epi64(_mm256_unpacklo_epi64(s[0], s[1]), _MM_SHUFFLE(3, 1, 2, 0));
}

template <int SY>
FIELDFX_TARGET("avx2") int reduceHalvedChromaAvx2(const uint8_t* const* rows, int width, uint8_t* cb,
                                            uint8_t* cr) {
    const __m256i word = _mm256_set1_epi32(0xffff), half = _mm256_set1_epi16(1 << SY);
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    int k = 0;
    for (const int whole = (width >> 5) << 4; k < whole; k += 16) {
        const __m256i s0 = _mm256_srli_epi16(_mm256_add_epi16(pairSums<SY>(rows, 2 * k), half), SY + 1);
        const __m256i s1 = _mm256_srli_epi16(_mm256_add_epi16(pairSums<SY>(rows, 2 * k + 16), half), SY + 1);
        const __m256i b = _mm256_packus_epi32(_mm256_and_si256(s0, word), _mm256_and_si256(s1, word));
        const __m256i r = _mm256_packus_epi32(_mm256_srli_epi32(s0, 16), _mm256_srli_epi32(s1, 16));
        // Cb 0-15 in the low half, Cr 0-15 in the high half.
        const __m256i bytes = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(b, r), order);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(cb + k), _mm256_castsi256_si128(bytes));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(cr + k), _mm256_extracti128_si256(bytes, 1));
    }
    return k;
}
#endif

// One row of pixels from its luma, chroma and alpha lines (opacity 255
// without alpha), each chroma sample repeated over the 1 << sx pixels it
// covers. With SSE2, sixteen pixels at a time for 4:4:4 and horizontally
// halved chroma: the planes are interleaved byte by byte, then in pairs.
void expandRow(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, const uint8_t* a, int width,
               int sx, uint8_t* out) {
    int x = 0;
#if defined(__x86_64__)
    if (sx <= 1 && haveAvx2()) {
        x = expandRowAvx2(y, cb, cr, a, width, sx, out);
        out += 4 * x;
    }
#endif
#if defined(__SSE2__)
    if (sx <= 1 && haveSse2()) {
        auto load = [](const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
        auto store = [](uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); };
        for (; x + 16 <= width; x += 16, out += 64) {
            const __m128i vy = load(y + x);
            const __m128i va = a ? load(a + x) : _mm_set1_epi8(char(255));
            __m128i vb, vr;
            if (sx == 0) {
                vb = load(cb + x);
                vr = load(cr + x);
            } else {
                vb = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cb + (x >> 1)));
                vr = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cr + (x >> 1)));
                vb = _mm_unpacklo_epi8(vb, vb);
                vr = _mm_unpacklo_epi8(vr, vr);
            }
            const __m128i abLow = _mm_unpacklo_epi8(va, vb), abHigh = _mm_unpackhi_epi8(va, vb);
            const __m128i ryLow = _mm_unpacklo_epi8(vr, vy), ryHigh = _mm_unpackhi_epi8(vr, vy);
            store(out, _mm_unpacklo_epi16(abLow, ryLow));
            store(out + 16, _mm_unpackhi_epi16(abLow, ryLow));
            store(out + 32, _mm_unpacklo_epi16(abHigh, ryHigh));
            store(out + 48, _mm_unpackhi_epi16(abHigh, ryHigh));
        }
    }
#endif
    for (; x < width; ++x, out += 4) {
        out[0] = a ? a[x] : 255;
        out[1] = cb[x >> sx];
        out[2] = cr[x >> sx];
        out[3] = y[x];
    }
}

// Byte `lane` of each 4-byte pixel of a row; with SSE2 sixteen at a time
// (shifted down, masked and packed).
void extractLane(const uint8_t* in, int width, int lane, uint8_t* out) {
    int x = 0;
#if defined(__x86_64__)
    if (haveAvx2()) x = extractLaneAvx2(in, width, lane, out);
#endif
#if defined(__SSE2__)
    const __m128i shift = _mm_cvtsi32_si128(8 * lane), low = _mm_set1_epi32(0xff);
    auto take = [&](const uint8_t* p) {
        return _mm_and_si128(_mm_srl_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), shift), low);
    };
    for (; haveSse2() && x + 16 <= width; x += 16) {
        const uint8_t* p = in + 4 * x;
        const __m128i low8 = _mm_packs_epi32(take(p), take(p + 16));
        const __m128i high8 = _mm_packs_epi32(take(p + 32), take(p + 48));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(low8, high8));
    }
#endif
    for (; x < width; ++x) out[x] = in[4 * x + lane];
}

// The chroma samples of one chroma line from the `count` pixel rows it
// covers: each the rounded mean of the pixels it covers. Where a sample
// covers a whole (1 << SX) x (1 << SY) block the sizes are constants of the
// instantiation (SX, SY >= 0), so the sums unroll and the mean is a shift;
// samples cut by the picture's edge, and subsamplings without an
// instantiation (SX < 0), take the general loop. Both give the same bytes.
template <int SX, int SY>
void reduceChromaLine(const uint8_t* const* rows, int count, int width, int sx, uint8_t* cb,
                      uint8_t* cr) {
    const int cw = AV_CEIL_RSHIFT(width, sx);
    int k = 0;
#if defined(__SSE2__)
    // Horizontally halved chroma, eight samples (sixteen pixels) at a time:
    // each pixel's Cb and Cr as two 16-bit lanes, the rows added, then each
    // pixel to its right-hand neighbour; the same sums and rounding as below.
    if constexpr (SX == 1 && SY >= 0) {
        if (count == 1 << SY && haveSse2()) {
#if defined(__x86_64__)
            if (haveAvx2()) k = reduceHalvedChromaAvx2<SY>(rows, width, cb, cr);
#endif
            const __m128i cbByte = _mm_set1_epi32(0xff), crByte = _mm_set1_epi32(0xff0000);
            const __m128i half = _mm_set1_epi16(1 << SY);  // n / 2 of the mean's rounding
            auto chroma = [&](const __m128i* p) {  // bytes 1 and 2 of a pixel: 16 bits each
                const __m128i w = _mm_loadu_si128(p);
                return _mm_or_si128(_mm_and_si128(_mm_srli_epi32(w, 8), cbByte), _mm_and_si128(w, crByte));
            };
            auto pairs = [&](int x) {  // Cb, Cr sums of pixels x .. x + 7 in pairs, 4 x 32 bits
                __m128i a = _mm_setzero_si128(), b = _mm_setzero_si128();
                for (int i = 0; i < 1 << SY; ++i) {
                    const auto* p = reinterpret_cast<const __m128i*>(rows[i] + 4 * x);
                    a = _mm_add_epi16(a, chroma(p));
                    b = _mm_add_epi16(b, chroma(p + 1));
                }
                a = _mm_shuffle_epi32(_mm_add_epi16(a, _mm_srli_epi64(a, 32)), _MM_SHUFFLE(3, 1, 2, 0));
                b = _mm_shuffle_epi32(_mm_add_epi16(b, _mm_srli_epi64(b, 32)), _MM_SHUFFLE(3, 1, 2, 0));
                return _mm_srli_epi16(_mm_add_epi16(_mm_unpacklo_epi64(a, b), half), SY + 1);
            };
            const __m128i word = _mm_set1_epi32(0xffff);
            for (const int whole = (width >> 4) << 3; k < whole; k += 8) {
                const __m128i s0 = pairs(2 * k), s1 = pairs(2 * k + 8);
                const __m128i b = _mm_packs_epi32(_mm_and_si128(s0, word), _mm_and_si128(s1, word));
                const __m128i r = _mm_packs_epi32(_mm_srli_epi32(s0, 16), _mm_srli_epi32(s1, 16));
                _mm_storel_epi64(reinterpret_cast<__m128i*>(cb + k), _mm_packus_epi16(b, b));
                _mm_storel_epi64(reinterpret_cast<__m128i*>(cr + k), _mm_packus_epi16(r, r));
            }
        }
    }
#endif
    if constexpr (SX >= 0) {
        if (count == 1 << SY)
            for (const int whole = width >> SX; k < whole; ++k) {
                unsigned sumB = 0, sumR = 0;
                for (int i = 0; i < 1 << SY; ++i)
                    for (int x = k << SX; x < (k + 1) << SX; ++x) {
                        sumB += rows[i][4 * x + 1];
                        sumR += rows[i][4 * x + 2];
                    }
                constexpr unsigned n = 1u << (SX + SY);
                cb[k] = uint8_t((sumB + n / 2) / n);
                cr[k] = uint8_t((sumR + n / 2) / n);
            }
    }
    for (; k < cw; ++k) {
        const int x0 = k << sx, x1 = std::min(width, (k + 1) << sx);
        unsigned sumB = 0, sumR = 0;
        for (int i = 0; i < count; ++i)
            for (int x = x0; x < x1; ++x) {
                sumB += rows[i][4 * x + 1];
                sumR += rows[i][4 * x + 2];
            }
        const unsigned n = unsigned(count * (x1 - x0));
        cb[k] = uint8_t((sumB + n / 2) / n);
        cr[k] = uint8_t((sumR + n / 2) / n);
    }
}

// Rows of 4-byte pixels into planar lines: luma and alpha copied, each
// chroma sample the rounded mean of the pixels it covers. rowAt(r) gives
// pixel row r of `height`; lineAt(plane, r) the line that row r of that
// plane goes to, or null where the picture has no such line.
// The rows of each chroma line are taken together, luma and alpha first, so
// that the chroma reads rows still in the cache.
template <typename RowAt, typename LineAt>
void reduceRows(RowAt rowAt, LineAt lineAt, int width, int height, int sx, int sy, bool alpha) {
    // 4:2:0, 4:2:2 and 4:4:4 are nearly all video.
    auto* reduce = sx == 1 && sy == 1   ? reduceChromaLine<1, 1>
                   : sx == 1 && sy == 0 ? reduceChromaLine<1, 0>
                   : sx == 0 && sy == 0 ? reduceChromaLine<0, 0>
                                        : reduceChromaLine<-1, -1>;
    const int ch = AV_CEIL_RSHIFT(height, sy);
    const uint8_t* rows[1 << 2];  // the rows a chroma line covers; 4:1:0 has the most
    for (int c = 0; c < ch; ++c) {
        const int r0 = c << sy, count = std::min(height, (c + 1) << sy) - r0;
        for (int i = 0; i < count; ++i) {
            rows[i] = rowAt(r0 + i);
            if (uint8_t* y = lineAt(0, r0 + i)) extractLane(rows[i], width, 3, y);
            if (uint8_t* a = alpha ? lineAt(3, r0 + i) : nullptr) extractLane(rows[i], width, 0, a);
        }
        if (uint8_t* cb = lineAt(1, c)) reduce(rows, count, width, sx, cb, lineAt(2, c));
    }
}

void shape(Field& field, int width, int height) {
    if (field.width != width || field.height != height) field = Field(width, height);
}

// Parity (0 even lines, 1 odd lines) of field `index` in time.
int parityOf(Scan scan, int index) { return fieldHoldsOddLines(scan, index) ? 1 : 0; }

void subsampling(AVPixelFormat planar, int& sx, int& sy) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(planar);
    sx = d->log2_chroma_w;
    sy = d->log2_chroma_h;
}

}  // namespace

void packRow(const AVFrame& planar, int row, bool alpha, uint8_t* out) {
    expandRow(line(planar, 0, row), line(planar, 1, row), line(planar, 2, row),
              alpha ? line(planar, 3, row) : nullptr, planar.width, 0, out);
}

void unpackRow(const uint8_t* in, bool alpha, int row, AVFrame& planar) {
    uint8_t* y = line(planar, 0, row);
    uint8_t* cb = line(planar, 1, row);
    uint8_t* cr = line(planar, 2, row);
    uint8_t* a = alpha ? line(planar, 3, row) : nullptr;
    for (int x = 0; x < planar.width; ++x, in += 4) {
        if (a) a[x] = in[0];
        cb[x] = in[1];
        cr[x] = in[2];
        y[x] = in[3];
    }
}

AVPixelFormat planarFormatFor(AVPixelFormat format) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    const bool alpha = av::hasAlpha(format);
    if (d == nullptr || av::isRgb(format) || d->nb_components < 3)
        return alpha ? AV_PIX_FMT_YUVA444P : AV_PIX_FMT_YUV444P;
    struct Choice {
        int sx, sy;
        AVPixelFormat plain, withAlpha;
    };
    static const Choice choices[] = {
        {0, 0, AV_PIX_FMT_YUV444P, AV_PIX_FMT_YUVA444P},
        {1, 0, AV_PIX_FMT_YUV422P, AV_PIX_FMT_YUVA422P},
        {1, 1, AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUVA420P},
        {2, 0, AV_PIX_FMT_YUV411P, AV_PIX_FMT_YUVA444P},
        {0, 1, AV_PIX_FMT_YUV440P, AV_PIX_FMT_YUVA444P},
        {2, 2, AV_PIX_FMT_YUV410P, AV_PIX_FMT_YUVA444P},
    };
    for (const Choice& c : choices)
        if (c.sx == d->log2_chroma_w && c.sy == d->log2_chroma_h) {
            // Alpha with an unusual subsampling goes through 4:4:4.
            if (alpha && c.withAlpha == AV_PIX_FMT_YUVA444P) return AV_PIX_FMT_YUVA444P;
            return alpha ? c.withAlpha : c.plain;
        }
    return alpha ? AV_PIX_FMT_YUVA444P : AV_PIX_FMT_YUV444P;
}

FrameSplitter::FrameSplitter(const FrameFormat& source)
    : source_(source),
      planar_(planarFormatFor(source.format)),
      alpha_(av::hasAlpha(planar_)) {
    if (source.format != planar_ || source.range == AVCOL_RANGE_JPEG ||
        av::isFullRangeFormat(source.format)) {
        // Same size and subsampling: every line stays where it is.
        scaler_ = av::makeScaler(
            {source.width, source.height, source.format, source.range, source.matrix, -513},
            {source.width, source.height, planar_, 1, source.matrix, -513});
        planarFrame_ = av::allocFrame(planar_, source.width, source.height);
    }
}

void FrameSplitter::check(const AVFrame& frame) const {
    if (frame.width != source_.width || frame.height != source_.height ||
        frame.format != source_.format)
        throw VideoError("the video changes its size or pixel format mid-stream (" +
                         std::to_string(frame.width) + "x" + std::to_string(frame.height) +
                         "), which is not supported");
}

void FrameSplitter::split(const AVFrame& frame, Field& first, Field& second) {
    check(frame);
    const AVFrame* planar = &frame;
    if (scaler_) {
        sws_scale(scaler_.get(), frame.data, frame.linesize, 0, frame.height,
                  planarFrame_->data, planarFrame_->linesize);
        planar = planarFrame_.get();
    }
    splitField(*planar, 0, first);
    splitField(*planar, 1, second);
}

void FrameSplitter::splitField(const AVFrame& planar, int which, Field& out) const {
    const int width = source_.width, fieldHeight = io::fieldRows(source_.height);
    shape(out, width, fieldHeight);
    const int parity = parityOf(source_.scan, which);
    int sx, sy;
    subsampling(planar_, sx, sy);
    // Each field's rows straight from the frame's lines. An interlaced
    // field's chroma comes from its own chroma lines only, by the same rule
    // as its lines.
    const bool interlaced = source_.scan != Scan::Progressive;
    const int chromaRows = AV_CEIL_RSHIFT(source_.height, sy);
    const int lastChroma = io::lastLineOfParity(chromaRows, parity);
    for (int r = 0; r < fieldHeight; ++r) {
        const int l = io::frameLineOf(source_.height, parity, r);
        const int c = interlaced ? std::min(2 * (r >> sy) + parity, lastChroma) : l >> sy;
        expandRow(line(planar, 0, l), line(planar, 1, c), line(planar, 2, c),
                  alpha_ ? line(planar, 3, l) : nullptr, width, sx, out.row(r));
    }
}

FrameWeaver::FrameWeaver(const FrameFormat& target)
    : target_(target),
      planar_(planarFormatFor(target.format)),
      alpha_(av::hasAlpha(planar_)) {
    if (target.format != planar_ || target.range == AVCOL_RANGE_JPEG) {
        scaler_ = av::makeScaler(
            {target.width, target.height, planar_, 1, target.matrix, -513},
            {target.width, target.height, target.format, target.range, target.matrix, -513});
        planarFrame_ = av::allocFrame(planar_, target.width, target.height);
    }
}

void FrameWeaver::weave(const Field& first, const Field& second, AVFrame& frame) {
    const int fieldHeight = io::fieldRows(target_.height);
    for (const Field* f : {&first, &second})
        if (f->width != target_.width || f->height != fieldHeight)
            throw VideoError("a field of " + std::to_string(f->width) + "x" +
                             std::to_string(f->height) + " does not fit frames of " +
                             std::to_string(target_.width) + "x" +
                             std::to_string(target_.height));
    const Field* byParity[2];
    byParity[parityOf(target_.scan, 0)] = &first;
    byParity[parityOf(target_.scan, 1)] = &second;
    int sx, sy;
    subsampling(planar_, sx, sy);

    AVFrame& planar = scaler_ ? *planarFrame_ : frame;
    const int width = target_.width;
    if (target_.scan == Scan::Progressive) {
        reduceRows([&](int row) { return byParity[row & 1]->row(row / 2); },
                   [&](int plane, int row) { return line(planar, plane, row); }, width,
                   target_.height, sx, sy, alpha_);
    } else {
        // Each field into its own lines of the frame, its chroma into its own
        // chroma lines; a last field row the frame has no line for is dropped.
        const int chromaRows = AV_CEIL_RSHIFT(target_.height, sy);
        for (int parity = 0; parity < 2; ++parity)
            reduceRows([&](int row) { return byParity[parity]->row(row); },
                       [&](int plane, int row) -> uint8_t* {
                           const int rows = plane == 1 || plane == 2 ? chromaRows : target_.height;
                           const int l = 2 * row + parity;
                           return l < rows ? line(planar, plane, l) : nullptr;
                       },
                       width, fieldHeight, sx, sy, alpha_);
    }
    if (scaler_)
        sws_scale(scaler_.get(), planar.data, planar.linesize, 0, target_.height, frame.data,
                  frame.linesize);
}

}  // namespace fieldfx::video
