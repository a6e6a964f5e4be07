// Parameters that change over a render: "angle=0@0,45@2s" sets Angle to 0
// at frame 0 and to 45 at two seconds. Each key is a value in the
// parameter's own syntax, "@", and a time: a frame or seconds ("2s", "0.5s"),
// seconds on the nearest frame as every time is (values.h).
// A position's own commas stay with its key: "centre=100,50@0,300,50@20".
// Sliders and positions move linearly between keys, rounded to whole steps;
// choices and colours keep each key's value until the next. Before the first
// key the first value holds, after the last the last.
#ifndef FIELDFX_RUNTIME_KEYFRAMES_H
#define FIELDFX_RUNTIME_KEYFRAMES_H

#include <string>
#include <vector>

#include "fieldfx/runtime/parameters.h"
#include "fieldfx/runtime/values.h"

namespace fieldfx::runtime {

// True when an assignment's value carries keys ("@").
bool hasKeys(const std::string& assignment);

class Keyframes {
public:
    // `keys` as above; `rate` in frames a second turns seconds into frames
    // (0: seconds are refused). Throws Error(Usage) naming the bad key.
    Keyframes(const Parameter& parameter, const std::string& keys, double rate);

    // Writes the value at `frame` into the parameter's descriptor in
    // `module` (the module the keys were read for, or a copy of it).
    void applyAt(double frame, const OperatorModule& module) const;

private:
    int index_;  // the parameter's tag index
    uint16_t kind_;
    std::vector<Key> keys_;
};

// Every "--set name=keys" of `assignments` with keys, in order.
std::vector<Keyframes> keyedParameters(ParameterSet& set,
                                       const std::vector<std::string>& assignments, double rate);

}  // namespace fieldfx::runtime

#endif
