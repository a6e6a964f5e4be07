// Driving a real operator module through the runtime, request after request,
// the way a host renders: the effect opened once per span of fields, one
// OP_PROCESS per field, the inputs served from fields held in memory.
#ifndef FIELDFX_BENCH_DRIVE_H
#define FIELDFX_BENCH_DRIVE_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fieldfx/runtime/effect.h"
#include "fieldfx/runtime/keyframes.h"
#include "fieldfx/runtime/module.h"
#include "fieldfx/runtime/parameters.h"

namespace fieldfx::bench {

// The fields of one input, served in turn: position p reads field p mod n.
class LoopedInput : public runtime::FieldSource {
public:
    explicit LoopedInput(std::vector<io::Field> fields) : fields_(std::move(fields)) {}
    const io::Field* fieldAt(uint32_t position) override {
        return &fields_[position % fields_.size()];
    }
    const io::Field& first() const { return fields_.front(); }

private:
    std::vector<io::Field> fields_;
};

// The modules that measure the host alone; built beside the benchmarks, not
// among the operators.
constexpr const char* kNoOpFilter = "NoOp";
constexpr const char* kNoOpTransition = "NoOpTransition";

// Loads an operator by name from the runtime's search path, or one of the
// two no-op modules from the benchmarks' own directory.
std::unique_ptr<runtime::OperatorModule> loadModule(const std::string& name);

struct RunSpec {
    // "Name=value", as fieldfx render --set; keys ("value@frame,...") move a
    // parameter over the span as a render does, a frame (two fields) a step.
    std::vector<std::string> settings;
    uint32_t duration = 50;             // fields of one effect (its span)
    // Only the fields at positions holdAt and holdAt + 1, over and over (the
    // effect stays open); when negative, every position of the span in
    // turn, closing and reopening the effect at the end of each span.
    int32_t holdAt = -1;
    bool hasActive = false;
    runtime::ActiveRect active;
};

// One effect of `module` over `inputs` (one for a filter, two for a
// transition), opened on construction. Throws runtime::Error as the runtime
// does (a bad setting, an operator that refuses to open).
class EffectRun {
public:
    EffectRun(const runtime::OperatorModule& module, const RunSpec& runSpec,
              std::vector<LoopedInput*> inputs);
    ~EffectRun();
    EffectRun(const EffectRun&) = delete;
    EffectRun& operator=(const EffectRun&) = delete;

    // The next field of the span; the field the operator handed back.
    const io::Field& step();
    // The position the next step() renders.
    uint32_t nextPosition() const { return position_; }
    // What the runtime noted since the last call (operator log records,
    // images kept or released twice); a clean run notes nothing.
    std::vector<std::string> takeWarnings() { return effect_.takeWarnings(); }

private:
    void open();

    const runtime::OperatorModule& module_;
    RunSpec spec_;
    runtime::ParameterSet params_;
    runtime::Effect effect_;
    runtime::EffectSettings settings_;
    std::vector<runtime::Keyframes> keys_;
    int32_t width_ = 0, height_ = 0;
    uint32_t position_ = 0;
};

}  // namespace fieldfx::bench

#endif
