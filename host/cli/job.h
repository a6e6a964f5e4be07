// What render and preview share: the operator with its parameters set, the
// input clips, the field order and the span of the effect, and running the
// effect over chosen fields of that span.
#ifndef FIELDFX_CLI_JOB_H
#define FIELDFX_CLI_JOB_H

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "args.h"
#include "fieldfx/fieldio/sequence.h"
#include "fieldfx/runtime/effect.h"
#include "fieldfx/runtime/keyframes.h"
#include "fieldfx/runtime/module.h"
#include "media.h"

namespace fieldfx::cli {

struct EffectJob {
    std::unique_ptr<runtime::OperatorModule> module;
    runtime::EffectSettings settings;  // duration: the span in fields
    std::vector<uint8_t> prefs;        // --pattern's preference block, or empty
    std::vector<runtime::Keyframes> keyframes;  // --set with keys, applied per frame
    MediaOptions media;
    io::FieldOrder order = io::FieldOrder::TopFirst;
    double rate = 0.0;  // --rate, else the first input's, 0 for field files without it
    std::vector<std::unique_ptr<io::ClipReader>> clips;
    std::size_t firstField = 0;  // the span starts at this field of the inputs
    std::size_t fields = 0;      // and has this many
    int32_t width = 0, height = 0;  // field size
    unsigned threads = 1;           // --threads: module copies rendering at once
    // --range: the part of the span this render writes, as a segment of the
    // whole render.
    std::optional<SegmentOutput> segment;
};

// The options both commands take, which prepareJob reads, followed by the
// command's `own`.
std::vector<OptionSpec> effectOptions(std::initializer_list<OptionSpec> own);
// Their lines of --help.
extern const char kEffectOptionsHelp[];

// Reads the options both commands take (NAME, -i, --set, --start,
// --duration, --rate, --active, --pixel-aspect, --scale, --pattern,
// --field-order, --size, --threads and the output options), loads the
// operator and opens its inputs. Throws runtime::Error.
EffectJob prepareJob(const Args& args, const std::string& command);

// Renders `positions` (increasing) of the job's span through a
// runtime::EffectPool on job.threads workers, handing each output field to
// `take`, in order, on the calling thread; `take` may keep the field's
// buffer (swap it out). Warnings go to stderr.
void runEffect(EffectJob& job, const std::vector<uint32_t>& positions,
               const std::function<void(uint32_t, io::Field&)>& take);

}  // namespace fieldfx::cli

#endif
