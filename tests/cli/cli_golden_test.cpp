// Golden checksums of every operator run through the command line: one
// `apply` and one `render` of a PAM sequence each, with non-default settings.
// The values were recorded once the operator's own exact tests passed; any
// changed bit of an operator or of the runtime's field path shows here.
// An operator of the build without a recorded value fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "cli_run.h"

using namespace clitest;
using testhost::FieldSpec;

namespace {

struct Case {
    const char* name;
    bool transition;
    const char* applyOptions;
    uint64_t applyChecksum;
    const char* renderOptions;
    uint64_t renderChecksum;
};

// Fields of 48 x 24 (frames of 48 x 48).
const Case kCases[] = {
    {"Matte", false, "--position 0 --duration 1 --active 3,2,40,18", 0xe35dcaa95968eea3u,
     "--active 5,1,30,20", 0x7b163bc6719b056bu},
    {"Smudge", false,
     "--position 0 --duration 1 --odd --pixel-aspect 1094 --set position=24,12 --set size=60 "
     "--set strength=3 --set softness=40",
     0xf9e52f002bb8d14eu, "--set position=20,10 --set size=70 --set strength=5", 0x81b3424722a0cb2du},
    {"Heatwave", false,
     "--position 9 --duration 20 --set area=4,3,32,16 --set horizontal=100 --set vertical=100 "
     "--set frequency=7",
     0xb719883c233c7e47u, "--set area=0,0,48,24 --set frequency=3 --scale 3/2", 0x7c158471c66b189u},
    {"Drunken", false, "--position 3 --duration 20 --set samples=4 --set amount=60", 0x5147f554bb2b973bu,
     "--set samples=5 --set amount=40", 0xcf835ab458c9963u},
    {"Standbild", false,
     "--position 7 --duration 20 --set horizontal=5 --set vertical=3 --set speed=60 --set noise=2",
     0x7b28a2d479370ce6u, "--set horizontal=4 --set speed=90 --set noise=3", 0x4987b13c95eef080u},
    {"Tunnel", false,
     "--position 0 --duration 1 --odd --set centre=20,10 --set radius=30 --set mix=40 --set depth=6",
     0xac663e90205c2495u, "--set centre=24,12 --set radius=20 --set depth=3 --pixel-aspect 1200", 0x71daa41cef324c11u},
    {"Swivel", false,
     "--position 0 --duration 1 --set angle=12.5 --set edges=border --set background=#3366CC", 0x2463e850e539032du,
     "--set angle=-300 --active 2,2,44,20", 0x1278d1e5a8450b7u},
    {"Widescreen", false,
     "--position 0 --duration 1 --set conversion=squeeze --set smoothing=blend "
     "--set barcolour=0x40506070",
     0x9abcaf31f2acd491u, "--set conversion=stretch --set smoothing=nearest", 0x1350470919cb0283u},
    {"Flicker", true, "--position 3 --duration 9 --set block=1 --set start=outgoing", 0x6ed1fc65ef864763u,
     "--set block=1", 0xdad4e6fabde57d03u},
    {"Iris", true,
     "--position 11 --duration 20 --odd --pixel-aspect 1200 --set centre=20,10 --set softness=30 "
     "--set direction=closing",
     0xbab2e7802a2bed3cu, "--set centre=24,12 --set softness=50", 0xb162308acd696b7fu},
    {"Burrow", true, "--position 13 --duration 24 --set centre=10,5 --set depth=15 --set direction=1",
     0xd9eac2bd4f550139u, "--set centre=24,12 --set direction=opening", 0x5f2fd25bf6592fb9u},
    {"Telescope", true, "--position 10 --duration 20 --set softness=40 --set zoom=80", 0xe47160b9814f124du,
     "--set zoom=20 --pattern clock:start=90", 0x81aff1133539b6cbu},
    {"Glide", true, "--position 12 --duration 20 --set softness=30 --set distance=40 --set direction=5 "
     "--pattern spiral",
     0x8bf6e1d9bd86c419u, "--set direction=2 --set distance=25", 0x3e7e73c899c40d8u},
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

uint64_t pixelChecksum(const std::vector<FieldSpec>& fields) {
    std::vector<uint8_t> all;
    for (const FieldSpec& f : fields) all.insert(all.end(), f.pixels.begin(), f.pixels.end());
    return testhost::checksum(all);
}

class Golden : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        const auto ops = testhost::builtOperators();
        if (std::find(ops.begin(), ops.end(), GetParam().name) == ops.end())
            GTEST_SKIP() << GetParam().name << " is not part of this build";
        dir = tempDir("golden");
    }
    // Reports a mismatch with the value to record.
    void check(const char* what, uint64_t actual, uint64_t expected) {
        if (expected == 0)
            ADD_FAILURE() << GetParam().name << " " << what << ": no golden value recorded; this run gives 0x"
                          << std::hex << actual;
        else
            EXPECT_EQ(actual, expected) << GetParam().name << " " << what << std::hex << ": 0x" << actual;
    }
    std::string dir;
};

TEST_P(Golden, Apply) {
    const Case& c = GetParam();
    std::string args = "apply " + std::string(c.name) + " -o " + dir + "/out.pam " + c.applyOptions;
    writePam(dir + "/a.pam", {testhost::patternField(48, 24, 7)});
    args += " --field " + dir + "/a.pam";
    if (c.transition) {
        writePam(dir + "/b.pam", {testhost::patternField(48, 24, 140)});
        args += " --field " + dir + "/b.pam";
    }
    const Result r = fieldfx(args);
    ASSERT_EQ(r.status, 0) << r.err;
    const auto out = readPam(dir + "/out.pam");
    ASSERT_EQ(out.size(), 1u);
    check("apply", pixelChecksum(out), c.applyChecksum);
}

TEST_P(Golden, RenderSequence) {
    const Case& c = GetParam();
    std::vector<FieldSpec> a, b;
    for (int i = 0; i < 6; ++i) {
        a.push_back(testhost::patternField(48, 24, 10 * i));
        b.push_back(testhost::patternField(48, 24, 100 + 17 * i));
    }
    writePam(dir + "/a.pam", a);
    writePam(dir + "/b.pam", b);
    std::string args = "render " + std::string(c.name) + " -i " + dir + "/a.pam -o " + dir +
                       "/out.pam " + c.renderOptions;
    if (c.transition) args += " -i " + dir + "/b.pam";
    const Result r = fieldfx(args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, std::string(c.name) + ": 6 fields (3 frames) -> " + dir + "/out.pam\n");
    const auto out = readPam(dir + "/out.pam");
    ASSERT_EQ(out.size(), 6u);
    check("render", pixelChecksum(out), c.renderChecksum);
}

INSTANTIATE_TEST_SUITE_P(AllOperators, Golden, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(GoldenTable, CoversEveryBuiltOperator) {
    for (const std::string& op : testhost::builtOperators())
        EXPECT_TRUE(std::any_of(std::begin(kCases), std::end(kCases),
                                [&](const Case& c) { return op == c.name; }))
            << op;
    EXPECT_EQ(std::size(kCases), 13u);
}

}  // namespace
