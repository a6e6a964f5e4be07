// fieldfx render and preview on real video: a neutral filter reproduces the
// decoded input exactly with --lossless and within 45 dB with the default
// H.264; frame count, timing, field order and audio are kept; a transition
// converts its second input and takes its audio; the built-in clips serve
// when no input is given; bad files give clear errors and leave nothing.
#include <gtest/gtest.h>
#include <png.h>

#include <set>

#include "fieldfx/video/source.h"
#include "video_av.h"
#include "video_clips.h"

using namespace fieldfx::video;
using namespace videotest;

namespace {

RunResult runFieldfx(std::vector<std::string> args) {
    args.insert(args.begin(), FIELDFX_TEST_CLI);
    return runCaptured(args);
}

bool sameTime(int64_t a, Rational ta, int64_t b, Rational tb) {
    return a * ta.num * tb.den == b * tb.num * ta.den;
}

}  // namespace

TEST(CliVideo, LosslessNeutralSwivelReproducesTheDecodedInput) {
    for (const std::string& in : {h264Pattern("yuv420p", "tt", "mp4"),
                                  h264Pattern("yuv422p", "bb", "mkv"), ffv1Exact444("tt")}) {
        SCOPED_TRACE(in);
        ScratchDir dir;
        const RunResult r = runFieldfx({"render", "Swivel", "--set", "angle=0", "-i", in, "-o",
                                     dir / "out.mkv", "--lossless"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");  // no progress bar without a terminal
        ClipInfo inInfo, outInfo;
        const std::vector<Frame> source = readAll(in, &inInfo);
        const std::vector<Frame> output = readAll(dir / "out.mkv", &outInfo);
        EXPECT_EQ(outInfo.scan, inInfo.scan);
        ASSERT_EQ(output.size(), source.size());
        for (std::size_t k = 0; k < source.size(); ++k) {
            EXPECT_TRUE(output[k].first.pixels == source[k].first.pixels) << k;
            EXPECT_TRUE(output[k].second.pixels == source[k].second.pixels) << k;
        }
    }
}

TEST(CliVideo, DefaultH264KeepsCountTimingOrderAndAudio) {
    const std::string in = h264Pattern("yuv420p", "tt", "mp4");
    ScratchDir dir;
    const RunResult r =
        runFieldfx({"render", "Swivel", "--set", "angle=0", "-i", in, "-o", dir / "out.mp4"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Swivel: 20 fields (10 frames) -> " + dir / "out.mp4" + "\n");
    ClipInfo inInfo, outInfo;
    const std::vector<Frame> source = readAll(in, &inInfo);
    const std::vector<Frame> output = readAll(dir / "out.mp4", &outInfo);
    ASSERT_EQ(output.size(), 10u);
    EXPECT_EQ(outInfo.scan, Scan::TopFirst);
    for (std::size_t k = 0; k < 10; ++k) {
        EXPECT_TRUE(sameTime(output[k].pts, outInfo.timeBase, source[k].pts, inInfo.timeBase));
        EXPECT_LE(laneDeviation(output[k].first, 3, kEvenLuma + kLumaStep * int(k)), 4) << k;
        EXPECT_LE(laneDeviation(output[k].second, 3, kOddLuma + kLumaStep * int(k)), 4) << k;
    }
    const StreamRecord inAudio = readStream(in, AVMEDIA_TYPE_AUDIO);
    const StreamRecord outAudio = readStream(dir / "out.mp4", AVMEDIA_TYPE_AUDIO);
    ASSERT_EQ(outAudio.packets.size(), inAudio.packets.size());
    for (std::size_t i = 0; i < inAudio.packets.size(); ++i) {
        EXPECT_EQ(outAudio.packets[i].pts, inAudio.packets[i].pts) << i;
        EXPECT_TRUE(outAudio.packets[i].data == inAudio.packets[i].data) << i;
    }
}

TEST(CliVideo, DefaultH264NeutralSwivelStaysAbove45Decibels) {
    const std::string in = h264Detailed();
    ScratchDir dir;
    ASSERT_EQ(runFieldfx({"render", "Swivel", "-i", in, "-o", dir / "out.mp4"}).status, 0);
    const std::vector<Frame> source = readAll(in);
    const std::vector<Frame> output = readAll(dir / "out.mp4");
    ASSERT_EQ(output.size(), source.size());
    ErrorSum error;
    for (std::size_t k = 0; k < source.size(); ++k) {
        error.add(output[k].first, source[k].first);
        error.add(output[k].second, source[k].second);
    }
    EXPECT_GE(error.psnr(), 45.0);
}

TEST(CliVideo, BottomFieldFirstStaysBottomFieldFirst) {
    const std::string in = h264Pattern("yuv422p", "bb", "mkv");
    ScratchDir dir;
    const RunResult r = runFieldfx({"render", "Swivel", "-i", in, "-o", dir / "out.mkv"});
    ASSERT_EQ(r.status, 0) << r.err;
    ClipInfo info;
    const std::vector<Frame> output = readAll(dir / "out.mkv", &info);
    EXPECT_EQ(info.scan, Scan::BottomFirst);
    ASSERT_EQ(output.size(), 10u);
    // First in time: the odd lines.
    EXPECT_LE(laneDeviation(output[3].first, 3, kOddLuma + 3 * kLumaStep), 4);
    EXPECT_LE(laneDeviation(output[3].second, 3, kEvenLuma + 3 * kLumaStep), 4);
    EXPECT_EQ(readStream(dir / "out.mkv", AVMEDIA_TYPE_AUDIO).packets.size(),
              readStream(in, AVMEDIA_TYPE_AUDIO).packets.size());
}

TEST(CliVideo, TransitionConvertsItsSecondInputAndTakesItsAudio) {
    const std::string outgoing = h264Pattern("yuv420p", "tt", "mp4");  // 64x48, tff
    const std::string incoming = clip(
        "incoming-progressive-96x64.mkv",
        {"-f", "lavfi", "-i", "testsrc2=s=96x64:r=50:d=0.4", "-f", "lavfi", "-i",
         "sine=frequency=660:sample_rate=48000:duration=0.4", "-c:v", "ffv1", "-c:a", "flac"});
    ScratchDir dir;
    const RunResult r = runFieldfx({"render", "Iris", "-i", outgoing, "-i", incoming, "-o",
                                 dir / "out.mkv", "--duration", "6", "--start", "2"});
    ASSERT_EQ(r.status, 0) << r.err;
    ClipInfo info;
    const std::vector<Frame> output = readAll(dir / "out.mkv", &info);
    EXPECT_EQ(info.width, 64);
    EXPECT_EQ(info.height, 48);
    EXPECT_EQ(info.scan, Scan::TopFirst);
    ASSERT_EQ(output.size(), 6u);
    // The outgoing clip's timestamps from frame 2 on.
    ClipInfo outgoingInfo;
    const std::vector<Frame> first = readAll(outgoing, &outgoingInfo);
    EXPECT_TRUE(sameTime(output[0].pts, info.timeBase, first[2].pts, outgoingInfo.timeBase));
    // The incoming clip, converted to 25 frames/s, starts at its own 80 ms
    // too (frame 2 of the span); its audio from there for 6 frames (240 ms)
    // lies at the same times in the output.
    const StreamRecord source = readStream(incoming, AVMEDIA_TYPE_AUDIO);
    const StreamRecord audio = readStream(dir / "out.mkv", AVMEDIA_TYPE_AUDIO);
    std::vector<PacketRecord> expected;
    for (const PacketRecord& p : source.packets)
        if (p.pts >= 80000 && p.pts < 80000 + 240000) expected.push_back(p);
    ASSERT_EQ(expected.size(), 3u);  // FLAC packets at 96, 192 and 288 ms
    ASSERT_EQ(audio.packets.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_TRUE(audio.packets[i].data == expected[i].data) << i;
        EXPECT_EQ(audio.packets[i].pts, expected[i].pts) << i;
    }
    // The first input's audio is not taken.
    EXPECT_NE(audio.codec, readStream(outgoing, AVMEDIA_TYPE_AUDIO).codec);
}

TEST(CliVideo, BuiltInClipsWhenNoInputIsGiven) {
    ScratchDir dir;
    const RunResult r = runFieldfx({"render", "Iris", "-o", dir / "iris.mp4", "--size", "64x48",
                                 "--duration", "4"});
    ASSERT_EQ(r.status, 0) << r.err;
    ClipInfo info;
    const std::vector<Frame> output = readAll(dir / "iris.mp4", &info);
    EXPECT_EQ(info.width, 64);
    EXPECT_EQ(info.height, 48);
    EXPECT_EQ(info.scan, Scan::TopFirst);
    EXPECT_EQ(info.frameRate.num, 25);
    EXPECT_EQ(output.size(), 4u);
    // A filter takes builtin:motion, 50 frames unless told otherwise.
    const RunResult filter =
        runFieldfx({"render", "Matte", "-o", dir / "matte.y4m", "--size", "32x16"});
    ASSERT_EQ(filter.status, 0) << filter.err;
    EXPECT_EQ(filter.out, "Matte: 100 fields (50 frames) -> " + dir / "matte.y4m" + "\n");
}

TEST(CliVideo, PreviewDrawsTheSpanOnASheet) {
    ScratchDir dir;
    const RunResult r = runFieldfx({"preview", "Iris", "-o", dir / "sheet.png", "--size", "64x48",
                                 "--duration", "10", "--frames", "4", "--columns", "2",
                                 "--tile-width", "32"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Iris: sheet of 4 frames (88x142) -> " + dir / "sheet.png" + "\n");
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, (dir / "sheet.png").c_str()));
    // A title band of 30, then two rows of 24 + 20 + 8 under a margin of 8.
    EXPECT_EQ(image.width, 88u);
    EXPECT_EQ(image.height, 142u);
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr));
    auto at = [&](int x, int y) {
        const uint8_t* p = &pixels[(std::size_t(y) * 88 + x) * 3];
        return std::vector<uint8_t>{p[0], p[1], p[2]};
    };
    // Frame 9, the end of the closing circle: the incoming bars, white on
    // the left of the tile, blue near its right end.
    EXPECT_EQ(at(48 + 1, 90 + 2), (std::vector<uint8_t>{255, 255, 255}));
    // The label of the first tile, "FRAME 0": F's top row at (8, 66).
    EXPECT_EQ(at(8, 66), (std::vector<uint8_t>{230, 230, 230}));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"sheet.png"});
    // An existing sheet stays unless -y.
    EXPECT_EQ(runFieldfx({"preview", "Iris", "-o", dir / "sheet.png", "--size", "64x48"}).status, 4);
}

TEST(CliVideo, BadInputsAndOutputsFailClearlyAndLeaveNothing) {
    ScratchDir dir;
    std::FILE* f = std::fopen((dir / "junk.mp4").c_str(), "wb");
    std::fputs("this is not a video file at all", f);
    std::fclose(f);
    RunResult r = runFieldfx({"render", "Matte", "-i", dir / "junk.mp4", "-o", dir / "out.mp4"});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("fieldfx render: error: cannot open '" + dir / "junk.mp4" + "'"),
              std::string::npos)
        << r.err;

    std::vector<uint8_t> bytes = fileBytes(h264Pattern("yuv422p", "bb", "mkv"));
    bytes.resize(bytes.size() * 6 / 10);
    f = std::fopen((dir / "cut.mkv").c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    r = runFieldfx({"render", "Matte", "-i", dir / "cut.mkv", "-o", dir / "out.mp4"});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("truncated"), std::string::npos) << r.err;

    r = runFieldfx({"render", "Matte", "-o", dir / "out.webm", "--size", "32x16"});
    EXPECT_EQ(r.status, 4);
    EXPECT_NE(r.err.find("unsupported output type"), std::string::npos) << r.err;

    r = runFieldfx({"render", "Matte", "-o", dir / "junk.mp4/out.mp4", "--size", "32x16"});
    EXPECT_EQ(r.status, 4);
    EXPECT_NE(r.err.find(dir / "junk.mp4/out.mp4"), std::string::npos) << r.err;

    const std::vector<std::string> left = dir.entries();
    EXPECT_EQ(std::set<std::string>(left.begin(), left.end()),
              (std::set<std::string>{"junk.mp4", "cut.mkv"}));
}

TEST(CliVideo, AMatroskaClipCutFromLaterFramesReadsBackWhole) {
    // Matroska states where a track ends: a clip that starts at frame 20 is
    // not 20 frames short.
    ScratchDir dir;
    ASSERT_EQ(runFieldfx({"render", "Heatwave", "--size", "64x48", "--start", "20", "--duration",
                          "5", "-o", dir / "late.mkv"}).status, 0);
    const RunResult r = runFieldfx({"render", "Heatwave", "-i", dir / "late.mkv", "-o", dir / "again.mkv"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readAll(dir / "again.mkv").size(), 5u);
}
