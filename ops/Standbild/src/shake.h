/*
 * The wandering displacement and the luma noise: random targets drawn every
 * period, the eased glide between two of them, and the noise added to byte 3.
 * All draws come from one generator, reseeded at every open, so the number
 * and order of draws decides every result.
 */
#ifndef FIELDFX_STANDBILD_SHAKE_H
#define FIELDFX_STANDBILD_SHAKE_H

#include <cstdint>
#include <cstdlib>

#include "ease.h"
#include "fieldfx/helpers/pixel/random.h"

namespace fieldfx::standbild {

// Everything kept from one open to the next. `noiseAmp` is 0 when the library
// is loaded and is redrawn only at an open with Noise on.
struct Shake {
    fieldfx::OpRandom random;
    double prevX = 0.0, prevY = 0.0;      // displacement at the start of the period
    double targetX = 0.0, targetY = 0.0;  // displacement at its end
    int32_t nextSwitch = 0;               // position where the next period begins
    int32_t noiseAmp = 0;
    int16_t easeTable[kEaseEntries] = {};
};

// A draw of about -a .. a (a >= 1).
inline int32_t randomSpread(fieldfx::OpRandom& random, int32_t a) {
    int32_t q = 32767 / (2 * a);
    if (q == 0) q = 1;
    return random.next() / q - a;
}

// New targets within about +-2 * horizontal pixels and +-vertical rows; the
// product is formed in integers, then converted and divided.
inline void drawTargets(Shake& s, int32_t horizontal, int32_t vertical) {
    s.targetX = double((s.random.next() - 16383) * horizontal) / 16383.0;
    s.targetY = double((s.random.next() - 16383) * vertical) / 16383.0;
    s.targetX = s.targetX * 2.0;
}

inline void openShake(Shake& s, int32_t horizontal, int32_t vertical, int32_t noise) {
    s.random.seed(0);
    if (noise != 0) {
        s.noiseAmp = std::abs(randomSpread(s.random, noise + 1));
        // Two draws the noise setup consumes without using them.
        randomSpread(s.random, 10 * noise + 23);
        randomSpread(s.random, 10 * noise + 23);
    }
    s.prevX = s.prevY = 0.0;
    drawTargets(s, horizontal, vertical);
    buildEaseTable(s.easeTable);
    s.nextSwitch = 0;
}

// At or past the start of the next period the target becomes the start and a
// new target is drawn: one switch per call, however far p lies beyond it.
// The sum wraps as the host platform's 32-bit arithmetic does.
inline bool switchIfDue(Shake& s, int32_t p, int32_t period, int32_t horizontal,
                        int32_t vertical) {
    if (p < s.nextSwitch) return false;
    s.prevX = s.targetX;
    s.prevY = s.targetY;
    s.nextSwitch = int32_t(uint32_t(s.nextSwitch) + uint32_t(period));
    drawTargets(s, horizontal, vertical);
    return true;
}

struct Offset {
    double x, y;
};

// The eased blend of start and target: weight g / period on the target.
inline Offset displacement(const Shake& s, double g, int32_t period) {
    const double n = period;
    return Offset{((n - g) * s.prevX + g * s.targetX) / n, ((n - g) * s.prevY + g * s.targetY) / n};
}

// Byte 3 with noise of amplitude A: one draw per pixel, adding about -4A .. 4A,
// clamped to 16..235. With A = 0 (Noise raised after an open without it) the
// noise adds nothing, but the draw still happens so the sequence stays in step.
inline uint8_t noisyLuma(fieldfx::OpRandom& random, int32_t amp, int32_t divisor, uint8_t luma) {
    const int32_t draw = random.next();
    int32_t n = amp == 0 ? int32_t(luma) : draw / divisor + int32_t(luma) - 4 * amp;
    if (n < 16) n = 16;
    if (n > 235) n = 235;
    return uint8_t(n);
}

// q = 32767 / (8A), at least 1 (and 1 when A = 0).
inline int32_t noiseDivisor(int32_t amp) {
    const int32_t q = amp == 0 ? 1 : 32767 / (8 * amp);
    return q == 0 ? 1 : q;
}

}  // namespace fieldfx::standbild

#endif
