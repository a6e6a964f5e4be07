#include "job.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "fieldfx/runtime/error.h"
#include "fieldfx/runtime/parameters.h"
#include "options.h"

namespace fieldfx::cli {

using runtime::Error;
using runtime::ErrorKind;

namespace {

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
    // `end` points into these strings: they must outlive the checks below.
    const std::string numerator = text.substr(0, slash);
    const std::string denominator = slash == std::string::npos ? "" : text.substr(slash + 1);
    char* end = nullptr;
    double rate = std::strtod(numerator.c_str(), &end);
    if (slash != std::string::npos && *end == '\0') {
        const double den = std::strtod(denominator.c_str(), &end);
        rate = den > 0.0 ? rate / den : -1.0;
    }
    if (text.empty() || *end != '\0' || !(rate > 0.0) || rate > 1000.0)
        throw Error(ErrorKind::Usage, "--rate " + text + ": expected frames a second, e.g. 25");
    return rate;
}

EffectJob prepareJob(const Args& args, const std::string& command) {
    if (args.positional().size() != 1)
        throw Error(ErrorKind::Usage, command + " takes one operator name (fieldfx " + command +
                                          " --help)");
    EffectJob job;
    job.module = runtime::OperatorModule::load(args.positional()[0]);
    const runtime::OperatorModule& module = *job.module;
    runtime::ParameterSet params(module);
    applySettings(args, params, true);
    readGeometryOptions(args, job.settings);
    job.prefs = patternPreferences(args, module);
    job.media = readMediaOptions(args);
    // Field files take the order given (progressive frames split like
    // top-field-first ones); a video brings its own.
    if (job.media.scan == video::Scan::BottomFirst) job.order = io::FieldOrder::BottomFirst;
    job.rate = args.has("--rate") ? parseRate(args.value("--rate")) : 0.0;

    const std::vector<std::string> inputs = inputNames(args, module.isFilter());
    const std::size_t needed = module.isFilter() ? 1 : 2;
    if (inputs.size() != needed)
        throw Error(ErrorKind::Usage,
                    module.name() + " is a " + (module.isFilter() ? "filter" : "transition") +
                        ": it takes " + (needed == 1 ? "one input (-i IN)"
                                                     : "two inputs (-i OUTGOING -i INCOMING)") +
                        ", " + std::to_string(inputs.size()) + " given");
    if (!args.has("--output")) throw Error(ErrorKind::Usage, "no output (-o OUT)");

    // Built-in clips last as long as the span asks (25 frames a second).
    {
        const double builtinRate = job.rate > 0.0 ? job.rate : 25.0;
        const uint32_t start =
            args.has("--start") ? parseFrames("--start", args.value("--start"), builtinRate) : 0;
        const uint32_t length = args.has("--duration")
                                    ? parseFrames("--duration", args.value("--duration"), builtinRate)
                                    : 50;
        job.media.builtinFrames = int64_t(start) + std::max<uint32_t>(length, 1);
    }
    for (const std::string& in : inputs) job.clips.push_back(openClip(in, job.order, job.media));
    job.order = fieldOrderOf(*job.clips[0], job.order);
    if (job.rate <= 0.0) job.rate = frameRateOf(*job.clips[0]);
    job.keyframes = runtime::keyedParameters(params, args.values("--set"), job.rate);
    if (job.clips.size() == 2) conformSecondInput(*job.clips[0], *job.clips[1], job.order, job.rate);

    job.width = job.clips[0]->fieldWidth();
    job.height = job.clips[0]->fieldHeight();
    const io::ClipReader& second = *job.clips.back();
    if (second.fieldWidth() != job.width || second.fieldHeight() != job.height)
        throw Error(ErrorKind::Input, "the inputs differ in size: " + std::to_string(job.width) +
                                          "x" + std::to_string(job.height) + " fields against " +
                                          std::to_string(second.fieldWidth()) + "x" +
                                          std::to_string(second.fieldHeight()));
    checkActiveWithin(job.settings, job.width, job.height);
    if (!args.has("--pixel-aspect")) job.settings.pixelAspect = pixelAspectOf(*job.clips[0]);

    job.firstField = 2 * std::size_t(args.has("--start")
                                         ? parseFrames("--start", args.value("--start"), job.rate)
                                         : 0);
    std::size_t available = SIZE_MAX;
    for (const auto& c : job.clips) {
        if (c->fieldCount() <= job.firstField)
            throw Error(ErrorKind::Usage, c->path() + " has " + std::to_string(c->fieldCount()) +
                                              " fields; --start is beyond its end");
        available = std::min(available, c->fieldCount() - job.firstField);
    }
    job.fields = available;
    if (args.has("--duration")) {
        const std::size_t frames = parseFrames("--duration", args.value("--duration"), job.rate);
        if (frames == 0) throw Error(ErrorKind::Usage, "--duration must be at least one frame");
        if (2 * frames > available)
            throw Error(ErrorKind::Usage,
                        "--duration " + args.value("--duration") + ": " + std::to_string(frames) +
                            " frames need " + std::to_string(2 * frames) + " fields, the input" +
                            (job.clips.size() == 2 ? "s have " : " has ") +
                            std::to_string(available) + " from the start");
        job.fields = 2 * frames;
    }
    job.settings.duration = uint32_t(job.fields);
    return job;
}

void runEffect(EffectJob& job, const std::vector<uint32_t>& positions,
               const std::function<void(uint32_t, const io::Field&)>& take) {
    std::vector<ClipSource> sources;
    for (const auto& c : job.clips) sources.emplace_back(*c, job.firstField);
    runtime::Effect effect(*job.module);
    for (std::size_t i = 0; i < sources.size(); ++i) effect.setInput(int(i), &sources[i]);
    if (!job.prefs.empty()) effect.applyPreferences(job.prefs);
    effect.open(job.settings, job.width, job.height);
    for (uint32_t p : positions) {
        for (const runtime::Keyframes& k : job.keyframes) k.applyAt(p / 2);
        const io::Field& out = effect.process(p, io::holdsOddLines(job.order, p & 1u));
        printWarnings(effect);
        take(p, out);
    }
    effect.close();
    printWarnings(effect);
}

}  // namespace fieldfx::cli
