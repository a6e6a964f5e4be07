// The frei0r face of an operator's parameters. Every parameter of the
// operator appears under its catalogue name with its one-line help, in
// frei0r's conventions:
//   slider    a double, 0..1 spread linearly over the slider's range (the
//             unit and range are in the explanation), rounded to its steps
//   choice    a string: an entry's name or its 0-based number
//   colour    a colour (r, g, b in 0..1), opaque
//   position  two doubles "<name> X" and "<name> Y", fractions of the
//             field's width and height (MLT's bridge passes no positions)
// After them come the adapter's own: the field order and the pixel aspect,
// and for transitions the progress and the length in frames.
#ifndef FIELDFX_FREI0R_PLUGIN_PARAMS_H
#define FIELDFX_FREI0R_PLUGIN_PARAMS_H

#include <string>
#include <vector>

#include "fieldfx/runtime/module.h"

namespace fieldfx::frei0r {

enum class Role {
    Slider,
    Choice,
    Colour,
    PositionX,
    PositionY,
    FieldOrder,
    PixelAspect,
    Progress,
    Length
};

struct PluginParam {
    std::string name, explanation;
    int type;       // F0R_PARAM_*
    Role role;
    int operand;    // the operator parameter's place in the description, -1 for the adapter's
};

std::vector<PluginParam> pluginParams(const runtime::OperatorModule& module);

// The adapter's own settings with their scales. Progress and length are read
// by transitions only.
enum class FieldOrder { TopFirst, BottomFirst, Progressive };
constexpr double kPixelAspectScale = 2000.0;  // 0.5 is 1000, square pixels
constexpr double kLengthScale = 1000.0;       // 0.025 is 25 frames

}  // namespace fieldfx::frei0r

#endif
