#include "rank.h"

#include <algorithm>
#include <vector>

namespace fieldfx::patterns {

void rankKeys(const double* keys, std::size_t count, uint8_t* out) {
    struct Entry {
        double key;
        uint32_t index;
    };
    std::vector<Entry> order(count);
    for (std::size_t i = 0; i < count; ++i) order[i] = Entry{keys[i], static_cast<uint32_t>(i)};
    // Equal keys get one value, so their order among themselves does not matter.
    std::sort(order.begin(), order.end(),
              [](const Entry& a, const Entry& b) { return a.key < b.key; });
    std::size_t lastRun = 1;
    while (lastRun < count && order[count - 1 - lastRun].key == order[count - 1].key) ++lastRun;
    const uint64_t span = count - lastRun;
    for (std::size_t first = 0; first < count;) {
        std::size_t last = first + 1;
        while (last < count && order[last].key == order[first].key) ++last;
        const uint64_t spread =
            span == 0 ? 128 : std::min<uint64_t>(255, first * uint64_t(256) / span);
        const auto value = static_cast<uint8_t>(spread);
        for (std::size_t i = first; i < last; ++i) out[order[i].index] = value;
        first = last;
    }
}

}  // namespace fieldfx::patterns
