// One operator as a WebAssembly module for a page that previews it: the
// operator and its service libraries linked in, and a small host behind the
// services that serves two input fields the page writes into memory and
// keeps the field the operator puts. fieldfx-preview.mjs drives it.
//
// Exports (all C functions on 32-bit values):
//   fx_info()                    the operator's tag list (GetOperatorInfo)
//   fx_input(i, width, height)   memory for input i's pixels (4 bytes a pixel),
//                                0 for a bad input or size
//   fx_process(position, duration, flags, pixelAspect)
//                                opens the operator once, then asks for the
//                                field: its result (0 done, -1 failed)
//   fx_output(), fx_output_width(), fx_output_height()
//                                the field put by the last fx_process, or 0
//   fx_close()                   closes the operator
#include <cstdint>
#include <cstring>
#include <vector>

#include "fieldfx/export.h"
#include "fieldfx/services/backend.h"

#define FX_EXPORT(name) extern "C" __attribute__((export_name(#name)))

namespace {

struct Image {
    FieldImage record;
    std::vector<uint8_t> pixels;
    bool out = true;  // handed to the operator, not yet freed or put
};

std::vector<uint8_t> inputs[2];
int16_t inputWidth[2], inputHeight[2];
std::vector<Image*> images;  // every image handed out, freed at the next request
std::vector<uint8_t> output;
int32_t outputWidth, outputHeight;
bool opened;

Image* newImage(int16_t width, int16_t height) {
    Image* im = new Image;
    im->pixels.resize(std::size_t(width) * std::size_t(height) * 4);
    for (std::size_t i = 0; i < im->pixels.size(); i += 4) {
        const uint32_t black = BLACK_PIXEL;
        std::memcpy(&im->pixels[i], &black, 4);
    }
    im->record = FieldImage{im->pixels.data(), width, height, 0, 0, width, height};
    images.push_back(im);
    return im;
}

Image* find(const FieldImage* record) {
    for (Image* im : images)
        if (&im->record == record) return im;
    return nullptr;
}

// The field of an input is a copy: the operator may paint it and put it.
FieldImage* getField(void*, int32_t input, uint32_t) {
    if (input < 0 || input > 1 || inputs[input].empty()) return nullptr;
    Image* im = newImage(inputWidth[input], inputHeight[input]);
    im->pixels = inputs[input];
    im->record.pixels = im->pixels.data();
    return &im->record;
}

int32_t putField(void*, FieldImage* record) {
    Image* im = find(record);
    if (im == nullptr || !im->out) return -1;
    im->out = false;
    output = im->pixels;
    outputWidth = record->width;
    outputHeight = record->height;
    return 0;
}

int32_t checkAbort(void*) { return 0; }

// Scratch images have the geometry of input 0 (or of input 1 without it).
FieldImage* allocImage(void*, int32_t, int32_t, int32_t, int32_t) {
    const int i = inputs[0].empty() ? 1 : 0;
    if (inputs[i].empty()) return nullptr;
    return &newImage(inputWidth[i], inputHeight[i])->record;
}

void freeImage(void*, FieldImage* record) {
    if (Image* im = find(record)) im->out = false;
}

void message(void*, int32_t, int32_t, const char*, uint32_t, const char*) {}

// Wipe masks are drawn for the frame of input 0 (two fields high); the
// preview has no preferences dialog: requests change nothing.
void frameSize(void*, int32_t* width, int32_t* height) {
    *width = inputWidth[0];
    *height = 2 * inputHeight[0];
}

int32_t request(void*, void*, int32_t, int32_t) { return 0; }

FieldHostBackend fieldBackend{nullptr, getField, putField, checkAbort};
ImageHostBackend imageBackend{nullptr, allocImage, freeImage};
LoggerBackend loggerBackend{nullptr, message};
TransHostBackend transBackend{nullptr, frameSize, request, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr, nullptr, nullptr};

void releaseImages() {
    for (Image* im : images) delete im;
    images.clear();
}

int32_t act(uint16_t action, uint32_t position, uint32_t duration, uint32_t flags,
            int16_t pixelAspect) {
    fieldhostSetBackend(&fieldBackend);
    imagehostSetBackend(&imageBackend);
    loggerSetBackend(&loggerBackend);
    transhostSetBackend(&transBackend);
    OperatorMessage m{};
    m.action = action;
    m.position = position;
    m.duration = duration;
    m.flags = flags;
    m.pixelAspect = pixelAspect;
    return OperatorAction(&m);
}

}  // namespace

FX_EXPORT(fx_info) const OperatorTag* fxInfo() { return GetOperatorInfo(); }

FX_EXPORT(fx_input) uint8_t* fxInput(int32_t input, int32_t width, int32_t height) {
    if (input < 0 || input > 1 || width <= 0 || height <= 0 || width > INT16_MAX ||
        height > INT16_MAX)
        return nullptr;
    inputWidth[input] = int16_t(width);
    inputHeight[input] = int16_t(height);
    inputs[input].assign(std::size_t(width) * std::size_t(height) * 4, 0);
    return inputs[input].data();
}

FX_EXPORT(fx_process) int32_t fxProcess(uint32_t position, uint32_t duration, uint32_t flags,
                                        int32_t pixelAspect) {
    releaseImages();
    output.clear();
    outputWidth = outputHeight = 0;
    if (!opened) {
        if (act(OP_OPEN, 0, 0, 0, 0) != 0) return -1;
        opened = true;
    }
    return act(OP_PROCESS, position, duration, flags, int16_t(pixelAspect));
}

FX_EXPORT(fx_output) uint8_t* fxOutput() { return output.empty() ? nullptr : output.data(); }
FX_EXPORT(fx_output_width) int32_t fxOutputWidth() { return outputWidth; }
FX_EXPORT(fx_output_height) int32_t fxOutputHeight() { return outputHeight; }

FX_EXPORT(fx_close) int32_t fxClose() {
    if (!opened) return 0;
    opened = false;
    const int32_t result = act(OP_CLOSE, 0, 0, 0, 0);
    releaseImages();
    return result;
}
