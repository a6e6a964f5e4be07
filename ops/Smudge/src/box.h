/*
 * The arithmetic of Smudge's box blur: running sums of the four bytes of a
 * pixel and their division by the window's sample count.
 */
#ifndef FIELDFX_SMUDGE_BOX_H
#define FIELDFX_SMUDGE_BOX_H

#include <cstdint>
#include <cstring>

#include "fieldfx/helpers/lanes/cpu.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace fieldfx::smudge {

// Four running sums, one for each byte of a pixel; in one SSE2 register where
// there is one.
struct PixelSum {
#if defined(__SSE2__)
    __m128i v = _mm_setzero_si128();

    static __m128i widen(const uint8_t* p) {
        int32_t word;
        std::memcpy(&word, p, 4);
        const __m128i zero = _mm_setzero_si128();
        return _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(word), zero), zero);
    }
    void add(const uint8_t* p) { v = _mm_add_epi32(v, widen(p)); }
    void subtract(const uint8_t* p) { v = _mm_sub_epi32(v, widen(p)); }
    void load(const uint32_t* sums) { v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums)); }
#else
    uint32_t v[4] = {};

    void add(const uint8_t* p) {
        for (int k = 0; k < 4; ++k) v[k] += p[k];
    }
    void subtract(const uint8_t* p) {
        for (int k = 0; k < 4; ++k) v[k] -= p[k];
    }
    void load(const uint32_t* sums) { std::memcpy(v, sums, sizeof v); }
#endif
};

// Division by a window's sample count c (1 .. 32767) as a multiplication:
// with k = 31 + floor(log2 c) and m = floor(2^k / c) + 1 (below 2^32),
// (x m) >> k is x / c for every x up to 255 c, the largest sum of a window:
// m c exceeds 2^k by at most c, so x m / 2^k exceeds x / c by at most
// 255 c^2 / 2^k <= 255 c / 2^30, below 1 / c.
class CountDivisor {
public:
    explicit CountDivisor(uint32_t c) {
        shift_ = 31;
        for (uint32_t rest = c; rest > 1; rest >>= 1) ++shift_;
        m_ = uint32_t((uint64_t(1) << shift_) / c + 1);
    }

    uint32_t divide(uint32_t x) const { return uint32_t((uint64_t(x) * m_) >> shift_); }

#if defined(__x86_64__)
    // divide on eight sums at once (AVX2).
    FIELDFX_TARGET("avx2", always_inline) __m256i divide8(__m256i x) const {
        const __m256i m = _mm256_set1_epi32(int32_t(m_));
        const __m128i shift = _mm_cvtsi32_si128(shift_);
        const __m256i even = _mm256_srl_epi64(_mm256_mul_epu32(x, m), shift);
        const __m256i odd = _mm256_srl_epi64(_mm256_mul_epu32(_mm256_srli_epi64(x, 32), m), shift);
        return _mm256_or_si256(even, _mm256_slli_epi64(odd, 32));  // each quotient fits 32 bits
    }
#endif

    // The four sums divided, as the bytes of a pixel in memory order.
    uint32_t meansOf(const PixelSum& s) const {
#if defined(__SSE2__)
        const __m128i m = _mm_set1_epi32(int32_t(m_));
        const __m128i shift = _mm_cvtsi32_si128(shift_);
        const __m128i even = _mm_srl_epi64(_mm_mul_epu32(s.v, m), shift);
        const __m128i odd = _mm_srl_epi64(_mm_mul_epu32(_mm_srli_epi64(s.v, 32), m), shift);
        const __m128i q = _mm_or_si128(even, _mm_slli_epi64(odd, 32));
        const __m128i words = _mm_packs_epi32(q, q);  // every mean lies in 0..255
        return uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(words, words)));
#else
        uint8_t bytes[4];
        for (int k = 0; k < 4; ++k) bytes[k] = uint8_t(divide(s.v[k]));
        uint32_t word;
        std::memcpy(&word, bytes, 4);
        return word;
#endif
    }

private:
    uint32_t m_;
    int32_t shift_;
};

}  // namespace fieldfx::smudge

#endif
