// Every operator through `fieldfx apply` on small fields, against bytes
// derived by hand from each operator's behaviour (not from the runtime).
#include <gtest/gtest.h>

#include <algorithm>

#include "cli_run.h"

using namespace clitest;
using testhost::FieldSpec;

namespace {

bool built(const std::string& name) {
    const auto ops = testhost::builtOperators();
    return std::find(ops.begin(), ops.end(), name) != ops.end();
}

#define REQUIRE_BUILT(name) \
    if (!built(name)) GTEST_SKIP() << name " is not part of this build"

// Runs apply with the given fields and options; the output field.
FieldSpec apply(const std::string& name, const std::vector<FieldSpec>& fields,
                const std::string& options) {
    const std::string dir = tempDir("apply");
    std::string args = "apply " + name;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::string path = dir + "/in" + std::to_string(i) + ".pam";
        writePam(path, {fields[i]});
        args += " --field " + path;
    }
    const Result r = fieldfx(args + " -o " + dir + "/out.pam " + options);
    EXPECT_EQ(r.status, 0) << args << " " << options << "\n" << r.err;
    const auto out = readPam(dir + "/out.pam");
    EXPECT_EQ(out.size(), 1u);
    return out.empty() ? FieldSpec{} : out[0];
}

TEST(ApplyExact, MatteBlackensOutsideTheActiveRectangle) {
    REQUIRE_BUILT("Matte");
    const FieldSpec in = testhost::patternField(12, 6, 5);
    const FieldSpec out = apply("Matte", {in}, "--position 0 --duration 1 --active 2,1,7,3");
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 12; ++x) {
            const bool inside = x >= 2 && x < 9 && y >= 1 && y < 4;
            EXPECT_EQ(out.word(x, y), inside ? in.word(x, y) : BLACK_PIXEL) << x << "," << y;
        }
}

TEST(ApplyExact, FlickerHandsBackTheChosenClip) {
    REQUIRE_BUILT("Flicker");
    const FieldSpec a = testhost::patternField(8, 4, 1), b = testhost::patternField(8, 4, 99);
    // D = 5, S = 25: m = 2; fields 0-1 show input 0, 3-4 input 1, field 2
    // input 1 with the start choice 1 (default) and input 0 with 0.
    EXPECT_EQ(apply("Flicker", {a, b}, "--position 2 --duration 5").pixels, b.pixels);
    EXPECT_EQ(apply("Flicker", {a, b}, "--position 2 --duration 5 --set start=outgoing").pixels,
              a.pixels);
    EXPECT_EQ(apply("Flicker", {a, b}, "--position 1 --duration 5").pixels, a.pixels);
    EXPECT_EQ(apply("Flicker", {a, b}, "--position 3 --duration 5 --set start=0").pixels, b.pixels);
}

TEST(ApplyExact, WidescreenSqueezeTakesTheAccumulatedRows) {
    REQUIRE_BUILT("Widescreen");
    FieldSpec in = testhost::makeField(2, 288);
    for (int y = 0; y < 288; ++y)
        for (int x = 0; x < 2; ++x) in.setWord(x, y, testhost::pixelWord(uint8_t(y), uint8_t(x), 7, 9));
    const FieldSpec out = apply(
        "Widescreen", {in},
        "--position 0 --duration 1 --set conversion=squeeze --set smoothing=nearest --set barcolour=#FF0000");
    // B = 216, T = 36; the single-precision position step 288/216 puts output
    // rows 36..47 on source rows 0, 1, 2, 4, 5, 6, 8, 9, 10, 11, 13, 14.
    const int rows[] = {0, 1, 2, 4, 5, 6, 8, 9, 10, 11, 13, 14};
    for (int i = 0; i < 12; ++i)
        for (int x = 0; x < 2; ++x) EXPECT_EQ(out.word(x, 36 + i), in.word(x, rows[i])) << i;
    EXPECT_EQ(out.word(0, 251), in.word(0, 286));
    // The bars: #FF0000 is Y' 81, Cb 90, Cr 240, opaque.
    for (int y : {0, 35, 252, 287}) EXPECT_EQ(out.word(1, y), 0x51F05AFFu) << y;
}

TEST(ApplyExact, IrisBlendsInTheSoftEdge) {
    REQUIRE_BUILT("Iris");
    // 720 x 288, centre (320, 140), Softness 20, duration 50, position 25,
    // opening: R = 499, soft = 51, thr = 153. Frame line 280 is field row 140.
    const FieldSpec a = testhost::makeField(720, 288, 0xC8C8C8C8u);  // every byte 200
    const FieldSpec b = testhost::makeField(720, 288, 0x64646464u);  // every byte 100
    const FieldSpec out = apply("Iris", {a, b},
                                "--position 25 --duration 50 --set direction=opening");
    EXPECT_EQ(out.word(700, 140), 0xC8C8C8C8u);  // d 380: m 194 >= thr keeps A
    EXPECT_EQ(out.word(320, 140), 0x64646464u);  // the centre: m 0 takes B
    // d = 235: m = 120, wa = 18, wb = 33: (200 * 18 + 100 * 33) / 51 = 135.
    EXPECT_EQ(out.word(555, 140), 0x87878787u);
}

TEST(ApplyExact, SwivelAtAngleZeroWithBorderColour) {
    REQUIRE_BUILT("Swivel");
    const FieldSpec in = testhost::patternField(8, 4, 3);
    const FieldSpec out = apply("Swivel", {in},
                                "--position 0 --duration 1 --set angle=0 --set edges=border "
                                "--set background=#FFFFFF --active 1,1,6,2");
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool inside = x >= 1 && x < 7 && y >= 1 && y < 3;
            EXPECT_EQ(out.word(x, y), inside ? in.word(x, y) : 0xEB8080FFu) << x << "," << y;
        }
}

TEST(ApplyExact, DrunkenAveragesTheEllipsePointsOverABlackNewImage) {
    REQUIRE_BUILT("Drunken");
    const FieldSpec in = testhost::patternField(720, 288, 11);
    const FieldSpec out = apply("Drunken", {in}, "--position 0 --duration 1");
    // Samples 3, Amount 25: ax 18, ay 7; the offsets at position 0 are
    // (0, 7), (15, -3), (-15, -3). Byte 0 is the new image's: BLACK_PIXEL's FF.
    for (const auto& [x, y] : {std::pair{100, 100}, std::pair{400, 20}}) {
        const uint8_t* p[3] = {in.at(x, y + 7), in.at(x + 15, y - 3), in.at(x - 15, y - 3)};
        EXPECT_EQ(out.at(x, y)[0], 0xFF);
        for (int i = 1; i < 4; ++i)
            EXPECT_EQ(out.at(x, y)[i], (p[0][i] + p[1][i] + p[2][i]) / 3) << x << "," << y;
    }
}

TEST(ApplyExact, StandbildWithoutShakeKeepsTheColoursOverABlackNewImage) {
    REQUIRE_BUILT("Standbild");
    const FieldSpec in = testhost::patternField(16, 8, 21);
    const FieldSpec out = apply("Standbild", {in},
                                "--position 3 --duration 10 --set horizontal=0 --set vertical=0 "
                                "--set noise=0");
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) {
            EXPECT_EQ(out.at(x, y)[0], 0xFF);
            for (int i = 1; i < 4; ++i) EXPECT_EQ(out.at(x, y)[i], in.at(x, y)[i]);
        }
}

TEST(ApplyExact, HeatwaveWithoutAmplitudeSamplesWholePixels) {
    REQUIRE_BUILT("Heatwave");
    const FieldSpec in = testhost::patternField(40, 20, 8);
    const FieldSpec out = apply("Heatwave", {in},
                                "--position 5 --duration 10 --set area=2,3,30,12 "
                                "--set horizontal=0 --set vertical=0");
    EXPECT_EQ(out.pixels, in.pixels);
}

TEST(ApplyExact, SmudgeWithAZeroRadiusTouchesNothing) {
    REQUIRE_BUILT("Smudge");
    // Size 1 on a field of 40 rows: R = 40 * 1 / 100 = 0.
    const FieldSpec in = testhost::patternField(30, 40, 4);
    EXPECT_EQ(apply("Smudge", {in}, "--position 0 --duration 1 --set size=1 --set position=10,10")
                  .pixels,
              in.pixels);
}

TEST(ApplyExact, TunnelKeepsTheDisc) {
    REQUIRE_BUILT("Tunnel");
    // 720 x 288, centre (320, 140), Radius 50: r0 = 144; pixels within 144
    // frame-line-corrected pixels of the centre are copied.
    const FieldSpec in = testhost::patternField(720, 288, 2);
    const FieldSpec out = apply("Tunnel", {in}, "--position 0 --duration 1");
    for (const auto& [x, y] : {std::pair{330, 150}, std::pair{320, 140}, std::pair{420, 120},
                               std::pair{320, 212}})
        EXPECT_EQ(out.word(x, y), in.word(x, y)) << x << "," << y;
}

TEST(ApplyExact, BurrowAtItsFirstFieldIsTheOutgoingClip) {
    REQUIRE_BUILT("Burrow");
    // Opening, t = 0 with D >= 8: the fade phase with weight 0 returns A.
    const FieldSpec a = testhost::patternField(32, 16, 1), b = testhost::patternField(32, 16, 77);
    EXPECT_EQ(apply("Burrow", {a, b}, "--position 0 --duration 16 --set centre=10,5").pixels,
              a.pixels);
}

TEST(ApplyExact, PatternWipesStartWithTheOutgoingClip) {
    // Position 0: T = 0, every mask value is >= T, so every pixel of the
    // active rectangle is input 0's.
    for (const char* name : {"Telescope", "Glide"}) {
        if (!built(name)) continue;  // not part of this build
        const FieldSpec a = testhost::patternField(24, 12, 3), b = testhost::patternField(24, 12, 50);
        EXPECT_EQ(apply(name, {a, b}, "--position 0 --duration 10").pixels, a.pixels) << name;
    }
}

}  // namespace
