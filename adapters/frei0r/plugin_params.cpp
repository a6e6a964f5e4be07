#include "plugin_params.h"

#include <frei0r.h>

#include "fieldfx/runtime/parameters.h"

namespace fieldfx::frei0r {

namespace {

std::string sentence(const std::string& help) { return help.empty() ? "" : help + "; "; }

}  // namespace

std::vector<PluginParam> pluginParams(const runtime::OperatorModule& module) {
    std::vector<PluginParam> out;
    runtime::ParameterSet set(module);
    const auto& slots = module.description().params;
    for (const runtime::Parameter& p : set.all()) {
        int operand = 0;
        while (slots[operand].index != p.index) ++operand;
        switch (p.kind()) {
            case PARAM_SLIDER: {
                const std::string unit = p.unitText();
                out.push_back({p.name,
                               sentence(p.helpText()) + (unit.empty() ? "" : unit + ", ") +
                                   p.rangeText() + " as 0..1",
                               F0R_PARAM_DOUBLE, Role::Slider, operand});
                break;
            }
            case PARAM_CHOICE:
                out.push_back({p.name, "one of " + p.rangeText(), F0R_PARAM_STRING, Role::Choice,
                               operand});
                break;
            case PARAM_COLOUR:
                out.push_back({p.name, "the colour, opaque", F0R_PARAM_COLOR, Role::Colour,
                               operand});
                break;
            case PARAM_POSITION:
                out.push_back({p.name + " X", "x as a fraction of the field's width",
                               F0R_PARAM_DOUBLE, Role::PositionX, operand});
                out.push_back({p.name + " Y", "y as a fraction of the field's height",
                               F0R_PARAM_DOUBLE, Role::PositionY, operand});
                break;
            default: break;
        }
    }
    out.push_back({"Field order",
                   "tff (top field first, the default), bff (bottom field first) or progressive "
                   "(even lines, then odd lines, as tff)",
                   F0R_PARAM_STRING, Role::FieldOrder, -1});
    out.push_back({"Pixel aspect",
                   "pixel width to height in thousandths, 0..2000 as 0..1 (0.5: 1000, square)",
                   F0R_PARAM_DOUBLE, Role::PixelAspect, -1});
    if (!module.isFilter()) {
        out.push_back({"Progress",
                       "how far the transition is, 0 (the outgoing clip) to 1 (the incoming); "
                       "animate it, e.g. progress=\"0=0;-1=1\" in melt",
                       F0R_PARAM_DOUBLE, Role::Progress, -1});
        out.push_back({"Length",
                       "the transition's length in frames, 0..1000 as 0..1 (0.025: 25 frames); "
                       "it spaces the fields in time",
                       F0R_PARAM_DOUBLE, Role::Length, -1});
    }
    return out;
}

}  // namespace fieldfx::frei0r
