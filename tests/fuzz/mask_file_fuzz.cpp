// Mask files (PGM and PNG) and the mask scaler. The first bytes choose the
// size the mask is scaled to and whether it is inverted; the rest is the
// file. A file that loads is scaled into a buffer of exactly that size.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <memory>

#include "fieldfx/patterns/patterns.h"
#include "memory_file.h"

namespace patterns = fieldfx::patterns;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static MemoryFile file;
    FuzzedDataProvider in(data, size);
    const int width = in.ConsumeIntegralInRange(-2, 300);
    const int height = in.ConsumeIntegralInRange(-2, 300);
    const bool invert = in.ConsumeBool();
    const bool fromFile = in.ConsumeBool();
    const std::vector<uint8_t> bytes = in.ConsumeRemainingBytes<uint8_t>();

    patterns::GrayImage image;
    std::string error;
    const bool loaded = fromFile ? patterns::loadMaskFile(file.hold(bytes.data(), bytes.size()),
                                                          image, &error)
                                 : patterns::decodePgm(bytes, image, &error);
    if (!loaded) {
        if (error.empty()) std::abort();  // every refusal says why
        return 0;
    }
    if (image.width <= 0 || image.height <= 0 || image.maxValue < 1 || image.maxValue > 65535 ||
        image.samples.size() != std::size_t(image.width) * std::size_t(image.height))
        std::abort();
    for (uint16_t s : image.samples)
        if (s > image.maxValue) std::abort();
    const std::size_t outSize = width > 0 && height > 0 ? std::size_t(width) * height : 0;
    auto out = std::make_unique<uint8_t[]>(outSize);
    if (!patterns::scaleMask(image, invert, width, height, out.get(), &error) && outSize != 0)
        std::abort();  // any loaded image scales to any valid size
    return 0;
}
