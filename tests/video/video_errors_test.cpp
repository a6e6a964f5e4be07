// Bad inputs and outputs: files that are not video, are cut short or are
// damaged, output names and places that cannot be written; every error names
// the file, and no partial output is left behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "fieldfx/video/output.h"
#include "fieldfx/video/source.h"
#include "video_clips.h"

using namespace fieldfx::video;
using namespace videotest;

namespace {

// The message of the VideoError that reading all of `path` throws, or "".
std::string readError(const std::string& path) {
    try {
        auto source = openSource(path);
        Frame f;
        while (source->read(f)) {
        }
        return "";
    } catch (const VideoError& e) {
        return e.what();
    }
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

// The first `percent` % of a clip's bytes in a new file.
std::string cut(const ScratchDir& dir, const std::string& clipPath, const std::string& name,
                int percent) {
    std::vector<uint8_t> bytes = fileBytes(clipPath);
    bytes.resize(bytes.size() * percent / 100);
    writeFile(dir / name, bytes);
    return dir / name;
}

std::string h264Clip() {
    return clip("plain-h264.mp4", {"-f", "lavfi", "-i", "testsrc2=s=320x240:r=25:d=1", "-c:v",
                                   "libx264", "-movflags", "+faststart"});
}

ClipInfo smallClip() {
    ClipInfo info;
    info.width = 64;
    info.height = 48;
    info.scan = Scan::TopFirst;
    info.frames = 1;
    return info;
}

}  // namespace

TEST(BadInput, MissingFile) {
    const std::string why = readError("/nonexistent/clip.mp4");
    EXPECT_NE(why.find("cannot open '/nonexistent/clip.mp4'"), std::string::npos) << why;
    EXPECT_NE(why.find("No such file or directory"), std::string::npos) << why;
}

TEST(BadInput, BytesThatAreNoVideo) {
    ScratchDir dir;
    std::vector<uint8_t> junk(4096);
    for (std::size_t i = 0; i < junk.size(); ++i) junk[i] = uint8_t(i * 7919 % 251);
    writeFile(dir / "junk.mp4", junk);
    const std::string why = readError(dir / "junk.mp4");
    EXPECT_NE(why.find("cannot open '" + dir / "junk.mp4" + "'"), std::string::npos) << why;
}

TEST(BadInput, AudioWithoutVideo) {
    const std::string path = clip("tone.wav", tone());
    const std::string why = readError(path);
    EXPECT_NE(why.find("has no video stream"), std::string::npos) << why;
}

TEST(BadInput, Mp4CutShortWithItsIndexAtTheEnd) {
    ScratchDir dir;
    const std::string path = cut(dir, h264Pattern("yuv420p", "tt", "mp4"), "cut.mp4", 60);
    const std::string why = readError(path);
    EXPECT_NE(why.find("cannot open '" + path + "'"), std::string::npos) << why;
    EXPECT_NE(why.find("moov atom not found"), std::string::npos) << why;
}

TEST(BadInput, Mp4CutShortWithItsIndexAtTheStart) {
    ScratchDir dir;
    const std::string path = cut(dir, h264Clip(), "cut.mp4", 60);
    const std::string why = readError(path);
    EXPECT_NE(why.find("'" + path + "' is truncated or damaged at frame"), std::string::npos)
        << why;
}

TEST(BadInput, MatroskaCutShort) {
    ScratchDir dir;
    const std::string path = cut(dir, h264Pattern("yuv422p", "bb", "mkv"), "cut.mkv", 60);
    const std::string why = readError(path);
    EXPECT_NE(why.find("'" + path + "'"), std::string::npos) << why;
    EXPECT_NE(why.find("truncated"), std::string::npos) << why;
}

// A frame count stated beyond what the file can hold is refused at opening,
// before anything is sized by it (it took every byte of memory).
TEST(BadInput, Mp4StatingMoreFramesThanItsBytesHold) {
    ScratchDir dir;
    std::vector<uint8_t> bytes = fileBytes(h264Clip());
    const uint8_t stts[] = {'s', 't', 't', 's'};
    const auto at = std::search(bytes.begin(), bytes.end(), std::begin(stts), std::end(stts));
    ASSERT_NE(at, bytes.end());
    // Its first entry's sample count: after the version, flags and entry count.
    std::fill(at + 12, at + 16, uint8_t(0x7f));
    writeFile(dir / "lying.mp4", bytes);
    const std::string why = readError(dir / "lying.mp4");
    EXPECT_NE(why.find("'" + dir / "lying.mp4" + "' states 2139062"), std::string::npos) << why;
    EXPECT_NE(why.find("its frame count is damaged"), std::string::npos) << why;
}

TEST(BadInput, DamagedH264) {
    ScratchDir dir;
    std::vector<uint8_t> bytes = fileBytes(h264Clip());
    for (std::size_t i = bytes.size() / 2; i < bytes.size() / 2 + 2000; ++i)
        bytes[i] = uint8_t(i * 131 % 256);
    writeFile(dir / "damaged.mp4", bytes);
    const std::string why = readError(dir / "damaged.mp4");
    EXPECT_NE(why.find("'" + dir / "damaged.mp4" + "' is damaged"), std::string::npos) << why;
}

TEST(BadOutput, UnsupportedNameLeavesNothing) {
    ScratchDir dir;
    try {
        VideoOutput out(dir / "out.gif", smallClip(), {});
        FAIL() << "no error";
    } catch (const VideoError& e) {
        EXPECT_NE(std::string(e.what()).find("unsupported output type"), std::string::npos);
    }
    EXPECT_TRUE(dir.entries().empty());
}

TEST(BadOutput, UnwritablePlaceLeavesNothing) {
    ScratchDir dir;
    writeFile(dir / "file", {1});
    try {
        VideoOutput out(dir / "file/out.mp4", smallClip(), {});
        FAIL() << "no error";
    } catch (const VideoError& e) {
        EXPECT_NE(std::string(e.what()).find(dir / "file/out.mp4"), std::string::npos)
            << e.what();
    }
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"file"});
    EXPECT_THROW(VideoOutput(dir / "/nonexistent-dir/out.mkv", smallClip(), {}), VideoError);
}

TEST(BadOutput, ExistingFileIsKeptUnlessReplacing) {
    ScratchDir dir;
    writeFile(dir / "out.mkv", {1, 2, 3});
    try {
        VideoOutput out(dir / "out.mkv", smallClip(), {});
        FAIL() << "no error";
    } catch (const VideoError& e) {
        EXPECT_NE(std::string(e.what()).find("exists"), std::string::npos) << e.what();
    }
    EXPECT_EQ(fileBytes(dir / "out.mkv"), (std::vector<uint8_t>{1, 2, 3}));
    OutputOptions replace;
    replace.replace = true;
    {
        VideoOutput out(dir / "out.mkv", smallClip(), replace);
        Field f(64, 24);
        out.write(f, f, 0);
        out.finish();
    }
    EXPECT_GT(fileBytes(dir / "out.mkv").size(), 3u);
    EXPECT_EQ(dir.entries().size(), 1u);
}

TEST(BadOutput, UnfinishedOutputLeavesNothing) {
    ScratchDir dir;
    {
        VideoOutput out(dir / "out.mp4", smallClip(), {});
        Field f(64, 24);
        for (int k = 0; k < 3; ++k) out.write(f, f, k);
        EXPECT_EQ(dir.entries().size(), 1u);  // the temporary file
    }
    EXPECT_TRUE(dir.entries().empty());
}

TEST(BadOutput, RenderFailingOnItsInputLeavesNoOutput) {
    ScratchDir dir;
    const std::string input = cut(dir, h264Clip(), "cut.mp4", 70);
    try {
        auto source = openSource(input);
        VideoOutput out(dir / "out.mkv", source->info(), {});
        Frame f;
        while (source->read(f)) out.write(f.first, f.second, f.pts);
        out.finish();
        FAIL() << "no error";
    } catch (const VideoError&) {
    }
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"cut.mp4"});
}

TEST(BadOutput, FieldsOfTheWrongSize) {
    ScratchDir dir;
    VideoOutput out(dir / "out.mkv", smallClip(), {});
    Field f(64, 24), g(32, 24);
    try {
        out.write(f, g, 0);
        FAIL() << "no error";
    } catch (const VideoError& e) {
        EXPECT_NE(std::string(e.what()).find("32x24"), std::string::npos) << e.what();
    }
}
