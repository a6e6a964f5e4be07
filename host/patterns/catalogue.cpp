// The built-in patterns: names, settings and their ranges.
#include <iterator>

#include "fieldfx/patterns/patterns.h"

namespace fieldfx::patterns {
namespace {

constexpr Setting kCentre[] = {
    {"cx", "centre across, percent of the width", 0, 100, 50},
    {"cy", "centre down, percent of the height", 0, 100, 50},
};
constexpr Setting kClock[] = {
    {"cx", "centre across, percent of the width", 0, 100, 50},
    {"cy", "centre down, percent of the height", 0, 100, 50},
    {"start", "angle of the hand at the start, degrees clockwise from twelve o'clock", 0, 359, 0},
    {"counter", "1: the hand turns counter-clockwise", 0, 1, 0},
};
constexpr Setting kBlinds[] = {
    {"count", "number of slats", 2, 12, 8},
    {"vertical", "1: upright slats that open from left to right", 0, 1, 0},
};
constexpr Setting kCheckerboard[] = {
    {"columns", "cells across", 2, 16, 8},
    {"rows", "cells down", 2, 16, 6},
};
constexpr Setting kSpiral[] = {
    {"cx", "centre across, percent of the width", 0, 100, 50},
    {"cy", "centre down, percent of the height", 0, 100, 50},
    {"turns", "turns of the spiral from the centre to the farthest corner", 1, 8, 3},
};
constexpr Setting kDissolve[] = {
    {"seed", "seed of the random order", 0, 2147483647, 1},
    {"cell", "side of the square cells that change together, pixels", 1, 32, 1},
};

// Numbers are stored in preference blocks: never renumber, only append.
constexpr Pattern kPatterns[] = {
    {0, "wipe-right", "a straight edge moves from the left side to the right", nullptr, 0},
    {1, "wipe-left", "a straight edge moves from the right side to the left", nullptr, 0},
    {2, "wipe-down", "a straight edge moves from the top down", nullptr, 0},
    {3, "wipe-up", "a straight edge moves from the bottom up", nullptr, 0},
    {4, "wipe-down-right", "a diagonal edge moves from the top left corner", nullptr, 0},
    {5, "wipe-down-left", "a diagonal edge moves from the top right corner", nullptr, 0},
    {6, "wipe-up-right", "a diagonal edge moves from the bottom left corner", nullptr, 0},
    {7, "wipe-up-left", "a diagonal edge moves from the bottom right corner", nullptr, 0},
    {8, "barn-doors-horizontal", "two edges open from the vertical centre line to the sides",
     nullptr, 0},
    {9, "barn-doors-vertical", "two edges open from the horizontal centre line to top and bottom",
     nullptr, 0},
    {10, "box", "a rectangle of the frame's proportions grows from the centre", kCentre, 2},
    {11, "diamond", "a diamond of the frame's proportions grows from the centre", kCentre, 2},
    {12, "circle", "a circle grows from the centre", kCentre, 2},
    {13, "ellipse", "an ellipse of the frame's proportions grows from the centre", kCentre, 2},
    {14, "clock", "a hand sweeps round the centre", kClock, 4},
    {15, "blinds", "slats open together, each from its top (left) edge", kBlinds, 2},
    {16, "checkerboard", "every other cell wipes from its left edge, then the others",
     kCheckerboard, 2},
    {17, "spiral", "a hand sweeps round the centre and outwards along a spiral", kSpiral, 3},
    {18, "dissolve", "pixels (or cells) change in a random, reproducible order", kDissolve, 2},
};

}  // namespace

std::span<const Pattern> builtinPatterns() { return kPatterns; }

const Pattern* findPattern(std::string_view name) {
    for (const Pattern& p : kPatterns)
        if (name == p.name) return &p;
    return nullptr;
}

const Pattern* patternByNumber(int number) {
    if (number < 0 || number >= static_cast<int>(std::size(kPatterns))) return nullptr;
    return &kPatterns[number];
}

const Pattern& defaultPattern() { return kPatterns[0]; }

int settingIndex(const Pattern& pattern, std::string_view name) {
    for (int i = 0; i < pattern.settingCount; ++i)
        if (name == pattern.settings[i].name) return i;
    return -1;
}

std::vector<int32_t> defaultValues(const Pattern& pattern) {
    std::vector<int32_t> values;
    for (const Setting& s : pattern.settingList()) values.push_back(s.defaultValue);
    return values;
}

}  // namespace fieldfx::patterns
