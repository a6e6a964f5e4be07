#include "fieldfx/studio/field_cache.h"

namespace fieldfx::studio {

std::shared_ptr<const io::Field> FieldCache::find(const Key& key) {
    const auto it = index_.find(key);
    if (it == index_.end()) return nullptr;
    entries_.splice(entries_.begin(), entries_, it->second);
    return it->second->field;
}

void FieldCache::insert(const Key& key, std::shared_ptr<const io::Field> field) {
    const auto old = index_.find(key);
    if (old != index_.end()) {
        bytes_ -= old->second->field->pixels.size();
        entries_.erase(old->second);
        index_.erase(old);
    }
    bytes_ += field->pixels.size();
    entries_.push_front(Entry{key, std::move(field)});
    index_[key] = entries_.begin();
    while (bytes_ > budget_ && entries_.size() > 1) {
        const Entry& last = entries_.back();
        bytes_ -= last.field->pixels.size();
        index_.erase(last.key);
        entries_.pop_back();
    }
}

}  // namespace fieldfx::studio
