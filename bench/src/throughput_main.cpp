// fieldfx-throughput: how many frames a second one operator renders through
// the runtime from frames held in memory, the output discarded: our side of
// bench/compare-ffmpeg, fed the raw yuva444p frames FFmpeg reads there.
//
//   fieldfx-throughput NAME -i RAW [-i RAW2] --size WxH [--set NAME=VALUE]...
//                      [--active x,y,w,h] [--frames N] [--repeat R] [--min-seconds S]
//                      [--hold P]
//
// RAW holds frames of W x H; a transition takes a second clip. The effect
// spans N frames (2N fields, every position once, top field first; reopened
// for the next span), the raw frames repeated as often as needed. A run
// renders whole spans until it has used S seconds of CPU time (default 0.5);
// the best of R runs is printed as frames per second of CPU time and of
// wall-clock time. --hold P renders only the fields at positions P and P + 1
// of the span, over and over (one position of a transition).
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "drive.h"
#include "fieldfx/runtime/error.h"
#include "fields.h"

namespace {

using namespace fieldfx;
using namespace fieldfx::bench;

double seconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

[[noreturn]] void usage(const std::string& why) {
    std::fprintf(stderr,
                 "fieldfx-throughput: %s\n"
                 "usage: fieldfx-throughput NAME -i RAW [-i RAW2] --size WxH [--set NAME=VALUE]...\n"
                 "       [--active x,y,w,h] [--frames N] [--repeat R] [--min-seconds S]\n"
                 "       [--hold P]\n",
                 why.c_str());
    std::exit(2);
}

int number(const std::string& option, const std::string& text, int minimum) {
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || v < minimum || v > 1000000)
        usage(option + " " + text + ": expected a whole number from " + std::to_string(minimum));
    return int(v);
}

double decimal(const std::string& option, const std::string& text) {
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(v >= 0.0) || v > 3600.0)
        usage(option + " " + text + ": expected seconds, e.g. 0.5");
    return v;
}

// "a<sep>b<sep>..." as `count` numbers.
std::vector<int> numbers(const std::string& option, const std::string& text, char sep,
                         std::size_t count) {
    std::vector<int> out;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(sep, start);
        if (end == std::string::npos) end = text.size();
        out.push_back(number(option, text.substr(start, end - start), 0));
        start = end + 1;
    }
    if (out.size() != count) usage(option + " " + text + ": expected " + std::to_string(count) +
                                   " numbers separated by '" + sep + "'");
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    std::string name;
    std::vector<std::string> raws;
    RunSpec runSpec;
    int width = 0, height = 0, frames = 100, repeat = 3;
    double minSeconds = 0.5;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) usage(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "-i") raws.push_back(value());
        else if (arg == "--set") runSpec.settings.push_back(value());
        else if (arg == "--frames") frames = number(arg, value(), 1);
        else if (arg == "--repeat") repeat = number(arg, value(), 1);
        else if (arg == "--hold") runSpec.holdAt = number(arg, value(), 0);
        else if (arg == "--min-seconds") minSeconds = decimal(arg, value());
        else if (arg == "--size") {
            const std::vector<int> wh = numbers(arg, value(), 'x', 2);
            width = wh[0];
            height = wh[1];
        } else if (arg == "--active") {
            const std::vector<int> r = numbers(arg, value(), ',', 4);
            runSpec.hasActive = true;
            runSpec.active = runtime::ActiveRect{int16_t(r[0]), int16_t(r[1]), int16_t(r[2]),
                                              int16_t(r[3])};
        } else if (!arg.empty() && arg[0] == '-') usage("unknown option " + arg);
        else if (name.empty()) name = arg;
        else usage("one operator name only");
    }
    if (name.empty()) usage("no operator name");
    if (raws.empty()) usage("no input (-i RAW)");
    if (width < 2 || height < 2 || width > 8192 || height > 8192) usage("no usable --size");

    try {
        std::vector<LoopedInput> inputs;
        inputs.reserve(raws.size());
        for (const std::string& raw : raws) inputs.emplace_back(readRawFields(raw, width, height));
        std::vector<LoopedInput*> pointers;
        for (LoopedInput& in : inputs) pointers.push_back(&in);
        const auto module = loadModule(name);
        runSpec.duration = uint32_t(2 * frames);
        EffectRun run(*module, runSpec, pointers);
        double bestCpu = 0.0, bestWall = 0.0;
        for (int r = 0; r < repeat; ++r) {
            const double cpu0 = seconds(CLOCK_PROCESS_CPUTIME_ID);
            const double wall0 = seconds(CLOCK_MONOTONIC);
            double cpu = 0.0;
            long done = 0;
            do {
                for (int f = 0; f < 2 * frames; ++f) run.step();
                done += frames;
                cpu = seconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
            } while (cpu < minSeconds);
            const double wall = seconds(CLOCK_MONOTONIC) - wall0;
            if (cpu > 0.0 && done / cpu > bestCpu) bestCpu = done / cpu;
            if (wall > 0.0 && done / wall > bestWall) bestWall = done / wall;
        }
        const std::vector<std::string> warnings = run.takeWarnings();
        for (const std::string& w : warnings) std::fprintf(stderr, "fieldfx-throughput: %s\n", w.c_str());
        std::printf("%s frames/s cpu %.2f wall %.2f\n", name.c_str(), bestCpu, bestWall);
        return warnings.empty() ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "fieldfx-throughput: %s\n", e.what());
        return 1;
    }
}
