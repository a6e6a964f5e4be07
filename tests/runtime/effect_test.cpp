// The effect driver: messages, field service, the image pool, failures and
// warnings, observed through the Probe module and real operators.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "fieldfx/runtime/effect.h"
#include "fieldfx/runtime/error.h"
#include "fieldfx/runtime/image_pool.h"
#include "fieldfx/runtime/module.h"
#include "fieldfx/runtime/parameters.h"

using namespace fieldfx;
using runtime::Effect;
using runtime::EffectSettings;

namespace {

struct ProbeEnv {
    ProbeEnv() { setenv("FIELDFX_OPS_PATH", FIELDFX_PROBE_DIR, 1); }
};
const ProbeEnv probeEnv;

uint32_t word(const io::Field& f, int index) {
    uint32_t w;
    std::memcpy(&w, f.pixels.data() + 4 * index, 4);
    return w;
}

io::Field numbered(int w, int h, uint8_t seed) {
    io::Field f(w, h);
    for (std::size_t i = 0; i < f.pixels.size(); ++i) f.pixels[i] = uint8_t(i * 3 + seed);
    return f;
}

class Fixed : public runtime::FieldSource {
public:
    explicit Fixed(io::Field f) : f_(std::move(f)) {}
    const io::Field* fieldAt(uint32_t position) override {
        served.push_back(position);
        return missingFrom >= 0 && position >= uint32_t(missingFrom) ? nullptr : &f_;
    }
    io::Field f_;
    std::vector<uint32_t> served;
    int missingFrom = -1;
};

struct ProbeRun {
    std::unique_ptr<runtime::OperatorModule> module = runtime::OperatorModule::load("Probe");
    runtime::ParameterSet params{*module};
    void mode(int m) { params.assign("param1=" + std::to_string(m)); }
};

TEST(EffectMessages, CarryDurationPositionFlagsAndGeometry) {
    ProbeRun probe;
    Fixed input(numbered(16, 4, 1));
    Effect effect(*probe.module);
    effect.setInput(0, &input);
    EffectSettings s;
    s.duration = 20;
    s.pixelAspect = 1094;
    s.scale = true;
    s.scaleNum = 3;
    s.scaleDen = -4;
    s.hasActive = true;
    s.active = runtime::ActiveRect{2, 1, 12, 3};
    effect.open(s, 16, 4);
    const io::Field& out = effect.process(7, true);
    EXPECT_EQ(word(out, 0), BLACK_PIXEL);  // new images come filled with black
    EXPECT_EQ(word(out, 1), 7u);
    EXPECT_EQ(word(out, 2), 20u);
    EXPECT_EQ(word(out, 3), uint32_t(OPF_SCALE | OPF_ODD_FIELD));
    EXPECT_EQ(word(out, 4), 1094u);
    EXPECT_EQ(word(out, 5), 3u);
    EXPECT_EQ(word(out, 6), uint32_t(-4));
    EXPECT_EQ(word(out, 7), 2u);
    EXPECT_EQ(word(out, 8), 1u);
    EXPECT_EQ(word(out, 9), 12u);
    EXPECT_EQ(word(out, 10), 3u);
    // Beyond the report the output is the input field, byte for byte.
    for (std::size_t i = 13 * 4; i < out.pixels.size(); ++i)
        ASSERT_EQ(out.pixels[i], input.f_.pixels[i]) << i;
    const io::Field& even = effect.process(8, false);
    EXPECT_EQ(word(even, 3), uint32_t(OPF_SCALE));
    EXPECT_EQ(input.served, (std::vector<uint32_t>{7, 8}));
}

TEST(EffectMessages, DefaultsAreWholeFieldSquarePixelsNoScale) {
    ProbeRun probe;
    Fixed input(numbered(16, 4, 1));
    Effect effect(*probe.module);
    effect.setInput(0, &input);
    EffectSettings s;
    s.duration = 2;
    effect.open(s, 16, 4);
    const io::Field& out = effect.process(0, false);
    EXPECT_EQ(word(out, 3), 0u);
    EXPECT_EQ(word(out, 4), 1000u);
    EXPECT_EQ(word(out, 7), 0u);
    EXPECT_EQ(word(out, 8), 0u);
    EXPECT_EQ(word(out, 9), 16u);
    EXPECT_EQ(word(out, 10), 4u);
}

TEST(EffectPool, LongRenderAllocatesNothingAfterTheFirstField) {
    ProbeRun probe;
    Fixed input(numbered(16, 4, 1));
    Effect effect(*probe.module);
    effect.setInput(0, &input);
    EffectSettings s;
    s.duration = 50;
    effect.open(s, 16, 4);
    effect.process(0, false);
    const std::size_t afterFirst = effect.poolImages();
    EXPECT_EQ(afterFirst, 3u);  // input, output, the probe's second scratch image
    for (uint32_t p = 1; p < 50; ++p) effect.process(p, p & 1);
    EXPECT_EQ(effect.poolImages(), afterFirst);
    EXPECT_TRUE(effect.takeWarnings().empty());
}

TEST(EffectPool, ImagesKeptByTheOperatorAreReclaimedWithAWarning) {
    ProbeRun probe;
    probe.mode(2);
    Fixed input(numbered(8, 2, 1));
    Effect effect(*probe.module);
    effect.setInput(0, &input);
    effect.open(EffectSettings{}, 8, 2);
    effect.process(0, false);
    effect.process(0, false);
    EXPECT_EQ(effect.poolImages(), 3u);
    const auto w = effect.takeWarnings();
    ASSERT_EQ(w.size(), 2u);
    EXPECT_EQ(w[0], "Probe field 0: kept 1 image(s) without handing them back; reclaimed");
}

TEST(EffectFailures, NoFieldStopsWithTheOperatorsLogRecord) {
    ProbeRun probe;
    probe.mode(1);
    Fixed input(numbered(8, 2, 1));
    Effect effect(*probe.module);
    effect.setInput(0, &input);
    effect.open(EffectSettings{}, 8, 2);
    try {
        effect.process(3, false);
        FAIL() << "no error";
    } catch (const runtime::Error& e) {
        EXPECT_EQ(e.kind(), runtime::ErrorKind::Render);
        EXPECT_STREQ(e.what(),
                     "Probe produced no field 3; log record: level 4, line 42, src\\Probe, code "
                     "0x0b000000");
    }
}

TEST(EffectFailures, MissingInputFieldIsTheOperatorsFetchFailure) {
    ProbeRun probe;
    Fixed input(numbered(8, 2, 1));
    input.missingFrom = 2;
    Effect effect(*probe.module);
    effect.setInput(0, &input);
    effect.open(EffectSettings{}, 8, 2);
    effect.process(1, false);
    try {
        effect.process(2, false);
        FAIL() << "no error";
    } catch (const runtime::Error& e) {
        EXPECT_EQ(e.kind(), runtime::ErrorKind::Render);
        EXPECT_STREQ(e.what(),
                     "Probe produced no field 2; log record: level 4, line 77, src\\Probe, code "
                     "0x0b000000");
    }
}

TEST(EffectFailures, TwoFieldsForOneRequestAndNoFieldAreErrors) {
    for (int m : {3, 4}) {
        ProbeRun probe;
        probe.mode(m);
        Fixed input(numbered(8, 2, 1));
        Effect effect(*probe.module);
        effect.setInput(0, &input);
        effect.open(EffectSettings{}, 8, 2);
        try {
            effect.process(0, false);
            FAIL() << "mode " << m;
        } catch (const runtime::Error& e) {
            EXPECT_STREQ(e.what(), m == 3 ? "Probe handed back 2 fields for field 0"
                                          : "Probe produced no field 0 (it left no log record)");
        }
    }
}

TEST(EffectFailures, RefusedOpenIsAnError) {
    ProbeRun probe;
    probe.mode(6);
    Effect effect(*probe.module);
    EXPECT_THROW(effect.open(EffectSettings{}, 8, 2), runtime::Error);
}

TEST(EffectFailures, WrongSizedInputIsAnInputError) {
    ProbeRun probe;
    Fixed input(numbered(8, 2, 1));
    Effect effect(*probe.module);
    effect.setInput(0, &input);
    effect.open(EffectSettings{}, 8, 4);
    try {
        effect.process(0, false);
        FAIL();
    } catch (const runtime::Error& e) {
        EXPECT_EQ(e.kind(), runtime::ErrorKind::Input);
        EXPECT_STREQ(e.what(), "input 0 field 0 is 8x2, the effect's fields 8x4");
    }
}

TEST(EffectOutput, TakesThePoolsGeometryNotTheRecordsAnOperatorWrote) {
    ProbeRun probe;
    probe.mode(7);
    Fixed input(numbered(16, 4, 1));
    Effect effect(*probe.module);
    effect.setInput(0, &input);
    effect.open(EffectSettings{}, 16, 4);
    for (uint32_t p = 0; p < 3; ++p) {  // every image of the pool in turn
        const io::Field& out = effect.process(p, false);
        EXPECT_EQ(out.width, 16);
        EXPECT_EQ(out.height, 4);
        ASSERT_EQ(out.pixels.size(), 16u * 4 * 4);
        EXPECT_EQ(out.pixels.back(), input.f_.pixels.back());
    }
}

TEST(EffectWarnings, LogRecordsOfSuccessfulRequestsSurface) {
    ProbeRun probe;
    probe.mode(5);
    Fixed input(numbered(8, 2, 1));
    Effect effect(*probe.module);
    effect.setInput(0, &input);
    effect.open(EffectSettings{}, 8, 2);
    effect.process(4, false);
    EXPECT_EQ(effect.takeWarnings(),
              std::vector<std::string>{
                  "Probe field 4: log record: level 4, line 99, src\\Probe, code 0x0b000000"});
}

TEST(EffectInputs, SecondInputServedByPosition) {
    ProbeRun probe;
    probe.params.assign("param2=1");
    Fixed a(numbered(8, 2, 1)), b(numbered(8, 2, 100));
    Effect effect(*probe.module);
    effect.setInput(0, &a);
    effect.setInput(1, &b);
    effect.open(EffectSettings{}, 8, 2);
    const io::Field& out = effect.process(5, false);
    EXPECT_EQ(word(out, 15), word(b.f_, 0));
    EXPECT_EQ(b.served, std::vector<uint32_t>{5});
}

TEST(EffectLifecycle, OneEffectPerModuleCopyAndCloseOnDestruction) {
    ProbeRun probe;
    {
        Effect effect(*probe.module);
        EXPECT_THROW(Effect second(*probe.module), runtime::Error);
        effect.open(EffectSettings{}, 8, 2);
    }
    Effect again(*probe.module);  // the first one released the module copy
}

TEST(ImagePoolFill, EveryPixelOfANewImageIsBlackAgainOnReuse) {
    // 37 x 3 pixels: whole blocks of sixteen and a remainder.
    runtime::ImagePool pool;
    pool.configure(37, 3, runtime::ActiveRect{0, 0, 37, 3});
    for (int round = 0; round < 2; ++round) {
        FieldImage* image = pool.acquire();
        auto* pixels = static_cast<uint8_t*>(image->pixels);
        for (int i = 0; i < 37 * 3; ++i) {
            uint32_t w;
            std::memcpy(&w, pixels + 4 * i, 4);
            ASSERT_EQ(w, BLACK_PIXEL) << "round " << round << " pixel " << i;
        }
        std::memset(pixels, 0x5a, 37 * 3 * 4);  // what an operator leaves behind
        ASSERT_TRUE(pool.release(image));
    }
}

TEST(EffectOperators, MatteBlackensOutsideTheActiveRectangle) {
    setenv("FIELDFX_OPS_PATH", "", 1);
    auto matte = runtime::OperatorModule::load("Matte");
    setenv("FIELDFX_OPS_PATH", FIELDFX_PROBE_DIR, 1);
    Fixed input(numbered(4, 3, 9));
    Effect effect(*matte);
    effect.setInput(0, &input);
    EffectSettings s;
    s.hasActive = true;
    s.active = runtime::ActiveRect{1, 1, 2, 1};
    effect.open(s, 4, 3);
    const io::Field& out = effect.process(0, false);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
            const bool inside = y == 1 && (x == 1 || x == 2);
            const int i = y * 4 + x;
            EXPECT_EQ(word(out, i), inside ? word(input.f_, i) : BLACK_PIXEL) << x << "," << y;
        }
}

}  // namespace
