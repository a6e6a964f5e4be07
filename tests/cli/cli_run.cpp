#include "cli_run.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace clitest {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string tempDir(const std::string& tag) {
    std::string pattern = "/tmp/fieldfx-cli-" + tag + "-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) return "/tmp";
    return name.data();
}

std::vector<std::string> listDir(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* e = readdir(d)) {
            const std::string n = e->d_name;
            if (n != "." && n != "..") names.push_back(n);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

Result fieldfx(const std::string& arguments, const std::string& environment) {
    const std::string base = tempDir("run");
    const std::string out = base + "/out", err = base + "/err";
    const std::string command = (environment.empty() ? "" : "env " + environment + " ") +
                                std::string(FIELDFX_CLI) + " " + arguments + " >" + out + " 2>" + err;
    Result r;
    const int raw = std::system(command.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = readFile(out);
    r.err = readFile(err);
    std::remove(out.c_str());
    std::remove(err.c_str());
    rmdir(base.c_str());
    return r;
}

void writePam(const std::string& path, const std::vector<testhost::FieldSpec>& fields) {
    std::string bytes;
    for (const auto& f : fields) {
        bytes += "P7\nWIDTH " + std::to_string(f.width) + "\nHEIGHT " + std::to_string(f.height) +
                 "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
        bytes.append(f.pixels.begin(), f.pixels.end());
    }
    writeFile(path, bytes);
}

std::vector<testhost::FieldSpec> readPam(const std::string& path) {
    const std::string bytes = readFile(path);
    std::vector<testhost::FieldSpec> fields;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::size_t end = bytes.find("ENDHDR\n", at);
        if (end == std::string::npos || bytes.compare(at, 3, "P7\n") != 0) return {};
        const std::string header = bytes.substr(at, end - at);
        int w = 0, h = 0;
        std::istringstream lines(header);
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind("WIDTH ", 0) == 0) w = std::atoi(line.c_str() + 6);
            if (line.rfind("HEIGHT ", 0) == 0) h = std::atoi(line.c_str() + 7);
        }
        if (header.find("DEPTH 4\n") == std::string::npos) return {};
        at = end + 7;
        const std::size_t n = std::size_t(w) * h * 4;
        if (w <= 0 || h <= 0 || bytes.size() - at < n) return {};
        testhost::FieldSpec f = testhost::makeField(w, h);
        std::copy(bytes.begin() + long(at), bytes.begin() + long(at + n), f.pixels.begin());
        fields.push_back(std::move(f));
        at += n;
    }
    return fields;
}

}  // namespace clitest
