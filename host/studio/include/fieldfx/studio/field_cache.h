// Decoded fields kept for the studio, least recently used first out, within
// a budget of bytes: scrubbing back and forth around the playhead decodes
// nothing twice, and a long clip cannot fill the memory.
#ifndef FIELDFX_STUDIO_FIELD_CACHE_H
#define FIELDFX_STUDIO_FIELD_CACHE_H

#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <utility>

#include "fieldfx/fieldio/field.h"

namespace fieldfx::studio {

class FieldCache {
public:
    using Key = std::pair<int, std::size_t>;  // input, field index
    explicit FieldCache(std::size_t budget) : budget_(budget) {}

    // The field, or null; a field found becomes the most recently used.
    std::shared_ptr<const io::Field> find(const Key& key);
    // Keeps `field` (replacing one of the same key), then drops the least
    // recently used fields until the budget holds (the newest always stays;
    // a field held by a caller lives on with its holder).
    void insert(const Key& key, std::shared_ptr<const io::Field> field);

    std::size_t bytes() const { return bytes_; }
    std::size_t size() const { return entries_.size(); }

private:
    struct Entry {
        Key key;
        std::shared_ptr<const io::Field> field;
    };
    std::size_t budget_;
    std::size_t bytes_ = 0;
    std::list<Entry> entries_;  // most recently used first
    std::map<Key, std::list<Entry>::iterator> index_;
};

}  // namespace fieldfx::studio

#endif
