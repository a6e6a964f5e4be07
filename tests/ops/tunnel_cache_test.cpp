// Tunnel and Burrow keep each pixel's distance and direction from the centre
// across fields, one table per parity. Every input of those tables changed
// between two fields must give the bytes a freshly loaded effect gives.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <string>
#include <vector>

#include "testhost.h"

using namespace testhost;

namespace {

struct Step {
    int width, height, activeX, activeY, cx, cy;
    int16_t pixelAspect;
    uint32_t flags;
};

// Each step changes one input of the tables from the step before.
const Step kSteps[] = {
    {48, 24, 0, 0, 20, 10, 1000, 0},
    {48, 24, 0, 0, 20, 10, 1000, OPF_ODD_FIELD},  // parity
    {48, 24, 0, 0, 20, 10, 1250, OPF_ODD_FIELD},  // pixel aspect
    {48, 24, 0, 0, 21, 10, 1250, OPF_ODD_FIELD},  // centre column
    {48, 24, 0, 0, 21, 12, 1250, OPF_ODD_FIELD},  // centre row
    {48, 24, 3, 0, 21, 12, 1250, OPF_ODD_FIELD},  // active rectangle's origin
    {48, 24, 3, 2, 21, 12, 1250, OPF_ODD_FIELD},
    {50, 24, 3, 2, 21, 12, 1250, OPF_ODD_FIELD},  // width
    {50, 23, 3, 2, 21, 12, 1250, OPF_ODD_FIELD},  // height
    {50, 23, 3, 2, 21, 12, 1250, 0},              // back to the even table, built for step 0
    {48, 24, 0, 0, 20, 10, 1000, 0},              // step 0 again
};

FieldSpec fieldFor(const Step& s, int seed) {
    FieldSpec f = patternField(s.width, s.height, seed);
    f.activeX = int16_t(s.activeX), f.activeY = int16_t(s.activeY);
    f.activeWidth = int16_t(s.width - s.activeX), f.activeHeight = int16_t(s.height - s.activeY);
    return f;
}

std::vector<uint8_t> render(Host& host, const Module& op, const Step& s) {
    host.setInput(0, fieldFor(s, 1));
    host.setInput(1, fieldFor(s, 2));
    op.position(1).posX = int16_t(s.cx);
    op.position(1).posY = int16_t(s.cy);
    // Mid-span, so that Burrow paints its tunnel; Tunnel with Mix.
    if (op.ident().find("Tunnel") != std::string::npos) op.slider(3).value = 40;
    EXPECT_EQ(op.process(7, 40, s.flags, s.pixelAspect), 0);
    return host.putPixels();
}

class TunnelCache : public ::testing::TestWithParam<const char*> {};

TEST_P(TunnelCache, EveryChangedInputGivesTheBytesOfAFreshEffect) {
    Host host;
    std::vector<std::vector<uint8_t>> fresh;
    for (const Step& s : kSteps) {
        {
            const Module op(GetParam());
            fresh.push_back(render(host, op, s));
        }
        // Unloaded, so the next load starts without tables.
        ASSERT_EQ(dlopen(modulePath(GetParam()).c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
    }
    const Module op(GetParam());
    for (std::size_t i = 0; i < fresh.size(); ++i)
        EXPECT_EQ(render(host, op, kSteps[i]), fresh[i]) << "step " << i;
}

INSTANTIATE_TEST_SUITE_P(BothTunnels, TunnelCache, ::testing::Values("Tunnel", "Burrow"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
