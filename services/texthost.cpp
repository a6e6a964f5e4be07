// texthost: printf-style formatting into 16-bit characters for slider
// formatters. The host registers the buffer it hands a formatter and its size;
// sxprintf writes only inside it, cutting the text and always terminating it.
//
// Conversions: d i u x X (an `l` length means a 32-bit value, as `long` is on
// the operators' original platform), c, s (a 16-bit string) and %; flags
// - + space 0 #, width and precision as digits or `*`. Anything else after a
// % is written out as it stands.
#include <cstdarg>
#include <cstdint>
#include <cstdio>

#include "fieldfx/services/backend.h"
#include "service_backend.h"

namespace {

// Per thread: hosts format slider values on whichever thread asks.
thread_local char16_t* registeredBuffer = nullptr;
thread_local int32_t registeredCapacity = 0;

// Width and precision beyond this only pad text that no buffer could hold.
constexpr int32_t kMaxField = 1 << 20;

// Characters go to the buffer while there is room before the terminator;
// the rest of the text is dropped.
class Output {
public:
    Output(char16_t* buffer, int32_t room) : buffer_(buffer), room_(room) {}

    void put(char16_t c) {
        if (count_ < room_) buffer_[count_++] = c;
    }
    void repeat(char16_t c, int32_t n) {
        for (; n > 0 && count_ < room_; --n) buffer_[count_++] = c;
    }
    bool full() const { return count_ >= room_; }
    int32_t finish() {
        buffer_[count_] = u'\0';
        return count_;
    }

private:
    char16_t* buffer_;
    int32_t room_;
    int32_t count_ = 0;
};

struct Directive {
    bool left = false, plus = false, space = false, zero = false, alternate = false;
    int32_t width = 0;
    int32_t precision = -1;  // -1: none given
};

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

int32_t readNumber(const char16_t*& p) {
    int32_t n = 0;
    while (isDigit(*p)) {
        if (n < kMaxField) n = n * 10 + int32_t(*p - u'0');
        ++p;
    }
    return n < kMaxField ? n : kMaxField;
}

// Pads `body` (prefix = sign or 0x, then precision zeros, then digits) to the
// width: on the right with `-`, with zeros after the prefix for `0` when no
// precision is given, otherwise with blanks on the left.
void putPadded(Output& out, const Directive& d, const char16_t* prefix, int32_t prefixLength,
               int32_t zeros, const char16_t* digits, int32_t digitCount) {
    const int32_t length = prefixLength + zeros + digitCount;
    const int32_t pad = d.width > length ? d.width - length : 0;
    const bool zeroPad = d.zero && !d.left && d.precision < 0;
    if (!d.left && !zeroPad) out.repeat(u' ', pad);
    for (int32_t i = 0; i < prefixLength; ++i) out.put(prefix[i]);
    if (zeroPad) out.repeat(u'0', pad);
    out.repeat(u'0', zeros);
    for (int32_t i = 0; i < digitCount; ++i) out.put(digits[i]);
    if (d.left) out.repeat(u' ', pad);
}

void putInteger(Output& out, const Directive& d, uint32_t magnitude, bool negative, char16_t conv) {
    const bool isSigned = conv == u'd' || conv == u'i';
    const uint32_t base = (conv == u'x' || conv == u'X') ? 16u : 10u;
    const char16_t* digitSet = conv == u'X' ? u"0123456789ABCDEF" : u"0123456789abcdef";

    char16_t digits[16];
    int32_t count = 0;
    for (uint32_t v = magnitude; v != 0; v /= base) digits[count++] = digitSet[v % base];
    if (magnitude == 0 && d.precision != 0) digits[count++] = u'0';  // precision 0 prints no 0
    for (int32_t i = 0, j = count - 1; i < j; ++i, --j) {
        const char16_t t = digits[i];
        digits[i] = digits[j];
        digits[j] = t;
    }

    char16_t prefix[2];
    int32_t prefixLength = 0;
    if (isSigned) {
        if (negative) prefix[prefixLength++] = u'-';
        else if (d.plus) prefix[prefixLength++] = u'+';
        else if (d.space) prefix[prefixLength++] = u' ';
    } else if (base == 16 && d.alternate && magnitude != 0) {
        prefix[prefixLength++] = u'0';
        prefix[prefixLength++] = conv;
    }
    const int32_t zeros = d.precision > count ? d.precision - count : 0;
    putPadded(out, d, prefix, prefixLength, zeros, digits, count);
}

void putText(Output& out, const Directive& d, const char16_t* text) {
    static const char16_t kNull[] = u"(null)";
    if (text == nullptr) text = kNull;
    int32_t length = 0;
    while (text[length] != u'\0' && (d.precision < 0 || length < d.precision)) ++length;
    Directive plain = d;
    plain.zero = false;
    plain.precision = -1;
    putPadded(out, plain, nullptr, 0, 0, text, length);
}

int32_t formatInto(Output& out, const char16_t* format, va_list args) {
    const char16_t* p = format;
    while (*p != u'\0' && !out.full()) {
        if (*p != u'%') {
            out.put(*p++);
            continue;
        }
        const char16_t* start = p++;
        Directive d;
        for (;; ++p) {
            if (*p == u'-') d.left = true;
            else if (*p == u'+') d.plus = true;
            else if (*p == u' ') d.space = true;
            else if (*p == u'0') d.zero = true;
            else if (*p == u'#') d.alternate = true;
            else break;
        }
        if (*p == u'*') {
            ++p;
            const int32_t w = va_arg(args, int);
            if (w < 0) {
                d.left = true;
                d.width = w < -kMaxField ? kMaxField : -w;
            } else {
                d.width = w > kMaxField ? kMaxField : w;
            }
        } else {
            d.width = readNumber(p);
        }
        if (*p == u'.') {
            ++p;
            if (*p == u'*') {
                ++p;
                const int32_t q = va_arg(args, int);
                d.precision = q < 0 ? -1 : (q > kMaxField ? kMaxField : q);
            } else {
                d.precision = readNumber(p);
            }
        }
        bool isLong = false;
        if (*p == u'l') {
            isLong = true;
            ++p;
        }
        const char16_t conv = *p;
        switch (conv) {
            case u'd':
            case u'i': {
                const int32_t v = isLong ? va_arg(args, int32_t) : va_arg(args, int);
                const uint32_t magnitude = v < 0 ? 0u - uint32_t(v) : uint32_t(v);
                putInteger(out, d, magnitude, v < 0, conv);
                break;
            }
            case u'u':
            case u'x':
            case u'X': {
                const uint32_t v = isLong ? va_arg(args, uint32_t) : va_arg(args, unsigned);
                putInteger(out, d, v, false, conv);
                break;
            }
            case u'c': {
                const char16_t c[1] = {char16_t(va_arg(args, int))};
                Directive plain = d;
                plain.zero = false;
                plain.precision = -1;
                putPadded(out, plain, nullptr, 0, 0, c, 1);
                break;
            }
            case u's': putText(out, d, va_arg(args, const char16_t*)); break;
            case u'%': out.put(u'%'); break;
            default:
                // Unknown (or cut short by the end of the format): as it stands.
                for (const char16_t* q = start; q < p; ++q) out.put(*q);
                if (conv == u'\0') return out.finish();
                out.put(conv);
                break;
        }
        ++p;
    }
    return out.finish();
}

}  // namespace

extern "C" {

void texthostSetBuffer(char16_t* buffer, int32_t capacity) {
    registeredBuffer = buffer;
    registeredCapacity = buffer != nullptr && capacity > 0 ? capacity : 0;
}

int32_t sxprintf(char16_t* buffer, const char16_t* format, ...) {
    if (registeredBuffer == nullptr || registeredCapacity == 0) {
        fieldfx::noBackend("texthost", "sxprintf");
        return -1;
    }
    // The room is what lies between `buffer` and the end of the registered
    // buffer; a buffer that does not start on a character inside it gets
    // nothing written.
    const uintptr_t first = reinterpret_cast<uintptr_t>(registeredBuffer);
    const uintptr_t at = reinterpret_cast<uintptr_t>(buffer);
    const uintptr_t offset = at - first;  // wraps to a huge value below `first`
    if (buffer == nullptr || at < first || offset % sizeof(char16_t) != 0 ||
        offset / sizeof(char16_t) >= uintptr_t(registeredCapacity)) {
        std::fprintf(stderr, "fieldfx: texthost: sxprintf buffer outside the registered one\n");
        return -1;
    }
    const int32_t room = registeredCapacity - int32_t(offset / sizeof(char16_t)) - 1;
    Output out(buffer, room);
    if (format == nullptr) return out.finish();
    va_list args;
    va_start(args, format);
    const int32_t written = formatInto(out, format, args);
    va_end(args);
    return written;
}
}
