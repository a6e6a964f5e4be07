#include "options.h"

#include <cstdio>

#include "fieldfx/patterns/patterns.h"
#include "fieldfx/fieldio/output_file.h"
#include "fieldfx/runtime/error.h"
#include "fieldfx/runtime/keyframes.h"
#include "fieldfx/patterns/transition_prefs.h"

namespace fieldfx::cli {

using runtime::Error;
using runtime::ErrorKind;

void readGeometryOptions(const Args& args, runtime::EffectSettings& settings) {
    if (args.has("--active")) {
        const runtime::Rect r = runtime::parseRect("--active", args.value("--active"));
        settings.hasActive = true;
        settings.active = runtime::ActiveRect{r.x, r.y, r.width, r.height};
    }
    if (args.has("--pixel-aspect"))
        settings.pixelAspect =
            int16_t(runtime::parseWhole("--pixel-aspect", args.value("--pixel-aspect"), 1, 32767,
                                        "the pixel aspect x 1000, 1..32767"));
    if (args.has("--scale")) {
        const runtime::Ratio scale = runtime::parseRatio("--scale", args.value("--scale"));
        settings.scale = true;
        settings.scaleNum = scale.num;
        settings.scaleDen = scale.den;
    }
}

void checkActiveWithin(const runtime::EffectSettings& s, int32_t width, int32_t height) {
    if (!s.hasActive) return;
    if (s.active.x + s.active.width > width || s.active.y + s.active.height > height)
        throw Error(ErrorKind::Usage,
                    "--active " + std::to_string(s.active.x) + "," + std::to_string(s.active.y) +
                        "," + std::to_string(s.active.width) + "," +
                        std::to_string(s.active.height) + ": reaches outside the " +
                        std::to_string(width) + "x" + std::to_string(height) + " field");
}

void applySettings(const Args& args, runtime::ParameterSet& params, bool keysAllowed) {
    for (const std::string& a : args.values("--set")) {
        if (!runtime::hasKeys(a)) {
            params.assign(a);
        } else if (!keysAllowed) {
            throw Error(ErrorKind::Usage,
                        "--set " + a + ": keys (value@time) animate render and preview only");
        }
    }
}

std::vector<uint8_t> patternPreferences(const Args& args, const runtime::OperatorModule& module) {
    if (!args.has("--pattern")) return {};
    const std::string text = args.value("--pattern");
    if (module.description().prefs == nullptr)
        throw Error(ErrorKind::Usage, module.name() + " takes no wipe pattern (--pattern)");
    TransitionChoice choice;
    std::string error;
    if (!parseTransitionArgument(text, choice, &error))
        throw Error(ErrorKind::Usage, "--pattern " + text + ": " + error);
    if (choice.source == TransitionChoice::Source::File) {
        // Read once now, so that a missing or broken file is reported before
        // any work (the transition host reads it again at OP_OPEN).
        patterns::GrayImage image;
        if (!patterns::loadMaskFile(choice.path, image, &error))
            throw Error(ErrorKind::Input, "--pattern " + text + ": " + error);
        io::noteInputFile(choice.path);  // an input as much as the clips are
    }
    std::vector<uint8_t> block(kTransitionPrefsSize);
    if (!encodeTransitionPrefs(choice, block.data(), &error))
        throw Error(ErrorKind::Usage, "--pattern " + text + ": " + error);
    return block;
}

void printWarnings(runtime::Effect& effect) {
    for (const std::string& w : effect.takeWarnings())
        std::fprintf(stderr, "fieldfx: warning: %s\n", w.c_str());
}

}  // namespace fieldfx::cli
