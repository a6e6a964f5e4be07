#include "fieldfx/fieldio/output_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace fieldfx::io {

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
    stream_ = fdopen(fd, "wb");
    if (stream_ == nullptr) {
        ::close(fd);
        std::remove(temp_.c_str());
        throw IoError(target_ + ": cannot write: " + std::strerror(errno));
    }
}

OutputFile::~OutputFile() {
    if (stream_ != nullptr) std::fclose(stream_);
    if (!committed_) std::remove(temp_.c_str());
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
}

}  // namespace fieldfx::io
