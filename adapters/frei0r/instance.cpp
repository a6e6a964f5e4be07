#include "instance.h"

#include <frei0r.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "fieldfx/fieldio/ycbcr.h"
#include "fieldfx/patterns/patterns.h"
#include "fieldfx/patterns/transition_prefs.h"

namespace fieldfx::frei0r {

namespace {

// Filters do not read the span; this one is longer than any clip.
constexpr uint32_t kFilterSpan = 1u << 30;
// The last frame a time can name: its fields stay below the filter span.
constexpr uint32_t kLastFrame = kFilterSpan / 2 - 1;

// The most fields an operator with a history replays to reach a frame: an
// hour of 50 fields a second.
constexpr uint32_t kMaxReplay = 50u * 3600u;

// A host's double in 0..1; false for NaN.
bool unit(double v, double& out) {
    if (!(v == v)) return false;
    out = std::clamp(v, 0.0, 1.0);
    return true;
}

int32_t roundedScale(double v, double scale) { return int32_t(std::lround(v * scale)); }

// Operators whose fields depend on the requests before them within one
// effect: Standbild's shake and noise (one draw per pixel) come from a
// generator that runs from OP_OPEN across every request.
bool dependsOnEarlierFields(const runtime::OperatorModule& module) {
    return module.name() == "Standbild";
}

}  // namespace

// The field an input offers for the request being made: the current frame's
// field at its position, nothing at any other.
class Instance::CurrentField : public runtime::FieldSource {
public:
    void set(uint32_t position, const io::Field* field) {
        position_ = position;
        field_ = field;
    }
    const io::Field* fieldAt(uint32_t position) override {
        return position == position_ ? field_ : nullptr;
    }

private:
    uint32_t position_ = 0;
    const io::Field* field_ = nullptr;
};

Instance::Instance(const std::string& name, const std::string& path,
                   const std::vector<PluginParam>& params, int32_t width, int32_t height)
    : params_(params),
      module_(runtime::OperatorModule::loadFile(name, path)),
      frames_(width, height),
      values_(params.size()) {
    effect_ = std::make_unique<runtime::Effect>(*module_);
    for (int i = 0; i < 2; ++i) {
        sources_[i] = std::make_unique<CurrentField>();
        effect_->setInput(i, sources_[i].get());
    }
    for (std::size_t i = 0; i < params.size(); ++i) values_[i] = params[i].defaultValue;
}

Instance::~Instance() = default;

void Instance::setParam(int index, const void* value) {
    if (index < 0 || std::size_t(index) >= params_.size() || value == nullptr) return;
    const PluginParam& p = params_[index];
    ParamDescriptor* d =
        p.operand >= 0 && (p.role == Role::Slider || p.role == Role::Choice ||
                           p.role == Role::Colour)
            ? module_->description().params[p.operand].descriptor
            : nullptr;
    const double number = p.type == F0R_PARAM_DOUBLE ? *static_cast<const double*>(value) : 0.0;
    double v;
    switch (p.role) {
        case Role::Slider: {
            const auto* s = reinterpret_cast<const SliderDescriptor*>(d);
            const double base = sliderBase(s->minimum);
            if (unit(number, v))
                runtime::writeParameter(
                    d, {std::clamp(int32_t(base) + roundedScale(v, double(s->maximum) - base),
                                   s->minimum, std::max(s->minimum, s->maximum)),
                        0, 0, 0});
            break;
        }
        case Role::Choice:
            if (unit(number, v))
                runtime::writeParameter(d, {choiceEntry(v, int(p.entries.size())), 0, 0, 0});
            break;
        case Role::Colour: {
            const auto* c = static_cast<const f0r_param_color_t*>(value);
            double r, g, b;
            if (!unit(c->r, r) || !unit(c->g, g) || !unit(c->b, b)) break;
            uint8_t px[4];
            io::rgbToPixel(r, g, b, 255, px, frames_.matrix());
            runtime::writeParameter(d, {int32_t(uint32_t(px[0]) | uint32_t(px[1]) << 8 |
                                                uint32_t(px[2]) << 16 | uint32_t(px[3]) << 24),
                                        0, 0, 0});
            break;
        }
        case Role::Pattern:
        case Role::PatternInvert:
        case Role::FieldOrder:
            if (unit(number, v))
                values_[index] = choiceValue(choiceEntry(v, int(p.entries.size())),
                                             int(p.entries.size()));
            break;
        case Role::Progress:
            if (unit(number, v)) {
                values_[index] = v;
                keyed_ = true;
            }
            break;
        case Role::In:
        case Role::Out:
            // Frame numbers, not fractions.
            if (std::isfinite(number) && number >= 0.0 && number <= kLastFrame) {
                values_[index] = std::round(number);
                if (p.role == Role::Out) outGiven_ = true;
            }
            break;
        default:
            if (unit(number, v)) values_[index] = v;
            break;
    }
}

void Instance::getParam(int index, void* value) {
    if (index < 0 || std::size_t(index) >= params_.size() || value == nullptr) return;
    const PluginParam& p = params_[index];
    const ParamDescriptor* d =
        p.operand >= 0 && (p.role == Role::Slider || p.role == Role::Choice ||
                           p.role == Role::Colour)
            ? module_->description().params[p.operand].descriptor
            : nullptr;
    auto* number = static_cast<double*>(value);
    switch (p.role) {
        case Role::Slider: {
            const auto* s = reinterpret_cast<const SliderDescriptor*>(d);
            const double base = sliderBase(s->minimum), span = double(s->maximum) - base;
            *number = span > 0.0 ? std::clamp((double(s->value) - base) / span, 0.0, 1.0) : 0.0;
            break;
        }
        case Role::Choice: {
            const uint32_t v = reinterpret_cast<const ChoiceDescriptor*>(d)->value;
            const int count = int(p.entries.size());
            *number = choiceValue(int(std::min<uint32_t>(v, uint32_t(count - 1))), count);
            break;
        }
        case Role::Colour: {
            const uint32_t w = reinterpret_cast<const ColourDescriptor*>(d)->value;
            const uint8_t px[4] = {uint8_t(w), uint8_t(w >> 8), uint8_t(w >> 16), uint8_t(w >> 24)};
            double rgb[3];
            io::pixelToRgb(px, rgb, frames_.matrix());
            auto* c = static_cast<f0r_param_color_t*>(value);
            c->r = float(std::clamp(rgb[0], 0.0, 1.0));
            c->g = float(std::clamp(rgb[1], 0.0, 1.0));
            c->b = float(std::clamp(rgb[2], 0.0, 1.0));
            break;
        }
        default: *number = values_[index]; break;
    }
}

// The frame a host's time names; a time that names none (NaN, negative)
// is frame 0, one beyond any clip the last frame.
uint32_t Instance::frameAt(double time) const {
    double rate = 25.0;
    for (std::size_t i = 0; i < params_.size(); ++i)
        if (params_[i].role == Role::FrameRate) rate = std::max(1.0, values_[i] * kFrameRateScale);
    const double frame = std::round(time * rate);
    if (!(frame >= 0.0)) return 0;
    return frame >= kLastFrame ? kLastFrame : uint32_t(frame);
}

runtime::EffectSettings Instance::settings(uint32_t spanFrames) const {
    runtime::EffectSettings s;
    s.duration = module_->isFilter() ? kFilterSpan : 2u * std::max(1u, spanFrames - 1);
    s.scratchFromInput = true;
    double active[4] = {0.0, 0.0, 1.0, 1.0};
    for (std::size_t i = 0; i < params_.size(); ++i) {
        const double v = values_[i];
        switch (params_[i].role) {
            case Role::PixelAspect:
                s.pixelAspect = int16_t(std::max(1, roundedScale(v, kPixelAspectScale)));
                break;
            case Role::ActiveX: active[0] = v; break;
            case Role::ActiveY: active[1] = v; break;
            case Role::ActiveWidth: active[2] = v; break;
            case Role::ActiveHeight: active[3] = v; break;
            default: break;
        }
    }
    // The active area in field pixels and rows, at least one of each, inside
    // the field.
    const int32_t w = frames_.fieldWidth(), h = frames_.fieldHeight();
    const int32_t x = std::min(w - 1, roundedScale(active[0], w));
    const int32_t y = std::min(h - 1, roundedScale(active[1], h));
    s.hasActive = true;
    s.active = runtime::ActiveRect{int16_t(x), int16_t(y),
                                   int16_t(std::clamp(roundedScale(active[2], w), 1, w - x)),
                                   int16_t(std::clamp(roundedScale(active[3], h), 1, h - y))};
    return s;
}

// Telescope's and Glide's preference block for the chosen pattern and its
// settings; empty for the other operators.
std::vector<uint8_t> Instance::preferences() const {
    if (module_->description().prefs == nullptr) return {};
    TransitionChoice choice;
    const patterns::Pattern* pattern = &patterns::defaultPattern();
    for (std::size_t i = 0; i < params_.size(); ++i) {
        const PluginParam& p = params_[i];
        if (p.role == Role::Pattern)
            if (const auto* found =
                    patterns::patternByNumber(choiceEntry(values_[i], int(p.entries.size()))))
                pattern = found;
        if (p.role == Role::PatternInvert) choice.invert = values_[i] > 0.5;
    }
    choice.pattern = pattern->number;
    const auto list = pattern->settingList();
    for (std::size_t k = 0; k < list.size() && k < choice.values.size(); ++k) {
        choice.values[k] = list[k].defaultValue;
        for (std::size_t i = 0; i < params_.size(); ++i)
            if (params_[i].role == Role::PatternSetting && params_[i].entries[0] == list[k].name)
                choice.values[k] = std::clamp(
                    int32_t(sliderBase(list[k].minimum)) +
                        roundedScale(values_[i], list[k].maximum - sliderBase(list[k].minimum)),
                    list[k].minimum, list[k].maximum);
    }
    std::vector<uint8_t> block(kTransitionPrefsSize);
    if (!encodeTransitionPrefs(choice, block.data())) block.assign(kTransitionPrefsSize, 0);
    return block;
}

// Positions and areas from their fractions of the active area.
void Instance::writePositions(const runtime::ActiveRect& active) {
    for (std::size_t i = 0; i < params_.size(); ++i) {
        const PluginParam& p = params_[i];
        if (p.role != Role::PositionX && p.role != Role::PositionY && p.role != Role::AreaWidth &&
            p.role != Role::AreaHeight)
            continue;
        ParamDescriptor* d = module_->description().params[p.operand].descriptor;
        const auto* pos = reinterpret_cast<const PositionDescriptor*>(d);
        const int32_t across = roundedScale(values_[i], active.width);
        const int32_t down = roundedScale(values_[i], active.height);
        runtime::ParameterValue value = runtime::readParameter(d);  // x, y, w, h
        switch (p.role) {
            case Role::PositionX: value[0] = int16_t(across); break;
            case Role::PositionY: value[1] = int16_t(down); break;
            case Role::AreaWidth:
                value[2] = std::clamp<int32_t>(across, pos->minWidth, pos->maxWidth);
                break;
            default: value[3] = std::clamp<int32_t>(down, pos->minHeight, pos->maxHeight); break;
        }
        runtime::writeParameter(d, value);
    }
}

// One field at `position` from the current frame's fields; `keep` hands the
// result to output_, otherwise (a replayed position) it is dropped.
void Instance::process(uint32_t position, int count, bool keep) {
    runtime::Scan order = runtime::Scan::TopFirst;
    for (std::size_t i = 0; i < params_.size(); ++i)
        if (params_[i].role == Role::FieldOrder)
            order = runtime::Scan(choiceEntry(values_[i], int(params_[i].entries.size())));
    // The field first in time holds the even lines unless bottom first.
    const int which =
        order == runtime::Scan::BottomFirst ? int(1 - (position & 1)) : int(position & 1);
    for (int i = 0; i < count; ++i) sources_[i]->set(position, &pictures_[i].fields[which]);
    effect_->process(position, which == 1);
    if (keep) effect_->swapOutput(output_[which]);
    for (const std::string& w : effect_->takeWarnings())
        std::fprintf(stderr, "fieldfx %s: %s\n", module_->name().c_str(), w.c_str());
}

void Instance::render(double time, const uint32_t* const inputs[2], uint32_t* out) {
    const bool filter = module_->isFilter();
    const int count = filter ? 1 : 2;
    double progress = 0.0, length = 0.025, in = 0.0, outFrame = 0.0;
    for (std::size_t i = 0; i < params_.size(); ++i) switch (params_[i].role) {
            case Role::Progress: progress = values_[i]; break;
            case Role::Length: length = values_[i]; break;
            case Role::In: in = values_[i]; break;
            case Role::Out: outFrame = values_[i]; break;
            default: break;
        }
    const uint32_t spanFrames =
        outGiven_ && outFrame >= in ? uint32_t(outFrame - in) + 1
                                    : uint32_t(std::max(1, roundedScale(length, kLengthScale)));
    uint32_t frame = frameAt(time);
    if (!filter) {
        if (keyed_) frame = uint32_t(std::lround(progress * (spanFrames - 1)));
        frame = std::min(frame, spanFrames - 1);
    }
    const uint32_t base = 2u * frame;

    // The span, the pixel aspect, the active area and the pattern are the
    // message's and the mask's for a whole opening: a change opens the effect
    // anew, and so does going back for an operator with a history.
    const runtime::EffectSettings s = settings(spanFrames);
    const std::vector<uint8_t> prefs = preferences();
    const bool history = dependsOnEarlierFields(*module_);
    writePositions(s.active);
    if (!open_ || opened_.duration != s.duration || opened_.pixelAspect != s.pixelAspect ||
        std::memcmp(&opened_.active, &s.active, sizeof s.active) != 0 || prefs != openedPrefs_ ||
        (history && base < next_)) {
        effect_->close();
        open_ = false;
        if (!prefs.empty()) effect_->applyPreferences(prefs);
        effect_->open(s, frames_.fieldWidth(), frames_.fieldHeight());
        opened_ = s;
        openedPrefs_ = prefs;
        open_ = true;
        next_ = 0;
    }
    for (int i = 0; i < count; ++i) {
        pictures_[i].rgba = inputs[i];
        frames_.split(inputs[i], pictures_[i].fields);
    }
    if (history) {
        // Replaying costs what rendering does: a time past an hour of fields
        // would hold the host for that long, so such a frame passes through.
        if (base - next_ > kMaxReplay)
            throw std::runtime_error("frame " + std::to_string(frame) + " lies more than an hour "
                                     "of fields past the last one rendered");
        for (; next_ < base; ++next_) process(next_, count, false);
    }
    process(base, count, true);
    process(base + 1, count, true);
    next_ = base + 2;
    frames_.weave(output_, pictures_, count, out);
}

void Instance::update(double time, const uint32_t* const inputs[2], uint32_t* out) {
    try {
        render(time, inputs, out);
        failed_ = false;
    } catch (const std::exception& e) {
        // The frame passes through; the note comes once per run of failures.
        if (!failed_)
            std::fprintf(stderr, "fieldfx %s: %s; the frame passes through unchanged\n",
                         module_->name().c_str(), e.what());
        failed_ = true;
        open_ = false;  // whatever the effect held, the next frame starts it anew
        std::memmove(out, inputs[0], frames_.frameBytes());
    }
}

}  // namespace fieldfx::frei0r
