/*
 * How a running host plugs itself into the service libraries.
 *
 * Each service library forwards the operators' calls to a backend that the
 * host installs with one call. The library keeps the pointer (the host keeps
 * the record alive); installing null removes it. Without a backend every
 * service fails safely: null images, error results, a note on stderr.
 *
 * A host that drives several effects at once, each on its own module copy
 * and possibly on its own thread, sets the effect's backends for the calling
 * thread (the ...SetThreadBackend calls) around each OperatorAction instead:
 * a thread's backend is used ahead of the installed one, null clears it.
 * Each call returns the thread's previous backend, for the host to put back.
 */
#ifndef FIELDFX_SERVICES_BACKEND_H
#define FIELDFX_SERVICES_BACKEND_H

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

/* transhost. The library itself renders wipe masks from a preference block;
   the host tells it the frame size of the effect and answers preference
   requests. A host (a test, say) may also replace any call outright. */
typedef struct TransHostBackend {
    void* context;
    /* Frame size masks are rendered at: the effect's active width x 2 x its
       active height. Null, or a size <= 0: 720 x 576. */
    void (*frameSize)(void* context, int32_t* width, int32_t* height);
    /* A preferences request: `prefs` holds the current block (112 bytes); the
       host may rewrite it and returns 1 when the new settings are to be taken
       over, 0 when not, negative when the request could not be performed. */
    int32_t (*request)(void* context, void* prefs, int32_t types, int32_t flags);
    /* Replacements, each used instead of the library's own call when set. */
    FieldImage* (*getOpImage)(void* context, void* prefs, int32_t a, int32_t b);
    void* (*allocRequest)(void* context, int32_t kind);
    int32_t (*setPrefs)(void* context, void* request, void* prefs);
    int32_t (*setTypes)(void* context, void* request, int32_t types);
    int32_t (*runRequest)(void* context, void* request, int32_t flags);
    int32_t (*getStatus)(void* context, void* request);
    int32_t (*getPrefs)(void* context, void* request, void* prefs, int32_t size);
    void (*freeRequest)(void* context, void* request);
} TransHostBackend;

FIELDFX_SERVICE_API void fieldhostSetBackend(const FieldHostBackend* backend);
FIELDFX_SERVICE_API void imagehostSetBackend(const ImageHostBackend* backend);
FIELDFX_SERVICE_API void loggerSetBackend(const LoggerBackend* backend);
FIELDFX_SERVICE_API void transhostSetBackend(const TransHostBackend* backend);

FIELDFX_SERVICE_API const FieldHostBackend* fieldhostSetThreadBackend(
    const FieldHostBackend* backend);
FIELDFX_SERVICE_API const ImageHostBackend* imagehostSetThreadBackend(
    const ImageHostBackend* backend);
FIELDFX_SERVICE_API const LoggerBackend* loggerSetThreadBackend(
    const LoggerBackend* backend);
FIELDFX_SERVICE_API const TransHostBackend* transhostSetThreadBackend(
    const TransHostBackend* backend);

/* imagehost: an image made by another service library (transhost's masks)
   that operators hand back with opFreeImage; `release` frees it then. */
FIELDFX_SERVICE_API void imagehostAdopt(FieldImage* image, void (*release)(FieldImage* image));

/* texthost: the host names the buffer it hands to a formatter and its size in
   16-bit characters (terminator included); sxprintf never writes past it.
   A null buffer removes the limit record (sxprintf then writes nothing).
   The record belongs to the calling thread. */
FIELDFX_SERVICE_API void texthostSetBuffer(char16_t* buffer, int32_t capacity);

#ifdef __cplusplus
}
#endif

#endif
