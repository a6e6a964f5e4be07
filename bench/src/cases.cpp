#include "cases.h"

namespace fieldfx::bench {

const std::vector<FieldSize>& benchSizes() {
    static const std::vector<FieldSize> sizes{{720, 288}, {1920, 540}};
    return sizes;
}

namespace {

BenchCase filter(const std::string& op, const std::string& setting, std::vector<std::string> set,
                 const std::string& why) {
    BenchCase c{op, setting, why, false, {}, kNoOpFilter};
    c.runSpec.settings = std::move(set);
    return c;
}

// The middle of the default span of 50 fields.
constexpr int32_t kMiddle = 25;
// Burrow's last two fields of its fade phase (the first 50 / 8 = 6 fields of
// the span): the disc is still small, so nearly every pixel is sampled for
// the tunnel and faded.
constexpr int32_t kFadeEnd = 4;

// A parameter that the operator's kept tables depend on, keyed to change
// every frame of the span around its default value (the centre runs 8
// pixels a frame through the default 320,140, so that the disc covers about
// as much of the field): the cost of rebuilding the tables, against the
// operator's "default" row (Swivel's against its "slowest").
constexpr const char* kMovingCentre = "Centre=220,100@0,420,180@24";

// Transitions at their defaults run whole spans; at their slowest they stay
// at the position of the span that costs the most (`holdAt`).
BenchCase transition(const std::string& op, const std::string& setting,
                     std::vector<std::string> set, const std::string& why, int32_t holdAt = -1) {
    BenchCase c{op, setting, why, true, {}, kNoOpTransition};
    c.runSpec.settings = std::move(set);
    c.runSpec.holdAt = holdAt;
    return c;
}

// Flicker fetches only the one input it shows: a filter's share of the host.
BenchCase fetchingOne(BenchCase c) {
    c.host = kNoOpFilter;
    return c;
}

// Matte blackens only outside the active rectangle: letterboxed, it paints
// the top and bottom eighth of the field.
BenchCase letterboxed(BenchCase c) {
    c.insetY = 8;
    return c;
}

}  // namespace

std::vector<BenchCase> benchCases() {
    std::vector<BenchCase> cases{
        filter(kNoOpFilter, "host", {}, "fetch one field, hand it back"),
        transition(kNoOpTransition, "host", {}, "fetch two fields, free one, hand one back"),

        filter("Matte", "default", {}, ""),
        letterboxed(filter("Matte", "slowest", {}, "letterboxed active rectangle: 1/4 of the rows blackened")),
        filter("Smudge", "default", {}, ""),
        filter("Smudge", "animated", {"Size=30@0,70@24"}, "Size keyed to change every frame: spot weights rebuilt"),
        filter("Smudge", "slowest", {"Size=200", "Strength=100", "Softness=100"},
               "spot over the whole field, longest box, every pixel blended"),
        filter("Heatwave", "default", {}, ""),
        filter("Heatwave", "animated", {"Frequency=30@0,70@24"},
               "Frequency keyed to change every frame: wave tables rebuilt"),
        filter("Heatwave", "slowest",
               {"Area=0,0,999,999", "Horizontal=100", "Vertical=100", "Frequency=100"},
               "largest area (the whole SD field), widest waves"),
        filter("Drunken", "default", {}, ""),
        filter("Drunken", "slowest", {"Samples=6", "Amount=100"}, "6 samples, largest ellipse"),
        filter("Standbild", "default", {}, ""),
        filter("Standbild", "slowest", {"Horizontal=10", "Vertical=10", "Speed=100", "Noise=10"},
               "noise on every pixel, a new target every field"),
        filter("Tunnel", "default", {}, ""),
        filter("Tunnel", "animated", {kMovingCentre}, "Centre keyed to move every frame"),
        filter("Tunnel", "slowest", {"Radius=1", "Mix=100", "Depth=20"},
               "smallest disc (every pixel sampled), Mix blended"),
        filter("Swivel", "default", {}, ""),
        filter("Swivel", "animated", {"Angle=400@0,450@24", "Edges=Border"},
               "Angle keyed to change every frame, coloured border"),
        filter("Swivel", "slowest", {"Angle=450", "Edges=Border"},
               "45 degrees, coloured border"),
        filter("Widescreen", "default", {}, ""),
        filter("Widescreen", "slowest", {"Conversion=Stretch", "Smoothing=Blend"},
               "stretch with blending (the default)"),

        fetchingOne(transition("Flicker", "default", {}, "")),
        fetchingOne(transition("Flicker", "slowest", {"Block=1"},
                               "shortest blocks, middle of the span", kMiddle)),
        transition("Iris", "default", {}, ""),
        transition("Iris", "animated", {kMovingCentre},
                   "Centre keyed to move every frame (the map holds the first field's)"),
        transition("Iris", "slowest", {"Softness=100"}, "widest soft edge, middle of the span",
                   kMiddle),
        transition("Burrow", "default", {}, ""),
        transition("Burrow", "animated", {kMovingCentre}, "Centre keyed to move every frame"),
        transition("Burrow", "slowest", {"Depth=20"},
                   "end of the fade phase: small disc, tunnel and fade for nearly every pixel",
                   kFadeEnd),
        transition("Telescope", "default", {}, ""),
        transition("Telescope", "slowest", {"Softness=100", "Zoom=100"},
                   "every pixel in the band, strongest zoom, middle of the span", kMiddle),
        transition("Glide", "default", {}, ""),
        transition("Glide", "slowest", {"Softness=100", "Distance=100", "Direction=1"},
                   "every pixel in the band, longest diagonal shift, middle of the span", kMiddle),
    };
    return cases;
}

RunSpec specFor(const BenchCase& c, FieldSize size) {
    RunSpec runSpec = c.runSpec;
    if (c.insetX > 0 || c.insetY > 0) {
        const int32_t dx = c.insetX > 0 ? size.width / c.insetX : 0;
        const int32_t dy = c.insetY > 0 ? size.height / c.insetY : 0;
        runSpec.hasActive = true;
        runSpec.active = runtime::ActiveRect{int16_t(dx), int16_t(dy), int16_t(size.width - 2 * dx),
                                          int16_t(size.height - 2 * dy)};
    }
    return runSpec;
}

}  // namespace fieldfx::bench
