// fieldfx studio's input clips: opened by render's own code once per kind
// of effect, their decoded fields shared through a bounded cache, and a
// thread that reads ahead of the fields the page looked at last.
#ifndef FIELDFX_CLI_STUDIO_FOOTAGE_H
#define FIELDFX_CLI_STUDIO_FOOTAGE_H

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fieldfx/runtime/effect.h"
#include "fieldfx/studio/field_cache.h"
#include "job.h"

namespace fieldfx::cli::backend {

// The input clips of one kind of effect (filters or transitions), opened by
// render's own code, with their decoded fields cached. A thread reads ahead
// of the fields last asked for while the page looks at them, so that
// stepping on finds the next ones decoded.
class Footage {
public:
    // `inputs` as the page chose them, `words` the render command's input
    // and span options.
    Footage(EffectJob job, std::vector<std::string> inputs, std::vector<std::string> words,
            std::size_t cacheBytes)
        : job_(std::move(job)), inputs_(std::move(inputs)), words_(std::move(words)),
          cache_(cacheBytes),
          last_(job_.clips.size(), SIZE_MAX), ahead_(job_.clips.size(), 0),
          wanted_(job_.clips.size(), 0), reader_([this] { readAhead(); }) {}

    ~Footage();

    const EffectJob& job() const { return job_; }
    // The input and span options of the render command.
    const std::vector<std::string>& words() const { return words_; }
    const std::vector<std::string>& inputs() const { return inputs_; }

    // Replaced by other clips: the cache is emptied and keeps one field from
    // now on, and nothing more is read ahead.
    void retire();

    // Field `index` of input `clip` (counted in the clip, not the span).
    std::shared_ptr<const io::Field> field(int clip, std::size_t index);

private:
    static constexpr std::size_t kBehind = 4, kAhead = 8;

    std::shared_ptr<const io::Field> read(std::size_t clip, std::size_t i);

    void readAhead();

    EffectJob job_;
    std::vector<std::string> inputs_, words_;
    std::mutex lock_;
    std::condition_variable changed_;
    bool stop_ = false;
    studio::FieldCache cache_;
    std::vector<std::size_t> last_;    // of each clip, the field read last
    std::vector<std::size_t> ahead_;   // the next field to read ahead
    std::vector<std::size_t> wanted_;  // read ahead up to here
    std::thread reader_;  // last: starts when the rest is ready
};

// An input of a session's effect: fields of the span through the cache,
// each held until the next request.
class CachedSource : public runtime::FieldSource {
public:
    CachedSource(Footage& footage, int clip) : footage_(footage), clip_(clip) {}
    const io::Field* fieldAt(uint32_t position) override {
        const std::size_t i = footage_.job().firstField + position;
        if (i >= footage_.job().clips[std::size_t(clip_)]->fieldCount()) return nullptr;
        held_.push_back(footage_.field(clip_, i));
        return held_.back().get();
    }
    void release() { held_.clear(); }

private:
    Footage& footage_;
    int clip_;
    std::vector<std::shared_ptr<const io::Field>> held_;
};

}  // namespace fieldfx::cli::backend

#endif
