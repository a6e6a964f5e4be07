/* Building parameter descriptors, and reading their values safely. */
#ifndef FIELDFX_HELPERS_CONTRACT_PARAMS_H
#define FIELDFX_HELPERS_CONTRACT_PARAMS_H

#include <cstdint>

#include "fieldfx/operator.h"

namespace fieldfx {

// A slider. In style 0 its second text follows its label; the other styles
// carry none, and may show the value through `formatter`.
constexpr SliderDescriptor makeSlider(uint16_t textId, int32_t minimum, int32_t maximum,
                                      int32_t value, uint32_t style = 0,
                                      SliderFormatter formatter = nullptr) {
    return SliderDescriptor{{PARAM_SLIDER, textId, style},
                            style == 0 ? uint32_t(textId) + 1u : 0u,
                            formatter,
                            minimum,
                            maximum,
                            value};
}

constexpr ChoiceDescriptor makeChoice(uint16_t textId, const uint32_t* labels, uint32_t value,
                                      uint32_t style = 0) {
    return ChoiceDescriptor{{PARAM_CHOICE, textId, style}, labels, value};
}

constexpr ColourDescriptor makeColour(uint16_t textId, uint32_t value) {
    return ColourDescriptor{{PARAM_COLOUR, textId, 0}, value};
}

constexpr uint32_t kPositionStyle = 18;

// A fixed-size centre marker (10 x 5) at the given position.
constexpr PositionDescriptor makeCentreMarker(uint16_t textId, int16_t x, int16_t y) {
    return PositionDescriptor{{PARAM_POSITION, textId, kPositionStyle}, 10, 5, 10, 5, x, y, 10, 5};
}

constexpr GroupDescriptor makeGroup(uint16_t textId) {
    return GroupDescriptor{{PARAM_GROUP, textId, 0}};
}

// The descriptor is writable host memory: a value outside the declared range
// is clamped into it here, where operators read it.
inline int32_t sliderValue(const SliderDescriptor& d) {
    const int32_t v = d.value;
    if (v < d.minimum) return d.minimum;
    if (v > d.maximum) return d.maximum < d.minimum ? d.minimum : d.maximum;
    return v;
}

}  // namespace fieldfx

#endif
