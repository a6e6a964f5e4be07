/*
 * Two pixels' bytes as eight doubles in one AVX-512 register.
 *
 * The same per-byte formulas as PixelLanes (lanes.h), two pixels at a time:
 * lanes 0-3 hold the first pixel's bytes, lanes 4-7 the second's. A value
 * that differs between the two pixels (a weight, a fraction) is a pair, one
 * half each. This processor divides eight lanes in little more time than
 * four, which is what formulas that divide every byte need. The same
 * operations in the same order give the same roundings: no FMA is ever
 * written and -ffp-contract=off keeps the compiler from fusing (AVX-512F
 * itself brings FMA instructions along). On x86-64 only, chosen at run time.
 */
#ifndef FIELDFX_HELPERS_LANES_PAIR_LANES_H
#define FIELDFX_HELPERS_LANES_PAIR_LANES_H

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fieldfx/helpers/lanes/bilinear_taps.h"
#include "fieldfx/helpers/lanes/lanes.h"

#if defined(FIELDFX_AVX2_LANES)
#define FIELDFX_PAIR_LANES 1

namespace fieldfx {

// Every lane: the masked forms of the conversions, which unlike the plain
// ones start from zeros rather than an undefined register (GCC 12 warns).
constexpr __mmask8 kAll = 0xFF;

struct PixelPairLanes {
    __m512d v;

    FIELDFX_TARGET("avx512f") static PixelPairLanes load(const uint8_t* first, const uint8_t* second) {
        int32_t a, b;
        std::memcpy(&a, first, 4);
        std::memcpy(&b, second, 4);
        const __m128i words = _mm_insert_epi32(_mm_cvtsi32_si128(a), b, 1);
        return PixelPairLanes{_mm512_maskz_cvtepi32_pd(kAll, _mm256_cvtepu8_epi32(words))};
    }
    FIELDFX_TARGET("avx512f") static PixelPairLanes all(double v) { return PixelPairLanes{_mm512_set1_pd(v)}; }
    FIELDFX_TARGET("avx512f") static PixelPairLanes pair(double first, double second) {
        return PixelPairLanes{
            _mm512_maskz_insertf64x4(kAll, _mm512_set1_pd(first), _mm256_set1_pd(second), 1)};
    }
};

FIELDFX_TARGET("avx512f") inline PixelPairLanes operator+(PixelPairLanes a, PixelPairLanes b) {
    return PixelPairLanes{_mm512_add_pd(a.v, b.v)};
}
FIELDFX_TARGET("avx512f") inline PixelPairLanes operator-(PixelPairLanes a, PixelPairLanes b) {
    return PixelPairLanes{_mm512_sub_pd(a.v, b.v)};
}
FIELDFX_TARGET("avx512f") inline PixelPairLanes operator*(PixelPairLanes a, PixelPairLanes b) {
    return PixelPairLanes{_mm512_mul_pd(a.v, b.v)};
}
FIELDFX_TARGET("avx512f") inline PixelPairLanes operator/(PixelPairLanes a, PixelPairLanes b) {
    return PixelPairLanes{_mm512_div_pd(a.v, b.v)};
}
FIELDFX_TARGET("avx512f") inline PixelPairLanes operator+(PixelPairLanes a, double b) {
    return a + PixelPairLanes::all(b);
}
FIELDFX_TARGET("avx512f") inline PixelPairLanes operator-(PixelPairLanes a, double b) {
    return a - PixelPairLanes::all(b);
}
FIELDFX_TARGET("avx512f") inline PixelPairLanes operator-(double a, PixelPairLanes b) {
    return PixelPairLanes::all(a) - b;
}
FIELDFX_TARGET("avx512f") inline PixelPairLanes operator*(PixelPairLanes a, double b) {
    return a * PixelPairLanes::all(b);
}
FIELDFX_TARGET("avx512f") inline PixelPairLanes operator/(PixelPairLanes a, double b) {
    return a / PixelPairLanes::all(b);
}

// storeLowBytes of lanes.h for two neighbouring pixels, out[0..7]: each lane
// truncated toward zero to 32 bits (0x80000000 when out of range, as the x86
// conversion gives), then narrowed to its low byte in one instruction.
FIELDFX_TARGET("avx512f") inline void storeLowBytes(PixelPairLanes v, uint8_t* out) {
    const __m256i words = _mm512_maskz_cvttpd_epi32(kAll, v.v);
    // Lanes 8 to 15 of the widened register are masked off.
    const __m128i bytes = _mm512_maskz_cvtepi32_epi8(0xFF, _mm512_castsi256_si512(words));
    const uint64_t both = uint64_t(_mm_cvtsi128_si64(bytes));
    std::memcpy(out, &both, 8);
}

// The bytes blendTaps gives for two taps, as lanes. (A whole position needs
// no shortcut here: its steps add zero and leave the pixel's own bytes.)
FIELDFX_TARGET("avx512f") inline PixelPairLanes blendTapPair(const uint8_t* pixels, const BilinearTap& s,
                                                  const BilinearTap& t) {
    const uint8_t* s00 = pixels + std::size_t(s.at) * 4;
    const uint8_t* t00 = pixels + std::size_t(t.at) * 4;
    const uint8_t* s01 = s00 + std::size_t(s.down) * 4;
    const uint8_t* t01 = t00 + std::size_t(t.down) * 4;
    const PixelPairLanes fx = PixelPairLanes::pair(s.fx, t.fx);
    const PixelPairLanes a00 = PixelPairLanes::load(s00, t00);
    const PixelPairLanes a01 = PixelPairLanes::load(s01, t01);
    const PixelPairLanes top = (PixelPairLanes::load(s00 + s.right * 4, t00 + t.right * 4) - a00) * fx + a00;
    const PixelPairLanes bottom =
        (PixelPairLanes::load(s01 + s.right * 4, t01 + t.right * 4) - a01) * fx + a01;
    const PixelPairLanes v = (bottom - top) * PixelPairLanes::pair(s.fy, t.fy) + top;
    // Rounding is monotone and the fractions lie in [0, 1), so top lies
    // between the two bytes it blends, bottom likewise, and v between top and
    // bottom: within [0, 255], where the low byte of v truncated (what
    // blendTaps keeps) is v truncated, one instruction.
    return PixelPairLanes{
        _mm512_maskz_roundscale_pd(kAll, v.v, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC)};
}

}  // namespace fieldfx


#endif

#endif
