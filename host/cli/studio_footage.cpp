#include "studio_footage.h"

#include <algorithm>
#include <cstdint>

namespace fieldfx::cli::backend {

Footage::~Footage() {
    {
        const std::lock_guard<std::mutex> hold(lock_);
        stop_ = true;
    }
    changed_.notify_all();
    reader_.join();
}

void Footage::retire() {
    const std::lock_guard<std::mutex> hold(lock_);
    cache_ = studio::FieldCache(0);
    wanted_ = ahead_;
}

std::shared_ptr<const io::Field> Footage::field(int clip, std::size_t index) {
    std::unique_lock<std::mutex> hold(lock_);
    const std::size_t c = std::size_t(clip);
    // The fields after this one are read next, when nothing else is.
    ahead_[c] = index + 1;
    wanted_[c] = std::min(index + 1 + kAhead, job_.clips[c]->fieldCount());
    changed_.notify_all();
    if (auto f = cache_.find({clip, index})) return f;
    // A video is decoded forward: the fields just before the one asked
    // for come on the way (or cost little more), and scrubbing back over
    // them finds them here.
    std::size_t from = index >= kBehind ? index - kBehind : 0;
    if (last_[c] < index && last_[c] + 1 > from) from = last_[c] + 1;
    std::shared_ptr<const io::Field> result;
    for (std::size_t i = from; i <= index; ++i) {
        if (i != index && cache_.find({clip, i})) continue;
        auto f = read(c, i);
        if (i == index) result = f;
    }
    return result;
}

std::shared_ptr<const io::Field> Footage::read(std::size_t clip, std::size_t i) {
    auto f = std::make_shared<io::Field>(job_.clips[clip]->field(i));
    last_[clip] = i;
    cache_.insert({int(clip), i}, f);
    return f;
}

void Footage::readAhead() {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        changed_.wait(hold, [&] {
            if (stop_) return true;
            for (std::size_t c = 0; c < ahead_.size(); ++c)
                if (ahead_[c] < wanted_[c]) return true;
            return false;
        });
        if (stop_) return;
        for (std::size_t c = 0; c < ahead_.size(); ++c) {
            if (ahead_[c] >= wanted_[c]) continue;
            const std::size_t i = ahead_[c]++;
            try {
                if (!cache_.find({int(c), i})) read(c, i);
            } catch (const std::exception&) {
                wanted_[c] = ahead_[c];  // the request that comes to it reports it
            }
            // Let a waiting request in between two fields.
            hold.unlock();
            std::this_thread::yield();
            hold.lock();
        }
    }
}

}  // namespace fieldfx::cli::backend
