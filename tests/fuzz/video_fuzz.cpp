// Video files of any content through the readers the command line uses:
// FFmpeg's demuxers and decoders with damage reported (y4m, Matroska/FFV1,
// MP4/H.264 seeds), the field reader over them, and the conforming reader
// that scales a second input to another size and rate. A clip is read, as
// far as the target goes, or refused with VideoError; nothing else happens,
// and no picture above the readers' size limit is accepted.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdlib>

#include "fieldfx/fieldio/field.h"
#include "fieldfx/video/field_reader.h"
#include "memory_file.h"

namespace video = fieldfx::video;

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    static MemoryFile file;
    FuzzedDataProvider in(data, size);
    // The last bytes choose what is done with the clip; the rest is the file.
    const bool conform = in.ConsumeBool();
    const int fields = in.ConsumeIntegralInRange(1, 16);
    const std::vector<uint8_t> bytes = in.ConsumeRemainingBytes<uint8_t>();
    const std::string& path = file.hold(bytes.data(), bytes.size());
    try {
        video::FieldReader reader(path);
        const video::ClipInfo& info = reader.info();
        check(info.width > 0 && info.height > 0 &&
              uint64_t(info.width) * uint64_t(info.height) <= fieldfx::io::kMaxPicturePixels);
        video::FieldSource* source = &reader;
        std::unique_ptr<video::ConformedReader> conformed;
        if (conform) {
            video::ClipInfo target = info;
            target.width = 48;
            target.height = 32;
            target.frameRate = {30000, 1001};
            target.scan = info.scan == video::Scan::TopFirst ? video::Scan::BottomFirst
                                                             : video::Scan::TopFirst;
            conformed = std::make_unique<video::ConformedReader>(reader, target);
            source = conformed.get();
        }
        const int64_t n = std::min<int64_t>(source->fieldCount(), fields);
        for (int64_t i = 0; i < n; ++i) {
            const fieldfx::io::Field& f = source->field(i);
            check(f.width == source->info().width && f.height == source->info().fieldHeight());
            check(f.pixels.size() == std::size_t(f.width) * f.height * 4);
        }
    } catch (const video::VideoError&) {
    }
    return 0;
}
