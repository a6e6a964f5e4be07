// The plug-ins driven in-process as a frei0r host drives them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
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

// Unknown indices do nothing; values outside 0..1 are clamped; NaN leaves
// the setting as it was; a choice goes to the nearest entry.
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

    // A slider whose minimum is not negative spreads 0..1 over 0..maximum,
    // kept within its range: Drunken's Samples 2..6.
    Plugin drunken("drunken");
    void* d = drunken.construct(16, 8);
    EXPECT_EQ(getDouble(drunken, d, "Samples"), 0.5);  // 3, the default
    setDouble(drunken, d, "Samples", 0.1);
    EXPECT_DOUBLE_EQ(getDouble(drunken, d, "Samples"), 2.0 / 6.0);
    setDouble(drunken, d, "Samples", 5.0 / 6.0);
    EXPECT_DOUBLE_EQ(getDouble(drunken, d, "Samples"), 5.0 / 6.0);
    drunken.destruct(d);

    setDouble(p, inst, "Edges", 0.8);
    EXPECT_EQ(getDouble(p, inst, "Edges"), 1.0);
    setDouble(p, inst, "Edges", -INFINITY);
    EXPECT_EQ(getDouble(p, inst, "Edges"), 0.0);
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

namespace {

// A frame of w x h pixels whose every opacity byte is `alpha`.
std::vector<uint32_t> withAlpha(std::vector<uint32_t> frame, uint32_t alpha) {
    for (uint32_t& px : frame) px = (px & 0x00FFFFFFu) | alpha << 24;
    return frame;
}

// Settings under which every plug-in changes the picture.
void setVisible(const Plugin& p, void* inst, const std::string& name) {
    if (name == "matte") setDouble(p, inst, "Active width", 0.75);
    for (const auto& [name, v] : {std::pair{"Angle", 0.7}, std::pair{"Area width", 0.8},
                                  std::pair{"Amount", 1.0},
                                  std::pair{"Area height", 0.8}, std::pair{"Horizontal", 1.0},
                                  std::pair{"Radius", 0.05}, std::pair{"Strength", 1.0}})
        if (p.param(name) >= 0) setDouble(p, inst, name, v);
}

}  // namespace

// The host's time alone places a frame: instances that see the frames in
// order, in a shuffled order with a seek back, or only every third one (a
// host's render threads) give the same bytes for every frame, Standbild's
// history and the transitions included.
TEST(Frei0rPlugins, TheHostsTimeDecidesEveryFrame) {
    constexpr int kW = 24, kH = 10, kFrames = 9;
    for (const char* name : kPlugins) {
        SCOPED_TRACE(name);
        Plugin p(name);
        auto frameOf = [&](void* inst, int f) {
            const auto a = testFrame(kW, kH, f), b = testFrame(kW, kH, 100 + f);
            return run(p, inst, f / 25.0, a, b);
        };
        auto make = [&] {
            void* inst = p.construct(kW, kH);
            setVisible(p, inst, name);
            if (p.param("out") >= 0) setDouble(p, inst, "out", kFrames - 1);
            return inst;
        };
        void* inOrder = make();
        std::vector<std::vector<uint32_t>> want;
        for (int f = 0; f < kFrames; ++f) want.push_back(frameOf(inOrder, f));
        EXPECT_NE(want[4], testFrame(kW, kH, 4));
        void* shuffled = make();
        for (int f : {5, 2, 8, 0, 7, 7, 1, 6, 3, 4})
            EXPECT_EQ(frameOf(shuffled, f), want[f]) << "frame " << f;
        for (int start = 0; start < 3; ++start) {
            void* thread = make();
            for (int f = start; f < kFrames; f += 3) EXPECT_EQ(frameOf(thread, f), want[f]) << f;
            p.destruct(thread);
        }
        p.destruct(inOrder);
        p.destruct(shuffled);
    }
}

// The frame rate turns the host's seconds into frames: at 50 frames/s the
// time 0.1 is frame 5, as 0.2 is at 25.
TEST(Frei0rPlugins, FrameRateCountsTheHostsSeconds) {
    Plugin p("drunken");
    const auto a = testFrame(32, 12, 1);
    void* at25 = p.construct(32, 12);
    void* at50 = p.construct(32, 12);
    setDouble(p, at25, "Amount", 1.0);
    setDouble(p, at50, "Amount", 1.0);
    setDouble(p, at50, "Frame rate", 0.05);
    EXPECT_EQ(run(p, at50, 0.1, a, a), run(p, at25, 0.2, a, a));
    EXPECT_NE(run(p, at25, 0.1, a, a), run(p, at25, 0.2, a, a));
    p.destruct(at25);
    p.destruct(at50);
}

// A transition that is left alone runs over the host's span ("in" and "out",
// as MLT sets them, or Length frames): N frames give N different states, the
// first frame's first field the outgoing frame's (its second field is one
// field into the span) and the last frame the incoming (Burrow ends on its
// own picture). A Progress the host sets wins.
TEST(Frei0rPlugins, TransitionsRunOverTheirSpanByThemselves) {
    constexpr int kW = 32, kH = 16, kN = 7;
    const auto a = testFrame(kW, kH, 1), b = testFrame(kW, kH, 2);
    for (int n = kFirstTransition; n < 13; ++n) {
        SCOPED_TRACE(kPlugins[n]);
        Plugin p(kPlugins[n]);
        for (const bool fromLength : {false, true}) {
            void* inst = p.construct(kW, kH);
            if (fromLength) {
                setDouble(p, inst, "Length", kN / 1000.0);
            } else {
                setDouble(p, inst, "in", 40);
                setDouble(p, inst, "out", 40 + kN - 1);
            }
            std::vector<std::vector<uint32_t>> states;
            for (int f = 0; f < kN; ++f) states.push_back(run(p, inst, f / 25.0, a, b));
            for (int y = 0; y < kH; y += 2)
                EXPECT_TRUE(std::equal(a.begin() + y * kW, a.begin() + (y + 1) * kW,
                                       states.front().begin() + y * kW)) << "line " << y;
            if (std::string(kPlugins[n]) != "burrow") {
                EXPECT_EQ(states.back(), b);
            }
            // Flicker shows whole clips: two states; the others a new one each frame.
            std::set<std::vector<uint32_t>> distinct(states.begin(), states.end());
            EXPECT_EQ(distinct.size(), std::string(kPlugins[n]) == "flicker" ? 2u : std::size_t(kN));
            setDouble(p, inst, "Progress", 0.0);
            EXPECT_EQ(run(p, inst, 3 / 25.0, a, b), states.front());
            p.destruct(inst);
        }
    }
}

// Opacity passes through every filter (Drunken and Standbild write colour
// only into a new image, which starts as the input) and every transition
// of two inputs of one opacity; Matte's black and Widescreen's bars are
// their own opaque colour.
TEST(Frei0rPlugins, TransparentInputsKeepTheirAlpha) {
    constexpr int kW = 40, kH = 20;
    for (const uint32_t alpha : {0u, 128u}) {
        const auto a = withAlpha(testFrame(kW, kH, 3), alpha);
        const auto b = withAlpha(testFrame(kW, kH, 4), alpha);
        for (const char* name : kPlugins) {
            SCOPED_TRACE(std::string(name) + " alpha " + std::to_string(alpha));
            Plugin p(name);
            void* inst = p.construct(kW, kH);
            setVisible(p, inst, name);
            if (p.param("Progress") >= 0) setDouble(p, inst, "Progress", 0.5);
            const auto out = run(p, inst, 0.12, a, b);
            EXPECT_NE(out, a);
            for (std::size_t i = 0; i < out.size(); ++i) {
                const uint32_t got = out[i] >> 24;
                if ((std::string(name) == "widescreen" || std::string(name) == "matte") &&
                    got == 255)
                    continue;
                ASSERT_EQ(got, alpha) << "pixel " << i;
            }
            p.destruct(inst);
        }
    }
}

// Every parameter of every plug-in reads back inside 0..1 at any frame
// size, before and after a host sets NaN, infinities or values far out of
// range (MLT's "in" and "out" are frame numbers), and frames still render.
TEST(Frei0rPlugins, EveryValueStaysInsideZeroToOne) {
    for (const char* name : kPlugins) {
        SCOPED_TRACE(name);
        Plugin p(name);
        f0r_plugin_info_t info{};
        p.info(&info);
        for (const auto& [w, h] : {std::pair{16, 16}, std::pair{1920, 1080}}) {
            void* inst = p.construct(w, h);
            auto check = [&] {
                for (int k = 0; k < info.num_params; ++k) {
                    f0r_param_info_t pi{};
                    p.paramInfo(&pi, k);
                    if (pi.type != F0R_PARAM_DOUBLE || std::string(pi.name) == "in" ||
                        std::string(pi.name) == "out")
                        continue;
                    double v = -1.0;
                    p.get(inst, &v, k);
                    EXPECT_TRUE(v >= 0.0 && v <= 1.0) << pi.name << " " << w << "x" << h << ": " << v;
                }
            };
            check();
            for (double bad : {double(NAN), double(INFINITY), -double(INFINITY), -5.0, 1e300, 3.0}) {
                for (int k = 0; k < info.num_params; ++k) {
                    f0r_param_info_t pi{};
                    p.paramInfo(&pi, k);
                    if (pi.type == F0R_PARAM_DOUBLE) p.set(inst, &bad, k);
                }
                check();
            }
            if (w == 16) {
                const auto a = testFrame(w, h, 1), b = testFrame(w, h, 2);
                run(p, inst, 0.4, a, b);
                run(p, inst, NAN, a, b);
                run(p, inst, -3.0, a, b);
                run(p, inst, 1e30, a, b);
            }
            p.destruct(inst);
        }
    }
}

// A centre's default is the middle of any frame: Tunnel leaves the middle
// of an HD frame as it is and streaks its corners.
TEST(Frei0rPlugins, CentresDefaultToTheMiddleOfTheFrame) {
    Plugin p("tunnel");
    void* inst = p.construct(1920, 1080);
    EXPECT_EQ(getDouble(p, inst, "Centre X"), 0.5);
    EXPECT_EQ(getDouble(p, inst, "Centre Y"), 0.5);
    const auto a = testFrame(1920, 1080, 7);
    const auto out = run(p, inst, 0.0, a, a);
    EXPECT_EQ(out[540 * 1920 + 960], a[540 * 1920 + 960]);
    EXPECT_NE(out[0], a[0]);
    EXPECT_NE(out[1080 * 1920 - 1], a[1080 * 1920 - 1]);
    p.destruct(inst);
}
