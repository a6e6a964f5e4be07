/*
 * Module-wide storage for tables an operator derives once per field or per
 * setting: grown to the largest size asked of it and kept, so a field's path
 * does not allocate once the first field of a size has run.
 */
#ifndef FIELDFX_HELPERS_PIXEL_TABLE_H
#define FIELDFX_HELPERS_PIXEL_TABLE_H

#include <cstddef>
#include <cstdlib>

namespace fieldfx {

template <typename T>
class TableStore {
public:
    TableStore() = default;
    TableStore(const TableStore&) = delete;
    TableStore& operator=(const TableStore&) = delete;
    // Given back when the module is unloaded.
    ~TableStore() { std::free(data_); }

    // Room for n elements (their values are not kept across a growth), or
    // null when the heap has none; the caller then computes without a table.
    T* reserve(std::size_t n) {
        if (n > capacity_) {
            std::free(data_);
            data_ = static_cast<T*>(std::malloc(n * sizeof(T)));
            capacity_ = data_ != nullptr ? n : 0;
        }
        return data_;
    }

private:
    T* data_ = nullptr;
    std::size_t capacity_ = 0;
};

}  // namespace fieldfx

#endif
