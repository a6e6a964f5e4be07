// The effect driver: one use of an operator (OP_OPEN, OP_PROCESS per output
// field, OP_CLOSE) with this host's service backends: fieldhost serves the
// fields of input 0 and 1 by position, imagehost hands out pool images,
// logger records surface as warnings (and as the reason of a failed field),
// transhost learns the effect's geometry and answers preference requests
// with the caller's block.
//
// Any number of effects may exist and run at once, each on its own module
// copy (OperatorModule::load or copy): the effect's backends are set for the
// calling thread around each request, so the services an operator calls
// reach the effect whose request runs there. One effect is driven from one
// thread at a time; different effects from different threads freely.
#ifndef FIELDFX_RUNTIME_EFFECT_H
#define FIELDFX_RUNTIME_EFFECT_H

#include <cstdint>
#include <string>
#include <vector>

#include "fieldfx/services/backend.h"
#include "fieldfx/fieldio/field.h"
#include "fieldfx/runtime/image_pool.h"
#include "fieldfx/runtime/module.h"

namespace fieldfx::runtime {

// The fields of one input, by the message's position.
class FieldSource {
public:
    virtual ~FieldSource() = default;
    // The field at `position`, or null when the input has none there. May
    // throw (a file that cannot be read); the driver reports it.
    virtual const io::Field* fieldAt(uint32_t position) = 0;
    // The field at `position` for the driver to keep: its pixels become the
    // served image without a copy, and the field is left with another
    // buffer. Null (the default) when the source has none to give up; the
    // driver then copies fieldAt's. A source that gives one up serves that
    // position from elsewhere afterwards (an operator may fetch it again).
    virtual io::Field* takeField(uint32_t) { return nullptr; }
};

struct EffectSettings {
    uint32_t duration = 1;  // the message's duration, in fields
    int16_t pixelAspect = 1000;
    bool scale = false;  // OPF_SCALE with scaleNum / scaleDen
    int16_t scaleNum = 1, scaleDen = 1;
    bool hasActive = false;  // without: the whole field
    ActiveRect active;
    // New scratch images start as a copy of input 0's field at the request's
    // position instead of BLACK_PIXEL (the contract leaves their contents to
    // the host): an operator that writes bytes 1-3 only (Drunken, Standbild)
    // then keeps the input's opacity.
    bool scratchFromInput = false;
};

struct LogEntry {
    int32_t level, line;
    std::string source;
    uint32_t code;
    std::string text;
};
std::string logText(const LogEntry& entry);

class Effect {
public:
    // Throws Error(Usage) when another effect drives `module` already.
    explicit Effect(const OperatorModule& module);
    ~Effect();  // closes an open effect
    Effect(const Effect&) = delete;
    Effect& operator=(const Effect&) = delete;

    void setInput(int input, FieldSource* source);
    // OP_SETUP (actionArg 0): the operator's preference request is answered
    // with `prefs` (112 bytes), which it takes over. Throws Error(Usage) for
    // an operator without a preference block.
    void applyPreferences(const std::vector<uint8_t>& prefs);
    // OP_OPEN for fields of width x height. Throws Error(Render) when the
    // operator refuses.
    void open(const EffectSettings& settings, int32_t fieldWidth, int32_t fieldHeight);
    // One OP_PROCESS; the field the operator handed back, valid until the
    // next call. Throws Error(Render) with the operator's log records when it
    // produces no field, Error(Input) when an input could not be read.
    const io::Field& process(uint32_t position, bool oddField);
    // Exchanges the field process() handed back for `field` (whose buffer
    // the effect reuses): a caller that keeps the field needs no copy.
    void swapOutput(io::Field& field);
    void close();

    // Log records and host-side notes of successful requests, as text.
    std::vector<std::string> takeWarnings();
    std::size_t poolImages() const { return pool_.allocated(); }

private:
    static FieldImage* cbGetField(void*, int32_t, uint32_t);
    static int32_t cbPutField(void*, FieldImage*);
    static int32_t cbCheckAbort(void*);
    static FieldImage* cbAllocImage(void*, int32_t, int32_t, int32_t, int32_t);
    static void cbFreeImage(void*, FieldImage*);
    static void cbMessage(void*, int32_t, int32_t, const char*, uint32_t, const char*);
    static void cbFrameSize(void*, int32_t*, int32_t*);
    static int32_t cbRequest(void*, void*, int32_t, int32_t);

    template <typename R, typename Body>
    static R serve(void* context, const char* call, R failed, Body body) noexcept;
    void noteFault(const char* call) noexcept;

    FieldImage* getField(int32_t input, uint32_t position);
    FieldImage* allocImage();
    int32_t putField(FieldImage* image);
    OperatorMessage message(uint16_t action) const;
    int32_t request(OperatorMessage& m);
    std::string failureText(const std::string& what) const;

    const OperatorModule& module_;
    FieldSource* inputs_[2] = {nullptr, nullptr};
    EffectSettings settings_;
    int32_t width_ = 0, height_ = 0;
    bool open_ = false;
    ImagePool pool_;
    io::Field output_;
    int puts_ = 0;
    uint32_t position_ = 0;  // of the request in progress
    std::string inputError_;
    bool outOfMemory_ = false;  // a service call or input ran out of memory in the request
    char hostFault_[200] = "";  // a service call this host failed, reported after the request
    std::vector<LogEntry> requestLogs_;
    std::vector<std::string> warnings_;
    std::vector<uint8_t> prefs_;

    FieldHostBackend fieldBackend_{};
    ImageHostBackend imageBackend_{};
    LoggerBackend loggerBackend_{};
    TransHostBackend transBackend_{};
};

}  // namespace fieldfx::runtime

#endif
