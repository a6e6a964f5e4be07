#include <algorithm>
#include <cmath>

#include "fieldfx/video/font.h"
#include "fieldfx/video/sheet.h"

namespace fieldfx::video {

namespace {

constexpr int kMargin = 8;
constexpr int kTextScale = 2;
constexpr uint8_t kBackground[3] = {24, 24, 24};
constexpr uint8_t kLabelColour[3] = {230, 230, 230};
constexpr uint8_t kTitleColour[3] = {255, 255, 255};

void luma(int matrix, double& kr, double& kb) {
    if (matrix == 1) {
        kr = 0.2126, kb = 0.0722;
    } else if (matrix == 9 || matrix == 10) {
        kr = 0.2627, kb = 0.0593;
    } else {
        kr = 0.299, kb = 0.114;
    }
}

uint8_t toByte(double v) {
    const double scaled = std::floor(v * 255.0 + 0.5);
    return uint8_t(std::clamp(scaled, 0.0, 255.0));
}

void fill(RgbImage& image, int x0, int y0, int w, int h, const uint8_t rgb[3]) {
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x) {
            uint8_t* p = image.pixels.data() + (std::size_t(y) * image.width + x) * 3;
            p[0] = rgb[0], p[1] = rgb[1], p[2] = rgb[2];
        }
}

// Text clipped to the box [x0, x1) x [y0, y1).
void text(RgbImage& image, const std::string& s, int x, int y, int x1, const uint8_t rgb[3]) {
    drawText(s, x, y, kTextScale, [&](int px, int py) {
        if (px < 0 || px >= x1 || px >= image.width || py < 0 || py >= image.height) return;
        uint8_t* p = image.pixels.data() + (std::size_t(py) * image.width + px) * 3;
        p[0] = rgb[0], p[1] = rgb[1], p[2] = rgb[2];
    });
}

// The frame reduced to w x h by averaging the pixels each tile pixel covers.
void reduce(const Field& frame, int matrix, RgbImage& image, int left, int top, int w, int h) {
    if (frame.width <= 0 || frame.height <= 0) return;
    for (int ty = 0; ty < h; ++ty) {
        const int y0 = int(int64_t(ty) * frame.height / h);
        const int y1 = std::max(y0 + 1, int(int64_t(ty + 1) * frame.height / h));
        for (int tx = 0; tx < w; ++tx) {
            const int x0 = int(int64_t(tx) * frame.width / w);
            const int x1 = std::max(x0 + 1, int(int64_t(tx + 1) * frame.width / w));
            int64_t sum[4] = {0, 0, 0, 0};
            for (int y = y0; y < y1; ++y) {
                const uint8_t* p = frame.row(y) + std::size_t(x0) * 4;
                for (int x = x0; x < x1; ++x, p += 4)
                    for (int i = 1; i < 4; ++i) sum[i] += p[i];
            }
            const int64_t n = int64_t(y1 - y0) * (x1 - x0);
            uint8_t average[4] = {255, 0, 0, 0};
            for (int i = 1; i < 4; ++i) average[i] = uint8_t((sum[i] + n / 2) / n);
            pixelToRgb8(average, matrix,
                        image.pixels.data() +
                            (std::size_t(top + ty) * image.width + left + tx) * 3);
        }
    }
}

}  // namespace

void pixelToRgb8(const uint8_t pixel[4], int matrix, uint8_t rgb[3]) {
    double kr, kb;
    luma(matrix, kr, kb);
    const double y = (double(pixel[3]) - 16.0) / 219.0;
    const double cb = (double(pixel[1]) - 128.0) / 224.0;
    const double cr = (double(pixel[2]) - 128.0) / 224.0;
    const double r = y + 2.0 * (1.0 - kr) * cr;
    const double b = y + 2.0 * (1.0 - kb) * cb;
    const double g = (y - kr * r - kb * b) / (1.0 - kr - kb);
    rgb[0] = toByte(r);
    rgb[1] = toByte(g);
    rgb[2] = toByte(b);
}

std::vector<int64_t> sheetFrames(int64_t frames, int count) {
    std::vector<int64_t> out;
    if (frames <= 0 || count <= 0) return out;
    const int64_t n = std::min<int64_t>(count, frames);
    if (n == 1) return {0};
    for (int64_t k = 0; k < n; ++k) out.push_back((2 * k * (frames - 1) + (n - 1)) / (2 * (n - 1)));
    return out;
}

RgbImage renderSheet(const std::vector<SheetTile>& tiles, const SheetLayout& layout, int matrix,
                     Rational sampleAspect) {
    const int count = int(tiles.size());
    const int columns = std::max(1, std::min(layout.columns, std::max(count, 1)));
    const int rows = (count + columns - 1) / columns;
    const int tileW = std::max(16, layout.tileWidth);
    int tileH = tileW * 3 / 4;
    if (count > 0 && tiles[0].frame.width > 0) {
        // Display aspect = width x sample aspect / height.
        const int64_t sn = sampleAspect.num > 0 && sampleAspect.den > 0 ? sampleAspect.num : 1;
        const int64_t sd = sampleAspect.num > 0 && sampleAspect.den > 0 ? sampleAspect.den : 1;
        const int64_t w = tiles[0].frame.width, h = tiles[0].frame.height;
        tileH = int(std::max<int64_t>(1, (2 * tileW * h * sd + w * sn) / (2 * w * sn)));
    }
    const int labelH = textHeight(kTextScale) + 6;
    const int titleH = layout.title.empty() ? 0 : textHeight(kTextScale) + 2 * kMargin;

    RgbImage image;
    image.width = kMargin + columns * (tileW + kMargin);
    image.height = titleH + kMargin + rows * (tileH + labelH + kMargin);
    image.pixels.resize(std::size_t(image.width) * image.height * 3);
    fill(image, 0, 0, image.width, image.height, kBackground);
    if (!layout.title.empty())
        text(image, layout.title, kMargin, kMargin, image.width - kMargin, kTitleColour);

    for (int i = 0; i < count; ++i) {
        const int x = kMargin + (i % columns) * (tileW + kMargin);
        const int y = titleH + kMargin + (i / columns) * (tileH + labelH + kMargin);
        reduce(tiles[i].frame, matrix, image, x, y, tileW, tileH);
        text(image, tiles[i].label, x, y + tileH + 4, x + tileW, kLabelColour);
    }
    return image;
}

}  // namespace fieldfx::video
