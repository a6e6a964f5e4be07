// Renders on several threads: every operator gives the bytes of a render on
// one thread (Standbild, whose fields depend on the requests before them,
// and Iris, which sets up at its first request, included), and a failing
// field stops the render as it does on one.
#include <gtest/gtest.h>

#include <cstdlib>

#include "cli_run.h"

using namespace clitest;

namespace {

// A render of the built-in clips through `op` with `threads` threads.
std::string rendered(const std::string& dir, const std::string& op, const std::string& settings,
                     int threads) {
    const std::string out = dir + "/" + op + "-" + std::to_string(threads) + ".pam";
    const Result r = fieldfx("render " + op + " --size 64x32 --duration 6 -o " + out + " -q " +
                             settings + " --threads " + std::to_string(threads));
    EXPECT_EQ(r.status, 0) << op << ": " << r.err;
    return readFile(out);
}

}  // namespace

TEST(RenderThreads, EveryOperatorGivesTheBytesOfOneThread) {
    const std::string dir = tempDir("threads");
    for (const std::string& op : testhost::builtOperators()) {
        const std::string settings = op == "Standbild" ? "--set noise=3 --set speed=80" : "";
        const std::string one = rendered(dir, op, settings, 1);
        ASSERT_FALSE(one.empty()) << op;
        EXPECT_TRUE(rendered(dir, op, settings, 3) == one) << op;
    }
}

TEST(RenderThreads, EveryModuleCopyStartsAtTheSpansFirstField) {
    // Iris makes its distance map from the Centre of its first request: a
    // worker whose first field is another must not make it from that one's
    // keyed value.
    const std::string dir = tempDir("threads-first");
    const std::string keyed = "--set centre=10,5@0,50,20@2";
    const std::string one = rendered(dir, "Iris", keyed, 1);
    ASSERT_FALSE(one.empty());
    EXPECT_TRUE(rendered(dir, "Iris", keyed, 3) == one);
}

TEST(RenderThreads, VideoInAndOutIsTheSame) {
    // Both inputs decoded ahead on their own thread, the second conformed to
    // the first's size, timestamps and fields handed to the encoder.
    const std::string dir = tempDir("threads-video");
    for (int threads : {1, 3}) {
        const Result r = fieldfx("render Iris -i builtin:motion --size 96x64 -i builtin:bars "
                                 "--duration 5 -q -o " + dir + "/" + std::to_string(threads) +
                                 ".y4m --threads " +
                                 std::to_string(threads));
        ASSERT_EQ(r.status, 0) << r.err;
    }
    const std::string one = readFile(dir + "/1.y4m");
    EXPECT_GT(one.size(), 5u * 96 * 64 * 3);
    EXPECT_TRUE(readFile(dir + "/3.y4m") == one);
}

TEST(RenderThreads, VideoFilesSplitByTheWorkersAreTheSame) {
    // Frames decoded on the reading thread and split into fields by the
    // workers: interlaced H.264 (4:2:0) as input 0, FFV1 4:2:2 bottom field
    // first of another size as input 1 (conformed on the reading thread).
    const std::string dir = tempDir("threads-files");
    const std::string a = dir + "/a.mp4", b = dir + "/b.mkv";
    ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i testsrc2=size=96x64:rate=25 -t 0.4 "
                           "-c:v libx264 -pix_fmt yuv420p -flags +ilme+ildct -field_order tt " +
                           a)
                              .c_str()),
              0);
    ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i testsrc=size=80x48:rate=25 -t 0.4 "
                           "-c:v ffv1 -pix_fmt yuv422p -field_order bb " + b)
                              .c_str()),
              0);
    for (int threads : {1, 2, 3}) {
        const std::string t = std::to_string(threads);
        Result r = fieldfx("render Iris -i " + a + " -i " + b + " -q -o " + dir + "/iris" + t +
                           ".pam --threads " + t);
        ASSERT_EQ(r.status, 0) << r.err;
        r = fieldfx("render Drunken -i " + b + " -q -o " + dir + "/drunken" + t +
                    ".pam --threads " + t);
        ASSERT_EQ(r.status, 0) << r.err;
    }
    for (const char* name : {"iris", "drunken"}) {
        const std::string one = readFile(dir + "/" + name + "1.pam");
        EXPECT_GT(one.size(), 10u * 96 * 32 * 4) << name;
        EXPECT_TRUE(readFile(dir + "/" + name + "2.pam") == one) << name;
        EXPECT_TRUE(readFile(dir + "/" + name + "3.pam") == one) << name;
    }
}

TEST(RenderThreads, AFieldFetchedAgainIsServedWhole) {
    // The first fetch takes over the field read ahead and writes into it; the
    // second must still get the clip's bytes.
    const std::string dir = tempDir("threads-again");
    const std::string env = std::string("FIELDFX_OPS_PATH=") + FIELDFX_PROBE_DIR;
    for (int threads : {1, 3}) {
        const Result r = fieldfx("render Probe --size 16x16 --duration 3 --set param2=2 -q -o " +
                                     dir + "/" + std::to_string(threads) + ".pam --threads " +
                                     std::to_string(threads),
                                 env);
        ASSERT_EQ(r.status, 0) << r.err;
    }
    // Each 16x8 field's last pixel holds what the second fetch saw (the rest
    // counts requests, which differ with the threads).
    auto lastPixels = [&](int threads) {
        const std::string pam = readFile(dir + "/" + std::to_string(threads) + ".pam");
        std::vector<std::string> pixels;
        for (std::size_t at = pam.find("ENDHDR\n"); at != std::string::npos;
             at = pam.find("ENDHDR\n", at + 1))
            pixels.push_back(pam.substr(at + 7 + 16 * 8 * 4 - 4, 4));
        return pixels;
    };
    const std::vector<std::string> one = lastPixels(1);
    ASSERT_EQ(one.size(), 6u);
    for (const std::string& p : one) EXPECT_NE(p, "\xee\xee\xee\xee");
    EXPECT_EQ(lastPixels(3), one);
}

TEST(RenderThreads, PreviewSheetIsTheSame) {
    const std::string dir = tempDir("threads-preview");
    for (int threads : {1, 3}) {
        const Result r = fieldfx("preview Drunken --size 64x32 --duration 8 --frames 3 -o " + dir +
                                 "/" + std::to_string(threads) + ".png --threads " +
                                 std::to_string(threads));
        ASSERT_EQ(r.status, 0) << r.err;
    }
    EXPECT_TRUE(readFile(dir + "/1.png") == readFile(dir + "/3.png"));
}

TEST(RenderThreads, FailureStopsTheRenderAsOnOneThread) {
    const std::string dir = tempDir("threads-fail");
    const std::string env = std::string("FIELDFX_OPS_PATH=") + FIELDFX_PROBE_DIR;
    const std::string render = "render Probe --size 16x16 --set param1=1 -o " + dir;
    const Result one = fieldfx(render + "/1.pam --threads 1", env);
    const Result four = fieldfx(render + "/4.pam --threads 4", env);
    EXPECT_EQ(one.status, 1);
    EXPECT_EQ(four.status, one.status);
    EXPECT_EQ(four.err, one.err);
    EXPECT_EQ(listDir(dir), std::vector<std::string>{});
    EXPECT_EQ(fieldfx("render Matte -o " + dir + "/x.pam --threads 0").status, 2);
}
