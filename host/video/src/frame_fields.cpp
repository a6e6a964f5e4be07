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
    if ((d->flags & AV_PIX_FMT_FLAG_PAL) != 0) std::memcpy(field.data[1], frame.data[1], 1024);
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

void shape(Field& field, int width, int height) {
    if (field.width != width || field.height != height) field = Field(width, height);
}

// Chroma siting of a 4:2:0 field or frame for the scaler (1/256 luma line):
// MPEG-2 convention, centred between the frame's lines, which in a field
// lies a quarter line below the even field's line and three quarters below
// the odd field's.
int chromaPosition(AVPixelFormat format, Scan scan, int parity) {
    if (!av::halvesChromaLines(format)) return -513;
    if (scan == Scan::Progressive) return 128;
    return parity == 0 ? 64 : 192;
}

// Parity (0 even lines, 1 odd lines) of field `index` in time.
int parityOf(Scan scan, int index) { return fieldHoldsOddLines(scan, index) ? 1 : 0; }

}  // namespace

void packRow(const AVFrame& planar, int row, bool alpha, uint8_t* out) {
    const uint8_t* y = planar.data[0] + std::ptrdiff_t(row) * planar.linesize[0];
    const uint8_t* cb = planar.data[1] + std::ptrdiff_t(row) * planar.linesize[1];
    const uint8_t* cr = planar.data[2] + std::ptrdiff_t(row) * planar.linesize[2];
    const uint8_t* a = alpha ? planar.data[3] + std::ptrdiff_t(row) * planar.linesize[3] : nullptr;
    for (int x = 0; x < planar.width; ++x, out += 4) {
        out[0] = a ? a[x] : 255;
        out[1] = cb[x];
        out[2] = cr[x];
        out[3] = y[x];
    }
}

void unpackRow(const uint8_t* in, bool alpha, int row, AVFrame& planar) {
    uint8_t* y = planar.data[0] + std::ptrdiff_t(row) * planar.linesize[0];
    uint8_t* cb = planar.data[1] + std::ptrdiff_t(row) * planar.linesize[1];
    uint8_t* cr = planar.data[2] + std::ptrdiff_t(row) * planar.linesize[2];
    uint8_t* a = alpha ? planar.data[3] + std::ptrdiff_t(row) * planar.linesize[3] : nullptr;
    for (int x = 0; x < planar.width; ++x, in += 4) {
        if (a) a[x] = in[0];
        cb[x] = in[1];
        cr[x] = in[2];
        y[x] = in[3];
    }
}

FrameSplitter::FrameSplitter(const FrameFormat& source)
    : source_(source),
      alpha_(av::hasAlpha(source.format)),
      planar_(alpha_ ? AV_PIX_FMT_YUVA444P : AV_PIX_FMT_YUV444P) {
    const int fieldHeight = (source.height + 1) / 2;
    av::ScaleSide to{source.width, 0, planar_, 1, source.matrix, -513};
    av::ScaleSide from{source.width, 0, source.format, source.range, source.matrix, -513};
    if (source.scan == Scan::Progressive) {
        from.height = to.height = source.height;
        from.chromaPos = chromaPosition(source.format, source.scan, 0);
        scalers_[0] = av::makeScaler(from, to);
        planes_[0] = av::allocFrame(planar_, source.width, source.height);
        return;
    }
    for (int parity = 0; parity < 2; ++parity) {
        from.height = to.height = fieldHeight;
        from.chromaPos = chromaPosition(source.format, source.scan, parity);
        scalers_[parity] = av::makeScaler(from, to);
        lines_[parity] = av::allocFrame(source.format, source.width, fieldHeight);
        planes_[parity] = av::allocFrame(planar_, source.width, fieldHeight);
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

    if (source_.scan == Scan::Progressive) {
        AVFrame& planar = *planes_[0];
        sws_scale(scalers_[0].get(), frame.data, frame.linesize, 0, frame.height, planar.data,
                  planar.linesize);
        for (int parity = 0; parity < 2; ++parity) {
            const int last = lastLineOfParity(source_.height, parity);
            for (int r = 0; r < fieldHeight; ++r)
                packRow(planar, std::min(2 * r + parity, last), alpha_, byParity[parity]->row(r));
        }
        return;
    }
    for (int parity = 0; parity < 2; ++parity) {
        AVFrame& lines = *lines_[parity];
        AVFrame& planar = *planes_[parity];
        gatherLines(frame, parity, lines);
        sws_scale(scalers_[parity].get(), lines.data, lines.linesize, 0, fieldHeight,
                  planar.data, planar.linesize);
        for (int r = 0; r < fieldHeight; ++r) packRow(planar, r, alpha_, byParity[parity]->row(r));
    }
}

FrameWeaver::FrameWeaver(const FrameFormat& target)
    : target_(target),
      planar_(av::hasAlpha(target.format) ? AV_PIX_FMT_YUVA444P : AV_PIX_FMT_YUV444P) {
    const int fieldHeight = (target.height + 1) / 2;
    av::ScaleSide from{target.width, 0, planar_, 1, target.matrix, -513};
    av::ScaleSide to{target.width, 0, target.format, target.range, target.matrix, -513};
    if (target.scan == Scan::Progressive) {
        from.height = to.height = target.height;
        to.chromaPos = chromaPosition(target.format, target.scan, 0);
        scalers_[0] = av::makeScaler(from, to);
        planes_[0] = av::allocFrame(planar_, target.width, target.height);
        return;
    }
    for (int parity = 0; parity < 2; ++parity) {
        from.height = to.height = fieldHeight;
        to.chromaPos = chromaPosition(target.format, target.scan, parity);
        scalers_[parity] = av::makeScaler(from, to);
        planes_[parity] = av::allocFrame(planar_, target.width, fieldHeight);
        lines_[parity] = av::allocFrame(target.format, target.width, fieldHeight);
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
    const bool alpha = planar_ == AV_PIX_FMT_YUVA444P;
    const Field* byParity[2];
    byParity[parityOf(target_.scan, 0)] = &first;
    byParity[parityOf(target_.scan, 1)] = &second;

    if (target_.scan == Scan::Progressive) {
        AVFrame& planar = *planes_[0];
        for (int row = 0; row < target_.height; ++row)
            unpackRow(byParity[row & 1]->row(row / 2), alpha, row, planar);
        sws_scale(scalers_[0].get(), planar.data, planar.linesize, 0, target_.height,
                  frame.data, frame.linesize);
        return;
    }
    for (int parity = 0; parity < 2; ++parity) {
        AVFrame& planar = *planes_[parity];
        AVFrame& lines = *lines_[parity];
        for (int r = 0; r < fieldHeight; ++r) unpackRow(byParity[parity]->row(r), alpha, r, planar);
        sws_scale(scalers_[parity].get(), planar.data, planar.linesize, 0, fieldHeight,
                  lines.data, lines.linesize);
        scatterLines(lines, parity, frame);
    }
}

}  // namespace fieldfx::video
