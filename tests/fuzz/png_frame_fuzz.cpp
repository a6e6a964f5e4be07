// PNG frames: any bytes give a frame whose pixels match its size, or an
// IoError.
#include <cstdlib>

#include "fieldfx/fieldio/png.h"
#include "memory_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static MemoryFile file;
    try {
        const fieldfx::io::Field frame = fieldfx::io::readPngFrame(file.hold(data, size));
        if (frame.width <= 0 || frame.height <= 0 ||
            frame.pixels.size() != std::size_t(frame.width) * frame.height * 4)
            std::abort();
    } catch (const fieldfx::io::IoError&) {
    }
    return 0;
}
