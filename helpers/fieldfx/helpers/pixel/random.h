/*
 * The operators' private random generator. Operators never touch the C
 * library's rand state (it belongs to the host and the other plug-ins); this
 * one has the 32-bit Windows C runtime's semantics so every platform draws the
 * original platform's sequence: srand(0) then rand() gives 38, 7719, ...
 */
#ifndef FIELDFX_HELPERS_PIXEL_RANDOM_H
#define FIELDFX_HELPERS_PIXEL_RANDOM_H

#include <cstdint>

namespace fieldfx {

constexpr int32_t kRandMax = 0x7FFF;

struct OpRandom {
    uint32_t state = 0;

    void seed(uint32_t s) { state = s; }

    int32_t next() {
        state = state * 214013u + 2531011u;
        return int32_t((state >> 16) & 0x7FFFu);
    }
};

}  // namespace fieldfx

#endif
