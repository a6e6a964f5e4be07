// Bad command lines and bad files: a clear message on stderr, the documented
// exit status, and no output file left behind.
#include <gtest/gtest.h>

#include "cli_run.h"

using namespace clitest;

namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class Errors : public ::testing::Test {
protected:
    void SetUp() override {
        dir = tempDir("errors");
        writePam(dir + "/a.pam", {testhost::patternField(16, 8, 1), testhost::patternField(16, 8, 2)});
        writePam(dir + "/b.pam", {testhost::patternField(16, 8, 3), testhost::patternField(16, 8, 4)});
    }
    // Runs a command that must fail with `status` and leave `dir` as it was.
    Result failing(const std::string& args, int status) {
        const std::vector<std::string> before = listDir(dir);
        Result r = fieldfx(args);
        EXPECT_EQ(r.status, status) << args << "\n" << r.err;
        EXPECT_EQ(listDir(dir), before) << args;
        EXPECT_EQ(r.out, "") << args;
        return r;
    }
    std::string dir;
};

TEST_F(Errors, UnknownOperatorListsTheKnownOnes) {
    const Result r = failing("render Nope -i " + dir + "/a.pam -o " + dir + "/o.pam", 2);
    EXPECT_TRUE(contains(r.err, "fieldfx render: error: unknown operator \"Nope\"; known operators: "))
        << r.err;
    for (const std::string& op : testhost::builtOperators()) EXPECT_TRUE(contains(r.err, op)) << op;
    const std::string known = r.err.substr(r.err.find("known operators: "));
    EXPECT_EQ(failing("describe Nope", 2).err,
              "fieldfx describe: error: unknown operator \"Nope\"; " + known);
}

TEST_F(Errors, UnknownParameterListsTheParameters) {
    const Result r = failing("apply Flicker --field " + dir + "/a.pam --field " + dir +
                                 "/b.pam -o " + dir + "/o.pam --position 0 --duration 2 --set speed=3",
                             2);
    EXPECT_EQ(r.err,
              "fieldfx apply: error: Flicker has no parameter \"speed\"; its parameters: Start, Block\n");
}

TEST_F(Errors, OutOfRangeAndMalformedValuesNameParameterValueAndRange) {
    const std::string base = "render Flicker -i " + dir + "/a.pam -i " + dir + "/b.pam -o " + dir + "/o.pam ";
    EXPECT_EQ(failing(base + "--set block=0", 2).err,
              "fieldfx render: error: Block=0: out of range (allowed: 1..100)\n");
    EXPECT_EQ(failing(base + "--set block=many", 2).err,
              "fieldfx render: error: Block=many: not an integer (allowed: 1..100)\n");
    EXPECT_EQ(failing(base + "--set start=sideways", 2).err,
              "fieldfx render: error: Start=sideways: not a value or entry (allowed: 0..1 or "
              "Outgoing, Incoming)\n");
    EXPECT_EQ(failing(base + "--set block", 2).err,
              "fieldfx render: error: --set block: expected name=value\n");
    EXPECT_EQ(failing(base + "--active 0,0,17,8", 2).err,
              "fieldfx render: error: --active 0,0,17,8: reaches outside the 16x8 field\n");
    EXPECT_EQ(failing(base + "--pixel-aspect 0", 2).err,
              "fieldfx render: error: --pixel-aspect 0: expected the pixel aspect x 1000, 1..32767\n");
    EXPECT_EQ(failing(base + "--scale 1/0", 2).err,
              "fieldfx render: error: --scale 1/0: expected N/D, each a whole number 1..32767\n");
    EXPECT_EQ(failing(base + "--field-order upper", 2).err,
              "fieldfx render: error: --field-order upper: expected tff, bff or progressive\n");
    EXPECT_EQ(failing(base + "--duration 2", 2).err,
              "fieldfx render: error: --duration 2: 2 frames need 4 fields, the inputs have 2 "
              "from the start\n");
    EXPECT_EQ(failing(base + "--rate 30000/1001 --duration 1s", 2).err,
              "fieldfx render: error: --duration 1s: 30 frames need 60 fields, the inputs have 2 "
              "from the start\n");
    EXPECT_EQ(failing(base + "--rate 25/0", 2).err,
              "fieldfx render: error: --rate 25/0: expected frames a second, e.g. 25\n");
    EXPECT_EQ(failing(base + "--start 1s", 2).err,
              "fieldfx render: error: --start 1s: seconds need a frame rate (--rate)\n");
    EXPECT_EQ(failing(base + "--bogus", 2).err, "fieldfx render: error: unknown option --bogus\n");
}

TEST_F(Errors, TruncatedPamIsAnInputError) {
    std::string bytes = readFile(dir + "/a.pam");
    writeFile(dir + "/cut.pam", bytes.substr(0, bytes.size() - 5));
    const Result r = failing("render Matte -i " + dir + "/cut.pam -o " + dir + "/o.pam", 3);
    EXPECT_EQ(r.err, "fieldfx render: error: " + dir +
                         "/cut.pam: image 2: truncated: 507 of 512 pixel bytes present\n");
}

TEST_F(Errors, MissingInputIsAnInputError) {
    const Result r = failing("render Matte -i " + dir + "/none.pam -o " + dir + "/o.pam", 3);
    EXPECT_EQ(r.err, "fieldfx render: error: " + dir +
                         "/none.pam: cannot open: No such file or directory\n");
    failing("apply Matte --field " + dir + "/none.pam -o " + dir + "/o.pam --position 0 --duration 1", 3);
    failing("render Matte -i " + dir + "/none%04d.png -o " + dir + "/o.pam", 3);
}

TEST_F(Errors, UnwritableOrExistingOutputIsAnOutputError) {
    Result r = failing("render Matte -i " + dir + "/a.pam -o " + dir + "/no/dir/o.pam", 4);
    EXPECT_EQ(r.err, "fieldfx render: error: " + dir +
                         "/no/dir/o.pam: cannot write: No such file or directory\n");
    r = failing("render Matte -i " + dir + "/a.pam -o " + dir + "/b.pam", 4);
    EXPECT_EQ(r.err, "fieldfx render: error: " + dir + "/b.pam: exists (use -y to replace it)\n");
    EXPECT_EQ(readPam(dir + "/b.pam")[0].pixels, testhost::patternField(16, 8, 3).pixels);
    r = fieldfx("render Matte -i " + dir + "/a.pam -o " + dir + "/b.pam -y");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readPam(dir + "/b.pam")[0].pixels, testhost::patternField(16, 8, 1).pixels);
}

TEST_F(Errors, TransitionWithOneInputAndFilterWithTwo) {
    EXPECT_EQ(failing("render Iris -i " + dir + "/a.pam -o " + dir + "/o.pam", 2).err,
              "fieldfx render: error: Iris is a transition: it takes two inputs (-i OUTGOING -i "
              "INCOMING), 1 given\n");
    EXPECT_EQ(failing("apply Iris --field " + dir + "/a.pam -o " + dir +
                          "/o.pam --position 0 --duration 1",
                      2)
                  .err,
              "fieldfx apply: error: Iris is a transition: it takes two --field (input 0, input "
              "1), 1 given\n");
    EXPECT_EQ(failing("render Matte -i " + dir + "/a.pam -i " + dir + "/b.pam -o " + dir + "/o.pam", 2).err,
              "fieldfx render: error: Matte is a filter: it takes one input (-i IN), 2 given\n");
}

TEST_F(Errors, PositionBeyondTheDuration) {
    writePam(dir + "/one.pam", {testhost::patternField(16, 8, 1)});
    const std::string base = "apply Matte --field " + dir + "/one.pam -o " + dir + "/o.pam ";
    EXPECT_EQ(failing(base + "--position 5 --duration 5", 2).err,
              "fieldfx apply: error: --position 5 is beyond the duration: positions run 0..4\n");
    EXPECT_EQ(failing(base + "--position 0 --duration 0", 2).err,
              "fieldfx apply: error: --duration must be at least 1 field\n");
    EXPECT_EQ(failing(base + "--position -1 --duration 3", 2).err,
              "fieldfx apply: error: --position -1: expected a whole number 0..4294967295\n");
    EXPECT_EQ(failing("apply Matte --field " + dir + "/a.pam -o " + dir +
                          "/o.pam --position 0 --duration 1",
                      3)
                  .err,
              "fieldfx apply: error: " + dir +
                  "/a.pam: holds 2 images; --field takes a file of one field\n");
}

TEST_F(Errors, UnknownCommandAndMissingArguments) {
    Result r = fieldfx("frobnicate");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(r.err, "unknown command \"frobnicate\"")) << r.err;
    r = fieldfx("");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(contains(r.err, "usage: fieldfx COMMAND")) << r.err;
    EXPECT_EQ(failing("render Matte -i " + dir + "/a.pam", 2).err,
              "fieldfx render: error: no output (-o OUT)\n");
    EXPECT_EQ(failing("describe", 2).err, "fieldfx describe: error: describe takes one operator name\n");
}

// The Probe module (tests/runtime) fails on request: its first slider is the
// mode, 1 fails with a log record at line 42.
TEST_F(Errors, OperatorFailureStopsWithItsLogRecord) {
    const std::string env = std::string("FIELDFX_OPS_PATH=") + FIELDFX_PROBE_DIR;
    const std::vector<std::string> before = listDir(dir);
    Result r = fieldfx("render Probe -i " + dir + "/a.pam -o " + dir + "/o.pam --set param1=1", env);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "fieldfx render: error: Probe produced no field 0; log record: level 4, line 42, "
              "src\\Probe, code 0x0b000000\n");
    r = fieldfx("render Probe -i " + dir + "/a.pam -o " + dir + "/o.pam --set param1=6", env);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "fieldfx render: error: Probe refused to open the effect (result -1) (it left "
                     "no log record)\n");
    EXPECT_EQ(listDir(dir), before);
    // Mode 5 logs a record and still produces every field: a warning each.
    r = fieldfx("render Probe -i " + dir + "/a.pam -o " + dir + "/o.pam --set param1=5", env);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err,
              "fieldfx: warning: Probe field 0: log record: level 4, line 99, src\\Probe, code "
              "0x0b000000\n"
              "fieldfx: warning: Probe field 1: log record: level 4, line 99, src\\Probe, code "
              "0x0b000000\n");
}

TEST(Help, EveryCommandExplainsItself) {
    for (const char* command : {"list", "describe", "render", "apply", "patterns", "generate"}) {
        const Result r = fieldfx(std::string(command) + " --help");
        EXPECT_EQ(r.status, 0) << command;
        EXPECT_EQ(r.out.rfind(std::string("usage: fieldfx ") + command, 0), 0u) << r.out;
    }
    const Result r = fieldfx("--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(contains(r.out, "exit status: 0 done, 1 the operator failed, 2 usage error"));
}

}  // namespace
