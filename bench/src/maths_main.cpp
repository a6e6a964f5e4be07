// The operators' sin, cos and asin against the C library's, per call, on the
// arguments the operators pass (wave phases, angles, ratios) and on large
// ones. Run: build/bin/fieldfx-bench-maths [--benchmark_filter=...]
#include <fieldfx/helpers/maths/opmath.h>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

enum Args { Angles, Ratios, Phases, LatePhases };

// 4096 reproducible arguments: angles within +-8 pi, ratios in [-1, 1],
// wave phases n * freq / width up to about 4 * 10^8, and the phases of long
// effects, 2 * 10^9 to 10^12 (beyond the cheap reduction's 2^30 pi/2).
const std::vector<double>& arguments(Args kind)
{
    static std::vector<double> sets[4];
    std::vector<double>& v = sets[kind];
    if (v.empty()) {
        uint32_t s = 12345;
        auto next = [&s] { return (s = s * 1664525u + 1013904223u) >> 8; };
        for (int i = 0; i < 4096; i++) {
            const double u = double(next()) / double(1u << 24);
            v.push_back(kind == Angles ? (u - 0.5) * 16.0 * 3.141592654
                      : kind == Ratios ? u * 2.0 - 1.0
                      : kind == Phases ? double(next()) * 256.0 * (u * 64.0) / 720.0
                                       : 2e9 + u * 1e12);
        }
    }
    return v;
}

// Through a function pointer for both sides, so neither is inlined into the loop.
void run(benchmark::State& state, double (*f)(double), Args kind)
{
    const std::vector<double>& xs = arguments(kind);
    for (auto _ : state)
        for (double x : xs) benchmark::DoNotOptimize(f(x));
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(xs.size()));
}

double libSin(double x) { return std::sin(x); }
double libCos(double x) { return std::cos(x); }
double libAsin(double x) { return std::asin(x); }

}  // namespace

BENCHMARK_CAPTURE(run, sin_ours_angles, fieldfx::mathSin, Angles);
BENCHMARK_CAPTURE(run, sin_libm_angles, libSin, Angles);
BENCHMARK_CAPTURE(run, cos_ours_angles, fieldfx::mathCos, Angles);
BENCHMARK_CAPTURE(run, cos_libm_angles, libCos, Angles);
BENCHMARK_CAPTURE(run, asin_ours_ratios, fieldfx::mathAsin, Ratios);
BENCHMARK_CAPTURE(run, asin_libm_ratios, libAsin, Ratios);
BENCHMARK_CAPTURE(run, sin_ours_phases, fieldfx::mathSin, Phases);
BENCHMARK_CAPTURE(run, sin_libm_phases, libSin, Phases);
BENCHMARK_CAPTURE(run, sin_ours_late_phases, fieldfx::mathSin, LatePhases);
BENCHMARK_CAPTURE(run, sin_libm_late_phases, libSin, LatePhases);

BENCHMARK_MAIN();
