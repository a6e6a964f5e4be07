// logger: operators' failure records. Without a backend they go to stderr.
#include <cstdio>

#include "fieldfx/services/backend.h"
#include "service_backend.h"

namespace {
fieldfx::InstalledBackend<LoggerBackend> backend;
}

extern "C" {

void loggerSetBackend(const LoggerBackend* b) { backend.install(b); }
const LoggerBackend* loggerSetThreadBackend(const LoggerBackend* b) {
    return backend.setForThread(b);
}

void loggerMessage(int32_t level, int32_t line, const char* source, uint32_t code,
                   const char* text) {
    const LoggerBackend* b = backend.get();
    if (b != nullptr && b->message != nullptr) {
        b->message(b->context, level, line, source, code, text);
        return;
    }
    std::fprintf(stderr, "fieldfx: log level %d: %s line %d code 0x%08x: %s\n", int(level),
                 source ? source : "(no source)", int(line), unsigned(code), text ? text : "");
}
}
