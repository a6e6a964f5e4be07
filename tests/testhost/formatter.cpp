#include "formatter.h"

#include <stdexcept>
#include <vector>

#include "fieldfx/services/backend.h"

namespace testhost {

namespace {
constexpr char16_t kUnwritten = u'\xA5A5';
constexpr int32_t kGuard = 16;  // characters watched on either side
}  // namespace

std::string toUtf8(const std::u16string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (uint32_t(text[++i]) - 0xDC00);
        }
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string FormattedText::utf8() const { return toUtf8(text); }

FormattedText formatInBuffer(int32_t capacity, const std::function<int32_t(char16_t*)>& write,
                             int32_t offset) {
    if (capacity < 0 || offset < -kGuard || offset > capacity + kGuard)
        throw std::invalid_argument("capacity or offset out of range");
    std::vector<char16_t> storage(std::size_t(capacity) + 2 * kGuard, kUnwritten);
    char16_t* buffer = storage.data() + kGuard;
    texthostSetBuffer(buffer, capacity);
    FormattedText out;
    out.result = write(buffer + offset);
    texthostSetBuffer(nullptr, 0);

    for (int32_t i = offset < 0 ? capacity : offset; i < capacity; ++i) {
        if (buffer[i] == u'\0') {
            out.terminated = true;
            break;
        }
        out.text += buffer[i];
    }
    // Everything outside buffer[offset .. capacity - 1] keeps its fill.
    for (std::size_t i = 0; i < storage.size(); ++i) {
        const bool writable =
            int64_t(i) >= int64_t(kGuard) + offset && i < std::size_t(kGuard + capacity);
        if (!writable && storage[i] != kUnwritten) out.untouched = false;
    }
    return out;
}

FormattedText formatSliderValue(const SliderDescriptor& slider, int32_t value, int32_t capacity) {
    if (slider.formatter == nullptr) throw std::runtime_error("slider has no formatter");
    return formatInBuffer(capacity, [&](char16_t* b) { return slider.formatter(value, b); });
}

}  // namespace testhost
