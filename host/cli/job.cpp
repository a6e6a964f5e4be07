#include "job.h"

#include <sys/stat.h>

#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <thread>

#include "fieldfx/runtime/error.h"
#include "fieldfx/runtime/parameters.h"
#include "options.h"
#include "segment.h"

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

// Operators whose fields depend on the requests before them within one
// effect: Standbild's shake and noise (one draw per pixel) come from a
// generator that runs from OP_OPEN across every request. Their fields are
// rendered in order, every earlier position included.
bool rendersInOrder(const runtime::OperatorModule& module) {
    return module.name() == "Standbild";
}

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

// One field in flight between the reading thread and a worker.
struct Slot {
    enum State { Free, Ready, Done } state = Free;
    std::size_t index = 0;  // into the positions
    bool has[2] = {false, false};
    io::Field inputs[2];
    io::Field output;
    std::vector<std::string> warnings;
    std::exception_ptr error;
};

// An input as a worker's effect sees it: the field read ahead for the
// request in progress, which the effect may take over (the slot is refilled
// before its next use); any other position, or that one once taken, straight
// from the clip, under the lock the reading thread takes too.
class AheadSource : public runtime::FieldSource {
public:
    AheadSource(io::ClipReader& clip, std::size_t first, std::mutex& clipLock)
        : clip_(clip), first_(first), clipLock_(clipLock) {}
    void serve(uint32_t position, io::Field* field) {
        position_ = position;
        field_ = field;
        taken_ = false;
    }
    io::Field* takeField(uint32_t position) override {
        if (position != position_ || taken_) return nullptr;
        taken_ = true;
        return field_;
    }
    const io::Field* fieldAt(uint32_t position) override {
        if (position == position_ && !taken_) return field_;
        const std::lock_guard<std::mutex> hold(clipLock_);
        const std::size_t i = first_ + position;
        if (i >= clip_.fieldCount()) return nullptr;
        other_ = clip_.field(i);
        return &other_;
    }

private:
    io::ClipReader& clip_;
    std::size_t first_;
    std::mutex& clipLock_;
    uint32_t position_ = 0;
    io::Field* field_ = nullptr;
    bool taken_ = false;
    io::Field other_;
};

// An effect on its own module copy, opened for the job.
struct Worker {
    std::unique_ptr<runtime::OperatorModule> copy;  // null: the job's own module
    std::vector<AheadSource> sources;
    std::unique_ptr<runtime::Effect> effect;
    std::thread thread;
};

void openEffect(EffectJob& job, runtime::Effect& effect) {
    if (!job.prefs.empty()) effect.applyPreferences(job.prefs);
    effect.open(job.settings, job.width, job.height);
}

// The keyed parameters' values of the frame that holds field `position`,
// written into `module` (the job's, or a worker's copy).
void applyKeys(const EffectJob& job, const runtime::OperatorModule& module, uint32_t position) {
    for (const runtime::Keyframes& k : job.keyframes) k.applyAt(position / 2, module);
}

void runInline(EffectJob& job, const std::vector<uint32_t>& positions,
               const std::function<void(uint32_t, io::Field&)>& take) {
    std::vector<ClipSource> sources;
    for (const auto& c : job.clips) sources.emplace_back(*c, job.firstField);
    runtime::Effect effect(*job.module);
    for (std::size_t i = 0; i < sources.size(); ++i) effect.setInput(int(i), &sources[i]);
    openEffect(job, effect);
    printWarnings(effect);
    // The positions skipped by an operator rendered in order are requested
    // too, their fields dropped.
    const bool inOrder = rendersInOrder(*job.module);
    io::Field out;  // the field handed on; its buffer goes back to the effect
    uint32_t next = 0;  // the positions below have been requested
    for (uint32_t p : positions) {
        for (; inOrder && next < p; ++next) {
            applyKeys(job, *job.module, next);
            effect.process(next, io::holdsOddLines(job.order, next & 1u));
            printWarnings(effect);
        }
        next = p + 1;
        applyKeys(job, *job.module, p);
        effect.process(p, io::holdsOddLines(job.order, p & 1u));
        effect.swapOutput(out);
        printWarnings(effect);
        take(p, out);
    }
    effect.close();
    printWarnings(effect);
}

// Position k goes to worker k % workers through slot k % slots. Two slots a
// worker and two more: each worker has a field waiting while it renders
// one, and reading keeps ahead while the oldest field is being taken.
void runWorkers(EffectJob& job, const std::vector<uint32_t>& positions, std::size_t workerCount,
                const std::function<void(uint32_t, io::Field&)>& take) {
    const std::size_t n = positions.size();
    std::mutex clipLock, lock;
    std::condition_variable changed;
    bool stop = false;
    std::vector<Slot> slots(2 * workerCount + 2);
    std::vector<Worker> workers(workerCount);
    for (std::size_t w = 0; w < workerCount; ++w) {
        Worker& worker = workers[w];
        if (w > 0) worker.copy = job.module->copy();
        worker.effect =
            std::make_unique<runtime::Effect>(worker.copy ? *worker.copy : *job.module);
        for (const auto& c : job.clips) worker.sources.emplace_back(*c, job.firstField, clipLock);
        for (std::size_t i = 0; i < worker.sources.size(); ++i)
            worker.effect->setInput(int(i), &worker.sources[i]);
        openEffect(job, *worker.effect);
        // Copies of one module with one setting note the same at OP_OPEN and
        // OP_CLOSE: the first worker's notes stand for all.
        if (w == 0) printWarnings(*worker.effect);
        else worker.effect->takeWarnings();
    }

    auto work = [&](std::size_t w) {
        Worker& worker = workers[w];
        for (std::size_t k = w; k < n; k += workerCount) {
            Slot& s = slots[k % slots.size()];
            {
                std::unique_lock<std::mutex> hold(lock);
                changed.wait(hold,
                             [&] { return stop || (s.state == Slot::Ready && s.index == k); });
                if (stop) return;
            }
            try {
                const uint32_t p = positions[k];
                for (std::size_t i = 0; i < worker.sources.size(); ++i)
                    worker.sources[i].serve(p, s.has[i] ? &s.inputs[i] : nullptr);
                applyKeys(job, worker.copy ? *worker.copy : *job.module, p);
                worker.effect->process(p, io::holdsOddLines(job.order, p & 1u));
                worker.effect->swapOutput(s.output);
                s.warnings = worker.effect->takeWarnings();
            } catch (...) {
                s.error = std::current_exception();
            }
            {
                const std::lock_guard<std::mutex> hold(lock);
                s.state = Slot::Done;
            }
            changed.notify_all();
        }
    };
    // The reading thread decodes ahead into free slots while this thread
    // hands finished fields on (the encoder's share): neither waits for the
    // other's work. A field that cannot be read fails its slot, and the
    // reading ends there.
    auto readAhead = [&] {
        for (std::size_t r = 0; r < n; ++r) {
            Slot& s = slots[r % slots.size()];
            {
                std::unique_lock<std::mutex> hold(lock);
                changed.wait(hold, [&] { return stop || s.state == Slot::Free; });
                if (stop) return;
            }
            s.error = nullptr;
            try {
                const std::lock_guard<std::mutex> hold(clipLock);
                for (std::size_t i = 0; i < job.clips.size(); ++i) {
                    const std::size_t f = job.firstField + positions[r];
                    s.has[i] = f < job.clips[i]->fieldCount();
                    if (s.has[i]) job.clips[i]->takeField(f, s.inputs[i]);
                }
            } catch (...) {
                s.error = std::current_exception();
            }
            const bool failed = s.error != nullptr;  // the slot is the worker's once published
            {
                const std::lock_guard<std::mutex> hold(lock);
                s.index = r;
                s.state = failed ? Slot::Done : Slot::Ready;
            }
            changed.notify_all();
            if (failed) return;
        }
    };
    // However this ends, the threads stop and are joined before the effects go.
    std::thread reader;
    struct Joiner {
        std::vector<Worker>& workers;
        std::thread& reader;
        std::mutex& lock;
        std::condition_variable& changed;
        bool& stop;
        ~Joiner() {
            {
                const std::lock_guard<std::mutex> hold(lock);
                stop = true;
            }
            changed.notify_all();
            if (reader.joinable()) reader.join();
            for (Worker& w : workers)
                if (w.thread.joinable()) w.thread.join();
        }
    } joiner{workers, reader, lock, changed, stop};
    for (std::size_t w = 0; w < workerCount; ++w) workers[w].thread = std::thread(work, w);
    reader = std::thread(readAhead);

    for (std::size_t k = 0; k < n; ++k) {
        Slot& s = slots[k % slots.size()];
        {
            std::unique_lock<std::mutex> hold(lock);
            changed.wait(hold, [&] { return s.state == Slot::Done && s.index == k; });
        }
        for (const std::string& w : s.warnings)
            std::fprintf(stderr, "fieldfx: warning: %s\n", w.c_str());
        s.warnings.clear();
        if (s.error) std::rethrow_exception(s.error);
        take(positions[k], s.output);
        {
            const std::lock_guard<std::mutex> hold(lock);
            s.state = Slot::Free;
        }
        changed.notify_all();
    }
    reader.join();
    for (Worker& w : workers) w.thread.join();
    for (Worker& w : workers) w.effect->close();
    printWarnings(*workers[0].effect);
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
    const bool inOrder = rendersInOrder(*job.module);
    const std::size_t workers = inOrder ? 1 : std::min<std::size_t>(job.threads, positions.size());
    // Positions that skip some from 0 on (a part of the span, a preview) of
    // an operator rendered in order need the skipped ones replayed.
    const bool replays = inOrder && !positions.empty() && positions.back() + 1 != positions.size();
    if (job.threads <= 1 || positions.size() <= 1 || replays) runInline(job, positions, take);
    else runWorkers(job, positions, workers, take);
}

}  // namespace fieldfx::cli
