/* The two entry points every operator module exports, and how it exports them. */
#ifndef FIELDFX_EXPORT_H
#define FIELDFX_EXPORT_H

#include <cstddef>
#include <cstdint>

#include "fieldfx/operator.h"

// Modules are built with hidden visibility; only the two entry points are
// exported (plus a version script on ELF, a .def file on Windows).
#if defined(_WIN32)
#define FIELDFX_OPERATOR_EXPORT extern "C"
#else
#define FIELDFX_OPERATOR_EXPORT extern "C" __attribute__((visibility("default")))
#endif

FIELDFX_OPERATOR_EXPORT const OperatorTag* GetOperatorInfo(void);
FIELDFX_OPERATOR_EXPORT int32_t OperatorAction(OperatorMessage* msg);

#endif
