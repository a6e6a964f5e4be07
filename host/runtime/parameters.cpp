#include "fieldfx/runtime/parameters.h"

#include <cctype>
#include <cstdio>

#include "fieldfx/services/backend.h"
#include "fieldfx/fieldio/ycbcr.h"
#include "fieldfx/runtime/catalogue.h"
#include "fieldfx/runtime/error.h"
#include "fieldfx/runtime/values.h"

namespace fieldfx::runtime {

namespace {

constexpr int kFormatterBuffer = 64;  // 16-bit characters handed to a formatter

std::string lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string toUtf8(const char16_t* s, int capacity) {
    std::string out;
    for (int i = 0; i < capacity && s[i] != 0; ++i) {
        const uint32_t c = s[i];
        if (c < 0x80) {
            out.push_back(char(c));
        } else if (c < 0x800) {
            out.push_back(char(0xC0 | c >> 6));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else {
            out.push_back(char(0xE0 | c >> 12));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::string tenthsAsDegrees(int32_t v) {
    const int32_t whole = v / 10, tenth = v % 10 < 0 ? -(v % 10) : v % 10;
    return std::string(v < 0 && whole == 0 ? "-" : "") + std::to_string(whole) + "." +
           std::to_string(tenth);
}

std::string byteHex(uint32_t word) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%02X%02X%02X%02X", word & 0xFF, word >> 8 & 0xFF,
                  word >> 16 & 0xFF, word >> 24);
    return buf;
}

}  // namespace

std::string formattedSliderValue(const SliderDescriptor& slider, int32_t value) {
    if (slider.formatter == nullptr) return "";
    char16_t buffer[kFormatterBuffer] = {};
    texthostSetBuffer(buffer, kFormatterBuffer);
    const int32_t n = slider.formatter(value, buffer);
    texthostSetBuffer(nullptr, 0);
    buffer[kFormatterBuffer - 1] = 0;
    return n < 0 ? "" : toUtf8(buffer, kFormatterBuffer);
}

const char* Parameter::kindName() const {
    switch (kind()) {
        case PARAM_CHOICE: return "choice";
        case PARAM_COLOUR: return "colour";
        case PARAM_SLIDER: return "slider";
        case PARAM_POSITION: return "position";
        default: return "group";
    }
}

std::vector<std::string> Parameter::entries() const {
    std::vector<std::string> out;
    if (kind() != PARAM_CHOICE) return out;
    const auto* c = reinterpret_cast<const ChoiceDescriptor*>(descriptor);
    for (const uint32_t* l = c->labels; *l != 0; ++l) {
        if (c->head.style == 1) {
            out.push_back(std::to_string(*l));
        } else {
            const char* t = catalogueText(*l);
            out.push_back(t ? t : "entry" + std::to_string(out.size()));
        }
    }
    return out;
}

std::string Parameter::rangeText() const {
    switch (kind()) {
        case PARAM_SLIDER: {
            const auto* s = reinterpret_cast<const SliderDescriptor*>(descriptor);
            std::string r = std::to_string(s->minimum) + ".." + std::to_string(s->maximum);
            if (sliderUnit(s->head.textId).kind == SliderUnitKind::TenthDegrees)
                r += " (degrees " + tenthsAsDegrees(s->minimum) + ".." +
                     tenthsAsDegrees(s->maximum) + " with a point or \"deg\")";
            return r;
        }
        case PARAM_CHOICE: {
            const std::vector<std::string> e = entries();
            const auto* c = reinterpret_cast<const ChoiceDescriptor*>(descriptor);
            std::string r = "0.." + std::to_string(e.size() - 1);
            if (c->head.style == 1) return r + " (entries " + e.front() + ".." + e.back() + ")";
            r += " or";
            for (std::size_t i = 0; i < e.size(); ++i) r += (i ? ", " : " ") + e[i];
            return r;
        }
        case PARAM_COLOUR: return "#RRGGBB, or 0x + pixel bytes (opacity, Cb, Cr, luma)";
        case PARAM_POSITION: {
            const auto* p = reinterpret_cast<const PositionDescriptor*>(descriptor);
            if (p->minWidth == p->maxWidth && p->minHeight == p->maxHeight)
                return "x,y (marker " + std::to_string(p->minWidth) + "x" +
                       std::to_string(p->minHeight) + ")";
            return "x,y or x,y,w,h (w " + std::to_string(p->minWidth) + ".." +
                   std::to_string(p->maxWidth) + ", h " + std::to_string(p->minHeight) + ".." +
                   std::to_string(p->maxHeight) + ")";
        }
        default: return "";
    }
}

std::string Parameter::valueText() const {
    switch (kind()) {
        case PARAM_SLIDER: {
            const auto* s = reinterpret_cast<const SliderDescriptor*>(descriptor);
            const std::string shown = formattedSliderValue(*s, s->value);
            return std::to_string(s->value) + (shown.empty() ? "" : " (" + shown + ")");
        }
        case PARAM_CHOICE: {
            const auto* c = reinterpret_cast<const ChoiceDescriptor*>(descriptor);
            const std::vector<std::string> e = entries();
            const std::string v = std::to_string(c->value);
            if (c->value >= e.size()) return v;
            return v + (c->head.style == 1 ? " (entry " + e[c->value] + ")" : " (" + e[c->value] + ")");
        }
        case PARAM_COLOUR: {
            const uint32_t w = reinterpret_cast<const ColourDescriptor*>(descriptor)->value;
            const uint8_t px[4] = {uint8_t(w), uint8_t(w >> 8), uint8_t(w >> 16), uint8_t(w >> 24)};
            double rgb[3];
            io::pixelToRgb(px, rgb);
            char buf[16];
            std::snprintf(buf, sizeof buf, "#%02X%02X%02X", io::quantise(rgb[0], 255),
                          io::quantise(rgb[1], 255), io::quantise(rgb[2], 255));
            return byteHex(w) + " (" + buf + ")";
        }
        case PARAM_POSITION: {
            const auto* p = reinterpret_cast<const PositionDescriptor*>(descriptor);
            std::string v = std::to_string(p->posX) + "," + std::to_string(p->posY);
            if (p->minWidth != p->maxWidth || p->minHeight != p->maxHeight)
                v += "," + std::to_string(p->areaWidth) + "," + std::to_string(p->areaHeight);
            return v;
        }
        default: return "";
    }
}

std::string Parameter::unitText() const {
    if (kind() != PARAM_SLIDER) return "";
    return sliderUnit(descriptor->textId).text;
}

std::string Parameter::helpText() const {
    if (kind() == PARAM_SLIDER) {
        const auto* s = reinterpret_cast<const SliderDescriptor*>(descriptor);
        const char* t = s->auxTextId != 0 ? catalogueText(s->auxTextId) : nullptr;
        return t ? t : "";
    }
    if (kind() == PARAM_POSITION)
        return "x in pixels right of, y in rows below the active rectangle's top-left corner";
    return "";
}

void Parameter::set(const std::string& text) {
    writeParameter(descriptor, parseParameterValue(*this, text));
}

ParameterSet::ParameterSet(const OperatorModule& module) : operator_(module.name()) {
    for (const ParamSlot& slot : module.description().params) {
        if (slot.descriptor->kind == PARAM_GROUP) continue;
        const char* label = catalogueText(slot.descriptor->textId);
        params_.push_back(Parameter{label ? label : "param" + std::to_string(slot.index),
                                    slot.index, slot.descriptor});
    }
}

Parameter* ParameterSet::find(const std::string& name) {
    for (Parameter& p : params_)
        if (lower(p.name) == lower(name)) return &p;
    return nullptr;
}

void ParameterSet::assign(const std::string& assignment) {
    const std::size_t eq = assignment.find('=');
    if (eq == std::string::npos || eq == 0)
        throw Error(ErrorKind::Usage, "--set " + assignment + ": expected name=value");
    const std::string name = assignment.substr(0, eq);
    Parameter* p = find(name);
    if (p == nullptr) {
        std::string known;
        for (const Parameter& q : params_) known += (known.empty() ? "" : ", ") + q.name;
        throw Error(ErrorKind::Usage,
                    operator_ + " has no parameter \"" + name + "\"; its parameters: " +
                        (known.empty() ? "(none)" : known));
    }
    p->set(assignment.substr(eq + 1));
}

}  // namespace fieldfx::runtime
