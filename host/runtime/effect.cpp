#include "fieldfx/runtime/effect.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <typeinfo>

#include "fieldfx/runtime/error.h"

namespace fieldfx::runtime {

std::string logText(const LogEntry& e) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08x", unsigned(e.code));
    std::string t = "log record: level " + std::to_string(e.level) + ", line " +
                    std::to_string(e.line) + ", " + e.source + ", code " + code;
    if (!e.text.empty() && e.text != " ") t += ", \"" + e.text + "\"";
    return t;
}

Effect::Effect(const OperatorModule& module) : module_(module) {
    if (module.driven_.exchange(true))
        throw Error(ErrorKind::Usage, module.name() +
                                          ": this module copy drives another effect already");
    fieldBackend_ = FieldHostBackend{this, &Effect::cbGetField, &Effect::cbPutField,
                                     &Effect::cbCheckAbort};
    imageBackend_ = ImageHostBackend{this, &Effect::cbAllocImage, &Effect::cbFreeImage};
    loggerBackend_ = LoggerBackend{this, &Effect::cbMessage};
    transBackend_.context = this;
    transBackend_.frameSize = &Effect::cbFrameSize;
    transBackend_.request = &Effect::cbRequest;
}

Effect::~Effect() {
    try {
        close();
    } catch (...) {  // a destructor has no one to report to
    }
    module_.driven_.store(false);
}

// One OperatorAction with this effect's backends serving the calling thread;
// whatever served it before (an effect whose input this one is) comes back after.
int32_t Effect::request(OperatorMessage& m) {
    const FieldHostBackend* field = fieldhostSetThreadBackend(&fieldBackend_);
    const ImageHostBackend* image = imagehostSetThreadBackend(&imageBackend_);
    const LoggerBackend* logger = loggerSetThreadBackend(&loggerBackend_);
    const TransHostBackend* trans = transhostSetThreadBackend(&transBackend_);
    hostFault_[0] = '\0';
    outOfMemory_ = false;
    const int32_t result = module_.action(m);
    fieldhostSetThreadBackend(field);
    imagehostSetThreadBackend(image);
    loggerSetThreadBackend(logger);
    transhostSetThreadBackend(trans);
    if (hostFault_[0] != '\0') {
        pool_.reclaimAll();
        // Memory that ran out serving the operator is said as such.
        throw Error(outOfMemory_ ? ErrorKind::Memory : ErrorKind::Render,
                    module_.name() + ": the host failed " + hostFault_);
    }
    return result;
}

void Effect::setInput(int input, FieldSource* source) { inputs_[input & 1] = source; }

OperatorMessage Effect::message(uint16_t action) const {
    OperatorMessage m{};
    m.action = action;
    m.duration = settings_.duration;
    m.pixelAspect = settings_.pixelAspect;
    m.scaleNum = settings_.scaleNum;
    m.scaleDen = settings_.scaleDen;
    if (settings_.scale) m.flags |= OPF_SCALE;
    return m;
}

std::string Effect::failureText(const std::string& what) const {
    std::string t = module_.name() + " " + what;
    if (requestLogs_.empty()) return t + " (it left no log record)";
    for (const LogEntry& e : requestLogs_) t += "; " + logText(e);
    return t;
}

void Effect::applyPreferences(const std::vector<uint8_t>& prefs) {
    if (module_.description().prefs == nullptr)
        throw Error(ErrorKind::Usage, module_.name() + " takes no wipe pattern");
    prefs_ = prefs;
    prefs_.resize(TRANSITION_PREFS_SIZE);
    OperatorMessage m = message(OP_SETUP);
    m.actionArg = 0;
    requestLogs_.clear();
    request(m);
    std::vector<uint8_t> now(TRANSITION_PREFS_SIZE);
    std::memcpy(now.data(), module_.description().prefs->block, now.size());
    if (now != prefs_)
        throw Error(ErrorKind::Render,
                    failureText("did not take over the wipe pattern (preference request failed)"));
}

void Effect::open(const EffectSettings& settings, int32_t fieldWidth, int32_t fieldHeight) {
    settings_ = settings;
    width_ = fieldWidth;
    height_ = fieldHeight;
    if (!settings_.hasActive)
        settings_.active = ActiveRect{0, 0, int16_t(fieldWidth), int16_t(fieldHeight)};
    pool_.configure(fieldWidth, fieldHeight, settings_.active);
    requestLogs_.clear();
    OperatorMessage m = message(OP_OPEN);
    const int32_t result = request(m);
    if (result != 0)
        throw Error(ErrorKind::Render,
                    failureText("refused to open the effect (result " + std::to_string(result) +
                                (module_.description().prefs ? "; no wipe pattern image)" : ")")));
    open_ = true;
    for (const LogEntry& e : requestLogs_) warnings_.push_back(module_.name() + ": " + logText(e));
}

const io::Field& Effect::process(uint32_t position, bool oddField) {
    OperatorMessage m = message(OP_PROCESS);
    m.position = position;
    if (oddField) m.flags |= OPF_ODD_FIELD;
    position_ = position;
    requestLogs_.clear();
    inputError_.clear();
    puts_ = 0;
    const int32_t result = request(m);
    const int kept = pool_.reclaimAll();
    const std::string at = "field " + std::to_string(position);
    if (!inputError_.empty())
        throw Error(outOfMemory_ ? ErrorKind::Memory : ErrorKind::Input, inputError_);
    if (result == -1 || puts_ == 0)
        throw Error(ErrorKind::Render, failureText("produced no " + at));
    if (puts_ > 1)
        throw Error(ErrorKind::Render, module_.name() + " handed back " + std::to_string(puts_) +
                                           " fields for " + at);
    if (result != 0)
        throw Error(ErrorKind::Render, module_.name() + " returned " + std::to_string(result) +
                                           " for " + at);
    for (const LogEntry& e : requestLogs_)
        warnings_.push_back(module_.name() + " " + at + ": " + logText(e));
    if (kept > 0)
        warnings_.push_back(module_.name() + " " + at + ": kept " + std::to_string(kept) +
                            " image(s) without handing them back; reclaimed");
    return output_;
}

void Effect::swapOutput(io::Field& field) { std::swap(output_, field); }

void Effect::close() {
    if (!open_) return;
    open_ = false;
    OperatorMessage m = message(OP_CLOSE);
    request(m);
}

std::vector<std::string> Effect::takeWarnings() {
    std::vector<std::string> w;
    w.swap(warnings_);
    return w;
}

// ---- Backends (called from operator code: they never throw) ------------------

// The body of a service call. Operators are built without exceptions, so one
// thrown here (no memory, a field source that throws) must not unwind into
// them: the operator gets the contract's failure answer, and the request
// reports the fault when it returns.
template <typename R, typename Body>
R Effect::serve(void* context, const char* call, R failed, Body body) noexcept {
    auto* e = static_cast<Effect*>(context);
    try {
        return body(*e);
    } catch (...) {
        e->noteFault(call);
        return failed;
    }
}

void Effect::noteFault(const char* call) noexcept {
    try {
        throw;
    } catch (const std::exception& x) {
        outOfMemory_ = dynamic_cast<const std::bad_alloc*>(&x) != nullptr;
        std::snprintf(hostFault_, sizeof hostFault_, "%s: %s", call, x.what());
    } catch (...) {
        std::snprintf(hostFault_, sizeof hostFault_, "%s: an unknown exception", call);
    }
}

FieldImage* Effect::getField(int32_t input, uint32_t position) {
    if (input != 0 && input != 1) return nullptr;
    FieldSource* src = inputs_[input];
    if (src == nullptr) return nullptr;
    const io::Field* f = nullptr;
    try {
        f = src->fieldAt(position);
    } catch (const std::exception& e) {
        outOfMemory_ = dynamic_cast<const std::bad_alloc*>(&e) != nullptr;
        inputError_ = e.what();
        return nullptr;
    }
    if (f == nullptr) return nullptr;
    if (f->width != width_ || f->height != height_) {
        inputError_ = "input " + std::to_string(input) + " field " + std::to_string(position) +
                      " is " + std::to_string(f->width) + "x" + std::to_string(f->height) +
                      ", the effect's fields " + std::to_string(width_) + "x" +
                      std::to_string(height_);
        return nullptr;
    }
    // A field of the pool's size whose bytes cover it all needs no black
    // fill, and one its source gives up needs no copy either.
    const std::size_t bytes = std::size_t(width_) * std::size_t(height_) * 4;
    if (f->pixels.size() == bytes)
        if (io::Field* own = src->takeField(position); own == f) {
            FieldImage* img = pool_.adopt(own->pixels);
            // The field keeps the pool's old buffer: its size must say so.
            if (own->pixels.size() != bytes) *own = io::Field();
            return img;
        }
    FieldImage* img = f->pixels.size() == bytes ? pool_.acquireForCopy() : pool_.acquire();
    std::memcpy(img->pixels, f->pixels.data(), std::min(bytes, f->pixels.size()));
    return img;
}

FieldImage* Effect::allocImage() {
    const io::Field* f = nullptr;
    if (settings_.scratchFromInput && inputs_[0] != nullptr) {
        try {
            f = inputs_[0]->fieldAt(position_);
        } catch (const std::exception&) {
            f = nullptr;  // the black fill instead; opGetField reports the input
        }
    }
    const std::size_t bytes = std::size_t(width_) * std::size_t(height_) * 4;
    if (f == nullptr || f->pixels.size() != bytes) return pool_.acquire();
    FieldImage* img = pool_.acquireForCopy();
    std::memcpy(img->pixels, f->pixels.data(), bytes);
    return img;
}

int32_t Effect::putField(FieldImage* image) {
    if (!pool_.isOut(image)) {
        warnings_.push_back(module_.name() + ": handed back an image this host did not give out");
        return -1;
    }
    ++puts_;
    // The pool's geometry, not the record's: an operator may have written
    // other sizes into the record, never into the buffer behind it.
    output_.width = width_;
    output_.height = height_;
    pool_.takeBack(image, output_.pixels);
    return 0;
}

FieldImage* Effect::cbGetField(void* c, int32_t input, uint32_t position) {
    return serve(c, "opGetField", static_cast<FieldImage*>(nullptr),
                 [&](Effect& e) { return e.getField(input, position); });
}
int32_t Effect::cbPutField(void* c, FieldImage* image) {
    return serve(c, "opPutField", -1, [&](Effect& e) { return e.putField(image); });
}
int32_t Effect::cbCheckAbort(void*) { return 0; }
FieldImage* Effect::cbAllocImage(void* c, int32_t, int32_t, int32_t, int32_t) {
    return serve(c, "opAllocImage", static_cast<FieldImage*>(nullptr),
                 [](Effect& e) { return e.allocImage(); });
}
void Effect::cbFreeImage(void* c, FieldImage* image) {
    serve(c, "opFreeImage", 0, [&](Effect& e) {
        if (!e.pool_.release(image))
            e.warnings_.push_back(e.module_.name() +
                                  ": released an image twice or one this host did not give out");
        return 0;
    });
}
void Effect::cbMessage(void* c, int32_t level, int32_t line, const char* source, uint32_t code,
                       const char* text) {
    serve(c, "loggerMessage", 0, [&](Effect& e) {
        e.requestLogs_.push_back(
            LogEntry{level, line, source ? source : "(no source)", code, text ? text : ""});
        return 0;
    });
}
void Effect::cbFrameSize(void* c, int32_t* width, int32_t* height) {
    const auto* e = static_cast<Effect*>(c);
    *width = e->settings_.active.width;
    *height = 2 * e->settings_.active.height;
}
int32_t Effect::cbRequest(void* c, void* prefs, int32_t, int32_t) {
    const auto* e = static_cast<Effect*>(c);
    if (e->prefs_.empty() || prefs == nullptr) return 0;
    std::memcpy(prefs, e->prefs_.data(), e->prefs_.size());
    return 1;
}

}  // namespace fieldfx::runtime
