/* The action dispatch every operator but the pattern wipes shares. */
#ifndef FIELDFX_HELPERS_CONTRACT_ACTION_H
#define FIELDFX_HELPERS_CONTRACT_ACTION_H

#include <cstdint>

#include "fieldfx/operator.h"

namespace fieldfx {

// OP_PROCESS renders one field. `open` and `close`, given by operators that
// keep state from one OP_OPEN to OP_CLOSE, answer those two actions; every
// other action is accepted and ignored.
inline int32_t operatorAction(const OperatorMessage* msg,
                              int32_t (*process)(const OperatorMessage*),
                              int32_t (*open)() = nullptr, void (*close)() = nullptr) {
    switch (msg->action) {
        case OP_PROCESS: return process(msg);
        case OP_OPEN: return open != nullptr ? open() : 0;
        case OP_CLOSE:
            if (close != nullptr) close();
            return 0;
        default: return 0;
    }
}

}  // namespace fieldfx

#endif
