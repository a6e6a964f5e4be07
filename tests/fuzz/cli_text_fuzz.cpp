// The command line's option texts: --rate, --start/--duration with seconds,
// --active, --pixel-aspect, --scale and --pattern. Each is taken within its
// documented range or refused with a usage error naming the option.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

#include "args.h"
#include "fieldfx/runtime/error.h"
#include "fieldfx/services/transition_prefs.h"
#include "job.h"
#include "options.h"

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const int which = in.ConsumeIntegralInRange(0, 5);
    const std::string text = in.ConsumeRemainingBytesAsString();
    try {
        switch (which) {
            case 0: {
                const double rate = cli::parseRate(text);
                check(rate > 0.0 && rate <= 1000.0);
                break;
            }
            case 1: cli::parseFrames("--duration", text, 30000.0 / 1001.0); break;
            case 2: geometry("--active", text); break;
            case 3: geometry("--pixel-aspect", text); break;
            case 4: geometry("--scale", text); break;
            case 5: pattern(text); break;
        }
    } catch (const runtime::Error& e) {
        check(e.kind() == runtime::ErrorKind::Usage);
    }
    return 0;
}
