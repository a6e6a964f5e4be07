// The progress bar: its text, its pace of redrawing, and silence when it is
// not wanted.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "progress.h"

using namespace fieldfx::cli;

namespace {

// Output captured in memory.
class Capture {
public:
    Capture() : file_(open_memstream(&data_, &size_)) {}
    ~Capture() {
        if (file_) std::fclose(file_);
        std::free(data_);
    }
    std::FILE* file() { return file_; }
    std::string text() {
        std::fflush(file_);
        return std::string(data_, size_);
    }

private:
    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::FILE* file_;
};

}  // namespace

TEST(Progress, LineShowsBarCountsRateAndTimeLeft) {
    Progress p(nullptr, 80, false);
    EXPECT_EQ(p.line(40, 2.0),
              "[===============>              ] 40/80 fields  20.0 fields/s  0:02 left");
    EXPECT_EQ(p.line(0, 0.0), "[                              ]  0/80 fields  --:-- left");
    EXPECT_EQ(p.line(80, 4.0),
              "[==============================] 80/80 fields  20.0 fields/s  done in 0:04");
    EXPECT_EQ(p.line(1, 2.0),
              "[>                             ]  1/80 fields  0.5 fields/s  2:38 left");
}

TEST(Progress, CountsOutsideTheTotalAreHeldToIt) {
    Progress p(nullptr, 10, false);
    EXPECT_EQ(p.line(12, 1.0),
              "[==============================] 10/10 fields  10.0 fields/s  done in 0:01");
    EXPECT_EQ(p.line(-3, 1.0), "[                              ]  0/10 fields  --:-- left");
}

TEST(Progress, DurationsRoundUpToWholeSeconds) {
    EXPECT_EQ(formatDuration(0.0), "0:00");
    EXPECT_EQ(formatDuration(0.2), "0:01");
    EXPECT_EQ(formatDuration(59.5), "1:00");
    EXPECT_EQ(formatDuration(61.0), "1:01");
    EXPECT_EQ(formatDuration(3725.0), "1:02:05");
    EXPECT_EQ(formatDuration(-4.0), "0:00");
}

TEST(Progress, RedrawsAtMostTenTimesASecondAndEndsTheLine) {
    Capture out;
    double now = 100.0;
    {
        Progress p(out.file(), 4, true, [&] { return now; });
        now = 100.5;
        p.update(1);  // drawn
        now = 100.55;
        p.update(2);  // too soon
        now = 100.7;
        p.update(3);  // drawn
        now = 101.0;
        p.finish();
    }
    EXPECT_EQ(out.text(),
              "\r[=======>                      ] 1/4 fields  2.0 fields/s  0:02 left"
              "\r[======================>       ] 3/4 fields  4.3 fields/s  0:01 left"
              "\r[==============================] 4/4 fields  4.0 fields/s  done in 0:01\n");
}

TEST(Progress, ShorterLinesBlankOutTheRestOfTheLongerOne) {
    Capture out;
    double now = 0.0;
    Progress p(out.file(), 100, true, [&] { return now; });
    now = 1.0;
    p.update(50);  // "50.0 fields/s  0:01 left"
    now = 100.0;
    p.update(51);  // "0.5 fields/s  1:37 left": one character shorter
    const std::string text = out.text();
    const std::size_t second = text.rfind('\r');
    EXPECT_EQ(text.size() - second, second);  // both draws the same length
    EXPECT_EQ(text.back(), ' ');
}

TEST(Progress, DisabledBarWritesNothing) {
    Capture out;
    {
        Progress p(out.file(), 10, false, [] { return 0.0; });
        p.update(5);
        p.finish();
    }
    EXPECT_EQ(out.text(), "");
}

TEST(Progress, AbandonedBarEndsItsLine) {
    Capture out;
    double now = 0.0;
    {
        Progress p(out.file(), 10, true, [&] { return now; });
        now = 1.0;
        p.update(5);
    }
    const std::string text = out.text();
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n');
}

TEST(Progress, NotWantedWhenQuietOrNotATerminal) {
    EXPECT_FALSE(Progress::wanted(stderr, true));
    Capture out;
    EXPECT_FALSE(Progress::wanted(out.file(), false));
    EXPECT_FALSE(Progress::wanted(nullptr, false));
}

// Lines for a log (render --progress-lines, which farm-render --status
// reads): one when the percentage changes, at most one a second, whatever
// the stream, and the last at the end.
TEST(Progress, LinesForALogComeWithEachNewPercentageAtMostOnceASecond) {
    Capture out;
    double now = 0.0;
    Progress p(out.file(), 200, false, [&now] { return now; });
    p.writeLines();
    p.update(0);
    now = 0.5;
    p.update(100);  // within the second: left out
    now = 1.5;
    p.update(101);
    now = 3.0;
    p.update(101);  // the same percentage: left out
    p.finish();
    p.update(150);  // after the end: nothing
    EXPECT_EQ(out.text(),
              "progress: 0/200 fields (0%)\n"
              "progress: 101/200 fields (50%)\n"
              "progress: 200/200 fields (100%)\n");
}
