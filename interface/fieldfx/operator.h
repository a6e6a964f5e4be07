/*
 * The operator interface: the records a host and an operator module exchange.
 *
 * The byte offsets are a 32-bit contract. The records use natural C types so
 * that every 32-bit target gets exactly the contract's layout (proved by the
 * static_asserts at the end), and 64-bit targets the same fields in the same
 * order with pointer-sized addresses.
 */
#ifndef FIELDFX_OPERATOR_H
#define FIELDFX_OPERATOR_H

#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
#include <uchar.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Requests ------------------------------------------------------------ */

enum {
    OP_OPEN = 1,    /* an effect instance starts */
    OP_CLOSE = 2,   /* the instance ends */
    OP_PROCESS = 3, /* produce the field at `position` */
    OP_SETUP = 4    /* let the user set the operator's preferences */
    /* 5..7 are accepted and ignored */
};

enum {
    OPF_SCALE = 1,     /* pixel distances are scaled by scaleNum / scaleDen */
    OPF_ODD_FIELD = 2  /* the field holds the frame's odd lines (2y + 1) */
};

typedef struct OperatorMessage {
    uint16_t action;
    uint16_t actionArg;
    uint32_t flags;
    uint32_t duration;
    uint32_t position;
    uint8_t reserved1[8];
    int16_t scaleNum;
    int16_t scaleDen;
    uint8_t reserved2[16];
    int16_t pixelAspect;
    uint16_t reserved3;
} OperatorMessage;

/* ---- Description tag list -------------------------------------------------- */

#define OPE_BASE 0x4F504500u
enum {
    OPE_FIRST = OPE_BASE + 0x00,
    OPE_FILTER = OPE_BASE + 0x01,
    OPE_ACTION = OPE_BASE + 0x03,
    OPE_PARAM1 = OPE_BASE + 0x04,
    OPE_PARAM2 = OPE_BASE + 0x05,
    OPE_PARAM3 = OPE_BASE + 0x06,
    OPE_PARAM4 = OPE_BASE + 0x07,
    OPE_PREFS = OPE_BASE + 0x09,
    OPE_MODE = OPE_BASE + 0x0d,
    OPE_IDENT = OPE_BASE + 0x10
};

/* One entry of the list; the list ends with a single tag word 0 (no value). */
typedef struct OperatorTag {
    uintptr_t tag;
    uintptr_t value;
} OperatorTag;

/* ---- Parameter descriptors --------------------------------------------------- */

enum {
    PARAM_CHOICE = 0,
    PARAM_COLOUR = 1,
    PARAM_SLIDER = 2,
    PARAM_POSITION = 3,
    PARAM_GROUP = 4
};

/* The head every descriptor starts with; `kind` says which tail follows. */
typedef struct ParamDescriptor {
    uint16_t kind;
    uint16_t textId;
    uint32_t style;
} ParamDescriptor;

typedef struct ChoiceDescriptor {
    ParamDescriptor head;
    const uint32_t* labels; /* catalogue ids (or, style 1, numbers) ended by 0 */
    uint32_t value;         /* 0-based index of the selected entry */
} ChoiceDescriptor;

typedef struct ColourDescriptor {
    ParamDescriptor head;
    uint32_t value; /* one pixel word */
} ColourDescriptor;

typedef int32_t (*SliderFormatter)(int32_t value, char16_t* buffer);

typedef struct SliderDescriptor {
    ParamDescriptor head;
    uint32_t auxTextId;
    SliderFormatter formatter;
    int32_t minimum;
    int32_t maximum;
    int32_t value;
} SliderDescriptor;

typedef struct PositionDescriptor {
    ParamDescriptor head;
    int16_t minWidth, minHeight, maxWidth, maxHeight;
    int16_t posX, posY, areaWidth, areaHeight;
} PositionDescriptor;

typedef struct GroupDescriptor {
    ParamDescriptor head;
} GroupDescriptor;

/* What OPE_PREFS points to: the operator's preference block and its size. */
typedef struct PrefsBlockRef {
    void* block;
    uint32_t size;
    uint32_t reserved;
} PrefsBlockRef;

#define TRANSITION_PREFS_SIZE 112

/* ---- Images --------------------------------------------------------------- */

typedef struct FieldImage {
    void* pixels; /* rows of `width` 4-byte pixels, no padding */
    int16_t width;
    int16_t height;
    int16_t activeX;
    int16_t activeY;
    int16_t activeWidth;
    int16_t activeHeight;
} FieldImage;

/* Pixel bytes in memory order: opacity, Cb, Cr, luma. */
#define BLACK_PIXEL 0x108080FFu

/* ---- Entry points --------------------------------------------------------- */

typedef const OperatorTag* (*GetOperatorInfoFn)(void);
typedef int32_t (*OperatorActionFn)(OperatorMessage* msg);

#ifdef __cplusplus
} /* extern "C" */

static_assert(sizeof(OperatorMessage) == 48, "OperatorMessage is 48 bytes");
static_assert(offsetof(OperatorMessage, flags) == 4, "flags at 4");
static_assert(offsetof(OperatorMessage, duration) == 8, "duration at 8");
static_assert(offsetof(OperatorMessage, position) == 12, "position at 12");
static_assert(offsetof(OperatorMessage, scaleNum) == 24, "scaleNum at 24");
static_assert(offsetof(OperatorMessage, scaleDen) == 26, "scaleDen at 26");
static_assert(offsetof(OperatorMessage, pixelAspect) == 44, "pixelAspect at 44");
static_assert(sizeof(ParamDescriptor) == 8, "descriptor head is 8 bytes");

#if UINTPTR_MAX == 0xFFFFFFFFu
/* The 32-bit layout of the host contract. */
static_assert(sizeof(OperatorTag) == 8, "tag entry is two 32-bit words");
static_assert(sizeof(FieldImage) == 16, "FieldImage is 16 bytes");
static_assert(offsetof(FieldImage, width) == 4, "width at 4");
static_assert(offsetof(FieldImage, height) == 6, "height at 6");
static_assert(offsetof(FieldImage, activeX) == 8, "activeX at 8");
static_assert(offsetof(FieldImage, activeY) == 10, "activeY at 10");
static_assert(offsetof(FieldImage, activeWidth) == 12, "activeWidth at 12");
static_assert(offsetof(FieldImage, activeHeight) == 14, "activeHeight at 14");
static_assert(sizeof(ChoiceDescriptor) == 16, "choice descriptor is 16 bytes");
static_assert(offsetof(ChoiceDescriptor, labels) == 8, "labels at 8");
static_assert(offsetof(ChoiceDescriptor, value) == 12, "choice value at 12");
static_assert(sizeof(ColourDescriptor) == 12, "colour descriptor is 12 bytes");
static_assert(sizeof(SliderDescriptor) == 28, "slider descriptor is 28 bytes");
static_assert(offsetof(SliderDescriptor, auxTextId) == 8, "auxTextId at 8");
static_assert(offsetof(SliderDescriptor, formatter) == 12, "formatter at 12");
static_assert(offsetof(SliderDescriptor, minimum) == 16, "minimum at 16");
static_assert(offsetof(SliderDescriptor, maximum) == 20, "maximum at 20");
static_assert(offsetof(SliderDescriptor, value) == 24, "slider value at 24");
static_assert(sizeof(PositionDescriptor) == 24, "position descriptor is 24 bytes");
static_assert(offsetof(PositionDescriptor, posX) == 16, "posX at 16");
static_assert(offsetof(PositionDescriptor, areaHeight) == 22, "areaHeight at 22");
static_assert(sizeof(GroupDescriptor) == 8, "group descriptor is 8 bytes");
static_assert(sizeof(PrefsBlockRef) == 12, "prefs reference is three 32-bit words");
#endif
#endif /* __cplusplus */

#endif /* FIELDFX_OPERATOR_H */
