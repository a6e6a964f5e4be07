// Fields written back as frames and read again, on real encoded clips made
// by ffmpeg: lossless outputs reproduce the decoded fields exactly; the
// default H.264 output keeps frame count, timing, field order, sample aspect
// and colour tags, carries the source's audio unchanged and stays above
// 45 dB PSNR.
#include <gtest/gtest.h>

#include "fieldfx/video/output.h"
#include "fieldfx/video/source.h"
#include "video_av.h"
#include "video_clips.h"

using namespace fieldfx::video;
using namespace videotest;

namespace {

// Reads every frame of `in` and writes it unchanged to `out`; returns the
// frames read.
std::vector<Frame> passThrough(const std::string& in, const std::string& out,
                               const OutputOptions& options = {}, AudioSpan audio = {},
                               std::vector<std::string>* notes = nullptr) {
    auto source = openSource(in);
    if (audio.source.empty() && source->info().audio) audio.source = in;
    VideoOutput output(out, source->info(), options, audio);
    std::vector<Frame> frames;
    Frame f;
    while (source->read(f)) {
        output.write(f.first, f.second, f.pts);
        frames.push_back(f);
    }
    output.finish();
    if (notes) *notes = output.notes();
    return frames;
}

// Timestamps as exact rationals compared across time bases.
bool sameTime(int64_t a, Rational ta, int64_t b, Rational tb) {
    return a * ta.num * tb.den == b * tb.num * ta.den;
}

OutputOptions lossless() {
    OutputOptions o;
    o.lossless = true;
    return o;
}

}  // namespace

TEST(RoundTrip, LosslessOutputsReproduceTheDecodedFieldsExactly) {
    const std::vector<std::string> sources = {
        ffv1Pattern("yuv420p", "tt"), ffv1Pattern("yuv422p", "bb"), ffv1Exact444("tt"),
        ffv1Exact444("progressive"), h264Pattern("yuv420p", "tt", "mp4")};
    for (const std::string& in : sources)
        for (const std::string name : {"out.mkv", "out.avi", "out.mp4"}) {
            SCOPED_TRACE(in + " -> " + name);
            ScratchDir dir;
            ClipInfo inInfo, outInfo;
            readAll(in, &inInfo);
            const std::vector<Frame> written = passThrough(in, dir / name, lossless());
            const std::vector<Frame> read = readAll(dir / name, &outInfo);
            EXPECT_EQ(outInfo.scan, inInfo.scan);
            EXPECT_EQ(outInfo.width, inInfo.width);
            EXPECT_EQ(outInfo.height, inInfo.height);
            ASSERT_EQ(read.size(), written.size());
            ASSERT_EQ(read.size(), 10u);
            for (std::size_t k = 0; k < read.size(); ++k) {
                EXPECT_TRUE(read[k].first.pixels == written[k].first.pixels) << "frame " << k;
                EXPECT_TRUE(read[k].second.pixels == written[k].second.pixels) << "frame " << k;
                EXPECT_TRUE(sameTime(read[k].pts, outInfo.timeBase, written[k].pts,
                                     inInfo.timeBase))
                    << "frame " << k;
            }
        }
}

TEST(RoundTrip, LosslessKeepsOpacityAsAlpha) {
    const std::string in =
        clip("alpha-pattern.mkv", {"-f", "lavfi", "-i",
                                   "color=c=black:s=64x48:r=25:d=0.08,format=yuva444p,"
                                   "geq=lum=100:cb=128:cr=128:a='mod(X*5+Y,256)'",
                                   "-c:v", "ffv1"});
    ScratchDir dir;
    const std::vector<Frame> written = passThrough(in, dir / "out.mkv", lossless());
    ClipInfo info;
    const std::vector<Frame> read = readAll(dir / "out.mkv", &info);
    EXPECT_TRUE(info.alpha);
    ASSERT_EQ(read.size(), written.size());
    EXPECT_TRUE(read[0].first.pixels == written[0].first.pixels);
    EXPECT_EQ(read[0].first.row(0)[4 * 3], 15);  // opacity 5 x 3 + 0
}

TEST(RoundTrip, Y4mOutputIsExactFourFourFourTaggedWithTheFieldOrder) {
    ScratchDir dir;
    const std::vector<Frame> written = passThrough(ffv1Exact444("bb"), dir / "out.y4m");
    ClipInfo info;
    const std::vector<Frame> read = readAll(dir / "out.y4m", &info);
    EXPECT_EQ(info.scan, Scan::BottomFirst);
    ASSERT_EQ(read.size(), 10u);
    for (std::size_t k = 0; k < read.size(); ++k) {
        EXPECT_TRUE(read[k].first.pixels == written[k].first.pixels) << k;
        EXPECT_TRUE(read[k].second.pixels == written[k].second.pixels) << k;
    }
    const std::vector<uint8_t> bytes = fileBytes(dir / "out.y4m");
    const std::string header(bytes.begin(), bytes.begin() + 40);
    EXPECT_NE(header.find(" Ib "), std::string::npos) << header;
    EXPECT_NE(header.find(" F25:1 "), std::string::npos) << header;
}

// The default output of an interlaced or progressive H.264 clip with audio.
void checkDefaultRender(const std::string& in, const std::string& name, Scan scan,
                        int fieldOrder) {
    SCOPED_TRACE(in + " -> " + name);
    ScratchDir dir;
    ClipInfo inInfo, outInfo;
    readAll(in, &inInfo);
    ASSERT_EQ(inInfo.scan, scan);
    ASSERT_TRUE(inInfo.audio);
    const std::vector<Frame> written = passThrough(in, dir / name);
    const std::vector<Frame> read = readAll(dir / name, &outInfo);

    // Frame count and timing.
    ASSERT_EQ(read.size(), 10u);
    EXPECT_EQ(outInfo.frames, 10);
    EXPECT_EQ(outInfo.frameRate.num * inInfo.frameRate.den,
              inInfo.frameRate.num * outInfo.frameRate.den);
    for (std::size_t k = 0; k < read.size(); ++k)
        EXPECT_TRUE(sameTime(read[k].pts, outInfo.timeBase, written[k].pts, inInfo.timeBase))
            << "frame " << k;

    // Field order: the pattern comes out in the same order on the same lines.
    EXPECT_EQ(outInfo.scan, scan);
    const bool evenFirst = scan != Scan::BottomFirst;
    for (int n = 0; n < 10; ++n) {
        const Field& even = evenFirst ? read[n].first : read[n].second;
        const Field& odd = evenFirst ? read[n].second : read[n].first;
        EXPECT_LE(laneDeviation(even, 3, kEvenLuma + kLumaStep * n), 4) << n;
        EXPECT_LE(laneDeviation(odd, 3, kOddLuma + kLumaStep * n), 4) << n;
    }

    // Tags: field order, sample aspect, colour.
    const StreamRecord inVideo = readStream(in, AVMEDIA_TYPE_VIDEO);
    const StreamRecord outVideo = readStream(dir / name, AVMEDIA_TYPE_VIDEO);
    EXPECT_EQ(outVideo.codec, "h264");
    EXPECT_EQ(outVideo.fieldOrder, fieldOrder);
    EXPECT_EQ(outVideo.sarNum, 16);
    EXPECT_EQ(outVideo.sarDen, 15);
    EXPECT_EQ(pixelAspectOf(outInfo.sampleAspect), 938);
    EXPECT_EQ(outVideo.colourSpace, AVCOL_SPC_BT709);
    EXPECT_EQ(outVideo.primaries, AVCOL_PRI_BT709);
    EXPECT_EQ(outVideo.transfer, AVCOL_TRC_BT709);
    EXPECT_EQ(outVideo.range, AVCOL_RANGE_MPEG);
    EXPECT_EQ(outVideo.colourSpace, inVideo.colourSpace);

    // Audio: the same packets at the same times.
    const StreamRecord inAudio = readStream(in, AVMEDIA_TYPE_AUDIO);
    const StreamRecord outAudio = readStream(dir / name, AVMEDIA_TYPE_AUDIO);
    ASSERT_TRUE(outAudio.found);
    EXPECT_EQ(outAudio.codec, inAudio.codec);
    ASSERT_EQ(outAudio.packets.size(), inAudio.packets.size());
    for (std::size_t i = 0; i < inAudio.packets.size(); ++i) {
        EXPECT_EQ(outAudio.packets[i].pts, inAudio.packets[i].pts) << i;
        EXPECT_TRUE(outAudio.packets[i].data == inAudio.packets[i].data) << i;
    }
}

TEST(RoundTrip, InterlacedTopFirst420WithAacKeepsEverything) {
    checkDefaultRender(h264Pattern("yuv420p", "tt", "mp4"), "out.mp4", Scan::TopFirst,
                       AV_FIELD_TT);
}

TEST(RoundTrip, InterlacedBottomFirst422WithFlacKeepsEverything) {
    checkDefaultRender(h264Pattern("yuv422p", "bb", "mkv"), "out.mkv", Scan::BottomFirst,
                       AV_FIELD_BB);
}

TEST(RoundTrip, Progressive420KeepsEverything) {
    checkDefaultRender(h264Pattern("yuv420p", "progressive", "mp4"), "out.mov",
                       Scan::Progressive, AV_FIELD_PROGRESSIVE);
}

TEST(RoundTrip, DefaultH264StaysAbove45DecibelsPsnr) {
    ScratchDir dir;
    const std::vector<Frame> written = passThrough(h264Detailed(), dir / "out.mp4");
    const std::vector<Frame> read = readAll(dir / "out.mp4");
    ASSERT_EQ(read.size(), written.size());
    ErrorSum error;
    for (std::size_t k = 0; k < read.size(); ++k) {
        error.add(read[k].first, written[k].first);
        error.add(read[k].second, written[k].second);
    }
    EXPECT_GE(error.psnr(), 45.0);
    // Not lossless: the measurement sees the coding.
    EXPECT_LT(error.psnr(), 100.0);
}

TEST(RoundTrip, SubsampledChromaComesBackUnchanged) {
    // A 4:2:0 source written as 4:2:0 without loss holds exactly its own
    // chroma: repeated samples averaged give the samples back.
    ScratchDir dir;
    OutputOptions o;
    o.codec = "ffv1";
    o.pixelFormat = "yuv420p";
    passThrough(ffv1ChromaRamp(), dir / "out.mkv", o);
    const DecodedFrame out = decodeFirstFrame(dir / "out.mkv");
    const DecodedFrame in = decodeFirstFrame(ffv1ChromaRamp());
    ASSERT_EQ(out.format, AV_PIX_FMT_YUV420P);
    ASSERT_EQ(out.planes.size(), 3u);
    EXPECT_TRUE(out.planes == in.planes);
    EXPECT_EQ(out.planes[1][5 * 32 + 7], 20 + 8 * 5);
}

TEST(RoundTrip, InterlacedFourTwoZeroOutputAveragesWithinEachField) {
    // 4:4:4 fields written as interlaced 4:2:0: chroma line R = 2k + f is the
    // rounded mean of field f's rows 2k and 2k + 1 (frame lines 4k + f and
    // 4k + 2 + f), two columns wide.
    ScratchDir dir;
    OutputOptions o;
    o.codec = "ffv1";
    o.pixelFormat = "yuv420p";
    passThrough(ffv1Exact444("tt"), dir / "out.mkv", o);
    const DecodedFrame out = decodeFirstFrame(dir / "out.mkv");
    ASSERT_EQ(out.format, AV_PIX_FMT_YUV420P);
    for (int R = 0; R < 24; ++R)
        for (int c = 0; c < 32; ++c) {
            const int k = R / 2, f = R % 2;
            int sum = 0;
            for (int line : {4 * k + f, 4 * k + 2 + f})
                for (int x : {2 * c, 2 * c + 1}) sum += exactCb(x, line);
            ASSERT_EQ(out.planes[1][std::size_t(R) * 32 + c], (sum + 2) / 4) << R << "," << c;
        }
}

TEST(RoundTrip, AudioSpanMovesTheChosenPackets) {
    const std::string in = h264Pattern("yuv420p", "tt", "mp4");
    const StreamRecord source = readStream(in, AVMEDIA_TYPE_AUDIO);
    ScratchDir dir;
    AudioSpan span;
    span.source = in;
    span.from = 200000;
    span.to = 300000;
    span.shift = -200000;
    passThrough(in, dir / "out.mp4", {}, span);
    const StreamRecord out = readStream(dir / "out.mp4", AVMEDIA_TYPE_AUDIO);
    std::vector<PacketRecord> expected;
    for (const PacketRecord& p : source.packets)
        if (p.pts >= 200000 && p.pts < 300000) expected.push_back(p);
    ASSERT_FALSE(expected.empty());
    ASSERT_EQ(out.packets.size(), expected.size());
    // MP4 places a stream's start in milliseconds; the spacing is kept.
    EXPECT_LE(std::abs(out.packets[0].pts - (expected[0].pts - 200000)), 1000);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_LE(std::abs((out.packets[i].pts - out.packets[0].pts) -
                           (expected[i].pts - expected[0].pts)), 1)
            << i;  // microseconds rounded from 1/48000
        EXPECT_TRUE(out.packets[i].data == expected[i].data) << i;
    }
}

TEST(RoundTrip, AudioTheContainerCannotHoldIsLeftOutWithANote) {
    const std::string in = clip("pcm.mov", {"-f", "lavfi", "-i", patternSource("yuv420p", ""),
                                            "-f", "lavfi", "-i",
                                            "sine=frequency=440:sample_rate=48000:duration=0.4",
                                            "-c:v", "libx264", "-c:a", "pcm_s16le"});
    ScratchDir dir;
    std::vector<std::string> notes;
    passThrough(in, dir / "out.mp4", {}, {}, &notes);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("pcm_s16le"), std::string::npos) << notes[0];
    EXPECT_FALSE(readStream(dir / "out.mp4", AVMEDIA_TYPE_AUDIO).found);
    passThrough(in, dir / "out.y4m", {}, {}, &notes);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("hold no audio"), std::string::npos) << notes[0];
    // .mov holds it.
    passThrough(in, dir / "out.mov", {}, {}, &notes);
    EXPECT_TRUE(notes.empty());
    EXPECT_EQ(readStream(dir / "out.mov", AVMEDIA_TYPE_AUDIO).packets.size(),
              readStream(in, AVMEDIA_TYPE_AUDIO).packets.size());
}

TEST(RoundTrip, WidthsOfNoWholeBlockConvertSampleBySample) {
    // Rows are converted sixteen pixels at a time and the rest one by one,
    // chroma in whole 2x2 blocks and then the blocks the picture's edge cuts:
    // 37 and 50 columns leave a remainder of each (frame 0 checked).
    for (const std::string size : {"37x30", "50x20"}) {
        SCOPED_TRACE(size);
        const int width = std::stoi(size), height = std::stoi(size.substr(3)), cw = (width + 1) / 2;
        const std::vector<Frame> in = readAll(ffv1Exact444("tt", size));
        ASSERT_FALSE(in.empty());
        for (int line = 0; line < height; ++line)
            for (int x = 0; x < width; ++x) {
                const uint8_t* p = (line % 2 ? in[0].second : in[0].first).row(line / 2) + 4 * x;
                ASSERT_EQ(std::vector<int>(p, p + 4),
                          (std::vector<int>{255, exactCb(x, line), exactCr(x, line, 0), exactLuma(x, line, 0)}))
                    << x << "," << line;
            }

        // As interlaced 4:2:0: luma exact, chroma line 2c + f the rounded mean
        // of field f's rows 2c and 2c + 1 where it has them (frame lines
        // 4c + f and 4c + 2 + f) over columns 2k and 2k + 1 where there are.
        ScratchDir dir;
        OutputOptions o;
        o.codec = "ffv1";
        o.pixelFormat = "yuv420p";
        passThrough(ffv1Exact444("tt", size), dir / "out.mkv", o);
        const DecodedFrame out = decodeFirstFrame(dir / "out.mkv");
        ASSERT_EQ(out.format, AV_PIX_FMT_YUV420P);
        for (int line = 0; line < height; ++line)
            for (int x = 0; x < width; ++x)
                ASSERT_EQ(out.planes[0][std::size_t(line) * width + x], exactLuma(x, line, 0)) << x << "," << line;
        for (int R = 0; R < (height + 1) / 2; ++R)
            for (int k = 0; k < cw; ++k) {
                const int c = R / 2, f = R % 2;
                int sumB = 0, sumR = 0, n = 0;
                for (int line : {4 * c + f, 4 * c + 2 + f})
                    for (int x : {2 * k, 2 * k + 1})
                        if (line < height && x < width)
                            sumB += exactCb(x, line), sumR += exactCr(x, line, 0), ++n;
                ASSERT_EQ(out.planes[1][std::size_t(R) * cw + k], (sumB + n / 2) / n) << R << "," << k;
                ASSERT_EQ(out.planes[2][std::size_t(R) * cw + k], (sumR + n / 2) / n) << R << "," << k;
            }

        // Read back, each chroma sample covers the two pixels of its columns
        // on its own field's lines (the field's last chroma line also serves
        // a last row that has none of its own).
        const std::vector<Frame> back = readAll(dir / "out.mkv");
        ASSERT_FALSE(back.empty());
        const int chromaRows = (height + 1) / 2;
        for (int line = 0; line < height; ++line)
            for (int x = 0; x < width; ++x) {
                const int f = line % 2, lastOfField = chromaRows - 1 - ((chromaRows - 1 - f) & 1);
                const int R = std::min(2 * (line / 4) + f, lastOfField);
                const uint8_t* p = (f ? back[0].second : back[0].first).row(line / 2) + 4 * x;
                ASSERT_EQ(p[1], out.planes[1][std::size_t(R) * cw + x / 2]) << x << "," << line;
                ASSERT_EQ(p[3], exactLuma(x, line, 0)) << x << "," << line;
            }
    }
}
