// Damaged video inputs: clips made by ffmpeg, then cut short, with bytes
// flipped or with their header zeroed. A render either refuses the clip
// (exit 3, a message naming it, no output) or, where the damage leaves every
// frame decodable, renders it; it never crashes or leaves a temporary file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>

#include "cli_run.h"

namespace {

using namespace clitest;

enum class Damage { Truncate, Flip, ZeroHeader };

struct Outcome {
    int status;
    std::string err;
    std::vector<std::string> left;  // what the output directory holds afterwards
};

// On one thread, or with the inputs read ahead by a thread of their own.
Outcome renderDamaged(const std::string& dir, const std::string& damaged, int threads) {
    const std::string outDir = dir + "/out";
    mkdir(outDir.c_str(), 0700);
    const Result r = fieldfx("render Matte -q --threads " + std::to_string(threads) + " -i " +
                             damaged + " -o " + outDir + "/o.pam");
    Outcome o{r.status, r.err, listDir(outDir)};
    for (const std::string& name : o.left) std::remove((outDir + "/" + name).c_str());
    rmdir(outDir.c_str());
    return o;
}

TEST(CliDamagedVideo, RefusedWithExit3NamingTheFileOrRenderedWhole) {
    const std::string dir = tempDir("damaged");
    struct Clip {
        const char* name;
        const char* codec;
    };
    std::mt19937 random(20261209);
    for (const Clip& c : {Clip{"clip.mp4", "-c:v libx264 -pix_fmt yuv420p"},
                          Clip{"clip.mkv", "-c:v ffv1"}, Clip{"clip.avi", "-c:v mpeg4"}}) {
        const std::string clip = dir + "/" + c.name;
        ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=25 -t 1 " +
                               std::string(c.codec) + " " + clip)
                                  .c_str()),
                  0);
        const std::string original = readFile(clip);
        ASSERT_GT(original.size(), 1000u);
        const std::string damaged = dir + "/damaged-" + c.name;
        for (int i = 0; i < 9; ++i) {
            const auto damage = Damage(i % 3);
            std::string bytes = original;
            if (damage == Damage::Truncate) {
                // Cut within the first 80 %: whole frames are lost.
                bytes.resize(std::uniform_int_distribution<std::size_t>(0, bytes.size() * 4 / 5)(random));
            } else if (damage == Damage::Flip) {
                for (int k = 0; k < 8; ++k) {
                    const std::size_t at =
                        std::uniform_int_distribution<std::size_t>(0, bytes.size() - 1)(random);
                    bytes[at] = char(bytes[at] ^ (1 << (random() % 8)));
                }
            } else {
                std::fill_n(bytes.begin(), 16 << (i % 4), '\0');
            }
            writeFile(damaged, bytes);
            const Outcome o = renderDamaged(dir, damaged, i % 2 ? 3 : 1);
            SCOPED_TRACE(std::string(c.name) + " damage " + std::to_string(i) + ": " + o.err);
            if (damage == Damage::Flip && o.status == 0) {
                EXPECT_EQ(o.left, std::vector<std::string>{"o.pam"});
                continue;  // the flipped bits fell where the decoder cannot tell
            }
            EXPECT_EQ(o.status, 3);
            EXPECT_NE(o.err.find(damaged), std::string::npos);
            EXPECT_EQ(o.left, std::vector<std::string>{});
        }
        std::remove(clip.c_str());
        std::remove(damaged.c_str());
    }
    rmdir(dir.c_str());
}

}  // namespace
