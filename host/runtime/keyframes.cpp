#include "fieldfx/runtime/keyframes.h"

#include <cmath>

#include "fieldfx/runtime/error.h"

namespace fieldfx::runtime {

bool hasKeys(const std::string& assignment) { return assignment.find('@') != std::string::npos; }

Keyframes::Keyframes(const Parameter& parameter, const std::string& keys, double rate)
    : index_(parameter.index), kind_(parameter.kind()), keys_(parseKeys(parameter, keys, rate)) {}

void Keyframes::applyAt(double frame, const OperatorModule& module) const {
    ParamDescriptor* d = nullptr;
    for (const ParamSlot& slot : module.description().params)
        if (slot.index == index_) d = slot.descriptor;
    if (d == nullptr) return;
    std::size_t next = 0;
    while (next < keys_.size() && keys_[next].frame <= frame) ++next;
    if (next == 0) return writeParameter(d, keys_.front().value);
    const Key& a = keys_[next - 1];
    if (next == keys_.size() || kind_ == PARAM_CHOICE || kind_ == PARAM_COLOUR)
        return writeParameter(d, a.value);
    const Key& b = keys_[next];
    const double t = (frame - a.frame) / (b.frame - a.frame);
    ParameterValue v;
    // Between two values of the range, so the rounded result is one too.
    for (int i = 0; i < 4; ++i)
        v[i] = int32_t(std::lround(a.value[i] + (double(b.value[i]) - a.value[i]) * t));
    writeParameter(d, v);
}

std::vector<Keyframes> keyedParameters(ParameterSet& set,
                                       const std::vector<std::string>& assignments, double rate) {
    std::vector<Keyframes> out;
    for (const std::string& a : assignments) {
        if (!hasKeys(a)) continue;
        const std::size_t eq = a.find('=');
        Parameter* p = eq == std::string::npos ? nullptr : set.find(a.substr(0, eq));
        if (p == nullptr) {
            set.assign(a);  // reports the unknown name with the list of parameters
            continue;
        }
        out.emplace_back(*p, a.substr(eq + 1), rate);
    }
    return out;
}

}  // namespace fieldfx::runtime
