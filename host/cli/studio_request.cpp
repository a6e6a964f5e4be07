#include "studio_request.h"

#include <cctype>
#include <cstring>

#include "fieldfx/runtime/catalogue.h"
#include "fieldfx/patterns/patterns.h"
#include "studio_pictures.h"

namespace fieldfx::cli::backend {

using nlohmann::json;
using studio::RequestError;

std::string shellWord(const std::string& w) {
    bool plain = !w.empty();
    for (char c : w)
        plain = plain && (std::isalnum(static_cast<unsigned char>(c)) ||
                          std::strchr("@%+=:,./_-", c) != nullptr);
    if (plain) return w;
    std::string q = "'";
    for (char c : w) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string State::key() const {
    return json{effect, pattern, sets, inputs}.dump();
}

std::string textField(const json& request, const char* name, bool required) {
    const auto it = request.find(name);
    if (it == request.end() || it->is_null()) {
        if (required) throw RequestError(400, std::string("the request lacks \"") + name + "\"");
        return "";
    }
    if (!it->is_string()) throw RequestError(400, std::string("\"") + name + "\" is not text");
    const std::string text = it->get<std::string>();
    if (text.size() > kMaxText) throw RequestError(400, std::string("\"") + name + "\" is too long");
    return text;
}

int64_t numberField(const json& request, const char* name, int64_t minimum, int64_t maximum,
                    int64_t fallback) {
    const auto it = request.find(name);
    if (it == request.end() || it->is_null()) return fallback;
    if (!it->is_number_integer())
        throw RequestError(400, std::string("\"") + name + "\" is not a whole number");
    const int64_t v = it->get<int64_t>();
    if (v < minimum || v > maximum)
        throw RequestError(400, std::string("\"") + name + "\" is out of range " +
                                    std::to_string(minimum) + ".." + std::to_string(maximum));
    return v;
}

void checkPattern(const std::string& text) {
    if (text.empty()) return;
    const std::string name = text.substr(0, text.find(':'));
    if (patterns::findPattern(name) == nullptr)
        throw RequestError(400, "\"" + name + "\" is not a built-in wipe pattern");
    for (char c : text)
        if (!std::isalnum(static_cast<unsigned char>(c)) && std::strchr(":=,-_", c) == nullptr)
            throw RequestError(400, "pattern " + text + ": unexpected character");
}

json parameterJson(const runtime::Parameter& p) {
    json j = {{"name", p.name}, {"kind", p.kindName()}, {"range", p.rangeText()},
              {"value", p.valueText()}, {"help", p.helpText()}};
    switch (p.kind()) {
        case PARAM_SLIDER: {
            const auto* s = reinterpret_cast<const SliderDescriptor*>(p.descriptor);
            j["min"] = s->minimum;
            j["max"] = s->maximum;
            j["default"] = s->value;
            j["unit"] = p.unitText();
            j["tenths"] =
                runtime::sliderUnit(s->head.textId).kind == runtime::SliderUnitKind::TenthDegrees;
            break;
        }
        case PARAM_CHOICE: {
            const auto* c = reinterpret_cast<const ChoiceDescriptor*>(p.descriptor);
            j["entries"] = p.entries();
            j["default"] = c->value;
            j["numbered"] = c->head.style == 1;
            break;
        }
        case PARAM_COLOUR: {
            const uint32_t w = reinterpret_cast<const ColourDescriptor*>(p.descriptor)->value;
            const uint8_t px[4] = {uint8_t(w), uint8_t(w >> 8), uint8_t(w >> 16),
                                   uint8_t(w >> 24)};
            uint8_t rgb[4];
            displayPixel(px, rgb);
            char buf[8];
            std::snprintf(buf, sizeof buf, "#%02x%02x%02x", rgb[0], rgb[1], rgb[2]);
            j["default"] = buf;
            break;
        }
        case PARAM_POSITION: {
            const auto* d = reinterpret_cast<const PositionDescriptor*>(p.descriptor);
            j["default"] = {d->posX, d->posY, d->areaWidth, d->areaHeight};
            j["sized"] = d->minWidth != d->maxWidth || d->minHeight != d->maxHeight;
            j["minSize"] = {d->minWidth, d->minHeight};
            j["maxSize"] = {d->maxWidth, d->maxHeight};
            break;
        }
        default: break;
    }
    return j;
}

State readState(const json& request) {
    State s;
    s.effect = textField(request, "effect", true);
    s.pattern = textField(request, "pattern", false);
    checkPattern(s.pattern);
    const auto sets = request.find("sets");
    if (sets != request.end() && !sets->is_null()) {
        if (!sets->is_array() || sets->size() > kMaxSets)
            throw RequestError(400, "\"sets\" is not a list of at most 64 assignments");
        for (const json& a : *sets) {
            if (!a.is_string() || a.get<std::string>().size() > kMaxText)
                throw RequestError(400, "\"sets\" holds something other than name=value text");
            s.sets.push_back(a.get<std::string>());
        }
    }
    const auto inputs = request.find("inputs");
    if (inputs != request.end() && !inputs->is_null()) {
        if (!inputs->is_array() || inputs->size() > 2)
            throw RequestError(400, "\"inputs\" is not a list of at most two clips");
        for (const json& i : *inputs) {
            if (!i.is_string() || i.get<std::string>().empty() || i.get<std::string>().size() > kMaxText)
                throw RequestError(400, "\"inputs\" holds something other than clip paths");
            s.inputs.push_back(i.get<std::string>());
        }
    }
    return s;
}

}  // namespace fieldfx::cli::backend
