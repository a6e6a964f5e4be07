// transhost: wipe masks and the transition preferences request.
// (Interim: forwards to the replacement calls of an installed backend.)
#include "fieldfx/backend.h"
#include "service_backend.h"

namespace {
fieldfx::InstalledBackend<TransHostBackend> backend;
}

extern "C" {

void transhostSetBackend(const TransHostBackend* b) { backend.install(b); }

FieldImage* txGetOpImage(void* prefs, int32_t a, int32_t b) {
    const TransHostBackend* be = backend.get();
    if (be && be->getOpImage) return be->getOpImage(be->context, prefs, a, b);
    fieldfx::noBackend("transhost", "txGetOpImage");
    return nullptr;
}

void* txAllocRequest(int32_t kind) {
    const TransHostBackend* be = backend.get();
    if (be && be->allocRequest) return be->allocRequest(be->context, kind);
    fieldfx::noBackend("transhost", "txAllocRequest");
    return nullptr;
}

int32_t txSetPrefs(void* request, void* prefs) {
    const TransHostBackend* be = backend.get();
    return be && be->setPrefs ? be->setPrefs(be->context, request, prefs) : -1;
}
int32_t txSetTypes(void* request, int32_t types) {
    const TransHostBackend* be = backend.get();
    return be && be->setTypes ? be->setTypes(be->context, request, types) : -1;
}
int32_t txRequest(void* request, int32_t flags) {
    const TransHostBackend* be = backend.get();
    return be && be->runRequest ? be->runRequest(be->context, request, flags) : -1;
}
int32_t txGetStatus(void* request) {
    const TransHostBackend* be = backend.get();
    return be && be->getStatus ? be->getStatus(be->context, request) : 0;
}
int32_t txGetPrefs(void* request, void* prefs, int32_t size) {
    const TransHostBackend* be = backend.get();
    return be && be->getPrefs ? be->getPrefs(be->context, request, prefs, size) : -1;
}
void txFreeRequest(void* request) {
    const TransHostBackend* be = backend.get();
    if (be && be->freeRequest) be->freeRequest(be->context, request);
}
}
