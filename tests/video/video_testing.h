// Helpers of the video tests: clips made by the ffmpeg program (once per
// build tree, shared by the test processes), scratch directories, and
// comparisons of fields.
#ifndef FIELDFX_TESTS_VIDEO_TESTING_H
#define FIELDFX_TESTS_VIDEO_TESTING_H

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "fieldfx/video/field_reader.h"
#include "fieldfx/video/source.h"

namespace videotest {

namespace fs = std::filesystem;
using fieldfx::video::Field;

// Runs a program with arguments (no shell); returns its exit status.
inline int run(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) < 0) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Every frame of a video file, in order (and its description, when asked).
inline std::vector<fieldfx::video::Frame> readAll(const std::string& path,
                                                  fieldfx::video::ClipInfo* info = nullptr) {
    auto source = fieldfx::video::openSource(path);
    if (info) *info = source->info();
    std::vector<fieldfx::video::Frame> frames;
    fieldfx::video::Frame f;
    while (source->read(f)) frames.push_back(f);
    return frames;
}

struct RunResult {
    int status = -1;
    std::string out, err;
};

// Runs a program with its standard output and error captured.
inline RunResult runCaptured(const std::vector<std::string>& args) {
    char outName[] = "/tmp/fieldfx-run-out-XXXXXX";
    char errName[] = "/tmp/fieldfx-run-err-XXXXXX";
    const int outFd = mkstemp(outName), errFd = mkstemp(errName);
    RunResult result;
    if (outFd < 0 || errFd < 0) return result;
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(outFd, 1);
        dup2(errFd, 2);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) >= 0 && WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    close(outFd);
    close(errFd);
    for (auto [name, text] : {std::pair{outName, &result.out}, {errName, &result.err}}) {
        const std::vector<uint8_t> bytes = [&] {
            std::vector<uint8_t> b;
            if (std::FILE* f = std::fopen(name, "rb")) {
                int c;
                while ((c = std::fgetc(f)) != EOF) b.push_back(uint8_t(c));
                std::fclose(f);
            }
            return b;
        }();
        text->assign(bytes.begin(), bytes.end());
        std::remove(name);
    }
    return result;
}

// A clip in the shared clip directory, made with `ffmpeg -v error -y <args>
// <file>` when it is not there yet (made under a temporary name and renamed,
// so that test processes running at once never see half a file).
inline std::string clip(const std::string& name, const std::vector<std::string>& args) {
    const fs::path dir = FIELDFX_TEST_CLIP_DIR;
    fs::create_directories(dir);
    const fs::path path = dir / name;
    if (fs::exists(path)) return path.string();
    const fs::path temp = dir / ("tmp-" + std::to_string(getpid()) + "-" + name);
    std::vector<std::string> command = {FIELDFX_TEST_FFMPEG, "-v", "error", "-y"};
    command.insert(command.end(), args.begin(), args.end());
    command.push_back(temp.string());
    if (run(command) != 0) throw std::runtime_error("ffmpeg could not make " + name);
    fs::rename(temp, path);
    return path.string();
}

// A fresh directory removed with its contents at the end of the scope.
class ScratchDir {
public:
    ScratchDir() {
        char pattern[] = "/tmp/fieldfx-video-XXXXXX";
        if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    // Names of the entries in the directory.
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(path_)) names.push_back(e.path().filename());
        return names;
    }

private:
    fs::path path_;
};

// Mean of byte lane `lane` over a field.
inline double laneMean(const Field& f, int lane) {
    double sum = 0;
    for (std::size_t i = lane; i < f.pixels.size(); i += 4) sum += f.pixels[i];
    return sum / double(f.pixels.size() / 4);
}

// Largest difference of byte lane `lane` from `value` over a field.
inline int laneDeviation(const Field& f, int lane, int value) {
    int worst = 0;
    for (std::size_t i = lane; i < f.pixels.size(); i += 4)
        worst = std::max(worst, std::abs(int(f.pixels[i]) - value));
    return worst;
}

// Squared error sums of lanes 1..3 of two fields of one size.
struct ErrorSum {
    double squared = 0;
    double samples = 0;
    void add(const Field& a, const Field& b) {
        for (std::size_t i = 0; i < a.pixels.size(); ++i) {
            if (i % 4 == 0) continue;
            const double d = double(a.pixels[i]) - double(b.pixels[i]);
            squared += d * d;
            samples += 1;
        }
    }
    double psnr() const {
        return squared == 0 ? 1e9 : 10.0 * std::log10(255.0 * 255.0 * samples / squared);
    }
};

inline std::vector<uint8_t> fileBytes(const std::string& path) {
    std::vector<uint8_t> bytes;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        int c;
        while ((c = std::fgetc(f)) != EOF) bytes.push_back(uint8_t(c));
        std::fclose(f);
    }
    return bytes;
}

}  // namespace videotest

#endif
