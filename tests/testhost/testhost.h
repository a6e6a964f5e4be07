/*
 * A host for operator tests: loads a module, reads and writes its
 * descriptors, serves fields the test supplies, hands out scratch images with
 * a chosen fill, records every host call in order, captures log records and
 * makes chosen calls fail.
 *
 * Images are named in the call record: fetched fields "in0" / "in1", scratch
 * images "scratch1", "scratch2", ... in order of allocation, anything an
 * extension registers under its own name.
 */
#ifndef FIELDFX_TESTHOST_H
#define FIELDFX_TESTHOST_H

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "fieldfx/operator.h"

namespace testhost {

// ---- Pixels and fields -------------------------------------------------------

// A pixel word from its bytes in memory order (opacity, Cb, Cr, luma).
constexpr uint32_t pixelWord(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3) {
    return uint32_t(b0) | uint32_t(b1) << 8 | uint32_t(b2) << 16 | uint32_t(b3) << 24;
}

struct FieldSpec {
    int16_t width = 0, height = 0;
    int16_t activeX = 0, activeY = 0, activeWidth = 0, activeHeight = 0;
    std::vector<uint8_t> pixels;  // width * height * 4 bytes

    uint8_t* at(int x, int y) { return pixels.data() + (std::size_t(y) * width + x) * 4; }
    const uint8_t* at(int x, int y) const {
        return pixels.data() + (std::size_t(y) * width + x) * 4;
    }
    uint32_t word(int x, int y) const;
    void setWord(int x, int y, uint32_t w);
    // Sets the active rectangle (the field's size is left as it is).
    FieldSpec& setActive(int x, int y, int width, int height);
};

// A field of the given size, every pixel `fill`, active rectangle the whole field.
FieldSpec makeField(int width, int height, uint32_t fill = BLACK_PIXEL);

// A field whose byte lane i of pixel (x, y) is (x * 7 + y * 13 + i * 51 + seed) & 255:
// distinct, reproducible content for sequence and checksum tests.
FieldSpec patternField(int width, int height, int seed = 0);

// FNV-1a over bytes, for golden checksums of whole fields.
uint64_t checksum(const std::vector<uint8_t>& bytes);

// ---- Operator modules --------------------------------------------------------

// Path of a built operator module by name.
std::string modulePath(const std::string& name);
// Names of the operator modules this build made.
std::vector<std::string> builtOperators();

class Module {
public:
    explicit Module(const std::string& name);  // throws std::runtime_error
    ~Module();
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    const OperatorTag* info() const { return info_; }
    // The entries before the terminating tag word (walk bounded at 64).
    std::vector<OperatorTag> tags() const;
    // The value of `tag`, or throws when the list has no such entry.
    uintptr_t tagValue(uint32_t tag) const;
    std::string ident() const;

    ParamDescriptor* param(int index) const;  // 1-based: OPE_PARAM1 ...
    SliderDescriptor& slider(int index) const;
    ChoiceDescriptor& choice(int index) const;
    ColourDescriptor& colour(int index) const;
    PositionDescriptor& position(int index) const;
    PrefsBlockRef* prefs() const;

    int32_t action(OperatorMessage& msg) const { return action_(&msg); }
    int32_t open() const;
    int32_t close() const;
    int32_t process(uint32_t position, uint32_t duration = 1, uint32_t flags = 0,
                    int16_t pixelAspect = 1000, int16_t scaleNum = 0, int16_t scaleDen = 0) const;

private:
    void* handle_ = nullptr;
    const OperatorTag* info_ = nullptr;
    OperatorActionFn action_ = nullptr;
};

OperatorMessage message(uint16_t action, uint32_t position = 0, uint32_t duration = 1,
                        uint32_t flags = 0, int16_t pixelAspect = 1000, int16_t scaleNum = 0,
                        int16_t scaleDen = 0);

// ---- The host ----------------------------------------------------------------

enum class Service { GetField, AllocImage, Extension };

struct LogRecord {
    int32_t level;
    int32_t line;
    std::string source;
    uint32_t code;
    std::string text;
};

class Host {
public:
    Host();   // installs its backends into the service libraries
    ~Host();  // removes them
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // The field served for `input` at every position, or at one position.
    void setInput(int input, FieldSpec fieldSpec);
    void setInputAt(int input, uint32_t position, FieldSpec fieldSpec);
    // New scratch images take this geometry (default: input 0's) and fill.
    // With FIELDFX_TESTHOST_LARGER_SCRATCH set in the environment, a scratch
    // image of the default geometry is handed out kLargerScratch columns and
    // rows larger (as a host may): the operator lays it out like the field,
    // putField() and putPixels() show that layout, and a write past the
    // field's bytes makes them throw.
    static constexpr int kLargerScratch = 3;
    void setScratchFill(uint32_t word) { scratchFill_ = word; }
    void setScratchGeometry(FieldSpec geometry) { scratchGeometry_ = std::move(geometry); }
    // The nth call (1-based) of `service` from now on returns null.
    void failCall(Service service, int nth);
    bool shouldFail(Service service);  // counts one call of `service`
    void setPutResult(int32_t result) { putResult_ = result; }
    void setAbortResult(int32_t result) { abortResult_ = result; }

    const std::vector<std::string>& calls() const { return calls_; }
    std::vector<std::string> callsWithout(const std::string& prefix) const;
    void clearCalls() { calls_.clear(); }
    const std::vector<LogRecord>& logs() const { return logs_; }

    const FieldImage* putImage() const { return lastPut_; }
    std::vector<uint8_t> putPixels() const;  // bytes of the last put image
    FieldSpec putField() const;              // the last put image, pixels copied
    // Images handed out that were neither freed nor put.
    int outstanding() const;
    // Frees of images never handed out, or freed or put already.
    int badReleases() const { return badReleases_; }

    // For extensions (e.g. transhost backends in tests): record a call, and
    // hand out an image owned by this host under a name.
    void record(std::string call) { calls_.push_back(std::move(call)); }
    FieldImage* addImage(const std::string& name, int width, int height, int bytesPerPixel,
                         uint32_t fillWord);
    std::string nameOf(const FieldImage* image) const;

    static Host* current();

private:
    struct Owned {
        FieldImage record{};
        std::vector<uint8_t> bytes;
        std::string name;
        int16_t layoutWidth = 0, layoutHeight = 0;  // the field a larger scratch is laid out as
        enum State { Out, Freed, Put } state = Out;
    };

    std::pair<int16_t, int16_t> putLayout() const;
    FieldImage* getField(int32_t input, uint32_t position);
    FieldImage* allocImage(int32_t a, int32_t b, int32_t c, int32_t d);
    void freeImage(FieldImage* image);
    int32_t putField(FieldImage* image);
    Owned* find(const FieldImage* image);
    Owned& hold(const FieldSpec& fieldSpec, const std::string& name);

    static FieldImage* cbGetField(void*, int32_t, uint32_t);
    static int32_t cbPutField(void*, FieldImage*);
    static int32_t cbCheckAbort(void*);
    static FieldImage* cbAllocImage(void*, int32_t, int32_t, int32_t, int32_t);
    static void cbFreeImage(void*, FieldImage*);
    static void cbMessage(void*, int32_t, int32_t, const char*, uint32_t, const char*);

    std::map<int, FieldSpec> inputs_;
    std::map<std::pair<int, uint32_t>, FieldSpec> inputsAt_;
    std::deque<Owned> images_;
    std::vector<std::string> calls_;
    std::vector<LogRecord> logs_;
    std::map<Service, std::vector<int>> failures_;
    std::map<Service, int> callCounts_;
    FieldSpec scratchGeometry_;
    uint32_t scratchFill_ = BLACK_PIXEL;
    bool largerScratch_ = false;
    int scratchCount_ = 0;
    int32_t putResult_ = 0;
    int32_t abortResult_ = 0;
    int badReleases_ = 0;
    const FieldImage* lastPut_ = nullptr;
};

}  // namespace testhost

#endif
