// Ordering keys of the built-in patterns.
//
// Positions are pixel centres. Where a pattern has a centre (cx, cy percent),
// a pixel's offset from it is kept as an exact integer, 100 x the doubled
// offset: X = (2x + 1) x 50 - width x cx. Keys built from such integers stay
// below 2^53 and are exact doubles, so mirror-image pixels tie exactly.
#include "shapes.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numeric>
#include <vector>

#include "turns.h"

namespace fieldfx::patterns {
namespace {

enum Number {
    WipeRight,
    WipeLeft,
    WipeDown,
    WipeUp,
    WipeDownRight,
    WipeDownLeft,
    WipeUpRight,
    WipeUpLeft,
    BarnDoorsHorizontal,
    BarnDoorsVertical,
    Box,
    Diamond,
    Circle,
    Ellipse,
    Clock,
    Blinds,
    Checkerboard,
    Spiral,
    Dissolve
};

// 100 x the doubled offset of pixel centre `i` from `percent` of `side`.
int64_t centred(int i, int side, int32_t percent) {
    return (2 * int64_t(i) + 1) * 50 - int64_t(side) * percent;
}

template <typename KeyOf>
void fill(int width, int height, double* keys, KeyOf keyOf) {
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) *keys++ = keyOf(x, y);
}

// A straight wipe along the frame diagonal from corner (0, 0) after mirroring
// x and/or y: the edge is parallel to the other diagonal.
void diagonal(int width, int height, bool mirrorX, bool mirrorY, double* keys) {
    fill(width, height, keys, [=](int x, int y) {
        const int64_t cx = mirrorX ? width - 1 - x : x;
        const int64_t cy = mirrorY ? height - 1 - y : y;
        return double((2 * cx + 1) * height + (2 * cy + 1) * width);
    });
}

// Slats: the key is the doubled position within a slat.
void blinds(int width, int height, int32_t count, bool vertical, double* keys) {
    fill(width, height, keys, [=](int x, int y) {
        const int64_t side = vertical ? width : height;
        const int64_t at = vertical ? x : y;
        return double(((2 * at + 1) * count) % (2 * side));
    });
}

// Cells of the one colour wipe left to right, then those of the other.
void checkerboard(int width, int height, int32_t columns, int32_t rows, double* keys) {
    fill(width, height, keys, [=](int x, int y) {
        const int64_t across = (2 * int64_t(x) + 1) * columns;
        const int64_t column = across / (2 * int64_t(width));
        const int64_t row = (2 * int64_t(y) + 1) * rows / (2 * int64_t(height));
        const int64_t second = (column + row) & 1;
        return double(second * 2 * width + across % (2 * int64_t(width)));
    });
}

// The hand of a clock sweeps round the centre; the key is the fraction of the
// turn after which it reaches the pixel.
void clock(int width, int height, const int32_t* v, double* keys) {
    const double start = double(v[2]) / 360.0;
    const bool counter = v[3] != 0;
    fill(width, height, keys, [=](int x, int y) {
        const double a =
            clockwiseTurns(double(centred(x, width, v[0])), double(centred(y, height, v[1])));
        const double t = counter ? start - a : a - start;
        return t - std::floor(t);
    });
}

// An Archimedean spiral front: while the hand turns, the reach grows from the
// centre to the farthest corner in `turns` turns. A pixel at distance rho
// (1 = that corner) and angle theta (turns) is reached at the first time
// t >= rho x turns whose fractional part is theta: t = theta + ceil(rho x turns - theta).
void spiral(int width, int height, const int32_t* v, double* keys) {
    const double turns = v[2];
    const double farX = double(width) * double(std::max(v[0], 100 - v[0]));
    const double farY = double(height) * double(std::max(v[1], 100 - v[1]));
    const double reach = std::sqrt(farX * farX + farY * farY);
    fill(width, height, keys, [=](int x, int y) {
        const double dx = double(centred(x, width, v[0]));
        const double dy = double(centred(y, height, v[1]));
        const double rho = std::sqrt(dx * dx + dy * dy) / reach;
        const double theta = clockwiseTurns(dx, dy);
        return theta + std::ceil(rho * turns - theta);
    });
}

// splitmix64: a small generator with exact 64-bit integer arithmetic, the
// same sequence on every platform.
uint64_t nextRandom(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// Square cells in a shuffled order (Fisher-Yates); the key is a cell's place.
void dissolve(int width, int height, int32_t seed, int32_t cell, double* keys) {
    const int64_t across = (int64_t(width) + cell - 1) / cell;
    const int64_t down = (int64_t(height) + cell - 1) / cell;
    std::vector<uint32_t> place(static_cast<std::size_t>(across * down));
    std::iota(place.begin(), place.end(), 0u);
    uint64_t state = uint64_t(uint32_t(seed));
    for (std::size_t i = place.size(); i > 1; --i)
        std::swap(place[i - 1], place[nextRandom(state) % i]);
    fill(width, height, keys, [&](int x, int y) {
        return double(place[static_cast<std::size_t>((y / cell) * across + x / cell)]);
    });
}

}  // namespace

void patternKeys(const Pattern& pattern, const int32_t* v, int width, int height, double* keys) {
    const int64_t w = width, h = height;
    switch (pattern.number) {
        case WipeRight: fill(width, height, keys, [](int x, int) { return double(x); }); break;
        case WipeLeft: fill(width, height, keys, [](int x, int) { return -double(x); }); break;
        case WipeDown: fill(width, height, keys, [](int, int y) { return double(y); }); break;
        case WipeUp: fill(width, height, keys, [](int, int y) { return -double(y); }); break;
        case WipeDownRight: diagonal(width, height, false, false, keys); break;
        case WipeDownLeft: diagonal(width, height, true, false, keys); break;
        case WipeUpRight: diagonal(width, height, false, true, keys); break;
        case WipeUpLeft: diagonal(width, height, true, true, keys); break;
        case BarnDoorsHorizontal:
            fill(width, height, keys,
                 [=](int x, int) { return double(std::llabs(2 * x + 1 - w)); });
            break;
        case BarnDoorsVertical:
            fill(width, height, keys,
                 [=](int, int y) { return double(std::llabs(2 * y + 1 - h)); });
            break;
        case Box:
            fill(width, height, keys, [=](int x, int y) {
                return double(std::max(std::llabs(centred(x, width, v[0])) * h,
                                       std::llabs(centred(y, height, v[1])) * w));
            });
            break;
        case Diamond:
            fill(width, height, keys, [=](int x, int y) {
                return double(std::llabs(centred(x, width, v[0])) * h +
                              std::llabs(centred(y, height, v[1])) * w);
            });
            break;
        case Circle:
            fill(width, height, keys, [=](int x, int y) {
                const int64_t dx = centred(x, width, v[0]), dy = centred(y, height, v[1]);
                return double(dx * dx + dy * dy);
            });
            break;
        case Ellipse: {
            // (dx / width)^2 + (dy / height)^2, scaled by (width x height / g)^2.
            const int64_t g = std::gcd(w, h);
            const double sx = double(h / g), sy = double(w / g);
            fill(width, height, keys, [=](int x, int y) {
                const double dx = double(centred(x, width, v[0])) * sx;
                const double dy = double(centred(y, height, v[1])) * sy;
                return dx * dx + dy * dy;
            });
            break;
        }
        case Clock: clock(width, height, v, keys); break;
        case Blinds: blinds(width, height, v[0], v[1] != 0, keys); break;
        case Checkerboard: checkerboard(width, height, v[0], v[1], keys); break;
        case Spiral: spiral(width, height, v, keys); break;
        case Dissolve: dissolve(width, height, v[0], v[1], keys); break;
        default: fill(width, height, keys, [](int, int) { return 0.0; }); break;
    }
}

}  // namespace fieldfx::patterns
