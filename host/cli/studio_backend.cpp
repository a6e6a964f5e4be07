// fieldfx studio's backend: the page's calls (catalogue, state, frame,
// pattern, render, progress) answered with the operators of this process,
// driven as fieldfx render drives them.
//
// The page's state is an effect name, its --set assignments (keys
// included) and, for Telescope and Glide, a built-in wipe pattern. Each
// page has a session: its own copy of the operator module and an effect
// opened for the state last asked for. The inputs (the -i clips of the
// command line) are opened once per kind of effect, by the same code as
// render, and their decoded fields are shared through a bounded cache
// (studio_footage.h).
#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <numeric>
#include <optional>
#include <thread>

#include "args.h"
#include "fieldfx/fieldio/ycbcr.h"
#include "fieldfx/runtime/catalogue.h"
#include "fieldfx/runtime/error.h"
#include "fieldfx/runtime/keyframes.h"
#include "fieldfx/runtime/parameters.h"
#include "fieldfx/patterns/patterns.h"
#include "fieldfx/studio/clip_root.h"
#include "fieldfx/studio/server.h"
#include "fieldfx/studio/session_table.h"
#include "job.h"
#include "media.h"
#include "options.h"
#include "studio.h"
#include "studio_footage.h"
#include "studio_pictures.h"
#include "studio_request.h"

namespace fieldfx::cli {

using nlohmann::json;
using runtime::Error;
using runtime::ErrorKind;
using studio::Reply;
using studio::RequestError;

namespace backend {
namespace {

// The options passed through to every render the studio shows.
const char* const kSpanOptions[] = {"--start", "--duration", "--rate", "--active",
                                    "--pixel-aspect", "--scale", "--field-order", "--size"};

constexpr std::size_t kMaxSessions = 16;

// One open page: its own module copies (one of each effect it has shown)
// and the effect opened for its state.
struct Session {
    std::mutex lock;
    std::string key;        // the state the effect below is set up for
    std::string structure;  // its effect and pattern
    std::shared_ptr<Footage> footage;  // before the sources and the effect that read it
    std::map<std::string, std::unique_ptr<runtime::OperatorModule>> modules;
    runtime::OperatorModule* module = nullptr;  // the effect's, of `modules`
    std::vector<runtime::Keyframes> keyframes;
    std::vector<std::unique_ptr<CachedSource>> sources;
    std::unique_ptr<runtime::Effect> effect;  // destroyed first: it drives the module
    std::vector<std::string> openWarnings, fieldWarnings;  // of OP_OPEN, of the last picture
    uint32_t next = 0;  // operators rendered in order: the positions below were requested
    bool inOrder = false;
    bool primed = true;  // false: the span's first field is requested before any other

    ~Session() { effect.reset(); }
};

// The render button's run.
struct RenderRun {
    std::mutex lock;
    std::thread thread;
    bool running = false;
    std::atomic<int64_t> done{0};
    int64_t total = 0;
    std::string path, error, summary;
};

class StudioBackend final : public studio::Backend {
public:
    StudioBackend(const Args& args, std::size_t cacheBytes)
        : cacheBytes_(cacheBytes) {
        for (const runtime::ModuleFile& m : runtime::availableModules()) {
            try {
                pristine_[m.name] = runtime::OperatorModule::load(m.name);
            } catch (const Error& e) {
                std::fprintf(stderr, "fieldfx studio: warning: %s\n", e.what());
            }
        }
        if (pristine_.empty()) throw Error(ErrorKind::Module, "no operator modules found");
        inputs_ = args.values("--input");
        if (inputs_.size() > 2)
            throw Error(ErrorKind::Usage, "studio takes at most two inputs (-i IN -i IN2)");
        for (const char* option : kSpanOptions)
            for (const std::string& v : args.values(option)) {
                spanWords_.push_back(option);
                spanWords_.push_back(v);
            }
        threads_ = args.value("--threads");
        const std::string output = args.has("--output") ? args.value("--output") : "studio-render.mp4";
        const std::size_t slash = output.rfind('/');
        outputDir_ = slash == std::string::npos ? "" : output.substr(0, slash + 1);
        outputName_ = slash == std::string::npos ? output : output.substr(slash + 1);
        first_.effect = args.positional().empty() ? "Swivel" : args.positional()[0];
        if (!pristine_.count(first_.effect))
            throw Error(ErrorKind::Usage, "no operator named \"" + first_.effect +
                                              "\" (fieldfx list shows them)");
        first_.sets = args.values("--set");
        first_.pattern = args.value("--pattern");
        checkPatternOption(first_.pattern);
        if (args.has("--root")) {
            try {
                root_.emplace(args.value("--root"));
            } catch (const std::runtime_error& e) {
                throw Error(ErrorKind::Usage, e.what());
            }
        }
    }

    ~StudioBackend() override {
        if (render_.thread.joinable()) render_.thread.join();
        sessions_.clear();
    }

    Reply handle(const std::string& call, const json& request) override {
        if (call == "catalogue") return Reply::json(catalogue());
        if (call == "state") return Reply::json(state(request));
        if (call == "frame") return frame(request);
        if (call == "pattern") return pattern(request);
        if (call == "render") return Reply::json(render(request));
        if (call == "progress") return Reply::json(progress());
        if (call == "clips") return Reply::json(clips(request));
        throw RequestError(404, "no such call: " + call);
    }

private:
    static void checkPatternOption(const std::string& text) {
        try {
            checkPattern(text);
        } catch (const RequestError& e) {
            throw Error(ErrorKind::Usage, std::string("--pattern: ") + e.what() +
                                              " (the studio takes built-in patterns only)");
        }
    }

    // The render command's words for `state`, without -o.
    std::vector<std::string> renderWords(const State& state, const Footage& footage) const {
        std::vector<std::string> w = {state.effect};
        w.insert(w.end(), footage.words().begin(), footage.words().end());
        for (const std::string& s : state.sets) {
            w.push_back("--set");
            w.push_back(s);
        }
        if (!state.pattern.empty()) {
            w.push_back("--pattern");
            w.push_back(state.pattern);
        }
        return w;
    }

    const runtime::OperatorModule& module(const std::string& name) const {
        const auto it = pristine_.find(name);
        if (it == pristine_.end()) throw RequestError(400, "no operator named \"" + name + "\"");
        return *it->second;
    }

    // The clips of filters or of transitions, opened on first use.
    // The clips the state shows: those chosen on the page under --root, or
    // else those of the command line.
    std::vector<std::string> clipPaths(const State& state) const {
        if (state.inputs.empty()) return inputs_;
        if (!root_)
            throw RequestError(403, "fieldfx studio was started without --root: it shows "
                                    "only the clips of its command line");
        std::vector<std::string> paths;
        for (const std::string& relative : state.inputs) paths.push_back(root_->resolve(relative));
        return paths;
    }

    // The clips of filters or of transitions, opened on first use and again
    // when the page chooses others. A session that still shows the clips
    // replaced keeps them open until its next request; their cache is
    // emptied at once (Footage::retire), so that memory stays bounded.
    std::shared_ptr<Footage> footage(bool filter, const std::string& effect, const State& state) {
        const std::vector<std::string> chosen = clipPaths(state);
        std::vector<std::string> inputs;
        if (filter) {
            if (!chosen.empty()) inputs = {chosen[0]};
        } else if (!chosen.empty()) {
            inputs = chosen;
            if (inputs.size() == 1) inputs.push_back("builtin:bars");
        }
        const std::lock_guard<std::mutex> hold(footageLock_);
        std::shared_ptr<Footage>& slot = footage_[filter ? 0 : 1];
        if (slot && slot->inputs() == inputs) return slot;
        if (slot) slot->retire();
        slot.reset();
        std::vector<std::string> words;
        for (const std::string& in : inputs) {
            words.push_back("-i");
            words.push_back(in);
        }
        words.insert(words.end(), spanWords_.begin(), spanWords_.end());
        std::vector<std::string> all = {effect};
        all.insert(all.end(), words.begin(), words.end());
        all.push_back("-o");
        all.push_back("studio.mp4");
        all.push_back("--threads");
        all.push_back("1");
        try {
            const Args args(all, effectOptions({}));
            EffectJob job = prepareJob(args, "studio");
            slot = std::make_shared<Footage>(std::move(job), inputs, std::move(words), cacheBytes_);
        } catch (const Error& e) {
            throw RequestError(400, e.what());
        } catch (const io::IoError& e) {
            throw RequestError(400, e.what());
        }
        return slot;
    }

    json catalogue() {
        json effects = json::array();
        for (const auto& [name, m] : pristine_) {
            runtime::ParameterSet params(*m);
            json ps = json::array();
            for (const runtime::Parameter& p : params.all()) ps.push_back(parameterJson(p));
            effects.push_back({{"name", name}, {"filter", m->isFilter()},
                               {"pattern", m->description().prefs != nullptr}, {"params", ps}});
        }
        json pats = json::array();
        for (const patterns::Pattern& p : patterns::builtinPatterns()) {
            json settings = json::array();
            for (const patterns::Setting& s : p.settingList())
                settings.push_back({{"name", s.name}, {"min", s.minimum}, {"max", s.maximum},
                                    {"default", s.defaultValue}, {"help", s.description}});
            pats.push_back({{"name", p.name}, {"help", p.description}, {"settings", settings}});
        }
        json first = {{"effect", first_.effect}, {"sets", first_.sets}, {"pattern", first_.pattern}};
        return {{"effects", effects}, {"patterns", pats}, {"first", first}, {"root", bool(root_)},
                {"output", outputName_}, {"outputDir", outputDir_.empty() ? "." : outputDir_}};
    }

    std::shared_ptr<Session> session(const json& request) {
        const std::string id = textField(request, "session", true);
        if (id.empty() || id.size() > 64) throw RequestError(400, "bad session id");
        return sessions_.get(id);
    }

    // Sets the session's effect up for `state`. A change of parameter values
    // only is written into the open effect, as render writes keyed values
    // between requests (an operator's fields depend on the values at their
    // request, and its caches follow them); another effect, another pattern
    // (read at OP_OPEN), or an operator that reads its parameters at OP_OPEN
    // is opened afresh, on the session's copy of that module. Throws
    // RequestError with the reason the render command would give.
    void prepare(Session& s, const State& state) {
        const std::string key = state.key();
        if (s.effect && s.key == key) return;
        const runtime::OperatorModule& pristine = module(state.effect);
        const std::shared_ptr<Footage> footage = this->footage(pristine.isFilter(), state.effect, state);
        Footage& f = *footage;
        const std::string structure = state.effect + '\n' + state.pattern;
        // As render: Standbild's fields depend on every request before them,
        // from the values at OP_OPEN on.
        const bool inOrder = state.effect == "Standbild";
        // Iris makes its distance map from Centre and Direction at the first
        // request of an effect and keeps it: a new value needs a new effect,
        // whose first request is the span's first field, as in a render.
        const bool firstRequestSets = state.effect == "Iris";
        const bool reuse = s.effect && s.structure == structure && s.footage == footage &&
                           !inOrder && !firstRequestSets;
        s.key.clear();
        if (!reuse) {
            s.effect.reset();
            s.sources.clear();
            s.footage = footage;
            std::unique_ptr<runtime::OperatorModule>& copy = s.modules[state.effect];
            if (!copy) copy = pristine.copy();
            s.module = copy.get();
        }
        std::vector<std::string> words = renderWords(state, f);
        words.push_back("-o");
        words.push_back("studio.mp4");
        try {
            const Args args(words, effectOptions({}));
            // As prepareJob sets an operator up, from its defaults.
            s.module->copyValuesFrom(pristine);
            runtime::ParameterSet params(*s.module);
            applySettings(args, params, true);
            const std::vector<uint8_t> prefs = patternPreferences(args, *s.module);
            s.keyframes = runtime::keyedParameters(params, args.values("--set"), f.job().rate);
            if (!reuse) {
                s.effect = std::make_unique<runtime::Effect>(*s.module);
                for (std::size_t i = 0; i < f.job().clips.size(); ++i) {
                    s.sources.push_back(std::make_unique<CachedSource>(f, int(i)));
                    s.effect->setInput(int(i), s.sources.back().get());
                }
                if (!prefs.empty()) s.effect->applyPreferences(prefs);
                s.effect->open(f.job().settings, f.job().width, f.job().height);
                s.openWarnings = s.effect->takeWarnings();
                s.next = 0;
                s.primed = !firstRequestSets;
            }
        } catch (const Error& e) {
            s.effect.reset();
            throw RequestError(400, e.what());
        }
        s.key = key;
        s.structure = structure;
        s.inOrder = inOrder;
    }

    // Output field `p` of the span, as render makes it.
    io::Field outputField(Session& s, uint32_t p) {
        const Footage& f = *s.footage;
        auto request = [&](uint32_t q) {
            for (const runtime::Keyframes& k : s.keyframes) k.applyAt(q / 2, *s.module);
            for (auto& src : s.sources) src->release();
            try {
                s.effect->process(q, io::holdsOddLines(f.job().order, q & 1u));
            } catch (const Error& e) {
                s.key.clear();  // reopened next time
                throw RequestError(400, e.what());
            } catch (const io::IoError& e) {
                throw RequestError(400, e.what());
            }
            for (std::string& w : s.effect->takeWarnings())
                if (s.fieldWarnings.size() < 8) s.fieldWarnings.push_back(std::move(w));
        };
        s.fieldWarnings.clear();
        if (!s.primed) {
            if (p != 0) request(0);
            s.primed = true;
        }
        if (s.inOrder) {
            if (p < s.next) {
                s.effect->close();
                s.effect->open(f.job().settings, f.job().width, f.job().height);
                s.next = 0;
            }
            for (; s.next < p; ++s.next) request(s.next);
            s.next = p + 1;
        }
        request(p);
        io::Field out;
        s.effect->swapOutput(out);
        return out;
    }

    json state(const json& request) {
        const State st = readState(request);
        auto s = session(request);
        const std::lock_guard<std::mutex> hold(s->lock);
        prepare(*s, st);
        const Footage& f = *s->footage;
        std::vector<std::string> words = renderWords(st, f);
        std::string command = "fieldfx render";
        for (const std::string& w : words) command += " " + shellWord(w);
        command += " -o " + shellWord(outputDir_ + outputName(request));
        if (!threads_.empty()) command += " --threads " + shellWord(threads_);
        json inputs = json::array();
        for (const auto& c : f.job().clips) inputs.push_back(c->path());
        // The values at the playhead's frame, keys applied, for the controls.
        const int64_t position =
            numberField(request, "position", 0, int64_t(f.job().fields) - 1, 0);
        for (const runtime::Keyframes& k : s->keyframes) k.applyAt(double(position / 2), *s->module);
        json values = json::object();
        runtime::ParameterSet params(*s->module);
        for (const runtime::Parameter& p : params.all()) {
            const ParamDescriptor* d = p.descriptor;
            if (p.kind() == PARAM_SLIDER) {
                values[p.name] = reinterpret_cast<const SliderDescriptor*>(d)->value;
            } else if (p.kind() == PARAM_CHOICE) {
                values[p.name] = reinterpret_cast<const ChoiceDescriptor*>(d)->value;
            } else if (p.kind() == PARAM_POSITION) {
                const auto* q = reinterpret_cast<const PositionDescriptor*>(d);
                values[p.name] = {q->posX, q->posY, q->areaWidth, q->areaHeight};
            }
        }
        std::vector<std::string> warnings = s->openWarnings;
        warnings.insert(warnings.end(), s->fieldWarnings.begin(), s->fieldWarnings.end());
        const runtime::EffectSettings& g = f.job().settings;
        const json active = {g.hasActive ? g.active.x : 0, g.hasActive ? g.active.y : 0};
        return {{"command", command}, {"warnings", warnings}, {"fields", f.job().fields},
                {"active", active}, {"values", values},
                {"width", f.job().width}, {"height", f.job().height},
                {"firstOdd", io::holdsOddLines(f.job().order, 0)}, {"rate", f.job().rate},
                {"inputs", inputs}};
    }

    Reply frame(const json& request) {
        const State st = readState(request);
        auto s = session(request);
        const std::lock_guard<std::mutex> hold(s->lock);
        prepare(*s, st);
        Footage& f = *s->footage;
        const int64_t position =
            numberField(request, "position", 0, int64_t(f.job().fields) - 1, 0);
        const std::string view = textField(request, "view", false);
        const std::string mode = textField(request, "mode", false);
        const std::string format = textField(request, "format", false);
        int input = -1;
        if (view == "input0") input = 0;
        else if (view == "input1" && f.job().clips.size() == 2) input = 1;
        else if (!view.empty() && view != "output") throw RequestError(400, "no view " + view);
        auto field = [&](uint32_t p) {
            if (input < 0) return outputField(*s, p);
            try {
                return io::Field(*f.field(input, f.job().firstField + p));
            } catch (const io::IoError& e) {
                throw RequestError(400, e.what());
            }
        };
        io::Field image;
        if (mode == "field") {
            image = field(uint32_t(position));
        } else {
            const uint32_t first = uint32_t(position) & ~1u;
            io::Field a = field(first);
            // A span of field files may end inside a frame: its last field
            // then stands for both.
            io::Field b = first + 1 < f.job().fields ? field(first + 1) : a;
            if (io::holdsOddLines(f.job().order, 0)) std::swap(a, b);
            io::weaveFields(a, b, image);
        }
        if (format == "png") return Reply{"image/png", pngImage(image)};
        return Reply{"application/octet-stream", displayImage(image)};
    }

    Reply pattern(const json& request) {
        const std::string name = textField(request, "name", true);
        const patterns::Pattern* p = patterns::findPattern(name);
        if (p == nullptr) throw RequestError(400, "\"" + name + "\" is not a built-in wipe pattern");
        const int width = 96, height = 72;
        std::vector<uint8_t> mask(std::size_t(width) * height);
        std::string error;
        if (!patterns::renderPattern(*p, patterns::defaultValues(*p), false, width, height,
                                     mask.data(), &error))
            throw RequestError(400, error);
        return Reply{"image/png", greyPng(width, height, mask.data(), name)};
    }

    // The file name the page gives, in the output directory: a plain name,
    // never a path.
    std::string outputName(const json& request) const {
        std::string name = textField(request, "output", false);
        if (name.empty()) name = outputName_;
        bool ok = name.size() <= 200 && name[0] != '.' && name[0] != '-';
        for (char c : name)
            ok = ok && (std::isalnum(static_cast<unsigned char>(c)) || std::strchr("._-%", c));
        if (!ok)
            throw RequestError(400, "output \"" + name +
                                        "\": a plain file name (letters, digits, . _ - and %d)");
        return name;
    }

    json render(const json& request) {
        const State st = readState(request);
        const bool replace = request.value("replace", false);
        const std::string path = outputDir_ + outputName(request);
        const runtime::OperatorModule& pristine = module(st.effect);
        const std::shared_ptr<Footage> footage = this->footage(pristine.isFilter(), st.effect, st);
        const Footage& f = *footage;
        std::vector<std::string> words = renderWords(st, f);
        words.push_back("-o");
        words.push_back(path);
        if (!threads_.empty()) {
            words.push_back("--threads");
            words.push_back(threads_);
        }
        if (replace) words.push_back("-y");
        const std::lock_guard<std::mutex> hold(render_.lock);
        if (render_.running) throw RequestError(409, "a render is running already");
        if (render_.thread.joinable()) render_.thread.join();
        // The command's own checks, before the page is told it started.
        std::unique_ptr<EffectJob> job;
        std::unique_ptr<io::ClipWriter> writer;
        try {
            const Args args(words, effectOptions({}));
            job = std::make_unique<EffectJob>(prepareJob(args, "render"));
            writer = createWriter(path, job->clips, job->order, job->rate, job->firstField,
                                  job->fields, job->media);
        } catch (const Error& e) {
            throw RequestError(400, e.what());
        } catch (const io::IoError& e) {
            throw RequestError(400, e.what());
        }
        render_.running = true;
        render_.done = 0;
        render_.total = int64_t(job->fields);
        render_.path = path;
        render_.error.clear();
        render_.summary.clear();
        render_.thread = std::thread([this, job = std::move(job), writer = std::move(writer)]() mutable {
            std::string error, summary;
            try {
                std::vector<uint32_t> positions(job->fields);
                std::iota(positions.begin(), positions.end(), 0u);
                runEffect(*job, positions, [&](uint32_t p, io::Field& out) {
                    writer->putSwapping(out);
                    render_.done = int64_t(p) + 1;
                });
                writer->commit();
                summary = job->module->name() + ": " + std::to_string(job->fields) + " fields (" +
                          std::to_string(job->fields / 2) + " frames) -> " + render_.path;
            } catch (const std::exception& e) {
                error = e.what();
            }
            writer.reset();  // an unfinished output is removed here
            job.reset();
            const std::lock_guard<std::mutex> hold(render_.lock);
            render_.error = error;
            render_.summary = summary;
            render_.running = false;
        });
        return {{"path", path}, {"total", render_.total}};
    }

    // The folders and files of a folder under --root, for the page's clip
    // dialog.
    json clips(const json& request) const {
        if (!root_)
            throw RequestError(403, "fieldfx studio was started without --root: there is no "
                                    "folder to choose clips from");
        const std::string dir = textField(request, "dir", false);
        json entries = json::array();
        for (const studio::ClipRoot::Entry& e : root_->list(dir))
            entries.push_back({{"name", e.name}, {"folder", e.folder}});
        return {{"dir", dir}, {"entries", entries}};
    }

    json progress() {
        const std::lock_guard<std::mutex> hold(render_.lock);
        return {{"running", render_.running}, {"done", render_.done.load()},
                {"total", render_.total}, {"path", render_.path}, {"error", render_.error},
                {"summary", render_.summary}};
    }

    std::size_t cacheBytes_;
    std::map<std::string, std::unique_ptr<runtime::OperatorModule>> pristine_;
    std::vector<std::string> inputs_, spanWords_;
    std::string threads_, outputDir_, outputName_;
    State first_;
    std::mutex footageLock_;
    std::shared_ptr<Footage> footage_[2];
    std::optional<studio::ClipRoot> root_;
    // Pages left open long ago give their module copies back.
    studio::SessionTable<Session> sessions_{kMaxSessions};
    RenderRun render_;
};

}  // namespace
}  // namespace backend

std::unique_ptr<studio::Backend> makeStudioBackend(const Args& args, std::size_t cacheBytes) {
    return std::make_unique<backend::StudioBackend>(args, cacheBytes);
}

}  // namespace fieldfx::cli
