// Probe: reports each process request in its output field and, by its Mode
// slider, behaves well or badly, so the driver's handling of both can be
// tested.
//
// Output (a scratch image): pixel 0 holds the scratch image's byte 0..3 as
// the host handed it out; then one 32-bit word a pixel: position, duration,
// flags, pixelAspect, scaleNum, scaleDen, activeX, activeY, activeWidth,
// activeHeight of input 0, the number of OP_OPEN and of OP_PROCESS requests
// since load; the remaining pixels copy input 0 (plus input 1's first pixel
// into the last pixel for a transition-like probe, or input 0's fetched
// again).
#include <cstring>

#include "fieldfx/helpers/contract/describe.h"
#include "fieldfx/helpers/contract/identity.h"
#include "fieldfx/helpers/contract/params.h"

namespace {

const char kIdent[] = "$Id: Probe,v 1.0 $";
const fieldfx::OperatorIdentity kId{"src\\Probe", 0x0b000000u};

enum Mode : int32_t {
    kNormal = 0,
    kFail = 1,         // logs and returns -1
    kKeepInput = 2,    // neither frees nor puts the input
    kPutTwice = 3,     // puts the scratch image and the input
    kNoPut = 4,        // returns 0 without a put
    kLogAndWork = 5,   // logs a record, then works normally
    kRefuseOpen = 6,   // OP_OPEN returns -1
    kWidenRecord = 7   // hands its field back with the record's size doubled
};

SliderDescriptor mode{{PARAM_SLIDER, 9010, 0}, 0, nullptr, 0, 7, 0};
// Input 0 alone; input 1 too; input 0 a second time after writing into the
// first (a host must serve the field's own bytes again).
const uint32_t kInputs[] = {9021, 9022, 9023, 0};
ChoiceDescriptor inputs = fieldfx::makeChoice(9020, kInputs, 0);

const auto kTags = fieldfx::describeOperator(fieldfx::kFilter, kIdent, 2, &mode, &inputs);

uint32_t opens = 0, processes = 0;

void putWord(FieldImage* img, int index, uint32_t w) {
    std::memcpy(static_cast<uint8_t*>(img->pixels) + 4 * index, &w, 4);
}

int32_t process(const OperatorMessage* msg) {
    ++processes;
    if (mode.value == kFail) {
        fieldfx::logFailure(kId, 42);
        return -1;
    }
    FieldImage* in = opGetField(0, msg->position);
    if (in == nullptr) {
        fieldfx::logFailure(kId, 77);
        return -1;
    }
    FieldImage* second = nullptr;
    if (inputs.value == 1 || inputs.value == 2) {
        if (inputs.value == 2) std::memset(in->pixels, 0xee, 4);
        second = opGetField(inputs.value == 1 ? 1 : 0, msg->position);
        if (second == nullptr) {
            fieldfx::logFailure(kId, 78);
            opFreeImage(in);
            return -1;
        }
    }
    FieldImage* out = opAllocImage(-1, -1, 1, 0);
    if (out == nullptr) {
        fieldfx::logFailure(kId, 88);
        opFreeImage(in);
        return -1;
    }
    if (mode.value == kLogAndWork) fieldfx::logFailure(kId, 99);
    const int n = in->width * in->height;
    std::memcpy(out->pixels, in->pixels, std::size_t(n) * 4);
    const uint32_t words[] = {msg->position,
                              msg->duration,
                              msg->flags,
                              uint32_t(int32_t(msg->pixelAspect)),
                              uint32_t(int32_t(msg->scaleNum)),
                              uint32_t(int32_t(msg->scaleDen)),
                              uint32_t(int32_t(in->activeX)),
                              uint32_t(int32_t(in->activeY)),
                              uint32_t(int32_t(in->activeWidth)),
                              uint32_t(int32_t(in->activeHeight)),
                              opens,
                              processes};
    // The copy above overwrote the scratch image's fill; a second scratch
    // image shows what the host fills new images with.
    FieldImage* fresh = opAllocImage(-1, -1, 1, 0);
    uint32_t fill = 0;
    if (fresh != nullptr) {
        std::memcpy(&fill, fresh->pixels, 4);
        opFreeImage(fresh);
    }
    putWord(out, 0, fill);
    for (int i = 0; i < 12 && i + 1 < n; ++i) putWord(out, i + 1, words[i]);
    if (second != nullptr) {
        std::memcpy(static_cast<uint8_t*>(out->pixels) + 4 * (n - 1), second->pixels, 4);
        opFreeImage(second);
    }
    if (mode.value == kNoPut) {
        opFreeImage(in);
        opFreeImage(out);
        return 0;
    }
    if (mode.value == kPutTwice) {
        opPutField(in);
        return opPutField(out);
    }
    if (mode.value != kKeepInput) opFreeImage(in);
    if (mode.value == kWidenRecord) {
        out->width = int16_t(2 * out->width);
        out->height = int16_t(2 * out->height);
    }
    return opPutField(out);
}

}  // namespace

int32_t OperatorAction(OperatorMessage* msg) {
    switch (msg->action) {
        case OP_OPEN:
            ++opens;
            return mode.value == kRefuseOpen ? -1 : 0;
        case OP_PROCESS: return process(msg);
        default: return 0;
    }
}

const OperatorTag* GetOperatorInfo(void) { return kTags.data(); }
