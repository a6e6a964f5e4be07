#include "fieldfx/runtime/keyframes.h"

#include <cmath>
#include <cstdlib>

#include "fieldfx/runtime/error.h"

namespace fieldfx::runtime {

bool hasKeys(const std::string& assignment) { return assignment.find('@') != std::string::npos; }

namespace {

double keyFrame(const std::string& name, const std::string& text, double rate) {
    const bool seconds = !text.empty() && (text.back() == 's' || text.back() == 'S');
    const std::string number = seconds ? text.substr(0, text.size() - 1) : text;
    char* end = nullptr;
    const double v = std::strtod(number.c_str(), &end);
    if (number.empty() || *end != '\0' || !(v >= 0.0) || v > 1e9)
        throw Error(ErrorKind::Usage, name + ": key time \"" + text +
                                          "\" is not a frame number or seconds such as 2s");
    if (!seconds) {
        if (v != std::floor(v))
            throw Error(ErrorKind::Usage, name + ": key time \"" + text +
                                              "\" is not a whole frame (seconds take an s: " +
                                              text + "s)");
        return v;
    }
    if (rate <= 0.0)
        throw Error(ErrorKind::Usage,
                    name + ": key time " + text + " in seconds needs a frame rate (--rate)");
    return v * rate;
}

}  // namespace

Keyframes::Keyframes(const Parameter& parameter, const std::string& keys, double rate)
    : index_(parameter.index), kind_(parameter.kind()) {
    const std::string name = parameter.name + "=" + keys;
    Parameter target = parameter;
    const Value before = read(parameter.descriptor);
    // Each key's value is read by setting it; the descriptor gets its own
    // value back however this ends.
    try {
        // Split at commas; a piece without "@" belongs to the key that follows.
        std::string value;
        std::size_t from = 0;
        while (from <= keys.size()) {
            std::size_t comma = keys.find(',', from);
            if (comma == std::string::npos) comma = keys.size();
            const std::string piece = keys.substr(from, comma - from);
            from = comma + 1;
            const std::size_t at = piece.find('@');
            if (piece.empty())
                throw Error(ErrorKind::Usage,
                            name + ": an empty entry between commas (or at an end)");
            value += (value.empty() ? "" : ",") + piece.substr(0, at);
            if (at == std::string::npos) {
                if (from > keys.size())
                    throw Error(ErrorKind::Usage, name + ": \"" + value + "\" has no key time (@)");
                continue;
            }
            const double frame = keyFrame(name, piece.substr(at + 1), rate);
            if (!keys_.empty() && frame <= keys_.back().frame)
                throw Error(ErrorKind::Usage, name + ": key times must increase");
            target.set(value);
            keys_.push_back({frame, read(parameter.descriptor)});
            value.clear();
        }
    } catch (...) {
        write(parameter.descriptor, before);
        throw;
    }
    write(parameter.descriptor, before);
}

Keyframes::Value Keyframes::read(const ParamDescriptor* d) {
    switch (d->kind) {
        case PARAM_SLIDER: return {reinterpret_cast<const SliderDescriptor*>(d)->value, 0, 0, 0};
        case PARAM_CHOICE:
            return {int32_t(reinterpret_cast<const ChoiceDescriptor*>(d)->value), 0, 0, 0};
        case PARAM_COLOUR:
            return {int32_t(reinterpret_cast<const ColourDescriptor*>(d)->value), 0, 0, 0};
        default: {
            const auto* p = reinterpret_cast<const PositionDescriptor*>(d);
            return {p->posX, p->posY, p->areaWidth, p->areaHeight};
        }
    }
}

void Keyframes::write(ParamDescriptor* d, const Value& v) {
    switch (d->kind) {
        case PARAM_SLIDER: reinterpret_cast<SliderDescriptor*>(d)->value = v[0]; break;
        case PARAM_CHOICE: reinterpret_cast<ChoiceDescriptor*>(d)->value = uint32_t(v[0]); break;
        case PARAM_COLOUR: reinterpret_cast<ColourDescriptor*>(d)->value = uint32_t(v[0]); break;
        default: {
            auto* p = reinterpret_cast<PositionDescriptor*>(d);
            p->posX = int16_t(v[0]);
            p->posY = int16_t(v[1]);
            p->areaWidth = int16_t(v[2]);
            p->areaHeight = int16_t(v[3]);
        }
    }
}

void Keyframes::applyAt(double frame, const OperatorModule& module) const {
    ParamDescriptor* d = nullptr;
    for (const ParamSlot& slot : module.description().params)
        if (slot.index == index_) d = slot.descriptor;
    if (d == nullptr) return;
    std::size_t next = 0;
    while (next < keys_.size() && keys_[next].frame <= frame) ++next;
    if (next == 0) return write(d, keys_.front().value);
    const Key& a = keys_[next - 1];
    if (next == keys_.size() || kind_ == PARAM_CHOICE || kind_ == PARAM_COLOUR)
        return write(d, a.value);
    const Key& b = keys_[next];
    const double t = (frame - a.frame) / (b.frame - a.frame);
    Value v;
    // Between two values of the range, so the rounded result is one too.
    for (int i = 0; i < 4; ++i)
        v[i] = int32_t(std::lround(a.value[i] + (double(b.value[i]) - a.value[i]) * t));
    write(d, v);
}

std::vector<Keyframes> keyedParameters(ParameterSet& set,
                                       const std::vector<std::string>& assignments, double rate) {
    std::vector<Keyframes> out;
    for (const std::string& a : assignments) {
        if (!hasKeys(a)) continue;
        const std::size_t eq = a.find('=');
        Parameter* p = eq == std::string::npos ? nullptr : set.find(a.substr(0, eq));
        if (p == nullptr) {
            set.assign(a);  // reports the unknown name with the list of parameters
            continue;
        }
        out.emplace_back(*p, a.substr(eq + 1), rate);
    }
    return out;
}

}  // namespace fieldfx::runtime
