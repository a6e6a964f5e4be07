// The transition preference block: reading, writing, and the text form.
#include "fieldfx/patterns/transition_prefs.h"

#include <charconv>
#include <cstring>

#include "fieldfx/patterns/patterns.h"

namespace fieldfx {
namespace {

using patterns::Pattern;

enum Offset : std::size_t { kVersion = 0, kSource = 1, kFlags = 2, kPattern = 3, kBody = 4 };
constexpr uint8_t kInvert = 1;
constexpr std::size_t kSettingsEnd = kBody + 4 * 8;

bool fail(std::string* error, const std::string& text) {
    if (error) *error = text;
    return false;
}

int32_t readInt32(const uint8_t* p) {
    return static_cast<int32_t>(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                                uint32_t(p[3]) << 24);
}

void writeInt32(uint8_t* p, int32_t v) {
    const auto u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(u >> (8 * i));
}

bool allZero(const uint8_t* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        if (p[i] != 0) return false;
    return true;
}

// The choice's settings are valid for its pattern (in range, unused ones 0).
bool checkValues(const Pattern& pattern, const std::array<int32_t, 8>& values, std::string* error) {
    for (int i = 0; i < 8; ++i) {
        if (i >= pattern.settingCount) {
            if (values[i] != 0)
                return fail(error,
                            std::string(pattern.name) + " has no setting " + std::to_string(i + 1));
            continue;
        }
        const patterns::Setting& s = pattern.settings[i];
        if (values[i] < s.minimum || values[i] > s.maximum)
            return fail(error, std::string(pattern.name) + ": " + s.name + " " +
                                   std::to_string(values[i]) + " is outside " +
                                   std::to_string(s.minimum) + ".." + std::to_string(s.maximum));
    }
    return true;
}

bool decodeValid(const uint8_t* b, TransitionChoice& c) {
    if (b[kVersion] == 0) return allZero(b, kTransitionPrefsSize);
    if (b[kVersion] != kTransitionPrefsVersion || (b[kFlags] & ~kInvert) != 0) return false;
    c.invert = (b[kFlags] & kInvert) != 0;
    if (b[kSource] == uint8_t(TransitionChoice::Source::Pattern)) {
        const Pattern* pattern = patterns::patternByNumber(b[kPattern]);
        if (pattern == nullptr) return false;
        c.source = TransitionChoice::Source::Pattern;
        c.pattern = b[kPattern];
        for (int i = 0; i < 8; ++i) c.values[i] = readInt32(b + kBody + 4 * i);
        return checkValues(*pattern, c.values, nullptr) &&
               allZero(b + kSettingsEnd, kTransitionPrefsSize - kSettingsEnd);
    }
    if (b[kSource] == uint8_t(TransitionChoice::Source::File)) {
        if (b[kPattern] != 0) return false;
        const auto* path = reinterpret_cast<const char*>(b + kBody);
        const std::size_t room = kTransitionPrefsSize - kBody;
        const void* nul = std::memchr(path, 0, room);
        const std::size_t length = nul ? std::size_t(static_cast<const char*>(nul) - path) : room;
        if (length == 0 || length == room) return false;  // empty, or not terminated
        if (!allZero(b + kBody + length, room - length)) return false;
        c.source = TransitionChoice::Source::File;
        c.path.assign(path, length);
        return true;
    }
    return false;
}

}  // namespace

TransitionChoice defaultTransition() { return TransitionChoice{}; }

bool decodeTransitionPrefs(const void* block, TransitionChoice& choice) {
    choice = defaultTransition();
    if (block == nullptr) return true;
    TransitionChoice read;
    if (!decodeValid(static_cast<const uint8_t*>(block), read)) return false;
    choice = std::move(read);
    return true;
}

bool encodeTransitionPrefs(const TransitionChoice& choice, void* block, std::string* error) {
    uint8_t b[kTransitionPrefsSize] = {};
    b[kVersion] = kTransitionPrefsVersion;
    b[kSource] = uint8_t(choice.source);
    b[kFlags] = choice.invert ? kInvert : 0;
    if (choice.source == TransitionChoice::Source::Pattern) {
        const Pattern* pattern = patterns::patternByNumber(choice.pattern);
        if (pattern == nullptr)
            return fail(error, "no built-in pattern " + std::to_string(choice.pattern));
        if (!checkValues(*pattern, choice.values, error)) return false;
        b[kPattern] = choice.pattern;
        for (int i = 0; i < 8; ++i) writeInt32(b + kBody + 4 * i, choice.values[i]);
    } else if (choice.source == TransitionChoice::Source::File) {
        const std::string& path = choice.path;
        if (path.empty()) return fail(error, "mask file path is empty");
        if (path.size() > kMaxMaskPathLength)
            return fail(error, "mask file path is longer than " +
                                   std::to_string(kMaxMaskPathLength) + " bytes: " + path);
        if (path.find('\0') != std::string::npos) return fail(error, "mask file path holds a NUL");
        std::memcpy(b + kBody, path.data(), path.size());
    } else {
        return fail(error, "unknown transition source");
    }
    std::memcpy(block, b, sizeof b);
    return true;
}

bool parseTransitionArgument(std::string_view text, TransitionChoice& choice, std::string* error) {
    const std::size_t colon = text.find(':');
    const std::string_view name = text.substr(0, colon);
    const Pattern* pattern = patterns::findPattern(name);
    if (pattern == nullptr) {
        if (text.empty()) return fail(error, "no pattern or mask file named");
        TransitionChoice file;
        file.source = TransitionChoice::Source::File;
        file.path = std::string(text);
        std::string why;
        uint8_t probe[kTransitionPrefsSize];
        if (!encodeTransitionPrefs(file, probe, &why))
            return fail(error, "'" + std::string(text) +
                                   "' is no built-in pattern; as a mask file: " + why);
        choice = std::move(file);
        return true;
    }
    TransitionChoice c;
    c.pattern = pattern->number;
    for (int i = 0; i < pattern->settingCount; ++i) c.values[i] = pattern->settings[i].defaultValue;
    // After a colon: one or more key=value items separated by commas.
    bool more = colon != std::string_view::npos;
    std::string_view rest = more ? text.substr(colon + 1) : std::string_view();
    while (more) {
        const std::size_t comma = rest.find(',');
        const std::string_view item = rest.substr(0, comma);
        more = comma != std::string_view::npos;
        if (more) rest = rest.substr(comma + 1);
        const std::size_t equals = item.find('=');
        if (equals == std::string_view::npos)
            return fail(error, "expected key=value, got '" + std::string(item) + "'");
        const std::string_view key = item.substr(0, equals), value = item.substr(equals + 1);
        int32_t v = 0;
        const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), v);
        if (ec != std::errc() || end != value.data() + value.size() || value.empty())
            return fail(error, "'" + std::string(value) + "' is not a whole number");
        if (key == "invert") {
            if (v != 0 && v != 1) return fail(error, "invert takes 0 or 1");
            c.invert = v == 1;
            continue;
        }
        const int index = patterns::settingIndex(*pattern, key);
        if (index < 0)
            return fail(error,
                        std::string(pattern->name) + " has no setting '" + std::string(key) + "'");
        c.values[index] = v;
    }
    if (!checkValues(*pattern, c.values, error)) return false;
    choice = std::move(c);
    return true;
}

std::string describeTransition(const TransitionChoice& choice) {
    if (choice.source == TransitionChoice::Source::File) return choice.path;
    const Pattern* pattern = patterns::patternByNumber(choice.pattern);
    if (pattern == nullptr) return "?";
    std::string text = pattern->name;
    char separator = ':';
    for (int i = 0; i < pattern->settingCount; ++i) {
        text += separator;
        text += pattern->settings[i].name;
        text += '=';
        text += std::to_string(choice.values[i]);
        separator = ',';
    }
    if (choice.invert) {
        text += separator;
        text += "invert=1";
    }
    return text;
}

}  // namespace fieldfx
