// transhost: wipe masks and the transition preferences request.
//
// txGetOpImage(prefs, 3, 1) renders the mask that a transition preference
// block (fieldfx/transition_prefs.h) chooses, at the frame size the host's
// backend names (720 x 576 when it names none), as a new image of one byte a pixel;
// operators hand it back with opFreeImage, which the imagehost passes on to
// releaseMask here. A block that is not valid gives the default mask.
//
// The preferences request holds a copy of a block. txRequest hands that copy
// to the backend's `request` hook, which may rewrite it; answered with 1 and a
// valid block, the new block is taken over (status 1) and txGetPrefs copies
// it out. Our hosts are not dialogs: the command line answers from its
// options, tests answer directly.
//
// Every call may instead be replaced outright by the backend (test hosts do).
// With no backend installed at all there are no masks and no requests.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "fieldfx/services/backend.h"
#include "fieldfx/patterns/patterns.h"
#include "fieldfx/patterns/transition_prefs.h"
#include "service_backend.h"

namespace {
fieldfx::InstalledBackend<TransHostBackend> backend;

// The only image txGetOpImage makes: a wipe mask of one byte a pixel.
constexpr int32_t kMaskImage = 3;
constexpr int32_t kMaskBytesPerPixel = 1;
// The only request txAllocRequest makes: the preferences of a transition.
constexpr int32_t kPreferencesRequest = 0;
constexpr int32_t kDefaultFrameWidth = 720;
constexpr int32_t kDefaultFrameHeight = 576;

void note(const char* text) { std::fprintf(stderr, "fieldfx: transhost: %s\n", text); }

// ---- Masks ---------------------------------------------------------------------

// The record and its pixels in one allocation; pixels start after the record,
// rounded up so they stay aligned.
constexpr std::size_t kMaskHeader = (sizeof(FieldImage) + 15) / 16 * 16;

void releaseMask(FieldImage* image) { std::free(image); }

void frameSize(const TransHostBackend* be, int32_t& width, int32_t& height) {
    width = 0;
    height = 0;
    if (be != nullptr && be->frameSize != nullptr) be->frameSize(be->context, &width, &height);
    if (width <= 0 || height <= 0) {
        width = kDefaultFrameWidth;
        height = kDefaultFrameHeight;
    }
}

FieldImage* renderMask(const TransHostBackend* be, const void* prefs) {
    fieldfx::TransitionChoice choice;
    if (!fieldfx::decodeTransitionPrefs(prefs, choice))
        note("preference block is not valid; using the default pattern");
    int32_t width, height;
    frameSize(be, width, height);
    if (width > fieldfx::patterns::kMaxSide || height > fieldfx::patterns::kMaxSide ||
        int64_t(width) * height > fieldfx::patterns::kMaxPixels) {
        std::fprintf(stderr, "fieldfx: transhost: frame size %dx%d is too large for a mask\n",
                     int(width), int(height));
        return nullptr;
    }
    void* block = std::malloc(kMaskHeader + std::size_t(width) * std::size_t(height));
    if (block == nullptr) {
        note("out of memory for a mask");
        return nullptr;
    }
    auto* pixels = static_cast<uint8_t*>(block) + kMaskHeader;
    auto* image = new (block)
        FieldImage{pixels, int16_t(width), int16_t(height), 0, 0, int16_t(width), int16_t(height)};
    std::string error;
    if (!fieldfx::renderTransition(choice, width, height, pixels, &error)) {
        std::fprintf(stderr, "fieldfx: transhost: cannot draw the mask: %s\n", error.c_str());
        std::free(block);
        return nullptr;
    }
    imagehostAdopt(image, &releaseMask);
    return image;
}

// ---- Preference requests ----------------------------------------------------------

struct Request {
    uint8_t prefs[fieldfx::kTransitionPrefsSize] = {};
    int32_t types = 0;
    int32_t status = 0;
};

// Live requests: a handle that is not one of them (never made, or freed) is
// refused instead of being dereferenced. A spin lock builds on every target.
std::vector<Request*> liveRequests;
std::atomic_flag liveBusy = ATOMIC_FLAG_INIT;
struct LiveLock {
    LiveLock() {
        while (liveBusy.test_and_set(std::memory_order_acquire)) {
        }
    }
    ~LiveLock() { liveBusy.clear(std::memory_order_release); }
};

Request* live(void* handle) {
    LiveLock hold;
    for (Request* r : liveRequests)
        if (r == handle) return r;
    return nullptr;
}

void* newRequest() {
    auto* r = new (std::nothrow) Request;
    if (r == nullptr) return nullptr;
    try {
        LiveLock hold;
        liveRequests.push_back(r);
    } catch (const std::bad_alloc&) {
        delete r;
        return nullptr;
    }
    return r;
}

void deleteRequest(void* handle) {
    Request* found = nullptr;
    {
        LiveLock hold;
        for (auto it = liveRequests.begin(); it != liveRequests.end(); ++it)
            if (*it == handle) {
                found = *it;
                liveRequests.erase(it);
                break;
            }
    }
    delete found;
}

// Asks the host; returns 0 when the request was performed.
int32_t performRequest(const TransHostBackend* be, Request& r, int32_t flags) {
    r.status = 0;
    if (be == nullptr || be->request == nullptr) {
        note("no host to answer a preferences request");
        return -1;
    }
    uint8_t answer[fieldfx::kTransitionPrefsSize];
    std::memcpy(answer, r.prefs, sizeof answer);
    const int32_t result = be->request(be->context, answer, r.types, flags);
    if (result < 0) return -1;
    if (result == 1) {
        fieldfx::TransitionChoice choice;
        if (fieldfx::decodeTransitionPrefs(answer, choice)) {
            std::memcpy(r.prefs, answer, sizeof answer);
            r.status = 1;
        } else {
            // Keep the operator's block rather than hand it one we cannot read.
            note("the host answered with a preference block that is not valid; ignored");
        }
    }
    return 0;
}

}  // namespace

extern "C" {

void transhostSetBackend(const TransHostBackend* b) { backend.install(b); }
const TransHostBackend* transhostSetThreadBackend(const TransHostBackend* b) {
    return backend.setForThread(b);
}

FieldImage* txGetOpImage(void* prefs, int32_t a, int32_t b) {
    const TransHostBackend* be = backend.get();
    if (be && be->getOpImage) return be->getOpImage(be->context, prefs, a, b);
    if (be == nullptr) {  // as every service: no host, no images
        fieldfx::noBackend("transhost", "txGetOpImage");
        return nullptr;
    }
    if (a != kMaskImage || b != kMaskBytesPerPixel) return nullptr;
    try {
        return renderMask(be, prefs);
    } catch (...) {  // nothing may unwind into an operator
        note("cannot draw the mask");
        return nullptr;
    }
}

void* txAllocRequest(int32_t kind) {
    const TransHostBackend* be = backend.get();
    if (be && be->allocRequest) return be->allocRequest(be->context, kind);
    if (be == nullptr) {
        fieldfx::noBackend("transhost", "txAllocRequest");
        return nullptr;
    }
    return kind == kPreferencesRequest ? newRequest() : nullptr;
}

int32_t txSetPrefs(void* request, void* prefs) {
    const TransHostBackend* be = backend.get();
    if (be && be->setPrefs) return be->setPrefs(be->context, request, prefs);
    Request* r = live(request);
    if (r == nullptr || prefs == nullptr) return -1;
    std::memcpy(r->prefs, prefs, sizeof r->prefs);
    return 0;
}

int32_t txSetTypes(void* request, int32_t types) {
    const TransHostBackend* be = backend.get();
    if (be && be->setTypes) return be->setTypes(be->context, request, types);
    Request* r = live(request);
    if (r == nullptr) return -1;
    r->types = types;
    return 0;
}

int32_t txRequest(void* request, int32_t flags) {
    const TransHostBackend* be = backend.get();
    if (be && be->runRequest) return be->runRequest(be->context, request, flags);
    Request* r = live(request);
    return r == nullptr ? -1 : performRequest(be, *r, flags);
}

int32_t txGetStatus(void* request) {
    const TransHostBackend* be = backend.get();
    if (be && be->getStatus) return be->getStatus(be->context, request);
    Request* r = live(request);
    return r == nullptr ? 0 : r->status;
}

int32_t txGetPrefs(void* request, void* prefs, int32_t size) {
    const TransHostBackend* be = backend.get();
    if (be && be->getPrefs) return be->getPrefs(be->context, request, prefs, size);
    Request* r = live(request);
    if (r == nullptr || prefs == nullptr) return -1;
    // Never more than the caller's size, never more than the block.
    const int32_t count = size <= 0                         ? 0
                          : size < int32_t(sizeof r->prefs) ? size
                                                            : int32_t(sizeof r->prefs);
    std::memcpy(prefs, r->prefs, std::size_t(count));
    return count;
}

void txFreeRequest(void* request) {
    const TransHostBackend* be = backend.get();
    if (be && be->freeRequest) {
        be->freeRequest(be->context, request);
        return;
    }
    deleteRequest(request);
}
}
