// fieldfx-bench: fields per second of every operator, driven through the
// runtime as a host renders, at 720x288 and 1920x540, with default parameters,
// at the slowest setting and, for the operators that keep tables, with a
// parameter the tables depend on keyed to change every frame ("animated");
// the no-op modules give the host's own share.
// Google Benchmark's flags apply (--benchmark_filter=Smudge, ...). After the
// runs a Markdown table sums up the best run of each case.
//
// The cases named threads/... run one effect on each of 1 and 2 threads at
// once, each on its own module copy, and count fields a second of wall-clock
// time over all of them: how the runtime scales over cores
// (--benchmark_filter=threads/ for those alone; on a machine with more cores
// add ->Threads(n) below for the method to carry on).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>

#include "cases.h"
#include "drive.h"
#include "fields.h"

namespace {

using namespace fieldfx;
using namespace fieldfx::bench;

std::string sizeName(FieldSize s) {
    return std::to_string(s.width) + "x" + std::to_string(s.height);
}

std::string caseName(const BenchCase& c, FieldSize s) {
    return c.op + "/" + c.setting + "/" + sizeName(s);
}

void runCase(benchmark::State& state, const BenchCase& c, FieldSize size) {
    try {
        // Two fields (one frame) an input; the incoming clip differs from
        // the outgoing one.
        LoopedInput outgoing({syntheticField(size.width, size.height, 1),
                              syntheticField(size.width, size.height, 2)});
        LoopedInput incoming({syntheticField(size.width, size.height, 3),
                              syntheticField(size.width, size.height, 4)});
        std::vector<LoopedInput*> inputs{&outgoing};
        if (c.transition) inputs.push_back(&incoming);
        const auto module = loadModule(c.op);
        EffectRun run(*module, specFor(c, size), inputs);
        for (auto _ : state) benchmark::DoNotOptimize(run.step().pixels.data());
        const std::vector<std::string> warnings = run.takeWarnings();
        if (!warnings.empty()) {
            state.SkipWithError(("the runtime noted: " + warnings.front()).c_str());
            return;
        }
        state.counters["fields/s"] =
            benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
        if (!c.why.empty()) state.SetLabel(c.why);
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}

// The console report, then a table of the best run of every case.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    // Colours only on a terminal, so that a saved report is plain text.
    SummaryReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.run_type != Run::RT_Iteration || r.error_occurred || r.cpu_accumulated_time <= 0)
                continue;
            const double rate = double(r.iterations) / r.cpu_accumulated_time;
            double& best = rates_[r.benchmark_name()];
            if (rate > best) best = rate;
        }
    }

    void Finalize() override {
        ConsoleReporter::Finalize();
        std::string head = "| operator | setting |", rule = "|---|---|";
        for (FieldSize s : benchSizes()) {
            head += " " + sizeName(s) + " fields/s | ms a field | ms less host |";
            rule += "--:|--:|--:|";
        }
        std::printf("\nBest run of each case, fields a second of CPU time:\n\n%s\n%s\n",
                    head.c_str(), rule.c_str());
        const std::vector<BenchCase> cases = benchCases();
        for (const BenchCase& c : cases) {
            const BenchCase* host = &cases[0];
            for (const BenchCase& h : cases)
                if (h.op == c.host) host = &h;
            std::string line = "| " + c.op + " | " + c.setting + " |";
            bool any = false;
            for (FieldSize s : benchSizes()) {
                const double rate = rateOf(caseName(c, s));
                const double hostRate = rateOf(caseName(*host, s));
                char cell[96];
                if (rate <= 0.0) {
                    std::snprintf(cell, sizeof cell, " – | – | – |");
                } else {
                    any = true;
                    const double ms = 1000.0 / rate;
                    if (c.setting == "host" || hostRate <= 0.0)
                        std::snprintf(cell, sizeof cell, " %.1f | %.3f | – |", rate, ms);
                    else
                        std::snprintf(cell, sizeof cell, " %.1f | %.3f | %.3f |", rate, ms,
                                      ms - 1000.0 / hostRate);
                }
                line += cell;
            }
            if (any) std::printf("%s\n", line.c_str());
        }
    }

private:
    double rateOf(const std::string& name) const {
        const auto it = rates_.find(name);
        return it == rates_.end() ? 0.0 : it->second;
    }
    std::map<std::string, double> rates_;
};

}  // namespace

int main(int argc, char** argv) {
    for (const BenchCase& c : benchCases())
        for (FieldSize s : benchSizes()) {
            benchmark::RegisterBenchmark(caseName(c, s).c_str(), runCase, c, s)
                ->Unit(benchmark::kMillisecond);
            if (c.setting == "default" || c.setting == "host")
                benchmark::RegisterBenchmark(("threads/" + caseName(c, s)).c_str(), runCase, c, s)
                    ->Unit(benchmark::kMillisecond)
                    ->UseRealTime()
                    ->Threads(1)
                    ->Threads(2);
        }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
