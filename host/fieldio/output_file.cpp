#include "fieldfx/fieldio/output_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace fieldfx::io {

namespace {

// The names of the temporary files being written, for removal from a signal
// handler. A handler takes a name with an atomic exchange and never frees it
// (the process ends); the owner frees only a name it takes back itself, and
// only after its own rename or removal, so no name is used after it is freed.
constexpr int kSlots = 64;
std::atomic<char*> unfinished[kSlots];
static_assert(std::atomic<char*>::is_always_lock_free);

int listUnfinished(const std::string& temp) {
    char* name = strdup(temp.c_str());
    if (name == nullptr) return -1;
    for (int i = 0; i < kSlots; ++i) {
        char* expected = nullptr;
        if (unfinished[i].compare_exchange_strong(expected, name)) return i;
    }
    std::free(name);  // more outputs at once than slots: this one stays on a signal
    return -1;
}

void unlistUnfinished(int slot) {
    if (slot >= 0) std::free(unfinished[slot].exchange(nullptr));
}

}  // namespace

void removeUnfinishedOutputs() {
    for (std::atomic<char*>& slot : unfinished)
        if (char* name = slot.exchange(nullptr)) unlink(name);
}

OutputFile::OutputFile(std::string target, bool replace) : target_(std::move(target)) {
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
    slot_ = listUnfinished(temp_);
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
    if (std::rename(temp_.c_str(), target_.c_str()) != 0)
        throw IoError(target_ + ": cannot rename into place: " + std::strerror(errno));
    committed_ = true;
    unlistUnfinished(slot_);
    slot_ = -1;
}

}  // namespace fieldfx::io
