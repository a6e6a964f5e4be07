#include "job.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <thread>

#include "fieldfx/runtime/effect_pool.h"
#include "fieldfx/runtime/error.h"
#include "fieldfx/runtime/parameters.h"
#include "options.h"
#include "segment.h"

namespace fieldfx::cli {

using runtime::Error;
using runtime::ErrorKind;

namespace {

// The options that decide a render's fields, as text the segments of one
// render share.
std::string effectText(const Args& args, const EffectJob& job) {
    std::string text = job.module->name();
    for (const char* option : {"--input", "--set", "--start", "--duration", "--rate", "--active",
                               "--pixel-aspect", "--scale", "--pattern", "--field-order", "--size"})
        for (const std::string& v : args.values(option)) text += std::string(" ") + option + " " + v;
    return text + " (fields " + std::to_string(job.firstField) + "+" + std::to_string(job.fields) +
           ")";
}

}  // namespace

std::vector<OptionSpec> effectOptions(std::initializer_list<OptionSpec> own) {
    std::vector<OptionSpec> options = {{"--input", "-i", true, true},
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
                                     {"--size", nullptr, true, false},
                                     {"--threads", nullptr, true, false},
                                     {"--yes", "-y", false, false}};
    options.insert(options.end(), own);
    return options;
}

const char kEffectOptionsHelp[] =
    "  -i IN             input 0; a transition takes a second -i as input 1\n"
    "                    (default: builtin:motion, and builtin:bars as input 1)\n"
    "  --set NAME=VALUE  a parameter (see fieldfx describe NAME); animated with\n"
    "                    keys VALUE@TIME,VALUE@TIME,... (TIME a frame of the\n"
    "                    output or seconds: angle=0@0,45deg@2s): sliders and\n"
    "                    positions move linearly between keys in whole steps,\n"
    "                    choices and colours change at each key\n"
    "  --start N         first frame of the inputs (default 0)\n"
    "  --duration N      frames to render (filter: default to the end of the\n"
    "                    input; transition: default the shorter input)\n"
    "  --rate FPS        frame rate (25, 30000/1001): N may then be seconds (2s);\n"
    "                    a video input gives its own\n"
    "  --active x,y,w,h  active rectangle of every field (default the field)\n"
    "  --pixel-aspect N  pixel aspect x 1000 (default 1000 / the video's sample\n"
    "                    aspect ratio, 1000 for field files)\n"
    "  --scale N/D       sizes in pixels scaled by N/D (OPF_SCALE)\n"
    "  --pattern P       wipe pattern of Telescope and Glide (fieldfx patterns)\n"
    "  --field-order O   tff, bff or progressive: a video's own order overridden;\n"
    "                    for field files tff (default) or bff\n"
    "  --size WxH        size of the built-in clips (default 720x576)\n"
    "  --threads N       effects rendering fields at once, each on its own copy of\n"
    "                    the operator (default: the number of cores); the output\n"
    "                    is the same for every N\n"
    "  -y                replace an existing output\n";

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
    job.rate = args.has("--rate") ? parseRate("--rate", args.value("--rate")) : 0.0;

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
    const io::ClipReader* shortest = nullptr;
    for (const auto& c : job.clips) {
        if (c->fieldCount() < 2)
            throw Error(ErrorKind::Input, c->path() + " holds " + std::to_string(c->fieldCount()) +
                                              " field; a frame takes two");
        if (c->fieldCount() <= job.firstField)
            throw Error(ErrorKind::Usage, c->path() + " has " + std::to_string(c->fieldCount()) +
                                              " fields; --start is beyond its end");
        if (c->fieldCount() - job.firstField < available) shortest = c.get();
        available = std::min(available, c->fieldCount() - job.firstField);
    }
    // Frames are woven of two fields: a video output leaves out a field
    // without a partner at the end (a .pam keeps it, PNG frames refuse it).
    const std::string output = args.value("--output");
    if (available % 2 != 0 && !isFieldFileName(output)) {
        std::fprintf(stderr,
                     "fieldfx: warning: %s holds an odd number of fields (%zu from the start): "
                     "the last, which has no partner, is left out\n",
                     shortest->path().c_str(), available);
        if (--available == 0)
            throw Error(ErrorKind::Usage,
                        shortest->path() + ": --start leaves one field, no frame");
    }
    job.fields = available;
    if (args.has("--duration")) {
        const std::size_t frames = parseFrames("--duration", args.value("--duration"), job.rate);
        if (frames == 0) throw Error(ErrorKind::Usage, "--duration must be at least one frame");
        // A pipe that ends before the frames asked for ended early.
        bool piped = false;
        for (const std::string& in : inputs) piped = piped || video::pipeDescriptor(in, 0) >= 0;
        if (2 * frames > available)
            throw Error(piped ? ErrorKind::Input : ErrorKind::Usage,
                        "--duration " + args.value("--duration") + ": " + std::to_string(frames) +
                            " frames need " + std::to_string(2 * frames) + " fields, the input" +
                            (job.clips.size() == 2 ? "s have " : " has ") +
                            std::to_string(available) + " from the start");
        job.fields = 2 * frames;
    }
    job.settings.duration = uint32_t(job.fields);
    job.threads = args.has("--threads") ? parseCount("--threads", args.value("--threads"), 256, 1)
                                        : std::max(1u, std::thread::hardware_concurrency());

    if (args.has("--range")) {
        const FrameRange r =
            parseRange("--range", args.value("--range"), uint32_t(job.fields / 2), job.rate);
        SegmentOutput& segment = job.segment.emplace();
        segment.first = 2 * std::size_t(r.first);
        segment.count = 2 * (std::size_t(r.last) - r.first + 1);
        segment.tags["FIELDFX_BUILD"] = "fieldfx " + fileChecksum("/proc/self/exe") + " " +
                                        module.name() + " " + fileChecksum(module.path());
        // Segments written in the final codec join only with their like.
        segment.tags["FIELDFX_EFFECT"] =
            effectText(args, job) + (video::isIntraPreset(job.media.output.codec)
                                         ? " in " + job.media.output.codec
                                         : "");
        segment.tags["FIELDFX_RANGE"] = std::to_string(r.first) + ":" + std::to_string(r.last);
        segment.tags["FIELDFX_FRAMES"] = std::to_string(job.fields / 2);
        // The content of the files the fields come from: inputs (pipes
        // aside) and a mask file named by --pattern.
        std::vector<std::string> files;
        for (const std::string& in : inputs)
            if (video::pipeDescriptor(in, 0) < 0) files.push_back(in);
        struct stat st;
        if (args.has("--pattern") && stat(args.value("--pattern").c_str(), &st) == 0)
            files.push_back(args.value("--pattern"));
        segment.tags["FIELDFX_INPUTS"] = inputsTag(files);
    }
    return job;
}

void runEffect(EffectJob& job, const std::vector<uint32_t>& positions,
               const std::function<void(uint32_t, io::Field&)>& take) {
    runtime::PoolSetup setup;
    setup.module = job.module.get();
    setup.settings = job.settings;
    setup.width = job.width;
    setup.height = job.height;
    setup.prefs = job.prefs;
    setup.keyframes = &job.keyframes;
    for (const auto& c : job.clips) setup.clips.push_back(c.get());
    setup.firstField = job.firstField;
    setup.order = job.order;
    setup.threads = job.threads;
    runtime::EffectPool pool(setup, [](const std::string& note) {
        std::fprintf(stderr, "fieldfx: warning: %s\n", note.c_str());
    });
    pool.render(positions, take);
}

}  // namespace fieldfx::cli
