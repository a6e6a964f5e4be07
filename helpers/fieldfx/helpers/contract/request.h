/*
 * The images one process request obtains from the host. Each fetch or
 * allocation is checked; when one fails it is logged and every image the
 * request already holds is handed back with opFreeImage, so a failed request
 * never strands host images.
 */
#ifndef FIELDFX_HELPERS_CONTRACT_REQUEST_H
#define FIELDFX_HELPERS_CONTRACT_REQUEST_H

#include <cstdint>

#include "fieldfx/helpers/contract/identity.h"
#include "fieldfx/services.h"

namespace fieldfx {

class RequestImages {
public:
    explicit RequestImages(const OperatorIdentity& id) : id_(id) {}
    RequestImages(const RequestImages&) = delete;
    RequestImages& operator=(const RequestImages&) = delete;

    // opGetField(input, position); null after logging `line` on failure.
    FieldImage* field(int32_t input, uint32_t position, int32_t line) {
        return checked(opGetField(input, position), line);
    }

    // opAllocImage(-1, -1, 1, 0): a scratch image like the current field.
    FieldImage* scratch(int32_t line) { return checked(opAllocImage(-1, -1, 1, 0), line); }

    // Input 0 at `position` and a scratch image for the output: the start of a
    // filter that writes a new image. False when either failed.
    bool fieldAndScratch(uint32_t position, int32_t fieldLine, int32_t scratchLine,
                         FieldImage*& input, FieldImage*& output) {
        input = field(0, position, fieldLine);
        output = input != nullptr ? scratch(scratchLine) : nullptr;
        return output != nullptr;
    }

    // A failure of the operator's own (e.g. no heap for a table): logged at
    // `line`, and every image held is released as for a failed host call.
    void fail(int32_t line) { checked(nullptr, line); }

    // The end of a rendered request: every image held but `output` is handed
    // back in the order obtained, then `output` goes to the host as the field.
    int32_t deliver(FieldImage* output) {
        for (int i = 0; i < count_; ++i)
            if (held_[i] != output) opFreeImage(held_[i]);
        count_ = 0;
        return opPutField(output);
    }

private:
    static constexpr int kMaxImages = 4;

    FieldImage* checked(FieldImage* image, int32_t line) {
        if (image == nullptr) {
            logFailure(id_, line);
            // Release in the order obtained; the log record comes first.
            for (int i = 0; i < count_; ++i) opFreeImage(held_[i]);
            count_ = 0;
            return nullptr;
        }
        if (count_ < kMaxImages) held_[count_++] = image;
        return image;
    }

    const OperatorIdentity& id_;
    FieldImage* held_[kMaxImages] = {};
    int count_ = 0;
};

}  // namespace fieldfx

#endif
