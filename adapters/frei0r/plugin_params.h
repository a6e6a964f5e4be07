// The frei0r face of an operator's parameters, in the form editors show:
// every value is a double in 0..1 (or a frei0r colour), and the default of
// each lies inside 0..1 at every frame size.
//   slider    0..1 spread linearly from the smaller of 0 and the slider's
//             minimum to its maximum, rounded to its steps and kept within
//             the range, so an editor shows the unit as the value times a
//             factor (Drunken's Samples 2..6: 0.5 is 3); the unit and range
//             are in the explanation
//   choice    stepped: entry i of n is i / (n - 1), a value goes to the
//             nearest entry; the entries are named in the explanation
//   colour    a frei0r colour, opaque
//   position  "<name> X" and "<name> Y", fractions of the active area's
//             width and height (the whole frame unless set), and for a
//             sizeable marker "<name> width" and "<name> height". Defaults:
//             the operator's own default in the 640 x 280 field it was laid
//             out for (320, 140 is its middle), so a centre sits in the
//             middle of any frame and an area keeps its place and share.
// After the operator's come the adapter's own: for Telescope and Glide the
// wipe pattern and its settings; the active area; the field order, pixel
// aspect and frame rate; for transitions the progress, length and MLT's in
// and out.
#ifndef FIELDFX_FREI0R_PLUGIN_PARAMS_H
#define FIELDFX_FREI0R_PLUGIN_PARAMS_H

#include <string>
#include <vector>

#include "fieldfx/runtime/module.h"
#include "fieldfx/runtime/values.h"

namespace fieldfx::frei0r {

enum class Role {
    Slider,
    Choice,
    Colour,
    PositionX,
    PositionY,
    AreaWidth,
    AreaHeight,
    Pattern,
    PatternInvert,
    PatternSetting,
    ActiveX,
    ActiveY,
    ActiveWidth,
    ActiveHeight,
    FieldOrder,
    PixelAspect,
    FrameRate,
    Progress,
    Length,
    In,
    Out
};

struct PluginParam {
    std::string name, explanation;
    int type;       // F0R_PARAM_*
    Role role;
    int operand;    // the operator parameter's place in the description, or
                    // the pattern setting's index; -1 for the adapter's own
    double defaultValue;             // what a new instance reads back
    std::vector<std::string> entries;  // choices: the entries' names
};

std::vector<PluginParam> pluginParams(const runtime::OperatorModule& module);

// The operators' defaults are laid out in a field of this size.
constexpr double kDesignWidth = 640.0, kDesignHeight = 280.0;

// The adapter's own settings with their scales; the field order's entries
// are runtime::Scan's, in its order.
constexpr double kPixelAspectScale = 2000.0;  // 0.5 is 1000, square pixels
constexpr double kLengthScale = 1000.0;       // 0.025 is 25 frames
constexpr double kFrameRateScale = 1000.0;    // 0.025 is 25 frames/s

// Where a slider's 0 lies: 0, or its minimum when that is negative.
inline double sliderBase(double minimum) { return minimum < 0.0 ? minimum : 0.0; }

// The entry a stepped value chooses among `count`.
int choiceEntry(double value, int count);
double choiceValue(int entry, int count);

// Each operator in one sentence, for a plug-in's explanation.
std::string operatorSummary(const std::string& name);

}  // namespace fieldfx::frei0r

#endif
