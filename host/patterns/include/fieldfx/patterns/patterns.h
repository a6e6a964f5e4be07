/*
 * Wipe patterns: the masks that order the pixels of a pattern transition.
 *
 * A mask holds one byte a pixel; low values change over first. Every built-in
 * pattern is drawn in two steps: a shape gives each pixel an ordering key
 * (the distance from a centre, an angle, a column ...), then the keys are
 * ranked and the ranks spread evenly over 0..255. So every pattern at any
 * size spans 0..255 with a near-uniform histogram (a wipe advances by the
 * same area every field), and pixels with equal keys share one value. All
 * arithmetic is integer or plain IEEE double (no library transcendental), so
 * a mask is the same on every platform.
 *
 * Mask files: 8- or 16-bit binary PGM (P5) and, where the library was built
 * with libpng, PNG of any kind (colour is converted to grey, alpha dropped).
 * A file is scaled to the wanted size with a tent filter (bilinear when
 * enlarging, averaging when reducing).
 *
 * Drawing, loading and scaling never throw: failures return false with a
 * reason.
 */
#ifndef FIELDFX_SERVICES_PATTERNS_H
#define FIELDFX_SERVICES_PATTERNS_H

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace fieldfx::patterns {

// Most settings a pattern has.
inline constexpr int kMaxSettings = 8;
// Largest width or height of a mask (FieldImage sizes are 16-bit).
inline constexpr int kMaxSide = 32767;
// Most pixels of one mask.
inline constexpr int64_t kMaxPixels = int64_t(1) << 26;

struct Setting {
    const char* name;  // e.g. "count"; unique within its pattern
    const char* description;
    int32_t minimum;
    int32_t maximum;
    int32_t defaultValue;
};

struct Pattern {
    uint8_t number;  // stable: stored in transition preference blocks
    const char* name;
    const char* description;
    const Setting* settings;
    int settingCount;

    std::span<const Setting> settingList() const {
        return {settings, static_cast<std::size_t>(settingCount)};
    }
};

// Every built-in pattern, in number order (numbers 0, 1, 2, ... without gaps).
std::span<const Pattern> builtinPatterns();
// The pattern called `name`, or null.
const Pattern* findPattern(std::string_view name);
// The pattern with `number`, or null.
const Pattern* patternByNumber(int number);
// The pattern of an all-default transition: "wipe-right".
const Pattern& defaultPattern();
// Index of `pattern`'s setting called `name`, or -1.
int settingIndex(const Pattern& pattern, std::string_view name);
// The default value of each setting, in order.
std::vector<int32_t> defaultValues(const Pattern& pattern);

// Draws `pattern` into `out` (width x height bytes, rows of `width` bytes).
// `values` gives the settings in order; missing trailing ones take their
// defaults. Fails (out untouched) for a value outside its setting's range, too
// many values, or a size outside 1..kMaxSide / above kMaxPixels. `invert`
// turns every value v into 255 - v.
bool renderPattern(const Pattern& pattern, std::span<const int32_t> values, bool invert, int width,
                   int height, uint8_t* out, std::string* error = nullptr);

// ---- Mask files --------------------------------------------------------------

// A grey image as stored in its file: samples 0..maxValue, row by row.
struct GrayImage {
    int width = 0;
    int height = 0;
    uint32_t maxValue = 0;  // 1..65535
    std::vector<uint16_t> samples;
};

// Whether PNG files can be read (the library was built with libpng).
bool pngSupported();
// Reads a PGM or PNG file (recognised by its first bytes).
bool loadMaskFile(const std::string& path, GrayImage& image, std::string* error = nullptr);
// Decodes a binary PGM (P5) held in memory.
bool decodePgm(std::span<const uint8_t> bytes, GrayImage& image, std::string* error = nullptr);
// Scales `image` to width x height bytes, each sample mapped to
// round(sample x 255 / maxValue) after filtering; `invert` as for patterns.
bool scaleMask(const GrayImage& image, bool invert, int width, int height, uint8_t* out,
               std::string* error = nullptr);

}  // namespace fieldfx::patterns

#endif
