// PAM field sequences: any bytes are read without a fault, as images of the
// size their header declares, or refused with an IoError.
#include <cstdlib>

#include "fieldfx/fieldio/pam.h"
#include "memory_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static MemoryFile file;
    const std::string& path = file.hold(data, size);
    try {
        fieldfx::io::PamReader reader(path);
        fieldfx::io::Field field;
        for (std::size_t i = 0; i < reader.count(); ++i) {
            reader.read(i, field);
            if (field.width != reader.width(i) || field.height != reader.height(i) ||
                field.pixels.size() != std::size_t(field.width) * field.height * 4)
                std::abort();
        }
    } catch (const fieldfx::io::IoError&) {
    }
    return 0;
}
