// --set with keys: a keyed render equals, field for field, renders at the
// values the keys give for that frame.
#include <gtest/gtest.h>

#include "cli_run.h"

using namespace clitest;

namespace {

struct Clips {
    std::string dir = tempDir("keys");
    Clips() {
        EXPECT_EQ(fieldfx("generate -o " + dir + "/a.pam --frames 10 --size 96x32").status, 0);
        EXPECT_EQ(fieldfx("generate -o " + dir + "/b.pam --frames 10 --size 96x32 --variant 1").status, 0);
    }
    // The fields of a render with `options`.
    std::vector<testhost::FieldSpec> render(const std::string& options) const {
        const Result r = fieldfx("render " + options + " -o " + dir + "/out.pam -y -q");
        EXPECT_EQ(r.status, 0) << options << "\n" << r.err;
        return readPam(dir + "/out.pam");
    }
};

void expectFieldsEqual(const std::vector<testhost::FieldSpec>& a, std::size_t atA,
                       const std::vector<testhost::FieldSpec>& b, std::size_t atB) {
    ASSERT_GT(a.size(), atA + 1);
    ASSERT_GT(b.size(), atB + 1);
    EXPECT_EQ(a[atA].pixels, b[atB].pixels);
    EXPECT_EQ(a[atA + 1].pixels, b[atB + 1].pixels);
}

}  // namespace

// Angle 0 at frame 0 to 45 at frame 9 (or at 1 s at 9 frames a second):
// frame 4 is at 20 tenths, frame 2 at 10, and the last key holds after it.
TEST(Keyframes, SliderMovesLinearlyInWholeSteps) {
    const Clips c;
    const auto keyed = c.render("Swivel -i " + c.dir + "/a.pam --set angle=0@0,45@9");
    ASSERT_EQ(keyed.size(), 20u);
    for (const auto& [frame, angle] : {std::pair{4, "20"}, std::pair{2, "10"}, std::pair{9, "45"}}) {
        SCOPED_TRACE(frame);
        const auto fixed = c.render("Swivel -i " + c.dir + "/a.pam --set angle=" + angle +
                                    " --start " + std::to_string(frame) + " --duration 1");
        expectFieldsEqual(keyed, 2 * frame, fixed, 0);
    }
    const auto seconds = c.render("Swivel -i " + c.dir + "/a.pam --set angle=0@0,45@1s --rate 9");
    EXPECT_EQ(seconds.size(), keyed.size());
    for (std::size_t i = 0; i < std::min(seconds.size(), keyed.size()); ++i)
        EXPECT_EQ(seconds[i].pixels, keyed[i].pixels) << i;
}

// A position moves linearly; a choice and a colour step at their keys.
TEST(Keyframes, PositionsMoveChoicesAndColoursStep) {
    const Clips c;
    const std::string in = " -i " + c.dir + "/a.pam";
    const auto smudged = c.render("Smudge" + in + " --set position=0,0@0,90,30@9");
    const auto turned = c.render("Swivel" + in +
                                 " --set angle=100 --set edges=clamp@0,border@5"
                                 " --set background=#000000@0,#FF0000@5");
    for (const auto& [frame, position, edges] :
         {std::tuple{3, "30,10", "--set edges=clamp"},
          std::tuple{6, "60,20", "--set edges=border --set background=#FF0000"}}) {
        SCOPED_TRACE(frame);
        expectFieldsEqual(smudged, 2 * frame,
                          c.render("Smudge" + in + " --set position=" + position), 2 * frame);
        expectFieldsEqual(turned, 2 * frame,
                          c.render("Swivel" + in + " --set angle=100 " + edges), 2 * frame);
    }
}

TEST(Keyframes, MalformedKeysAreUsageErrors) {
    const Clips c;
    for (const char* keys : {"angle=10@5,20@2", "angle=0@0,45@2s", "angle=0@0,45", "angle=0@x",
                             "angel=0@0"}) {
        const Result r =
            fieldfx("render Swivel -i " + c.dir + "/a.pam -o " + c.dir + "/bad.pam --set " + keys);
        EXPECT_EQ(r.status, 2) << keys << "\n" << r.err;
        EXPECT_FALSE(exists(c.dir + "/bad.pam")) << keys;
    }
}
