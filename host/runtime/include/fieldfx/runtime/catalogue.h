// The host's text catalogue: the English text behind every catalogue id the
// operators use (parameter labels, choice entries, the one-line help of each
// slider's second text), and the unit each slider's value is counted in.
#ifndef FIELDFX_RUNTIME_CATALOGUE_H
#define FIELDFX_RUNTIME_CATALOGUE_H

#include <cstdint>

namespace fieldfx::runtime {

// The text of a catalogue id, or null when the catalogue has none.
const char* catalogueText(uint32_t id);

enum class SliderUnitKind {
    Plain,        // an integer in the slider's range
    TenthDegrees  // tenths of a degree; degrees with a decimal point or "deg" accepted
};

struct SliderUnit {
    const char* text;  // e.g. "% of field height"
    SliderUnitKind kind;
};

// The unit of the slider labelled `textId` (its value's meaning); a plain
// unit named "" for sliders the catalogue does not know.
SliderUnit sliderUnit(uint32_t textId);

}  // namespace fieldfx::runtime

#endif
