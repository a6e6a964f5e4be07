// Which container, encoder and pixel format an output name and the options
// select, and the names and option combinations that are refused.
#include <gtest/gtest.h>

#include "fieldfx/video/output.h"

using namespace fieldfx::video;

namespace {

OutputFormat choose(const std::string& path, OutputOptions options = {}) {
    return chooseOutputFormat(path, options);
}

OutputOptions lossless() {
    OutputOptions o;
    o.lossless = true;
    return o;
}

// The error text of choosing, or "" when the choice succeeds.
std::string refusal(const std::string& path, const OutputOptions& options = {}) {
    try {
        chooseOutputFormat(path, options);
        return "";
    } catch (const VideoError& e) {
        return e.what();
    }
}

void expectFormat(const OutputFormat& f, const char* muxer, const char* encoder,
                  const char* pixelFormat, int crf, bool losslessH264) {
    EXPECT_EQ(f.muxer, muxer);
    EXPECT_EQ(f.encoder, encoder);
    EXPECT_EQ(f.pixelFormat, pixelFormat);
    EXPECT_EQ(f.crf, crf);
    EXPECT_EQ(f.losslessH264, losslessH264);
}

}  // namespace

TEST(OutputFormat, ByNameH264InMp4MovMkvFfv1InAviRawInY4m) {
    expectFormat(choose("out.mp4"), "mp4", "libx264", "yuv420p", 16, false);
    expectFormat(choose("dir.x/out.mov"), "mov", "libx264", "yuv420p", 16, false);
    expectFormat(choose("OUT.MKV"), "matroska", "libx264", "yuv420p", 16, false);
    expectFormat(choose("out.avi"), "avi", "ffv1", "yuv420p", -1, false);
    expectFormat(choose("out.y4m"), "yuv4mpegpipe", "wrapped_avframe", "yuv444p", -1, false);
}

TEST(OutputFormat, LosslessKeepsFourFourFourAndAlphaWhereTheFormatAllows) {
    expectFormat(choose("out.mkv", lossless()), "matroska", "ffv1", "yuva444p", -1, false);
    expectFormat(choose("out.avi", lossless()), "avi", "ffv1", "yuva444p", -1, false);
    expectFormat(choose("out.mp4", lossless()), "mp4", "libx264", "yuv444p", -1, true);
    expectFormat(choose("out.mov", lossless()), "mov", "libx264", "yuv444p", -1, true);
    expectFormat(choose("out.y4m", lossless()), "yuv4mpegpipe", "wrapped_avframe", "yuv444p", -1,
                 false);
}

TEST(OutputFormat, UnsupportedNamesAreRefused) {
    for (const char* name : {"out.gif", "out", "out.", "dir.mp4/out", "out.mp4.txt"}) {
        const std::string why = refusal(name);
        EXPECT_NE(why.find("unsupported output type"), std::string::npos) << name << ": " << why;
        EXPECT_NE(why.find(name), std::string::npos) << why;
    }
}

TEST(OutputFormat, CodecOverride) {
    OutputOptions o;
    o.codec = "mpeg4";
    expectFormat(choose("out.mp4", o), "mp4", "mpeg4", "yuv420p", -1, false);
    o.codec = "ffv1";
    expectFormat(choose("out.mkv", o), "matroska", "ffv1", "yuv420p", -1, false);
    // A lossless codec of our choosing keeps alpha.
    o.lossless = true;
    expectFormat(choose("out.mkv", o), "matroska", "ffv1", "yuva444p", -1, false);
}

TEST(OutputFormat, CodecsTheContainerCannotHoldOrThatDoNotExist) {
    OutputOptions o;
    o.codec = "ffv1";
    EXPECT_NE(refusal("out.mp4", o).find(".mp4 files cannot hold ffv1"), std::string::npos);
    o.codec = "libx264";
    EXPECT_NE(refusal("out.y4m", o).find("cannot hold"), std::string::npos);
    o.codec = "no-such-encoder";
    EXPECT_NE(refusal("out.mkv", o).find("no video encoder named 'no-such-encoder'"),
              std::string::npos);
    o.codec = "aac";
    EXPECT_NE(refusal("out.mkv", o).find("no video encoder named 'aac'"), std::string::npos);
    o.codec = "mpeg4";
    o.lossless = true;
    EXPECT_NE(refusal("out.mkv", o).find("--lossless needs a lossless encoder"),
              std::string::npos);
}

TEST(OutputFormat, PixelFormatOverride) {
    OutputOptions o;
    o.pixelFormat = "yuv422p";
    expectFormat(choose("out.mkv", o), "matroska", "libx264", "yuv422p", 16, false);
    o.pixelFormat = "no-such-format";
    EXPECT_NE(refusal("out.mkv", o).find("unknown pixel format 'no-such-format'"),
              std::string::npos);
    o.pixelFormat = "rgb48le";
    EXPECT_NE(refusal("out.mp4", o).find("libx264 cannot encode rgb48le"), std::string::npos);
}

TEST(OutputFormat, CrfForEncodersThatHaveOne) {
    OutputOptions o;
    o.crf = 23;
    EXPECT_EQ(choose("out.mp4", o).crf, 23);
    o.crf = 0;
    EXPECT_EQ(choose("out.mp4", o).crf, 0);
    o.crf = 64;
    EXPECT_NE(refusal("out.mp4", o).find("between 0 and 63"), std::string::npos);
    o.crf = 20;
    EXPECT_NE(refusal("out.avi", o).find("--crf does not apply to ffv1"), std::string::npos);
    o.lossless = true;
    EXPECT_NE(refusal("out.mp4", o).find("exclude each other"), std::string::npos);
}
