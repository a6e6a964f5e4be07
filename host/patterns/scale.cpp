// Scaling a mask file's samples to the mask size.
//
// Separable tent filter: output i of an axis is centred on source position
// c = (i + 0.5) x from / to - 0.5 and weighs source j by
// max(0, 1 - |j - c| / s), s = max(1, from / to). Enlarging (s = 1) that is
// linear interpolation; reducing, the tent widens to average every source
// sample it covers. Sources beyond an edge read the edge sample. At equal
// sizes every output is its own source sample.
#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "checks.h"
#include "fieldfx/patterns/patterns.h"

namespace fieldfx::patterns {
namespace {

struct Tap {
    int source;
    double weight;
};

// For every output position of an axis: its first tap and tap count in `taps`.
struct AxisFilter {
    std::vector<Tap> taps;
    std::vector<std::size_t> first;  // to + 1 entries
};

AxisFilter axisFilter(int from, int to) {
    AxisFilter f;
    const double ratio = double(from) / double(to);
    const double support = std::max(1.0, ratio);
    f.first.push_back(0);
    for (int i = 0; i < to; ++i) {
        const double centre = (double(i) + 0.5) * ratio - 0.5;
        const double lowest = std::ceil(centre - support);
        const double highest = std::floor(centre + support);
        double total = 0.0;
        const std::size_t start = f.taps.size();
        for (double j = lowest; j <= highest; j += 1.0) {
            const double w = 1.0 - std::fabs(j - centre) / support;
            if (w <= 0.0) continue;
            const int source = int(std::clamp(j, 0.0, double(from - 1)));
            f.taps.push_back(Tap{source, w});
            total += w;
        }
        for (std::size_t t = start; t < f.taps.size(); ++t) f.taps[t].weight /= total;
        f.first.push_back(f.taps.size());
    }
    return f;
}

}  // namespace

bool scaleMask(const GrayImage& image, bool invert, int width, int height, uint8_t* out,
               std::string* error) {
    if (image.width < 1 || image.height < 1 || image.maxValue < 1 ||
        image.samples.size() != std::size_t(image.width) * std::size_t(image.height))
        return fail(error, "mask image is empty or inconsistent");
    if (!checkMaskSize(width, height, error)) return false;
    try {
        const AxisFilter across = axisFilter(image.width, width);
        const AxisFilter down = axisFilter(image.height, height);
        // Rows of the source filtered across: image.height x width.
        std::vector<double> rows(std::size_t(image.height) * width);
        for (int y = 0; y < image.height; ++y) {
            const uint16_t* src = image.samples.data() + std::size_t(y) * image.width;
            for (int x = 0; x < width; ++x) {
                double sum = 0.0;
                for (std::size_t t = across.first[x]; t < across.first[x + 1]; ++t)
                    sum += across.taps[t].weight * double(src[across.taps[t].source]);
                rows[std::size_t(y) * width + x] = sum;
            }
        }
        const double maxValue = double(image.maxValue);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                double sum = 0.0;
                for (std::size_t t = down.first[y]; t < down.first[y + 1]; ++t)
                    sum += down.taps[t].weight * rows[std::size_t(down.taps[t].source) * width + x];
                const double level =
                    std::clamp(std::floor(sum * 255.0 / maxValue + 0.5), 0.0, 255.0);
                const auto v = static_cast<uint8_t>(level);
                out[std::size_t(y) * width + x] = invert ? uint8_t(255 - v) : v;
            }
    } catch (const std::bad_alloc&) {
        return fail(error, "out of memory");
    }
    return true;
}

}  // namespace fieldfx::patterns
