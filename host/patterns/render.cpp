// Drawing a built-in pattern: check the request, key every pixel, rank.
#include <new>
#include <vector>

#include "checks.h"
#include "fieldfx/patterns/patterns.h"
#include "rank.h"
#include "shapes.h"

namespace fieldfx::patterns {

bool checkMaskSize(int width, int height, std::string* error) {
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide)
        return fail(error, "mask size " + std::to_string(width) + "x" + std::to_string(height) +
                               " is outside 1..32767");
    if (int64_t(width) * height > kMaxPixels) return fail(error, "mask is too large");
    return true;
}

bool renderPattern(const Pattern& pattern, std::span<const int32_t> values, bool invert, int width,
                   int height, uint8_t* out, std::string* error) {
    if (values.size() > static_cast<std::size_t>(pattern.settingCount))
        return fail(error, std::string("too many settings for pattern ") + pattern.name);
    int32_t all[kMaxSettings] = {};
    for (int i = 0; i < pattern.settingCount; ++i) {
        const Setting& s = pattern.settings[i];
        all[i] = static_cast<std::size_t>(i) < values.size() ? values[i] : s.defaultValue;
        if (all[i] < s.minimum || all[i] > s.maximum)
            return fail(error, std::string(pattern.name) + ": " + s.name + " " +
                                   std::to_string(all[i]) + " is outside " +
                                   std::to_string(s.minimum) + ".." + std::to_string(s.maximum));
    }
    if (!checkMaskSize(width, height, error)) return false;
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    try {
        std::vector<double> keys(count);
        patternKeys(pattern, all, width, height, keys.data());
        rankKeys(keys.data(), count, out);
    } catch (const std::bad_alloc&) {
        return fail(error, "out of memory");
    }
    if (invert)
        for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<uint8_t>(255 - out[i]);
    return true;
}

}  // namespace fieldfx::patterns
