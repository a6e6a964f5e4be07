// Spreads ordering keys evenly over the 256 mask values.
#ifndef FIELDFX_PATTERNS_RANK_H
#define FIELDFX_PATTERNS_RANK_H

#include <cstddef>
#include <cstdint>

namespace fieldfx::patterns {

// Sorts the `count` keys; a run of equal keys starting at rank `first` gets
// min(255, first x 256 / (count - length of the last run)): the first run 0,
// the last 255, and every value count / 256 pixels give or take one run.
// When all keys are equal every pixel gets 128. May throw std::bad_alloc.
void rankKeys(const double* keys, std::size_t count, uint8_t* out);

}  // namespace fieldfx::patterns

#endif
