// Standbild: shakes the whole picture along eased random targets, with
// optional random noise on the luma byte. The targets, the noise amplitude
// and the easing table live from one OP_OPEN to the next.
#include "fieldfx/helpers/action.h"
#include "fieldfx/helpers/colour_blend.h"
#include "fieldfx/helpers/describe.h"
#include "fieldfx/helpers/message.h"
#include "fieldfx/helpers/params.h"
#include "fieldfx/helpers/rect.h"
#include "fieldfx/helpers/request.h"
#include "fieldfx/helpers/table.h"
#include "shake.h"

namespace {

const char kIdent[] = "$Id: Vexo_Standbild,v 1.0 2014/11/19 00:00:00 Orvandel $";
const fieldfx::OperatorIdentity kId{"src\\Standbild", 0x0bb90000u};

// The failure points and the source line each one logs.
constexpr int32_t kInputLine = 125;
constexpr int32_t kScratchLine = 131;

SliderDescriptor horizontal = fieldfx::makeSlider(1610, 0, 10, 2);
SliderDescriptor vertical = fieldfx::makeSlider(1620, 0, 10, 2);
SliderDescriptor speed = fieldfx::makeSlider(1630, 1, 100, 10);
SliderDescriptor noise = fieldfx::makeSlider(1640, 0, 10, 2);

const auto kTags = fieldfx::describeOperator(
    fieldfx::kFilter, kIdent, 2, &horizontal, &vertical, &speed, &noise);

fieldfx::standbild::Shake shake;

int32_t open() {
    fieldfx::standbild::openShake(shake, fieldfx::sliderValue(horizontal), fieldfx::sliderValue(vertical),
                         fieldfx::sliderValue(noise));
    return 0;
}

// Where a column (or row) reads: its two neighbours (byte offsets in a row,
// or row numbers) and the weight of the second. The whole picture moves by
// one offset, so the split of c + o.x is the same on every row and is made
// once a field.
struct Tap {
    int32_t first, second;
    double weight;
};
fieldfx::TableStore<Tap> columnTaps;

// The clamped neighbour positions and weights of sampleBilinear along one
// axis: `along` 0 for columns, 1 for rows (the other axis is left out).
Tap axisTap(const fieldfx::SampleSource& source, double position, int along) {
    int32_t ix, iy;
    double fx, fy;
    const fieldfx::PixelRect& b = source.bounds;
    if (along == 0) {
        fieldfx::detail::splitPosition(position, 0.0, ix, iy, fx, fy);
        return Tap{fieldfx::detail::clampTo(ix, b.x0, b.x1) * 4,
                         fieldfx::detail::clampTo(ix + 1, b.x0, b.x1) * 4, fx};
    }
    fieldfx::detail::splitPosition(0.0, position, ix, iy, fx, fy);
    return Tap{fieldfx::detail::clampTo(iy, b.y0, b.y1),
                     fieldfx::detail::clampTo(iy + 1, b.y0, b.y1), fy};
}

// One field's painting: `rows` rows of `dst` (laid out with the input's row
// length) from `source` displaced by `o`, through the column taps if there
// is heap for them.
struct ShakeJob {
    fieldfx::SampleSource source;
    const Tap* taps;
    uint8_t* dst;
    int32_t rows;
    fieldfx::standbild::Offset o;
    bool noisy;
    int32_t amp, divisor;
};

// Every pixel from the input sampled at the displaced position, row by row,
// blended by `Blend`.
template <typename Blend>
inline __attribute__((always_inline)) void shakeRows(const ShakeJob& j) {
    const int32_t width = j.source.rowLength;
    const std::size_t rowBytes = std::size_t(width) * 4;
    uint8_t* out = j.dst;
    for (int32_t r = 0; r < j.rows; ++r) {
        const Tap rowTap = axisTap(j.source, double(r) + j.o.y, 1);
        const uint8_t* row0 = j.source.pixels + std::size_t(rowTap.first) * rowBytes;
        const uint8_t* row1 = j.source.pixels + std::size_t(rowTap.second) * rowBytes;
        for (int32_t c = 0; c < width; ++c, out += 4) {
            // Byte 0 keeps what the host's new image held.
            if (j.taps != nullptr) {
                const Tap& t = j.taps[c];
                Blend::apply(row0 + t.first, row0 + t.second, row1 + t.first, row1 + t.second,
                             t.weight, rowTap.weight, out);
            } else {
                fieldfx::sampleBilinearColour<Blend>(j.source, double(c) + j.o.x,
                                                     double(r) + j.o.y, out);
            }
            if (j.noisy)
                out[3] = fieldfx::standbild::noisyLuma(shake.random, j.amp, j.divisor, out[3]);
        }
    }
}

#if defined(FIELDFX_COLOUR_BLEND_AVX2)
FIELDFX_TARGET("avx2") void shakeRowsAvx2(const ShakeJob& j) {
    shakeRows<fieldfx::ColourBlendAvx2>(j);
}
#endif

// The kernel: the shaken rows with the reference blend, or AVX2's.
using ShakeRows = void (*)(const ShakeJob& j);

void shakeRowsRef(const ShakeJob& j) { shakeRows<fieldfx::ColourBlend>(j); }

const fieldfx::Kernels<ShakeRows> kShakeRows{
    &shakeRowsRef, nullptr,
#if defined(FIELDFX_COLOUR_BLEND_AVX2)
    &shakeRowsAvx2,
#endif
};

void paintShaken(const FieldImage* src, uint8_t* dst, int32_t rows, fieldfx::standbild::Offset o) {
    const int32_t width = src->width;
    const int32_t amp = shake.noiseAmp;
    ShakeJob job{fieldfx::imageClampSource(src), nullptr, dst, rows, o,
                 fieldfx::sliderValue(noise) != 0, amp, fieldfx::standbild::noiseDivisor(amp)};
    Tap* taps = width > 0 ? columnTaps.reserve(std::size_t(width)) : nullptr;
    if (taps != nullptr)
        for (int32_t c = 0; c < width; ++c) taps[c] = axisTap(job.source, double(c) + o.x, 0);
    job.taps = taps;
    kShakeRows.chosen()(job);
}

int32_t process(const OperatorMessage* msg) {
    fieldfx::RequestImages images(kId);
    FieldImage *src, *dst;
    if (!images.fieldAndScratch(msg->position, kInputLine, kScratchLine, src, dst)) return -1;

    // The host counts positions in a signed 32-bit field number.
    const int32_t p = int32_t(msg->position);
    const int32_t period = 101 - fieldfx::sliderValue(speed);
    const fieldfx::standbild::Ease ease = fieldfx::standbild::easeAt(shake.easeTable, p, period);
    fieldfx::standbild::switchIfDue(shake, p, period, fieldfx::sliderValue(horizontal),
                           fieldfx::sliderValue(vertical));
    fieldfx::standbild::Offset o = fieldfx::standbild::displacement(shake, ease.g, period);
    // Under OPF_SCALE a zero denominator leaves the displacement unscaled.
    if (fieldfx::scalesSizes(msg)) {
        o.x = o.x * msg->scaleNum / msg->scaleDen;
        o.y = o.y * msg->scaleNum / msg->scaleDen;
    }

    const int32_t rows = fieldfx::rowsHeld(dst, src->width, src->height);
    paintShaken(src, static_cast<uint8_t*>(dst->pixels), rows, o);

    return images.deliver(dst);
}

}  // namespace

int32_t OperatorAction(OperatorMessage* msg) { return fieldfx::operatorAction(msg, process, open); }

const OperatorTag* GetOperatorInfo(void) { return kTags.data(); }
