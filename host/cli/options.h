// Option values shared by the commands that run an effect.
#ifndef FIELDFX_CLI_OPTIONS_H
#define FIELDFX_CLI_OPTIONS_H

#include <cstdint>
#include <string>
#include <vector>

#include "args.h"
#include "fieldfx/runtime/effect.h"
#include "fieldfx/runtime/parameters.h"
#include "fieldfx/runtime/values.h"

namespace fieldfx::cli {

// Option values are read by the runtime's value layer (values.h).
using runtime::FrameRange;
using runtime::parseCount;
using runtime::parseFrames;
using runtime::parseRange;
using runtime::parseRate;

// --active, --pixel-aspect, --scale into the settings (duration is the
// caller's).
void readGeometryOptions(const Args& args, runtime::EffectSettings& settings);
// The active rectangle must lie within the field.
void checkActiveWithin(const runtime::EffectSettings& settings, int32_t width, int32_t height);

// Every --set without keys, in order; one with keys (value@time) is refused
// unless `keysAllowed` (the caller then reads it with keyedParameters).
void applySettings(const Args& args, runtime::ParameterSet& params, bool keysAllowed);

// --pattern: the preference block that selects a built-in wipe pattern
// ("circle", "clock:start=90,counter=1") or a mask file (any other text);
// empty when the option is absent.
std::vector<uint8_t> patternPreferences(const Args& args, const runtime::OperatorModule& module);

// Warnings of the effect to stderr.
void printWarnings(runtime::Effect& effect);

}  // namespace fieldfx::cli

#endif
