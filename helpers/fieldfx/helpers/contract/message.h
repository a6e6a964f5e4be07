/* Reading the request record with the host's mistakes made harmless. */
#ifndef FIELDFX_HELPERS_CONTRACT_MESSAGE_H
#define FIELDFX_HELPERS_CONTRACT_MESSAGE_H

#include <cstdint>

#include "fieldfx/operator.h"

namespace fieldfx {

inline bool isOddField(const OperatorMessage* m) { return (m->flags & OPF_ODD_FIELD) != 0; }

// OPF_SCALE with a zero denominator means no scaling.
inline bool scalesSizes(const OperatorMessage* m) {
    return (m->flags & OPF_SCALE) != 0 && m->scaleDen != 0;
}

// A pixel aspect of 0 is taken as square pixels (1000).
inline int32_t pixelAspectOf(const OperatorMessage* m) {
    return m->pixelAspect == 0 ? 1000 : int32_t(m->pixelAspect);
}

// A duration of 0 is taken as one field.
inline uint32_t durationOf(const OperatorMessage* m) { return m->duration == 0 ? 1u : m->duration; }

// The position, kept below the duration where a formula would divide by zero.
inline uint32_t positionWithin(const OperatorMessage* m) {
    const uint32_t d = durationOf(m);
    return m->position < d ? m->position : d - 1;
}

}  // namespace fieldfx

#endif
