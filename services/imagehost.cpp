// imagehost: scratch images for operators that cannot work in place.
#include "fieldfx/services/backend.h"
#include "service_backend.h"

#include <atomic>
#include <vector>

namespace {
fieldfx::InstalledBackend<ImageHostBackend> backend;

struct Adopted {
    FieldImage* image;
    void (*release)(FieldImage*);
};
std::vector<Adopted> adopted;

// A spin lock: adoptions are rare and short, and it builds on every target
// (the Windows cross toolchain has no std::mutex in its default thread model).
std::atomic_flag adoptedBusy = ATOMIC_FLAG_INIT;
struct AdoptedLock {
    AdoptedLock() {
        while (adoptedBusy.test_and_set(std::memory_order_acquire)) {
        }
    }
    ~AdoptedLock() { adoptedBusy.clear(std::memory_order_release); }
};

// Takes `image` off the adopted list; returns its release function, or null
// when the image is not one of them.
void (*takeAdopted(FieldImage* image))(FieldImage*) {
    AdoptedLock hold;
    for (auto it = adopted.begin(); it != adopted.end(); ++it) {
        if (it->image == image) {
            void (*release)(FieldImage*) = it->release;
            adopted.erase(it);
            return release;
        }
    }
    return nullptr;
}
}  // namespace

extern "C" {

void imagehostSetBackend(const ImageHostBackend* b) { backend.install(b); }
const ImageHostBackend* imagehostSetThreadBackend(const ImageHostBackend* b) {
    return backend.setForThread(b);
}

FieldImage* opAllocImage(int32_t a, int32_t b, int32_t c, int32_t d) {
    const ImageHostBackend* be = backend.get();
    if (be == nullptr || be->allocImage == nullptr) {
        fieldfx::noBackend("imagehost", "opAllocImage");
        return nullptr;
    }
    return be->allocImage(be->context, a, b, c, d);
}

void imagehostAdopt(FieldImage* image, void (*release)(FieldImage*)) {
    if (image == nullptr || release == nullptr) return;
    AdoptedLock hold;
    adopted.push_back(Adopted{image, release});
}

void opFreeImage(FieldImage* image) {
    if (void (*release)(FieldImage*) = takeAdopted(image)) {
        release(image);
        return;
    }
    const ImageHostBackend* be = backend.get();
    if (be == nullptr || be->freeImage == nullptr) {
        fieldfx::noBackend("imagehost", "opFreeImage");
        return;
    }
    be->freeImage(be->context, image);
}
}
