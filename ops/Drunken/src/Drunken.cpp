// Drunken: every output pixel is the mean of n input pixels at evenly spaced
// points of an ellipse around it; the ellipse turns a little from one field
// position to the next, so the copies circle over time.
#include <algorithm>
#include <cstddef>

#include "fieldfx/helpers/action.h"
#include "fieldfx/helpers/describe.h"
#include "fieldfx/helpers/opmath.h"
#include "fieldfx/helpers/params.h"
#include "fieldfx/helpers/rect.h"
#include "fieldfx/helpers/request.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

const char kIdent[] = "$Id: Vexo_Drunken,v 1.0 2014/03/24 00:00:00 Orvandel $";
const fieldfx::OperatorIdentity kId{"src\\Drunken", 0x0bb50000u};

// The failure points and the source line each one logs.
constexpr int32_t kInputLine = 80;
constexpr int32_t kScratchLine = 86;

constexpr int32_t kMaxSamples = 6;
SliderDescriptor sampleCount = fieldfx::makeSlider(410, 2, kMaxSamples, 3);
SliderDescriptor ellipseAmount = fieldfx::makeSlider(420, 10, 100, 25);  // % of a tenth of the field

const auto kTags = fieldfx::describeOperator(
    fieldfx::kFilter, kIdent, 2, &sampleCount, &ellipseAmount);

struct Offset {
    int32_t dx, dy;
};

// The n points of the ellipse with semi-axes ax (columns) and ay (rows) at a
// field position, as whole-pixel offsets. The ellipse turns by 0.087266462
// (about 5 degrees) a field; point 0 of field 0 lies straight below.
void drunkenOffsets(uint32_t position, int32_t n, int32_t ax, int32_t ay, Offset* out) {
    const double phase = double(position) * 0.087266462;
    for (int32_t i = 0; i < n; ++i) {
        const double angle = double(i) * 6.283185307 / double(n) + phase;
        out[i].dy = int32_t(fieldfx::mathCos(angle) * double(ay));
        out[i].dx = int32_t(fieldfx::mathSin(angle) * double(ax));
    }
}

// Bytes 1 to 3 of the pixel at column x: the means of the n points around it;
// points beyond the image read its nearest edge pixel.
void averagePixel(const uint8_t* const* rows, const Offset* offsets, int32_t n, int32_t x,
                  int32_t width, uint8_t* out) {
    uint32_t s1 = 0, s2 = 0, s3 = 0;
    for (int32_t i = 0; i < n; ++i) {
        const uint8_t* p = rows[i] + std::clamp(x + offsets[i].dx, 0, width - 1) * 4;
        s1 += p[1];
        s2 += p[2];
        s3 += p[3];
    }
    out[1] = uint8_t(s1 / uint32_t(n));
    out[2] = uint8_t(s2 / uint32_t(n));
    out[3] = uint8_t(s3 / uint32_t(n));
}

#if defined(__SSE2__)
// ceil(2^16 / n): the high half of s times it is s / n for every sum of up to
// six bytes (s * (n r - 2^16) stays below 2^16 for n = 2..6).
inline uint16_t meanReciprocal(int32_t n) { return uint16_t((65536 + n - 1) / n); }

// averagePixel for four pixels whose points all lie inside their rows
// (`taps[i]` is point i of the first), in 16-bit lanes.
void averageFour(const uint8_t* const* taps, int32_t n, __m128i reciprocal, uint8_t* out) {
    const __m128i zero = _mm_setzero_si128();
    __m128i lo = zero, hi = zero;
    for (int32_t i = 0; i < n; ++i) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(taps[i]));
        lo = _mm_add_epi16(lo, _mm_unpacklo_epi8(v, zero));
        hi = _mm_add_epi16(hi, _mm_unpackhi_epi8(v, zero));
    }
    const __m128i means = _mm_packus_epi16(_mm_mulhi_epu16(lo, reciprocal),
                                           _mm_mulhi_epu16(hi, reciprocal));
    auto* at = reinterpret_cast<__m128i*>(out);
    const __m128i opacity = _mm_set1_epi32(0xFF);  // byte 0 of each pixel stays
    _mm_storeu_si128(at, _mm_or_si128(_mm_and_si128(_mm_loadu_si128(at), opacity),
                                      _mm_andnot_si128(opacity, means)));
}
#endif

// Bytes 1 to 3 of every pixel of the first `held` rows of `dst` become the
// means of the n points around it. Byte 0 is left as the host's new image
// held it. The host may
// abort after every 32nd row; the field is finished regardless.
void averagePoints(const uint8_t* src, uint8_t* dst, int32_t width, int32_t height, int32_t held,
                   const Offset* offsets, int32_t n) {
    const std::size_t rowBytes = std::size_t(width) * 4;
    // Columns inner..innerEnd - 1 have every point inside the row.
    int32_t inner = 0, innerEnd = width;
    for (int32_t i = 0; i < n; ++i) {
        inner = std::max(inner, -offsets[i].dx);
        innerEnd = std::min(innerEnd, width - offsets[i].dx);
    }
#if defined(__SSE2__)
    const __m128i reciprocal = _mm_set1_epi16(int16_t(meanReciprocal(n)));
#endif
    const uint8_t* rows[kMaxSamples];
    for (int32_t y = 0; y < held; ++y) {
        for (int32_t i = 0; i < n; ++i)
            rows[i] = src + std::size_t(std::clamp(y + offsets[i].dy, 0, height - 1)) * rowBytes;
        uint8_t* out = dst + std::size_t(y) * rowBytes;
        int32_t x = 0;
#if defined(__SSE2__)
        for (; x < inner && x < width; ++x) averagePixel(rows, offsets, n, x, width, out + x * 4);
        for (; x + 4 <= innerEnd; x += 4) {
            const uint8_t* taps[kMaxSamples];
            for (int32_t i = 0; i < n; ++i) taps[i] = rows[i] + (x + offsets[i].dx) * 4;
            averageFour(taps, n, reciprocal, out + x * 4);
        }
#endif
        for (; x < width; ++x) averagePixel(rows, offsets, n, x, width, out + x * 4);
        if ((y & 31) == 31) opChkAbort();
    }
}

int32_t process(const OperatorMessage* msg) {
    fieldfx::RequestImages images(kId);
    FieldImage *src, *dst;
    if (!images.fieldAndScratch(msg->position, kInputLine, kScratchLine, src, dst)) return -1;

    // The new image is indexed with the field's geometry; a negative size
    // counts as 0.
    const int32_t width = std::max<int32_t>(src->width, 0);
    const int32_t height = std::max<int32_t>(src->height, 0);
    const int32_t amount = fieldfx::sliderValue(ellipseAmount);
    const int32_t ax = (width / 10) * amount / 100;
    const int32_t ay = (height / 10) * amount / 100;
    // The host changes no value during a request, so the count read once
    // serves every pixel; clamped to 2..6 it never divides by zero.
    const int32_t n = fieldfx::sliderValue(sampleCount);
    Offset offsets[kMaxSamples];
    drunkenOffsets(msg->position, n, ax, ay, offsets);

    // A new image smaller than the field gets the rows it holds.
    averagePoints(static_cast<const uint8_t*>(src->pixels), static_cast<uint8_t*>(dst->pixels),
                  width, height, fieldfx::rowsHeld(dst, width, height), offsets, n);

    return images.deliver(dst);
}

}  // namespace

int32_t OperatorAction(OperatorMessage* msg) { return fieldfx::operatorAction(msg, process); }

const OperatorTag* GetOperatorInfo(void) { return kTags.data(); }
