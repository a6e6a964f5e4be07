// Every value a user writes as text - an option of the command line, a
// parameter of --set or of a studio request, a key list - is read here, with
// one syntax and one set of limits for each kind of value. Each function
// throws Error(Usage) whose message starts with the option (or parameter) and
// the text as given, then says what was expected.
//
//   whole number  an optional sign and decimal digits: "12", "+3", "-40"
//   count         a whole number within the caller's range
//   rate          frames a second, a decimal number or a ratio of two:
//                 "25", "29.97", "30000/1001"; above 0, at most 1000
//   time          a frame, "50", or seconds with an s, "2s", "0.5s",
//                 turned into the nearest frame at the rate (halves up);
//                 at most 1073741824 frames (2^30) and 10^6 seconds
//   size          WIDTHxHEIGHT, "720x576"; every side at most 8192, the
//                 smallest and an even height as the use needs
//   rectangle     x,y,w,h: x, y 0..32767, w, h 1..32767
//   ratio         N/D, each 1..32767
//   range         FIRST:LAST (times; LAST included, empty: to the end) or
//                 PART/PARTS (the PART-th of PARTS nearly equal shares)
//   field order   tff (or top), bff (or bottom), progressive
//   parameter     by the parameter's kind (see parameters.h)
//   keys          VALUE@TIME,VALUE@TIME,... (see keyframes.h)
// Decimal numbers (rate, seconds) are digits with at most one point:
// "25", "0.5", ".5", "2." - no sign, no exponent.
#ifndef FIELDFX_RUNTIME_VALUES_H
#define FIELDFX_RUNTIME_VALUES_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "fieldfx/fieldio/scan.h"
#include "fieldfx/operator.h"

namespace fieldfx::runtime {

struct Parameter;

// The grammar of a whole number alone: false when `text` is not one or has
// more than 18 digits. Ranges are the caller's.
bool readWhole(const std::string& text, int64_t& out);

// A whole number minimum..limit: "OPTION TEXT: expected a whole number
// MINIMUM..LIMIT".
uint32_t parseCount(const std::string& option, const std::string& text, uint32_t limit,
                    uint32_t minimum = 0);
// A whole number minimum..maximum; the message ends in "expected " + what.
int32_t parseWhole(const std::string& option, const std::string& text, int32_t minimum,
                   int32_t maximum, const std::string& what);

// Frames a second.
double parseRate(const std::string& option, const std::string& text);

// The most frames a time names: its fields count in 32 bits with room.
constexpr uint32_t kMaxFrames = 1u << 30;
// A time as a frame; seconds need `rate` (0: none known, seconds refused).
uint32_t parseFrames(const std::string& option, const std::string& text, double rate);

// Sizes of frames, clips and masks.
constexpr int32_t kMaxSide = 8192;
struct Size {
    int32_t width = 0, height = 0;
};
// The smallest size a use takes (every side at most kMaxSide).
struct SizeMinimum {
    int32_t width = 1, height = 1;
    bool evenHeight = false;  // frames of two fields of one height
};
Size parseSize(const std::string& option, const std::string& text, SizeMinimum minimum);

// x,y,w,h of an active rectangle (in field pixels and rows).
struct Rect {
    int16_t x = 0, y = 0, width = 0, height = 0;
};
Rect parseRect(const std::string& option, const std::string& text);

// N/D such as a scale.
struct Ratio {
    int16_t num = 1, den = 1;
};
Ratio parseRatio(const std::string& option, const std::string& text);

// The frames [first, last] of a span of `frames` frames.
struct FrameRange {
    uint32_t first = 0, last = 0;
};
FrameRange parseRange(const std::string& option, const std::string& text, uint32_t frames,
                      double rate);

// A field order: io::scanName's names, and "top" and "bottom". False when
// `text` names none.
using io::Scan;
bool readScan(const std::string& text, Scan& scan);
Scan parseScan(const std::string& option, const std::string& text);
const char* scanLabel(Scan scan);  // "Top field first", ...: the editors' entries

// A parameter's value apart from its descriptor: a slider's value, a
// choice's value or a colour's pixel word in [0]; a position's x, y, w, h.
using ParameterValue = std::array<int32_t, 4>;
// `text` in the parameter's syntax; a position given as x,y keeps the size
// the descriptor holds. Reads the descriptor, never writes it. The message
// starts "NAME=TEXT: " and ends with the allowed values.
ParameterValue parseParameterValue(const Parameter& parameter, const std::string& text);
ParameterValue readParameter(const ParamDescriptor* descriptor);
// The one place a value goes into a descriptor.
void writeParameter(ParamDescriptor* descriptor, const ParameterValue& value);

// One key of a key list: the value from `frame` on.
struct Key {
    double frame;
    ParameterValue value;
};
// "VALUE@TIME,..." for `parameter`: at least one key, times increasing. A
// position's own commas stay with its key ("100,50@0,300,50@20").
std::vector<Key> parseKeys(const Parameter& parameter, const std::string& keys, double rate);

}  // namespace fieldfx::runtime

#endif
