/*
 * The transcendental functions operators use, in double precision. C
 * libraries differ in the last bit of these; every operator goes through
 * here so the choice of implementation is made in one place.
 */
#ifndef FIELDFX_HELPERS_OPMATH_H
#define FIELDFX_HELPERS_OPMATH_H

#include <cmath>

namespace fieldfx {

inline double mathSin(double x) { return std::sin(x); }
inline double mathCos(double x) { return std::cos(x); }
inline double mathAsin(double x) { return std::asin(x); }
inline double mathSqrt(double x) { return std::sqrt(x); }

}  // namespace fieldfx

#endif
