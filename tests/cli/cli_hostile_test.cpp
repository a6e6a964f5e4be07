// The hostile-input matrix: outputs named after inputs, damaged clips and
// hostile option values, each with the exit status it must give. Whatever a
// case does, every input keeps its bytes, and a refused run leaves the
// directory exactly as it was (no output, no temporary file).
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>

#include "cli_run.h"

namespace {

using namespace clitest;

// Every file of `dir` with a checksum of its bytes.
std::map<std::string, std::size_t> snapshot(const std::string& dir) {
    std::map<std::string, std::size_t> files;
    for (const std::string& name : listDir(dir))
        files[name] = std::hash<std::string>{}(readFile(dir + "/" + name));
    return files;
}

uint32_t crc32(const std::string& bytes, std::size_t from, std::size_t count) {
    uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = from; i < from + count; ++i) {
        crc ^= uint8_t(bytes[i]);
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void putBigEndian(std::string& bytes, std::size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = char(v >> (24 - 8 * i));
}

std::string commandOutput(const std::string& command) {
    std::string text;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[256];
        while (std::fgets(buf, sizeof buf, p)) text += buf;
        pclose(p);
    }
    return text;
}

void shell(const std::string& command) {
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

class CliHostile : public ::testing::Test {
protected:
    // The inputs, made once: small clips of every kind a render reads.
    static void SetUpTestSuite() {
        dir_ = new std::string(tempDir("hostile"));
        const std::string d = *dir_;
        const std::string ffmpeg = "ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=25 -t 0.2 ";
        shell(ffmpeg + "-c:v ffv1 " + d + "/in.mkv");
        shell(ffmpeg + "-c:v libx264 -pix_fmt yuv420p " + d + "/in.mp4");
        shell(ffmpeg + "-c:v ffv1 " + d + "/b.mkv");
        shell(ffmpeg + "-pix_fmt yuv444p " + d + "/in.y4m");
        shell(std::string(FIELDFX_CLI) + " render Matte -q --size 64x48 --duration 2 -o " + d +
              "/f.pam");
        shell(std::string(FIELDFX_CLI) + " render Matte -q --size 64x48 --duration 2 -o " + d +
              "/s%04d.png");
        for (const char* part : {"1", "2"})
            shell(std::string(FIELDFX_CLI) + " render Matte -q --size 64x48 --duration 4 --range " +
                  part + "/2 -o " + d + "/seg" + part + ".mkv");
        // A clip with audio, whose segments' join copies it.
        shell("ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=25 -f lavfi -i sine -t 0.2 "
              "-c:v libx264 -pix_fmt yuv420p -c:a aac -shortest " + d + "/av.mp4");
        for (const char* part : {"1", "2"})
            shell(std::string(FIELDFX_CLI) + " render Matte -q -i " + d + "/av.mp4 --range " + part +
                  "/2 -o " + d + "/avseg" + part + ".mkv");
        shell("ln " + d + "/in.mkv " + d + "/hardlink.mkv");
        shell("cp " + d + "/in.mkv '" + d + "/seg0:6.mkv'");

        // Damaged copies. A y4m cut inside its last frame; PAM files of one
        // and of three fields; a segment with one byte of its frame flipped.
        const std::string y4m = readFile(d + "/in.y4m");
        writeFile(d + "/cut.y4m", y4m.substr(0, y4m.size() - 100));
        const std::string pam = readFile(d + "/f.pam");
        const std::size_t image = pam.size() / 4;
        writeFile(d + "/one.pam", pam.substr(0, image));
        writeFile(d + "/three.pam", pam.substr(0, 3 * image));
        std::string segment = readFile(d + "/seg1.mkv");
        const std::string packet = commandOutput("ffprobe -v error -select_streams v -show_entries "
                                                 "packet=pos,size -of csv=p=0 " + d + "/seg1.mkv");
        // The second frame's packet.
        const std::string second = packet.substr(packet.find('\n') + 1);
        const std::size_t pos = std::stoul(second), size = std::stoul(second.substr(second.find(',') + 1));
        ASSERT_LT(pos + size, segment.size());
        segment[pos + size / 2] ^= 0x10;
        writeFile(d + "/bad1.mkv", segment);
        // A decompression bomb: a small PNG whose header declares 30000x30000.
        std::string png = readFile(d + "/s0000.png");
        putBigEndian(png, 16, 30000);
        putBigEndian(png, 20, 30000);
        putBigEndian(png, 29, crc32(png, 12, 17));
        writeFile(d + "/bomb.png", png);
    }
    static void TearDownTestSuite() {
        shell("rm -rf " + *dir_);
        delete dir_;
    }

    struct Case {
        const char* what;
        std::string arguments;  // after "fieldfx", with @/ standing for the directory's path
        int status;
        std::vector<const char*> said;  // in the error output
    };

    // Runs each case in the inputs' directory; see the file's comment.
    static void runCases(const std::vector<Case>& cases) {
        const std::string d = *dir_;
        const auto before = snapshot(d);
        for (const Case& c : cases) {
            std::string arguments = c.arguments;
            for (std::size_t at; (at = arguments.find("@/")) != std::string::npos;)
                arguments.replace(at, 1, d);
            const Result r = fieldfx(arguments);
            EXPECT_EQ(r.status, c.status) << c.what << ": " << r.err;
            for (const char* text : c.said)
                EXPECT_NE(r.err.find(text), std::string::npos) << c.what << ": " << r.err;
            // A run that succeeds says nothing on stderr under -q but its warnings.
            if (c.status == 0 && c.said.empty()) EXPECT_EQ(r.err, "") << c.what;
            const auto after = snapshot(d);
            if (c.status != 0) {
                EXPECT_EQ(after, before) << c.what << ": the directory changed";
            } else {
                for (const auto& [name, bytes] : before)
                    EXPECT_EQ(after.count(name) ? after.at(name) : 0, bytes)
                        << c.what << ": " << name << " changed";
                for (const auto& entry : after)
                    if (!before.count(entry.first)) std::remove((d + "/" + entry.first).c_str());
            }
        }
    }

    static std::string* dir_;
};

std::string* CliHostile::dir_ = nullptr;

TEST_F(CliHostile, AnOutputNamingAnInputIsRefusedWithOrWithoutYes) {
    runCases({
        {"the same name", "render Heatwave -q -i @/in.mp4 -o @/in.mp4 -y", 4,
         {"in.mp4: is the input"}},
        {"the same name without -y", "render Heatwave -q -i @/in.mkv -o @/in.mkv", 4,
         {"is the input"}},
        {"the same file spelled otherwise", "render Heatwave -q -i @/in.mkv -o @/.//in.mkv -y", 4,
         {".//in.mkv: is the input", "/in.mkv"}},
        {"a hard link to the input", "render Heatwave -q -i @/in.mkv -o @/hardlink.mkv -y", 4,
         {"hardlink.mkv: is the input", "/in.mkv"}},
        {"a transition's second input", "render Glide -q -i @/in.mkv -i @/b.mkv -o @/b.mkv -y", 4,
         {"b.mkv: is the input"}},
        {"a field file", "render Heatwave -q -i @/f.pam -o @/f.pam -y", 4, {"f.pam: is the input"}},
        {"a PNG sequence", "render Heatwave -q -i @/s%04d.png -o @/s%04d.png -y", 4,
         {"s0000.png: is the input"}},
        {"a frame beyond a shorter sequence's end", "render Heatwave -q -i @/s0001.png -o @/s%04d.png -y",
         4, {"s0001.png: is the input"}},
        {"a segment of its own join", "join -q -o @/seg2.mkv @/seg1.mkv @/seg2.mkv -y", 4, {"is the input"}},
        {"the clip whose audio a join copies", "join -q -o @/av.mp4 @/avseg1.mkv @/avseg2.mkv -y", 4,
         {"av.mp4: is the input"}},
        {"a wipe pattern file", "render Glide -q --size 64x48 --duration 2 --pattern @/s0000.png "
         "-o @/s%04d.png -y", 4, {"s0000.png: is the input"}},
        {"a preview sheet over its input", "preview Heatwave -i @/s0000.png -o @/s0000.png -y", 4,
         {"is the input"}},
    });
}

TEST_F(CliHostile, HostileOptionValuesAreUsageErrors) {
    const std::string render = "render Heatwave -q --size 64x48 --duration 2 -o @/o.pam ";
    runCases({
        {"a negative scale", render + "--scale -1/2", 2, {"--scale -1/2: expected N/D, each"}},
        {"a zero scale", render + "--scale 0/1", 2, {"--scale 0/1"}},
        {"an empty codec", render + "--codec ''", 2, {"--codec takes a name"}},
        {"an empty pixel format", render + "--pix-fmt ''", 2, {"--pix-fmt takes a name"}},
        {"no threads", render + "--threads 0", 2, {"--threads 0: expected a whole number 1..256"}},
        {"an empty key in the middle", render + "--set Horizontal=0@0,,10@1", 2, {"an empty entry"}},
        {"a trailing comma after the keys", render + "--set Horizontal=0@0,10@1,", 2,
         {"an empty entry"}},
        {"a fractional key frame", render + "--set Horizontal=0@0,10@1.5", 2,
         {"\"1.5\" is not a whole frame"}},
        {"a network input", "render Heatwave -q -i http://127.0.0.1:9/x.mp4 -o @/o.pam", 3,
         {"input protocol http is not allowed"}},
        {"a concatenation naming other files", "render Heatwave -q -i 'concat:@/in.mkv|/etc/passwd' -o @/o.pam",
         3, {"input protocol concat is not allowed"}},
        {"x265 under --quiet", "render Heatwave -q --size 64x48 --duration 1 --codec libx265 -o @/o.mkv",
         0, {}},
        {"a local file whose name holds a colon", "render Heatwave -q -i '@/seg0:6.mkv' -o @/o.pam", 0,
         {}},
    });
}

TEST_F(CliHostile, DamagedAndShortClipsAreInputErrors) {
    runCases({
        {"a y4m cut inside its last frame", "render Heatwave -q -i @/cut.y4m -o @/o.mkv", 3,
         {"cut.y4m' is truncated: frame 5 is cut short"}},
        {"a PAM of one field", "render Heatwave -q -i @/one.pam -o @/o.mkv", 3,
         {"one.pam holds 1 field; a frame takes two"}},
        {"a PAM of three fields", "render Heatwave -q -i @/three.pam -o @/o.mkv", 0,
         {"three.pam holds an odd number of fields (3 from the start): the last"}},
        {"a segment failing its slice CRC", "render Heatwave -q -i @/bad1.mkv -o @/o.mkv", 3,
         {"bad1.mkv' is damaged: frame 2 fails its check"}},
        {"a PNG declaring 30000x30000", "render Heatwave -q -i @/bomb.png -o @/o.mkv", 3,
         {"bomb.png: bad PNG: image is too large"}},
        {"a damaged segment joined", "join -q -o @/o.mkv @/bad1.mkv @/seg2.mkv", 3,
         {"bad1.mkv' is damaged"}},
        {"a damaged segment copied", "join -q --lossless -o @/o.mkv @/bad1.mkv @/seg2.mkv", 3,
         {"bad1.mkv' is damaged: frame 2 fails its slice CRC"}},
    });
}

TEST(CliHostileInputs, AFifoIsReadOnceAndRenderedWhole) {
    // The input was opened a second time to count its frames, which waits
    // for a writer that is gone.
    const std::string dir = tempDir("fifo");
    ASSERT_EQ(std::system(("ffmpeg -v error -f lavfi -i testsrc=size=64x48:rate=25 -t 0.2 "
                           "-pix_fmt yuv444p " + dir + "/in.y4m").c_str()), 0);
    ASSERT_EQ(mkfifo((dir + "/pipe").c_str(), 0600), 0);
    const std::string command = "timeout 60 sh -c 'cat " + dir + "/in.y4m > " + dir + "/pipe & exec " +
                                FIELDFX_CLI + " render Matte -q -i " + dir + "/pipe -o " + dir +
                                "/o.pam' >/dev/null 2>&1";
    const int raw = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << raw;
    EXPECT_EQ(readPam(dir + "/o.pam").size(), 10u);
    std::system(("rm -rf " + dir).c_str());
}

TEST(CliHostileInputs, AY4mCutShortThroughAPipeIsAnInputError) {
    // A file gives its size, a pipe does not: a named pipe or /dev/stdin read
    // as a stream lost the cut frame and rendered the rest with exit 0.
    const std::string dir = tempDir("pipecut");
    shell("ffmpeg -v error -f lavfi -i testsrc=size=64x48:rate=25 -t 0.2 -pix_fmt yuv444p " + dir +
          "/in.y4m");
    const std::string y4m = readFile(dir + "/in.y4m");
    writeFile(dir + "/cut.y4m", y4m.substr(0, y4m.size() - 100));     // inside the last frame
    writeFile(dir + "/header.y4m", y4m.substr(0, y4m.size() * 3 / 5 + 2));  // anywhere
    ASSERT_EQ(mkfifo((dir + "/pipe").c_str(), 0600), 0);
    const std::string render = std::string(FIELDFX_CLI) + " render Heatwave -q -o " + dir + "/o.mkv -i ";
    struct PipeCase {
        const char* clip;
        std::string command;  // %s: the clip
        int status;
    };
    const std::vector<PipeCase> cases = {
        {"cut.y4m", "cat %s | " + render + "-", 3},
        {"cut.y4m", "cat %s | " + render + "pipe:", 3},
        {"cut.y4m", "cat %s | " + render + "/dev/stdin", 3},
        {"cut.y4m", "cat %s > " + dir + "/pipe & " + render + dir + "/pipe", 3},
        {"header.y4m", "cat %s > " + dir + "/pipe & " + render + dir + "/pipe", 3},
        {"header.y4m", "cat %s | " + render + "/dev/stdin", 3},
        {"in.y4m", "cat %s | " + render + "/dev/stdin", 0},
        {"in.y4m", "cat %s > " + dir + "/pipe & " + render + dir + "/pipe", 0},
    };
    for (const PipeCase& c : cases) {
        std::string command = c.command;
        command.replace(command.find("%s"), 2, dir + "/" + c.clip);
        const int raw = std::system(("timeout 60 sh -c '" + command + "' >/dev/null 2>" + dir +
                                     "/err").c_str());
        const std::string err = readFile(dir + "/err");
        ASSERT_TRUE(WIFEXITED(raw)) << command;
        EXPECT_EQ(WEXITSTATUS(raw), c.status) << command << ": " << err;
        if (c.status == 3) {
            EXPECT_NE(err.find("is truncated: frame"), std::string::npos) << command << ": " << err;
            EXPECT_FALSE(exists(dir + "/o.mkv")) << command;
        }
        std::remove((dir + "/o.mkv").c_str());
    }
    std::system(("rm -rf " + dir).c_str());
}

TEST(CliHostileInputs, ARegularInputIsOpenedOnce) {
    // Counting a clip's frames and copying its audio opened the file again by
    // its name: a file renamed or replaced meanwhile gave frames of another.
    // The kernel counts the opens (inotify), whoever makes them; reads are
    // watched too, since an open following an open with no read between
    // would be merged into one event.
    const std::string dir = tempDir("once");
    const std::string ffmpeg = "ffmpeg -v error -f lavfi -i testsrc=size=64x48:rate=25 ";
    shell(ffmpeg + "-t 0.2 -pix_fmt yuv444p " + dir + "/in.y4m");
    shell(ffmpeg + "-t 0.2 -c:v ffv1 " + dir + "/in.mkv");
    shell(ffmpeg + "-f lavfi -i sine -t 0.2 -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest " + dir +
          "/av.mp4");
    for (const char* input : {"in.y4m", "in.mkv", "av.mp4"}) {
        const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        ASSERT_GE(watch, 0);
        ASSERT_GE(inotify_add_watch(watch, (dir + "/" + input).c_str(), IN_OPEN | IN_ACCESS), 0);
        const Result r = fieldfx("render Heatwave -q -i " + dir + "/" + input + " -o " + dir + "/o.mkv -y");
        EXPECT_EQ(r.status, 0) << input << ": " << r.err;
        int opens = 0;
        alignas(inotify_event) char events[4096];
        for (ssize_t n; (n = read(watch, events, sizeof events)) > 0;)
            for (char* at = events; at < events + n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(at);
                opens += (e->mask & IN_OPEN) != 0;
                at += sizeof(inotify_event) + e->len;
            }
        close(watch);
        EXPECT_EQ(opens, 1) << input << " was opened " << opens << " times";
    }
    std::system(("rm -rf " + dir).c_str());
}

TEST(CliHostileInputs, AStartFarIntoABuiltinClipDrawsNoSkippedFrame) {
    // 20000 frames of 720x576 drawn took about two minutes.
    const std::string dir = tempDir("start");
    const auto begin = std::chrono::steady_clock::now();
    const Result r = fieldfx("render Matte -q -i builtin:motion --start 20000 --duration 1 -o " + dir +
                             "/o.pam");
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_LT(seconds, 10.0);
    std::system(("rm -rf " + dir).c_str());
}

TEST(CliHostileModules, ADamagedModuleIsExit5NamingItAndListGoesOn) {
    const std::string dir = tempDir("modules");
    const std::string module = readFile(testhost::modulePath("Heatwave"));
    ASSERT_GT(module.size(), 4096u);
    const std::string env = "FIELDFX_OPS_PATH=" + dir;
    // Cut short anywhere: refused before the loader maps it.
    for (std::size_t keep : {std::size_t(64), module.size() / 3, module.size() * 2 / 3, module.size() - 1}) {
        writeFile(dir + "/Cut.so", module.substr(0, keep));
        const Result r = fieldfx("render Cut -q --size 64x48 --duration 1 -o " + dir + "/o.pam", env);
        EXPECT_EQ(r.status, 5) << keep << ": " << r.err;
        EXPECT_NE(r.err.find("Cut: damaged module " + dir + "/Cut.so"), std::string::npos) << r.err;
        const Result list = fieldfx("list", env);
        EXPECT_EQ(list.status, 5) << list.err;
        EXPECT_NE(list.out.find("Widescreen"), std::string::npos) << "list stopped: " << list.out;
        EXPECT_NE(list.err.find("Cut: damaged module"), std::string::npos) << list.err;
    }
    // Another operator's module under this name.
    writeFile(dir + "/Matte.so", module);
    const Result renamed = fieldfx("describe Matte", env);
    EXPECT_EQ(renamed.status, 5) << renamed.err;
    EXPECT_NE(renamed.err.find("Matte: " + dir + "/Matte.so is the module of Heatwave"), std::string::npos)
        << renamed.err;
    std::remove((dir + "/Matte.so").c_str());
    // Bytes flipped anywhere: refused, or loaded when the damage is harmless,
    // but fieldfx itself never dies of it.
    for (unsigned seed = 1; seed <= 8; ++seed) {
        std::string bytes = module;
        unsigned state = seed;
        for (int i = 0; i < 20; ++i) {
            state = state * 214013u + 2531011u;
            bytes[(state >> 8) % bytes.size()] ^= char(1 + (state & 0x7f));
        }
        writeFile(dir + "/Flipped.so", bytes);
        const Result r = fieldfx("describe Flipped", env);
        EXPECT_TRUE(r.status == 0 || r.status == 5) << seed << ": status " << r.status << " " << r.err;
    }
    std::system(("rm -rf " + dir).c_str());
}

TEST(CliHostileModules, AMissingOrDamagedServiceLibraryIsExit5NamingIt) {
    // The command line, its libraries and modules copied; then one library
    // removed or cut short. The dynamic loader refused to start the binary
    // (status 127, its own message).
    const std::string dir = tempDir("services");
    const std::string cli = FIELDFX_CLI;
    const std::string build = cli.substr(0, cli.rfind('/')) + "/..";
    shell("mkdir " + dir + "/bin && cp " + cli + " " + dir + "/bin/ && cp -r " + build + "/lib " +
          build + "/ops " + dir + "/");
    auto run = [&](const std::string& arguments) {
        const std::string err = dir + "/err";
        const int raw = std::system(("cd " + dir + " && env -u FIELDFX_OPS_PATH " + dir +
                                     "/bin/fieldfx " + arguments + " >/dev/null 2>" + err).c_str());
        Result r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.err = readFile(err);
        std::remove(err.c_str());
        return r;
    };
    const std::string render = "render Glide -q --size 64x48 --duration 2 -o o.mkv";
    ASSERT_EQ(run(render).status, 0);
    std::remove((dir + "/o.mkv").c_str());

    std::remove((dir + "/lib/libtranshost.so").c_str());
    for (const std::string& arguments : {std::string("list"), render}) {
        const Result r = run(arguments);
        EXPECT_EQ(r.status, 5) << arguments << ": " << r.err;
        EXPECT_NE(r.err.find("cannot load the service library libtranshost.so: cannot open shared "
                             "object file"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("error while loading shared libraries"), std::string::npos) << r.err;
    }
    const std::string fieldhost = readFile(dir + "/lib/libfieldhost.so");
    shell("cp " + build + "/lib/libtranshost.so " + dir + "/lib/");
    // Cut inside its loaded segments (a sanitizer build's debug sections fill
    // the second half of the file, which the loader never maps).
    writeFile(dir + "/lib/libfieldhost.so",
              fieldhost.substr(0, std::min<std::size_t>(fieldhost.size() / 2, 6144)));
    const Result cut = run(render);
    EXPECT_EQ(cut.status, 5) << cut.err;
    EXPECT_NE(cut.err.find("service library libfieldhost.so is damaged: loading it crashed"),
              std::string::npos) << cut.err;
    EXPECT_EQ(cut.err.find("fieldfx: crashed"), std::string::npos) << cut.err;
    EXPECT_FALSE(exists(dir + "/o.mkv"));
    std::system(("rm -rf " + dir).c_str());
}

}  // namespace
