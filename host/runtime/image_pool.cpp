#include "fieldfx/runtime/image_pool.h"

#include <algorithm>
#include <cstring>

namespace fieldfx::runtime {

void ImagePool::configure(int32_t width, int32_t height, ActiveRect active) {
    width_ = width;
    height_ = height;
    active_ = active;
}

FieldImage* ImagePool::acquire() { return take(true); }

FieldImage* ImagePool::acquireForCopy() { return take(false); }

FieldImage* ImagePool::adopt(std::vector<uint8_t>& pixels) { return take(false, &pixels); }

namespace {

// `n` pixels of `value`, sixteen at a time through a 64-byte block (fixed-size
// copies the compiler turns into vector stores; a plain loop stores one
// pixel at a time).
void fillPixels(uint8_t* out, std::size_t n, uint32_t value) {
    uint32_t block[16];
    std::fill_n(block, 16, value);
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) std::memcpy(out + 4 * i, block, sizeof block);
    std::memcpy(out + 4 * i, block, 4 * (n - i));
}

}  // namespace

FieldImage* ImagePool::take(bool fillBlack, std::vector<uint8_t>* adopted) {
    const std::size_t n = std::size_t(width_) * height_;
    Slot* slot = nullptr;
    for (Slot& s : images_)
        if (!s.out) {
            slot = &s;
            break;
        }
    if (slot == nullptr) slot = &images_.emplace_back();
    if (adopted != nullptr) slot->pixels.swap(*adopted);
    if (slot->pixels.size() != 4 * n) {
        slot->pixels.resize(4 * n);
        fillBlack = true;
    }
    // On the little-endian targets the word's bytes in memory are FF 80 80
    // 10, the pixel byte order.
    if (fillBlack) fillPixels(slot->pixels.data(), n, BLACK_PIXEL);
    slot->out = true;
    slot->record = FieldImage{slot->pixels.data(), int16_t(width_), int16_t(height_),
                              active_.x,           active_.y,       active_.width,
                              active_.height};
    return &slot->record;
}

ImagePool::Slot* ImagePool::slotOf(const FieldImage* image) {
    for (Slot& s : images_)
        if (&s.record == image) return &s;
    return nullptr;
}

const ImagePool::Slot* ImagePool::slotOf(const FieldImage* image) const {
    for (const Slot& s : images_)
        if (&s.record == image) return &s;
    return nullptr;
}

bool ImagePool::release(FieldImage* image) {
    Slot* s = slotOf(image);
    if (s == nullptr || !s->out) return false;
    s->out = false;
    return true;
}

bool ImagePool::takeBack(FieldImage* image, std::vector<uint8_t>& pixels) {
    Slot* s = slotOf(image);
    if (s == nullptr || !s->out) return false;
    s->pixels.swap(pixels);
    s->out = false;
    return true;
}

bool ImagePool::isOut(const FieldImage* image) const {
    const Slot* s = slotOf(image);
    return s != nullptr && s->out;
}

int ImagePool::reclaimAll() {
    int n = 0;
    for (Slot& s : images_)
        if (s.out) {
            s.out = false;
            ++n;
        }
    return n;
}

int ImagePool::outstanding() const {
    return int(std::count_if(images_.begin(), images_.end(), [](const Slot& s) { return s.out; }));
}

}  // namespace fieldfx::runtime
