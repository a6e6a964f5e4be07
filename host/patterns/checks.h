// Failure reporting and size checks shared by the pattern library's files.
#ifndef FIELDFX_PATTERNS_CHECKS_H
#define FIELDFX_PATTERNS_CHECKS_H

#include <string>

namespace fieldfx::patterns {

// Stores `text` as the reason (when asked for) and returns false.
inline bool fail(std::string* error, const std::string& text) {
    if (error) *error = text;
    return false;
}

// A mask of width x height is within kMaxSide and kMaxPixels.
bool checkMaskSize(int width, int height, std::string* error);

}  // namespace fieldfx::patterns

#endif
