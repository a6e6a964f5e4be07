/*
 * The host services that operators call. Each group lives in its own shared
 * library (fieldhost, imagehost, logger, texthost, transhost); an operator
 * links exactly the libraries it uses.
 */
#ifndef FIELDFX_SERVICES_H
#define FIELDFX_SERVICES_H

#include "fieldfx/operator.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define FIELDFX_SERVICE_API
#else
#define FIELDFX_SERVICE_API __attribute__((visibility("default")))
#endif

/* fieldhost */
FIELDFX_SERVICE_API FieldImage* opGetField(int32_t input, uint32_t position);
FIELDFX_SERVICE_API int32_t opPutField(FieldImage* image);
FIELDFX_SERVICE_API int32_t opChkAbort(void);

/* imagehost: operators always ask for a scratch image like the current field
   with (-1, -1, 1, 0). */
FIELDFX_SERVICE_API FieldImage* opAllocImage(int32_t a, int32_t b, int32_t c, int32_t d);
FIELDFX_SERVICE_API void opFreeImage(FieldImage* image);

/* logger */
FIELDFX_SERVICE_API void loggerMessage(int32_t level, int32_t line, const char* source,
                                       uint32_t code, const char* text);

/* texthost: printf-style formatting into 16-bit characters. */
FIELDFX_SERVICE_API int32_t sxprintf(char16_t* buffer, const char16_t* format, ...);

/* transhost: wipe masks (one byte a pixel) and the preferences request. */
FIELDFX_SERVICE_API FieldImage* txGetOpImage(void* prefs, int32_t a, int32_t b);
FIELDFX_SERVICE_API void* txAllocRequest(int32_t kind);
FIELDFX_SERVICE_API int32_t txSetPrefs(void* request, void* prefs);
FIELDFX_SERVICE_API int32_t txSetTypes(void* request, int32_t types);
FIELDFX_SERVICE_API int32_t txRequest(void* request, int32_t flags);
FIELDFX_SERVICE_API int32_t txGetStatus(void* request);
FIELDFX_SERVICE_API int32_t txGetPrefs(void* request, void* prefs, int32_t size);
FIELDFX_SERVICE_API void txFreeRequest(void* request);

#ifdef __cplusplus
}
#endif

#endif /* FIELDFX_SERVICES_H */
