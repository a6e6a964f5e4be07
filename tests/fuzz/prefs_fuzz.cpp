// The 112-byte transition preference block. A block that decodes as valid
// encodes back to the same bytes, its text form reads back to the same
// choice, and its pattern draws at any size; any other block reads as the
// default transition.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "fieldfx/patterns/transition_prefs.h"

using fieldfx::TransitionChoice;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const int width = in.ConsumeIntegralInRange(1, 64);
    const int height = in.ConsumeIntegralInRange(1, 64);
    uint8_t block[fieldfx::kTransitionPrefsSize] = {};
    in.ConsumeData(block, sizeof block);
    // The text of `--pattern` and of a host's answer is no block: a copy on
    // the heap at its exact size lets AddressSanitizer watch every read.
    auto exact = std::make_unique<uint8_t[]>(sizeof block);
    std::memcpy(exact.get(), block, sizeof block);

    TransitionChoice choice;
    if (!fieldfx::decodeTransitionPrefs(exact.get(), choice)) {
        if (!(choice == fieldfx::defaultTransition())) std::abort();
        return 0;
    }
    uint8_t again[sizeof block];
    if (!fieldfx::encodeTransitionPrefs(choice, again)) std::abort();
    if (block[0] != 0 && std::memcmp(again, block, sizeof block) != 0) std::abort();
    if (choice.source != TransitionChoice::Source::Pattern) return 0;  // never open fuzzed paths

    TransitionChoice parsed;
    std::string error;
    if (!fieldfx::parseTransitionArgument(fieldfx::describeTransition(choice), parsed, &error) ||
        !(parsed == choice))
        std::abort();
    auto mask = std::make_unique<uint8_t[]>(std::size_t(width) * height);
    if (!fieldfx::renderTransition(choice, width, height, mask.get(), &error)) std::abort();
    return 0;
}
