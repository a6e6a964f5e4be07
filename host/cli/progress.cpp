#include "progress.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace fieldfx::cli {

namespace {
constexpr int kBarWidth = 30;
constexpr double kRedrawInterval = 0.1;
}  // namespace

Progress::Progress(std::FILE* out, int64_t total, bool enabled, Clock clock)
    : out_(out), total_(total < 0 ? 0 : total), enabled_(enabled && out != nullptr),
      clock_(std::move(clock)), start_(clock_()) {}

Progress::~Progress() {
    if (enabled_ && !finished_ && lastDraw_ >= 0.0) {
        std::fputc('\n', out_);
        std::fflush(out_);
    }
}

bool Progress::wanted(std::FILE* out, bool quiet) {
    if (quiet || out == nullptr || !isatty(fileno(out))) return false;
    const char* term = std::getenv("TERM");
    return term == nullptr || std::strcmp(term, "dumb") != 0;
}

double Progress::steadySeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

std::string formatDuration(double seconds) {
    const long s = seconds <= 0.0 ? 0 : long(std::ceil(seconds));
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

std::string Progress::line(int64_t done, double elapsed) const {
    if (done > total_) done = total_;
    if (done < 0) done = 0;
    std::string bar(kBarWidth, ' ');
    const int filled = total_ > 0 ? int(done * kBarWidth / total_) : kBarWidth;
    for (int i = 0; i < filled; ++i) bar[i] = '=';
    if (filled < kBarWidth && done > 0) bar[filled] = '>';

    const int digits = int(std::to_string(total_).size());
    char counts[64];
    std::snprintf(counts, sizeof counts, "%*lld/%lld fields", digits, (long long)done,
                  (long long)total_);
    std::string text = "[" + bar + "] " + counts;
    if (done > 0 && elapsed > 0.0) {
        const double rate = double(done) / elapsed;
        char speed[48];
        std::snprintf(speed, sizeof speed, "  %.1f fields/s", rate);
        text += speed;
        text += done >= total_ ? "  done in " + formatDuration(elapsed)
                               : "  " + formatDuration(double(total_ - done) / rate) + " left";
    } else {
        text += "  --:-- left";
    }
    return text;
}

void Progress::draw(int64_t done, double now, bool last) {
    std::string text = line(done, now - start_);
    const std::size_t length = text.size();
    // Blank out what a longer previous line left behind.
    if (length < lastLength_) text.append(lastLength_ - length, ' ');
    lastLength_ = length;
    std::fprintf(out_, "\r%s%s", text.c_str(), last ? "\n" : "");
    std::fflush(out_);
    lastDraw_ = now;
}

void Progress::update(int64_t done) {
    if (lines_ && !finished_) {
        const int percent = total_ > 0 ? int(std::min(done, total_) * 100 / total_) : 100;
        const double now = clock_();
        if (percent != lastPercent_ && (lastDraw_ < 0.0 || now - lastDraw_ >= 1.0)) {
            std::fprintf(out_, "progress: %lld/%lld fields (%d%%)\n", (long long)done,
                         (long long)total_, percent);
            std::fflush(out_);
            lastPercent_ = percent;
            lastDraw_ = now;
        }
        return;
    }
    if (!enabled_ || finished_) return;
    const double now = clock_();
    if (lastDraw_ >= 0.0 && now - lastDraw_ < kRedrawInterval && done < total_) return;
    draw(done, now, false);
}

void Progress::finish() {
    if (lines_ && !finished_) {
        finished_ = true;
        std::fprintf(out_, "progress: %lld/%lld fields (100%%)\n", (long long)total_,
                     (long long)total_);
        std::fflush(out_);
        return;
    }
    if (!enabled_ || finished_) return;
    finished_ = true;
    draw(total_, clock_(), true);
}

}  // namespace fieldfx::cli
