/* Who an operator is in the log, and how it reports a failed host call. */
#ifndef FIELDFX_HELPERS_CONTRACT_IDENTITY_H
#define FIELDFX_HELPERS_CONTRACT_IDENTITY_H

#include <cstdint>

#include "fieldfx/services.h"

namespace fieldfx {

struct OperatorIdentity {
    const char* source;  // "src\<Name>"
    uint32_t logCode;    // 0x0bXX0000
};

constexpr int32_t kFailureLogLevel = 4;

// One record per failed host call: level 4, the call site's line, the
// operator's source name and code, and a single blank as text.
inline void logFailure(const OperatorIdentity& id, int32_t line) {
    loggerMessage(kFailureLogLevel, line, id.source, id.logCode, " ");
}

}  // namespace fieldfx

#endif
