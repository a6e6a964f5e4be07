// A render split into segments with --range on several machines and put
// together with fieldfx join equals the render of the whole span on one:
// every operator field for field, and the timestamps, field order, colour
// tags and audio of the output. Sets of segments that do not make up one
// render are refused and nothing is written.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>

#include "fieldfx/video/output.h"
#include "fieldfx/video/source.h"
#include "video_av.h"
#include "video_clips.h"

using namespace fieldfx::video;
using namespace videotest;

namespace {

using Words = std::vector<std::string>;

RunResult runFieldfx(Words args) {
    args.insert(args.begin(), FIELDFX_TEST_CLI);
    return runCaptured(args);
}

void expectSameFrames(const std::string& joined, const std::string& whole) {
    const std::vector<Frame> a = readAll(joined), b = readAll(whole);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t k = 0; k < a.size(); ++k) {
        EXPECT_EQ(a[k].pts, b[k].pts) << k;
        EXPECT_TRUE(a[k].first.pixels == b[k].first.pixels) << "frame " << k;
        EXPECT_TRUE(a[k].second.pixels == b[k].second.pixels) << "frame " << k;
    }
}

void expectSameStream(const std::string& joined, const std::string& whole, AVMediaType type) {
    const StreamRecord a = readStream(joined, type), b = readStream(whole, type);
    ASSERT_TRUE(a.found && b.found);
    EXPECT_EQ(a.codec, b.codec);
    EXPECT_EQ(a.fieldOrder, b.fieldOrder);
    EXPECT_EQ(a.colourSpace, b.colourSpace);
    EXPECT_EQ(a.primaries, b.primaries);
    EXPECT_EQ(a.transfer, b.transfer);
    EXPECT_EQ(a.range, b.range);
    EXPECT_EQ(a.sarNum * b.sarDen, b.sarNum * a.sarDen);
    ASSERT_EQ(a.packets.size(), b.packets.size());
    for (std::size_t i = 0; i < a.packets.size(); ++i) {
        EXPECT_EQ(a.packets[i].pts, b.packets[i].pts) << i;
        EXPECT_TRUE(a.packets[i].data == b.packets[i].data) << i;
    }
}

// Renders `effect` whole into `whole` and in the segments of `ranges`,
// then joins these (in reverse order) into `joined`.
void renderSplit(const Words& effect, const Words& ranges, const std::string& whole,
                 const std::string& joined, const ScratchDir& dir, const Words& output = {}) {
    Words render = {"render"};
    render.insert(render.end(), effect.begin(), effect.end());
    Words all = render;
    all.insert(all.end(), {"-o", whole});
    all.insert(all.end(), output.begin(), output.end());
    RunResult r = runFieldfx(all);
    ASSERT_EQ(r.status, 0) << r.err;
    Words join = {"join", "-o", joined};
    join.insert(join.end(), output.begin(), output.end());
    for (std::size_t i = ranges.size(); i-- > 0;) {
        const std::string segment = dir / ("part" + std::to_string(i) + ".mkv");
        Words part = render;
        part.insert(part.end(), {"--range", ranges[i], "-o", segment});
        r = runFieldfx(part);
        ASSERT_EQ(r.status, 0) << ranges[i] << ": " << r.err;
        join.push_back(segment);
    }
    r = runFieldfx(join);
    ASSERT_EQ(r.status, 0) << r.err;
}

}  // namespace

const char* const kOperators[] = {"Matte",    "Smudge",  "Heatwave", "Drunken", "Standbild",
                                  "Tunnel",   "Swivel",  "Widescreen", "Flicker", "Iris",
                                  "Burrow",   "Telescope", "Glide"};

TEST(CliSegments, TheOperatorsAreAllCovered) {
    std::istringstream lines(runFieldfx({"list"}).out);
    std::set<std::string> listed;
    for (std::string line; std::getline(lines, line);) listed.insert(line.substr(0, line.find(' ')));
    EXPECT_EQ(listed, std::set<std::string>(std::begin(kOperators), std::end(kOperators)));
}

class CliSegmentsOf : public testing::TestWithParam<const char*> {};

TEST_P(CliSegmentsOf, JoinedFromUnevenSegmentsEqualsTheWholeRender) {
    ScratchDir dir;
    renderSplit({GetParam(), "--size", "64x48", "--duration", "24", "-q"}, {"0:6", "7:20", "21:"},
                dir / "whole.mkv", dir / "joined.mkv", dir, {"--lossless"});
    expectSameFrames(dir / "joined.mkv", dir / "whole.mkv");
}

INSTANTIATE_TEST_SUITE_P(Every, CliSegmentsOf, testing::ValuesIn(kOperators),
                         [](const testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param);
                         });

TEST(CliSegments, SegmentsStartAsTheWholeRenderDoes) {
    // Iris makes its distance map at its first request, from the Centre of
    // that moment: a segment's effects start at the span's first field too,
    // on one thread and on several.
    for (const char* threads : {"1", "3"}) {
        SCOPED_TRACE(std::string("--threads ") + threads);
        ScratchDir dir;
        renderSplit({"Iris", "--size", "64x48", "--duration", "12", "-q", "--set",
                     "centre=10,5@0,50,20@9", "--threads", threads},
                    {"0:3", "4:"}, dir / "whole.mkv", dir / "joined.mkv", dir, {"--lossless"});
        expectSameFrames(dir / "joined.mkv", dir / "whole.mkv");
    }
}

TEST(CliSegments, JoinedVideoKeepsTheTimingOrderColourAndAudioOfTheWholeRender) {
    const std::string aac = h264Pattern("yuv420p", "tt", "mp4");
    const std::string flac = h264Pattern("yuv422p", "bb", "mkv");
    {
        SCOPED_TRACE("filter, AAC in MP4, top field first, into .mov");
        ScratchDir dir;
        renderSplit({"Standbild", "-i", aac, "--start", "1"}, {"1/3", "2/3", "3/3"},
                    dir / "whole.mov", dir / "joined.mov", dir);
        expectSameStream(dir / "joined.mov", dir / "whole.mov", AVMEDIA_TYPE_VIDEO);
        expectSameStream(dir / "joined.mov", dir / "whole.mov", AVMEDIA_TYPE_AUDIO);
    }
    {
        SCOPED_TRACE("transition, FLAC in Matroska, bottom field first, into lossless .mkv");
        ScratchDir dir;
        renderSplit({"Iris", "-i", aac, "-i", flac, "--start", "2", "--duration", "7"},
                    {"0:0", "1:5", "6:6"}, dir / "whole.mkv", dir / "joined.mkv", dir,
                    {"--lossless"});
        expectSameFrames(dir / "joined.mkv", dir / "whole.mkv");
        expectSameStream(dir / "joined.mkv", dir / "whole.mkv", AVMEDIA_TYPE_AUDIO);
    }
}

TEST(CliSegments, SetsThatAreNotOneWholeRenderAreRefusedAndNothingIsWritten) {
    ScratchDir dir;
    const Words render = {"render", "Heatwave", "--size", "64x48", "--duration", "10", "-q"};
    const auto segment = [&](const std::string& range, const std::string& name,
                             const Words& extra = {}) {
        Words words = render;
        words.insert(words.end(), extra.begin(), extra.end());
        words.insert(words.end(), {"--range", range, "-o", dir / name});
        const RunResult r = runFieldfx(words);
        EXPECT_EQ(r.status, 0) << r.err;
        return dir / name;
    };
    const std::string a = segment("0:3", "a.mkv"), b = segment("4:9", "b.mkv"),
                      c = segment("2:5", "c.mkv"), d = segment("4:9", "d.mkv", {"--set", "frequency=5"}),
                      e = segment("4:9", "e.mkv");
    ASSERT_EQ(runFieldfx({"render", "Heatwave", "--size", "64x48", "--duration", "10", "-q", "-o",
                          dir / "plain.mkv"}).status, 0);
    const struct {
        Words segments;
        std::string message;
    } cases[] = {
        {{a}, "no segment holds the frames 4:9 of the span 0:9"},
        {{b}, "no segment holds the frames 0:3 of the span 0:9"},
        {{a, b, e}, " repeats the frames 4:9 of "},
        {{a, c, b}, "c.mkv (frames 2:5) overlaps " + a + " (frames 0:3)"},
        {{a, d}, d + " belongs to another render than " + a + ": its FIELDFX_EFFECT is"},
        {{a, b, dir / "plain.mkv"}, "plain.mkv is no fieldfx segment"},
        {{a, dir / "missing.mkv"}, "missing.mkv"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        Words join = {"join", "-o", dir / "out.mkv"};
        join.insert(join.end(), c.segments.begin(), c.segments.end());
        const RunResult r = runFieldfx(join);
        EXPECT_EQ(r.status, 3);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir / "out.mkv"));
    }
    for (const auto& [range, message] : {std::pair<std::string, std::string>{"7:10", "not within the span's 0:9"},
                                         {"4/3", "the part is one of 1..3"},
                                         {"11/11", "the span has only 10 frames"},
                                         {"3", "expected FIRST:LAST"}}) {
        Words words = render;
        words.insert(words.end(), {"--range", range, "-o", dir / "x.mkv"});
        const RunResult r = runFieldfx(words);
        EXPECT_EQ(r.status, 2) << range;
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    }
    Words lossy = render;
    lossy.insert(lossy.end(), {"--range", "0:3", "-o", dir / "x.mp4"});
    EXPECT_NE(runFieldfx(lossy).err.find("into a .mkv"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "x.mkv") || fs::exists(dir / "x.mp4"));
}

TEST(CliSegments, SegmentsOfAnInputThatChangedAreRefusedNamingIt) {
    ScratchDir dir;
    const std::string input = dir / "in.mkv";
    const auto make = [&](const char* source) {
        ASSERT_EQ(run({FIELDFX_TEST_FFMPEG, "-v", "error", "-y", "-f", "lavfi", "-i", source,
                       "-frames:v", "6", "-c:v", "ffv1", input}),
                  0);
    };
    const auto segment = [&](const std::string& range, const std::string& name,
                             const Words& extra = {}) {
        Words words = {"render", "Swivel", "-i", input, "-q", "--range", range, "-o", dir / name};
        words.insert(words.end(), extra.begin(), extra.end());
        return runFieldfx(words);
    };
    make("testsrc=size=64x48:rate=25");
    ASSERT_EQ(segment("0:2", "a.mkv").status, 0);
    // A segment file of this render is reused; --check-segment says so.
    RunResult r = segment("0:2", "a.mkv", {"--reuse"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("already holds this segment"), std::string::npos) << r.out;
    EXPECT_EQ(segment("0:2", "a.mkv", {"--check-segment"}).status, 0);
    EXPECT_EQ(segment("3:5", "a.mkv", {"--check-segment"}).status, 3);

    // The same name, other content (and the same size: FFV1 of one geometry).
    make("testsrc2=size=64x48:rate=25");
    ASSERT_EQ(segment("3:5", "b.mkv").status, 0);
    r = runFieldfx({"join", "-o", dir / "out.mkv", dir / "a.mkv", dir / "b.mkv"});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find(dir / "b.mkv was rendered from other input than " + dir / "a.mkv" + ": " +
                         input + " ("),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(fs::exists(dir / "out.mkv"));
    r = segment("0:2", "a.mkv", {"--check-segment"});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("a.mkv was rendered from other input: " + input), std::string::npos)
        << r.err;
    // --reuse renders the stale segment again; the set then joins, and
    // equals the whole render of the new content.
    r = segment("0:2", "a.mkv", {"--reuse"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("already holds"), std::string::npos);
    r = runFieldfx({"join", "-o", dir / "out.mkv", "--lossless", dir / "a.mkv", dir / "b.mkv"});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(runFieldfx({"render", "Swivel", "-i", input, "-q", "--lossless", "-o",
                          dir / "whole.mkv"}).status, 0);
    expectSameFrames(dir / "out.mkv", dir / "whole.mkv");
    // The input changing after the segments were rendered: the join refuses.
    make("testsrc=size=64x48:rate=25");
    r = runFieldfx({"join", "-o", dir / "late.mkv", dir / "a.mkv", dir / "b.mkv"});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("other input than there is now: " + input), std::string::npos) << r.err;
}

// Joined into ProRes, from FFV1 segments (encoded once) or from ProRes ones
// (copied), the output is the whole render's file.
TEST(CliSegments, JoinedIntoProResIsTheWholeRenderByteForByteWithItsTimecode) {
    ScratchDir dir;
    const std::string input = dir / "in.mov";
    ASSERT_EQ(run({FIELDFX_TEST_FFMPEG, "-v", "error", "-f", "lavfi", "-i",
                   "testsrc=size=64x48:rate=25", "-frames:v", "7", "-c:v", "ffv1", "-timecode",
                   "01:00:00:00", input}),
              0);
    const Words render = {"render", "Swivel", "--set", "angle=5", "-i", input, "--start", "1", "-q"};
    const auto run = [&](Words words, const Words& extra) {
        words.insert(words.end(), extra.begin(), extra.end());
        const RunResult r = runFieldfx(words);
        EXPECT_EQ(r.status, 0) << r.err;
    };
    run(render, {"--range", "0:2", "-o", dir / "a.mkv"});
    run(render, {"--range", "3:", "-o", dir / "b.mkv"});
    run({"join", "-q", "--codec", "prores", "-o", dir / "joined.mov", dir / "b.mkv", dir / "a.mkv"},
        {});
    run(render, {"--codec", "prores", "-o", dir / "whole.mov"});
    const std::vector<uint8_t> joined = fileBytes(dir / "joined.mov");
    ASSERT_FALSE(joined.empty());
    EXPECT_TRUE(joined == fileBytes(dir / "whole.mov"));
    EXPECT_EQ(openSource(dir / "joined.mov")->info().tags.at("timecode"), "01:00:00:01");
    // Segments written in ProRes are copied, not encoded again: the same file.
    run(render, {"--codec", "prores", "--range", "0:2", "-o", dir / "pa.mkv"});
    run(render, {"--codec", "prores", "--range", "3:", "-o", dir / "pb.mkv"});
    EXPECT_EQ(videoFormatOf(dir / "pa.mkv"), "prores yuv422p10le");
    run({"join", "-q", "--codec", "prores", "-o", dir / "copied.mov", dir / "pb.mkv", dir / "pa.mkv"},
        {});
    EXPECT_TRUE(fileBytes(dir / "copied.mov") == joined);
    // ProRes and FFV1 segments of one render are not one set.
    const RunResult mixed =
        runFieldfx({"join", "-q", "--codec", "prores", "-o", dir / "mixed.mov", dir / "pa.mkv", dir / "b.mkv"});
    EXPECT_EQ(mixed.status, 3);
    EXPECT_NE(mixed.err.find("belongs to another render"), std::string::npos) << mixed.err;
    EXPECT_FALSE(fs::exists(dir / "mixed.mov"));
    // Into another codec they are decoded and encoded again.
    run({"join", "-q", "-o", dir / "again.mkv", "--lossless", dir / "pa.mkv", dir / "pb.mkv"}, {});
    EXPECT_EQ(videoFormatOf(dir / "again.mkv"), "ffv1 yuva444p");
}

// Segments written in the final codec (render --join-into) of every output
// whose frames are coded one by one are copied by the join, not decoded:
// the single render's file, or image files, byte for byte, from segments of
// uneven length joined out of order. FFV1 among them: its frames are all
// keyframes, else a segment starting between two would code otherwise.
TEST(CliSegments, IntraCodedSegmentsAreCopiedIntoTheWholeRendersFiles) {
    ScratchDir dir;
    const Words effect = {"render", "Swivel", "--size", "256x128", "--duration", "7",
                          "--set", "angle=30", "-q"};
    struct Case {
        std::string name;
        Words options;
        std::string segmentCodec;
    };
    const Case cases[] = {{"ffv1.avi", {}, "ffv1 yuv420p"},
                          {"alpha.avi", {"--lossless"}, "ffv1 yuva444p"},
                          {"master.mkv", {"--lossless"}, "ffv1 yuva444p"},
                          {"dnxhr.mov", {"--codec", "dnxhr-hq"}, "dnxhd yuv422p"},
                          {"prores.mkv", {"--codec", "prores-4444"}, "prores yuva444p12le"},
                          {"frame%04d.dpx", {}, "dpx gbrp10le"},
                          {"frame%04d.tif", {}, "tiff rgb48le"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto render = [&](Words extra) {
            Words words = effect;
            words.insert(words.end(), c.options.begin(), c.options.end());
            words.insert(words.end(), extra.begin(), extra.end());
            const RunResult r = runFieldfx(words);
            EXPECT_EQ(r.status, 0) << r.err;
        };
        const std::string whole = dir / ("whole-" + c.name), joined = dir / ("joined-" + c.name);
        const std::string a = dir / ("a-" + std::to_string(&c - cases) + ".mkv");
        const std::string b = dir / ("b-" + std::to_string(&c - cases) + ".mkv");
        render({"-o", whole});
        render({"--range", "0:1", "--join-into", whole, "-o", a});
        render({"--range", "2:", "--join-into", whole, "-o", b});
        EXPECT_EQ(videoFormatOf(b), c.segmentCodec);
        Words join = {"join", "-q", "-o", joined};
        join.insert(join.end(), c.options.begin(), c.options.end());
        join.insert(join.end(), {b, a});
        const RunResult r = runFieldfx(join);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("(7 frames, copied)"), std::string::npos) << r.out;
        if (c.name.find('%') == std::string::npos) {
            const std::vector<uint8_t> bytes = fileBytes(joined);
            ASSERT_FALSE(bytes.empty());
            EXPECT_TRUE(bytes == fileBytes(whole));
            continue;
        }
        for (int k = 0; k < 8; ++k) {
            char name[32];
            std::snprintf(name, sizeof name, c.name.c_str(), k);
            const std::string w = dir / ("whole-" + std::string(name));
            const std::string j = dir / ("joined-" + std::string(name));
            ASSERT_EQ(fs::exists(j), k < 7) << j;
            if (k < 7) EXPECT_TRUE(fileBytes(j) == fileBytes(w)) << name;
        }
    }
}

// A full-range source: ProRes segments hold its pixels in full range as the
// single render does, and the copying join gives the single render's file.
TEST(CliSegments, ProResSegmentsOfAFullRangeSourceAreTheWholeRendersFrames) {
    ScratchDir dir;
    const std::string input = dir / "in.mkv";
    ASSERT_EQ(run({FIELDFX_TEST_FFMPEG, "-v", "error", "-f", "lavfi", "-i",
                   "testsrc2=size=64x48:rate=25", "-frames:v", "5", "-pix_fmt", "yuv444p",
                   "-color_range", "pc", "-c:v", "ffv1", input}),
              0);
    const Words render = {"render", "Swivel", "--set", "angle=20", "-i", input, "-q",
                          "--codec", "prores"};
    const auto run = [&](Words words, const Words& extra) {
        words.insert(words.end(), extra.begin(), extra.end());
        const RunResult r = runFieldfx(words);
        EXPECT_EQ(r.status, 0) << r.err;
    };
    run(render, {"-o", dir / "whole.mov"});
    run(render, {"--range", "0:2", "-o", dir / "a.mkv"});
    run(render, {"--range", "3:", "-o", dir / "b.mkv"});
    run({"join", "-q", "--codec", "prores", "-o", dir / "joined.mov", dir / "a.mkv", dir / "b.mkv"},
        {});
    const std::vector<uint8_t> joined = fileBytes(dir / "joined.mov");
    ASSERT_FALSE(joined.empty());
    EXPECT_TRUE(joined == fileBytes(dir / "whole.mov"));
}

// A segment seeks to its first frame where the codec lets a decoding start
// there and still give the frames of a decoding from the start: any frame
// of a codec of single frames (ProRes, MJPEG), FFV1's keyframe before it,
// H.264's IDR picture before it (B-frames shown out of their stored order).
// An open GOP's keyframes are no IDR pictures, and MPEG-2's GOPs may be
// open: those are decoded from the start, and the render says so. Every split
// joins to the whole render's frames, and a segment of FFV1 reads nothing
// before its keyframe: damage there is the business of the segment that
// holds it (and of the whole render), not of the segments after it.
TEST(CliSegments, SegmentsSeekExactlyOrDecodeFromTheStartAndSaySo) {
    ScratchDir dir;
    struct Input {
        std::string name;
        Words codec;
        bool seeks;
    };
    const Words h264 = {"-c:v", "libx264", "-g", "6", "-bf", "2"};
    Words openGop = h264;
    openGop.insert(openGop.end(), {"-x264-params", "open-gop=1"});
    const Input inputs[] = {{"ffv1.mkv", {"-c:v", "ffv1", "-level", "3", "-g", "6"}, true},
                            {"prores.mov", {"-c:v", "prores_ks"}, true},
                            {"mjpeg.mkv", {"-c:v", "mjpeg"}, true},
                            {"h264.mp4", h264, true},
                            {"h264.mkv", h264, true},
                            {"h264.ts", h264, true},  // NAL units after start codes
                            {"open-gop.mp4", openGop, false},
                            {"mpeg2.mkv", {"-c:v", "mpeg2video", "-g", "6", "-bf", "2"}, false}};
    for (const Input& in : inputs) {
        SCOPED_TRACE(in.name);
        const std::string input = dir / in.name;
        Words make = {FIELDFX_TEST_FFMPEG, "-v", "error", "-f", "lavfi", "-i",
                      "testsrc2=size=64x48:rate=25", "-frames:v", "30"};
        make.insert(make.end(), in.codec.begin(), in.codec.end());
        make.push_back(input);
        ASSERT_EQ(run(make), 0);
        const Words effect = {"Swivel", "--set", "angle=30", "-i", input, "-q", "-y"};
        renderSplit(effect, {"0:10", "11:22", "23:"}, dir / ("whole-" + in.name + ".mkv"),
                    dir / ("joined-" + in.name + ".mkv"), dir, {"--lossless"});
        expectSameFrames(dir / ("joined-" + in.name + ".mkv"), dir / ("whole-" + in.name + ".mkv"));
        Words late = {"render"};
        late.insert(late.end(), effect.begin(), effect.end());
        late.insert(late.end(), {"--range", "23:", "-o", dir / "late.mkv"});
        const RunResult r = runFieldfx(late);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err.find("decoded from its start") == std::string::npos, in.seeks) << r.err;
        if (!in.seeks)
            EXPECT_NE(r.err.find(in.name[0] == 'o' ? "no IDR picture" : "codes frames from others"),
                      std::string::npos)
                << r.err;
    }

    // Frame 3 of the FFV1 clip damaged: its slice CRC fails.
    std::vector<uint8_t> bytes = fileBytes(dir / "ffv1.mkv");
    const StreamRecord stream = readStream(dir / "ffv1.mkv", AVMEDIA_TYPE_VIDEO);
    ASSERT_GE(stream.packets.size(), 30u);
    const std::vector<uint8_t>& packet = stream.packets[2].data;
    const auto at = std::search(bytes.begin(), bytes.end(), packet.begin(), packet.end());
    ASSERT_NE(at, bytes.end());
    at[std::ptrdiff_t(packet.size() / 2)] ^= 0x5a;
    const std::string damaged = dir / "damaged.mkv";
    {
        std::ofstream out(damaged, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    const auto render = [&](const Words& extra) {
        Words words = {"render", "Swivel", "-i", damaged, "-q", "-y", "-o", dir / "d.mkv"};
        words.insert(words.end(), extra.begin(), extra.end());
        return runFieldfx(words);
    };
    RunResult r = render({});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find(damaged + "' is damaged"), std::string::npos) << r.err;
    r = render({"--range", "0:10"});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find(damaged + "' is damaged"), std::string::npos) << r.err;
    r = render({"--range", "11:"});
    EXPECT_EQ(r.status, 0) << r.err;
}
