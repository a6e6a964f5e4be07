// The plug-ins inside the real programs: ffmpeg's frei0r filter, melt and
// gst-launch-1.0, against `fieldfx render` of the same clips. The clips are
// 96x64 R'G'B' frames made by ffmpeg; frames are compared as raw RGBA.
// Where the host's 8-bit output meets the command line's 16-bit PNGs the
// comparison is a PSNR bound: 40 dB (measured: 52 to 69 dB; a frame out of
// place gives below 30).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kW = 96, kH = 64, kFrame = kW * kH * 4;
constexpr double kBound = 40.0;

const std::string kFx = FIELDFX_TEST_CLI;
const std::string kEnv = "FREI0R_PATH=" FIELDFX_TEST_FREI0R_DIR " ";
// melt, started while another melt starts, now and then hangs before its first
// frame (seen with two test processes at once): one melt at a time on the
// machine, and a hang is stopped instead of stalling the suite (runMelt).
const std::string kMelt = "flock /tmp/fieldfx-test-melt.lock timeout -k 5 60 melt ";

std::string dir() {
    static const std::string d = [] {
        char name[] = "/tmp/fieldfx-frei0r-XXXXXX";
        return std::string(mkdtemp(name) ? name : "/tmp");
    }();
    return d;
}

int sh(const std::string& command) {
    return std::system(("cd " + dir() + " && " + command + " >>log 2>&1").c_str());
}

std::vector<std::string> frames(const std::string& rawFile) {
    std::ifstream in(dir() + "/" + rawFile, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    const std::string all = s.str();
    std::vector<std::string> out;
    for (std::size_t at = 0; at + kFrame <= all.size(); at += kFrame) out.push_back(all.substr(at, kFrame));
    return out;
}

double psnr(const std::string& a, const std::string& b) {
    double sum = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const double d = double(uint8_t(a[i])) - double(uint8_t(b[i]));
        sum += d * d;
    }
    return sum == 0.0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 * a.size() / sum);
}

// Clips a (moving test pattern) and b (bars), ten frames each, as numbered
// PNGs for fieldfx and ffmpeg, lossless .mov for melt, raw for comparison;
// and a melt profile of their size.
class Hosts : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const std::string size = "size=96x64:rate=25";
        ASSERT_EQ(sh("ffmpeg -v error -f lavfi -i testsrc2=" + size +
                     " -frames:v 10 -pix_fmt rgba a%03d.png"), 0);
        ASSERT_EQ(sh("ffmpeg -v error -f lavfi -i smptebars=" + size +
                     " -frames:v 10 -pix_fmt rgba b%03d.png"), 0);
        for (const char* c : {"a", "b"}) {
            const std::string n = c;
            ASSERT_EQ(sh("ffmpeg -v error -i " + n + "%03d.png -c:v png " + n + ".mov"), 0);
            ASSERT_EQ(sh("ffmpeg -v error -i " + n + "%03d.png -f rawvideo -pix_fmt rgba " + n + ".rgba"), 0);
        }
        // melt needs the description line.
        std::ofstream(dir() + "/profile") << "description=fieldfx test\nframe_rate_num=25\nframe_rate_den=1\nwidth=96\n"
                                             "height=64\nprogressive=1\nsample_aspect_num=1\n"
                                             "sample_aspect_den=1\ndisplay_aspect_num=3\n"
                                             "display_aspect_den=2\ncolorspace=601\n";
    }

    // `fieldfx render` into raw frames.
    static std::vector<std::string> render(const std::string& arguments, const std::string& out) {
        EXPECT_EQ(sh(kFx + " render " + arguments + " -o " + out + "%04d.png -y -q"), 0);
        EXPECT_EQ(sh("ffmpeg -v error -y -i " + out + "%04d.png -f rawvideo -pix_fmt rgba " + out + ".rgba"), 0);
        return frames(out + ".rgba");
    }

    // Runs melt writing `file`. On a loaded machine melt now and then exits
    // with success having written nothing, or stalls before its first frame
    // (stopped by the timeout): such a run is repeated, twice at most, with
    // what it printed shown, and only a third failure fails the test (on a
    // machine busy with other work, about one run of these tests in 25
    // needed a repeat). Output that is there is never retried: its bytes are
    // what the tests compare.
    static void runMelt(const std::string& arguments, const std::string& file) {
        const std::string path = dir() + "/" + file;
        constexpr int kAttempts = 3;
        for (int attempt = 0; attempt < kAttempts; ++attempt) {
            std::remove(path.c_str());
            std::remove((dir() + "/log").c_str());
            const int status = sh(kEnv + kMelt + "-silent -profile profile " + arguments);
            if (status == 0 && std::ifstream(path, std::ios::ate).tellg() > 0) return;
            std::ifstream log(dir() + "/log");
            std::stringstream s;
            s << log.rdbuf();
            const std::string what = "melt " + arguments + " (status " + std::to_string(status) +
                                     ", " + (status == 0 ? "no output" : "failed") + "):\n" + s.str();
            if (attempt + 1 < kAttempts)
                std::fprintf(stderr, "repeating: %s\n", what.c_str());
            else
                ADD_FAILURE() << what;
        }
    }

    // melt renders every frame (real_time=-1: one thread, no frames dropped
    // on a busy machine).
    static std::vector<std::string> melt(const std::string& graph, const std::string& out) {
        runMelt(graph + " -consumer avformat:" + out + ".rgba f=rawvideo pix_fmt=rgba real_time=-1", out + ".rgba");
        return frames(out + ".rgba");
    }
};

// Settings that change the picture (the defaults of Smudge, Heatwave and
// Swivel leave it alone; Matte has none), given both ways.
struct FilterCase {
    const char* name;
    const char* frei0r;  // ffmpeg's "value|value|..." in the plug-in's order
    const char* sets;    // the same for fieldfx render
};
const FilterCase kFilters[] = {
    {"Matte", "", ""},
    {"Smudge", ":0.5|0.5", "--set position=48,16"},
    {"Heatwave", ":0.1|0.1|0.1|0.1", "--set area=10,3,16,8"},
    {"Drunken", "", ""},
    {"Standbild", "", ""},
    {"Tunnel", "", "--set centre=48,16"},  // the plug-in's centre is the middle
    {"Swivel", ":0.7|1", "--set angle=180 --set edges=border"},
    {"Widescreen", "", ""},
};

TEST_F(Hosts, EveryFilterInFfmpegAgreesWithFieldfxRender) {
    const auto input = frames("a.rgba");
    for (std::size_t i = 1; i < input.size(); ++i) ASSERT_LT(psnr(input[i - 1], input[i]), 30.0);
    for (const FilterCase& c : kFilters) {
        SCOPED_TRACE(c.name);
        std::string lower = c.name;
        for (char& ch : lower) ch = char(std::tolower(static_cast<unsigned char>(ch)));
        ASSERT_EQ(sh(kEnv + "ffmpeg -v error -y -i a%03d.png -vf 'frei0r=fieldfx-" + lower +
                     c.frei0r + "' -f rawvideo -pix_fmt rgba f-" + lower + ".rgba"), 0);
        const auto got = frames("f-" + lower + ".rgba");
        const auto want = render(std::string(c.name) + " -i a%03d.png " + c.sets, "r-" + lower);
        ASSERT_EQ(got.size(), 10u);
        ASSERT_EQ(want.size(), 10u);
        if (lower != "matte") {
            EXPECT_LT(psnr(got[3], input[3]), 40.0);
        }
        for (std::size_t f = 0; f < got.size(); ++f) EXPECT_GE(psnr(got[f], want[f]), kBound) << f;
    }
}

// melt mixes the ten frames of a and b over the mix's span by itself (MLT
// gives the transition its in and out): its frames 0..8 are those of
// `fieldfx render --duration 9`, its last is the span's end. Keyed the same
// way, Progress gives the same frames.
TEST_F(Hosts, EveryTransitionInMelt) {
    const auto incoming = frames("b.rgba");
    for (const char* name : {"Flicker", "Iris", "Burrow", "Telescope", "Glide"}) {
        SCOPED_TRACE(name);
        std::string lower = name;
        for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
        const auto got = melt("a.mov b.mov -mix 10 -mixer frei0r.fieldfx-" + lower, "m-" + lower);
        // The plug-ins' centres default to the middle of the frame.
        const std::string centre = lower == "iris" || lower == "burrow" ? " --set centre=48,16" : "";
        const auto want = render(std::string(name) + " -i a%03d.png -i b%03d.png --duration 9" +
                                     centre,
                                 "t-" + lower);
        ASSERT_EQ(got.size(), 10u);
        for (std::size_t f = 0; f < 9; ++f) EXPECT_GE(psnr(got[f], want[f]), kBound) << f;
        // Burrow's end is its own picture, not the incoming clip.
        if (lower != "burrow") {
            EXPECT_EQ(got[9], incoming[9]);
        }
        EXPECT_EQ(melt("a.mov b.mov -mix 10 -mixer frei0r.fieldfx-" + lower +
                           " \"Progress=0=0;-1=1\"",
                       "k-" + lower),
                  got);
    }
}

// Every plug-in gives the same frames whatever the host's threads: melt
// with one, two and four render threads (an instance on each), and ffmpeg
// with one and four filter threads; a render that seeks into the clip
// (ffmpeg -ss, keeping the timestamps) gives the same frames again.
TEST_F(Hosts, FramesDoNotDependOnTheHostsThreadsOrSeeking) {
    for (const char* name : {"matte", "smudge", "heatwave", "drunken", "standbild", "tunnel",
                             "swivel", "widescreen", "flicker", "iris", "burrow", "telescope",
                             "glide"}) {
        SCOPED_TRACE(name);
        const bool filter = std::string("flicker iris burrow telescope glide").find(name) ==
                            std::string::npos;
        const std::string graph = filter ? "a.mov -filter frei0r.fieldfx-" + std::string(name)
                                         : "a.mov b.mov -mix 10 -mixer frei0r.fieldfx-" +
                                               std::string(name);
        std::vector<std::string> first;
        for (const char* threads : {"-1", "-2", "-4"}) {
            const std::string out = "rt" + std::string(threads) + "-" + name;
            runMelt(graph + " -consumer avformat:" + out + ".rgba f=rawvideo pix_fmt=rgba "
                            "real_time=" + threads, out + ".rgba");
            const auto got = frames(out + ".rgba");
            ASSERT_EQ(got.size(), 10u) << threads;
            if (first.empty()) first = got;
            EXPECT_EQ(got, first) << "real_time=" << threads;
        }
        if (!filter) continue;
        const std::string vf = " -vf frei0r=fieldfx-" + std::string(name) + " -f rawvideo -pix_fmt rgba ";
        ASSERT_EQ(sh(kEnv + "ffmpeg -v error -y -filter_threads 1 -i a%03d.png" + vf + "ft1.rgba"), 0);
        ASSERT_EQ(sh(kEnv + "ffmpeg -v error -y -filter_threads 4 -i a%03d.png" + vf + "ft4.rgba"), 0);
        ASSERT_EQ(sh(kEnv + "ffmpeg -v error -y -copyts -ss 0.2 -i a%03d.png" + vf + "fseek.rgba"), 0);
        const auto whole = frames("ft1.rgba"), seeked = frames("fseek.rgba");
        EXPECT_EQ(frames("ft4.rgba"), whole);
        ASSERT_EQ(whole.size(), 10u);
        ASSERT_EQ(seeked.size(), 5u);
        for (std::size_t f = 0; f < 5; ++f) EXPECT_EQ(seeked[f], whole[f + 5]) << f;
    }
}

// Half and fully transparent clips keep their alpha through every filter in
// ffmpeg and melt (Matte's black and Widescreen's bars are opaque) and
// through a transition in melt.
TEST_F(Hosts, TransparentClipsKeepTheirAlpha) {
    for (const char* a : {"0.5", "0"}) {
        SCOPED_TRACE(a);
        ASSERT_EQ(sh(std::string("ffmpeg -v error -y -f lavfi -i 'testsrc2=size=96x64:rate=25,"
                                 "format=rgba,colorchannelmixer=aa=") + a +
                     "' -frames:v 10 -c:v png t.mov"), 0);
        ASSERT_EQ(sh("ffmpeg -v error -y -f lavfi -i 'smptebars=size=96x64:rate=25,"
                     "format=rgba,colorchannelmixer=aa=" + std::string(a) +
                     "' -frames:v 10 -c:v png u.mov"), 0);
        const uint8_t alpha = std::string(a) == "0" ? 0 : 128;
        auto keeps = [&](const std::string& file, bool opaqueAllowed) {
            const auto got = frames(file);
            ASSERT_EQ(got.size(), 10u) << file;
            for (const std::string& f : got)
                for (std::size_t i = 3; i < f.size(); i += 4)
                    if (!(opaqueAllowed && uint8_t(f[i]) == 255))
                        ASSERT_EQ(uint8_t(f[i]), alpha) << file << " byte " << i;
        };
        for (const char* name : {"matte", "smudge", "heatwave", "drunken", "standbild", "tunnel",
                                 "swivel", "widescreen"}) {
            const std::string n = name;
            const bool opaque = n == "matte" || n == "widescreen";
            ASSERT_EQ(sh(kEnv + "ffmpeg -v error -y -i t.mov -vf frei0r=fieldfx-" + n +
                         " -f rawvideo -pix_fmt rgba fa-" + n + ".rgba"), 0);
            keeps("fa-" + n + ".rgba", opaque);
        }
        for (const char* name : {"drunken", "standbild"}) {
            const std::string n = name;
            runMelt("t.mov -filter frei0r.fieldfx-" + n + " -consumer avformat:ma-" + n +
                        ".rgba f=rawvideo pix_fmt=rgba real_time=-1", "ma-" + n + ".rgba");
            keeps("ma-" + n + ".rgba", false);
        }
        runMelt("t.mov u.mov -mix 10 -mixer frei0r.fieldfx-iris -consumer avformat:mt.rgba "
                "f=rawvideo pix_fmt=rgba real_time=-1", "mt.rgba");
        keeps("mt.rgba", false);
    }
}

// Values no control would give, through the hosts: NaN, infinities,
// numbers far out of range, a colour that is no colour, MLT's in and out
// wrong way round. Every frame still comes, the bad values ignored or
// clamped.
TEST_F(Hosts, BadValuesThroughTheHostsStayDefined) {
    runMelt("a.mov -filter frei0r.fieldfx-swivel Angle=nan Edges=-inf Background=#zz "
            "\"Frame rate=inf\" \"Active width=1e300\" -filter frei0r.fieldfx-heatwave "
            "\"Area X=-7\" \"Area width=nan\" Horizontal=inf -consumer avformat:bad.rgba "
            "f=rawvideo pix_fmt=rgba real_time=-1", "bad.rgba");
    EXPECT_EQ(frames("bad.rgba").size(), 10u);
    runMelt("a.mov b.mov -mix 10 -mixer frei0r.fieldfx-glide Progress=inf Pattern=nan "
            "\"Pattern seed=-1\" Direction=99 -consumer avformat:badmix.rgba f=rawvideo "
            "pix_fmt=rgba real_time=-1", "badmix.rgba");
    EXPECT_EQ(frames("badmix.rgba").size(), 10u);
    runMelt("a.mov b.mov -mix 10 -mixer frei0r.fieldfx-iris in=9 out=2 \"Length=-1\" "
            "-consumer avformat:badspan.rgba f=rawvideo pix_fmt=rgba real_time=-1", "badspan.rgba");
    EXPECT_EQ(frames("badspan.rgba").size(), 10u);
    // FFmpeg itself refuses "inf" and colours it cannot read.
    ASSERT_EQ(sh(kEnv + "ffmpeg -v error -y -i a%03d.png -vf 'frei0r=fieldfx-swivel:nan|1e9' "
                        "-f rawvideo -pix_fmt rgba badf.rgba"), 0);
    EXPECT_EQ(frames("badf.rgba").size(), 10u);
}

// The project of the README, as an editor saves it: a filter on a clip and
// a transition between two, rendered by melt.
TEST_F(Hosts, TheReadmesMeltProjectRenders) {
    // At the test clips' size, so that it stays quick.
    ASSERT_EQ(sh("sed 's/width=\"1920\" height=\"1080\"/width=\"96\" height=\"64\"/' "
                 FIELDFX_TEST_SOURCE_DIR "/docs/fieldfx-project.mlt > fieldfx-project.mlt && "
                 "ffmpeg -v error -y -f lavfi -i testsrc2=size=96x64:rate=25 -frames:v 50 -c:v png "
                 "clip1.mov && ffmpeg -v error -y -f lavfi -i smptebars=size=96x64:rate=25 "
                 "-frames:v 50 -c:v png clip2.mov && ffmpeg -v error -y -i clip2.mov -f rawvideo "
                 "-pix_fmt rgba c2.rgba"), 0);
    runMelt("fieldfx-project.mlt -consumer avformat:project.rgba f=rawvideo pix_fmt=rgba "
            "width=96 height=64 real_time=-1", "project.rgba");
    const auto got = frames("project.rgba");
    ASSERT_EQ(got.size(), 85u);
    // Iris opens onto the second clip where the clips overlap.
    EXPECT_NE(got[42], got[41]);
    EXPECT_EQ(got[60], frames("c2.rgba")[25]);
}

// Two instances in one graph hold their own settings: Swivel twice on a
// track gives what the second gives alone on the first one's output, and so
// do two different filters.
TEST_F(Hosts, FiltersInOneMeltGraphGiveTheBytesEachGivesAlone) {
    for (const auto& [first, second] : {std::pair{"swivel Angle=0.7", "swivel Angle=0.3"},
                                        std::pair{"swivel Angle=0.7", "tunnel"}}) {
        SCOPED_TRACE(first);
        runMelt("a.mov -filter frei0r.fieldfx-" + std::string(first) +
                    " -consumer avformat:alone.mov vcodec=png real_time=-1", "alone.mov");
        const auto chained = melt("alone.mov -filter frei0r.fieldfx-" + std::string(second), "chained");
        const auto together = melt("a.mov -filter frei0r.fieldfx-" + std::string(first) +
                                       " -filter frei0r.fieldfx-" + second,
                                   "together");
        ASSERT_EQ(chained.size(), 10u);
        ASSERT_EQ(together.size(), 10u);
        EXPECT_EQ(together, chained);
        EXPECT_NE(together, frames("a.rgba"));
    }
}

// GStreamer's frei0r element gives the bytes ffmpeg's filter gives.
TEST_F(Hosts, GstreamerRunsAFilter) {
    if (sh(kEnv + "gst-inspect-1.0 frei0r-filter-fieldfx-swivel") != 0)
        GTEST_SKIP() << "GStreamer's frei0r element is not installed";
    ASSERT_EQ(sh(kEnv + "gst-launch-1.0 -q multifilesrc location=a%03d.png start-index=1 "
                        "stop-index=10 caps=image/png,framerate=25/1 ! pngdec ! videoconvert ! "
                        "video/x-raw,format=RGBA ! frei0r-filter-fieldfx-swivel angle=0.7 ! "
                        "filesink location=g.rgba"), 0);
    ASSERT_EQ(sh(kEnv + "ffmpeg -v error -y -i a%03d.png -vf frei0r=fieldfx-swivel:0.7 "
                        "-f rawvideo -pix_fmt rgba g-ffmpeg.rgba"), 0);
    const auto got = frames("g.rgba");
    ASSERT_EQ(got.size(), 10u);
    EXPECT_EQ(got, frames("g-ffmpeg.rgba"));
    EXPECT_NE(got, frames("a.rgba"));
}

}  // namespace
