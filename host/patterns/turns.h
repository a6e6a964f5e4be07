// Angles for the round patterns, computed with + - * / and sqrt only: IEEE
// rounds those exactly on every platform, while the C library's atan2 differs
// between platforms in the last bit, which could reorder two pixels.
#ifndef FIELDFX_PATTERNS_TURNS_H
#define FIELDFX_PATTERNS_TURNS_H

#include <cmath>

namespace fieldfx::patterns {

// atan(t) in radians for 0 <= t <= 1. Two half-angle steps,
// atan(t) = 2 atan(t / (1 + sqrt(1 + t^2))), bring the argument below
// tan(pi/16) < 0.2, where the odd series to t^21 is accurate to 1e-16.
inline double arctanUnit(double t) {
    double u = t / (1.0 + std::sqrt(1.0 + t * t));
    u = u / (1.0 + std::sqrt(1.0 + u * u));
    const double u2 = u * u;
    double sum = 0.0;
    for (int k = 10; k >= 0; --k) sum = sum * u2 + ((k & 1) ? -1.0 : 1.0) / double(2 * k + 1);
    return 4.0 * u * sum;
}

// The direction of (dx, dy), y pointing down, as a fraction of a turn
// clockwise from straight up: up 0, right 0.25, down 0.5, left 0.75.
// (0, 0) gives 0. The result lies in [0, 1).
inline double clockwiseTurns(double dx, double dy) {
    constexpr double kQuarterTurn = 1.5707963267948966;  // pi / 2
    constexpr double kTurn = 6.283185307179586;          // 2 pi
    const double ax = std::fabs(dx), ay = std::fabs(dy);
    if (ax == 0.0 && ay == 0.0) return 0.0;
    // Angle from the vertical axis within the quadrant, 0 .. pi/2.
    const double a = ax <= ay ? arctanUnit(ax / ay) : kQuarterTurn - arctanUnit(ay / ax);
    double angle;
    if (dx >= 0.0)
        angle = dy <= 0.0 ? a : 2.0 * kQuarterTurn - a;  // upper right, lower right
    else
        angle = dy >= 0.0 ? 2.0 * kQuarterTurn + a : 4.0 * kQuarterTurn - a;
    const double turns = angle / kTurn;
    return turns < 1.0 ? turns : 0.0;
}

}  // namespace fieldfx::patterns

#endif
