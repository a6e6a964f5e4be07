// fieldfx render: an effect over whole clips. A filter renders its input
// from --start to the end (or --duration frames); a transition renders its
// span only: both inputs from --start, --duration defaulting to the shorter.
#include <cmath>
#include <cstdio>

#include "args.h"
#include "commands.h"
#include "fieldfx/fieldio/sequence.h"
#include "fieldfx/runtime/error.h"
#include "options.h"

namespace fieldfx::cli {

using runtime::Error;
using runtime::ErrorKind;

namespace {

const char kHelp[] =
    "usage: fieldfx render NAME -i IN [-i IN2] -o OUT [--set name=value]...\n"
    "         [--start N] [--duration N] [--rate FPS] [--active x,y,w,h]\n"
    "         [--pixel-aspect N] [--scale N/D] [--pattern NAME|FILE]\n"
    "         [--field-order tff|bff] [-y]\n"
    "\n"
    "Runs NAME over its input clips and writes the output clip. Clips are PAM\n"
    "field sequences (.pam, fields in time order) or PNG frames (one .png, or a\n"
    "numbered sequence such as in%04d.png, split into two fields each).\n"
    "  -i IN             input 0; a transition takes a second -i as input 1\n"
    "  -o OUT            output clip (.pam, .png for one frame, out%04d.png)\n"
    "  --set NAME=VALUE  a parameter (see fieldfx describe NAME)\n"
    "  --start N         first frame of the inputs (default 0)\n"
    "  --duration N      frames to render (filter: default to the end of the\n"
    "                    input; transition: default the shorter input)\n"
    "  --rate FPS        frame rate (25, 30000/1001): N may then be seconds (2s)\n"
    "  --active x,y,w,h  active rectangle of every field (default the field)\n"
    "  --pixel-aspect N  pixel aspect x 1000 (default 1000)\n"
    "  --scale N/D       sizes in pixels scaled by N/D (OPF_SCALE)\n"
    "  --pattern P       wipe pattern of Telescope and Glide (fieldfx patterns)\n"
    "  --field-order O   tff (top field first, default) or bff\n"
    "  -y                replace an existing output\n"
    "The message's duration is twice the frames; positions count fields.\n";

// A frame count: N, or seconds "2s" / "1.5s" with a frame rate.
uint32_t parseFrames(const std::string& option, const std::string& text, double rate) {
    if (!text.empty() && (text.back() == 's' || text.back() == 'S')) {
        if (rate <= 0.0)
            throw Error(ErrorKind::Usage,
                        option + " " + text + ": seconds need a frame rate (--rate)");
        char* end = nullptr;
        const std::string number = text.substr(0, text.size() - 1);
        const double seconds = std::strtod(number.c_str(), &end);
        if (number.empty() || *end != '\0' || !(seconds >= 0.0) || seconds > 1e6)
            throw Error(ErrorKind::Usage, option + " " + text + ": expected seconds such as 2s");
        return uint32_t(std::floor(seconds * rate + 0.5));
    }
    return parseCount(option, text, 1u << 30);
}

double parseRate(const std::string& text) {
    const std::size_t slash = text.find('/');
    char* end = nullptr;
    double rate = std::strtod(text.substr(0, slash).c_str(), &end);
    if (slash != std::string::npos && *end == '\0') {
        const double den = std::strtod(text.substr(slash + 1).c_str(), &end);
        rate = den > 0.0 ? rate / den : -1.0;
    }
    if (text.empty() || *end != '\0' || !(rate > 0.0) || rate > 1000.0)
        throw Error(ErrorKind::Usage, "--rate " + text + ": expected frames a second, e.g. 25");
    return rate;
}

// Input fields from `first` on, by the message's position.
class ClipSource : public runtime::FieldSource {
public:
    ClipSource(io::ClipReader& clip, std::size_t first) : clip_(clip), first_(first) {}
    const io::Field* fieldAt(uint32_t position) override {
        const std::size_t i = first_ + position;
        return i < clip_.fieldCount() ? &clip_.field(i) : nullptr;
    }

private:
    io::ClipReader& clip_;
    std::size_t first_;
};

}  // namespace

int renderCommand(const Words& words) {
    const Args args(words, {{"--input", "-i", true, true},
                            {"--output", "-o", true, false},
                            {"--set", nullptr, true, true},
                            {"--start", nullptr, true, false},
                            {"--duration", nullptr, true, false},
                            {"--rate", nullptr, true, false},
                            {"--active", nullptr, true, false},
                            {"--pixel-aspect", nullptr, true, false},
                            {"--scale", nullptr, true, false},
                            {"--pattern", nullptr, true, false},
                            {"--field-order", nullptr, true, false},
                            {"--yes", "-y", false, false}});
    if (args.help()) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (args.positional().size() != 1)
        throw Error(ErrorKind::Usage, "render takes one operator name (fieldfx render --help)");
    const auto module = runtime::OperatorModule::load(args.positional()[0]);
    runtime::ParameterSet params(*module);
    applySettings(args, params);
    runtime::EffectSettings settings;
    readGeometryOptions(args, settings);
    const std::vector<uint8_t> prefs = patternPreferences(args, *module);
    io::FieldOrder order = io::FieldOrder::TopFirst;
    if (args.has("--field-order")) {
        const std::string o = args.value("--field-order");
        if (o != "tff" && o != "bff")
            throw Error(ErrorKind::Usage, "--field-order " + o + ": expected tff or bff");
        order = o == "tff" ? io::FieldOrder::TopFirst : io::FieldOrder::BottomFirst;
    }
    const double rate = args.has("--rate") ? parseRate(args.value("--rate")) : 0.0;

    const std::vector<std::string> inputs = args.values("--input");
    const std::size_t needed = module->isFilter() ? 1 : 2;
    if (inputs.size() != needed)
        throw Error(ErrorKind::Usage,
                    module->name() + " is a " + (module->isFilter() ? "filter" : "transition") +
                        ": it takes " + (needed == 1 ? "one input (-i IN)"
                                                     : "two inputs (-i OUTGOING -i INCOMING)") +
                        ", " + std::to_string(inputs.size()) + " given");
    if (!args.has("--output")) throw Error(ErrorKind::Usage, "no output (-o OUT)");

    std::vector<std::unique_ptr<io::ClipReader>> clips;
    try {
        for (const std::string& in : inputs) clips.push_back(io::ClipReader::open(in, order));
    } catch (const io::IoError& e) {
        throw Error(ErrorKind::Input, e.what());
    }
    const int32_t width = clips[0]->fieldWidth(), height = clips[0]->fieldHeight();
    if (clips.size() == 2 && (clips[1]->fieldWidth() != width || clips[1]->fieldHeight() != height))
        throw Error(ErrorKind::Input, "the inputs differ in size: " + std::to_string(width) + "x" +
                                          std::to_string(height) + " fields against " +
                                          std::to_string(clips[1]->fieldWidth()) + "x" +
                                          std::to_string(clips[1]->fieldHeight()));
    checkActiveWithin(settings, width, height);

    const std::size_t startFields =
        2 * std::size_t(args.has("--start") ? parseFrames("--start", args.value("--start"), rate) : 0);
    std::size_t available = SIZE_MAX;
    for (const auto& c : clips) {
        if (c->fieldCount() <= startFields)
            throw Error(ErrorKind::Usage, c->path() + " has " + std::to_string(c->fieldCount()) +
                                              " fields; --start is beyond its end");
        available = std::min(available, c->fieldCount() - startFields);
    }
    std::size_t duration = available;
    if (args.has("--duration")) {
        const std::size_t frames = parseFrames("--duration", args.value("--duration"), rate);
        if (frames == 0) throw Error(ErrorKind::Usage, "--duration must be at least one frame");
        if (2 * frames > available)
            throw Error(ErrorKind::Usage,
                        "--duration " + args.value("--duration") + ": " + std::to_string(frames) +
                            " frames need " + std::to_string(2 * frames) + " fields, the input" +
                            (clips.size() == 2 ? "s have " : " has ") + std::to_string(available) +
                            " from the start");
        duration = 2 * frames;
    }
    settings.duration = uint32_t(duration);

    std::unique_ptr<io::ClipWriter> writer;
    try {
        writer = io::ClipWriter::create(args.value("--output"), order, duration, args.has("--yes"));
    } catch (const io::IoError& e) {
        throw Error(ErrorKind::Output, e.what());
    }

    std::vector<ClipSource> sources;
    for (const auto& c : clips) sources.emplace_back(*c, startFields);
    runtime::Effect effect(*module);
    for (std::size_t i = 0; i < sources.size(); ++i) effect.setInput(int(i), &sources[i]);
    if (!prefs.empty()) effect.applyPreferences(prefs);
    effect.open(settings, width, height);
    for (uint32_t p = 0; p < duration; ++p) {
        const io::Field& out = effect.process(p, io::holdsOddLines(order, p & 1u));
        printWarnings(effect);
        try {
            writer->put(out);
        } catch (const io::IoError& e) {
            throw Error(ErrorKind::Output, e.what());
        }
    }
    effect.close();
    printWarnings(effect);
    try {
        writer->commit();
    } catch (const io::IoError& e) {
        throw Error(ErrorKind::Output, e.what());
    }
    std::printf("%s: %zu fields (%zu frames) -> %s\n", module->name().c_str(), duration,
                duration / 2, args.value("--output").c_str());
    return 0;
}

}  // namespace fieldfx::cli
