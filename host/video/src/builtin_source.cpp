// The built-in test clips, painted field by field: each field is drawn at its
// own instant (two instants a frame), so moving content differs between the
// two fields of a frame as it does in interlaced video.
//   bars      colour bars (100/0/75/0) over a grey scale; still
//   motion    a scrolling checkerboard, a bouncing ringed ball, a turning
//             hand, fine line patterns (one of them differs between the
//             fields by construction) and a frame counter
//   gradient  luma ramp left to right, Cb top to bottom, Cr right to left
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "fieldfx/fieldio/frames.h"
#include "fieldfx/fieldio/ycbcr.h"
#include "fieldfx/video/font.h"
#include "sources.h"

namespace fieldfx::video {

namespace {

constexpr int kDefaultWidth = 720, kDefaultHeight = 576;
constexpr int64_t kDefaultFrames = 50;

// Limited-range Y'CbCr pixel word of R'G'B' in 0..1 in the given matrix.
uint32_t colour(double r, double g, double b, int matrix) {
    const double kr = matrix == 1 ? 0.2126 : 0.299, kb = matrix == 1 ? 0.0722 : 0.114;
    const double y = kr * r + (1.0 - kr - kb) * g + kb * b;
    const double cb = (b - y) / (2.0 * (1.0 - kb)), cr = (r - y) / (2.0 * (1.0 - kr));
    auto byte = [](double v) { return uint32_t(std::clamp(std::lround(v), 1L, 254L)); };
    return 255u | byte(128.0 + 224.0 * cb) << 8 | byte(128.0 + 224.0 * cr) << 16 |
           byte(16.0 + 219.0 * y) << 24;
}

inline void put(uint8_t* p, uint32_t word) { std::memcpy(p, &word, 4); }

enum class Picture { Bars, Motion, Gradient };

class BuiltinSource final : public Source {
public:
    BuiltinSource(Picture picture, const std::string& name, const SourceOptions& options);
    bool read(Frame& frame) override;
    // Any frame is drawn directly: one passed over is not drawn at all.
    bool skip(int64_t& pts) override {
        if (next_ >= info_.frames) return false;
        pts = next_++;
        return true;
    }
    bool seek(int64_t k) override {
        if (k < 0 || k > info_.frames) return false;
        next_ = k;
        return true;
    }
    std::string seekRefusal() override { return ""; }
    bool timestamps(int64_t k, int64_t count, std::vector<int64_t>& out) override {
        out.clear();
        for (int64_t i = k; i < k + count && i < info_.frames; ++i) out.push_back(i);
        return true;
    }

private:
    // Paints the field of the given parity (0 even lines, 1 odd) at field
    // instant t.
    void paint(Field& field, int parity, int64_t t) const;
    void paintBars(Field& field, int parity) const;
    void paintGradient(Field& field, int parity) const;
    void paintMotion(Field& field, int parity, int64_t t) const;

    Picture picture_;
    int64_t next_ = 0;
    uint32_t palette_[16] = {};
};

BuiltinSource::BuiltinSource(Picture picture, const std::string& name,
                             const SourceOptions& options)
    : picture_(picture) {
    const int width = options.width > 0 ? options.width : kDefaultWidth;
    const int height = options.height > 0 ? options.height : kDefaultHeight;
    if (width < 16 || height < 16 || width > 8192 || height > 8192)
        throw VideoError("built-in clips are 16x16 to 8192x8192, not " + std::to_string(width) +
                         "x" + std::to_string(height));
    info_.name = name;
    info_.width = width;
    info_.height = height;
    info_.frameRate = {25, 1};
    info_.timeBase = {1, 25};
    info_.scan = options.scan ? *options.scan : Scan::TopFirst;
    info_.sampleAspect = {1, 1};
    const bool hd = io::isHighDefinition(height);
    info_.colour = {defaultMatrix(height), 1, hd ? 1 : 5, hd ? 1 : 6};
    info_.frames = options.frames > 0 ? options.frames : kDefaultFrames;

    const int m = info_.colour.matrix;
    // Checkerboard hues, light then dark, and the motion clip's other colours.
    const double hues[6][3] = {{0.8, 0.3, 0.3}, {0.8, 0.6, 0.2}, {0.4, 0.7, 0.3},
                               {0.2, 0.6, 0.7}, {0.3, 0.4, 0.8}, {0.6, 0.3, 0.7}};
    for (int i = 0; i < 6; ++i) {
        palette_[i] = colour(hues[i][0], hues[i][1], hues[i][2], m);
        palette_[6 + i] = colour(hues[i][0] * 0.45, hues[i][1] * 0.45, hues[i][2] * 0.45, m);
    }
    palette_[12] = colour(0.95, 0.95, 0.95, m);  // white
    palette_[13] = colour(0.05, 0.05, 0.05, m);  // black
    palette_[14] = colour(1.0, 0.55, 0.1, m);    // orange
    palette_[15] = colour(1.0, 0.9, 0.2, m);     // yellow
}

bool BuiltinSource::read(Frame& frame) {
    if (next_ >= info_.frames) return false;
    const int h = info_.fieldHeight();
    for (Field* f : {&frame.first, &frame.second})
        if (f->width != info_.width || f->height != h) *f = Field(info_.width, h);
    // Progressive frames show one instant in both fields.
    const int64_t t0 = 2 * next_;
    const int64_t t1 = info_.scan == Scan::Progressive ? t0 : t0 + 1;
    paint(frame.first, fieldHoldsOddLines(info_.scan, 0) ? 1 : 0, t0);
    paint(frame.second, fieldHoldsOddLines(info_.scan, 1) ? 1 : 0, t1);
    frame.pts = next_++;
    return true;
}

void BuiltinSource::paint(Field& field, int parity, int64_t t) const {
    switch (picture_) {
    case Picture::Bars:
        paintBars(field, parity);
        break;
    case Picture::Gradient:
        paintGradient(field, parity);
        break;
    case Picture::Motion:
        paintMotion(field, parity, t);
        break;
    }
    // The odd-line field of an odd-height frame repeats its last line
    // (io::frameLineOf), the moving shapes, drawn on real lines only, included.
    if (parity == 1 && info_.height % 2 == 1 && field.height >= 2)
        std::memcpy(field.row(field.height - 1), field.row(field.height - 2),
                    std::size_t(field.width) * 4);
}

void BuiltinSource::paintBars(Field& field, int parity) const {
    const int W = info_.width, H = info_.height, m = info_.colour.matrix;
    const double bars[8][3] = {{1, 1, 1},       {.75, .75, 0}, {0, .75, .75}, {0, .75, 0},
                               {.75, 0, .75},   {.75, 0, 0},   {0, 0, .75},   {0, 0, 0}};
    uint32_t top[8], steps[8];
    for (int i = 0; i < 8; ++i) {
        top[i] = colour(bars[i][0], bars[i][1], bars[i][2], m);
        steps[i] = colour(i / 7.0, i / 7.0, i / 7.0, m);
    }
    for (int r = 0; r < field.height; ++r) {
        const int y = io::frameLineOf(H, parity, r);
        const uint32_t* set = y < H * 3 / 4 ? top : steps;
        uint8_t* row = field.row(r);
        for (int x = 0; x < W; ++x) put(row + 4 * x, set[x * 8 / W]);
    }
}

void BuiltinSource::paintGradient(Field& field, int parity) const {
    const int W = info_.width, H = info_.height;
    for (int r = 0; r < field.height; ++r) {
        const int y = io::frameLineOf(H, parity, r);
        uint8_t* p = field.row(r);
        for (int x = 0; x < W; ++x, p += 4) {
            p[0] = 255;
            p[1] = uint8_t(16 + 224 * y / (H - 1));
            p[2] = uint8_t(240 - 224 * x / (W - 1));
            p[3] = uint8_t(16 + 219 * x / (W - 1));
        }
    }
}

void BuiltinSource::paintMotion(Field& field, int parity, int64_t t) const {
    const int W = info_.width, H = info_.height;
    const double pi = 3.141592653589793;
    auto pixel = [&](int x, int y) -> uint8_t* {
        return ((y & 1) == parity && x >= 0 && x < W && y >= 0 && y < H) ? field.row(y / 2) + 4 * x
                                                                        : nullptr;
    };

    // Background: a checkerboard of six hues scrolling left, 3 pixels a field
    // at the default width; fine lines in two bands near the bottom.
    const int cell = std::max(8, H / 12);
    const int64_t scroll = t * 3 * W / kDefaultWidth;
    const int bandTop = H * 78 / 100, bandMid = H * 86 / 100, bandBottom = H * 94 / 100;
    for (int r = 0; r < field.height; ++r) {
        const int y = io::frameLineOf(H, parity, r);
        uint8_t* row = field.row(r);
        for (int x = 0; x < W; ++x) {
            uint32_t word;
            if (y >= bandTop && y < bandMid) {
                // Alternate frame lines: white in the even field, black in the odd.
                word = palette_[(y & 1) ? 13 : 12];
            } else if (y >= bandMid && y < bandBottom) {
                word = palette_[((x + t) % 3 == 0) ? 12 : 13];
            } else {
                const int64_t cx = (x + scroll) / cell, cy = y / cell;
                word = palette_[(cx % 6) + (((cx + cy) & 1) ? 6 : 0)];
            }
            put(row + 4 * x, word);
        }
    }

    // A ball with rings, moving on a Lissajous path.
    const double radius = H / 7.0;
    const double bx = W * 0.5 + W * 0.32 * std::sin(2 * pi * double(t) / 160.0);
    const double by = H * 0.45 + H * 0.25 * std::sin(2 * pi * double(t) / 120.0 + 1.0);
    for (int y = int(by - radius) - 1; y <= int(by + radius) + 1; ++y)
        for (int x = int(bx - radius) - 1; x <= int(bx + radius) + 1; ++x) {
            uint8_t* p = pixel(x, y);
            if (p == nullptr) continue;
            const double d = std::hypot(x - bx, y - by);
            if (d <= radius) put(p, palette_[int(d * 5.0 / radius) % 2 ? 12 : 14]);
        }

    // A hand turning about the centre once every 100 fields.
    const double angle = 2 * pi * double(t) / 100.0, length = H * 0.42;
    const double ux = std::cos(angle), uy = std::sin(angle), half = std::max(2.0, H / 100.0);
    const double ox = W * 0.5, oy = H * 0.5;
    const int x0 = int(std::min(ox, ox + ux * length) - half) - 1;
    const int x1 = int(std::max(ox, ox + ux * length) + half) + 1;
    const int y0 = int(std::min(oy, oy + uy * length) - half) - 1;
    const int y1 = int(std::max(oy, oy + uy * length) + half) + 1;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            uint8_t* p = pixel(x, y);
            if (p == nullptr) continue;
            const double along = (x - ox) * ux + (y - oy) * uy;
            const double across = std::fabs((x - ox) * uy - (y - oy) * ux);
            if (along >= 0.0 && along <= length && across <= half) put(p, palette_[15]);
        }

    // Labels with a shadow: the clip's name and the frame and field counter.
    const int scale = std::max(1, H / 160);
    const int64_t frame = t / 2;
    char counter[48];
    std::snprintf(counter, sizeof counter, "FRAME %04lld FIELD %d", (long long)frame,
                  int(t % 2) + 1);
    const int left = W / 24, top = H / 20;
    for (int pass = 0; pass < 2; ++pass) {
        const int shift = pass == 0 ? scale : 0;
        const uint32_t word = palette_[pass == 0 ? 13 : 12];
        auto plot = [&](int x, int y) {
            if (uint8_t* p = pixel(x + shift, y + shift)) put(p, word);
        };
        drawText("FIELDFX MOTION", left, top, scale, plot);
        drawText(counter, left, top + textHeight(scale) + 3 * scale, scale, plot);
    }
}

}  // namespace

std::unique_ptr<Source> openBuiltinSource(const std::string& name, const SourceOptions& options) {
    if (name == "builtin:bars") return std::make_unique<BuiltinSource>(Picture::Bars, name, options);
    if (name == "builtin:motion")
        return std::make_unique<BuiltinSource>(Picture::Motion, name, options);
    if (name == "builtin:gradient")
        return std::make_unique<BuiltinSource>(Picture::Gradient, name, options);
    throw VideoError("unknown built-in clip '" + name +
                     "' (there are builtin:bars, builtin:motion and builtin:gradient)");
}

}  // namespace fieldfx::video
