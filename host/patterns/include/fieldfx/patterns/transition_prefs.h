/*
 * The transition preference block: the 112 bytes a pattern transition
 * (Telescope, Glide) keeps for the transhost, which chooses its wipe mask.
 *
 * Format, version 1 (multi-byte values little-endian):
 *
 *   offset size  field
 *   0      1     version: 1. A block of 112 zero bytes is the default
 *                transition (pattern 0, "wipe-right", not inverted).
 *   1      1     source: 0 built-in pattern, 1 mask file
 *   2      1     flags: bit 0 invert; the other bits are 0
 *   source 0 (built-in pattern):
 *   3      1     pattern number (fieldfx/patterns/patterns.h)
 *   4      32    eight int32 settings; the first settingCount are the
 *                pattern's settings in order, each within its range, the
 *                rest 0
 *   36     76    0
 *   source 1 (mask file):
 *   3      1     0
 *   4      108   the file's path, UTF-8, 1..107 bytes and a terminating 0;
 *                every byte after the terminator is 0
 *
 * Any other block (another version, an unknown source or pattern, a setting
 * out of range, a set reserved bit or byte, a path that is empty or not
 * terminated) is not valid; a block that is not valid is read as the default
 * transition. The block is written and read byte by byte, never through a
 * cast, so its alignment does not matter.
 */
#ifndef FIELDFX_SERVICES_TRANSITION_PREFS_H
#define FIELDFX_SERVICES_TRANSITION_PREFS_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace fieldfx {

inline constexpr std::size_t kTransitionPrefsSize = 112;
inline constexpr uint8_t kTransitionPrefsVersion = 1;
inline constexpr std::size_t kMaxMaskPathLength = 107;  // bytes, terminator not counted

// A decoded block.
struct TransitionChoice {
    enum class Source : uint8_t { Pattern = 0, File = 1 };

    Source source = Source::Pattern;
    uint8_t pattern = 0;              // built-in pattern number (Source::Pattern)
    std::array<int32_t, 8> values{};  // the pattern's settings; unused ones 0
    bool invert = false;
    std::string path;  // Source::File

    bool operator==(const TransitionChoice&) const = default;
};

// The default transition (what a zero block means).
TransitionChoice defaultTransition();

// Reads a block of kTransitionPrefsSize bytes (null: the default). Returns
// false for a block that is not valid; `choice` is then the default.
bool decodeTransitionPrefs(const void* block, TransitionChoice& choice);

// Writes `choice` as a version 1 block of kTransitionPrefsSize bytes. Fails
// (block untouched) when the choice cannot be stored validly.
bool encodeTransitionPrefs(const TransitionChoice& choice, void* block,
                           std::string* error = nullptr);

// A choice from a command-line style text: "NAME" or "NAME:key=value,..."
// names a built-in pattern (settings not given take their defaults; the key
// "invert" takes 0 or 1); any other text is the path of a mask file.
bool parseTransitionArgument(std::string_view text, TransitionChoice& choice,
                             std::string* error = nullptr);

// The text parseTransitionArgument reads back into `choice`: the pattern's
// name with every setting ("circle:cx=50,cy=50"), ",invert=1" / ":invert=1"
// when inverted; a file's path.
std::string describeTransition(const TransitionChoice& choice);

// Draws the mask of `choice` (pattern or file) into width x height bytes.
bool renderTransition(const TransitionChoice& choice, int width, int height, uint8_t* out,
                      std::string* error = nullptr);

}  // namespace fieldfx

#endif
