// The images the host hands to an operator: served fields and scratch
// images alike come from one pool sized to the effect's fields, so a long
// render allocates nothing per field once the pool has grown to what one
// request needs. Every image handed out is filled with BLACK_PIXEL, or with
// a served field's pixels, and carries the caller's active rectangle.
#ifndef FIELDFX_RUNTIME_IMAGE_POOL_H
#define FIELDFX_RUNTIME_IMAGE_POOL_H

#include <cstdint>
#include <deque>
#include <vector>

#include "fieldfx/operator.h"

namespace fieldfx::runtime {

struct ActiveRect {
    int16_t x = 0, y = 0, width = 0, height = 0;
};

class ImagePool {
public:
    // Images from now on: width x height with the given active rectangle.
    void configure(int32_t width, int32_t height, ActiveRect active);

    FieldImage* acquire();
    // An image whose every pixel the caller overwrites at once (a served
    // field): the black fill is skipped.
    FieldImage* acquireForCopy();
    // An image whose pixels are `pixels`' buffer (exactly width x height),
    // exchanged for the one the pool held: a served field without a copy.
    FieldImage* adopt(std::vector<uint8_t>& pixels);
    // Back into the pool; false when `image` is not one handed out (unknown,
    // or released already).
    bool release(FieldImage* image);
    // Back into the pool with its pixels exchanged for `pixels`' buffer (any
    // size; the pool refills it when it hands the image out again): an
    // operator's finished field leaves without a copy.
    bool takeBack(FieldImage* image, std::vector<uint8_t>& pixels);
    bool isOut(const FieldImage* image) const;
    // Takes back every image still out; returns how many there were.
    int reclaimAll();

    std::size_t allocated() const { return images_.size(); }
    int outstanding() const;

private:
    struct Slot {
        FieldImage record{};
        std::vector<uint8_t> pixels;
        bool out = false;
    };
    Slot* slotOf(const FieldImage* image);
    const Slot* slotOf(const FieldImage* image) const;
    FieldImage* take(bool fillBlack, std::vector<uint8_t>* adopted = nullptr);

    std::deque<Slot> images_;  // stable addresses: operators hold the records
    int32_t width_ = 0, height_ = 0;
    ActiveRect active_;
};

}  // namespace fieldfx::runtime

#endif
