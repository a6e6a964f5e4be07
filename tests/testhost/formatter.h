/*
 * Calling text formatters the way a host does: with a buffer of a known size
 * registered with the texthost, guarded so that a write past it is seen.
 */
#ifndef FIELDFX_TESTHOST_FORMATTER_H
#define FIELDFX_TESTHOST_FORMATTER_H

#include <cstdint>
#include <functional>
#include <string>

#include "fieldfx/operator.h"

namespace testhost {

struct FormattedText {
    int32_t result = 0;       // what the formatter (or sxprintf) returned
    std::u16string text;      // the characters from `offset` up to the terminator
    bool terminated = false;  // a terminator follows them inside the buffer
    bool untouched = true;    // nothing before `offset` or past the buffer was written

    std::string utf8() const;
};

// Runs `write` on a buffer of `capacity` characters registered with the
// texthost; `write` receives the address of its character `offset`, which may
// lie up to 16 characters before or past the buffer (to see that nothing is
// written then; the text is then empty).
FormattedText formatInBuffer(int32_t capacity, const std::function<int32_t(char16_t*)>& write,
                             int32_t offset = 0);

// The slider's formatter for `value`, as a host displays it.
FormattedText formatSliderValue(const SliderDescriptor& slider, int32_t value,
                                int32_t capacity = 64);

std::string toUtf8(const std::u16string& text);

}  // namespace testhost

#endif
