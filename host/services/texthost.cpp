// texthost: printf-style formatting into 16-bit characters for slider
// formatters. The host registers the buffer it hands a formatter and its size.
#include <cstdarg>

#include "fieldfx/backend.h"
#include "service_backend.h"

namespace {
char16_t* registeredBuffer = nullptr;
int32_t registeredCapacity = 0;
}  // namespace

extern "C" {

void texthostSetBuffer(char16_t* buffer, int32_t capacity) {
    registeredBuffer = buffer;
    registeredCapacity = buffer != nullptr && capacity > 0 ? capacity : 0;
}

int32_t sxprintf(char16_t* buffer, const char16_t* format, ...) {
    (void)format;
    if (buffer == nullptr || registeredBuffer == nullptr || buffer < registeredBuffer ||
        buffer >= registeredBuffer + registeredCapacity) {
        fieldfx::noBackend("texthost", "sxprintf");
        return -1;
    }
    buffer[0] = u'\0';
    return 0;
}
}
