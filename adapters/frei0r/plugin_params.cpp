#include "plugin_params.h"

#include <frei0r.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

#include "fieldfx/runtime/parameters.h"
#include "fieldfx/patterns/patterns.h"

namespace fieldfx::frei0r {

namespace {

// Glide's eight directions (the operator's entries are the numbers 1..8):
// where the outgoing picture moves as it dissolves.
const char* const kGlideDirections[] = {"Up",   "Up and right",  "Right", "Down and right",
                                        "Down", "Down and left", "Left",  "Up and left"};

std::string joined(const std::vector<std::string>& entries) {
    std::string t;
    for (const std::string& e : entries) t += (t.empty() ? "" : ", ") + e;
    return t;
}

std::string choiceText(const std::string& what, const std::vector<std::string>& entries) {
    return what + "; one of " + std::to_string(entries.size()) + " entries, 0..1 in steps of 1/" +
           std::to_string(entries.size() - 1) + ": " + joined(entries);
}

std::string rangeText(double minimum, double maximum, const std::string& unit) {
    auto number = [](double v) {
        char b[32];
        std::snprintf(b, sizeof b, v == std::floor(v) ? "%.0f" : "%g", v);
        return std::string(b);
    };
    const double base = sliderBase(minimum);
    return (unit.empty() ? "" : unit + ", ") + number(minimum) + ".." + number(maximum) +
           (base == minimum ? " as 0..1" : " (0..1 as " + number(base) + ".." + number(maximum) + ")");
}

double fraction(double v, double minimum, double maximum) {
    const double base = sliderBase(minimum);
    return maximum > base ? (v - base) / (maximum - base) : 0.0;
}

PluginParam choice(const std::string& name, const std::string& what,
                   std::vector<std::string> entries, Role role, int operand, int entry) {
    PluginParam p{name, choiceText(what, entries), F0R_PARAM_DOUBLE, role, operand,
                  choiceValue(entry, int(entries.size())), std::move(entries)};
    return p;
}

}  // namespace

int choiceEntry(double value, int count) {
    if (count <= 1 || !(value == value)) return 0;
    return int(std::lround(std::clamp(value, 0.0, 1.0) * (count - 1)));
}

double choiceValue(int entry, int count) { return count <= 1 ? 0.0 : double(entry) / (count - 1); }

std::string operatorSummary(const std::string& name) {
    static const std::pair<const char*, const char*> kSummaries[] = {
        {"Matte", "Blackens everything outside the active area"},
        {"Smudge", "Blurs an elliptical spot with a soft edge"},
        {"Heatwave", "Makes a rectangle of the picture shimmer as in rising heat"},
        {"Drunken", "Averages copies of the picture taken on an ellipse that turns over time"},
        {"Standbild", "Shakes the picture along eased random targets, with optional luma noise"},
        {"Tunnel", "Streaks the picture radially outside a disc"},
        {"Swivel", "Rotates the picture"},
        {"Widescreen", "Squeezes or stretches the picture between 4:3 and 16:9 letterbox"},
        {"Flicker", "Alternates the two clips in blocks of frames"},
        {"Iris", "Wipes through a circle that opens from or closes onto a centre, with a soft edge"},
        {"Burrow", "A tunnel that opens into the incoming clip or closes onto it"},
        {"Telescope", "A pattern wipe whose soft band magnifies the outgoing picture"},
        {"Glide", "A pattern wipe whose soft band slides the outgoing picture away"},
    };
    for (const auto& [n, s] : kSummaries)
        if (name == n) return s;
    return name;
}

std::vector<PluginParam> pluginParams(const runtime::OperatorModule& module) {
    std::vector<PluginParam> out;
    runtime::ParameterSet set(module);
    const auto& slots = module.description().params;
    for (const runtime::Parameter& p : set.all()) {
        int operand = 0;
        while (slots[operand].index != p.index) ++operand;
        switch (p.kind()) {
            case PARAM_SLIDER: {
                const auto* s = reinterpret_cast<const SliderDescriptor*>(p.descriptor);
                const std::string help = p.helpText();
                out.push_back({p.name,
                               (help.empty() ? "" : help + "; ") +
                                   rangeText(s->minimum, s->maximum, p.unitText()),
                               F0R_PARAM_DOUBLE, Role::Slider, operand,
                               fraction(s->value, s->minimum, s->maximum),
                               {}});
                break;
            }
            case PARAM_CHOICE: {
                const auto* c = reinterpret_cast<const ChoiceDescriptor*>(p.descriptor);
                std::vector<std::string> entries = p.entries();
                if (module.name() == "Glide" && p.name == "Direction")
                    entries.assign(std::begin(kGlideDirections), std::end(kGlideDirections));
                out.push_back(choice(p.name, p.name, entries, Role::Choice, operand,
                                     int(std::min<std::size_t>(c->value, entries.size() - 1))));
                break;
            }
            case PARAM_COLOUR:
                out.push_back({p.name, p.name + " (opaque)", F0R_PARAM_COLOR, Role::Colour, operand,
                               0.0, {}});
                break;
            case PARAM_POSITION: {
                const auto* d = reinterpret_cast<const PositionDescriptor*>(p.descriptor);
                out.push_back({p.name + " X",
                               p.name + ": x as a fraction of the active area's width (0.5: the "
                                        "middle)",
                               F0R_PARAM_DOUBLE, Role::PositionX, operand,
                               std::clamp(d->posX / kDesignWidth, 0.0, 1.0), {}});
                out.push_back({p.name + " Y",
                               p.name + ": y as a fraction of the active area's height (0.5: the "
                                        "middle)",
                               F0R_PARAM_DOUBLE, Role::PositionY, operand,
                               std::clamp(d->posY / kDesignHeight, 0.0, 1.0), {}});
                if (d->minWidth != d->maxWidth || d->minHeight != d->maxHeight) {
                    out.push_back({p.name + " width",
                                   p.name + ": width as a fraction of the active area's width",
                                   F0R_PARAM_DOUBLE, Role::AreaWidth, operand,
                                   std::clamp(d->areaWidth / kDesignWidth, 0.0, 1.0), {}});
                    out.push_back({p.name + " height",
                                   p.name + ": height as a fraction of the active area's height",
                                   F0R_PARAM_DOUBLE, Role::AreaHeight, operand,
                                   std::clamp(d->areaHeight / kDesignHeight, 0.0, 1.0), {}});
                }
                break;
            }
            default: break;
        }
    }
    if (module.description().prefs != nullptr) {
        std::vector<std::string> names;
        for (const patterns::Pattern& pt : patterns::builtinPatterns()) names.push_back(pt.name);
        out.push_back(choice("Pattern", "The wipe pattern: the order in which pixels change over",
                             names, Role::Pattern, -1, patterns::defaultPattern().number));
        out.push_back(choice("Invert pattern", "Whether the pattern runs the other way round",
                             {"No", "Yes"}, Role::PatternInvert, -1, 0));
        // Every setting some pattern has, once by its name; a pattern reads
        // the ones it has.
        std::set<std::string> seen;
        for (const patterns::Pattern& pt : patterns::builtinPatterns())
            for (const patterns::Setting& st : pt.settingList()) {
                if (!seen.insert(st.name).second) continue;
                out.push_back({std::string("Pattern ") + st.name,
                               std::string(st.description) + "; " +
                                   rangeText(st.minimum, st.maximum, ""),
                               F0R_PARAM_DOUBLE, Role::PatternSetting,
                               patterns::settingIndex(pt, st.name),
                               fraction(st.defaultValue, st.minimum, st.maximum),
                               {st.name}});
            }
    }
    for (const auto& [name, role, value] :
         {std::tuple{"Active X", Role::ActiveX, 0.0}, std::tuple{"Active Y", Role::ActiveY, 0.0},
          std::tuple{"Active width", Role::ActiveWidth, 1.0},
          std::tuple{"Active height", Role::ActiveHeight, 1.0}})
        out.push_back({name,
                       std::string("The active (picture) area the effect works in, as a fraction "
                                   "of the frame: ") +
                           (role == Role::ActiveX        ? "left edge"
                            : role == Role::ActiveY      ? "top edge"
                            : role == Role::ActiveWidth  ? "width"
                                                         : "height"),
                       F0R_PARAM_DOUBLE, role, -1, value, {}});
    out.push_back(choice("Field order",
                         "How the frame's lines make the two fields; progressive frames are "
                         "split as top field first",
                         {runtime::scanLabel(runtime::Scan::TopFirst),
                          runtime::scanLabel(runtime::Scan::BottomFirst),
                          runtime::scanLabel(runtime::Scan::Progressive)},
                         Role::FieldOrder, -1, 0));
    out.push_back({"Pixel aspect",
                   "Pixel width to height in thousandths; " +
                       rangeText(0, kPixelAspectScale, "thousandths") + " (0.5: square)",
                   F0R_PARAM_DOUBLE, Role::PixelAspect, -1, 0.5, {}});
    out.push_back({"Frame rate",
                   "The clip's frames per second, to count frames from the host's time; " +
                       rangeText(0, kFrameRateScale, "frames per second") + " (0.025: 25)",
                   F0R_PARAM_DOUBLE, Role::FrameRate, -1, 0.025, {}});
    if (!module.isFilter()) {
        out.push_back({"Progress",
                       "How far the transition is, 0 (the outgoing clip) to 1 (the incoming); "
                       "left alone, the transition runs over its length by itself",
                       F0R_PARAM_DOUBLE, Role::Progress, -1, 0.0, {}});
        out.push_back({"Length",
                       "The transition's length in frames where the host gives none; " +
                           rangeText(0, kLengthScale, "frames") + " (0.025: 25)",
                       F0R_PARAM_DOUBLE, Role::Length, -1, 0.025, {}});
        out.push_back({"in", "The transition's first frame, as MLT sets it", F0R_PARAM_DOUBLE,
                       Role::In, -1, 0.0, {}});
        out.push_back({"out", "The transition's last frame, as MLT sets it", F0R_PARAM_DOUBLE,
                       Role::Out, -1, 0.0, {}});
    }
    return out;
}

}  // namespace fieldfx::frei0r
