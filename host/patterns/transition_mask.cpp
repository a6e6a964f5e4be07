// The mask of a transition choice: a built-in pattern or a scaled mask file.
#include "fieldfx/patterns/patterns.h"
#include "fieldfx/patterns/transition_prefs.h"

namespace fieldfx {

bool renderTransition(const TransitionChoice& choice, int width, int height, uint8_t* out,
                      std::string* error) {
    if (choice.source == TransitionChoice::Source::File) {
        patterns::GrayImage image;
        return patterns::loadMaskFile(choice.path, image, error) &&
               patterns::scaleMask(image, choice.invert, width, height, out, error);
    }
    const patterns::Pattern* pattern = patterns::patternByNumber(choice.pattern);
    if (pattern == nullptr) {
        if (error) *error = "no built-in pattern " + std::to_string(choice.pattern);
        return false;
    }
    const std::span<const int32_t> values(choice.values.data(),
                                          static_cast<std::size_t>(pattern->settingCount));
    return patterns::renderPattern(*pattern, values, choice.invert, width, height, out, error);
}

}  // namespace fieldfx
