#include "fieldfx/runtime/values.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "fieldfx/fieldio/ycbcr.h"
#include "fieldfx/runtime/catalogue.h"
#include "fieldfx/runtime/error.h"
#include "fieldfx/runtime/parameters.h"

namespace fieldfx::runtime {

namespace {

[[noreturn]] void refuse(const std::string& subject, const std::string& reason) {
    throw Error(ErrorKind::Usage, subject + ": " + reason);
}

std::string lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::vector<std::string> splitList(const std::string& s, char sep) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = s.find(sep, start);
        parts.push_back(s.substr(start, end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

// Digits with at most one point and at least one digit; the value as strtod
// reads that text.
bool readDecimal(const std::string& s, double& out) {
    if (s.empty() || s.size() > 24) return false;
    bool digit = false, point = false;
    for (char c : s) {
        if (c == '.' && !point) point = true;
        else if (isDigit(c)) digit = true;
        else return false;
    }
    if (!digit) return false;
    out = std::strtod(s.c_str(), nullptr);
    return true;
}

// A time's text read, or why not.
enum class TimeFault { None, Malformed, Fraction, NeedsRate };

TimeFault readTime(const std::string& text, double rate, uint32_t& frames) {
    const bool seconds = !text.empty() && (text.back() == 's' || text.back() == 'S');
    double v;
    if (seconds) {
        if (!readDecimal(text.substr(0, text.size() - 1), v) || v > 1e6)
            return TimeFault::Malformed;
        if (!(rate > 0.0)) return TimeFault::NeedsRate;
        v = std::floor(v * rate + 0.5);
    } else {
        int64_t whole;
        if (readWhole(text, whole)) {
            v = double(whole);
        } else if (!readDecimal(text, v)) {
            return TimeFault::Malformed;
        } else if (v != std::floor(v)) {
            return TimeFault::Fraction;
        }
    }
    if (!(v >= 0.0) || v > double(kMaxFrames)) return TimeFault::Malformed;
    frames = uint32_t(v);
    return TimeFault::None;
}

// `subject` names the option and text ("--start 1.5") or the key
// ("angle=0@1.5: key time \"1.5\""); the reasons read on from either.
uint32_t timeOrRefuse(const std::string& subject, bool key, const std::string& text, double rate) {
    uint32_t frames = 0;
    const std::string range =
        "a frame 0.." + std::to_string(kMaxFrames) + " or seconds such as 2s (at most 1000000)";
    const std::string hint = "not a whole frame (seconds take an s: " + text + "s)";
    std::string reason;
    switch (readTime(text, rate, frames)) {
        case TimeFault::None: return frames;
        case TimeFault::Fraction: reason = key ? " is " + hint : ": " + hint; break;
        case TimeFault::NeedsRate:
            reason = key ? " is in seconds, which need a frame rate (--rate)"
                         : ": seconds need a frame rate (--rate)";
            break;
        default: reason = key ? " is not " + range : ": expected " + range; break;
    }
    throw Error(ErrorKind::Usage, subject + reason);
}

// A parameter's integer: a whole number within int32.
bool readInt32(const std::string& s, int64_t& out) {
    return readWhole(s, out) && out >= INT32_MIN && out <= INT32_MAX;
}

// Degrees written "1.5", "-0.5", "15deg", "1.5deg" as tenths; false when
// `s` is not such a text or not a whole number of tenths.
bool readDegrees(std::string s, int64_t& tenths, bool& fractional) {
    fractional = false;
    bool suffix = false;
    if (s.size() > 3 && lower(s.substr(s.size() - 3)) == "deg") {
        s.resize(s.size() - 3);
        suffix = true;
    }
    const std::size_t dot = s.find('.');
    if (dot == std::string::npos) {
        if (!suffix || !readInt32(s, tenths)) return false;
        tenths *= 10;
        return true;
    }
    std::string whole = s.substr(0, dot), frac = s.substr(dot + 1);
    while (frac.size() > 1 && frac.back() == '0') frac.pop_back();
    bool digits = !frac.empty();
    for (char c : frac) digits = digits && isDigit(c);
    if (!digits || frac.size() > 1) {
        fractional = digits;
        return false;
    }
    const bool negative = !whole.empty() && whole[0] == '-';
    if (whole == "-" || whole == "+" || whole.empty()) whole += "0";
    int64_t w;
    if (!readInt32(whole, w)) return false;
    tenths = w * 10 + (negative ? -1 : 1) * (frac[0] - '0');
    return true;
}

int hexDigit(char c) {
    if (isDigit(c)) return c - '0';
    c = char(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

bool readHex(const std::string& s, std::size_t from, std::size_t digits, uint32_t& out) {
    if (s.size() != from + digits) return false;
    out = 0;
    for (std::size_t i = from; i < s.size(); ++i) {
        const int d = hexDigit(s[i]);
        if (d < 0) return false;
        out = out << 4 | uint32_t(d);
    }
    return true;
}

}  // namespace

bool readWhole(const std::string& s, int64_t& out) {
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
    if (i == s.size() || s.size() - i > 18) return false;
    int64_t v = 0;
    for (; i < s.size(); ++i) {
        if (!isDigit(s[i])) return false;
        v = v * 10 + (s[i] - '0');
    }
    out = negative ? -v : v;
    return true;
}

uint32_t parseCount(const std::string& option, const std::string& text, uint32_t limit,
                    uint32_t minimum) {
    int64_t v;
    if (!readWhole(text, v) || v < int64_t(minimum) || v > int64_t(limit))
        refuse(option + " " + text,
               "expected a whole number " + std::to_string(minimum) + ".." + std::to_string(limit));
    return uint32_t(v);
}

int32_t parseWhole(const std::string& option, const std::string& text, int32_t minimum,
                   int32_t maximum, const std::string& what) {
    int64_t v;
    if (!readWhole(text, v) || v < minimum || v > maximum)
        refuse(option + " " + text, "expected " + what);
    return int32_t(v);
}

double parseRate(const std::string& option, const std::string& text) {
    const std::size_t slash = text.find('/');
    double rate = -1.0, num, den;
    if (slash == std::string::npos) {
        if (readDecimal(text, num)) rate = num;
    } else if (readDecimal(text.substr(0, slash), num) &&
               readDecimal(text.substr(slash + 1), den) && den > 0.0) {
        rate = num / den;
    }
    if (!(rate > 0.0) || rate > 1000.0)
        refuse(option + " " + text, "expected frames a second, e.g. 25");
    return rate;
}

uint32_t parseFrames(const std::string& option, const std::string& text, double rate) {
    return timeOrRefuse(option + " " + text, false, text, rate);
}

Size parseSize(const std::string& option, const std::string& text, SizeMinimum minimum) {
    const std::size_t x = text.find('x');
    int64_t w = 0, h = 0;
    const bool ok = x != std::string::npos && x > 0 && isDigit(text[0]) && x + 1 < text.size() &&
                    isDigit(text[x + 1]) && readWhole(text.substr(0, x), w) &&
                    readWhole(text.substr(x + 1), h);
    if (!ok || w < minimum.width || w > kMaxSide || h < minimum.height || h > kMaxSide ||
        (minimum.evenHeight && h % 2 != 0))
        refuse(option + " " + text,
               "expected WIDTHxHEIGHT, width " + std::to_string(minimum.width) + ".." +
                   std::to_string(kMaxSide) + ", height " +
                   (minimum.evenHeight ? "an even number " : "") + std::to_string(minimum.height) +
                   ".." + std::to_string(kMaxSide) + " (720x576)");
    return Size{int32_t(w), int32_t(h)};
}

Rect parseRect(const std::string& option, const std::string& text) {
    const std::vector<std::string> parts = splitList(text, ',');
    int64_t v[4];
    bool ok = parts.size() == 4;
    for (std::size_t i = 0; ok && i < 4; ++i)
        ok = readWhole(parts[i], v[i]) && v[i] >= 0 && v[i] <= 32767;
    if (!ok || v[2] == 0 || v[3] == 0)
        refuse(option + " " + text, "expected x,y,w,h (x, y >= 0; w, h >= 1)");
    return Rect{int16_t(v[0]), int16_t(v[1]), int16_t(v[2]), int16_t(v[3])};
}

Ratio parseRatio(const std::string& option, const std::string& text) {
    const std::vector<std::string> parts = splitList(text, '/');
    int64_t n, d;
    if (parts.size() != 2 || !readWhole(parts[0], n) || !readWhole(parts[1], d) || n < 1 ||
        n > 32767 || d < 1 || d > 32767)
        refuse(option + " " + text, "expected N/D, each a whole number 1..32767");
    return Ratio{int16_t(n), int16_t(d)};
}

FrameRange parseRange(const std::string& option, const std::string& text, uint32_t frames,
                      double rate) {
    FrameRange r;
    const std::size_t colon = text.find(':');
    const std::size_t slash = text.find('/');
    if (colon != std::string::npos) {
        r.first = parseFrames(option, text.substr(0, colon), rate);
        const std::string last = text.substr(colon + 1);
        r.last = last.empty() ? frames - 1 : parseFrames(option, last, rate);
    } else if (slash != std::string::npos) {
        const uint32_t parts = parseCount(option, text.substr(slash + 1), 1u << 20);
        const uint32_t part = parseCount(option, text.substr(0, slash), 1u << 20);
        if (part == 0 || part > parts)
            refuse(option + " " + text, "the part is one of 1.." + std::to_string(parts));
        if (parts > frames)
            refuse(option + " " + text, "the span has only " + std::to_string(frames) + " frames");
        r.first = uint32_t(uint64_t(part - 1) * frames / parts);
        r.last = uint32_t(uint64_t(part) * frames / parts) - 1;
    } else {
        refuse(option + " " + text, "expected FIRST:LAST (frames of the span) or PART/PARTS");
    }
    if (r.first > r.last || r.last >= frames)
        refuse(option + " " + text,
               "frames " + std::to_string(r.first) + ":" + std::to_string(r.last) +
                   " are not within the span's 0:" + std::to_string(frames - 1));
    return r;
}

bool readScan(const std::string& text, Scan& scan) {
    for (Scan s : {Scan::TopFirst, Scan::BottomFirst, Scan::Progressive})
        if (text == io::scanName(s)) {
            scan = s;
            return true;
        }
    // The long names of earlier releases.
    if (text == "top") scan = Scan::TopFirst;
    else if (text == "bottom") scan = Scan::BottomFirst;
    else return false;
    return true;
}

Scan parseScan(const std::string& option, const std::string& text) {
    Scan scan;
    if (!readScan(text, scan)) refuse(option + " " + text, "expected tff, bff or progressive");
    return scan;
}

const char* scanLabel(Scan scan) {
    switch (scan) {
        case Scan::TopFirst: return "Top field first";
        case Scan::BottomFirst: return "Bottom field first";
        default: return "Progressive";
    }
}

namespace {

ParameterValue parseValueOn(const Parameter& p, const std::string& text,
                            const ParameterValue& base) {
    const std::string bad = p.name + "=" + text;
    const std::string allowed = " (allowed: " + p.rangeText() + ")";
    ParameterValue out = base;
    switch (p.kind()) {
        case PARAM_SLIDER: {
            const auto* s = reinterpret_cast<const SliderDescriptor*>(p.descriptor);
            int64_t v;
            bool ok = readInt32(text, v);
            if (!ok && sliderUnit(s->head.textId).kind == SliderUnitKind::TenthDegrees) {
                bool fractional;
                ok = readDegrees(text, v, fractional) && v >= INT32_MIN && v <= INT32_MAX;
                if (!ok && fractional)
                    refuse(bad, "not a whole number of tenths of a degree" + allowed);
            }
            if (!ok) refuse(bad, "not an integer" + allowed);
            if (v < s->minimum || v > s->maximum) refuse(bad, "out of range" + allowed);
            out[0] = int32_t(v);
            return out;
        }
        case PARAM_CHOICE: {
            const auto* c = reinterpret_cast<const ChoiceDescriptor*>(p.descriptor);
            const std::vector<std::string> e = p.entries();
            int64_t v;
            if (readInt32(text, v)) {
                if (v < 0 || v >= int64_t(e.size())) refuse(bad, "out of range" + allowed);
                out[0] = int32_t(v);
                return out;
            }
            if (c->head.style != 1)
                for (std::size_t i = 0; i < e.size(); ++i)
                    if (lower(e[i]) == lower(text)) {
                        out[0] = int32_t(i);
                        return out;
                    }
            refuse(bad, "not a value or entry" + allowed);
        }
        case PARAM_COLOUR: {
            uint32_t v;
            if (!text.empty() && text[0] == '#' && readHex(text, 1, 6, v)) {
                out[0] = int32_t(io::pixelWordOfRgb(uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)));
                return out;
            }
            if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') &&
                readHex(text, 2, 8, v)) {
                // Bytes in memory order: the first two digits are byte 0.
                out[0] = int32_t((v >> 24) | (v >> 8 & 0xFF00u) | (v << 8 & 0xFF0000u) | (v << 24));
                return out;
            }
            refuse(bad, "not a colour" + allowed);
        }
        case PARAM_POSITION: {
            const auto* d = reinterpret_cast<const PositionDescriptor*>(p.descriptor);
            std::vector<int64_t> parts;
            for (const std::string& piece : splitList(text, ',')) {
                int64_t v;
                if (!readInt32(piece, v)) refuse(bad, "not a list of integers" + allowed);
                parts.push_back(v);
            }
            if (parts.size() != 2 && parts.size() != 4)
                refuse(bad, "expected x,y or x,y,w,h" + allowed);
            for (int i = 0; i < 2; ++i)
                if (parts[i] < INT16_MIN || parts[i] > INT16_MAX)
                    refuse(bad, "x and y must lie within -32768..32767");
            if (parts.size() == 4 && (parts[2] < d->minWidth || parts[2] > d->maxWidth ||
                                      parts[3] < d->minHeight || parts[3] > d->maxHeight))
                refuse(bad, "size out of range" + allowed);
            for (std::size_t i = 0; i < parts.size(); ++i) out[i] = int32_t(parts[i]);
            return out;
        }
        default: refuse(bad, "a group heading takes no value");
    }
}

}  // namespace

ParameterValue parseParameterValue(const Parameter& parameter, const std::string& text) {
    return parseValueOn(parameter, text, readParameter(parameter.descriptor));
}

ParameterValue readParameter(const ParamDescriptor* d) {
    switch (d->kind) {
        case PARAM_SLIDER: return {reinterpret_cast<const SliderDescriptor*>(d)->value, 0, 0, 0};
        case PARAM_CHOICE:
            return {int32_t(reinterpret_cast<const ChoiceDescriptor*>(d)->value), 0, 0, 0};
        case PARAM_COLOUR:
            return {int32_t(reinterpret_cast<const ColourDescriptor*>(d)->value), 0, 0, 0};
        case PARAM_POSITION: {
            const auto* p = reinterpret_cast<const PositionDescriptor*>(d);
            return {p->posX, p->posY, p->areaWidth, p->areaHeight};
        }
        default: return {0, 0, 0, 0};
    }
}

void writeParameter(ParamDescriptor* d, const ParameterValue& v) {
    switch (d->kind) {
        case PARAM_SLIDER: reinterpret_cast<SliderDescriptor*>(d)->value = v[0]; break;
        case PARAM_CHOICE: reinterpret_cast<ChoiceDescriptor*>(d)->value = uint32_t(v[0]); break;
        case PARAM_COLOUR: reinterpret_cast<ColourDescriptor*>(d)->value = uint32_t(v[0]); break;
        case PARAM_POSITION: {
            auto* p = reinterpret_cast<PositionDescriptor*>(d);
            p->posX = int16_t(v[0]);
            p->posY = int16_t(v[1]);
            p->areaWidth = int16_t(v[2]);
            p->areaHeight = int16_t(v[3]);
            break;
        }
        default: break;
    }
}

std::vector<Key> parseKeys(const Parameter& parameter, const std::string& keys, double rate) {
    const std::string name = parameter.name + "=" + keys;
    std::vector<Key> out;
    // A position given as x,y keeps the size of the key before it (the
    // descriptor's for the first).
    ParameterValue base = readParameter(parameter.descriptor);
    // Split at commas; a piece without "@" belongs to the key that follows.
    std::string value;
    std::size_t from = 0;
    while (from <= keys.size()) {
        std::size_t comma = keys.find(',', from);
        if (comma == std::string::npos) comma = keys.size();
        const std::string piece = keys.substr(from, comma - from);
        from = comma + 1;
        const std::size_t at = piece.find('@');
        if (piece.empty()) refuse(name, "an empty entry between commas (or at an end)");
        value += (value.empty() ? "" : ",") + piece.substr(0, at);
        if (at == std::string::npos) {
            if (from > keys.size()) refuse(name, "\"" + value + "\" has no key time (@)");
            continue;
        }
        const std::string time = piece.substr(at + 1);
        const double frame = timeOrRefuse(name + ": key time \"" + time + "\"", true, time, rate);
        if (!out.empty() && frame <= out.back().frame) refuse(name, "key times must increase");
        base = parseValueOn(parameter, value, base);
        out.push_back({frame, base});
        value.clear();
    }
    return out;
}

}  // namespace fieldfx::runtime
