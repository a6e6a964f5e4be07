// Heatwave: a rectangle of the picture shimmers like air over a hot surface.
// Each of its pixels takes bytes 1-3 of the input sampled a small, wave-driven
// distance away; everything else is the input unchanged.
#include <cstring>

#include "fieldfx/helpers/action.h"
#include "fieldfx/helpers/describe.h"
#include "fieldfx/helpers/params.h"
#include "fieldfx/helpers/rect.h"
#include "fieldfx/helpers/request.h"
#include "fieldfx/helpers/sampler.h"
#include "wave.h"

namespace {

const char kIdent[] = "$Id: Vexo_Heatwave,v 1.0 2014/03/24 00:00:00 Orvandel $";
const fieldfx::OperatorIdentity kId{"src\\Heatwave", 0x0b640000u};

// The failure points and the source line each one logs.
constexpr int32_t kInputLine = 91;
constexpr int32_t kScratchLine = 97;

PositionDescriptor area{{PARAM_POSITION, 740, fieldfx::kPositionStyle}, 16, 8, 999, 999, 200, 100,
                        64, 32};
SliderDescriptor horizontal = fieldfx::makeSlider(710, 0, 100, 25);
SliderDescriptor vertical = fieldfx::makeSlider(720, 0, 100, 25);
SliderDescriptor frequency = fieldfx::makeSlider(730, 0, 100, 50);

const auto kTags = fieldfx::describeOperator(
    fieldfx::kFilter, kIdent, 2, &area, &horizontal, &vertical, &frequency);

// Paints the rectangle of `dst` (laid out with the input's row length, `rows`
// rows of it usable) from samples of `src`.
void paintWave(const FieldImage* src, uint8_t* dst, int32_t rows, const OperatorMessage* msg) {
    const int32_t width = src->width, height = src->height;
    fieldfx::heatwave::WaveRect rect = fieldfx::heatwave::waveRect(src, area);
    if (rect.y0 + rect.rows > rows) rect.rows = rows - rect.y0;
    if (rect.empty()) return;

    const uint32_t phase = fieldfx::heatwave::wavePhase(msg->position);
    const double freq = fieldfx::heatwave::waveFrequency(fieldfx::sliderValue(frequency));
    const fieldfx::heatwave::Amplitudes amp = fieldfx::heatwave::waveAmplitudes(
        fieldfx::sliderValue(horizontal), fieldfx::sliderValue(vertical), msg);
    const fieldfx::SampleSource source = fieldfx::clampSource(src);

    for (int32_t y = rect.y0; y < rect.y0 + rect.rows; ++y) {
        uint8_t* out = dst + (std::size_t(y) * std::size_t(width) + std::size_t(rect.x0)) * 4;
        for (int32_t x = rect.x0; x < rect.x0 + rect.cols; ++x, out += 4) {
            const fieldfx::heatwave::WaveSample s =
                fieldfx::heatwave::waveSample(phase, x, y, freq, amp, width, height);
            uint8_t sample[4];
            fieldfx::sampleBilinear(source, s.sx, s.sy, sample);
            // Byte 0, the opacity, stays as copied from the input.
            out[1] = sample[1];
            out[2] = sample[2];
            out[3] = sample[3];
        }
    }
}

int32_t process(const OperatorMessage* msg) {
    fieldfx::RequestImages images(kId);
    FieldImage *src, *dst;
    if (!images.fieldAndScratch(msg->position, kInputLine, kScratchLine, src, dst)) return -1;

    const int32_t width = std::max<int32_t>(0, src->width);
    const int32_t rows = fieldfx::rowsHeld(dst, width, src->height);
    const std::size_t bytes = std::size_t(width) * std::size_t(rows) * 4;
    if (bytes != 0) std::memcpy(dst->pixels, src->pixels, bytes);
    paintWave(src, static_cast<uint8_t*>(dst->pixels), rows, msg);

    return images.deliver(dst);
}

}  // namespace

int32_t OperatorAction(OperatorMessage* msg) { return fieldfx::operatorAction(msg, process); }

const OperatorTag* GetOperatorInfo(void) { return kTags.data(); }
