// The ordering key of every pixel of a built-in pattern (before ranking).
#ifndef FIELDFX_PATTERNS_SHAPES_H
#define FIELDFX_PATTERNS_SHAPES_H

#include <cstdint>

#include "fieldfx/patterns/patterns.h"

namespace fieldfx::patterns {

// Writes width x height keys, row by row; pixels with lower keys change over
// first, equal keys together. `values` holds every setting, in range.
// May throw std::bad_alloc.
void patternKeys(const Pattern& pattern, const int32_t* values, int width, int height,
                 double* keys);

}  // namespace fieldfx::patterns

#endif
