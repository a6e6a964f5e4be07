// An operator's parameters by name: the catalogue label of each descriptor,
// values written from text with validation, and the texts `describe` shows.
//
// Value syntax per kind:
//   slider    an integer in the slider's range, in its own unit; an angle in
//             tenths of a degree also takes degrees: "1.5", "-0.5", "15deg"
//   choice    the 0-based value, or an entry's label ("Closing"); for a
//             choice of numbered entries (style 1) a number is the value
//   colour    #RRGGBB (converted to Y'CbCr, opaque), or 0x and eight hex
//             digits giving the pixel's bytes in memory order
//             (0xFF808010: opacity FF, Cb 80, Cr 80, luma 10)
//   position  x,y or x,y,w,h (w, h within the marker's size bounds)
// Names are case-insensitive; group headings are not parameters.
#ifndef FIELDFX_RUNTIME_PARAMETERS_H
#define FIELDFX_RUNTIME_PARAMETERS_H

#include <string>
#include <vector>

#include "fieldfx/operator.h"
#include "fieldfx/runtime/module.h"

namespace fieldfx::runtime {

struct Parameter {
    std::string name;  // catalogue label, or "paramN" without one
    int index;         // 1-based tag index
    ParamDescriptor* descriptor;

    uint16_t kind() const { return descriptor->kind; }
    const char* kindName() const;
    std::vector<std::string> entries() const;  // choice entry labels
    std::string rangeText() const;             // what values are allowed
    std::string valueText() const;             // the current value
    std::string unitText() const;              // sliders: the unit
    std::string helpText() const;              // sliders: the second text
    // Writes `text` (read by parseParameterValue, values.h) into the
    // descriptor; throws Error(Usage) naming the parameter, the value and
    // the allowed range.
    void set(const std::string& text);
};

class ParameterSet {
public:
    explicit ParameterSet(const OperatorModule& module);

    const std::vector<Parameter>& all() const { return params_; }
    Parameter* find(const std::string& name);
    // "name=value"; an unknown name is an error that lists the parameters.
    void assign(const std::string& assignment);

private:
    std::string operator_;
    std::vector<Parameter> params_;
};

// The text a slider formatter writes for `value`, or "" (no formatter, or
// it wrote nothing).
std::string formattedSliderValue(const SliderDescriptor& slider, int32_t value);

}  // namespace fieldfx::runtime

#endif
