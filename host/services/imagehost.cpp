// imagehost: scratch images for operators that cannot work in place.
#include "fieldfx/backend.h"
#include "service_backend.h"

#include <mutex>
#include <vector>

namespace {
fieldfx::InstalledBackend<ImageHostBackend> backend;

struct Adopted {
    FieldImage* image;
    void (*release)(FieldImage*);
};
std::mutex adoptedLock;
std::vector<Adopted> adopted;

// Takes `image` off the adopted list; returns its release function, or null
// when the image is not one of them.
void (*takeAdopted(FieldImage* image))(FieldImage*) {
    std::lock_guard<std::mutex> hold(adoptedLock);
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
    std::lock_guard<std::mutex> hold(adoptedLock);
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
