// Rendering chosen fields of one effect's span, on as many threads as asked:
// the pool makes a copy of the operator module for each worker, opens an
// effect on each, deals the positions out to them in turn, reads the input
// fields ahead on a thread of its own and hands the finished fields on in
// order, on the calling thread.
//
// The bytes are those of one effect rendering the whole span from its first
// field on, whatever the threads:
// - an effect's field depends on nothing but its own request and the
//   values of that moment, with two exceptions the pool provides for;
// - an operator that sets something up at an effect's first request (Iris
//   makes its distance map from the Centre of that moment) gets, on every
//   module copy whose first position is not in the span's first frame, the
//   field of that frame with the same parity requested first, with that
//   frame's values, its output and notes dropped: every copy starts as the
//   whole render does;
// - an operator whose fields depend on every request before them
//   (rendersInOrder) is rendered by one worker in order, and given positions
//   that skip some from 0 on (a part of the span, a preview) on the calling
//   thread with the skipped positions requested too, their fields dropped.
#ifndef FIELDFX_RUNTIME_EFFECT_POOL_H
#define FIELDFX_RUNTIME_EFFECT_POOL_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "fieldfx/fieldio/frames.h"
#include "fieldfx/fieldio/sequence.h"
#include "fieldfx/runtime/effect.h"
#include "fieldfx/runtime/keyframes.h"
#include "fieldfx/runtime/module.h"

namespace fieldfx::runtime {

// What the effects of a render are set up with and read from.
struct PoolSetup {
    const OperatorModule* module = nullptr;  // parameters set; its copies take its values
    EffectSettings settings;                 // duration: the span in fields
    int32_t width = 0, height = 0;           // field size
    std::vector<uint8_t> prefs;              // preference block (OP_SETUP), or empty
    const std::vector<Keyframes>* keyframes = nullptr;  // applied for each field's frame
    std::vector<io::ClipReader*> clips;      // inputs 0 and 1 (a transition)
    std::size_t firstField = 0;              // the span starts at this field of the clips
    io::FieldOrder order = io::FieldOrder::TopFirst;
    unsigned threads = 1;                    // effects rendering at once
};

// Operators whose fields depend on the requests before them within one
// effect (Standbild's shake and noise come from a generator that runs from
// OP_OPEN across every request).
bool rendersInOrder(const OperatorModule& module);

class EffectPool {
public:
    // The field at span position `position`, in order; `take` may keep its
    // buffer (swap it out).
    using Take = std::function<void(uint32_t position, io::Field& field)>;
    // A note of the operator or the host (log records of successful
    // requests), as text.
    using Warn = std::function<void(const std::string& text)>;

    EffectPool(const PoolSetup& setup, Warn warn);

    // OP_OPEN, OP_PROCESS for each of `positions` (increasing), OP_CLOSE on
    // every effect. Notes of OP_OPEN and OP_CLOSE are those of one effect
    // (its copies note the same); a field's notes come before the field.
    // Throws the first failing field's error, in order, after the threads
    // have stopped.
    void render(const std::vector<uint32_t>& positions, const Take& take);

private:
    void renderInline(const std::vector<uint32_t>& positions, const Take& take);
    void renderOnWorkers(const std::vector<uint32_t>& positions, std::size_t workers,
                         const Take& take);
    void openEffect(Effect& effect) const;
    void applyKeys(const OperatorModule& module, uint32_t position) const;
    void warnAll(std::vector<std::string> notes) const;

    PoolSetup setup_;
    Warn warn_;
};

}  // namespace fieldfx::runtime

#endif
