#include "fieldfx/runtime/effect_pool.h"

#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

namespace fieldfx::runtime {

namespace {

// The field a module copy whose first position is `first` requests before
// it, -1 for none: the field of the span's first frame with the parity of
// `first`, unless `first` is in that frame. The first frame, because an
// operator that sets something up at its first request (Iris's map) does so
// from the values of that moment, and keys change values per frame; the
// same parity, because an operator that keeps something per parity
// (Tunnel's geometry table) then makes nothing the copy would not make anyway.
int64_t primePosition(uint32_t first) { return first < 2 ? -1 : int64_t(first & 1u); }

// Input fields from `first` on, by the message's position.
class ClipSource : public FieldSource {
public:
    ClipSource(io::ClipReader& clip, std::size_t first) : clip_(clip), first_(first) {}
    const io::Field* fieldAt(uint32_t position) override {
        const std::size_t i = first_ + position;
        return i < clip_.fieldCount() ? &clip_.field(i) : nullptr;
    }

private:
    io::ClipReader& clip_;
    std::size_t first_;
};

// One field in flight between the reading thread and a worker.
struct Slot {
    enum State { Free, Ready, Done } state = Free;
    std::size_t index = 0;  // into the positions
    bool has[2] = {false, false};
    io::Field inputs[2];
    std::unique_ptr<io::LaterField> later[2];  // inputs the worker makes
    io::Field output;
    std::vector<std::string> warnings;
    std::exception_ptr error;
};

// An input as a worker's effect sees it: the field read ahead for the
// request in progress, which the effect may take over unless it is shared
// (the slot is refilled before its next use); any other position, or that
// one once taken, straight from the clip, under the lock the reading thread
// takes too.
class AheadSource : public FieldSource {
public:
    AheadSource(io::ClipReader& clip, std::size_t first, std::mutex& clipLock)
        : clip_(clip), first_(first), clipLock_(clipLock) {}
    // `shared`: the field is read by other workers too, never taken.
    void serve(uint32_t position, io::Field* field, bool shared) {
        position_ = position;
        field_ = field;
        shared_ = shared;
        taken_ = false;
    }
    io::Field* takeField(uint32_t position) override {
        if (position != position_ || taken_ || shared_) return nullptr;
        taken_ = true;
        return field_;
    }
    const io::Field* fieldAt(uint32_t position) override {
        if (position == position_ && field_ != nullptr && !taken_) return field_;
        const std::lock_guard<std::mutex> hold(clipLock_);
        const std::size_t i = first_ + position;
        if (i >= clip_.fieldCount()) return nullptr;
        other_ = clip_.field(i);
        return &other_;
    }

private:
    io::ClipReader& clip_;
    std::size_t first_;
    std::mutex& clipLock_;
    uint32_t position_ = 0;
    io::Field* field_ = nullptr;
    bool taken_ = false, shared_ = false;
    io::Field other_;
};

// An effect on its own module copy, opened for the render.
struct Worker {
    std::unique_ptr<OperatorModule> copy;  // null: the setup's own module
    std::vector<AheadSource> sources;
    std::unique_ptr<Effect> effect;
    std::thread thread;
    const OperatorModule& module(const OperatorModule& own) const { return copy ? *copy : own; }
};

}  // namespace

bool rendersInOrder(const OperatorModule& module) { return module.name() == "Standbild"; }

EffectPool::EffectPool(const PoolSetup& setup, Warn warn) : setup_(setup), warn_(std::move(warn)) {}

void EffectPool::openEffect(Effect& effect) const {
    if (!setup_.prefs.empty()) effect.applyPreferences(setup_.prefs);
    effect.open(setup_.settings, setup_.width, setup_.height);
}

// The keyed parameters' values of the frame that holds field `position`,
// written into `module` (the setup's, or a worker's copy).
void EffectPool::applyKeys(const OperatorModule& module, uint32_t position) const {
    if (setup_.keyframes == nullptr) return;
    for (const Keyframes& k : *setup_.keyframes) k.applyAt(position / 2, module);
}

void EffectPool::warnAll(std::vector<std::string> notes) const {
    for (const std::string& n : notes) warn_(n);
}

void EffectPool::render(const std::vector<uint32_t>& positions, const Take& take) {
    const bool inOrder = rendersInOrder(*setup_.module);
    const std::size_t workers =
        inOrder ? 1 : std::min<std::size_t>(setup_.threads, positions.size());
    // Positions that skip some from 0 on (a part of the span, a preview) of
    // an operator rendered in order need the skipped ones replayed.
    const bool replays = inOrder && !positions.empty() && positions.back() + 1 != positions.size();
    if (setup_.threads <= 1 || positions.size() <= 1 || replays) renderInline(positions, take);
    else renderOnWorkers(positions, workers, take);
}

void EffectPool::renderInline(const std::vector<uint32_t>& positions, const Take& take) {
    const OperatorModule& module = *setup_.module;
    std::vector<ClipSource> sources;
    for (io::ClipReader* c : setup_.clips) sources.emplace_back(*c, setup_.firstField);
    Effect effect(module);
    for (std::size_t i = 0; i < sources.size(); ++i) effect.setInput(int(i), &sources[i]);
    openEffect(effect);
    warnAll(effect.takeWarnings());
    // The positions skipped by an operator rendered in order are requested
    // too, their fields dropped; any other starts at the span's first field.
    const bool inOrder = rendersInOrder(module);
    if (const int64_t q = positions.empty() ? -1 : primePosition(positions.front());
        !inOrder && q >= 0) {
        applyKeys(module, uint32_t(q));
        effect.process(uint32_t(q), io::holdsOddLines(setup_.order, unsigned(q)));
        effect.takeWarnings();
    }
    io::Field out;  // the field handed on; its buffer goes back to the effect
    uint32_t next = 0;  // the positions below have been requested
    for (uint32_t p : positions) {
        for (; inOrder && next < p; ++next) {
            applyKeys(module, next);
            effect.process(next, io::holdsOddLines(setup_.order, next & 1u));
            warnAll(effect.takeWarnings());
        }
        next = p + 1;
        applyKeys(module, p);
        effect.process(p, io::holdsOddLines(setup_.order, p & 1u));
        effect.swapOutput(out);
        warnAll(effect.takeWarnings());
        take(p, out);
    }
    effect.close();
    warnAll(effect.takeWarnings());
}

// Position k goes to worker k % workers through slot k % slots. Two slots a
// worker and two more: each worker has a field waiting while it renders
// one, and reading keeps ahead while the oldest field is being taken.
void EffectPool::renderOnWorkers(const std::vector<uint32_t>& positions, std::size_t workerCount,
                                 const Take& take) {
    const std::size_t n = positions.size();
    const OperatorModule& own = *setup_.module;
    const std::vector<io::ClipReader*>& clips = setup_.clips;
    std::mutex clipLock, lock;
    std::condition_variable changed;
    bool stop = false;
    std::vector<Slot> slots(2 * workerCount + 2);
    std::vector<Worker> workers(workerCount);
    // The fields of the span's first frame that workers request first, read
    // before the others.
    bool primes[2] = {false, false};
    for (std::size_t w = 0; w < workerCount; ++w)
        if (const int64_t q = primePosition(positions[w]); q >= 0) primes[q] = true;
    Slot prime[2];
    for (std::size_t w = 0; w < workerCount; ++w) {
        Worker& worker = workers[w];
        if (w > 0) worker.copy = own.copy();
        worker.effect = std::make_unique<Effect>(worker.module(own));
        for (io::ClipReader* c : clips) worker.sources.emplace_back(*c, setup_.firstField, clipLock);
        for (std::size_t i = 0; i < worker.sources.size(); ++i)
            worker.effect->setInput(int(i), &worker.sources[i]);
        openEffect(*worker.effect);
        // Copies of one module with one setting note the same at OP_OPEN and
        // OP_CLOSE: the first worker's notes stand for all.
        if (w == 0) warnAll(worker.effect->takeWarnings());
        else worker.effect->takeWarnings();
    }

    auto work = [&](std::size_t w) {
        Worker& worker = workers[w];
        const OperatorModule& module = worker.module(own);
        const int64_t q = primePosition(positions[w]);
        bool primed = q < 0;
        for (std::size_t k = w; k < n; k += workerCount) {
            Slot& s = slots[k % slots.size()];
            {
                std::unique_lock<std::mutex> hold(lock);
                changed.wait(hold,
                             [&] { return stop || (s.state == Slot::Ready && s.index == k); });
                if (stop) return;
            }
            try {
                // Published before the first slot: the prime fields are read.
                if (!primed) {
                    Slot& first = prime[q];
                    for (std::size_t i = 0; i < worker.sources.size(); ++i)
                        worker.sources[i].serve(uint32_t(q),
                                                first.has[i] ? &first.inputs[i] : nullptr, true);
                    applyKeys(module, uint32_t(q));
                    worker.effect->process(uint32_t(q), io::holdsOddLines(setup_.order, unsigned(q)));
                    worker.effect->takeWarnings();
                    primed = true;
                }
                for (std::size_t i = 0; i < worker.sources.size(); ++i)
                    if (std::unique_ptr<io::LaterField> later = std::move(s.later[i]))
                        later->make(s.inputs[i]);
                const uint32_t p = positions[k];
                for (std::size_t i = 0; i < worker.sources.size(); ++i)
                    worker.sources[i].serve(p, s.has[i] ? &s.inputs[i] : nullptr, false);
                applyKeys(module, p);
                worker.effect->process(p, io::holdsOddLines(setup_.order, p & 1u));
                worker.effect->swapOutput(s.output);
                s.warnings = worker.effect->takeWarnings();
            } catch (...) {
                s.error = std::current_exception();
            }
            {
                const std::lock_guard<std::mutex> hold(lock);
                s.state = Slot::Done;
            }
            changed.notify_all();
        }
    };
    // The reading thread decodes ahead into free slots while this thread
    // hands finished fields on: neither waits for the other's work. The
    // conversion of a decoded frame into fields is left to the workers where
    // the clip can leave it. A field that cannot be read fails its slot, and
    // the reading ends there.
    auto readAhead = [&] {
        if (primes[0] || primes[1]) {
            try {
                const std::lock_guard<std::mutex> hold(clipLock);
                for (std::size_t q = 0; q < 2; ++q)
                    for (std::size_t i = 0; primes[q] && i < clips.size(); ++i) {
                        const std::size_t f = setup_.firstField + q;
                        prime[q].has[i] = f < clips[i]->fieldCount();
                        if (prime[q].has[i]) prime[q].inputs[i] = clips[i]->field(f);
                    }
            } catch (...) {
                Slot& s = slots[0];
                s.error = std::current_exception();
                {
                    const std::lock_guard<std::mutex> hold(lock);
                    s.index = 0;
                    s.state = Slot::Done;
                }
                changed.notify_all();
                return;
            }
        }
        for (std::size_t r = 0; r < n; ++r) {
            Slot& s = slots[r % slots.size()];
            {
                std::unique_lock<std::mutex> hold(lock);
                changed.wait(hold, [&] { return stop || s.state == Slot::Free; });
                if (stop) return;
            }
            s.error = nullptr;
            try {
                const std::lock_guard<std::mutex> hold(clipLock);
                for (std::size_t i = 0; i < clips.size(); ++i) {
                    const std::size_t f = setup_.firstField + positions[r];
                    s.has[i] = f < clips[i]->fieldCount();
                    s.later[i].reset();
                    if (!s.has[i]) continue;
                    s.later[i] = clips[i]->takeLater(f);
                    if (!s.later[i]) clips[i]->takeField(f, s.inputs[i]);
                }
            } catch (...) {
                s.error = std::current_exception();
            }
            const bool failed = s.error != nullptr;  // the slot is the worker's once published
            {
                const std::lock_guard<std::mutex> hold(lock);
                s.index = r;
                s.state = failed ? Slot::Done : Slot::Ready;
            }
            changed.notify_all();
            if (failed) return;
        }
    };
    // However this ends, the threads stop and are joined before the effects go.
    std::thread reader;
    struct Joiner {
        std::vector<Worker>& workers;
        std::thread& reader;
        std::mutex& lock;
        std::condition_variable& changed;
        bool& stop;
        ~Joiner() {
            {
                const std::lock_guard<std::mutex> hold(lock);
                stop = true;
            }
            changed.notify_all();
            if (reader.joinable()) reader.join();
            for (Worker& w : workers)
                if (w.thread.joinable()) w.thread.join();
        }
    } joiner{workers, reader, lock, changed, stop};
    for (std::size_t w = 0; w < workerCount; ++w) workers[w].thread = std::thread(work, w);
    reader = std::thread(readAhead);

    for (std::size_t k = 0; k < n; ++k) {
        Slot& s = slots[k % slots.size()];
        {
            std::unique_lock<std::mutex> hold(lock);
            changed.wait(hold, [&] { return s.state == Slot::Done && s.index == k; });
        }
        warnAll(std::move(s.warnings));
        s.warnings.clear();
        if (s.error) std::rethrow_exception(s.error);
        take(positions[k], s.output);
        {
            const std::lock_guard<std::mutex> hold(lock);
            s.state = Slot::Free;
        }
        changed.notify_all();
    }
    reader.join();
    for (Worker& w : workers) w.thread.join();
    for (Worker& w : workers) w.effect->close();
    warnAll(workers[0].effect->takeWarnings());
}

}  // namespace fieldfx::runtime
