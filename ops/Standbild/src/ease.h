/*
 * The easing curve along which the picture glides from one random target to
 * the next: slow at both ends of a period, fastest in its middle.
 */
#ifndef FIELDFX_STANDBILD_EASE_H
#define FIELDFX_STANDBILD_EASE_H

#include <cstdint>

namespace fieldfx::standbild {

// Entry k is 1024 * (1 - sin(pi/2 * k / 256)) rounded to the nearest integer:
// a quarter sine falling from 1024 to 0.
inline constexpr int16_t easeCurve[256] = {
    1024, 1018, 1011, 1005,  999,  993,  986,  980,  974,  967,  961,  955,  949,  942,  936,  930,
     924,  917,  911,  905,  899,  892,  886,  880,  874,  868,  861,  855,  849,  843,  837,  830,
     824,  818,  812,  806,  800,  794,  787,  781,  775,  769,  763,  757,  751,  745,  739,  733,
     727,  721,  715,  709,  703,  697,  691,  685,  679,  673,  667,  661,  655,  650,  644,  638,
     632,  626,  621,  615,  609,  603,  598,  592,  586,  581,  575,  569,  564,  558,  552,  547,
     541,  536,  530,  525,  519,  514,  508,  503,  498,  492,  487,  481,  476,  471,  466,  460,
     455,  450,  445,  440,  434,  429,  424,  419,  414,  409,  404,  399,  394,  389,  384,  379,
     374,  370,  365,  360,  355,  350,  346,  341,  336,  332,  327,  322,  318,  313,  309,  304,
     300,  295,  291,  287,  282,  278,  274,  269,  265,  261,  257,  253,  249,  245,  240,  236,
     232,  228,  225,  221,  217,  213,  209,  205,  202,  198,  194,  190,  187,  183,  180,  176,
     173,  169,  166,  162,  159,  156,  152,  149,  146,  142,  139,  136,  133,  130,  127,  124,
     121,  118,  115,  112,  109,  107,  104,  101,   98,   96,   93,   90,   88,   85,   83,   80,
      78,   76,   73,   71,   69,   66,   64,   62,   60,   58,   56,   54,   52,   50,   48,   46,
      44,   42,   41,   39,   37,   35,   34,   32,   31,   29,   28,   26,   25,   24,   22,   21,
      20,   18,   17,   16,   15,   14,   13,   12,   11,   10,    9,    8,    8,    7,    6,    6,
       5,    4,    4,    3,    3,    2,    2,    2,    1,    1,    1,    0,    0,    0,    0,    0,
};

constexpr int32_t kEaseEntries = 512;

// The curve turned into a rise from 0 through 1024 (entries 255 and 256) to
// 2048: the first half is the curve read backwards, the second its mirror.
inline void buildEaseTable(int16_t table[kEaseEntries]) {
    for (int32_t k = 0; k < 256; ++k) table[k] = easeCurve[255 - k];
    for (int32_t k = 256; k < kEaseEntries; ++k) table[k] = int16_t(2048 - easeCurve[k - 256]);
}

// Where a field lies in its period: t fields in (t = p mod period for p >= 0),
// the table index k and the eased amount g, which runs from 0 towards period.
struct Ease {
    double t;
    int32_t k;
    double g;
};

inline Ease easeAt(const int16_t table[kEaseEntries], int32_t p, int32_t period) {
    Ease e;
    e.t = double(p) - double((p / period) * period);
    e.k = int32_t(e.t * 512.0 / double(period));
    // A negative position gives a negative t; the index stays in the table.
    if (e.k < 0) e.k = 0;
    if (e.k > kEaseEntries - 1) e.k = kEaseEntries - 1;
    e.g = double(table[e.k]) * e.t * 0.00048828125;
    return e;
}

}  // namespace fieldfx::standbild

#endif
