// The command line's own definitions of the service calls the runtime makes
// (installing an effect's backends around each operator call, the formatter
// buffer): each forwards to the library loaded by loadServiceLibraries().
// Linked with --as-needed, the binary then records no dependency on the
// service libraries, so the loader cannot refuse to start it.
#include "service_libraries.h"

#include <dlfcn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "fieldfx/runtime/error.h"
#include "fieldfx/services/backend.h"

namespace fieldfx::cli {

namespace {

struct Calls {
    const FieldHostBackend* (*fieldhost)(const FieldHostBackend*) = nullptr;
    const ImageHostBackend* (*imagehost)(const ImageHostBackend*) = nullptr;
    const LoggerBackend* (*logger)(const LoggerBackend*) = nullptr;
    const TransHostBackend* (*transhost)(const TransHostBackend*) = nullptr;
    void (*texthost)(char16_t*, int32_t) = nullptr;
};

Calls calls;
std::once_flag loaded;
std::string failure;  // why loading failed, empty when it did not

void* symbol(void* library, const char* file, const char* name) {
    dlerror();
    void* address = dlsym(library, name);
    if (address == nullptr)
        throw runtime::Error(runtime::ErrorKind::Module,
                             std::string("service library ") + file + " lacks " + name +
                                 ": it is damaged or from another version");
    return address;
}

// transhost needs imagehost; the loader follows that dependency itself.
constexpr const char* kFiles[] = {"libfieldhost.so", "libimagehost.so", "liblogger.so",
                                  "libtexthost.so", "libtranshost.so"};

// The loader's reason for the last failed dlopen of `name`, without the name
// it starts with.
std::string loaderReason(const std::string& name) {
    const char* error = dlerror();
    std::string why = error ? error : "unknown reason";
    if (why.rfind(name + ": ", 0) == 0) why.erase(0, name.size() + 2);
    return why;
}

// Opens a service library as the program's own run path finds it. A plain
// dlopen looks in the run path of its caller, which is this binary, except
// where a sanitizer's interceptor of dlopen becomes the caller; then the
// directories the loader lists for the program (its run path, $ORIGIN
// expanded) are tried in their order. On failure, `why` holds the reason.
void* openService(const char* file, std::string& why) {
    if (void* handle = dlopen(file, RTLD_NOW | RTLD_GLOBAL)) return handle;
    why = loaderReason(file);
    void* program = dlopen(nullptr, RTLD_NOW);
    Dl_serinfo size;
    if (program == nullptr || dlinfo(program, RTLD_DI_SERINFOSIZE, &size) != 0) return nullptr;
    std::vector<unsigned char> storage(size.dls_size);
    auto* info = reinterpret_cast<Dl_serinfo*>(storage.data());
    *info = size;
    if (dlinfo(program, RTLD_DI_SERINFOSIZE, info) != 0 ||
        dlinfo(program, RTLD_DI_SERINFO, info) != 0)
        return nullptr;
    for (unsigned i = 0; i < info->dls_cnt; ++i) {
        const std::string path = std::string(info->dls_serpath[i].dls_name) + "/" + file;
        if (access(path.c_str(), F_OK) != 0) continue;
        if (void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL)) return handle;
        why = loaderReason(path);
        return nullptr;
    }
    return nullptr;
}

// Loads the libraries in a child process first: one that is cut short or
// damaged in its code or relocations can crash the loader (SIGBUS, SIGSEGV),
// and then only the child dies. The child writes the index of each library
// before it loads it, so the last one read is the one it died on. A library
// that the loader refuses cleanly is left to the real load, which says why.
void probeInChild() {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return;
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) {
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        return;
    }
    if (child == 0) {
        close(pipeEnds[0]);
        // The parent's crash report is not the child's to print.
        for (int signal : {SIGBUS, SIGSEGV, SIGILL, SIGFPE, SIGABRT, SIGSYS, SIGTRAP})
            std::signal(signal, SIG_DFL);
        for (unsigned char i = 0; i < 5; ++i) {
            if (write(pipeEnds[1], &i, 1) != 1) _exit(0);
            if (std::string why; openService(kFiles[i], why) == nullptr) _exit(0);
        }
        _exit(0);
    }
    close(pipeEnds[1]);
    unsigned char last = 0, byte;
    ssize_t n;
    while ((n = read(pipeEnds[0], &byte, 1)) == 1 || (n < 0 && errno == EINTR))
        if (n == 1) last = byte;
    close(pipeEnds[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFSIGNALED(status) && last < 5)
        throw runtime::Error(runtime::ErrorKind::Module,
                             std::string("the service library ") + kFiles[last] +
                                 " is damaged: loading it crashed (" + strsignal(WTERMSIG(status)) +
                                 ") (is fieldfx installed whole?)");
}

void load() {
    probeInChild();
    const char* const* files = kFiles;
    void* handles[5] = {};
    for (int i = 0; i < 5; ++i) {
        std::string why;
        handles[i] = openService(files[i], why);
        if (handles[i] == nullptr) {
            throw runtime::Error(runtime::ErrorKind::Module,
                                 std::string("cannot load the service library ") + files[i] +
                                     ": " + why + " (is fieldfx installed whole?)");
        }
    }
    Calls found;
    found.fieldhost = reinterpret_cast<decltype(found.fieldhost)>(
        symbol(handles[0], files[0], "fieldhostSetThreadBackend"));
    found.imagehost = reinterpret_cast<decltype(found.imagehost)>(
        symbol(handles[1], files[1], "imagehostSetThreadBackend"));
    found.logger = reinterpret_cast<decltype(found.logger)>(
        symbol(handles[2], files[2], "loggerSetThreadBackend"));
    found.texthost = reinterpret_cast<decltype(found.texthost)>(
        symbol(handles[3], files[3], "texthostSetBuffer"));
    found.transhost = reinterpret_cast<decltype(found.transhost)>(
        symbol(handles[4], files[4], "transhostSetThreadBackend"));
    calls = found;
}

// The forwarding calls run only after main() loaded the libraries; reaching
// one without them is a fault of this program, not of the installation.
const Calls& loadedCalls() {
    if (calls.fieldhost == nullptr) {
        std::fputs("fieldfx: internal error: a service call before the service libraries were "
                   "loaded\n", stderr);
        std::abort();
    }
    return calls;
}

}  // namespace

void loadServiceLibraries() {
    std::call_once(loaded, [] {
        try {
            load();
        } catch (const runtime::Error& e) {
            failure = e.what();
        }
    });
    if (!failure.empty()) throw runtime::Error(runtime::ErrorKind::Module, failure);
}

}  // namespace fieldfx::cli

extern "C" {

const FieldHostBackend* fieldhostSetThreadBackend(const FieldHostBackend* backend) {
    return fieldfx::cli::loadedCalls().fieldhost(backend);
}
const ImageHostBackend* imagehostSetThreadBackend(const ImageHostBackend* backend) {
    return fieldfx::cli::loadedCalls().imagehost(backend);
}
const LoggerBackend* loggerSetThreadBackend(const LoggerBackend* backend) {
    return fieldfx::cli::loadedCalls().logger(backend);
}
const TransHostBackend* transhostSetThreadBackend(const TransHostBackend* backend) {
    return fieldfx::cli::loadedCalls().transhost(backend);
}
void texthostSetBuffer(char16_t* buffer, int32_t capacity) {
    fieldfx::cli::loadedCalls().texthost(buffer, capacity);
}

}  // extern "C"
