// Parameter value texts (`--set name=value`) for every parameter of every
// operator, and keyframe lists (`--set name=VALUE@TIME,...`). A text is
// taken, within the descriptor's range, or refused with a usage error that
// leaves the descriptor as it was; a keyframe list leaves it as it was and
// puts only values of the range into it at any frame.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "fieldfx/runtime/error.h"
#include "fieldfx/runtime/keyframes.h"
#include "fieldfx/runtime/parameters.h"

namespace runtime = fieldfx::runtime;

namespace {

struct Loaded {
    std::unique_ptr<runtime::OperatorModule> module;
    std::unique_ptr<runtime::ParameterSet> params;
};

std::vector<Loaded> loadAll() {
    std::vector<Loaded> all;
    const std::string list = FIELDFX_FUZZ_OPERATORS;
    for (std::size_t start = 0; start < list.size();) {
        std::size_t end = list.find(',', start);
        if (end == std::string::npos) end = list.size();
        Loaded l;
        l.module = runtime::OperatorModule::load(list.substr(start, end - start));
        l.params = std::make_unique<runtime::ParameterSet>(*l.module);
        all.push_back(std::move(l));
        start = end + 1;
    }
    return all;
}

// The descriptor's bytes (the largest descriptor is 28 bytes on 32-bit and
// 40 on 64-bit; the tails are compared as far as the kind has them).
std::vector<uint8_t> bytesOf(const runtime::Parameter& p) {
    std::size_t n = sizeof(GroupDescriptor);
    switch (p.kind()) {
        case PARAM_CHOICE: n = sizeof(ChoiceDescriptor); break;
        case PARAM_COLOUR: n = sizeof(ColourDescriptor); break;
        case PARAM_SLIDER: n = sizeof(SliderDescriptor); break;
        case PARAM_POSITION: n = sizeof(PositionDescriptor); break;
    }
    const auto* b = reinterpret_cast<const uint8_t*>(p.descriptor);
    return {b, b + n};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static std::vector<Loaded> all = loadAll();
    FuzzedDataProvider in(data, size);
    Loaded& l = all[in.ConsumeIntegralInRange<std::size_t>(0, all.size() - 1)];
    const int mode = in.ConsumeIntegralInRange(0, 2);  // by name, by parameter, keyframes
    const bool byName = mode == 0;
    const double frame = in.ConsumeFloatingPointInRange(-10.0, 1e6);
    const auto& params = l.params->all();
    if (params.empty()) return 0;
    runtime::Parameter& p =
        *l.params->find(params[in.ConsumeIntegralInRange<std::size_t>(0, params.size() - 1)].name);
    const std::vector<uint8_t> before = bytesOf(p);
    const std::string text = in.ConsumeRemainingBytesAsString();
    if (mode == 2) {
        try {
            const runtime::Keyframes keys(p, text, 25.0);
            if (bytesOf(p) != before) std::abort();  // reading the keys changes nothing
            keys.applyAt(frame, *l.module);
        } catch (const runtime::Error& e) {
            if (e.kind() != runtime::ErrorKind::Usage || bytesOf(p) != before) std::abort();
            return 0;
        }
    } else {
        try {
            if (byName)
                l.params->assign(text);
            else
                p.set(text);
        } catch (const runtime::Error& e) {
            if (e.kind() != runtime::ErrorKind::Usage) std::abort();
            if (bytesOf(p) != before) std::abort();  // a refused text changes nothing
            return 0;
        }
    }
    // A value taken lies within what the descriptor declares.
    if (p.kind() == PARAM_SLIDER) {
        const auto* d = reinterpret_cast<const SliderDescriptor*>(p.descriptor);
        if (d->value < d->minimum || d->value > d->maximum) std::abort();
    } else if (p.kind() == PARAM_CHOICE) {
        if (reinterpret_cast<const ChoiceDescriptor*>(p.descriptor)->value >= p.entries().size())
            std::abort();
    }
    p.valueText();
    p.rangeText();
    return 0;
}
