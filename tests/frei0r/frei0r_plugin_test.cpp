// The plug-ins driven in-process as a frei0r host drives them.
#include <gtest/gtest.h>

#include <cmath>
#include <thread>

#include "frei0r_host.h"

using frei0rtest::Plugin;
using frei0rtest::testFrame;

namespace {

// Lower-case plug-in names; the transitions last.
const char* const kPlugins[] = {"matte",  "smudge", "heatwave", "drunken",   "standbild",
                                "tunnel", "swivel", "widescreen", "flicker", "iris",
                                "burrow", "telescope", "glide"};
constexpr int kFirstTransition = 8;

std::vector<uint32_t> run(const Plugin& p, void* inst, double time, const std::vector<uint32_t>& a,
                          const std::vector<uint32_t>& b) {
    std::vector<uint32_t> out(a.size());
    p.update2(inst, time, a.data(), b.data(), nullptr, out.data());
    return out;
}

void setDouble(const Plugin& p, void* inst, const char* name, double v) {
    const int k = p.param(name);
    ASSERT_GE(k, 0) << name;
    p.set(inst, &v, k);
}

double getDouble(const Plugin& p, void* inst, const char* name) {
    double v = -1.0;
    p.get(inst, &v, p.param(name));
    return v;
}

}  // namespace

// Every plug-in describes itself in frei0r's terms and renders odd sizes,
// a width of 1 and frames of other sizes alongside without fault.
TEST(Frei0rPlugins, DescribeThemselvesAndRenderAnySize) {
    for (int n = 0; n < 13; ++n) {
        SCOPED_TRACE(kPlugins[n]);
        const bool transition = n >= kFirstTransition;
        Plugin p(kPlugins[n]);
        ASSERT_NE(p.handle, nullptr) << dlerror();
        f0r_plugin_info_t info{};
        p.info(&info);
        EXPECT_EQ(info.plugin_type, transition ? F0R_PLUGIN_TYPE_MIXER2 : F0R_PLUGIN_TYPE_FILTER);
        EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_RGBA8888);
        for (int k = 0; k < info.num_params; ++k) {
            f0r_param_info_t pi{};
            p.paramInfo(&pi, k);
            EXPECT_TRUE(pi.name && *pi.name && pi.explanation && *pi.explanation) << k;
        }
        EXPECT_GE(p.param("Field order"), 0);
        EXPECT_EQ(p.param("Progress") >= 0, transition);
        std::vector<void*> live;
        for (const auto& [w, h] : {std::pair{1, 1}, std::pair{1, 7}, std::pair{9, 5}, std::pair{24, 16}}) {
            live.push_back(p.construct(w, h));
            ASSERT_NE(live.back(), nullptr);
            const auto a = testFrame(w, h, 1), b = testFrame(w, h, 2);
            for (int f = 0; f < 3; ++f) run(p, live.back(), f * 0.04, a, b);
        }
        for (void* inst : live) p.destruct(inst);
        EXPECT_EQ(p.construct(0, 8), nullptr);
        EXPECT_EQ(p.construct(40000, 8), nullptr);
    }
}

// Swivel at angle 0 leaves every pixel as it is: the frame comes back to the
// bit, the conversion's rounding included, also with an odd height.
TEST(Frei0rPlugins, NeutralSettingGivesTheFrameBackExactly) {
    Plugin p("swivel");
    for (const auto& s : {std::pair{33, 7}, std::pair{720, 720}}) {
        void* inst = p.construct(s.first, s.second);
        setDouble(p, inst, "Angle", 0.5);
        const auto a = testFrame(s.first, s.second, 3);
        EXPECT_EQ(run(p, inst, 0.0, a, a), a);
        p.destruct(inst);
    }
}

// Unknown indices do nothing; values outside 0..1 are clamped; NaN and a
// choice that names no entry leave the setting as it was.
TEST(Frei0rPlugins, BadParameterValuesHaveDefinedEffects) {
    Plugin p("swivel");
    void* inst = p.construct(16, 8);
    double v = 0.25;
    for (int k : {-1, 1000}) {
        p.set(inst, &v, k);
        p.get(inst, &v, k);
    }
    EXPECT_EQ(v, 0.25);
    setDouble(p, inst, "Angle", 7.0);
    EXPECT_EQ(getDouble(p, inst, "Angle"), 1.0);
    setDouble(p, inst, "Angle", NAN);
    EXPECT_EQ(getDouble(p, inst, "Angle"), 1.0);
    setDouble(p, inst, "Angle", 0.3);  // -450 + 270 tenths
    EXPECT_DOUBLE_EQ(getDouble(p, inst, "Angle"), 0.3);

    const int edges = p.param("Edges");
    const char* text = "border";
    p.set(inst, &text, edges);
    text = "sideways";
    p.set(inst, &text, edges);
    char* back = nullptr;
    p.get(inst, &back, edges);
    EXPECT_STREQ(back, "Border");
    p.destruct(inst);
}

// Values a host sets before a frame reach the operator for that frame, and
// a filter's frames do not depend on the values of earlier frames (Swivel).
TEST(Frei0rPlugins, EachFramesValuesReachTheOperator) {
    Plugin p("swivel");
    const auto a = testFrame(32, 16, 4);
    void* animated = p.construct(32, 16);
    void* fixed = p.construct(32, 16);
    setDouble(p, animated, "Angle", 0.2);
    run(p, animated, 0.0, a, a);
    setDouble(p, animated, "Angle", 0.9);
    setDouble(p, fixed, "Angle", 0.9);
    const auto second = run(p, animated, 0.04, a, a);
    EXPECT_EQ(second, run(p, fixed, 0.0, a, a));
    EXPECT_NE(second, a);
    p.destruct(animated);
    p.destruct(fixed);
}

// Standbild shakes along the fields before: a host that goes back in time
// gets the same frames again, and instances on parallel threads each give
// the bytes one gives alone.
TEST(Frei0rPlugins, StandbildRestartsOnSeekBackAndInstancesAreIndependent) {
    Plugin p("standbild");
    auto pass = [&](void* inst) {
        std::vector<std::vector<uint32_t>> frames;
        for (int f = 0; f < 12; ++f) {
            const auto in = testFrame(40, 20, f);
            frames.push_back(run(p, inst, f * 0.04, in, in));
        }
        return frames;
    };
    void* inst = p.construct(40, 20);
    const auto first = pass(inst);
    EXPECT_NE(first[5], testFrame(40, 20, 5));
    EXPECT_EQ(pass(inst), first);

    std::vector<std::vector<uint32_t>> results[3];
    std::vector<void*> more = {p.construct(40, 20), p.construct(40, 20), p.construct(40, 20)};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) threads.emplace_back([&, t] { results[t] = pass(more[t]); });
    for (auto& t : threads) t.join();
    for (int t = 0; t < 3; ++t) EXPECT_EQ(results[t], first) << t;
    for (void* i : more) p.destruct(i);
    p.destruct(inst);
}

// A transition's progress 1 lies at the end of its span: Glide has wiped
// fully to the incoming frame there.
TEST(Frei0rPlugins, TransitionProgressOneIsTheIncomingFrame) {
    Plugin p("glide");
    const auto a = testFrame(48, 24, 5), b = testFrame(48, 24, 6);
    void* inst = p.construct(48, 24);
    setDouble(p, inst, "Progress", 1.0);
    EXPECT_EQ(run(p, inst, 0.0, a, b), b);
    setDouble(p, inst, "Progress", 0.5);
    const auto middle = run(p, inst, 0.0, a, b);
    EXPECT_NE(middle, a);
    EXPECT_NE(middle, b);
    p.destruct(inst);
}
