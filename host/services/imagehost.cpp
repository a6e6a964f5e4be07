// imagehost: scratch images for operators that cannot work in place.
#include "fieldfx/backend.h"
#include "service_backend.h"

namespace {
fieldfx::InstalledBackend<ImageHostBackend> backend;
}

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

void opFreeImage(FieldImage* image) {
    const ImageHostBackend* be = backend.get();
    if (be == nullptr || be->freeImage == nullptr) {
        fieldfx::noBackend("imagehost", "opFreeImage");
        return;
    }
    be->freeImage(be->context, image);
}
}
