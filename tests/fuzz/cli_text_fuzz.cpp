// The command line's option texts: --rate, --start/--duration with seconds,
// --active, --pixel-aspect, --scale, --pattern, --range (FIRST:LAST and
// PART/PARTS), --size, --field-order and --threads. Each is taken within its
// documented range or refused with a usage error naming the option. And
// join's segment tags, taken or refused as an input error.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

#include "args.h"
#include "fieldfx/runtime/error.h"
#include "fieldfx/patterns/transition_prefs.h"
#include "job.h"
#include "media.h"
#include "options.h"
#include "segment.h"

namespace cli = fieldfx::cli;
namespace runtime = fieldfx::runtime;

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

void geometry(const std::string& option, const std::string& text) {
    const cli::Args args({option, text}, {{"--active", nullptr, true, false},
                                          {"--pixel-aspect", nullptr, true, false},
                                          {"--scale", nullptr, true, false}});
    runtime::EffectSettings s;
    cli::readGeometryOptions(args, s);
    if (s.hasActive)
        check(s.active.x >= 0 && s.active.y >= 0 && s.active.width >= 1 && s.active.height >= 1);
    if (option == "--pixel-aspect") check(s.pixelAspect >= 1);
    if (s.scale) check(s.scaleDen != 0);
}

void pattern(const std::string& text) {
    fieldfx::TransitionChoice choice;
    std::string error;
    if (!fieldfx::parseTransitionArgument(text, choice, &error)) {
        check(!error.empty());
        return;
    }
    uint8_t block[fieldfx::kTransitionPrefsSize];
    fieldfx::TransitionChoice back;
    if (fieldfx::encodeTransitionPrefs(choice, block, &error))
        check(fieldfx::decodeTransitionPrefs(block, back) && back == choice);
    else
        check(!error.empty());
}

void range(const std::string& text, uint32_t frames) {
    const cli::FrameRange r = cli::parseRange("--range", text, frames, 25.0);
    check(r.first <= r.last && r.last < frames);
}

void media(const std::string& option, const std::string& text) {
    const cli::Args args({option, text}, {{"--size", nullptr, true, false},
                                          {"--field-order", nullptr, true, false},
                                          {"--codec", nullptr, true, false},
                                          {"--pix-fmt", nullptr, true, false},
                                          {"--crf", nullptr, true, false}});
    const cli::MediaOptions m = cli::readMediaOptions(args);
    if (option == "--size")
        check(m.width >= 16 && m.height >= 16 && m.width <= runtime::kMaxSide &&
              m.height <= runtime::kMaxSide);
    if (option == "--codec") check(!m.output.codec.empty());
    if (option == "--field-order") check(m.scan.has_value());
}

// A segment's tags, split from the text at newlines as KEY=VALUE.
void segmentTags(const std::string& text) {
    cli::Tags tags;
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t end = text.find('\n', from);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(from, end - from);
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos) tags[line.substr(0, eq)] = line.substr(eq + 1);
        from = end + 1;
    }
    try {
        const cli::Segment s = cli::readSegment("segment.mkv", tags);
        check(s.range.first <= s.range.last && s.range.last < s.frames);
        check(s.pts.size() == std::size_t(s.range.last - s.range.first + 1));
        cli::orderSegments({s});
    } catch (const runtime::Error& e) {
        check(e.kind() == runtime::ErrorKind::Input);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const int which = in.ConsumeIntegralInRange(0, 11);
    const uint32_t frames = in.ConsumeIntegralInRange<uint32_t>(1, 1u << 20);
    const std::string text = in.ConsumeRemainingBytesAsString();
    try {
        switch (which) {
            case 0: {
                const double rate = cli::parseRate("--rate", text);
                check(rate > 0.0 && rate <= 1000.0);
                break;
            }
            case 1: cli::parseFrames("--duration", text, 30000.0 / 1001.0); break;
            case 2: geometry("--active", text); break;
            case 3: geometry("--pixel-aspect", text); break;
            case 4: geometry("--scale", text); break;
            case 5: pattern(text); break;
            case 6: range(text, frames); break;
            case 7: media("--size", text); break;
            case 8: media("--codec", text); break;
            case 9: {
                const uint32_t threads = cli::parseCount("--threads", text, 256, 1);
                check(threads >= 1 && threads <= 256);
                break;
            }
            case 10: segmentTags(text); break;
            case 11: media("--field-order", text); break;
        }
    } catch (const runtime::Error& e) {
        check(e.kind() == runtime::ErrorKind::Usage);
    }
    return 0;
}
