// transhost: wipe masks and the transition preferences request.
#include "fieldfx/backend.h"
#include "service_backend.h"

extern "C" {

FieldImage* txGetOpImage(void*, int32_t, int32_t) {
    fieldfx::noBackend("transhost", "txGetOpImage");
    return nullptr;
}

void* txAllocRequest(int32_t) {
    fieldfx::noBackend("transhost", "txAllocRequest");
    return nullptr;
}

int32_t txSetPrefs(void*, void*) { return -1; }
int32_t txSetTypes(void*, int32_t) { return -1; }
int32_t txRequest(void*, int32_t) { return -1; }
int32_t txGetStatus(void*) { return 0; }
int32_t txGetPrefs(void*, void*, int32_t) { return -1; }
void txFreeRequest(void*) {}
}
