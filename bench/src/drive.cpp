#include "drive.h"

#include "fieldfx/runtime/error.h"

#ifndef FIELDFX_BENCH_OPS_DIR
#error "FIELDFX_BENCH_OPS_DIR must name the directory of the no-op modules"
#endif

namespace fieldfx::bench {

std::unique_ptr<runtime::OperatorModule> loadModule(const std::string& name) {
    if (name == kNoOpFilter || name == kNoOpTransition)
        return runtime::OperatorModule::loadFile(name,
                                                 std::string(FIELDFX_BENCH_OPS_DIR) + "/" + name +
                                                     ".so");
    return runtime::OperatorModule::load(name);
}

EffectRun::EffectRun(const runtime::OperatorModule& module, const RunSpec& runSpec,
                     std::vector<LoopedInput*> inputs)
    : module_(module), spec_(runSpec), params_(module), effect_(module) {
    const std::size_t needed = module.isFilter() ? 1 : 2;
    if (inputs.size() != needed)
        throw runtime::Error(runtime::ErrorKind::Usage,
                             module.name() + " takes " + std::to_string(needed) + " input(s)");
    for (const std::string& s : spec_.settings)
        if (!runtime::hasKeys(s)) params_.assign(s);
    keys_ = runtime::keyedParameters(params_, spec_.settings, 0.0);
    for (std::size_t i = 0; i < inputs.size(); ++i) effect_.setInput(int(i), inputs[i]);
    width_ = inputs[0]->first().width;
    height_ = inputs[0]->first().height;
    if (spec_.duration < 2) spec_.duration = 2;
    if (spec_.holdAt > int32_t(spec_.duration) - 2) spec_.holdAt = int32_t(spec_.duration) - 2;
    settings_.duration = spec_.duration;
    settings_.hasActive = spec_.hasActive;
    settings_.active = spec_.active;
    position_ = spec_.holdAt >= 0 ? uint32_t(spec_.holdAt) : 0;
    effect_.open(settings_, width_, height_);
}

EffectRun::~EffectRun() { effect_.close(); }

const io::Field& EffectRun::step() {
    const uint32_t position = position_;
    for (const runtime::Keyframes& k : keys_) k.applyAt(position / 2, module_);
    // Fields alternate top, bottom: position p is the odd-line field when p is odd.
    const io::Field& out = effect_.process(position, (position & 1u) != 0);
    if (spec_.holdAt >= 0) {
        const uint32_t held = uint32_t(spec_.holdAt);
        position_ = position == held ? held + 1 : held;
    } else if (++position_ == spec_.duration) {
        effect_.close();
        position_ = 0;
        effect_.open(settings_, width_, height_);
    }
    return out;
}

}  // namespace fieldfx::bench
