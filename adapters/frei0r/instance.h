// One frei0r instance: a private copy of the operator module, the effect
// that drives it, and the frame's fields.
//
// Time. A filter counts its own fields: each frame is the next one, its
// fields at positions 2n and 2n + 1 in the field order. The host's time only
// tells when to start again: when it does not move forward (a seek back, a
// second pass over the clip) the operator is opened anew and counting starts
// from 0, so a pass from the start gives the same bytes every time, also for
// Standbild, whose shake depends on the fields before. A seek forward
// carries on counting.
// A transition takes its place from the Progress parameter instead, which
// the host animates from 0 (first frame) to 1 (last): the frame's fields are
// at 2 round(progress x length) and one after, of a span of 2 x length
// fields, so progress 1 lies at the span's end, fully the incoming clip.
// (MLT passes a transition the seconds since its start but not its length,
// and FFmpeg runs no transitions, so the time alone cannot place a frame.)
#ifndef FIELDFX_FREI0R_INSTANCE_H
#define FIELDFX_FREI0R_INSTANCE_H

#include <memory>
#include <string>
#include <vector>

#include "fieldfx/runtime/effect.h"
#include "fieldfx/runtime/module.h"
#include "fieldfx/runtime/parameters.h"
#include "frame_fields.h"
#include "plugin_params.h"

namespace fieldfx::frei0r {

class Instance {
public:
    // Throws runtime::Error when the module cannot be loaded.
    Instance(const std::string& name, const std::string& path,
             const std::vector<PluginParam>& params, int32_t width, int32_t height);
    ~Instance();

    // frei0r's value pointers; an unknown index or a value that does not fit
    // leaves the setting as it was.
    void setParam(int index, const void* value);
    void getParam(int index, void* value);

    // One frame: inputs[0] (and inputs[1] for a transition) into `out`.
    void update(double time, const uint32_t* const inputs[2], uint32_t* out);

private:
    class CurrentField;
    void render(const uint32_t* const inputs[2], uint32_t* out);

    const std::vector<PluginParam>& params_;
    std::unique_ptr<runtime::OperatorModule> module_;
    runtime::ParameterSet set_;
    FrameFields frames_;
    std::unique_ptr<CurrentField> sources_[2];
    std::unique_ptr<runtime::Effect> effect_;
    Picture pictures_[2];
    io::Field output_[2];
    std::vector<std::string> texts_;  // what string parameters read back

    FieldOrder order_ = FieldOrder::TopFirst;
    double pixelAspect_ = 0.5, progress_ = 0.0, length_ = 0.025;
    runtime::EffectSettings opened_;  // the settings of the open effect
    bool open_ = false, failed_ = false;
    uint32_t nextFrame_ = 0;
    double lastTime_ = 0.0;
};

}  // namespace fieldfx::frei0r

#endif
