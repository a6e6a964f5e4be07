// fieldfx studio: a local web page that shows an effect on the user's clips
// and follows every control at once. The pictures come from the operators
// in this process, driven as fieldfx render drives them, and the page shows
// the render command that makes the same bytes.
//
// The page's state is an effect name, its --set assignments (keys
// included) and, for Telescope and Glide, a built-in wipe pattern. Each
// page has a session: its own copy of the operator module and an effect
// opened for the state last asked for. The inputs (the -i clips of the
// command line) are opened once per kind of effect, by the same code as
// render, and their decoded fields are shared through a bounded cache.
#include <stdio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <numeric>
#include <thread>

#include "args.h"
#include "commands.h"
#include "fieldfx/fieldio/png.h"
#include "fieldfx/fieldio/ycbcr.h"
#include "fieldfx/runtime/catalogue.h"
#include "fieldfx/runtime/error.h"
#include "fieldfx/runtime/parameters.h"
#include "fieldfx/patterns/patterns.h"
#include "fieldfx/studio/field_cache.h"
#include "fieldfx/studio/server.h"
#include "job.h"
#include "media.h"
#include "options.h"
#include "studio.h"

namespace fieldfx::cli {

using nlohmann::json;
using runtime::Error;
using runtime::ErrorKind;
using studio::Reply;
using studio::RequestError;

namespace {

const char kHelp[] =
    "usage: fieldfx studio [NAME] [-i IN [-i IN2]] [-o OUT] [--port N]\n"
    "         [--listen ADDRESS] [--cache-mb N] [--no-browser]\n"
    "         [--set name=value]... [--pattern NAME] [--start N] [--duration N]\n"
    "         [--rate FPS] [--active x,y,w,h] [--pixel-aspect N] [--scale N/D]\n"
    "         [--field-order tff|bff|progressive] [--size WxH] [--threads N]\n"
    "\n"
    "Serves a page that shows an effect on the clips while its controls move:\n"
    "every effect, its parameters as sliders, lists, colours and positions\n"
    "dragged on the picture, keys at the current frame, the output, the inputs\n"
    "and a split view, and the fieldfx render command that makes what is shown\n"
    "(the same bytes), with a button that runs it. Prints the page's address\n"
    "and opens it in a browser where there is a display.\n"
    "  NAME              the effect shown first (default Swivel)\n"
    "  -i IN             the clips (as for render; default the built-in clips);\n"
    "                    filters use the first, transitions both\n"
    "  -o OUT            the file the render button writes (default\n"
    "                    studio-render.mp4); the page may rename it within OUT's\n"
    "                    directory\n"
    "  --port N          port to listen on (default: any free port)\n"
    "  --listen ADDRESS  listen on ADDRESS instead of 127.0.0.1 (the page is then\n"
    "                    reachable from other machines: the token still guards it)\n"
    "  --cache-mb N      memory for decoded input fields (default 512)\n"
    "  --no-browser      print the address only\n"
    "--set and --pattern give the first effect's starting settings; the other\n"
    "effect options are those of fieldfx render and hold for every effect.\n"
    "The server answers only requests with the address's token, from its own\n"
    "page, and reads no file but the clips given here.\n";

// The options passed through to every render the studio shows.
const char* const kSpanOptions[] = {"--start", "--duration", "--rate", "--active",
                                    "--pixel-aspect", "--scale", "--field-order", "--size"};

constexpr std::size_t kMaxSets = 64;
constexpr std::size_t kMaxText = 4096;
constexpr std::size_t kMaxSessions = 16;

// A word as a POSIX shell reads it back: plain, or in single quotes.
std::string shellWord(const std::string& w) {
    bool plain = !w.empty();
    for (char c : w)
        plain = plain && (std::isalnum(static_cast<unsigned char>(c)) ||
                          std::strchr("@%+=:,./_-", c) != nullptr);
    if (plain) return w;
    std::string q = "'";
    for (char c : w) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// What the page asks to see: the effect and its settings.
struct State {
    std::string effect;
    std::vector<std::string> sets;
    std::string pattern;  // a built-in pattern with its settings, or ""

    std::string key() const {
        std::string k = effect + '\n' + pattern;
        for (const std::string& s : sets) k += '\n' + s;
        return k;
    }
};

std::string textField(const json& request, const char* name, bool required) {
    const auto it = request.find(name);
    if (it == request.end() || it->is_null()) {
        if (required) throw RequestError(400, std::string("the request lacks \"") + name + "\"");
        return "";
    }
    if (!it->is_string()) throw RequestError(400, std::string("\"") + name + "\" is not text");
    const std::string text = it->get<std::string>();
    if (text.size() > kMaxText) throw RequestError(400, std::string("\"") + name + "\" is too long");
    return text;
}

int64_t numberField(const json& request, const char* name, int64_t minimum, int64_t maximum,
                    int64_t fallback) {
    const auto it = request.find(name);
    if (it == request.end() || it->is_null()) return fallback;
    if (!it->is_number_integer())
        throw RequestError(400, std::string("\"") + name + "\" is not a whole number");
    const int64_t v = it->get<int64_t>();
    if (v < minimum || v > maximum)
        throw RequestError(400, std::string("\"") + name + "\" is out of range " +
                                    std::to_string(minimum) + ".." + std::to_string(maximum));
    return v;
}

// The wipe pattern as the page gives it: a built-in pattern's name with
// settings, never a file.
void checkPattern(const std::string& text) {
    if (text.empty()) return;
    const std::string name = text.substr(0, text.find(':'));
    if (patterns::findPattern(name) == nullptr)
        throw RequestError(400, "\"" + name + "\" is not a built-in wipe pattern");
    for (char c : text)
        if (!std::isalnum(static_cast<unsigned char>(c)) && std::strchr(":=,-_", c) == nullptr)
            throw RequestError(400, "pattern " + text + ": unexpected character");
}

// The 16-bit R'G'B' samples PNG output writes for a pixel, reduced to 8
// bits for the screen: (s * 255 + 32767) / 65535 of each sample s.
void displayPixel(const uint8_t* px, uint8_t* out) {
    double rgb[3];
    io::pixelToRgb(px, rgb);
    for (int c = 0; c < 3; ++c) {
        const uint32_t s = io::quantise(rgb[c], 65535);
        out[c] = uint8_t((s * 255u + 32767u) / 65535u);
    }
    out[3] = 255;
}

// displayPixel of every pixel value, looked up: red depends on luma and Cr
// only, blue on luma and Cb (tables made at once), green on all three (made
// for a Cb, Cr pair the first time a picture holds it). 16 MiB at most.
class DisplayTable {
public:
    DisplayTable() : green_(std::size_t(1) << 24), filled_(std::size_t(1) << 16) {
        for (int y = 0; y < 256; ++y)
            for (int c = 0; c < 256; ++c) {
                uint8_t out[4];
                const uint8_t red[4] = {255, 128, uint8_t(c), uint8_t(y)};
                displayPixel(red, out);
                red_[std::size_t(y) << 8 | std::size_t(c)] = out[0];
                const uint8_t blue[4] = {255, uint8_t(c), 128, uint8_t(y)};
                displayPixel(blue, out);
                blue_[std::size_t(y) << 8 | std::size_t(c)] = out[2];
            }
    }

    void convert(const uint8_t* in, uint8_t* out) {
        const std::size_t chroma = std::size_t(in[1]) << 8 | in[2];
        if (!filled_[chroma].load(std::memory_order_acquire)) fill(chroma);
        out[0] = red_[std::size_t(in[3]) << 8 | in[2]];
        out[1] = green_[chroma << 8 | in[3]];
        out[2] = blue_[std::size_t(in[3]) << 8 | in[1]];
        out[3] = 255;
    }

private:
    void fill(std::size_t chroma) {
        const std::lock_guard<std::mutex> hold(lock_);
        if (filled_[chroma].load(std::memory_order_relaxed)) return;
        for (int y = 0; y < 256; ++y) {
            const uint8_t px[4] = {255, uint8_t(chroma >> 8), uint8_t(chroma), uint8_t(y)};
            uint8_t out[4];
            displayPixel(px, out);
            green_[chroma << 8 | std::size_t(y)] = out[1];
        }
        filled_[chroma].store(true, std::memory_order_release);
    }

    uint8_t red_[65536], blue_[65536];
    std::vector<uint8_t> green_;  // by Cb, Cr, luma
    std::vector<std::atomic<bool>> filled_;
    std::mutex lock_;
};

// A picture for the page: width and height (32-bit little-endian), then
// R, G, B, A bytes.
std::string displayImage(const io::Field& image) {
    static DisplayTable table;
    std::string out(8 + std::size_t(image.width) * image.height * 4, '\0');
    const uint32_t dims[2] = {uint32_t(image.width), uint32_t(image.height)};
    for (int i = 0; i < 8; ++i) out[i] = char(dims[i / 4] >> (8 * (i % 4)));
    uint8_t* o = reinterpret_cast<uint8_t*>(out.data()) + 8;
    const uint8_t* in = image.pixels.data();
    for (std::size_t i = 0, n = std::size_t(image.width) * image.height; i < n; ++i, in += 4, o += 4)
        table.convert(in, o);
    return out;
}

// The bytes PNG output writes for `image`.
std::string pngImage(const io::Field& image) {
    char* data = nullptr;
    std::size_t size = 0;
    std::FILE* f = open_memstream(&data, &size);
    if (f == nullptr) throw std::runtime_error("out of memory");
    try {
        io::writePngFrame(f, image, "picture");
    } catch (...) {
        std::fclose(f);
        std::free(data);
        throw;
    }
    std::fclose(f);
    std::string bytes(data, size);
    std::free(data);
    return bytes;
}

// The input clips of one kind of effect (filters or transitions), opened by
// render's own code, with their decoded fields cached. A thread reads ahead
// of the fields last asked for while the page looks at them, so that
// stepping on finds the next ones decoded.
class Footage {
public:
    Footage(EffectJob job, std::vector<std::string> words, std::size_t cacheBytes)
        : job_(std::move(job)), words_(std::move(words)), cache_(cacheBytes),
          last_(job_.clips.size(), SIZE_MAX), ahead_(job_.clips.size(), 0),
          wanted_(job_.clips.size(), 0), reader_([this] { readAhead(); }) {}

    ~Footage() {
        {
            const std::lock_guard<std::mutex> hold(lock_);
            stop_ = true;
        }
        changed_.notify_all();
        reader_.join();
    }

    const EffectJob& job() const { return job_; }
    // The input and span options of the render command.
    const std::vector<std::string>& words() const { return words_; }

    // Field `index` of input `clip` (counted in the clip, not the span).
    std::shared_ptr<const io::Field> field(int clip, std::size_t index) {
        std::unique_lock<std::mutex> hold(lock_);
        const std::size_t c = std::size_t(clip);
        // The fields after this one are read next, when nothing else is.
        ahead_[c] = index + 1;
        wanted_[c] = std::min(index + 1 + kAhead, job_.clips[c]->fieldCount());
        changed_.notify_all();
        if (auto f = cache_.find({clip, index})) return f;
        // A video is decoded forward: the fields just before the one asked
        // for come on the way (or cost little more), and scrubbing back over
        // them finds them here.
        std::size_t from = index >= kBehind ? index - kBehind : 0;
        if (last_[c] < index && last_[c] + 1 > from) from = last_[c] + 1;
        std::shared_ptr<const io::Field> result;
        for (std::size_t i = from; i <= index; ++i) {
            if (i != index && cache_.find({clip, i})) continue;
            auto f = read(c, i);
            if (i == index) result = f;
        }
        return result;
    }

private:
    static constexpr std::size_t kBehind = 4, kAhead = 8;

    std::shared_ptr<const io::Field> read(std::size_t clip, std::size_t i) {
        auto f = std::make_shared<io::Field>(job_.clips[clip]->field(i));
        last_[clip] = i;
        cache_.insert({int(clip), i}, f);
        return f;
    }

    void readAhead() {
        std::unique_lock<std::mutex> hold(lock_);
        for (;;) {
            changed_.wait(hold, [&] {
                if (stop_) return true;
                for (std::size_t c = 0; c < ahead_.size(); ++c)
                    if (ahead_[c] < wanted_[c]) return true;
                return false;
            });
            if (stop_) return;
            for (std::size_t c = 0; c < ahead_.size(); ++c) {
                if (ahead_[c] >= wanted_[c]) continue;
                const std::size_t i = ahead_[c]++;
                try {
                    if (!cache_.find({int(c), i})) read(c, i);
                } catch (const std::exception&) {
                    wanted_[c] = ahead_[c];  // the request that comes to it reports it
                }
                // Let a waiting request in between two fields.
                hold.unlock();
                std::this_thread::yield();
                hold.lock();
            }
        }
    }

    EffectJob job_;
    std::vector<std::string> words_;
    std::mutex lock_;
    std::condition_variable changed_;
    bool stop_ = false;
    studio::FieldCache cache_;
    std::vector<std::size_t> last_;    // of each clip, the field read last
    std::vector<std::size_t> ahead_;   // the next field to read ahead
    std::vector<std::size_t> wanted_;  // read ahead up to here
    std::thread reader_;  // last: starts when the rest is ready
};

// An input of a session's effect: fields of the span through the cache,
// each held until the next request.
class CachedSource : public runtime::FieldSource {
public:
    CachedSource(Footage& footage, int clip) : footage_(footage), clip_(clip) {}
    const io::Field* fieldAt(uint32_t position) override {
        const std::size_t i = footage_.job().firstField + position;
        if (i >= footage_.job().clips[std::size_t(clip_)]->fieldCount()) return nullptr;
        held_.push_back(footage_.field(clip_, i));
        return held_.back().get();
    }
    void release() { held_.clear(); }

private:
    Footage& footage_;
    int clip_;
    std::vector<std::shared_ptr<const io::Field>> held_;
};

// One open page: its own module copies (one of each effect it has shown)
// and the effect opened for its state.
struct Session {
    std::mutex lock;
    std::chrono::steady_clock::time_point used;
    std::string key;        // the state the effect below is set up for
    std::string structure;  // its effect and pattern
    Footage* footage = nullptr;
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
    Footage& footage(bool filter, const std::string& effect) {
        const std::lock_guard<std::mutex> hold(footageLock_);
        std::unique_ptr<Footage>& slot = footage_[filter ? 0 : 1];
        if (slot) return *slot;
        std::vector<std::string> inputs;
        if (filter) {
            if (!inputs_.empty()) inputs = {inputs_[0]};
        } else if (!inputs_.empty()) {
            inputs = inputs_;
            if (inputs.size() == 1) inputs.push_back("builtin:bars");
        }
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
            slot = std::make_unique<Footage>(std::move(job), std::move(words), cacheBytes_);
        } catch (const Error& e) {
            throw RequestError(400, e.what());
        } catch (const io::IoError& e) {
            throw RequestError(400, e.what());
        }
        return *slot;
    }

    json parameterJson(const runtime::Parameter& p) const {
        json j = {{"name", p.name}, {"kind", p.kindName()}, {"range", p.rangeText()},
                  {"value", p.valueText()}, {"help", p.helpText()}};
        switch (p.kind()) {
            case PARAM_SLIDER: {
                const auto* s = reinterpret_cast<const SliderDescriptor*>(p.descriptor);
                j["min"] = s->minimum;
                j["max"] = s->maximum;
                j["default"] = s->value;
                j["unit"] = p.unitText();
                j["tenths"] =
                    runtime::sliderUnit(s->head.textId).kind == runtime::SliderUnitKind::TenthDegrees;
                break;
            }
            case PARAM_CHOICE: {
                const auto* c = reinterpret_cast<const ChoiceDescriptor*>(p.descriptor);
                j["entries"] = p.entries();
                j["default"] = c->value;
                j["numbered"] = c->head.style == 1;
                break;
            }
            case PARAM_COLOUR: {
                const uint32_t w = reinterpret_cast<const ColourDescriptor*>(p.descriptor)->value;
                const uint8_t px[4] = {uint8_t(w), uint8_t(w >> 8), uint8_t(w >> 16),
                                       uint8_t(w >> 24)};
                uint8_t rgb[4];
                displayPixel(px, rgb);
                char buf[8];
                std::snprintf(buf, sizeof buf, "#%02x%02x%02x", rgb[0], rgb[1], rgb[2]);
                j["default"] = buf;
                break;
            }
            case PARAM_POSITION: {
                const auto* d = reinterpret_cast<const PositionDescriptor*>(p.descriptor);
                j["default"] = {d->posX, d->posY, d->areaWidth, d->areaHeight};
                j["sized"] = d->minWidth != d->maxWidth || d->minHeight != d->maxHeight;
                j["minSize"] = {d->minWidth, d->minHeight};
                j["maxSize"] = {d->maxWidth, d->maxHeight};
                break;
            }
            default: break;
        }
        return j;
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
        return {{"effects", effects}, {"patterns", pats}, {"first", first},
                {"output", outputName_}, {"outputDir", outputDir_.empty() ? "." : outputDir_}};
    }

    static State readState(const json& request) {
        State s;
        s.effect = textField(request, "effect", true);
        s.pattern = textField(request, "pattern", false);
        checkPattern(s.pattern);
        const auto sets = request.find("sets");
        if (sets != request.end() && !sets->is_null()) {
            if (!sets->is_array() || sets->size() > kMaxSets)
                throw RequestError(400, "\"sets\" is not a list of at most 64 assignments");
            for (const json& a : *sets) {
                if (!a.is_string() || a.get<std::string>().size() > kMaxText)
                    throw RequestError(400, "\"sets\" holds something other than name=value text");
                s.sets.push_back(a.get<std::string>());
            }
        }
        return s;
    }

    std::shared_ptr<Session> session(const json& request) {
        const std::string id = textField(request, "session", true);
        if (id.empty() || id.size() > 64) throw RequestError(400, "bad session id");
        const std::lock_guard<std::mutex> hold(sessionsLock_);
        auto& slot = sessions_[id];
        if (!slot) {
            slot = std::make_shared<Session>();
            // Pages left open long ago give their module copies back.
            while (sessions_.size() > kMaxSessions) {
                auto oldest = sessions_.begin();
                for (auto it = sessions_.begin(); it != sessions_.end(); ++it)
                    if (it->second != slot && it->second->used < oldest->second->used) oldest = it;
                sessions_.erase(oldest);
            }
        }
        slot->used = std::chrono::steady_clock::now();
        return slot;
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
        Footage& f = footage(pristine.isFilter(), state.effect);
        const std::string structure = state.effect + '\n' + state.pattern;
        // As render: Standbild's fields depend on every request before them,
        // from the values at OP_OPEN on.
        const bool inOrder = state.effect == "Standbild";
        // Iris makes its distance map from Centre and Direction at the first
        // request of an effect and keeps it: a new value needs a new effect,
        // whose first request is the span's first field, as in a render.
        const bool firstRequestSets = state.effect == "Iris";
        const bool reuse = s.effect && s.structure == structure && !inOrder && !firstRequestSets;
        s.key.clear();
        if (!reuse) {
            s.effect.reset();
            s.sources.clear();
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
        s.footage = &f;
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
        char* data = nullptr;
        std::size_t size = 0;
        std::FILE* out = open_memstream(&data, &size);
        if (out == nullptr) throw std::runtime_error("out of memory");
        try {
            io::writeGreyPng(out, width, height, mask.data(), name);
        } catch (...) {
            std::fclose(out);
            std::free(data);
            throw;
        }
        std::fclose(out);
        std::string bytes(data, size);
        std::free(data);
        return Reply{"image/png", bytes};
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
        Footage& f = footage(pristine.isFilter(), st.effect);
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
    std::unique_ptr<Footage> footage_[2];
    std::mutex sessionsLock_;
    std::map<std::string, std::shared_ptr<Session>> sessions_;
    RenderRun render_;
};

// Opens `url` in the user's browser where there is a display to show it.
void openBrowser(const std::string& url) {
    if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) return;
    const pid_t child = fork();
    if (child == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        execlp("xdg-open", "xdg-open", url.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
}

}  // namespace

std::vector<OptionSpec> studioOptions() {
    return effectOptions({{"--port", nullptr, true, false},
                          {"--listen", nullptr, true, false},
                          {"--cache-mb", nullptr, true, false},
                          {"--no-browser", nullptr, false, false}});
}

std::unique_ptr<studio::Backend> makeStudioBackend(const Args& args, std::size_t cacheBytes) {
    return std::make_unique<StudioBackend>(args, cacheBytes);
}

int studioCommand(const Words& words) {
    const Args args(words, studioOptions());
    if (args.help()) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (args.positional().size() > 1)
        throw Error(ErrorKind::Usage, "studio takes at most one operator name (fieldfx studio --help)");
    studio::ServerOptions options;
    if (args.has("--port")) options.port = int(parseCount("--port", args.value("--port"), 65535));
    if (args.has("--listen")) {
        options.address = args.value("--listen");
        if (options.address.empty() || options.address == "0.0.0.0" || options.address == "::")
            throw Error(ErrorKind::Usage,
                        "--listen " + options.address + ": give one address of this machine");
    }
    const std::size_t cacheMb =
        args.has("--cache-mb") ? parseCount("--cache-mb", args.value("--cache-mb"), 1 << 20) : 512;
    const std::unique_ptr<studio::Backend> backend = makeStudioBackend(args, cacheMb << 20);
    studio::Server server(*backend, options);
    try {
        server.bind();
    } catch (const std::runtime_error& e) {
        throw Error(ErrorKind::Usage, e.what());
    }
    std::printf("fieldfx studio: %s\n", server.url().c_str());
    std::fflush(stdout);
    if (!args.has("--no-browser")) openBrowser(server.url());
    server.run();
    return 0;
}

}  // namespace fieldfx::cli
