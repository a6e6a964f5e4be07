#include "frame_fields.h"

#include <algorithm>
#include <cstring>

namespace fieldfx::video {

namespace {

// The last line of `rows` with the given parity (the field's own last line);
// line 0 when the plane has no line of that parity.
int lastLineOfParity(int rows, int parity) {
    int last = rows - 1;
    if (((last - parity) & 1) != 0) --last;
    return std::max(last, 0);
}

const uint8_t* line(const AVFrame& f, int plane, int row) {
    return f.data[plane] + std::ptrdiff_t(row) * f.linesize[plane];
}
uint8_t* line(AVFrame& f, int plane, int row) {
    return f.data[plane] + std::ptrdiff_t(row) * f.linesize[plane];
}

// One row of pixels from its luma, chroma and alpha lines (opacity 255
// without alpha), each chroma sample repeated over the 1 << sx pixels it
// covers.
void expandRow(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, const uint8_t* a, int width,
               int sx, uint8_t* out) {
    for (int x = 0; x < width; ++x, out += 4) {
        out[0] = a ? a[x] : 255;
        out[1] = cb[x >> sx];
        out[2] = cr[x >> sx];
        out[3] = y[x];
    }
}

// Rows of 4-byte pixels into planar lines: luma and alpha copied, each
// chroma sample the rounded mean of the pixels it covers. rowAt(r) gives
// pixel row r of `height`; lineAt(plane, r) the line that row r of that
// plane goes to, or null where the picture has no such line.
template <typename RowAt, typename LineAt>
void reduceRows(RowAt rowAt, LineAt lineAt, int width, int height, int sx, int sy, bool alpha) {
    for (int r = 0; r < height; ++r) {
        const uint8_t* in = rowAt(r);
        if (uint8_t* y = lineAt(0, r))
            for (int x = 0; x < width; ++x) y[x] = in[4 * x + 3];
        if (uint8_t* a = alpha ? lineAt(3, r) : nullptr)
            for (int x = 0; x < width; ++x) a[x] = in[4 * x];
    }
    const int cw = AV_CEIL_RSHIFT(width, sx), ch = AV_CEIL_RSHIFT(height, sy);
    const uint8_t* rows[1 << 2];  // the rows a chroma line covers; 4:1:0 has the most
    for (int c = 0; c < ch; ++c) {
        uint8_t* cb = lineAt(1, c);
        uint8_t* cr = lineAt(2, c);
        if (cb == nullptr) continue;
        const int r0 = c << sy, count = std::min(height, (c + 1) << sy) - r0;
        for (int i = 0; i < count; ++i) rows[i] = rowAt(r0 + i);
        for (int k = 0; k < cw; ++k) {
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

void FrameSplitter::split(const AVFrame& frame, Field& first, Field& second) {
    if (frame.width != source_.width || frame.height != source_.height ||
        frame.format != source_.format)
        throw VideoError("the video changes its size or pixel format mid-stream (" +
                         std::to_string(frame.width) + "x" + std::to_string(frame.height) +
                         "), which is not supported");
    const int width = source_.width, fieldHeight = (source_.height + 1) / 2;
    shape(first, width, fieldHeight);
    shape(second, width, fieldHeight);
    Field* byParity[2];
    byParity[parityOf(source_.scan, 0)] = &first;
    byParity[parityOf(source_.scan, 1)] = &second;

    const AVFrame* planar = &frame;
    if (scaler_) {
        sws_scale(scaler_.get(), frame.data, frame.linesize, 0, frame.height,
                  planarFrame_->data, planarFrame_->linesize);
        planar = planarFrame_.get();
    }
    int sx, sy;
    subsampling(planar_, sx, sy);
    // Each field's rows straight from the frame's lines. An interlaced
    // field's chroma comes from its own chroma lines only; a field of an
    // odd-height frame that lacks its last line repeats the one before it.
    const bool interlaced = source_.scan != Scan::Progressive;
    const int chromaRows = AV_CEIL_RSHIFT(source_.height, sy);
    for (int parity = 0; parity < 2; ++parity) {
        const int last = lastLineOfParity(source_.height, parity);
        const int lastChroma = lastLineOfParity(chromaRows, parity);
        for (int r = 0; r < fieldHeight; ++r) {
            const int l = std::min(2 * r + parity, last);
            const int c = interlaced ? std::min(2 * (r >> sy) + parity, lastChroma) : l >> sy;
            expandRow(line(*planar, 0, l), line(*planar, 1, c), line(*planar, 2, c),
                      alpha_ ? line(*planar, 3, l) : nullptr, width, sx,
                      byParity[parity]->row(r));
        }
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
    const int fieldHeight = (target_.height + 1) / 2;
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
