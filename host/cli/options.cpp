#include "options.h"

#include <cctype>
#include <cstdio>

#include "fieldfx/patterns/patterns.h"
#include "fieldfx/fieldio/output_file.h"
#include "fieldfx/runtime/error.h"
#include "fieldfx/runtime/keyframes.h"
#include "fieldfx/patterns/transition_prefs.h"

namespace fieldfx::cli {

using runtime::Error;
using runtime::ErrorKind;

namespace {

bool parseSigned(const std::string& s, int64_t& out) {
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
    if (i == s.size() || s.size() - i > 9) return false;
    out = 0;
    for (; i < s.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
        out = out * 10 + (s[i] - '0');
    }
    if (negative) out = -out;
    return true;
}

std::vector<std::string> splitList(const std::string& s, char sep) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = s.find(sep, start);
        parts.push_back(s.substr(start, end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

}  // namespace

uint32_t parseCount(const std::string& option, const std::string& text, uint32_t limit,
                    uint32_t minimum) {
    int64_t v;
    if (!parseSigned(text, v) || v < int64_t(minimum) || v > int64_t(limit))
        throw Error(ErrorKind::Usage, option + " " + text + ": expected a whole number " +
                                          std::to_string(minimum) + ".." + std::to_string(limit));
    return uint32_t(v);
}

void readGeometryOptions(const Args& args, runtime::EffectSettings& settings) {
    if (args.has("--active")) {
        const std::string text = args.value("--active");
        const std::vector<std::string> parts = splitList(text, ',');
        int64_t v[4];
        bool ok = parts.size() == 4;
        for (std::size_t i = 0; ok && i < 4; ++i)
            ok = parseSigned(parts[i], v[i]) && v[i] >= 0 && v[i] <= 32767;
        if (!ok || v[2] == 0 || v[3] == 0)
            throw Error(ErrorKind::Usage, "--active " + text +
                                              ": expected x,y,w,h (x, y >= 0; w, h >= 1)");
        settings.hasActive = true;
        settings.active = runtime::ActiveRect{int16_t(v[0]), int16_t(v[1]), int16_t(v[2]),
                                              int16_t(v[3])};
    }
    if (args.has("--pixel-aspect")) {
        const std::string text = args.value("--pixel-aspect");
        int64_t v;
        if (!parseSigned(text, v) || v < 1 || v > 32767)
            throw Error(ErrorKind::Usage, "--pixel-aspect " + text +
                                              ": expected the pixel aspect x 1000, 1..32767");
        settings.pixelAspect = int16_t(v);
    }
    if (args.has("--scale")) {
        const std::string text = args.value("--scale");
        const std::vector<std::string> parts = splitList(text, '/');
        int64_t n, d;
        if (parts.size() != 2 || !parseSigned(parts[0], n) || !parseSigned(parts[1], d) ||
            n < 1 || n > 32767 || d < 1 || d > 32767)
            throw Error(ErrorKind::Usage, "--scale " + text +
                                              ": expected N/D, each a whole number 1..32767");
        settings.scale = true;
        settings.scaleNum = int16_t(n);
        settings.scaleDen = int16_t(d);
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
