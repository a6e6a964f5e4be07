// What the operator benchmarks measure: every operator with its default
// parameters and at its slowest setting, and the two no-op modules that
// measure the host's own share of a request.
#ifndef FIELDFX_BENCH_CASES_H
#define FIELDFX_BENCH_CASES_H

#include <cstdint>
#include <string>
#include <vector>

#include "drive.h"

namespace fieldfx::bench {

struct FieldSize {
    int32_t width, height;
};

// 625-line standard definition and 1080-line high definition fields.
const std::vector<FieldSize>& benchSizes();

struct BenchCase {
    std::string op;
    // "default", "slowest", "animated" (a parameter the operator's kept
    // tables depend on keyed to change every frame), or "host" for the
    // no-op modules
    std::string setting;
    std::string why;      // what makes the setting slow
    bool transition = false;
    RunSpec runSpec;         // active rectangle in fractions below, per size
    // The no-op module whose requests match this case's fetches: the host's
    // share that the summary subtracts.
    std::string host;
    // Active rectangle inset from the field's edges by width / insetX columns
    // and height / insetY rows (0: no inset on that axis).
    int insetX = 0, insetY = 0;
};

// The cases in the order they are reported: the two no-op modules, then the
// thirteen operators, default, animated where they keep tables, then slowest.
std::vector<BenchCase> benchCases();

// The run of `c` on fields of `size`: the runSpec with its active rectangle.
RunSpec specFor(const BenchCase& c, FieldSize size);

}  // namespace fieldfx::bench

#endif
