/*
 * How a running host plugs itself into the service libraries.
 *
 * Each service library forwards the operators' calls to a backend that the
 * host installs with one call. The library keeps the pointer (the host keeps
 * the record alive); installing null removes it. Without a backend every
 * service fails safely: null images, error results, a note on stderr.
 */
#ifndef FIELDFX_BACKEND_H
#define FIELDFX_BACKEND_H

#include "fieldfx/services.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct FieldHostBackend {
    void* context;
    FieldImage* (*getField)(void* context, int32_t input, uint32_t position);
    int32_t (*putField)(void* context, FieldImage* image);
    int32_t (*checkAbort)(void* context);
} FieldHostBackend;

typedef struct ImageHostBackend {
    void* context;
    FieldImage* (*allocImage)(void* context, int32_t a, int32_t b, int32_t c, int32_t d);
    void (*freeImage)(void* context, FieldImage* image);
} ImageHostBackend;

typedef struct LoggerBackend {
    void* context;
    void (*message)(void* context, int32_t level, int32_t line, const char* source, uint32_t code,
                    const char* text);
} LoggerBackend;

FIELDFX_SERVICE_API void fieldhostSetBackend(const FieldHostBackend* backend);
FIELDFX_SERVICE_API void imagehostSetBackend(const ImageHostBackend* backend);
FIELDFX_SERVICE_API void loggerSetBackend(const LoggerBackend* backend);

/* texthost: the host names the buffer it hands to a formatter and its size in
   16-bit characters (terminator included); sxprintf never writes past it.
   A null buffer removes the limit record (sxprintf then writes nothing). */
FIELDFX_SERVICE_API void texthostSetBuffer(char16_t* buffer, int32_t capacity);

#ifdef __cplusplus
}
#endif

#endif
