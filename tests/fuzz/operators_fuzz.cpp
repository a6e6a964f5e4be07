// Drives any operator module through a host that does everything a host may:
// fields from 1x1 up to 720x288 with the active rectangle anywhere, any
// descriptor and message value, scratch images and transition masks larger
// or smaller than the field, any host call failing, actions in any order.
//
// Every image is allocated at its exact size, so AddressSanitizer sees any
// access outside it. After each request the host checks what the contract
// promises, not only that nothing crashed:
//   - every field fetched and scratch image allocated by the request has been
//     handed back (put or freed) by its end; a transition mask from OP_OPEN is
//     kept until OP_CLOSE or the next OP_OPEN, and nothing is released twice;
//   - a failed fetch or allocation gives -1 and exactly one log record, and
//     no other request logs anything;
//   - 0 is returned with exactly one field put (the put's own result is
//     passed on), and -1 without a failure only where the operator asked the
//     host for nothing.
#include <dlfcn.h>
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fieldfx/services/backend.h"

namespace {

[[noreturn]] void fault(const char* what) {
    std::fprintf(stderr, "fuzz_operators: %s\n", what);
    std::abort();
}

void require(bool ok, const char* what) {
    if (!ok) fault(what);
}

// ---- Modules, their descriptors restored before every case --------------------

struct Module {
    std::string name;
    OperatorActionFn action = nullptr;
    std::vector<ParamDescriptor*> params;
    std::vector<std::vector<uint8_t>> pristine;  // each descriptor's bytes at load
    PrefsBlockRef* prefs = nullptr;
    std::vector<uint8_t> pristinePrefs;
};

std::size_t descriptorSize(const ParamDescriptor* d) {
    switch (d->kind) {
        case PARAM_CHOICE: return sizeof(ChoiceDescriptor);
        case PARAM_COLOUR: return sizeof(ColourDescriptor);
        case PARAM_SLIDER: return sizeof(SliderDescriptor);
        case PARAM_POSITION: return sizeof(PositionDescriptor);
        default: return sizeof(GroupDescriptor);
    }
}

std::vector<Module> modules;

void loadModules() {
    const std::string list = FIELDFX_FUZZ_OPERATORS;
    for (std::size_t start = 0; start < list.size();) {
        std::size_t end = list.find(',', start);
        if (end == std::string::npos) end = list.size();
        Module m;
        m.name = list.substr(start, end - start);
        start = end + 1;
        const std::string path = std::string(FIELDFX_FUZZ_OPS_DIR) + "/" + m.name + ".so";
        void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) fault(dlerror());
        auto info = reinterpret_cast<GetOperatorInfoFn>(dlsym(handle, "GetOperatorInfo"));
        m.action = reinterpret_cast<OperatorActionFn>(dlsym(handle, "OperatorAction"));
        require(info != nullptr && m.action != nullptr, "module without entry points");
        for (const OperatorTag* t = info(); t->tag != 0; ++t) {
            if (t->tag >= OPE_PARAM1 && t->tag <= OPE_PARAM4) {
                auto* d = reinterpret_cast<ParamDescriptor*>(t->value);
                const auto* bytes = reinterpret_cast<const uint8_t*>(d);
                m.params.push_back(d);
                m.pristine.emplace_back(bytes, bytes + descriptorSize(d));
            } else if (t->tag == OPE_PREFS) {
                m.prefs = reinterpret_cast<PrefsBlockRef*>(t->value);
                const auto* bytes = static_cast<const uint8_t*>(m.prefs->block);
                m.pristinePrefs.assign(bytes, bytes + m.prefs->size);
            }
        }
        modules.push_back(std::move(m));
    }
}

void restore(Module& m) {
    for (std::size_t i = 0; i < m.params.size(); ++i)
        std::memcpy(m.params[i], m.pristine[i].data(), m.pristine[i].size());
    if (m.prefs != nullptr) std::memcpy(m.prefs->block, m.pristinePrefs.data(), m.pristinePrefs.size());
}

// Any value in each value field of a descriptor (the bounds stay as declared).
void scramble(ParamDescriptor* d, FuzzedDataProvider& in) {
    switch (d->kind) {
        case PARAM_CHOICE:
            reinterpret_cast<ChoiceDescriptor*>(d)->value = in.ConsumeIntegral<uint32_t>();
            break;
        case PARAM_COLOUR:
            reinterpret_cast<ColourDescriptor*>(d)->value = in.ConsumeIntegral<uint32_t>();
            break;
        case PARAM_SLIDER:
            reinterpret_cast<SliderDescriptor*>(d)->value = in.ConsumeIntegral<int32_t>();
            break;
        case PARAM_POSITION: {
            auto* p = reinterpret_cast<PositionDescriptor*>(d);
            p->posX = in.ConsumeIntegral<int16_t>();
            p->posY = in.ConsumeIntegral<int16_t>();
            p->areaWidth = in.ConsumeIntegral<int16_t>();
            p->areaHeight = in.ConsumeIntegral<int16_t>();
            break;
        }
        default: break;
    }
}

// ---- The host ------------------------------------------------------------------

struct Geometry {
    int16_t width, height, activeX, activeY, activeWidth, activeHeight;
};

enum class Kind { Field, Scratch, Mask };
enum class State { Out, Freed, Put };

struct Held {
    FieldImage* record;  // its own allocation, as are the pixels
    std::unique_ptr<uint8_t[]> pixels;
    Kind kind;
    State state = State::Out;
    int request;
};

constexpr std::size_t kContentSlack = 4096;

struct Host {
    Geometry field{}, scratch{}, mask{};
    std::vector<uint8_t> content;  // pixel bytes every image of the case copies
    uint64_t failing = 0;  // bit n: host call n of the case fails
    int calls = 0;
    int32_t putResult = 0, abortResult = 0, requestResult = 0, requestStatus = 0;
    uint8_t answer[TRANSITION_PREFS_SIZE] = {};

    std::vector<Held> images;
    std::vector<void*> requests;  // live preference requests
    int request = 0;              // number of the running request
    int failedImageCalls = 0, logs = 0, puts = 0, asked = 0, badReleases = 0;

    bool fails() {
        const int n = calls++;
        return n < 64 && (failing >> n & 1) != 0;
    }

    FieldImage* hand(const Geometry& g, int bytesPerPixel, Kind kind) {
        const std::size_t size = std::size_t(g.width) * std::size_t(g.height) * bytesPerPixel;
        Held h{new FieldImage{}, std::make_unique<uint8_t[]>(size), kind, State::Out, request};
        // Each image starts at its own place in the case's content.
        std::memcpy(h.pixels.get(), content.data() + images.size() * 1031 % kContentSlack, size);
        *h.record = FieldImage{h.pixels.get(), g.width,       g.height,
                               g.activeX,      g.activeY,     g.activeWidth, g.activeHeight};
        images.push_back(std::move(h));
        return images.back().record;
    }

    Held* find(const FieldImage* image) {
        for (Held& h : images)
            if (h.record == image) return &h;
        return nullptr;
    }

    void release(FieldImage* image, State to) {
        Held* h = find(image);
        if (h == nullptr || h->state != State::Out) {
            ++badReleases;
            return;
        }
        h->state = to;
    }

    int outstanding(Kind kind) const {
        int n = 0;
        for (const Held& h : images) n += h.kind == kind && h.state == State::Out;
        return n;
    }

    void clear() {
        for (Held& h : images) delete h.record;
        images.clear();
    }
};

Host host;

FieldImage* getField(void*, int32_t input, uint32_t) {
    ++host.asked;
    if (host.fails() || (input != 0 && input != 1)) {
        ++host.failedImageCalls;
        return nullptr;
    }
    return host.hand(host.field, 4, Kind::Field);
}

int32_t putField(void*, FieldImage* image) {
    ++host.puts;
    host.release(image, State::Put);
    return host.putResult;
}

int32_t checkAbort(void*) { return host.abortResult; }

FieldImage* allocImage(void*, int32_t, int32_t, int32_t, int32_t) {
    ++host.asked;
    if (host.fails()) {
        ++host.failedImageCalls;
        return nullptr;
    }
    return host.hand(host.scratch, 4, Kind::Scratch);
}

void freeImage(void*, FieldImage* image) { host.release(image, State::Freed); }

void logMessage(void*, int32_t, int32_t, const char*, uint32_t, const char* text) {
    require(text != nullptr, "log record without text");
    ++host.logs;
}

FieldImage* getOpImage(void*, void* prefs, int32_t, int32_t) {
    require(prefs != nullptr, "mask asked for without a preference block");
    uint8_t copy[TRANSITION_PREFS_SIZE];
    std::memcpy(copy, prefs, sizeof copy);  // the block must be readable whole
    if (host.fails()) return nullptr;
    return host.hand(host.mask, 1, Kind::Mask);
}

bool liveRequest(void* r) {
    for (void* l : host.requests)
        if (l == r) return true;
    return false;
}

void* allocRequest(void*, int32_t) {
    if (host.fails()) return nullptr;
    void* r = std::malloc(1);
    host.requests.push_back(r);
    return r;
}

int32_t setPrefs(void*, void* r, void* prefs) {
    require(liveRequest(r) && prefs != nullptr, "txSetPrefs on a dead request");
    uint8_t copy[TRANSITION_PREFS_SIZE];
    std::memcpy(copy, prefs, sizeof copy);
    return 0;
}

int32_t setTypes(void*, void* r, int32_t) {
    require(liveRequest(r), "txSetTypes on a dead request");
    return 0;
}

int32_t runRequest(void*, void* r, int32_t) {
    require(liveRequest(r), "txRequest on a dead request");
    return host.fails() ? -1 : host.requestResult;
}

int32_t getStatus(void*, void* r) {
    require(liveRequest(r), "txGetStatus on a dead request");
    return host.requestStatus;
}

int32_t getPrefs(void*, void* r, void* prefs, int32_t size) {
    require(liveRequest(r) && prefs != nullptr, "txGetPrefs on a dead request");
    require(size >= 0 && size <= int32_t(TRANSITION_PREFS_SIZE), "txGetPrefs size out of range");
    std::memcpy(prefs, host.answer, std::size_t(size));
    return size;
}

void freeRequest(void*, void* r) {
    for (auto it = host.requests.begin(); it != host.requests.end(); ++it)
        if (*it == r) {
            std::free(r);
            host.requests.erase(it);
            return;
        }
    fault("txFreeRequest of a request never made or freed already");
}

FieldHostBackend fieldBackend{nullptr, getField, putField, checkAbort};
ImageHostBackend imageBackend{nullptr, allocImage, freeImage};
LoggerBackend loggerBackend{nullptr, logMessage};
TransHostBackend transBackend{nullptr,   nullptr,    nullptr,    getOpImage, allocRequest, setPrefs,
                              setTypes,  runRequest, getStatus,  getPrefs,   freeRequest};

// ---- One case --------------------------------------------------------------------

Geometry consumeGeometry(FuzzedDataProvider& in, int maxWidth, int maxHeight) {
    Geometry g;
    g.width = in.ConsumeIntegralInRange<int16_t>(1, int16_t(maxWidth));
    g.height = in.ConsumeIntegralInRange<int16_t>(1, int16_t(maxHeight));
    if (in.ConsumeBool()) {  // a rectangle within the image, or anywhere at all
        g.activeX = in.ConsumeIntegralInRange<int16_t>(0, int16_t(g.width - 1));
        g.activeY = in.ConsumeIntegralInRange<int16_t>(0, int16_t(g.height - 1));
        g.activeWidth = in.ConsumeIntegralInRange<int16_t>(1, int16_t(g.width - g.activeX));
        g.activeHeight = in.ConsumeIntegralInRange<int16_t>(1, int16_t(g.height - g.activeY));
    } else {
        g.activeX = in.ConsumeIntegral<int16_t>();
        g.activeY = in.ConsumeIntegral<int16_t>();
        g.activeWidth = in.ConsumeIntegral<int16_t>();
        g.activeHeight = in.ConsumeIntegral<int16_t>();
    }
    return g;
}

OperatorMessage consumeMessage(FuzzedDataProvider& in) {
    static constexpr uint16_t kActions[] = {OP_OPEN, OP_PROCESS, OP_PROCESS, OP_PROCESS, OP_CLOSE,
                                            OP_SETUP, 0,         5,          7};
    OperatorMessage m;
    in.ConsumeData(&m, sizeof m);  // every field, reserved bytes included
    if (in.ConsumeBool()) m.action = kActions[in.ConsumeIntegralInRange<std::size_t>(0, 8)];
    if (in.ConsumeBool()) {  // a position within the span, as hosts send
        m.duration = in.ConsumeIntegralInRange<uint32_t>(1, 100);
        m.position = in.ConsumeIntegralInRange<uint32_t>(0, m.duration - 1);
    }
    return m;
}

// Requests sent over the whole run, reported when the fuzzer ends.
uint64_t requestsSent = 0;

void reportRequests() {
    std::fprintf(stderr, "fuzz_operators: %llu operator requests\n",
                 static_cast<unsigned long long>(requestsSent));
}

// Runs one action and checks the promises of the contract about it.
void act(const Module& mod, OperatorMessage m) {
    ++host.request;
    ++requestsSent;
    host.failedImageCalls = host.logs = host.puts = host.asked = 0;
    const int32_t putResult = host.putResult;
    const int32_t result = mod.action(&m);

    require(host.badReleases == 0, "an image was released that was not out");
    require(host.requests.empty(), "a preference request was not freed");
    require(result == 0 || result == -1 || (host.puts == 1 && result == putResult),
            "result is neither 0 nor -1");
    require(host.logs == host.failedImageCalls, "not one log record per failed host call");
    require(host.failedImageCalls <= 1, "asked the host again after a failed call");
    if (host.failedImageCalls != 0) require(result == -1 && host.puts == 0, "a failed call was not reported");
    if (host.puts != 0) require(host.puts == 1 && result == putResult, "put more than once, or put result lost");
    if (result == 0 && m.action == OP_PROCESS) require(host.puts == 1, "success without a field put");
    if (result == -1 && host.failedImageCalls == 0 && host.puts == 0 && m.action == OP_PROCESS)
        require(host.asked == 0, "failed without a failed call, after asking the host");
    for (const Held& h : host.images)
        if (h.kind != Kind::Mask && h.state == State::Out) fault("an image outlived its request");
    require(host.outstanding(Kind::Mask) <= 1, "more than one mask held");
    if (m.action == OP_CLOSE) require(host.outstanding(Kind::Mask) == 0, "mask kept past OP_CLOSE");
}

// A slider's formatter writes into a host buffer of any size, exactly as
// large as the texthost is told, and terminates the text inside it.
void format(const SliderDescriptor& slider, FuzzedDataProvider& in) {
    const int32_t capacity = in.ConsumeIntegralInRange<int32_t>(1, 40);
    auto buffer = std::make_unique<char16_t[]>(std::size_t(capacity));
    texthostSetBuffer(buffer.get(), capacity);
    slider.formatter(in.ConsumeIntegral<int32_t>(), buffer.get());
    texthostSetBuffer(nullptr, 0);
    bool terminated = false;
    for (int32_t i = 0; i < capacity && !terminated; ++i) terminated = buffer[i] == u'\0';
    require(terminated, "formatted text not terminated inside its buffer");
}

// The pixel bytes of a case from its seed. The fuzz build compiles this
// without coverage counters (coverage_ignore.txt): tracing the comparison of
// every byte's loop took a fifth of the target's time and guides nothing.
void fillContent(std::vector<uint8_t>& content, uint32_t s) {
    for (uint8_t& byte : content) {
        s = s * 1664525u + 1013904223u;
        byte = uint8_t(s >> 24);
    }
}

bool ready = false;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (!ready) {
        loadModules();
        fieldhostSetBackend(&fieldBackend);
        imagehostSetBackend(&imageBackend);
        loggerSetBackend(&loggerBackend);
        transhostSetBackend(&transBackend);
        std::atexit(reportRequests);
        ready = true;
    }
    FuzzedDataProvider in(data, size);
    Module& mod = modules[in.ConsumeIntegralInRange<std::size_t>(0, modules.size() - 1)];
    restore(mod);
    for (ParamDescriptor* d : mod.params) {
        if (in.ConsumeBool()) scramble(d, in);
        const auto* slider = reinterpret_cast<const SliderDescriptor*>(d);
        if (d->kind == PARAM_SLIDER && slider->formatter != nullptr && in.ConsumeBool())
            format(*slider, in);
    }
    if (mod.prefs != nullptr && in.ConsumeBool())
        in.ConsumeData(mod.prefs->block, mod.prefs->size);

    // Mostly small fields keep a case fast; one in 64 may be full size.
    const bool large = in.ConsumeIntegral<uint8_t>() < 4;
    const int maxW = large ? 720 : 48, maxH = large ? 288 : 24;
    host.field = consumeGeometry(in, maxW, maxH);
    host.scratch = host.field;
    if (in.ConsumeBool()) {  // a scratch image of another size, same rectangle
        host.scratch.width = in.ConsumeIntegralInRange<int16_t>(1, int16_t(maxW + 8));
        host.scratch.height = in.ConsumeIntegralInRange<int16_t>(1, int16_t(maxH + 8));
    }
    host.mask = consumeGeometry(in, maxW * 2, maxH * 2);
    std::size_t largest = std::size_t(host.mask.width) * std::size_t(host.mask.height);
    for (const Geometry& g : {host.field, host.scratch})
        largest = std::max(largest, std::size_t(g.width) * std::size_t(g.height) * 4);
    host.content.resize(largest + kContentSlack);
    fillContent(host.content, in.ConsumeIntegral<uint32_t>());
    host.failing = in.ConsumeBool() ? in.ConsumeIntegral<uint64_t>() : 0;
    host.putResult = in.ConsumeBool() ? -1 : 0;
    host.abortResult = in.ConsumeIntegral<int32_t>();
    host.requestResult = in.ConsumeIntegralInRange<int32_t>(-1, 1);
    host.requestStatus = in.ConsumeIntegralInRange<int32_t>(0, 2);
    in.ConsumeData(host.answer, sizeof host.answer);
    host.calls = 0;

    const int actions = in.ConsumeIntegralInRange(1, 8);
    for (int i = 0; i < actions; ++i) act(mod, consumeMessage(in));
    OperatorMessage close{};
    close.action = OP_CLOSE;
    act(mod, close);
    host.clear();
    return 0;
}
