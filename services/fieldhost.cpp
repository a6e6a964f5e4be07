// fieldhost: the fields of the effect's inputs and the finished output.
#include "fieldfx/services/backend.h"
#include "service_backend.h"

namespace {
fieldfx::InstalledBackend<FieldHostBackend> backend;
}

extern "C" {

void fieldhostSetBackend(const FieldHostBackend* b) { backend.install(b); }
const FieldHostBackend* fieldhostSetThreadBackend(const FieldHostBackend* b) {
    return backend.setForThread(b);
}

FieldImage* opGetField(int32_t input, uint32_t position) {
    const FieldHostBackend* b = backend.get();
    if (b == nullptr || b->getField == nullptr) {
        fieldfx::noBackend("fieldhost", "opGetField");
        return nullptr;
    }
    return b->getField(b->context, input, position);
}

int32_t opPutField(FieldImage* image) {
    const FieldHostBackend* b = backend.get();
    if (b == nullptr || b->putField == nullptr) {
        fieldfx::noBackend("fieldhost", "opPutField");
        return -1;
    }
    return b->putField(b->context, image);
}

int32_t opChkAbort(void) {
    const FieldHostBackend* b = backend.get();
    if (b == nullptr || b->checkAbort == nullptr) return 0;  // nothing to abort
    return b->checkAbort(b->context);
}
}
