// fieldfx in a pipe: -i - and -o - (with -f naming the container) give the
// bytes of the same render through files, for a filter and for a transition
// whose other input is a file; the summary goes to stderr; a reader that
// closes the pipe ends the render with exit 4; a pipe that carries garbage,
// nothing or too few frames is exit 3 with no output; an unknown -f names
// the choices.
#include <gtest/gtest.h>

#include "video_testing.h"

using namespace videotest;

namespace {

const std::string kCli = FIELDFX_TEST_CLI;

std::string quoted(const std::string& s) { return "'" + s + "'"; }

// A shell command line, output captured.
RunResult shell(const std::string& command) { return runCaptured({"/bin/sh", "-c", command}); }

std::string y4m(const char* pixelFormat) {
    return clip(std::string("pipe-") + pixelFormat + ".y4m",
                {"-f", "lavfi", "-i", "testsrc2=size=96x64:rate=25", "-frames:v", "5", "-pix_fmt",
                 pixelFormat});
}

std::string bytesOf(const std::string& path) {
    const std::vector<uint8_t> b = fileBytes(path);
    return std::string(b.begin(), b.end());
}

}  // namespace

TEST(CliPipes, FilterFromAndToPipesWritesTheFileRender) {
    for (const char* pixelFormat : {"yuv420p", "yuv444p"}) {
        for (const char* format : {"y4m", "nut"}) {
            SCOPED_TRACE(std::string(pixelFormat) + " into " + format);
            const std::string in = y4m(pixelFormat);
            ScratchDir dir;
            const std::string file = dir / (std::string("file.") + format);
            const RunResult viaFile = runCaptured(
                {kCli, "render", "Swivel", "--set", "angle=20", "-i", in, "-o", file});
            ASSERT_EQ(viaFile.status, 0) << viaFile.err;
            const RunResult viaPipe =
                shell("cat " + quoted(in) + " | " + quoted(kCli) +
                      " render Swivel --set angle=20 -i - -o - -f " + format);
            ASSERT_EQ(viaPipe.status, 0) << viaPipe.err;
            EXPECT_EQ(viaPipe.out, bytesOf(file));
            // Standard output holds the video only; the summary is on stderr.
            EXPECT_EQ(viaPipe.err, "Swivel: 10 fields (5 frames) -> -\n");
        }
    }
}

TEST(CliPipes, TransitionTakesAPipeAndAFile) {
    const std::string outgoing = y4m("yuv420p");
    const std::string incoming = clip("pipe-incoming.mkv", {"-f", "lavfi", "-i",
                                                            "testsrc=size=96x64:rate=25",
                                                            "-frames:v", "5", "-c:v", "ffv1"});
    ScratchDir dir;
    const RunResult viaFile = runCaptured(
        {kCli, "render", "Iris", "-i", outgoing, "-i", incoming, "-o", dir / "file.nut"});
    ASSERT_EQ(viaFile.status, 0) << viaFile.err;
    const RunResult viaPipe = shell(quoted(kCli) + " render Iris -i pipe: -i " + quoted(incoming) +
                                    " -o pipe:1 -f nut < " + quoted(outgoing));
    ASSERT_EQ(viaPipe.status, 0) << viaPipe.err;
    EXPECT_EQ(viaPipe.out, bytesOf(dir / "file.nut"));
}

TEST(CliPipes, AReaderThatClosesThePipeEndsTheRender) {
    ScratchDir dir;
    // 20 frames of 256x128 4:4:4 are far more than a pipe buffers.
    const RunResult r = shell("{ timeout 60 " + quoted(kCli) +
                              " render Swivel --size 256x128 --duration 20 -o - -f y4m 2>" +
                              quoted(dir / "err") + "; echo $? >" + quoted(dir / "status") +
                              "; } | head -c 100 >/dev/null");
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(bytesOf(dir / "status"), "4\n");  // not 124: no hang
    EXPECT_NE(bytesOf(dir / "err").find("'standard output': its reader closed the pipe"),
              std::string::npos)
        << bytesOf(dir / "err");
}

TEST(CliPipes, GarbageEmptyOrShortPipesAreInputErrorsWithoutOutput) {
    const std::string in = y4m("yuv420p");
    const struct {
        std::string feed, options, message;
    } cases[] = {
        {"head -c 20000 /dev/urandom", "", "cannot open 'standard input'"},
        {"true", "", "cannot open 'standard input'"},
        {"cat " + quoted(in), "--duration 8", "the input has 10 from the start"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.feed + " " + c.options);
        ScratchDir dir;
        const RunResult r = shell(c.feed + " | " + quoted(kCli) + " render Swivel -i - " +
                                  c.options + " -o " + quoted(dir / "out.mkv"));
        EXPECT_EQ(r.status, 3) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_TRUE(dir.entries().empty());
    }
}

TEST(CliPipes, FormatsArePickedByMinusF) {
    const std::string in = y4m("yuv420p");
    RunResult r = runCaptured({kCli, "render", "Swivel", "-i", in, "-o", "-", "-f", "webm"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("-f webm: unknown container; choose one of"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("y4m, nut"), std::string::npos) << r.err;
    r = runCaptured({kCli, "render", "Swivel", "-i", in, "-o", "-"});
    EXPECT_EQ(r.status, 4);
    EXPECT_NE(r.err.find("give it with -f"), std::string::npos) << r.err;
    r = runCaptured({kCli, "render", "Swivel", "-i", in, "-o", "-", "-f", "mp4"});
    EXPECT_EQ(r.status, 4);
    EXPECT_NE(r.err.find("a pipe takes y4m, nut or mkv"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    // -f names the container of a file too, whatever its name.
    ScratchDir dir;
    r = runCaptured({kCli, "render", "Swivel", "-i", in, "-o", dir / "out.video", "-f", "y4m"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(bytesOf(dir / "out.video").rfind("YUV4MPEG2 ", 0), 0u);
}
