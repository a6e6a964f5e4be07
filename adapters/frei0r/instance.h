// One frei0r instance: a private copy of the operator module, the effect
// that drives it, and the frame's fields.
//
// Time. A frame's place comes from the time the host passes (seconds;
// FFmpeg's filter passes milliseconds, see plugin.cpp), never from
// counting calls: frame n = round(time x frame rate) (the "Frame rate"
// parameter, 25 unless set), its fields at positions 2n and 2n + 1 in the
// field order. So any number of instances, on any threads, in any order,
// seeking anywhere, give the fields of one sequential render. An operator
// whose fields depend on the ones before (Standbild: its generator runs from
// OP_OPEN across every request) replays the positions it has not rendered,
// with this frame's fields and settings and the output dropped, as a
// `render --range` segment does; going back opens it anew first.
//
// Transitions. The span is the host's transition when it says (MLT sets the
// parameters "in" and "out" of a transition), else "Length" frames. With N
// frames the span is 2 (N - 1) fields and frame n of it lies at fields 2n and
// 2n + 1, so the first frame is the outgoing clip and the last lies at the
// span's end. Frame n comes from the time, as for a filter, unless the host
// sets "Progress" (a user's keys): then n = round(Progress x (N - 1)).
//
// Opacity. New scratch images start as the input field, so an operator that
// writes colour bytes only into one (Drunken, Standbild) keeps the input's
// alpha.
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
    // (NaN, an infinity where a number of frames is meant) leaves the setting
    // as it was; numbers outside 0..1 are clamped into it.
    void setParam(int index, const void* value);
    void getParam(int index, void* value);

    // One frame: inputs[0] (and inputs[1] for a transition) into `out`.
    void update(double time, const uint32_t* const inputs[2], uint32_t* out);

private:
    class CurrentField;
    void render(double time, const uint32_t* const inputs[2], uint32_t* out);
    runtime::EffectSettings settings(uint32_t spanFrames) const;
    std::vector<uint8_t> preferences() const;
    void writePositions(const runtime::ActiveRect& active);
    uint32_t frameAt(double time) const;
    void process(uint32_t position, int count, bool keep);

    const std::vector<PluginParam>& params_;
    std::unique_ptr<runtime::OperatorModule> module_;
    FrameFields frames_;
    std::unique_ptr<CurrentField> sources_[2];
    std::unique_ptr<runtime::Effect> effect_;
    Picture pictures_[2];
    io::Field output_[2];
    std::vector<double> values_;  // the adapter-side values, by index
    bool keyed_ = false;          // the host has set Progress
    bool outGiven_ = false;       // the host has set "out"

    runtime::EffectSettings opened_;  // the settings of the open effect
    std::vector<uint8_t> openedPrefs_;
    bool open_ = false, failed_ = false;
    uint32_t next_ = 0;  // the first position the open effect has not rendered
};

}  // namespace fieldfx::frei0r

#endif
