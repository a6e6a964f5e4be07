// Several effects at once: each on its own module copy, with its own
// library-wide state, and driven from its own thread, gives the bytes it
// gives alone.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "fieldfx/runtime/effect.h"
#include "fieldfx/runtime/error.h"
#include "fieldfx/runtime/module.h"
#include "fieldfx/runtime/parameters.h"

using namespace fieldfx;
using runtime::Effect;
using runtime::OperatorModule;

namespace {

constexpr int kWidth = 48, kHeight = 20;
constexpr uint32_t kFields = 12;

class Numbered : public runtime::FieldSource {
public:
    explicit Numbered(uint8_t seed) : f_(kWidth, kHeight) {
        for (std::size_t i = 0; i < f_.pixels.size(); ++i) f_.pixels[i] = uint8_t(i * 7 + seed);
    }
    const io::Field* fieldAt(uint32_t position) override {
        f_.pixels[position % f_.pixels.size()] ^= 0x5a;  // every field a little different
        return &f_;
    }

private:
    io::Field f_;
};

std::unique_ptr<OperatorModule> load(const std::string& name) {
    setenv("FIELDFX_OPS_PATH", FIELDFX_PROBE_DIR, 1);  // Probe, then the build's operators
    return OperatorModule::load(name);
}

// Every output byte of a whole render of `module`.
std::vector<uint8_t> render(const OperatorModule& module) {
    Numbered a(1), b(101);
    Effect effect(module);
    effect.setInput(0, &a);
    effect.setInput(1, &b);
    runtime::EffectSettings s;
    s.duration = kFields;
    effect.open(s, kWidth, kHeight);
    std::vector<uint8_t> bytes;
    for (uint32_t p = 0; p < kFields; ++p) {
        const io::Field& out = effect.process(p, p & 1);
        bytes.insert(bytes.end(), out.pixels.begin(), out.pixels.end());
    }
    return bytes;
}

struct Job {
    std::string name, setting;
};

// Each job alone, then all of them at once on threads of their own.
void expectAloneEqualsTogether(const std::vector<Job>& jobs) {
    std::vector<std::vector<uint8_t>> alone, together(jobs.size());
    std::vector<std::unique_ptr<OperatorModule>> modules;
    for (const Job& j : jobs) {
        auto m = load(j.name);
        if (!j.setting.empty()) runtime::ParameterSet(*m).assign(j.setting);
        alone.push_back(render(*m));
        modules.push_back(m->copy());  // fresh state, the same values
    }
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < jobs.size(); ++i)
        threads.emplace_back([&, i] { together[i] = render(*modules[i]); });
    for (std::thread& t : threads) t.join();
    for (std::size_t i = 0; i < jobs.size(); ++i)
        EXPECT_TRUE(together[i] == alone[i]) << jobs[i].name << " " << jobs[i].setting;
}

}  // namespace

TEST(EffectsAtOnce, ModuleCopiesKeepTheirOwnStateAndValues) {
    auto first = load("Probe");
    auto second = load("Probe");
    runtime::ParameterSet(*first).assign("param2=1");
    Numbered in(3);
    Effect a(*first), b(*second);
    a.setInput(0, &in);
    a.setInput(1, &in);
    b.setInput(0, &in);
    a.open(runtime::EffectSettings{}, kWidth, kHeight);
    b.open(runtime::EffectSettings{}, kWidth, kHeight);
    a.process(0, false);
    a.process(1, true);
    uint32_t processes;
    std::memcpy(&processes, b.process(0, false).pixels.data() + 4 * 12, 4);
    EXPECT_EQ(processes, 1u);  // the requests of `a` went to its own copy
    EXPECT_EQ(runtime::ParameterSet(*first->copy()).find("param2")->valueText(),
              runtime::ParameterSet(*first).find("param2")->valueText());
}

TEST(EffectsAtOnce, SameOperatorOnThreadsGivesTheBytesOfEachAlone) {
    // Standbild's generator runs from one request to the next.
    expectAloneEqualsTogether({{"Standbild", "noise=7"}, {"Standbild", "speed=90"},
                               {"Standbild", ""}});
}

TEST(EffectsAtOnce, DifferentOperatorsOnThreadsGiveTheBytesOfEachAlone) {
    expectAloneEqualsTogether({{"Drunken", ""}, {"Iris", ""}, {"Telescope", ""}, {"Smudge", ""}});
}
