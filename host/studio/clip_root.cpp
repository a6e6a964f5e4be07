#include "fieldfx/studio/clip_root.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <stdexcept>

#include "fieldfx/studio/server.h"

namespace fieldfx::studio {

namespace {

constexpr std::size_t kMaxRelative = 1024;

// realpath(3), or "" when the path does not resolve.
std::string realPath(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : std::string();
}

// Refuses what could name anything but a path below the root: absolute
// paths, empty, "." and ".." steps, control characters.
void checkRelative(const std::string& relative) {
    if (relative.size() > kMaxRelative)
        throw RequestError(403, "clip path too long");
    if (!relative.empty() && relative[0] == '/')
        throw RequestError(403, "\"" + relative + "\": an absolute path (give one below --root)");
    for (char c : relative)
        if (static_cast<unsigned char>(c) < 0x20)
            throw RequestError(403, "clip path with a control character");
    std::size_t from = 0;
    while (!relative.empty() && from <= relative.size()) {
        const std::size_t slash = std::min(relative.find('/', from), relative.size());
        const std::string step = relative.substr(from, slash - from);
        if (step.empty() || step == "." || step == "..")
            throw RequestError(403, "\"" + relative + "\": only plain steps below --root (no \"..\", \".\" or \"//\")");
        from = slash + 1;
    }
}

}  // namespace

ClipRoot::ClipRoot(const std::string& dir) {
    path_ = realPath(dir);
    struct stat st {};
    if (path_.empty() || stat(path_.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw std::runtime_error("--root " + dir + ": not a folder");
}

bool ClipRoot::inside(const std::string& real) const {
    if (real == path_) return true;
    const std::string prefix = path_ == "/" ? path_ : path_ + "/";
    return real.compare(0, prefix.size(), prefix) == 0;
}

std::string ClipRoot::realUnder(const std::string& relative) const {
    checkRelative(relative);
    const std::string real = realPath(relative.empty() ? path_ : path_ + "/" + relative);
    if (real.empty()) throw RequestError(404, "\"" + relative + "\": no such file or folder under --root");
    if (!inside(real)) throw RequestError(403, "\"" + relative + "\" leads out of --root");
    return real;
}

std::vector<ClipRoot::Entry> ClipRoot::list(const std::string& relative) const {
    const std::string real = realUnder(relative);
    struct Close {
        void operator()(DIR* d) const { closedir(d); }
    };
    std::unique_ptr<DIR, Close> dir(opendir(real.c_str()));
    if (!dir) throw RequestError(404, "\"" + relative + "\": not a folder under --root");
    std::vector<Entry> entries;
    while (const dirent* d = readdir(dir.get())) {
        const std::string name = d->d_name;
        if (name.empty() || name[0] == '.') continue;
        const std::string target = realPath(real + "/" + name);
        struct stat st {};
        if (target.empty() || !inside(target) || stat(target.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode))
            entries.push_back({name, true});
        else if (S_ISREG(st.st_mode))
            entries.push_back({name, false});
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return a.folder != b.folder ? a.folder : a.name < b.name;
    });
    if (entries.size() > kMaxEntries) entries.resize(kMaxEntries);
    return entries;
}

std::string ClipRoot::resolve(const std::string& relative) const {
    if (relative.empty()) throw RequestError(403, "an empty clip path");
    const std::string real = realUnder(relative);
    struct stat st {};
    if (stat(real.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        throw RequestError(404, "\"" + relative + "\": not a file under --root");
    return real;
}

}  // namespace fieldfx::studio
