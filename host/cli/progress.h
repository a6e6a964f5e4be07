// A progress bar for a render on a terminal: fields done, fields per second
// and the time left, redrawn in place at most ten times a second. Silent when
// the stream is not a terminal or the user asked for quiet.
#ifndef FIELDFX_CLI_PROGRESS_H
#define FIELDFX_CLI_PROGRESS_H

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

namespace fieldfx::cli {

class Progress {
public:
    using Clock = std::function<double()>;  // seconds from any fixed point

    // A bar for `total` fields on `out`, drawn only when `enabled`.
    Progress(std::FILE* out, int64_t total, bool enabled, Clock clock = steadySeconds);
    // Ends a bar left unfinished (a failed render) with a line break, so
    // that what follows starts on its own line.
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Whether a bar belongs on `out`: a terminal (not "dumb") and not quiet.
    static bool wanted(std::FILE* out, bool quiet);
    static double steadySeconds();

    // Lines for a log instead of a bar (on any stream, not only a
    // terminal): "progress: 40/80 fields (50%)" whenever the percentage
    // changes, at most one a second, and at the end.
    void writeLines() { lines_ = out_ != nullptr; }

    void update(int64_t done);
    // Draws the final state and ends the line.
    void finish();

    // The text of the bar after `done` fields in `elapsed` seconds, e.g.
    // "[=========>          ]  40/80 fields  20.0 fields/s  0:02 left".
    std::string line(int64_t done, double elapsed) const;

private:
    void draw(int64_t done, double now, bool last);

    std::FILE* out_;
    int64_t total_;
    bool enabled_;
    Clock clock_;
    double start_;
    double lastDraw_ = -1.0;
    std::size_t lastLength_ = 0;
    bool finished_ = false;
    bool lines_ = false;
    int lastPercent_ = -1;
};

// m:ss, or h:mm:ss from an hour on; seconds rounded up.
std::string formatDuration(double seconds);

}  // namespace fieldfx::cli

#endif
