#include "frame_fields.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavutil/imgutils.h>
}

namespace fieldfx::video {

namespace {

// A plane that holds colour difference samples (and no luma) has its lines
// subsampled like the chroma of the format.
bool isChromaPlane(const AVPixFmtDescriptor* d, int plane) {
    if ((d->flags & AV_PIX_FMT_FLAG_RGB) != 0 || d->nb_components < 3) return false;
    bool chroma = false;
    for (int c = 0; c < d->nb_components; ++c)
        if (d->comp[c].plane == plane) {
            if (c == 0 || c == 3) return false;
            chroma = true;
        }
    return chroma;
}

int planeRows(const AVPixFmtDescriptor* d, int plane, int height) {
    return isChromaPlane(d, plane) ? AV_CEIL_RSHIFT(height, d->log2_chroma_h) : height;
}

int planeCount(AVPixelFormat format) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    // A palette travels in plane 1 but is not a picture plane.
    return (d->flags & AV_PIX_FMT_FLAG_PAL) != 0 ? 1 : av_pix_fmt_count_planes(format);
}

// The last line of `rows` with the given parity (the field's own last line);
// line 0 when the plane has no line of that parity.
int lastLineOfParity(int rows, int parity) {
    int last = rows - 1;
    if (((last - parity) & 1) != 0) --last;
    return std::max(last, 0);
}

// Copies the lines of one parity of every plane of `frame` into `field`. A
// field of an odd-height frame that lacks its last line repeats the one
// before it.
void gatherLines(const AVFrame& frame, int parity, AVFrame& field) {
    const auto format = AVPixelFormat(frame.format);
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    for (int p = 0; p < planeCount(format); ++p) {
        const int frameRows = planeRows(d, p, frame.height);
        const int fieldRows = planeRows(d, p, field.height);
        const int last = lastLineOfParity(frameRows, parity);
        const int bytes = av_image_get_linesize(format, frame.width, p);
        for (int r = 0; r < fieldRows; ++r) {
            const int from = std::min(2 * r + parity, last);
            std::memcpy(field.data[p] + std::ptrdiff_t(r) * field.linesize[p],
                        frame.data[p] + std::ptrdiff_t(from) * frame.linesize[p], bytes);
        }
    }
}

// The inverse: the field's lines into the lines of one parity of `frame`.
void scatterLines(const AVFrame& field, int parity, AVFrame& frame) {
    const auto format = AVPixelFormat(frame.format);
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    for (int p = 0; p < planeCount(format); ++p) {
        const int frameRows = planeRows(d, p, frame.height);
        const int fieldRows = planeRows(d, p, field.height);
        const int bytes = av_image_get_linesize(format, frame.width, p);
        for (int r = 0; r < fieldRows && 2 * r + parity < frameRows; ++r)
            std::memcpy(frame.data[p] + std::ptrdiff_t(2 * r + parity) * frame.linesize[p],
                        field.data[p] + std::ptrdiff_t(r) * field.linesize[p], bytes);
    }
}

const uint8_t* line(const AVFrame& f, int plane, int row) {
    return f.data[plane] + std::ptrdiff_t(row) * f.linesize[plane];
}
uint8_t* line(AVFrame& f, int plane, int row) {
    return f.data[plane] + std::ptrdiff_t(row) * f.linesize[plane];
}

// Luma line `row` of a planar picture with its chroma line `row >> sy`, each
// chroma sample repeated over the 1 << sx pixels it covers.
void expandRow(const AVFrame& planar, int row, int sx, int sy, bool alpha, uint8_t* out) {
    const uint8_t* y = line(planar, 0, row);
    const uint8_t* cb = line(planar, 1, row >> sy);
    const uint8_t* cr = line(planar, 2, row >> sy);
    const uint8_t* a = alpha ? line(planar, 3, row) : nullptr;
    for (int x = 0; x < planar.width; ++x, out += 4) {
        out[0] = a ? a[x] : 255;
        out[1] = cb[x >> sx];
        out[2] = cr[x >> sx];
        out[3] = y[x];
    }
}

// Rows of 4-byte pixels into a planar picture: luma and alpha copied, each
// chroma sample the rounded mean of the pixels it covers. rowAt(r) gives
// pixel row r of the `planar.height` rows.
template <typename RowAt>
void reduceRows(RowAt rowAt, int sx, int sy, bool alpha, AVFrame& planar) {
    const int w = planar.width, h = planar.height;
    for (int r = 0; r < h; ++r) {
        const uint8_t* in = rowAt(r);
        uint8_t* y = line(planar, 0, r);
        uint8_t* a = alpha ? line(planar, 3, r) : nullptr;
        for (int x = 0; x < w; ++x) {
            y[x] = in[4 * x + 3];
            if (a) a[x] = in[4 * x];
        }
    }
    const int cw = AV_CEIL_RSHIFT(w, sx), ch = AV_CEIL_RSHIFT(h, sy);
    for (int c = 0; c < ch; ++c) {
        const int r0 = c << sy, r1 = std::min(h, (c + 1) << sy);
        uint8_t* cb = line(planar, 1, c);
        uint8_t* cr = line(planar, 2, c);
        for (int k = 0; k < cw; ++k) {
            const int x0 = k << sx, x1 = std::min(w, (k + 1) << sx);
            unsigned sumB = 0, sumR = 0;
            for (int r = r0; r < r1; ++r) {
                const uint8_t* in = rowAt(r);
                for (int x = x0; x < x1; ++x) {
                    sumB += in[4 * x + 1];
                    sumR += in[4 * x + 2];
                }
            }
            const unsigned n = unsigned((r1 - r0) * (x1 - x0));
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
    expandRow(planar, row, 0, 0, alpha, out);
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
    const int fieldHeight = (source.height + 1) / 2;
    if (source.format != planar_ || source.range == AVCOL_RANGE_JPEG ||
        av::isFullRangeFormat(source.format)) {
        // Same size and subsampling: every line stays where it is.
        scaler_ = av::makeScaler(
            {source.width, source.height, source.format, source.range, source.matrix, -513},
            {source.width, source.height, planar_, 1, source.matrix, -513});
        planarFrame_ = av::allocFrame(planar_, source.width, source.height);
    }
    if (source.scan != Scan::Progressive)
        for (auto& lines : lines_) lines = av::allocFrame(planar_, source.width, fieldHeight);
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
    if (source_.scan == Scan::Progressive) {
        for (int parity = 0; parity < 2; ++parity) {
            const int last = lastLineOfParity(source_.height, parity);
            for (int r = 0; r < fieldHeight; ++r)
                expandRow(*planar, std::min(2 * r + parity, last), sx, sy, alpha_,
                          byParity[parity]->row(r));
        }
        return;
    }
    for (int parity = 0; parity < 2; ++parity) {
        AVFrame& lines = *lines_[parity];
        gatherLines(*planar, parity, lines);
        for (int r = 0; r < fieldHeight; ++r)
            expandRow(lines, r, sx, sy, alpha_, byParity[parity]->row(r));
    }
}

FrameWeaver::FrameWeaver(const FrameFormat& target)
    : target_(target),
      planar_(planarFormatFor(target.format)),
      alpha_(av::hasAlpha(planar_)) {
    const int fieldHeight = (target.height + 1) / 2;
    if (target.format != planar_ || target.range == AVCOL_RANGE_JPEG) {
        scaler_ = av::makeScaler(
            {target.width, target.height, planar_, 1, target.matrix, -513},
            {target.width, target.height, target.format, target.range, target.matrix, -513});
        planarFrame_ = av::allocFrame(planar_, target.width, target.height);
    }
    if (target.scan != Scan::Progressive)
        for (auto& lines : lines_) lines = av::allocFrame(planar_, target.width, fieldHeight);
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
    if (target_.scan == Scan::Progressive) {
        reduceRows([&](int row) { return byParity[row & 1]->row(row / 2); }, sx, sy, alpha_,
                   planar);
    } else {
        for (int parity = 0; parity < 2; ++parity) {
            AVFrame& lines = *lines_[parity];
            reduceRows([&](int row) { return byParity[parity]->row(row); }, sx, sy, alpha_,
                       lines);
            scatterLines(lines, parity, planar);
        }
    }
    if (scaler_)
        sws_scale(scaler_.get(), planar.data, planar.linesize, 0, target_.height, frame.data,
                  frame.linesize);
}

}  // namespace fieldfx::video
