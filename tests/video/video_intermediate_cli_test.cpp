// Intermediate codecs and frame sequences: ProRes 422 HQ, ProRes 4444 (the
// opacity as alpha) and DNxHR HQ decode with FFmpeg to the frames of a
// lossless render within stated bounds, with the field order (but DNxHR in
// .mov, which says so) and timecode (moved by --start) of the input; DPX and TIFF sequences hold one R'G'B'
// file a frame; two renders of one job write identical files.
#include <gtest/gtest.h>

#include "fieldfx/video/source.h"
#include "video_av.h"
#include "video_testing.h"

using namespace fieldfx::video;
using namespace videotest;

namespace {

const std::string kCli = FIELDFX_TEST_CLI;

// 256 x 128 (DNxHR's smallest is 256 x 120), top field first, timecode 10:00:00:00.
std::string interlacedClip() {
    return clip("intermediate-tff.mov",
                {"-f", "lavfi", "-i", "testsrc2=size=256x128:rate=25", "-frames:v", "6",
                 "-pix_fmt", "yuv422p", "-c:v", "ffv1", "-level", "3", "-flags", "+ilme+ildct",
                 "-field_order", "tt", "-timecode", "10:00:00:00"});
}

RunResult render(const std::vector<std::string>& tail) {
    std::vector<std::string> args = {kCli, "render", "Swivel", "--set", "angle=10", "--start", "2",
                                     "-i", interlacedClip()};
    args.insert(args.end(), tail.begin(), tail.end());
    return runCaptured(args);
}

// Largest difference of the lanes [from, to] of two fields.
int worst(const Field& a, const Field& b, int from, int to) {
    int w = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i)
        if (int(i % 4) >= from && int(i % 4) <= to)
            w = std::max(w, std::abs(int(a.pixels[i]) - int(b.pixels[i])));
    return w;
}

struct Bound {
    double psnr;
    int largest;
};

// The output against the reference render, field by field.
void expectClose(const std::vector<Frame>& out, const std::vector<Frame>& ref, Bound bound,
                 bool alpha) {
    ASSERT_EQ(out.size(), ref.size());
    ErrorSum sum;
    for (std::size_t k = 0; k < ref.size(); ++k) {
        for (auto [o, r] : {std::pair{&out[k].first, &ref[k].first}, {&out[k].second, &ref[k].second}}) {
            ASSERT_EQ(o->pixels.size(), r->pixels.size());
            sum.add(*o, *r);
            EXPECT_LE(worst(*o, *r, 1, 3), bound.largest) << "frame " << k;
            if (alpha) {
                EXPECT_EQ(worst(*o, *r, 0, 0), 0) << "frame " << k;
            }
        }
    }
    EXPECT_GE(sum.psnr(), bound.psnr);
}

}  // namespace

TEST(CliIntermediate, ProResAndDnxhrDecodeToTheRenderWithOrderAndTimecode) {
    ScratchDir dir;
    // References: the same subsampling written without loss.
    RunResult r = render({"-o", dir / "ref422.mkv", "--codec", "ffv1", "--pix-fmt", "yuv422p"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = render({"-o", dir / "ref444.mkv", "--lossless"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<Frame> ref422 = readAll(dir / "ref422.mkv");
    const std::vector<Frame> ref444 = readAll(dir / "ref444.mkv");
    ASSERT_EQ(ref422.size(), 4u);

    const struct {
        const char* codec;
        const char* file;
        const char* profile;
        Bound bound;
        bool alpha;
        const std::vector<Frame>& ref;
    } cases[] = {
        {"prores", "out.mov", "HQ", {44, 16}, false, ref422},
        {"prores-4444", "out4.mov", "4444", {50, 3}, true, ref444},
        {"dnxhr-hq", "outd.mov", "DNXHR HQ", {40, 16}, false, ref422},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.codec);
        r = render({"-o", dir / c.file, "--codec", c.codec});
        ASSERT_EQ(r.status, 0) << r.err;
        ClipInfo info;
        const std::vector<Frame> out = readAll(dir / c.file, &info);
        // FFmpeg's .mov writer records no field order for DNxHR: the render says so.
        const bool dnxhr = c.profile == std::string("DNXHR HQ");
        EXPECT_EQ(info.scan, dnxhr ? Scan::Progressive : Scan::TopFirst);
        EXPECT_EQ(r.err.find("keeps no field order") != std::string::npos, dnxhr) << r.err;
        EXPECT_EQ(info.tags["timecode"], "10:00:00:02");
        EXPECT_EQ(info.alpha, c.alpha);
        expectClose(out, c.ref, c.bound, c.alpha);
        const StreamRecord video = readStream(dir / c.file, AVMEDIA_TYPE_VIDEO);
        EXPECT_EQ(video.profile, c.profile);
    }
    // DNxHR's smallest frame is 256x120: a smaller one is refused by name, nothing written.
    ScratchDir empty;
    r = runCaptured({kCli, "render", "Swivel", "-i", "builtin:bars", "--size", "128x96",
                     "--duration", "2", "--codec", "dnxhr-hq", "-o", empty / "small.mov"});
    EXPECT_EQ(r.status, 4);
    EXPECT_NE(r.err.find("DNxHR codes frames of 256x120 and up, not 128x96"), std::string::npos)
        << r.err;
    EXPECT_TRUE(empty.entries().empty());
}

TEST(CliIntermediate, DpxAndTiffSequencesHoldOneRgbFileAFrame) {
    ScratchDir dir;
    RunResult r = render({"-o", dir / "ref.mkv", "--lossless"});
    ASSERT_EQ(r.status, 0) << r.err;
    const struct {
        const char* ext;
        const char* format;
    } cases[] = {{"dpx", "gbrp10le"}, {"tif", "rgb48le"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ext);
        const std::string pattern = dir / (std::string("f%06d.") + c.ext);
        r = render({"-o", pattern});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(fs::exists(dir / (std::string("f000003.") + c.ext)));
        EXPECT_FALSE(fs::exists(dir / (std::string("f000004.") + c.ext)));
        // Exactly FFmpeg's own R'G'B' of the lossless render (BT.601 for
        // this untagged size, full range, its bit-exact conversion).
        const std::string got = dir / "got.raw", want = dir / "want.raw";
        ASSERT_EQ(run({FIELDFX_TEST_FFMPEG, "-v", "error", "-y", "-start_number", "0", "-i",
                       pattern, "-f", "rawvideo", "-pix_fmt", c.format, got}),
                  0);
        ASSERT_EQ(run({FIELDFX_TEST_FFMPEG, "-v", "error", "-y", "-i", dir / "ref.mkv", "-vf",
                       std::string("scale=in_range=tv:out_range=pc:out_color_matrix=bt601:flags="
                                   "bicubic+accurate_rnd+full_chroma_int+bitexact,format=") +
                           c.format,
                       "-f", "rawvideo", want}),
                  0);
        const std::vector<uint8_t> gotBytes = fileBytes(got), wantBytes = fileBytes(want);
        EXPECT_EQ(gotBytes.size(), std::size_t(256 * 128 * 6 * 4));
        EXPECT_TRUE(gotBytes == wantBytes);
    }
    // Without a frame number only a one-frame render fits; nothing is left.
    ScratchDir empty;
    r = render({"-o", empty / "one.dpx"});
    EXPECT_EQ(r.status, 4);
    EXPECT_NE(r.err.find("use a numbered name such as out%06d.dpx"), std::string::npos) << r.err;
    EXPECT_TRUE(empty.entries().empty());
}

TEST(CliIntermediate, TwoRendersOfOneJobWriteIdenticalFiles) {
    ScratchDir dir;
    for (const std::vector<std::string>& output :
         {std::vector<std::string>{"a.mkv"}, {"a.mov", "--codec", "prores"},
          {"a.mkv", "--lossless"}, {"a.mp4"}}) {
        SCOPED_TRACE(output[0] + (output.size() > 1 ? " " + output[1] : ""));
        std::vector<std::vector<uint8_t>> files;
        for (const char* round : {"1-", "2-"}) {
            std::vector<std::string> tail = {"-o", dir / (round + output[0]), "-y"};
            tail.insert(tail.end(), output.begin() + 1, output.end());
            const RunResult r = render(tail);
            ASSERT_EQ(r.status, 0) << r.err;
            files.push_back(fileBytes(tail[1]));
        }
        ASSERT_FALSE(files[0].empty());
        EXPECT_TRUE(files[0] == files[1]);
    }
}
