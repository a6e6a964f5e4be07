// fieldfx-bench-video: the host's conversion of decoded frames to fields of
// 4-byte pixels and back (what a render adds to decoding and encoding), per
// frame, for the common 4:2:0 and 4:2:2 formats, interlaced and progressive.
// Google Benchmark's flags apply.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

#include "frame_fields.h"

namespace {

using namespace fieldfx::video;

struct Shape {
    int width, height;
    AVPixelFormat format;
    Scan scan;
};

// A frame of `s` with random samples: no run of equal bytes to shortcut.
av::FramePtr randomFrame(const Shape& s) {
    av::FramePtr f = av::allocFrame(s.format, s.width, s.height);
    std::mt19937 random(7);
    for (int p = 0; p < 4 && f->data[p] != nullptr; ++p) {
        const int rows = p == 1 || p == 2 ? AV_CEIL_RSHIFT(s.height, av_pix_fmt_desc_get(s.format)->log2_chroma_h)
                                          : s.height;
        for (int r = 0; r < rows; ++r)
            for (int x = 0; x < f->linesize[p]; ++x)
                f->data[p][std::ptrdiff_t(r) * f->linesize[p] + x] = uint8_t(16 + random() % 220);
    }
    return f;
}

FrameFormat formatOf(const Shape& s) {
    FrameFormat f;
    f.width = s.width, f.height = s.height, f.format = s.format, f.scan = s.scan;
    return f;
}

void split(benchmark::State& state, Shape s) {
    const av::FramePtr frame = randomFrame(s);
    FrameSplitter splitter(formatOf(s));
    Field first, second;
    for (auto _ : state) {
        splitter.split(*frame, first, second);
        benchmark::DoNotOptimize(first.pixels.data());
    }
    state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void weave(benchmark::State& state, Shape s) {
    const av::FramePtr frame = randomFrame(s);
    FrameSplitter splitter(formatOf(s));
    Field first, second;
    splitter.split(*frame, first, second);
    FrameWeaver weaver(formatOf(s));
    av::FramePtr out = av::allocFrame(s.format, s.width, s.height);
    for (auto _ : state) {
        weaver.weave(first, second, *out);
        benchmark::DoNotOptimize(out->data[0]);
    }
    state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

const Shape kHd420{1920, 1080, AV_PIX_FMT_YUV420P, Scan::Progressive};
const Shape kHd420i{1920, 1080, AV_PIX_FMT_YUV420P, Scan::TopFirst};
const Shape kSd420i{720, 576, AV_PIX_FMT_YUV420P, Scan::TopFirst};
const Shape kHd422i{1920, 1080, AV_PIX_FMT_YUV422P, Scan::TopFirst};

}  // namespace

BENCHMARK_CAPTURE(split, 1920x1080_420_progressive, kHd420);
BENCHMARK_CAPTURE(weave, 1920x1080_420_progressive, kHd420);
BENCHMARK_CAPTURE(split, 1920x1080_420_interlaced, kHd420i);
BENCHMARK_CAPTURE(weave, 1920x1080_420_interlaced, kHd420i);
BENCHMARK_CAPTURE(split, 1920x1080_422_interlaced, kHd422i);
BENCHMARK_CAPTURE(weave, 1920x1080_422_interlaced, kHd422i);
BENCHMARK_CAPTURE(split, 720x576_420_interlaced, kSd420i);
BENCHMARK_CAPTURE(weave, 720x576_420_interlaced, kSd420i);

BENCHMARK_MAIN();
