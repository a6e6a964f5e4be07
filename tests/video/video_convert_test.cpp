// Frames to fields and back on random samples, every width from a few pixels
// to several of the thirty-two-pixel blocks the fast conversions take at a
// time: each field pixel holds its own line's samples, and a woven frame's
// chroma is the rounded mean of the pixels each sample covers. Random bytes
// catch a sample landing on its neighbour's place, which smooth test
// pictures would hide.
#include <gtest/gtest.h>

#include <random>

#include "frame_fields.h"

using namespace fieldfx::video;

namespace {

struct Layout {
    AVPixelFormat format;
    int sx, sy;
    bool alpha;
};

const Layout kLayouts[] = {{AV_PIX_FMT_YUV420P, 1, 1, false},
                           {AV_PIX_FMT_YUV422P, 1, 0, false},
                           {AV_PIX_FMT_YUV444P, 0, 0, false},
                           {AV_PIX_FMT_YUVA420P, 1, 1, true}};
const int kWidths[] = {3, 16, 31, 32, 33, 50, 64, 77, 97, 130};

int planeRows(const Layout& l, int plane, int height) {
    return plane == 1 || plane == 2 ? AV_CEIL_RSHIFT(height, l.sy) : height;
}
int planeColumns(const Layout& l, int plane, int width) {
    return plane == 1 || plane == 2 ? AV_CEIL_RSHIFT(width, l.sx) : width;
}
uint8_t& at(AVFrame& f, int plane, int row, int x) {
    return f.data[plane][std::ptrdiff_t(row) * f.linesize[plane] + x];
}

FrameFormat formatOf(const Layout& l, int width, int height, Scan scan) {
    FrameFormat f;
    f.width = width, f.height = height, f.format = l.format, f.scan = scan;
    return f;
}

TEST(FrameConversion, FieldPixelsHoldTheirOwnLinesSamples) {
    std::mt19937 random(1);
    for (const Layout& l : kLayouts)
        for (Scan scan : {Scan::Progressive, Scan::TopFirst, Scan::BottomFirst})
            for (int width : kWidths) {
                const int height = 8;
                SCOPED_TRACE(std::string(av_get_pix_fmt_name(l.format)) + " " + scanName(scan) +
                             " width " + std::to_string(width));
                av::FramePtr frame = av::allocFrame(l.format, width, height);
                for (int p = 0; p < (l.alpha ? 4 : 3); ++p)
                    for (int r = 0; r < planeRows(l, p, height); ++r)
                        for (int x = 0; x < planeColumns(l, p, width); ++x)
                            at(*frame, p, r, x) = uint8_t(random());
                Field first, second;
                FrameSplitter(formatOf(l, width, height, scan)).split(*frame, first, second);
                const bool interlaced = scan != Scan::Progressive;
                for (int index = 0; index < 2; ++index) {
                    const Field& f = index == 0 ? first : second;
                    const int parity = fieldHoldsOddLines(scan, index) ? 1 : 0;
                    for (int r = 0; r < height / 2; ++r) {
                        const int line = 2 * r + parity;
                        // An interlaced field's chroma lines are every other
                        // one, its own.
                        const int c = interlaced ? 2 * (r >> l.sy) + parity : line >> l.sy;
                        for (int x = 0; x < width; ++x) {
                            const uint8_t* px = f.row(r) + 4 * x;
                            const int expected[4] = {l.alpha ? at(*frame, 3, line, x) : 255,
                                                     at(*frame, 1, c, x >> l.sx),
                                                     at(*frame, 2, c, x >> l.sx),
                                                     at(*frame, 0, line, x)};
                            ASSERT_EQ(std::vector<int>(px, px + 4), std::vector<int>(expected, expected + 4))
                                << "field " << index << " row " << r << " column " << x;
                        }
                    }
                }
            }
}

TEST(FrameConversion, WovenChromaIsTheRoundedMeanOfItsPixels) {
    std::mt19937 random(2);
    for (const Layout& l : kLayouts)
        for (Scan scan : {Scan::Progressive, Scan::TopFirst, Scan::BottomFirst})
            for (int width : kWidths) {
                const int height = 8, fieldHeight = height / 2;
                SCOPED_TRACE(std::string(av_get_pix_fmt_name(l.format)) + " " + scanName(scan) +
                             " width " + std::to_string(width));
                Field fields[2] = {Field(width, fieldHeight), Field(width, fieldHeight)};
                for (Field& f : fields)
                    for (uint8_t& b : f.pixels) b = uint8_t(random());
                av::FramePtr frame = av::allocFrame(l.format, width, height);
                FrameWeaver(formatOf(l, width, height, scan)).weave(fields[0], fields[1], *frame);
                // The field pixel that frame line `line` came from.
                auto pixel = [&](int line, int x) {
                    const int index = fieldHoldsOddLines(scan, 0) == ((line & 1) == 1) ? 0 : 1;
                    return fields[index].row(line / 2) + 4 * x;
                };
                for (int line = 0; line < height; ++line)
                    for (int x = 0; x < width; ++x) {
                        ASSERT_EQ(at(*frame, 0, line, x), pixel(line, x)[3]) << line << "," << x;
                        if (l.alpha) {
                            ASSERT_EQ(at(*frame, 3, line, x), pixel(line, x)[0]) << line << "," << x;
                        }
                    }
                // Chroma line c covers frame lines c << sy ... (interlaced:
                // line c and the next lines of its own field).
                for (int c = 0; c < planeRows(l, 1, height); ++c)
                    for (int k = 0; k < planeColumns(l, 1, width); ++k) {
                        int sum[2] = {0, 0}, n = 0;
                        for (int i = 0; i < 1 << l.sy; ++i) {
                            const int line = scan == Scan::Progressive
                                                 ? (c << l.sy) + i
                                                 : 2 * (((c >> 1) << l.sy) + i) + (c & 1);
                            for (int x = k << l.sx; x < std::min(width, (k + 1) << l.sx); ++x, ++n)
                                for (int b = 0; b < 2; ++b) sum[b] += pixel(line, x)[1 + b];
                        }
                        for (int b = 0; b < 2; ++b)
                            ASSERT_EQ(at(*frame, 1 + b, c, k), (sum[b] + n / 2) / n)
                                << "plane " << 1 + b << " line " << c << " sample " << k;
                    }
            }
}

}  // namespace
