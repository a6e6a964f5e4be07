// Heatwave: a rectangle of the picture shimmers like air over a hot surface.
// Each of its pixels takes bytes 1-3 of the input sampled a small, wave-driven
// distance away; everything else is the input unchanged.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "fieldfx/helpers/contract/action.h"
#include "fieldfx/helpers/contract/describe.h"
#include "fieldfx/helpers/contract/params.h"
#include "fieldfx/helpers/contract/request.h"
#include "fieldfx/helpers/pixel/colour_blend.h"
#include "fieldfx/helpers/pixel/rect.h"
#include "fieldfx/helpers/pixel/table.h"
#include "kernels.h"
#include "wave.h"

namespace {

using fieldfx::heatwave::kWaveRows;
using fieldfx::heatwave::WaveJob;

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

// The wave values of the last fields painted, kept while the frequency and
// field size stay the same and they cover the integers a field needs. The
// next frame's phase is one more, which moves every integer up by one, so
// the tables reach kPhasesAhead phases beyond the field that made them.
// About 4 x 2^16 doubles (2 MiB) for the largest field; kept for the
// module's life.
constexpr std::size_t kPhasesAhead = 64;

struct WaveCache {
    fieldfx::TableStore<double> store;
    bool valid = false;
    double freq = 0.0;
    int32_t width = 0, height = 0;
    fieldfx::heatwave::WaveSpan a{}, b{};  // the integers held
    fieldfx::heatwave::WaveTables tables{};  // from a.first and b.first on
};
WaveCache cache;

bool holds(const fieldfx::heatwave::WaveSpan& held, const fieldfx::heatwave::WaveSpan& need) {
    return need.first >= held.first &&
           uint64_t(need.first) + need.count <= uint64_t(held.first) + held.count;
}

// The tables for this field, or false when there is no heap for them (the
// pixels then compute their own angles).
bool waveTables(uint32_t phase, double freq, const fieldfx::heatwave::WaveRect& r, int32_t width,
                int32_t height, fieldfx::heatwave::WaveTables& out) {
    using fieldfx::heatwave::WaveSpan;
    const WaveSpan a = fieldfx::heatwave::waveSpanA(phase, r);
    const WaveSpan b = fieldfx::heatwave::waveSpanB(phase, r);
    if (!(cache.valid && cache.freq == freq && cache.width == width && cache.height == height &&
          holds(cache.a, a) && holds(cache.b, b))) {
        cache.valid = false;
        const WaveSpan heldA{a.first, a.count + kPhasesAhead};
        const WaveSpan heldB{b.first, b.count + kPhasesAhead};
        double* store = cache.store.reserve(2 * (heldA.count + heldB.count));
        if (store == nullptr) return false;
        const fieldfx::heatwave::WaveTables t{store, store + heldA.count,
                                              store + 2 * heldA.count,
                                              store + 2 * heldA.count + heldB.count};
        fieldfx::heatwave::fillWave(t.cosA, t.sinA, heldA, freq, double(width));
        fieldfx::heatwave::fillWave(t.cosB, t.sinB, heldB, freq, double(2 * height));
        cache.valid = true;
        cache.freq = freq;
        cache.width = width;
        cache.height = height;
        cache.a = heldA;
        cache.b = heldB;
        cache.tables = t;
    }
    const std::size_t da = a.first - cache.a.first, db = b.first - cache.b.first;
    const fieldfx::heatwave::WaveTables& t = cache.tables;
    out = {t.cosA + da, t.sinA + da, t.sinB + db, t.cosB + db};
    return true;
}

// Paints the rectangle of `dst` (`rows` rows of it usable).
void paintWave(const FieldImage* src, uint8_t* dst, int32_t rows, const OperatorMessage* msg) {
    const int32_t width = src->width, height = src->height;
    fieldfx::heatwave::WaveRect rect = fieldfx::heatwave::waveRect(src, area);
    if (rect.y0 + rect.rows > rows) rect.rows = rows - rect.y0;
    if (rect.empty()) return;

    const uint32_t phase = fieldfx::heatwave::wavePhase(msg->position);
    const double freq = fieldfx::heatwave::waveFrequency(fieldfx::sliderValue(frequency));
    const fieldfx::heatwave::Amplitudes amp = fieldfx::heatwave::waveAmplitudes(
        fieldfx::sliderValue(horizontal), fieldfx::sliderValue(vertical), msg);
    fieldfx::heatwave::WaveTables tables;
    const bool tabled = waveTables(phase, freq, rect, width, height, tables);
    const WaveJob job{fieldfx::clampSource(src), dst, width,  height, rect,
                      phase, freq, amp, tabled ? &tables : nullptr};
    kWaveRows.chosen()(job);
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
