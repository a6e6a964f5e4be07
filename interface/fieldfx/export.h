/* How an operator module publishes its two entry points and its tag list. */
#ifndef FIELDFX_EXPORT_H
#define FIELDFX_EXPORT_H

#include <cstddef>
#include <cstdint>

#include "fieldfx/operator.h"

// Modules are built with hidden visibility; only the two entry points are
// exported (plus a version script on ELF, a .def file on Windows).
#if defined(_WIN32)
#define FIELDFX_OPERATOR_EXPORT extern "C"
#else
#define FIELDFX_OPERATOR_EXPORT extern "C" __attribute__((visibility("default")))
#endif

FIELDFX_OPERATOR_EXPORT const OperatorTag* GetOperatorInfo(void);
FIELDFX_OPERATOR_EXPORT int32_t OperatorAction(OperatorMessage* msg);

namespace fieldfx {

// A description tag list: N entries followed by the single terminating tag
// word 0 (no value word follows it, so on 32-bit targets the list ends with
// four zero bytes, not eight).
template <std::size_t N>
struct TagList {
    OperatorTag entries[N];
    uintptr_t terminator;

    const OperatorTag* data() const { return entries; }
};

inline OperatorTag tagValue(uint32_t tag, uintptr_t value) { return OperatorTag{tag, value}; }

inline OperatorTag tagAddress(uint32_t tag, const void* address) {
    return OperatorTag{tag, reinterpret_cast<uintptr_t>(address)};
}

inline OperatorTag tagAction() {
    return OperatorTag{OPE_ACTION, reinterpret_cast<uintptr_t>(&OperatorAction)};
}

}  // namespace fieldfx

#endif
