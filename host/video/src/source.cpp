#include "fieldfx/video/source.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "sources.h"

namespace fieldfx::video {

bool isBuiltinName(const std::string& name) { return name.rfind("builtin:", 0) == 0; }

std::vector<std::string> builtinNames() {
    return {"builtin:bars", "builtin:motion", "builtin:gradient"};
}

std::string storePipe(int fd, const std::string& label) {
    const char* env = std::getenv("TMPDIR");
    const std::string dir = env != nullptr && *env != '\0' ? env : "/tmp";
    int store = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (store < 0) {  // a file system without O_TMPFILE: a named file, unlinked at once
        std::string pattern = dir + "/fieldfx-pipe-XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        store = mkstemp(name.data());
        if (store >= 0) unlink(name.data());
    }
    if (store < 0)
        throw VideoError("cannot store " + label + " in " + dir + ": " + std::strerror(errno));
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n == 0) break;
        if (n < 0 && errno == EINTR) continue;
        const int error = errno;
        if (n < 0) {
            ::close(store);
            throw VideoError("cannot read " + label + ": " + std::strerror(error));
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(store, buffer.data() + done, std::size_t(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w < 0) {
                const std::string why = std::strerror(errno);
                ::close(store);
                throw VideoError("cannot store " + label + " in " + dir + ": " + why);
            }
            done += w;
        }
    }
    return "/proc/self/fd/" + std::to_string(store);
}

std::unique_ptr<Source> openSource(const std::string& name, const SourceOptions& options) {
    if (isBuiltinName(name)) return openBuiltinSource(name, options);
    return openFileSource(name, options);
}

}  // namespace fieldfx::video
