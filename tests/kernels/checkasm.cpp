// The kernel test: every kernel's versions for each instruction set this
// processor runs, against its reference, on random and edge inputs, byte for
// byte. A mismatch prints the kernel, the level and the case's parameters.
//
//   checkasm [--seed N] [--cases N] [--isa LEVEL] [--bench]
//
// --isa checks the levels up to LEVEL only; --bench times each version on one
// large case afterwards (nanoseconds per call, and the speed-up over the
// reference).
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cmath>
#include <cstring>
#include <limits>
#include <algorithm>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "fieldfx/helpers/effects/pattern_wipe.h"
#include "fieldfx/helpers/effects/tunnel_geometry.h"
#include "fieldfx/helpers/lanes/cpu.h"
#include "fieldfx/operator.h"

#include "../../ops/Burrow/src/kernels.h"
#include "../../ops/Drunken/src/kernels.h"
#include "../../ops/Heatwave/src/kernels.h"
#include "../../ops/Standbild/src/kernels.h"
#include "../../ops/Swivel/src/kernels.h"
#include "../../ops/Tunnel/src/kernels.h"
#include "../../ops/Widescreen/src/kernels.h"
#include "../helpers/table_positions.h"

namespace {

using fieldfx::Isa;

struct Options {
    uint32_t seed = 1;
    int cases = 300;
    Isa top = fieldfx::processorIsa();
    bool bench = false;
};

// A field of random bytes, with an active rectangle that may lie partly
// outside it (the kernels' sources clamp reads to it).
struct Image {
    std::vector<uint8_t> pixels;
    FieldImage f{};

    Image(std::mt19937& rng, int32_t width, int32_t height) : pixels(std::size_t(width) * height * 4) {
        for (uint8_t& b : pixels) b = uint8_t(rng());
        // Edge bytes often: flat areas and the extremes.
        if (rng() % 4 == 0) std::fill(pixels.begin(), pixels.end(), uint8_t(rng() % 2 ? 255 : 0));
        f.pixels = pixels.data();
        f.width = int16_t(width), f.height = int16_t(height);
        f.activeX = int16_t(rng() % 3 == 0 ? rng() % (width + 1) : 0);
        f.activeY = int16_t(rng() % 3 == 0 ? rng() % (height + 1) : 0);
        f.activeWidth = int16_t(width - f.activeX);
        f.activeHeight = int16_t(height - f.activeY);
    }
};

int32_t pick(std::mt19937& rng, std::initializer_list<int32_t> edges, int32_t lo, int32_t hi) {
    if (rng() % 3 == 0) return edges.begin()[rng() % edges.size()];
    return lo + int32_t(rng() % uint32_t(hi - lo + 1));
}

fieldfx::TunnelCentre randomCentre(std::mt19937& rng, int32_t width, int32_t height) {
    return fieldfx::TunnelCentre{pick(rng, {0, width / 2, width - 1, -5, width + 9}, -20, width + 20),
                                 pick(rng, {0, height / 2, height - 1}, -10, height + 10),
                                 int32_t(rng() % 2), pick(rng, {1000, 1094, 889, 1}, 1, 3000)};
}

// One case of a kernel: fills `out` with the bytes the version computes;
// describe() names the parameters.
struct Case {
    std::function<void(int level, std::vector<uint8_t>& out)> run;
    std::string params;
};

// Runs every version of kernel `name` on `cases` cases from make(rng) and
// compares each with the reference; returns the number of mismatches.
template <typename F>
int check(const char* name, const fieldfx::Kernels<F>& kernels, const Options& o,
          const std::function<Case(std::mt19937&)>& make) {
    int failures = 0;
    for (int level = int(Isa::Sse2); level <= int(o.top); ++level) {
        if (kernels.exactly(Isa(level)) == nullptr) continue;
        std::mt19937 rng(o.seed);
        int failed = 0;
        for (int i = 0; i < o.cases; ++i) {
            const Case c = make(rng);
            std::vector<uint8_t> expected, got;
            c.run(int(Isa::Ref), expected);
            c.run(level, got);
            if (expected == got) continue;
            std::size_t at = 0;
            while (expected[at] == got[at]) ++at;
            if (++failed <= 3)
                std::printf("FAIL %s %s case %d: %s: byte %zu is %u, the reference gives %u\n", name,
                            fieldfx::kIsaNames[level], i, c.params.c_str(), at, got[at],
                            expected[at]);
        }
        std::printf("%-12s %-7s %s (%d cases, seed %u)\n", name, fieldfx::kIsaNames[level],
                    failed ? "FAILED" : "ok", o.cases, o.seed);
        failures += failed;
    }
    return failures;
}

// Times each version on one case: nanoseconds per call, best of five runs.
template <typename F>
void bench(const char* name, const fieldfx::Kernels<F>& kernels, const Options& o, const Case& c) {
    double reference = 0;
    for (int level = 0; level <= int(o.top); ++level) {
        if (kernels.exactly(Isa(level)) == nullptr) continue;
        std::vector<uint8_t> out;
        c.run(level, out);
        int calls = 1;
        double best = 1e30;
        for (int round = 0; round < 5; ++round) {
            const auto start = std::chrono::steady_clock::now();
            for (int k = 0; k < calls; ++k) c.run(level, out);
            const double ns =
                std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start)
                    .count() / calls;
            best = std::min(best, ns);
            if (ns * calls < 2e7) calls *= 4;
        }
        if (level == 0) reference = best;
        std::printf("bench %-12s %-7s %12.0f ns  x%.2f\n", name, fieldfx::kIsaNames[level], best,
                    reference / best);
    }
}

// The geometry table of a field, as the operators keep it; null when the
// case asks for the direct computation.
struct Geometry {
    fieldfx::TunnelGeometryCache cache;
    const fieldfx::TunnelTable* table = nullptr;
};

template <typename Field>
std::string describeField(const Field& q, int32_t cols, int32_t rows, int32_t y, bool table) {
    char text[256];
    std::snprintf(text, sizeof text, "%dx%d row %d centre (%d,%d) odd %d aspect %d depth %d %s",
                  cols, rows, y, q.c.cx, q.c.cy, q.c.f, q.c.pa, q.depth,
                  table ? "table" : "direct");
    return text;
}

// A random case, or with `size` one row of a field of that size.
Case tunnelCase(std::mt19937& rng, int32_t maxCols, int32_t size = 0) {
    const int32_t cols = size ? size : pick(rng, {1, 4, 63, 64, 65, 129}, 1, maxCols);
    const int32_t rows = size ? 540 : pick(rng, {1, 2}, 1, 40);
    auto src = std::make_shared<Image>(rng, cols, rows);
    fieldfx::tunnel::TunnelField q;
    q.c = randomCentre(rng, cols, rows);
    q.r0 = pick(rng, {0, 1}, 0, rows);
    q.span = rng() % 8 == 0 ? 0.5 : double(pick(rng, {1}, 1, 3 * cols)) + 0.25 * (rng() % 4);
    q.depth = pick(rng, {0, 20}, 0, 20);
    q.mix = pick(rng, {0, 100}, 0, 100);
    int32_t y = int32_t(rng() % uint32_t(rows));
    bool useTable = rng() % 4 != 0;
    if (size) {
        // The benchmark: Tunnel's defaults (centre in the middle, the disc
        // half the field's height, depth 10) with Mix 50, a row through the
        // disc, the kept table.
        q.c = fieldfx::TunnelCentre{cols / 2, rows / 2, 0, 1094};
        q.r0 = rows / 2, q.span = double(cols) - q.r0, q.depth = 10, q.mix = 50;
        y = rows / 4, useTable = true;
    }
    auto geometry = std::make_shared<Geometry>();
    if (useTable) geometry->table = geometry->cache.rows(q.c, cols, rows);
    Case c;
    c.params = describeField(q, cols, rows, y, useTable) + " mix " + std::to_string(q.mix) +
               " r0 " + std::to_string(q.r0) + " span " + std::to_string(q.span);
    c.run = [=](int level, std::vector<uint8_t>& out) {
        out.assign(std::size_t(cols) * 4, 0);
        const fieldfx::SampleSource source = fieldfx::clampSource(&src->f);
        const fieldfx::TunnelRows part =
            geometry->table ? geometry->table->row(y) : fieldfx::TunnelRows{};
        fieldfx::tunnel::kTunnelRow.exactly(Isa(level))(
            source, geometry->table ? &part : nullptr, y, cols,
            src->pixels.data() + std::size_t(y) * cols * 4, out.data(), q);
    };
    return c;
}

// A random case, or with `size` one row of a field of that size.
Case burrowCase(std::mt19937& rng, int32_t maxCols, int32_t size = 0) {
    const int32_t cols = size ? size : pick(rng, {1, 4, 63, 64, 65, 129}, 1, maxCols);
    const int32_t rows = size ? 540 : pick(rng, {1, 2}, 1, 40);
    auto a = std::make_shared<Image>(rng, cols, rows);
    auto b = std::make_shared<Image>(rng, cols, rows);
    fieldfx::burrow::BurrowField q;
    q.c = randomCentre(rng, cols, rows);
    const int64_t d = pick(rng, {1, 7, 8, 9, 64}, 1, 400);
    const int64_t t = int64_t(rng() % uint64_t(d));
    const double rmax = double(pick(rng, {1}, 1, 4 * cols));
    q.g.t = t, q.g.d8 = d / 8;
    q.g.r = double(t) * rmax / double(d);
    q.g.span = rmax - q.g.r;
    q.depth = pick(rng, {0, 20}, 0, 20);
    q.fade = q.g.t < q.g.d8;
    q.keep = q.g.d8 - q.g.t;
    int32_t y = int32_t(rng() % uint32_t(rows));
    bool useTable = rng() % 4 != 0;
    if (size) {
        // The benchmark: a 100-field opening from the middle at field 50
        // with a disc a quarter of the field's height across (a small one,
        // so most of the row is tunnel), depth 10, the kept table.
        q.c = fieldfx::TunnelCentre{cols / 2, rows / 2, 0, 1094};
        q.g.t = 50, q.g.d8 = 12, q.g.r = double(rows) / 4.0;
        q.g.span = double(cols) - q.g.r;
        q.depth = 10, q.fade = false, q.keep = q.g.d8 - q.g.t;
        y = rows / 4, useTable = true;
    }
    auto geometry = std::make_shared<Geometry>();
    if (useTable) geometry->table = geometry->cache.rows(q.c, cols, rows);
    Case c;
    c.params = describeField(q, cols, rows, y, useTable) + " t " + std::to_string(t) + " of " +
               std::to_string(d) + " r " + std::to_string(q.g.r);
    c.run = [=](int level, std::vector<uint8_t>& out) {
        out.assign(a->pixels.begin() + std::size_t(y) * cols * 4,
                   a->pixels.begin() + std::size_t(y + 1) * cols * 4);
        const fieldfx::SampleSource source{b->pixels.data(), cols, fieldfx::activeRect(&a->f)};
        const fieldfx::TunnelRows part =
            geometry->table ? geometry->table->row(y) : fieldfx::TunnelRows{};
        fieldfx::burrow::kBurrowRow.exactly(Isa(level))(
            source.bounds.empty() ? fieldfx::SampleSource{b->pixels.data(), cols, fieldfx::imageRect(&b->f)}
                                  : source,
            geometry->table ? &part : nullptr, y, cols, out.data(),
            b->pixels.data() + std::size_t(y) * cols * 4, cols - 1, q);
    };
    return c;
}

std::vector<uint8_t> randomBytes(std::mt19937& rng, std::size_t n) {
    std::vector<uint8_t> v(n);
    for (uint8_t& b : v) b = uint8_t(rng());
    if (rng() % 4 == 0) std::fill(v.begin(), v.end(), uint8_t(rng() % 2 ? 255 : 0));
    return v;
}

Case blendRowsCase(std::mt19937& rng, int32_t size = 0) {
    const std::size_t bytes = size ? std::size_t(size) : std::size_t(pick(rng, {0, 1, 15, 16, 17, 64}, 0, 300));
    auto rows = std::make_shared<std::vector<uint8_t>>(randomBytes(rng, 2 * bytes));
    const float edges[] = {0.0f, 0.5f, 0.99999994f, 0.25f};
    const float frac = rng() % 3 == 0 ? edges[rng() % 4] : float(rng() % 1000000) / 1e6f;
    char text[96];
    std::snprintf(text, sizeof text, "%zu bytes frac %.9g", bytes, double(frac));
    Case c;
    c.params = text;
    c.run = [=](int level, std::vector<uint8_t>& out) {
        out.assign(bytes + 16, 0xA5);  // bytes past the row must stay
        fieldfx::widescreen::kBlendRows.exactly(Isa(level))(rows->data(), rows->data() + bytes,
                                                            frac, out.data(), bytes);
    };
    return c;
}

Case averageRowCase(std::mt19937& rng, int32_t size = 0) {
    using fieldfx::drunken::Offset;
    const int32_t width = size ? size : pick(rng, {1, 4, 5, 8}, 1, 120);
    const int32_t n = pick(rng, {2, fieldfx::drunken::kMaxSamples}, 2, fieldfx::drunken::kMaxSamples);
    std::vector<Offset> offsets(std::size_t(n), Offset{0, 0});
    const int32_t reach = std::max(width / 5, 1);
    for (Offset& o : offsets) o.dx = pick(rng, {0, -width, width}, -reach, reach);
    int32_t inner = 0, innerEnd = width;
    for (const Offset& o : offsets) {
        inner = std::max(inner, -o.dx);
        innerEnd = std::min(innerEnd, width - o.dx);
    }
    auto pixels = std::make_shared<std::vector<uint8_t>>(randomBytes(rng, std::size_t(n) * width * 4));
    auto start = std::make_shared<std::vector<uint8_t>>(randomBytes(rng, std::size_t(width) * 4));
    std::string text = std::to_string(width) + " pixels, " + std::to_string(n) + " points at dx";
    for (const Offset& o : offsets) text += " " + std::to_string(o.dx);
    Case c;
    c.params = text;
    c.run = [=](int level, std::vector<uint8_t>& out) {
        out = *start;
        const uint8_t* rows[fieldfx::drunken::kMaxSamples];
        for (int32_t i = 0; i < n; ++i) rows[i] = pixels->data() + std::size_t(i) * width * 4;
        fieldfx::drunken::kAverageRow.exactly(Isa(level))(rows, offsets.data(), n, width, inner,
                                                          innerEnd, out.data());
    };
    return c;
}

// The pattern wipe of Telescope and Glide: the field loop of each level
// against the pixel-by-pixel reference (paintPatternWipeReference). On x86
// the loop's baseline computes in SSE2 lanes, so it is checked as sse2.
using Wipe = fieldfx::PaintPatternWipe<wipetest::TablePositions>;

void wipeReference(const FieldImage* src0, const FieldImage* src1, FieldImage* dst,
                   const FieldImage* mask, const fieldfx::WipeLevels& lv,
                   const wipetest::TablePositions& positions) {
    fieldfx::paintPatternWipeReference(src0, src1, dst, mask, lv, positions);
}

const fieldfx::Kernels<Wipe> kWipe{
    &wipeReference,
#if defined(__SSE2__)
    fieldfx::kPaintPatternWipe<wipetest::TablePositions>.ref,
#endif
#if defined(FIELDFX_AVX2_LANES)
    fieldfx::kPaintPatternWipe<wipetest::TablePositions>.avx2,
#endif
};

Case wipeCase(std::mt19937& rng, int32_t size = 0) {
    const int32_t w = size ? size : pick(rng, {1, 4, 257}, 1, 90), h = size ? 8 : pick(rng, {1}, 1, 12);
    auto in0 = std::make_shared<Image>(rng, w, h);
    auto in1 = std::make_shared<Image>(rng, rng() % 4 || size ? w : pick(rng, {1}, 1, w),
                                       rng() % 4 || size ? h : pick(rng, {1}, 1, h));
    in0->f.activeX = int16_t(pick(rng, {0}, -3, w / 2));
    in0->f.activeY = int16_t(pick(rng, {0}, -2, h / 2));
    in0->f.activeWidth = int16_t(pick(rng, {w}, 0, w + 4));
    in0->f.activeHeight = int16_t(pick(rng, {h}, 0, h + 3));
    if (size) in0->f.activeX = in0->f.activeY = 0, in0->f.activeWidth = int16_t(w), in0->f.activeHeight = int16_t(h);
    const int32_t aW = std::max<int32_t>(1, in0->f.activeWidth);
    const int32_t aH = std::max<int32_t>(1, in0->f.activeHeight);
    const int32_t maskW = rng() % 2 ? aW : pick(rng, {1}, 1, 2 * aW);
    const int32_t maskH = pick(rng, {1}, 1, 2 * aH);
    auto mask = std::make_shared<Image>(rng, maskW, maskH);
    mask->pixels = randomBytes(rng, std::size_t(maskW) * maskH);
    mask->f.pixels = mask->pixels.data();
    mask->f.activeX = mask->f.activeY = 0;
    mask->f.activeWidth = int16_t(maskW), mask->f.activeHeight = int16_t(maskH);
    auto positions = std::make_shared<wipetest::TablePositions>();
    for (int i = 0; i < 97; ++i) {
        const int kind = pick(rng, {0}, 0, 9);
        const double v = kind == 0   ? std::numeric_limits<double>::quiet_NaN()
                         : kind == 1 ? (rng() % 2 ? 1.0 : -1.0) * std::ldexp(1.0, pick(rng, {20}, 20, 40))
                         : kind == 2 ? double(pick(rng, {0}, -4, w + 4))
                                     : double(pick(rng, {0}, -4000, 4000 * std::max(w, h))) / 1000.0;
        positions->table.push_back(v);
    }
    int32_t softness = rng() % 4 ? pick(rng, {0}, 0, 100) : 100;
    uint32_t position = uint32_t(pick(rng, {0, 25, 50}, 0, 60));
    if (size) {
        // The benchmark: halfway through a left-to-right wipe with Softness
        // 100, sample positions inside the field.
        for (int32_t y = 0; y < maskH; ++y)
            for (int32_t x = 0; x < maskW; ++x)
                mask->pixels[std::size_t(y) * maskW + x] = uint8_t(x * 255 / std::max(maskW - 1, 1));
        for (double& v : positions->table) v = double(rng() % uint32_t(w * 1000)) / 1000.0;
        softness = 100, position = 25;
    }
    const fieldfx::WipeLevels lv =
        fieldfx::wipeLevels(fieldfx::wipeBandWidth(softness), position, 50);
    auto start = std::make_shared<std::vector<uint8_t>>(randomBytes(rng, std::size_t(w) * h * 4));
    char text[160];
    std::snprintf(text, sizeof text,
                  "%dx%d active %d,%d %dx%d, incoming %dx%d, mask %dx%d, softness %d position %u",
                  w, h, in0->f.activeX, in0->f.activeY, in0->f.activeWidth, in0->f.activeHeight,
                  in1->f.width, in1->f.height, maskW, maskH, softness, position);
    Case c;
    c.params = text;
    c.run = [=](int level, std::vector<uint8_t>& out) {
        out = *start;
        FieldImage dst = in0->f;
        dst.pixels = out.data();
        kWipe.exactly(Isa(level))(&in0->f, &in1->f, &dst, &mask->f, lv, *positions);
    };
    return c;
}

// A row of Swivel's rotation: with `inside`, the run of columns whose
// neighbours all lie inside the bounds (as Swivel finds it); otherwise any
// run of columns.
Case columnsCase(std::mt19937& rng, bool inside, int32_t size = 0) {
    namespace swivel = fieldfx::swivel;
    const int32_t width = size ? size : pick(rng, {1, 4, 5}, 1, 120);
    const int32_t height = size ? 540 : pick(rng, {1, 2}, 1, 60);
    const int32_t tenths = size ? 125 : pick(rng, {0, 450, -450, 1, -1}, -450, 450);
    auto src = std::make_shared<Image>(rng, width, height);
    const swivel::Rotation rot = swivel::rotationOf(tenths, width, height);
    const int32_t r = size ? height / 2 : int32_t(rng() % uint32_t(height));
    const swivel::RowTerms row = swivel::rowTerms(rot, r);
    const fieldfx::SampleSource source = fieldfx::clampSource(&src->f);
    const fieldfx::PixelRect& b = source.bounds;
    int32_t begin = pick(rng, {0}, 0, width), end = pick(rng, {width}, 0, width);
    if (end < begin) std::swap(begin, end);
    if (inside) {
        const swivel::ColumnRun run =
            swivel::BoxColumns(b.x0, b.x1 - 2, b.y0, b.y1 - 2).along(rot, row, width);
        begin = run.begin, end = run.end;
    }
    if (size) begin = 0, end = inside ? end : width;
    const fieldfx::Kernels<swivel::ColumnSampler>* kernels =
        inside ? &swivel::kInsideColumns : &swivel::kClampedColumns;
    char text[128];
    std::snprintf(text, sizeof text, "%dx%d, %d tenths of a degree, row %d, columns %d to %d", width,
                  height, tenths, r, begin, end);
    Case c;
    c.params = text;
    c.run = [=](int level, std::vector<uint8_t>& out) {
        out.assign(std::size_t(width) * 4 + 16, 0xA5);
        (void)src;  // holds the pixels `source` reads
        kernels->exactly(Isa(level))(rot, row, source, begin, end, out.data() + std::size_t(begin) * 4);
    };
    return c;
}

// Heatwave's rectangle: a random area of a random field with amplitudes up
// to the sliders' 100, from the wave tables or (a quarter of the cases)
// without them.
Case waveCase(std::mt19937& rng, int32_t size = 0) {
    namespace heatwave = fieldfx::heatwave;
    const int32_t width = size ? size : pick(rng, {1, 4, 8}, 1, 100);
    const int32_t height = size ? 540 : pick(rng, {1, 2}, 1, 40);
    auto src = std::make_shared<Image>(rng, width, height);
    heatwave::WaveRect rect{pick(rng, {0}, 0, width - 1), pick(rng, {0}, 0, height - 1), 0, 0};
    rect.cols = pick(rng, {width - rect.x0}, 1, width - rect.x0);
    rect.rows = pick(rng, {height - rect.y0}, 1, height - rect.y0);
    const uint32_t phase = uint32_t(pick(rng, {0, 1}, 0, 1000000));
    const double freq = heatwave::waveFrequency(pick(rng, {0, 50, 100}, 0, 100));
    const heatwave::Amplitudes amp{pick(rng, {0, 100}, 0, 100) / 50.0,
                                   pick(rng, {0, 100}, 0, 100) / 100.0};
    bool tabled = rng() % 4 != 0;
    if (size) rect = {0, 0, width, height}, tabled = true;
    auto tables = std::make_shared<std::vector<double>>();
    heatwave::WaveTables t{};
    if (tabled) {
        const heatwave::WaveSpan a = heatwave::waveSpanA(phase, rect);
        const heatwave::WaveSpan b = heatwave::waveSpanB(phase, rect);
        tables->resize(2 * (a.count + b.count));
        double* store = tables->data();
        t = {store, store + a.count, store + 2 * a.count, store + 2 * a.count + b.count};
        heatwave::fillWave(t.cosA, t.sinA, a, freq, double(width));
        heatwave::fillWave(t.cosB, t.sinB, b, freq, double(2 * height));
    }
    char text[160];
    std::snprintf(text, sizeof text,
                  "%dx%d, rect %d,%d %dx%d, phase %u, freq %.17g, amplitudes %g %g, %s", width,
                  height, rect.x0, rect.y0, rect.cols, rect.rows, phase, freq, amp.x, amp.y,
                  tabled ? "tables" : "direct");
    Case c;
    c.params = text;
    c.run = [=](int level, std::vector<uint8_t>& out) {
        out = src->pixels;
        (void)tables;  // holds the wave tables `t` points into
        const heatwave::WaveJob job{fieldfx::clampSource(&src->f), out.data(), width, height, rect,
                                    phase, freq, amp, tabled ? &t : nullptr};
        heatwave::kWaveRows.exactly(Isa(level))(job);
    };
    return c;
}

// Standbild's field: the picture displaced by up to the sliders' 10 pixels
// and rows (fractions included), through the column taps or (a quarter of
// the cases) the sampler, with noise from one seed.
Case shakeCase(std::mt19937& rng, int32_t size = 0) {
    namespace standbild = fieldfx::standbild;
    const int32_t width = size ? size : pick(rng, {1, 2, 5}, 1, 80);
    const int32_t height = size ? 540 : pick(rng, {1, 2}, 1, 30);
    auto src = std::make_shared<Image>(rng, width, height);
    const int32_t rows = size ? height : pick(rng, {height}, 0, height);
    const standbild::Offset o{double(pick(rng, {0, 10, -10}, -10000, 10000)) / 1000.0,
                              double(pick(rng, {0, 10, -10}, -10000, 10000)) / 1000.0};
    const bool noisy = size ? true : rng() % 2 == 0;
    const int32_t amp = pick(rng, {0, 10}, 0, 10);
    const bool tapped = size ? true : rng() % 4 != 0;
    const uint32_t seed = uint32_t(rng());
    auto taps = std::make_shared<std::vector<standbild::Tap>>();
    const fieldfx::SampleSource source = fieldfx::imageClampSource(&src->f);
    for (int32_t c = 0; c < width; ++c)
        taps->push_back(standbild::axisTap(source, double(c) + o.x, 0));
    char text[160];
    std::snprintf(text, sizeof text, "%dx%d, %d rows, offset %.17g %.17g, noise %s amp %d, %s",
                  width, height, rows, o.x, o.y, noisy ? "on" : "off", amp,
                  tapped ? "column taps" : "sampler");
    Case c;
    c.params = text;
    c.run = [=](int level, std::vector<uint8_t>& out) {
        out.assign(std::size_t(width) * height * 4, 0x5A);
        (void)src;  // holds the pixels `source` reads
        fieldfx::OpRandom random;
        random.seed(seed);
        const standbild::ShakeJob job{source, tapped ? taps->data() : nullptr, out.data(), rows, o,
                                      noisy, amp, standbild::noiseDivisor(amp), &random};
        standbild::kShakeRows.exactly(Isa(level))(job);
        // The generator's state belongs to the result: every level draws alike.
        for (int i = 0; i < 4; ++i) out.push_back(uint8_t(random.state >> (8 * i)));
    };
    return c;
}

bool parseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (a == "--bench") {
            o.bench = true;
        } else if (a == "--seed" && value) {
            o.seed = uint32_t(std::strtoul(value, nullptr, 10)), ++i;
        } else if (a == "--cases" && value && std::atoi(value) > 0) {
            o.cases = std::atoi(value), ++i;
        } else if (a == "--isa" && value) {
            Isa level;
            if (!fieldfx::parseIsa(value, level)) {
                std::fprintf(stderr, "checkasm: unknown --isa '%s' (ref, sse2, avx2 or avx512)\n",
                             value);
                return false;
            }
            if (int(level) < int(o.top)) o.top = level;
            ++i;
        } else {
            std::fprintf(stderr,
                         "checkasm: unknown option '%s'\n"
                         "usage: checkasm [--seed N] [--cases N] [--isa LEVEL] [--bench]\n",
                         a.c_str());
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parseOptions(argc, argv, o)) return 2;
    std::printf("processor: %s; checking up to %s\n", fieldfx::isaName(fieldfx::processorIsa()),
                fieldfx::isaName(o.top));
    int failures = 0;
    failures += check("tunnelRow", fieldfx::tunnel::kTunnelRow, o,
                      [](std::mt19937& rng) { return tunnelCase(rng, 200); });
    failures += check("burrowRow", fieldfx::burrow::kBurrowRow, o,
                      [](std::mt19937& rng) { return burrowCase(rng, 200); });
    failures += check("blendRows", fieldfx::widescreen::kBlendRows, o,
                      [](std::mt19937& rng) { return blendRowsCase(rng); });
    failures += check("averageRow", fieldfx::drunken::kAverageRow, o,
                      [](std::mt19937& rng) { return averageRowCase(rng); });
    failures += check("clampedCols", fieldfx::swivel::kClampedColumns, o,
                      [](std::mt19937& rng) { return columnsCase(rng, false); });
    failures += check("insideCols", fieldfx::swivel::kInsideColumns, o,
                      [](std::mt19937& rng) { return columnsCase(rng, true); });
    failures += check("waveRows", fieldfx::heatwave::kWaveRows, o,
                      [](std::mt19937& rng) { return waveCase(rng); });
    failures += check("shakeRows", fieldfx::standbild::kShakeRows, o,
                      [](std::mt19937& rng) { return shakeCase(rng); });
    failures += check("patternWipe", kWipe, o,
                      [](std::mt19937& rng) { return wipeCase(rng); });
    if (o.bench) {
        // One row of a 1920 x 540 field (Drunken: 1920 pixels, 3 points).
        std::mt19937 rng(o.seed);
        bench("tunnelRow", fieldfx::tunnel::kTunnelRow, o, tunnelCase(rng, 0, 1920));
        bench("burrowRow", fieldfx::burrow::kBurrowRow, o, burrowCase(rng, 0, 1920));
        bench("blendRows", fieldfx::widescreen::kBlendRows, o, blendRowsCase(rng, 1920 * 4));
        bench("averageRow", fieldfx::drunken::kAverageRow, o, averageRowCase(rng, 1920));
        bench("patternWipe", kWipe, o, wipeCase(rng, 1920));
        bench("waveRows", fieldfx::heatwave::kWaveRows, o, waveCase(rng, 720));
        bench("shakeRows", fieldfx::standbild::kShakeRows, o, shakeCase(rng, 720));
        bench("clampedCols", fieldfx::swivel::kClampedColumns, o, columnsCase(rng, false, 1920));
    }
    if (failures) std::printf("%d mismatches\n", failures);
    return failures ? 1 : 0;
}
