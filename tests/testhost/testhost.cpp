#include "testhost.h"

#if defined(_WIN32)
#include <windows.h>
#elif !defined(__wasi__)
#include <dlfcn.h>
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <tuple>

#include "fieldfx/export.h"
#include "fieldfx/services/backend.h"

#ifndef FIELDFX_TEST_OPS_DIR
#error "FIELDFX_TEST_OPS_DIR must name the directory of the built operator modules"
#endif

namespace testhost {

// ---- Pixels and fields -------------------------------------------------------

uint32_t FieldSpec::word(int x, int y) const {
    const uint8_t* p = at(x, y);
    return pixelWord(p[0], p[1], p[2], p[3]);
}

void FieldSpec::setWord(int x, int y, uint32_t w) {
    uint8_t* p = at(x, y);
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(w >> (8 * i));
}

FieldSpec& FieldSpec::setActive(int x, int y, int width, int height) {
    activeX = int16_t(x);
    activeY = int16_t(y);
    activeWidth = int16_t(width);
    activeHeight = int16_t(height);
    return *this;
}

FieldSpec makeField(int width, int height, uint32_t fill) {
    FieldSpec f;
    f.width = int16_t(width);
    f.height = int16_t(height);
    f.activeWidth = int16_t(width);
    f.activeHeight = int16_t(height);
    f.pixels.resize(std::size_t(width) * height * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) f.setWord(x, y, fill);
    return f;
}

FieldSpec patternField(int width, int height, int seed) {
    FieldSpec f = makeField(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int i = 0; i < 4; ++i) f.at(x, y)[i] = uint8_t((x * 7 + y * 13 + i * 51 + seed) & 255);
    return f;
}

uint64_t checksum(const std::vector<uint8_t>& bytes) {
    uint64_t h = 1469598103934665603ull;
    for (uint8_t b : bytes) {
        h ^= b;
        h *= 1099511628211ull;
    }
    return h;
}

// ---- Operator modules --------------------------------------------------------

namespace {
#if defined(_WIN32)
constexpr const char* kModuleSuffix = ".dll";
void* openModule(const std::string& path) { return reinterpret_cast<void*>(LoadLibraryA(path.c_str())); }
void* moduleSymbol(void* handle, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
}
void closeModule(void* handle) { FreeLibrary(static_cast<HMODULE>(handle)); }
std::string moduleError() { return "error " + std::to_string(GetLastError()); }
#elif defined(__wasi__)
// WebAssembly has no loader: a program links one operator statically, and
// "opening" a module gives that operator's entry points.
constexpr const char* kModuleSuffix = ".a";
int linkedModule;
void* openModule(const std::string&) { return &linkedModule; }
void* moduleSymbol(void*, const char* name) {
    if (std::strcmp(name, "GetOperatorInfo") == 0) return reinterpret_cast<void*>(&GetOperatorInfo);
    if (std::strcmp(name, "OperatorAction") == 0) return reinterpret_cast<void*>(&OperatorAction);
    return nullptr;
}
void closeModule(void*) {}
std::string moduleError() { return "no such operator linked"; }
#else
constexpr const char* kModuleSuffix = ".so";
void* openModule(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }
void* moduleSymbol(void* handle, const char* name) { return dlsym(handle, name); }
void closeModule(void* handle) { dlclose(handle); }
std::string moduleError() { return dlerror(); }
#endif
}  // namespace

std::string modulePath(const std::string& name) {
    return std::string(FIELDFX_TEST_OPS_DIR) + "/" + name + kModuleSuffix;
}

std::vector<std::string> builtOperators() {
    std::vector<std::string> names;
    std::string list = FIELDFX_TEST_OPERATORS;
    std::size_t start = 0;
    while (start < list.size()) {
        std::size_t end = list.find(',', start);
        if (end == std::string::npos) end = list.size();
        names.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

Module::Module(const std::string& name) {
    const std::string path = modulePath(name);
    handle_ = openModule(path);
    if (handle_ == nullptr) throw std::runtime_error("cannot load " + path + ": " + moduleError());
    auto info = reinterpret_cast<GetOperatorInfoFn>(moduleSymbol(handle_, "GetOperatorInfo"));
    action_ = reinterpret_cast<OperatorActionFn>(moduleSymbol(handle_, "OperatorAction"));
    if (info == nullptr || action_ == nullptr) {
        closeModule(handle_);
        throw std::runtime_error(path + " lacks an entry point");
    }
    info_ = info();
}

Module::~Module() {
    if (handle_ != nullptr) closeModule(handle_);
}

std::vector<OperatorTag> Module::tags() const {
    std::vector<OperatorTag> out;
    for (const OperatorTag* t = info_; t->tag != 0; ++t) {
        out.push_back(*t);
        if (out.size() > 64) throw std::runtime_error("tag list has no terminator");
    }
    return out;
}

uintptr_t Module::tagValue(uint32_t tag) const {
    for (const OperatorTag& t : tags())
        if (t.tag == tag) return t.value;
    throw std::runtime_error("no such tag");
}

std::string Module::ident() const {
    return reinterpret_cast<const char*>(tagValue(OPE_IDENT));
}

ParamDescriptor* Module::param(int index) const {
    return reinterpret_cast<ParamDescriptor*>(tagValue(OPE_PARAM1 + uint32_t(index - 1)));
}

namespace {
template <typename T>
T& descriptorOf(ParamDescriptor* p, uint16_t kind) {
    if (p->kind != kind) throw std::runtime_error("descriptor is of another kind");
    return *reinterpret_cast<T*>(p);
}
}  // namespace

SliderDescriptor& Module::slider(int index) const {
    return descriptorOf<SliderDescriptor>(param(index), PARAM_SLIDER);
}
ChoiceDescriptor& Module::choice(int index) const {
    return descriptorOf<ChoiceDescriptor>(param(index), PARAM_CHOICE);
}
ColourDescriptor& Module::colour(int index) const {
    return descriptorOf<ColourDescriptor>(param(index), PARAM_COLOUR);
}
PositionDescriptor& Module::position(int index) const {
    return descriptorOf<PositionDescriptor>(param(index), PARAM_POSITION);
}
PrefsBlockRef* Module::prefs() const {
    return reinterpret_cast<PrefsBlockRef*>(tagValue(OPE_PREFS));
}

OperatorMessage message(uint16_t action, uint32_t position, uint32_t duration, uint32_t flags,
                        int16_t pixelAspect, int16_t scaleNum, int16_t scaleDen) {
    OperatorMessage m{};
    m.action = action;
    m.position = position;
    m.duration = duration;
    m.flags = flags;
    m.pixelAspect = pixelAspect;
    m.scaleNum = scaleNum;
    m.scaleDen = scaleDen;
    return m;
}

int32_t Module::open() const {
    OperatorMessage m = message(OP_OPEN);
    return action(m);
}

int32_t Module::close() const {
    OperatorMessage m = message(OP_CLOSE);
    return action(m);
}

int32_t Module::process(uint32_t position, uint32_t duration, uint32_t flags,
                        int16_t pixelAspect, int16_t scaleNum, int16_t scaleDen) const {
    OperatorMessage m = message(OP_PROCESS, position, duration, flags, pixelAspect, scaleNum,
                                scaleDen);
    return action(m);
}

// ---- The host ----------------------------------------------------------------

namespace {
Host* currentHost = nullptr;
FieldHostBackend fieldBackend;
ImageHostBackend imageBackend;
LoggerBackend loggerBackend;

std::string str(const char* s) { return s ? s : "(null)"; }
}  // namespace

Host* Host::current() { return currentHost; }

Host::Host() {
    if (currentHost != nullptr) throw std::runtime_error("one test host at a time");
    currentHost = this;
    largerScratch_ = std::getenv("FIELDFX_TESTHOST_LARGER_SCRATCH") != nullptr;
    fieldBackend = FieldHostBackend{this, &Host::cbGetField, &Host::cbPutField, &Host::cbCheckAbort};
    imageBackend = ImageHostBackend{this, &Host::cbAllocImage, &Host::cbFreeImage};
    loggerBackend = LoggerBackend{this, &Host::cbMessage};
    fieldhostSetBackend(&fieldBackend);
    imagehostSetBackend(&imageBackend);
    loggerSetBackend(&loggerBackend);
}

Host::~Host() {
    fieldhostSetBackend(nullptr);
    imagehostSetBackend(nullptr);
    loggerSetBackend(nullptr);
    currentHost = nullptr;
}

void Host::setInput(int input, FieldSpec fieldSpec) { inputs_[input] = std::move(fieldSpec); }

void Host::setInputAt(int input, uint32_t position, FieldSpec fieldSpec) {
    inputsAt_[{input, position}] = std::move(fieldSpec);
}

void Host::failCall(Service service, int nth) {
    failures_[service].push_back(callCounts_[service] + nth);
}

bool Host::shouldFail(Service service) {
    const int n = ++callCounts_[service];
    const auto& f = failures_[service];
    return std::find(f.begin(), f.end(), n) != f.end();
}

std::vector<std::string> Host::callsWithout(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& c : calls_)
        if (c.compare(0, prefix.size(), prefix) != 0) out.push_back(c);
    return out;
}

Host::Owned& Host::hold(const FieldSpec& fieldSpec, const std::string& name) {
    Owned& o = images_.emplace_back();
    o.bytes = fieldSpec.pixels;
    o.name = name;
    o.record = FieldImage{o.bytes.data(),     fieldSpec.width,       fieldSpec.height,
                          fieldSpec.activeX,  fieldSpec.activeY,     fieldSpec.activeWidth,
                          fieldSpec.activeHeight};
    return o;
}

FieldImage* Host::addImage(const std::string& name, int width, int height, int bytesPerPixel,
                           uint32_t fillWord) {
    FieldSpec fieldSpec;
    fieldSpec.width = int16_t(width);
    fieldSpec.height = int16_t(height);
    fieldSpec.activeWidth = int16_t(width);
    fieldSpec.activeHeight = int16_t(height);
    fieldSpec.pixels.resize(std::size_t(width) * height * bytesPerPixel);
    for (std::size_t i = 0; i < fieldSpec.pixels.size(); ++i)
        fieldSpec.pixels[i] = uint8_t(fillWord >> (8 * (i % bytesPerPixel)));
    return &hold(fieldSpec, name).record;
}

Host::Owned* Host::find(const FieldImage* image) {
    for (Owned& o : images_)
        if (&o.record == image) return &o;
    return nullptr;
}

std::string Host::nameOf(const FieldImage* image) const {
    for (const Owned& o : images_)
        if (&o.record == image) return o.name;
    return image == nullptr ? "null" : "<unknown>";
}

FieldImage* Host::getField(int32_t input, uint32_t position) {
    calls_.push_back("opGetField(" + std::to_string(input) + "," + std::to_string(position) + ")");
    if (shouldFail(Service::GetField)) return nullptr;
    auto at = inputsAt_.find({input, position});
    const FieldSpec* fieldSpec = nullptr;
    if (at != inputsAt_.end()) {
        fieldSpec = &at->second;
    } else {
        auto any = inputs_.find(input);
        if (any == inputs_.end()) return nullptr;  // the test supplied no such input
        fieldSpec = &any->second;
    }
    return &hold(*fieldSpec, "in" + std::to_string(input)).record;
}

FieldImage* Host::allocImage(int32_t a, int32_t b, int32_t c, int32_t d) {
    calls_.push_back("opAllocImage(" + std::to_string(a) + "," + std::to_string(b) + "," +
                     std::to_string(c) + "," + std::to_string(d) + ")");
    if (shouldFail(Service::AllocImage)) return nullptr;
    FieldSpec geometry = scratchGeometry_;
    const bool likeTheField = geometry.width == 0 && !inputs_.empty();
    if (likeTheField) geometry = inputs_.begin()->second;
    const bool larger = largerScratch_ && likeTheField && geometry.width > 0 &&
                        geometry.height > 0 && geometry.width <= INT16_MAX - kLargerScratch &&
                        geometry.height <= INT16_MAX - kLargerScratch;
    const int extra = larger ? kLargerScratch : 0;
    FieldSpec filled = makeField(geometry.width + extra, geometry.height + extra, scratchFill_);
    filled.activeX = geometry.activeX;
    filled.activeY = geometry.activeY;
    filled.activeWidth = geometry.activeWidth;
    filled.activeHeight = geometry.activeHeight;
    Owned& o = hold(filled, "scratch" + std::to_string(++scratchCount_));
    if (larger) o.layoutWidth = geometry.width, o.layoutHeight = geometry.height;
    return &o.record;
}

void Host::freeImage(FieldImage* image) {
    Owned* o = find(image);
    calls_.push_back("opFreeImage(" + nameOf(image) + ")");
    if (o == nullptr || o->state != Owned::Out) {
        ++badReleases_;
        return;
    }
    o->state = Owned::Freed;
}

int32_t Host::putField(FieldImage* image) {
    Owned* o = find(image);
    calls_.push_back("opPutField(" + nameOf(image) + ")");
    if (o == nullptr || o->state != Owned::Out) {
        ++badReleases_;
        return -1;
    }
    o->state = Owned::Put;
    lastPut_ = image;
    return putResult_;
}

int Host::outstanding() const {
    return int(std::count_if(images_.begin(), images_.end(),
                             [](const Owned& o) { return o.state == Owned::Out; }));
}

// The last put image as the operator laid it out: a larger scratch image as
// the field it stands for, whose bytes past the field must keep the fill.
std::pair<int16_t, int16_t> Host::putLayout() const {
    for (const Owned& o : images_) {
        if (&o.record != lastPut_ || o.layoutWidth == 0) continue;
        const std::size_t used = std::size_t(o.layoutWidth) * o.layoutHeight * 4;
        for (std::size_t i = used; i < o.bytes.size(); ++i)
            if (o.bytes[i] != uint8_t(scratchFill_ >> (8 * (i % 4))))
                throw std::runtime_error("the operator wrote past the field's layout in a larger "
                                         "scratch image, at byte " + std::to_string(i));
        return {o.layoutWidth, o.layoutHeight};
    }
    return {lastPut_->width, lastPut_->height};
}

std::vector<uint8_t> Host::putPixels() const {
    if (lastPut_ == nullptr) return {};
    const auto [width, height] = putLayout();
    const auto* p = static_cast<const uint8_t*>(lastPut_->pixels);
    return std::vector<uint8_t>(p, p + std::size_t(width) * height * 4);
}

FieldSpec Host::putField() const {
    FieldSpec f;
    if (lastPut_ == nullptr) return f;
    std::tie(f.width, f.height) = putLayout();
    f.activeX = lastPut_->activeX;
    f.activeY = lastPut_->activeY;
    f.activeWidth = lastPut_->activeWidth;
    f.activeHeight = lastPut_->activeHeight;
    f.pixels = putPixels();
    return f;
}

FieldImage* Host::cbGetField(void* c, int32_t input, uint32_t position) {
    return static_cast<Host*>(c)->getField(input, position);
}
int32_t Host::cbPutField(void* c, FieldImage* image) { return static_cast<Host*>(c)->putField(image); }
int32_t Host::cbCheckAbort(void* c) {
    auto* h = static_cast<Host*>(c);
    h->calls_.push_back("opChkAbort()");
    return h->abortResult_;
}
FieldImage* Host::cbAllocImage(void* c, int32_t a, int32_t b, int32_t cc, int32_t d) {
    return static_cast<Host*>(c)->allocImage(a, b, cc, d);
}
void Host::cbFreeImage(void* c, FieldImage* image) { static_cast<Host*>(c)->freeImage(image); }
void Host::cbMessage(void* c, int32_t level, int32_t line, const char* source, uint32_t code,
                     const char* text) {
    auto* h = static_cast<Host*>(c);
    h->logs_.push_back(LogRecord{level, line, str(source), code, str(text)});
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%08x", unsigned(code));
    h->calls_.push_back("loggerMessage(" + std::to_string(level) + "," + std::to_string(line) +
                        "," + str(source) + "," + buf + ")");
}

}  // namespace testhost
