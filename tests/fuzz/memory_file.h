// The fuzz input as a file, for readers that take a path: an anonymous
// in-memory file reached through /proc/self/fd.
#ifndef FIELDFX_FUZZ_MEMORY_FILE_H
#define FIELDFX_FUZZ_MEMORY_FILE_H

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

class MemoryFile {
public:
    MemoryFile() : fd_(memfd_create("fuzz-input", 0)) {
        if (fd_ < 0) std::abort();
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    // Replaces the contents with `size` bytes; returns the path to open.
    const std::string& hold(const uint8_t* data, std::size_t size) {
        if (ftruncate(fd_, 0) != 0) std::abort();
        for (std::size_t at = 0; at < size;) {
            const ssize_t n = pwrite(fd_, data + at, size - at, off_t(at));
            if (n <= 0) std::abort();
            at += std::size_t(n);
        }
        return path_;
    }

private:
    int fd_;
    std::string path_;
};

#endif
