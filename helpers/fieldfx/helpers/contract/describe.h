/* Building an operator's description tag list (GetOperatorInfo's answer). */
#ifndef FIELDFX_HELPERS_CONTRACT_DESCRIBE_H
#define FIELDFX_HELPERS_CONTRACT_DESCRIBE_H

#include <cstddef>
#include <cstdint>

#include "fieldfx/export.h"
#include "fieldfx/operator.h"

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

constexpr uintptr_t kTransition = 0;
constexpr uintptr_t kFilter = 1;

// The description every operator gives: OPE_FIRST, OPE_FILTER, OPE_ACTION,
// OPE_IDENT and OPE_MODE, then one OPE_PARAMn per parameter in order.
template <typename... Params>
TagList<5 + sizeof...(Params)> describeOperator(uintptr_t filter, const char* ident,
                                                uintptr_t mode, const Params*... params) {
    uint32_t n = 0;  // braced lists evaluate left to right: OPE_PARAM1, OPE_PARAM2, ...
    return TagList<5 + sizeof...(Params)>{
        {tagValue(OPE_FIRST, 0), tagValue(OPE_FILTER, filter), tagAction(),
         tagAddress(OPE_IDENT, ident), tagValue(OPE_MODE, mode),
         tagAddress(OPE_PARAM1 + n++, params)...},
        0};
}

// The same with OPE_PREFS before the parameters (operators with a transition
// preference block).
template <typename... Params>
TagList<6 + sizeof...(Params)> describeOperatorWithPrefs(uintptr_t filter, const char* ident,
                                                         uintptr_t mode,
                                                         const PrefsBlockRef* prefs,
                                                         const Params*... params) {
    uint32_t n = 0;
    return TagList<6 + sizeof...(Params)>{
        {tagValue(OPE_FIRST, 0), tagValue(OPE_FILTER, filter), tagAction(),
         tagAddress(OPE_IDENT, ident), tagValue(OPE_MODE, mode), tagAddress(OPE_PREFS, prefs),
         tagAddress(OPE_PARAM1 + n++, params)...},
        0};
}

}  // namespace fieldfx

#endif
