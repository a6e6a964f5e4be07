// The studio's open pages, each by the id it sends with every call, at most
// a given number of them: a page seen for the first time when the table is
// full takes the place of the one used longest ago. A page still being
// answered keeps its session alive through the pointer it was given.
#ifndef FIELDFX_STUDIO_SESSION_TABLE_H
#define FIELDFX_STUDIO_SESSION_TABLE_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace fieldfx::studio {

template <class Session>
class SessionTable {
public:
    explicit SessionTable(std::size_t limit) : limit_(limit < 1 ? 1 : limit) {}

    // The session of `id`, made on its first call.
    std::shared_ptr<Session> get(const std::string& id) {
        const std::lock_guard<std::mutex> hold(lock_);
        Slot& slot = slots_[id];
        // A counter, not a clock: two calls never tie, and the session just
        // made or used is always the newest.
        slot.used = ++clock_;
        if (!slot.session) {
            slot.session = std::make_shared<Session>();
            while (slots_.size() > limit_) {
                auto oldest = slots_.begin();
                for (auto it = slots_.begin(); it != slots_.end(); ++it)
                    if (it->second.used < oldest->second.used) oldest = it;
                slots_.erase(oldest);  // never `slot`: it is the newest
            }
        }
        return slot.session;
    }

    std::size_t size() {
        const std::lock_guard<std::mutex> hold(lock_);
        return slots_.size();
    }

    void clear() {
        const std::lock_guard<std::mutex> hold(lock_);
        slots_.clear();
    }

private:
    struct Slot {
        std::shared_ptr<Session> session;
        uint64_t used = 0;
    };
    std::size_t limit_;
    std::mutex lock_;
    std::map<std::string, Slot> slots_;
    uint64_t clock_ = 0;
};

}  // namespace fieldfx::studio

#endif
