#include "instance.h"

#include <frei0r.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "fieldfx/fieldio/ycbcr.h"

namespace fieldfx::frei0r {

namespace {

// Filters do not read the span; this one is longer than any clip.
constexpr uint32_t kFilterSpan = 1u << 30;

// A host's double in 0..1; false for NaN.
bool unit(double v, double& out) {
    if (!(v == v)) return false;
    out = std::clamp(v, 0.0, 1.0);
    return true;
}

int32_t roundedScale(double v, double scale) { return int32_t(std::lround(v * scale)); }

std::string lower(const char* s) {
    std::string t(s);
    for (char& c : t) c = char(std::tolower(static_cast<unsigned char>(c)));
    return t;
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
      set_(*module_),
      frames_(width, height),
      texts_(params.size()) {
    effect_ = std::make_unique<runtime::Effect>(*module_);
    for (int i = 0; i < 2; ++i) {
        sources_[i] = std::make_unique<CurrentField>();
        effect_->setInput(i, sources_[i].get());
    }
}

Instance::~Instance() = default;

void Instance::setParam(int index, const void* value) {
    if (index < 0 || std::size_t(index) >= params_.size() || value == nullptr) return;
    const PluginParam& p = params_[index];
    ParamDescriptor* d =
        p.operand >= 0 ? module_->description().params[p.operand].descriptor : nullptr;
    const double number = p.type == F0R_PARAM_DOUBLE ? *static_cast<const double*>(value) : 0.0;
    const char* text = p.type == F0R_PARAM_STRING ? *static_cast<char* const*>(value) : nullptr;
    double v;
    switch (p.role) {
        case Role::Slider: {
            auto* s = reinterpret_cast<SliderDescriptor*>(d);
            if (unit(number, v))
                s->value = s->minimum + roundedScale(v, double(s->maximum) - double(s->minimum));
            break;
        }
        case Role::Choice:
            if (text == nullptr) break;
            try {
                set_.find(p.name)->set(text);
            } catch (const std::exception&) {
                // Not an entry: the choice stays.
            }
            break;
        case Role::Colour: {
            const auto* c = static_cast<const f0r_param_color_t*>(value);
            double r, g, b;
            if (!unit(c->r, r) || !unit(c->g, g) || !unit(c->b, b)) break;
            uint8_t px[4];
            io::rgbToPixel(r, g, b, 255, px, frames_.matrix());
            reinterpret_cast<ColourDescriptor*>(d)->value =
                uint32_t(px[0]) | uint32_t(px[1]) << 8 | uint32_t(px[2]) << 16 |
                uint32_t(px[3]) << 24;
            break;
        }
        case Role::PositionX:
        case Role::PositionY: {
            if (!(number == number)) break;
            auto* pos = reinterpret_cast<PositionDescriptor*>(d);
            const bool x = p.role == Role::PositionX;
            const double extent = x ? frames_.fieldWidth() : frames_.fieldHeight();
            const double at = std::clamp(std::round(number * extent), -32768.0, 32767.0);
            (x ? pos->posX : pos->posY) = int16_t(at);
            break;
        }
        case Role::FieldOrder: {
            if (text == nullptr) break;
            const std::string t = lower(text);
            if (t == "tff" || t == "0") order_ = FieldOrder::TopFirst;
            if (t == "bff" || t == "1") order_ = FieldOrder::BottomFirst;
            if (t == "progressive" || t == "2") order_ = FieldOrder::Progressive;
            break;
        }
        case Role::PixelAspect:
            if (unit(number, v)) pixelAspect_ = v;
            break;
        case Role::Progress:
            if (unit(number, v)) progress_ = v;
            break;
        case Role::Length:
            if (unit(number, v)) length_ = v;
            break;
    }
}

void Instance::getParam(int index, void* value) {
    if (index < 0 || std::size_t(index) >= params_.size() || value == nullptr) return;
    const PluginParam& p = params_[index];
    const ParamDescriptor* d =
        p.operand >= 0 ? module_->description().params[p.operand].descriptor : nullptr;
    auto* number = static_cast<double*>(value);
    switch (p.role) {
        case Role::Slider: {
            const auto* s = reinterpret_cast<const SliderDescriptor*>(d);
            const double span = double(s->maximum) - double(s->minimum);
            *number = span > 0.0 ? (double(s->value) - double(s->minimum)) / span : 0.0;
            break;
        }
        case Role::Choice: {
            const std::vector<std::string> entries = set_.find(p.name)->entries();
            const uint32_t v = reinterpret_cast<const ChoiceDescriptor*>(d)->value;
            texts_[index] = v < entries.size() ? entries[v] : std::to_string(v);
            *static_cast<const char**>(value) = texts_[index].c_str();
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
        case Role::PositionX:
        case Role::PositionY: {
            const auto* pos = reinterpret_cast<const PositionDescriptor*>(d);
            *number = p.role == Role::PositionX ? pos->posX / double(frames_.fieldWidth())
                                                : pos->posY / double(frames_.fieldHeight());
            break;
        }
        case Role::FieldOrder:
            texts_[index] = order_ == FieldOrder::TopFirst      ? "tff"
                            : order_ == FieldOrder::BottomFirst ? "bff"
                                                                : "progressive";
            *static_cast<const char**>(value) = texts_[index].c_str();
            break;
        case Role::PixelAspect: *number = pixelAspect_; break;
        case Role::Progress: *number = progress_; break;
        case Role::Length: *number = length_; break;
    }
}

void Instance::render(const uint32_t* const inputs[2], uint32_t* out) {
    const int count = module_->isFilter() ? 1 : 2;
    // The span and the pixel aspect are the message's for a whole opening:
    // a change opens the effect anew.
    runtime::EffectSettings s;
    s.pixelAspect = int16_t(roundedScale(pixelAspect_, kPixelAspectScale));
    s.duration = module_->isFilter()
                     ? kFilterSpan
                     : 2u * uint32_t(std::max(1, roundedScale(length_, kLengthScale)));
    if (!open_ || opened_.duration != s.duration || opened_.pixelAspect != s.pixelAspect) {
        effect_->close();
        effect_->open(s, frames_.fieldWidth(), frames_.fieldHeight());
        opened_ = s;
        open_ = true;
        nextFrame_ = 0;
    }
    const uint32_t base = module_->isFilter()
                              ? 2u * nextFrame_++
                              : 2u * uint32_t(std::lround(progress_ * (s.duration / 2)));
    for (int i = 0; i < count; ++i) {
        pictures_[i].rgba = inputs[i];
        frames_.split(inputs[i], pictures_[i].fields);
    }
    for (uint32_t k = 0; k < 2; ++k) {
        // The field first in time holds the even lines unless bottom first.
        const int which = order_ == FieldOrder::BottomFirst ? int(1 - k) : int(k);
        for (int i = 0; i < count; ++i) sources_[i]->set(base + k, &pictures_[i].fields[which]);
        effect_->process(base + k, which == 1);
        effect_->swapOutput(output_[which]);
        for (const std::string& w : effect_->takeWarnings())
            std::fprintf(stderr, "fieldfx %s: %s\n", module_->name().c_str(), w.c_str());
    }
    frames_.weave(output_, pictures_, count, out);
}

void Instance::update(double time, const uint32_t* const inputs[2], uint32_t* out) {
    try {
        // A filter's host going back in time starts the effect again.
        if (module_->isFilter() && open_ && !(time > lastTime_)) open_ = false;
        lastTime_ = time;
        render(inputs, out);
        failed_ = false;
    } catch (const std::exception& e) {
        // The frame passes through; the note comes once per run of failures.
        if (!failed_)
            std::fprintf(stderr, "fieldfx %s: %s; the frame passes through unchanged\n",
                         module_->name().c_str(), e.what());
        failed_ = true;
        std::memmove(out, inputs[0], frames_.frameBytes());
    }
}

}  // namespace fieldfx::frei0r
