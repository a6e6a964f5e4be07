#include "fieldfx/fieldio/output_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

namespace fieldfx::io {

// The temporary files being written, for removal from a signal handler: a
// list that only grows (nodes are never freed, so a handler walking it never
// meets freed memory), each node holding one file's name or null. A handler
// takes a name with an atomic exchange and never frees it (the process
// ends); the owner frees only a name it takes back itself, after its own
// rename or removal. `finished` marks a temporary file that is already a
// second name of the committed target.
struct Unfinished {
    std::atomic<char*> names{nullptr};  // "temporary\0target\0"
    std::atomic<bool> finished{false};
    Unfinished* next = nullptr;
};

namespace {

std::atomic<Unfinished*> unfinishedList{nullptr};
static_assert(std::atomic<char*>::is_always_lock_free);
static_assert(std::atomic<Unfinished*>::is_always_lock_free);

Unfinished* listUnfinished(const std::string& temp, const std::string& target) {
    char* names = static_cast<char*>(std::malloc(temp.size() + target.size() + 2));
    if (names == nullptr) throw IoError(target + ": cannot write: out of memory");
    std::memcpy(names, temp.c_str(), temp.size() + 1);
    std::memcpy(names + temp.size() + 1, target.c_str(), target.size() + 1);
    for (Unfinished* n = unfinishedList.load(); n != nullptr; n = n->next) {
        char* expected = nullptr;
        if (n->names.compare_exchange_strong(expected, names)) {
            n->finished = false;
            return n;
        }
    }
    auto* node = new Unfinished;
    node->names = names;
    node->next = unfinishedList.load();
    while (!unfinishedList.compare_exchange_weak(node->next, node)) {
    }
    return node;
}

void unlistUnfinished(Unfinished* node) {
    if (node != nullptr) std::free(node->names.exchange(nullptr));
}

// The files this process reads, by device and inode: no output is written
// over one of them, whatever it is called.
struct InputFile {
    dev_t device;
    ino_t inode;
    std::string name;
};
std::mutex inputLock;
std::vector<InputFile> inputFiles;

}  // namespace

std::size_t removeUnfinishedOutputs(char* firstTarget, std::size_t size) {
    std::size_t removed = 0;
    for (Unfinished* n = unfinishedList.load(); n != nullptr; n = n->next) {
        char* names = n->names.exchange(nullptr);
        if (names == nullptr || unlink(names) != 0 || n->finished) continue;
        if (removed++ == 0 && size > 0) {
            const char* target = names + std::strlen(names) + 1;
            std::size_t i = 0;
            for (; i + 1 < size && target[i] != '\0'; ++i) firstTarget[i] = target[i];
            firstTarget[i] = '\0';
        }
    }
    return removed;
}

void noteInputFile(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return;
    const std::lock_guard<std::mutex> hold(inputLock);
    for (InputFile& f : inputFiles)
        if (f.device == st.st_dev && f.inode == st.st_ino) {
            f.name = path;  // the name it has now
            return;
        }
    inputFiles.push_back({st.st_dev, st.st_ino, path});
}

void forgetInputFile(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return;
    const std::lock_guard<std::mutex> hold(inputLock);
    std::erase_if(inputFiles, [&](const InputFile& f) {
        return f.device == st.st_dev && f.inode == st.st_ino;
    });
}

void refuseInputTarget(const std::string& target) {
    struct stat st;
    if (stat(target.c_str(), &st) != 0) return;
    const std::lock_guard<std::mutex> hold(inputLock);
    for (const InputFile& f : inputFiles) {
        if (f.device != st.st_dev || f.inode != st.st_ino) continue;
        // An input removed since (a long-lived process) may have left its
        // inode to a new file: only a name that still leads to it counts.
        struct stat now;
        if (stat(f.name.c_str(), &now) == 0 && now.st_dev == f.device && now.st_ino == f.inode)
            throw IoError(target + ": is the input " + f.name +
                          " (an output never replaces an input, -y or not)");
    }
}

OutputFile::OutputFile(std::string target, bool replace)
    : target_(std::move(target)), replace_(replace) {
    refuseInputTarget(target_);
    struct stat st;
    if (stat(target_.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) throw IoError(target_ + ": is a directory");
        if (!replace) throw IoError(target_ + ": exists (use -y to replace it)");
    }
    const std::size_t slash = target_.rfind('/');
    const std::string dir = slash == std::string::npos ? "" : target_.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
    std::string pattern = dir + "." + base + ".tmp-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0) throw IoError(target_ + ": cannot write: " + std::strerror(errno));
    temp_ = name.data();
    try {
        slot_ = listUnfinished(temp_, target_);
    } catch (...) {
        ::close(fd);
        unlink(temp_.c_str());
        throw;
    }
    stream_ = fdopen(fd, "wb");
    if (stream_ == nullptr) {
        const int err = errno;
        ::close(fd);
        std::remove(temp_.c_str());
        unlistUnfinished(slot_);
        throw IoError(target_ + ": cannot write: " + std::strerror(err));
    }
}

OutputFile::~OutputFile() {
    if (stream_ != nullptr) std::fclose(stream_);
    if (!committed_) std::remove(temp_.c_str());
    unlistUnfinished(slot_);
}

void OutputFile::close() {
    if (stream_ == nullptr) return;
    const bool ok = std::fflush(stream_) == 0 && !std::ferror(stream_);
    const int err = errno;
    const bool closed = std::fclose(stream_) == 0;
    stream_ = nullptr;
    if (!ok || !closed) throw IoError(target_ + ": write error: " + std::strerror(ok ? errno : err));
}

void OutputFile::commit() {
    close();
    // mkstemp makes the file 0600; an output gets the usual permissions.
    const mode_t mask = umask(0);
    umask(mask);
    chmod(temp_.c_str(), 0666 & ~mask);
    refuseInputTarget(target_);
    if (replace_) {
        if (std::rename(temp_.c_str(), target_.c_str()) != 0)
            throw IoError(target_ + ": cannot rename into place: " + std::strerror(errno));
    } else {
        placeWithoutReplacing();
    }
    committed_ = true;
    unlistUnfinished(slot_);
    slot_ = nullptr;
}

// The target is created by the rename itself, which fails when another
// process made the name meanwhile: the check at the start leaves a gap that
// only this closes. File systems without that kind of rename get a hard link
// (which fails on an existing name too), then the temporary name goes.
void OutputFile::placeWithoutReplacing() {
    auto exists = [&] { return IoError(target_ + ": exists (use -y to replace it)"); };
    if (renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, target_.c_str(), RENAME_NOREPLACE) == 0)
        return;
    if (errno == EEXIST) throw exists();
    if (errno != EINVAL && errno != ENOSYS)
        throw IoError(target_ + ": cannot rename into place: " + std::strerror(errno));
    if (link(temp_.c_str(), target_.c_str()) != 0) {
        if (errno == EEXIST) throw exists();
        throw IoError(target_ + ": cannot rename into place: " + std::strerror(errno));
    }
    slot_->finished = true;
    unlink(temp_.c_str());
}

}  // namespace fieldfx::io
