// fieldfx patterns: the wipe patterns of the transition host, with their
// settings; with -o each is drawn as a grey PNG (usable as a mask file).
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "args.h"
#include "commands.h"
#include "fieldfx/fieldio/output_file.h"
#include "fieldfx/fieldio/png.h"
#include "fieldfx/patterns/patterns.h"
#include "fieldfx/runtime/error.h"
#include "fieldfx/runtime/values.h"
#include "options.h"

namespace fieldfx::cli {

using runtime::Error;
using runtime::ErrorKind;

// A mask of the largest size a --size names is within the patterns' limit.
static_assert(int64_t(runtime::kMaxSide) * runtime::kMaxSide <= patterns::kMaxPixels);

int patternsCommand(const Words& words) {
    const Args args(words, {{"--output", "-o", true, false},
                            {"--size", nullptr, true, false},
                            {"--yes", "-y", false, false}});
    if (args.help()) {
        std::puts("usage: fieldfx patterns [-o DIR] [--size WxH] [-y]\n"
                  "Lists the wipe patterns of Telescope and Glide with their settings. With -o,\n"
                  "draws each with its default settings as DIR/NAME.png (8-bit grey, low values\n"
                  "change first; default size 360x288). Choose one with --pattern NAME or\n"
                  "--pattern NAME:setting=value,...,invert=1, or --pattern FILE for a PGM or PNG\n"
                  "mask file (scaled to the mask size: active width x twice the active height).");
        return 0;
    }
    if (!args.positional().empty()) throw Error(ErrorKind::Usage, "patterns takes no arguments");
    int32_t width = 360, height = 288;
    if (args.has("--size")) {
        const runtime::Size size = runtime::parseSize("--size", args.value("--size"), {});
        width = size.width;
        height = size.height;
    }
    for (const patterns::Pattern& p : patterns::builtinPatterns()) {
        std::printf("%-22s %s\n", p.name, p.description);
        for (const patterns::Setting& s : p.settingList())
            std::printf("  %-10s %d..%d, default %d: %s\n", s.name, int(s.minimum), int(s.maximum),
                        int(s.defaultValue), s.description);
    }
    std::puts("every pattern also takes invert=0..1 (1: high values change first)");
    if (!args.has("--output")) return 0;
    const std::string dir = args.value("--output");
    if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST)
        throw Error(ErrorKind::Output, dir + ": cannot create the directory: " + std::strerror(errno));
    std::vector<uint8_t> mask(std::size_t(width) * std::size_t(height));
    for (const patterns::Pattern& p : patterns::builtinPatterns()) {
        const std::vector<int32_t> values = patterns::defaultValues(p);
        std::string error;
        if (!patterns::renderPattern(p, values, false, width, height, mask.data(), &error))
            throw Error(ErrorKind::Render, std::string(p.name) + ": " + error);
        try {
            io::OutputFile out(dir + "/" + p.name + ".png", args.has("--yes"));
            io::writeGreyPng(out.stream(), width, height, mask.data(), out.target());
            out.commit();
        } catch (const io::IoError& e) {
            throw Error(ErrorKind::Output, e.what());
        }
    }
    std::printf("drew %zu patterns of %dx%d into %s\n", patterns::builtinPatterns().size(),
                int(width), int(height), dir.c_str());
    return 0;
}

}  // namespace fieldfx::cli
