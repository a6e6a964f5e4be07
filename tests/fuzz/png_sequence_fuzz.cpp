// PNG sequences as a clip: 1..4 frame files of any bytes (cut from the input
// at a separator, the first one numbered 0 or 1), read through the clip
// reader a render uses. Every field read matches the clip's size, or the clip
// is refused with an IoError naming a frame file.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "fieldfx/fieldio/sequence.h"

namespace io = fieldfx::io;

namespace {

std::string directory() {
    char name[] = "/tmp/fuzz-png-sequence-XXXXXX";
    if (mkdtemp(name) == nullptr) std::abort();
    return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static const std::string dir = directory();
    FuzzedDataProvider in(data, size);
    const int first = in.ConsumeBool() ? 1 : 0;
    const bool bottomFirst = in.ConsumeBool();
    const std::string rest = in.ConsumeRemainingBytesAsString();
    // Frames are separated by "|FRAME|"; at most four.
    int frames = 0;
    for (std::size_t from = 0; frames < 4 && from <= rest.size(); ++frames) {
        std::size_t end = rest.find("|FRAME|", from);
        if (end == std::string::npos) end = rest.size();
        char name[64];
        std::snprintf(name, sizeof name, "/f%04d.png", first + frames);
        if (FILE* f = std::fopen((dir + name).c_str(), "wb")) {
            std::fwrite(rest.data() + from, 1, end - from, f);
            std::fclose(f);
        }
        from = end + 7;
    }
    try {
        auto clip = io::ClipReader::open(
            dir + "/f%04d.png", bottomFirst ? io::FieldOrder::BottomFirst : io::FieldOrder::TopFirst);
        if (clip->fieldCount() != std::size_t(2 * frames)) std::abort();
        for (std::size_t i = 0; i < clip->fieldCount(); ++i) {
            const io::Field& f = clip->field(i);
            if (f.width != clip->fieldWidth() || f.height != clip->fieldHeight() ||
                f.pixels.size() != std::size_t(f.width) * f.height * 4)
                std::abort();
        }
    } catch (const io::IoError&) {
    }
    for (int k = 0; k < frames; ++k) {
        char name[64];
        std::snprintf(name, sizeof name, "/f%04d.png", first + k);
        std::remove((dir + name).c_str());
    }
    return 0;
}
