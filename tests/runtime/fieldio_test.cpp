// PAM field sequences, frames split into fields and woven back, numbered
// names, and outputs that appear only when complete.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

#include "fieldfx/fieldio/frames.h"
#include "fieldfx/fieldio/output_file.h"
#include "fieldfx/fieldio/pam.h"
#include "fieldfx/fieldio/sequence.h"

using namespace fieldfx::io;

namespace {

std::string tempDir() {
    char name[] = "/tmp/fieldfx-io-XXXXXX";
    return mkdtemp(name);
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

int filesIn(const std::string& dir) {
    int n = -1;
    FILE* p = popen(("ls -A " + dir + " | wc -l").c_str(), "r");
    if (p != nullptr) {
        if (std::fscanf(p, "%d", &n) != 1) n = -1;
        pclose(p);
    }
    return n;
}

Field counting(int w, int h, int seed) {
    Field f(w, h);
    for (std::size_t i = 0; i < f.pixels.size(); ++i) f.pixels[i] = uint8_t(i + seed);
    return f;
}

const std::string kHeader2x1 = "P7\nWIDTH 2\nHEIGHT 1\nDEPTH 4\nMAXVAL 255\n";

TEST(Pam, WritesTheHeaderAndPixelBytesInMemoryOrder) {
    const std::string dir = tempDir();
    Field f(2, 1);
    f.pixels = {0xFF, 0x80, 0x80, 0x10, 1, 2, 3, 4};
    FILE* out = std::fopen((dir + "/a.pam").c_str(), "wb");
    writePamImage(out, f, "a.pam");
    std::fclose(out);
    EXPECT_EQ(readBytes(dir + "/a.pam"),
              kHeader2x1 + "TUPLTYPE FIELDFX_PIXEL\nENDHDR\n" +
                  std::string("\xFF\x80\x80\x10\x01\x02\x03\x04", 8));
}

TEST(Pam, SequencesRoundTripLosslessly) {
    const std::string dir = tempDir();
    std::vector<Field> fields{counting(5, 3, 0), counting(5, 3, 7), counting(5, 3, 200)};
    FILE* out = std::fopen((dir + "/s.pam").c_str(), "wb");
    for (const Field& f : fields) writePamImage(out, f, "s.pam");
    std::fclose(out);
    const std::vector<Field> back = readPam(dir + "/s.pam");
    ASSERT_EQ(back.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(back[i].width, 5);
        EXPECT_EQ(back[i].height, 3);
        EXPECT_EQ(back[i].pixels, fields[i].pixels);
    }
}

TEST(Pam, ReadsAnyTupleTypeAndComments) {
    const std::string dir = tempDir();
    writeBytes(dir + "/a.pam", "P7\n# made elsewhere\nWIDTH 2\nHEIGHT 1\nDEPTH 4\nMAXVAL 255\n"
                               "TUPLTYPE RGB_ALPHA\nENDHDR\n" +
                                   std::string("ABCDEFGH"));
    const std::vector<Field> f = readPam(dir + "/a.pam");
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(std::string(f[0].pixels.begin(), f[0].pixels.end()), "ABCDEFGH");
}

// Open file descriptors of this process.
int openDescriptors() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d) != nullptr) ++n;
        closedir(d);
    }
    return n;
}

TEST(Pam, MalformedFilesAreRejectedWithTheReasonAndClosed) {
    const std::string dir = tempDir();
    const std::string path = dir + "/bad.pam";
    const struct {
        std::string bytes;
        std::string message;
    } cases[] = {
        {kHeader2x1 + "ENDHDR\nABCDEFG", path + ": image 1: truncated: 7 of 8 pixel bytes present"},
        {kHeader2x1 + "ENDHDR\nABCDEFGH" + kHeader2x1 + "ENDHDR\nABC",
         path + ": image 2: truncated: 3 of 8 pixel bytes present"},
        {kHeader2x1, path + ": image 1: header ends without ENDHDR (truncated)"},
        {"P7\nWIDTH 2\nHEIGHT 1\nDEPTH 3\nMAXVAL 255\nENDHDR\nABCDEF",
         path + ": image 1: DEPTH must be 4 (4-byte pixels)"},
        {"P7\nWIDTH 2\nHEIGHT 1\nDEPTH 4\nMAXVAL 65535\nENDHDR\n",
         path + ": image 1: MAXVAL must be 255"},
        {"P7\nWIDTH 0\nHEIGHT 1\nDEPTH 4\nMAXVAL 255\nENDHDR\n",
         path + ": image 1: size 0x1 outside 1..32767"},
        {"P7\nWIDTH x2\nHEIGHT 1\nDEPTH 4\nMAXVAL 255\nENDHDR\n", path + ": image 1: bad WIDTH \"x2\""},
        {"P6\n2 1\n255\nABCDEF", path + ": not a PAM file (no P7 header)"},
        {"", path + ": empty file, no PAM image"},
        {kHeader2x1 + "ENDHDR\nABCDEFGHjunk",
         path + ": image 2: no P7 header after the previous image (trailing bytes)"},
    };
    const int descriptors = openDescriptors();
    for (const auto& c : cases) {
        writeBytes(path, c.bytes);
        try {
            readPam(path);
            ADD_FAILURE() << "accepted: " << c.message;
        } catch (const IoError& e) {
            EXPECT_EQ(e.what(), c.message);
        }
    }
    EXPECT_EQ(openDescriptors(), descriptors);
    EXPECT_THROW(readPam(dir + "/missing.pam"), IoError);
}

TEST(Frames, SplitTakesEvenLinesToTopAndOddLinesToBottom) {
    const Field frame = counting(2, 4, 0);  // line l starts with byte 8l
    Field top, bottom;
    splitFrame(frame, top, bottom);
    ASSERT_EQ(top.height, 2);
    EXPECT_EQ(top.row(0)[0], 0);
    EXPECT_EQ(top.row(1)[0], 16);
    EXPECT_EQ(bottom.row(0)[0], 8);
    EXPECT_EQ(bottom.row(1)[0], 24);
    Field woven;
    weaveFields(top, bottom, woven);
    EXPECT_EQ(woven.pixels, frame.pixels);
}

TEST(Frames, OddHeightAndMismatchedFieldsAreRejected) {
    Field top, bottom, frame;
    EXPECT_THROW(splitFrame(counting(2, 3, 0), top, bottom), IoError);
    EXPECT_THROW(weaveFields(counting(2, 2, 0), counting(2, 3, 0), frame), IoError);
}

// The line walk every split and weave shares: for each frame height, the
// frame line of every row of the even field, then of the odd field; an odd
// height repeats the odd field's own last line; the weave visits every line
// once, from the row it was split into.
TEST(Frames, FieldRowsAndFrameLinesOfEveryHeight) {
    struct Case {
        int32_t height;
        std::vector<int32_t> even, odd;
    };
    const Case cases[] = {
        {1, {0}, {0}},             {2, {0}, {1}},
        {3, {0, 2}, {1, 1}},       {4, {0, 2}, {1, 3}},
        {5, {0, 2, 4}, {1, 3, 3}}, {6, {0, 2, 4}, {1, 3, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.height);
        EXPECT_EQ(fieldRows(c.height), int32_t(c.even.size()));
        std::vector<int32_t> lines[2];
        forEachFieldRow(c.height, [&](int32_t line, int parity, int32_t row) {
            EXPECT_EQ(row, int32_t(lines[parity].size()));
            lines[parity].push_back(line);
        });
        EXPECT_EQ(lines[0], c.even);
        EXPECT_EQ(lines[1], c.odd);
        int32_t next = 0;
        forEachFrameLine(c.height, [&](int32_t line, int parity, int32_t row) {
            EXPECT_EQ(line, next++);
            EXPECT_EQ((parity ? c.odd : c.even).at(std::size_t(row)), line);
        });
        EXPECT_EQ(next, c.height);
    }
}

TEST(Frames, FieldOrderDecidesWhichFieldInTimeHoldsOddLines) {
    EXPECT_FALSE(holdsOddLines(FieldOrder::TopFirst, 0));
    EXPECT_TRUE(holdsOddLines(FieldOrder::TopFirst, 1));
    EXPECT_TRUE(holdsOddLines(FieldOrder::BottomFirst, 0));
    EXPECT_FALSE(holdsOddLines(FieldOrder::BottomFirst, 1));
}

TEST(NumberedNames, ParseAndFormat) {
    NumberedName n;
    EXPECT_FALSE(NumberedName::parse("clip.png", n));
    ASSERT_TRUE(NumberedName::parse("dir/f%04d.png", n));
    EXPECT_EQ(n.format(7), "dir/f0007.png");
    EXPECT_EQ(n.format(12345), "dir/f12345.png");
    ASSERT_TRUE(NumberedName::parse("f%d.png", n));
    EXPECT_EQ(n.format(42), "f42.png");
    ASSERT_TRUE(NumberedName::parse("f%3d.png", n));
    EXPECT_EQ(n.format(5), "f  5.png");
    EXPECT_THROW(NumberedName::parse("f%s.png", n), IoError);
    EXPECT_THROW(NumberedName::parse("f%d%d.png", n), IoError);
}

TEST(OutputFiles, AppearOnlyWhenCommitted) {
    const std::string dir = tempDir();
    {
        OutputFile out(dir + "/o.pam", false);
        std::fputs("partial", out.stream());
        EXPECT_FALSE(exists(dir + "/o.pam"));
    }  // abandoned: nothing is left behind
    EXPECT_EQ(filesIn(dir), 0);
    {
        OutputFile out(dir + "/o.pam", false);
        std::fputs("whole", out.stream());
        out.commit();
    }
    EXPECT_EQ(readBytes(dir + "/o.pam"), "whole");
    EXPECT_EQ(filesIn(dir), 1);
}

TEST(OutputFiles, ExistingTargetNeedsReplaceAndUnwritableDirectoryFails) {
    const std::string dir = tempDir();
    writeBytes(dir + "/o.pam", "old");
    try {
        OutputFile out(dir + "/o.pam", false);
        FAIL();
    } catch (const IoError& e) {
        EXPECT_EQ(e.what(), dir + "/o.pam: exists (use -y to replace it)");
    }
    {
        OutputFile out(dir + "/o.pam", true);
        std::fputs("new", out.stream());
        out.commit();
    }
    EXPECT_EQ(readBytes(dir + "/o.pam"), "new");
    EXPECT_THROW(OutputFile(dir + "/no/such/dir/o.pam", true), IoError);
}

TEST(OutputFiles, ANameMadeMeanwhileIsNotReplacedWithoutAsking) {
    // Another process creates the target between the check at the start and
    // the rename at the end: without replace, its file stays.
    const std::string dir = tempDir();
    OutputFile out(dir + "/o.pam", false);
    std::fputs("mine", out.stream());
    writeBytes(dir + "/o.pam", "theirs");
    try {
        out.commit();
        FAIL() << "committed over a file made meanwhile";
    } catch (const IoError& e) {
        EXPECT_EQ(e.what(), dir + "/o.pam: exists (use -y to replace it)");
    }
    EXPECT_EQ(readBytes(dir + "/o.pam"), "theirs");
    OutputFile replacing(dir + "/o.pam", true);
    writeBytes(dir + "/o.pam", "again");
    std::fputs("mine", replacing.stream());
    replacing.commit();
    EXPECT_EQ(readBytes(dir + "/o.pam"), "mine");
}

TEST(OutputFiles, ASignalRemovesEveryUnfinishedFileAndNothingCommitted) {
    // More outputs at once than a fixed table would hold (a long PNG
    // sequence); a committed one is not counted as removed.
    const std::string dir = tempDir();
    {
        OutputFile done(dir + "/done.pam", false);
        done.commit();
        std::vector<std::unique_ptr<OutputFile>> open;
        for (int i = 0; i < 100; ++i)
            open.push_back(std::make_unique<OutputFile>(dir + "/o" + std::to_string(i), false));
        EXPECT_EQ(filesIn(dir), 101);
        // In a child, as a signal handler would run it: the names it takes
        // are never freed, as the process ends right after.
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            char first[64] = "?";
            const bool removed = removeUnfinishedOutputs(first, sizeof first) == 100u &&
                                 std::string(first).rfind(dir + "/o", 0) == 0 &&
                                 removeUnfinishedOutputs() == 0u;
            _exit(removed ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        EXPECT_EQ(filesIn(dir), 1);
    }
    EXPECT_EQ(filesIn(dir), 1);
}

TEST(OutputFiles, AnInputIsNeverATargetUnderAnyName) {
    const std::string dir = tempDir();
    writeBytes(dir + "/in.pam", "input");
    ASSERT_EQ(link((dir + "/in.pam").c_str(), (dir + "/other.pam").c_str()), 0);
    noteInputFile(dir + "/in.pam");
    for (const std::string& target : {dir + "/in.pam", dir + "/.//in.pam", dir + "/other.pam"})
        for (bool replace : {false, true}) {
            try {
                OutputFile out(target, replace);
                FAIL() << target;
            } catch (const IoError& e) {
                EXPECT_EQ(e.what(), target + ": is the input " + dir +
                                        "/in.pam (an output never replaces an input, -y or not)");
            }
        }
    // Nor one made the input's name after the output began.
    OutputFile late(dir + "/late.pam", true);
    ASSERT_EQ(link((dir + "/in.pam").c_str(), (dir + "/late.pam").c_str()), 0);
    EXPECT_THROW(late.commit(), IoError);
    EXPECT_EQ(readBytes(dir + "/in.pam"), "input");
}

TEST(Clips, PamClipServesFieldsInTimeOrder) {
    const std::string dir = tempDir();
    {
        auto w = ClipWriter::create(dir + "/c.pam", FieldOrder::TopFirst, 3, false);
        for (int i = 0; i < 3; ++i) w->put(counting(3, 2, 10 * i));
        w->commit();
    }
    auto clip = ClipReader::open(dir + "/c.pam", FieldOrder::BottomFirst);
    ASSERT_EQ(clip->fieldCount(), 3u);
    EXPECT_EQ(clip->fieldWidth(), 3);
    EXPECT_EQ(clip->fieldHeight(), 2);
    EXPECT_EQ(clip->field(2).pixels, counting(3, 2, 20).pixels);
    EXPECT_EQ(clip->field(0).pixels, counting(3, 2, 0).pixels);
}

TEST(Clips, PamClipOfMixedSizesIsRejected) {
    const std::string dir = tempDir();
    FILE* out = std::fopen((dir + "/m.pam").c_str(), "wb");
    writePamImage(out, counting(3, 2, 0), "m.pam");
    writePamImage(out, counting(2, 2, 0), "m.pam");
    std::fclose(out);
    EXPECT_THROW(ClipReader::open(dir + "/m.pam", FieldOrder::TopFirst), IoError);
}

TEST(Clips, PngWriterNeedsWholeFramesAndANumberedNameForMany) {
    const std::string dir = tempDir();
    EXPECT_THROW(ClipWriter::create(dir + "/a.png", FieldOrder::TopFirst, 3, false), IoError);
    EXPECT_THROW(ClipWriter::create(dir + "/a.png", FieldOrder::TopFirst, 4, false), IoError);
    EXPECT_THROW(ClipWriter::create(dir + "/a.txt", FieldOrder::TopFirst, 2, false), IoError);
    EXPECT_EQ(filesIn(dir), 0);
}

TEST(Clips, ASequenceOverALongerOneLeavesNoStaleFrames) {
    const std::string dir = tempDir();
    for (const char* name : {"f0003.png", "f0004.png", "f0006.png"}) writeBytes(dir + "/" + name, "old");
    // Frames 3 and 4 would follow the new frames 0..2: refused without -y,
    // removed with it (6 is no part of the sequence).
    EXPECT_THROW(ClipWriter::create(dir + "/f%04d.png", FieldOrder::TopFirst, 6, false), IoError);
    EXPECT_EQ(filesIn(dir), 3);
    auto w = ClipWriter::create(dir + "/f%04d.png", FieldOrder::TopFirst, 6, true);
    for (int i = 0; i < 6; ++i) w->put(counting(3, 2, i));
    w->commit();
    EXPECT_TRUE(exists(dir + "/f0002.png"));
    EXPECT_FALSE(exists(dir + "/f0003.png"));
    EXPECT_FALSE(exists(dir + "/f0004.png"));
    EXPECT_TRUE(exists(dir + "/f0006.png"));
}

TEST(Clips, ExistingFrameOfASequenceIsNotReplacedWithoutAsking) {
    const std::string dir = tempDir();
    writeBytes(dir + "/f0001.png", "old");
    EXPECT_THROW(ClipWriter::create(dir + "/f%04d.png", FieldOrder::TopFirst, 4, false), IoError);
    EXPECT_EQ(filesIn(dir), 1);
    EXPECT_EQ(readBytes(dir + "/f0001.png"), "old");
}

}  // namespace
