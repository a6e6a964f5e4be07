// Smudge: blurs an elliptical spot of the field, in place. Inside the inner
// radius the picture becomes a box-blurred copy of itself; across the ring out
// to the outer radius the blurred copy fades linearly into the picture.
#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "fieldfx/helpers/action.h"
#include "fieldfx/helpers/describe.h"
#include "fieldfx/helpers/message.h"
#include "fieldfx/helpers/opmath.h"
#include "fieldfx/helpers/params.h"
#include "fieldfx/helpers/rect.h"
#include "fieldfx/helpers/request.h"

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

// Division by a fixed count as a multiplication: with m = 2^40 / c + 1,
// (x * m) >> 40 equals x / c for every x < 2^23 and c < 2^15 (the excess
// x * (m c - 2^40) / 2^40 stays below 1/4). Window sums are at most 255 times
// a count of at most 32767 samples, below 2^23.
struct CountDivisor {
    uint64_t m;
    explicit CountDivisor(uint32_t c) : m((uint64_t(1) << 40) / c + 1) {}
    uint32_t divide(uint32_t x) const { return uint32_t((uint64_t(x) * m) >> 40); }
};

// One box pass over a line of n bytes, read every inStep bytes from `in` and
// written every outStep bytes to `out`. Both ends of the window only ever
// move forward from one sample to the next, so a running sum carries over:
//
//     first      last                 first'       last'
//       [ a b c d ]          ->          [ b c d e f ]     sum += e + f - a
//
// and each sample costs the same whatever the window length. In the interior
// the window keeps its length and moves by one.
void blurLine(const uint8_t* in, std::ptrdiff_t inStep, uint8_t* out, std::ptrdiff_t outStep,
              int32_t n, int32_t reach, int32_t length) {
    uint32_t sum = 0;
    int32_t first = 0, last = -1;  // the window `sum` holds
    auto slideTo = [&](int32_t p) {
        const BoxWindow w = boxWindow(p, n, reach, length);
        while (last < w.last) sum += in[++last * inStep];
        while (first < w.first) sum -= in[first++ * inStep];
    };
    auto edgeSample = [&](int32_t p) {
        slideTo(p);
        out[p * outStep] = uint8_t(sum / uint32_t(last - first + 1));
    };

    const int32_t interiorBegin = std::min(reach + 1, n);
    const int32_t interiorEnd = std::max(n - 1 - reach, interiorBegin);
    int32_t p = 0;
    for (; p < interiorBegin; ++p) edgeSample(p);
    if (p < interiorEnd) {
        const CountDivisor byLength{uint32_t(length)};
        slideTo(p);
        out[p * outStep] = uint8_t(byLength.divide(sum));
        for (++p; p < interiorEnd; ++p) {
            sum += in[++last * inStep];
            sum -= in[first++ * inStep];
            out[p * outStep] = uint8_t(byLength.divide(sum));
        }
    }
    for (; p < n; ++p) edgeSample(p);
}

// Box-blurs byte lane `channel` of a width x height image of 4-byte pixels
// into the same lane of `dst`: first down the columns with windows of d = s / 2
// rows (reach d / 2), then along the rows with windows of s columns (reach d).
// Only the first dstRows rows of dst are written (a scratch image smaller than
// the field holds no more). The intermediate plane holds the lane only.
// Without memory for it the lane is left as it is.
void blurChannel(const uint8_t* src, uint8_t* dst, int32_t width, int32_t height, int32_t dstRows,
                 int32_t s, int channel) {
    const int32_t d = s / 2, e = d / 2;
    const std::ptrdiff_t rowBytes = std::ptrdiff_t(width) * 4;
    auto* plane = static_cast<uint8_t*>(std::malloc(std::size_t(width) * std::size_t(height)));
    if (plane == nullptr) return;
    for (int32_t x = 0; x < width; ++x)
        blurLine(src + x * 4 + channel, rowBytes, plane + x, width, height, e, d);
    for (int32_t y = 0; y < dstRows; ++y)
        blurLine(plane + std::ptrdiff_t(y) * width, 1, dst + y * rowBytes + channel, 4, width, d,
                 s);
    std::free(plane);
}

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

// One byte of a ring pixel: the blurred and the unblurred byte mixed by the
// weight `n` of the unblurred one.
uint8_t ringValue(uint8_t blurred, uint8_t original, float n) {
    const float o = 255.0f - n;
    return uint8_t(int32_t((float(blurred) * o + float(original) * n) / 255.0f));
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

// Paints the blurred copy into the spot: copied inside the inner radius,
// mixed over the ring, nothing beyond the outer radius.
//
// Only rows and columns whose offset from the centre is at most R can hold a
// pixel with dist <= R (an offset of R + 1 gives a single-precision distance
// above R for every R the field sizes allow), so the loops stop there rather
// than at the far edges of the bounding rectangle.
void paintSpot(uint8_t* src, const uint8_t* blurred, int32_t width, int32_t height,
               const Spot& s) {
    const int32_t rowFirst = std::max(s.y0, 0), rowLast = std::min(s.y1, height - 1);
    const int32_t colFirst = std::max(s.x0, 0);
    const int32_t colLast = std::min({s.x1, s.cx + s.outer, width - 1});
    const float outer = float(s.outer), inner = float(s.inner);
    for (int32_t i = rowFirst; i <= rowLast; ++i) {
        // i - y0 < 2H here, so the product stays below 3 R * 1000.
        const int32_t dy = (2 * (i - s.y0) - s.tall) * s.aspect / 1000 + s.odd;
        if (dy > s.outer || dy < -s.outer) continue;
        const std::size_t rowStart = std::size_t(i) * std::size_t(width);
        for (int32_t j = colFirst; j <= colLast; ++j) {
            const float dist = spotDistance(j - s.cx, dy);
            uint8_t* p = src + (rowStart + std::size_t(j)) * 4;
            const uint8_t* b = blurred + (rowStart + std::size_t(j)) * 4;
            if (inner < dist && dist <= outer) {
                const float n = ringWeight(dist, s.inner, s.outer);
                for (int k = 0; k < 4; ++k) p[k] = ringValue(b[k], p[k], n);
            } else if (dist <= outer) {
                std::memcpy(p, b, 4);
            }
        }
    }
}

// ---- The field --------------------------------------------------------------------

int32_t process(const OperatorMessage* msg) {
    fieldfx::RequestImages images(kId);
    FieldImage *src, *blurred;
    if (!images.fieldAndScratch(msg->position, kInputLine, kScratchLine, src, blurred)) return -1;

    // The scratch image is indexed with the field's geometry; a negative size
    // counts as 0. Spot rows beyond the scratch image's rows stay unblurred.
    const int32_t width = std::max<int32_t>(src->width, 0);
    const int32_t height = std::max<int32_t>(src->height, 0);
    const int32_t rows = fieldfx::rowsHeld(blurred, width, height);
    auto* srcPixels = static_cast<uint8_t*>(src->pixels);
    auto* blurredPixels = static_cast<uint8_t*>(blurred->pixels);

    if (width > 0 && height > 0) {
        const int32_t s = boxLength(msg);
        for (int channel = 1; channel <= 3; ++channel)
            blurChannel(srcPixels, blurredPixels, width, height, rows, s, channel);
    }
    paintSpot(srcPixels, blurredPixels, width, rows, spotGeometry(src, height, msg));

    return images.deliver(src);
}

}  // namespace

int32_t OperatorAction(OperatorMessage* msg) { return fieldfx::operatorAction(msg, process); }

const OperatorTag* GetOperatorInfo(void) { return kTags.data(); }
