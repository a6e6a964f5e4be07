// sxprintf formats like C's printf into 16-bit characters and never writes
// outside the buffer the host registered.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>

#include "fieldfx/services/backend.h"
#include "formatter.h"

using testhost::FormattedText;
using testhost::formatInBuffer;

namespace {

// A string argument in both widths.
struct Str {
    const char16_t* wide;
    const char* narrow;
};

template <typename T>
T wideArg(T v) { return v; }
inline const char16_t* wideArg(Str s) { return s.wide; }
template <typename T>
T narrowArg(T v) { return v; }
inline const char* narrowArg(Str s) { return s.narrow; }

// The UTF-8 format as 16-bit characters (code points below U+0800 suffice).
std::u16string fromUtf8(const std::string& s) {
    std::u16string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            out += char16_t(c);
        } else {
            out += char16_t(((c & 0x1F) << 6) | (static_cast<unsigned char>(s[++i]) & 0x3F));
        }
    }
    return out;
}

// The format for this machine's printf: `l` means 32-bit in sxprintf (as
// `long` is on the operators' original platform) and `int` is 32-bit here, so
// the `l` is dropped.
std::string withoutLongModifier(const std::string& format) {
    std::string out;
    bool inDirective = false;
    for (char c : format) {
        if (inDirective && c == 'l') continue;
        if (inDirective && std::string("diuxXcs%").find(c) != std::string::npos) inDirective = false;
        else if (!inDirective && c == '%') inDirective = true;
        out += c;
    }
    return out;
}

// sxprintf on a roomy registered buffer gives `expected`, which is also what
// C's printf makes of the same format and values.
template <typename... A>
void expectFormat(const char* format, const char* expected, A... args) {
    SCOPED_TRACE(std::string("format \"") + format + "\"");
    char narrow[256];
    std::snprintf(narrow, sizeof narrow, withoutLongModifier(format).c_str(), narrowArg(args)...);
    EXPECT_EQ(std::string(narrow), expected) << "the table disagrees with C's printf";

    const std::u16string wideFormat = fromUtf8(format);
    const FormattedText t = formatInBuffer(
        128, [&](char16_t* b) { return sxprintf(b, wideFormat.c_str(), wideArg(args)...); });
    EXPECT_EQ(t.utf8(), expected);
    EXPECT_EQ(t.result, int32_t(t.text.size()));
    EXPECT_TRUE(t.terminated);
    EXPECT_TRUE(t.untouched);
}

TEST(Sxprintf, SignedDecimal) {
    expectFormat("%d", "0", 0);
    expectFormat("%d", "-42", -42);
    expectFormat("%i", "2147483647", INT_MAX);
    expectFormat("%d", "-2147483648", INT_MIN);
    expectFormat("%ld", "-7", int32_t(-7));
    expectFormat("%1ld", "5", int32_t(5));
    expectFormat("%1ld", "-12345", int32_t(-12345));
    expectFormat("%ld", "-2147483648", int32_t(INT32_MIN));
}

TEST(Sxprintf, UnsignedAndHex) {
    expectFormat("%u", "3000000000", 3000000000u);
    expectFormat("%lu", "4294967295", uint32_t(4294967295u));
    expectFormat("%x", "ff", 255u);
    expectFormat("%X", "BEEF", 48879u);
    expectFormat("%lx", "deadbeef", uint32_t(0xdeadbeefu));
    expectFormat("%#x", "0xff", 255u);
    expectFormat("%#X", "0XAB", 171u);
    expectFormat("%#x", "0", 0u);
    expectFormat("%u", "4294967295", -1);
}

TEST(Sxprintf, FlagsAndWidth) {
    expectFormat("%5d", "   42", 42);
    expectFormat("%-5d|", "42   |", 42);
    expectFormat("%05d", "-0042", -42);
    expectFormat("%+d", "+5", 5);
    expectFormat("%+d", "-5", -5);
    expectFormat("% d", " 5", 5);
    expectFormat("%+ d", "+5", 5);
    expectFormat("% 05d", " 0007", 7);
    expectFormat("%-05d|", "3    |", 3);
    expectFormat("%+u", "5", 5u);
    expectFormat("%08x", "000000ff", 255u);
    expectFormat("%#08x", "0x0000ff", 255u);
    expectFormat("%#8x", "    0xff", 255u);
    expectFormat("%2d", "1234", 1234);
}

TEST(Sxprintf, Precision) {
    expectFormat("%.3d", "007", 7);
    expectFormat("%.3d", "-007", -7);
    expectFormat("%.0d", "", 0);
    expectFormat("%5.0d|", "     |", 0);
    expectFormat("%08.3d", "     042", 42);
    expectFormat("%-6.3d|", "042   |", 42);
    expectFormat("%+.2d", "+05", 5);
    expectFormat("%.4x", "00ff", 255u);
    expectFormat("%.d", "", 0);
}

TEST(Sxprintf, StarWidthAndPrecision) {
    expectFormat("%*d", "    42", 6, 42);
    expectFormat("%-*d|", "1   |", 4, 1);
    expectFormat("%*d|", "1   |", -4, 1);
    expectFormat("%.*d", "0003", 4, 3);
    expectFormat("%.*d", "3", -1, 3);
    expectFormat("%*.*d", "  003", 5, 3, 3);
}

TEST(Sxprintf, CharactersAndStrings) {
    expectFormat("%c", "A", int('A'));
    expectFormat("%3c", "  x", int('x'));
    expectFormat("%-3c|", "x  |", int('x'));
    expectFormat("%s", "hello", Str{u"hello", "hello"});
    expectFormat("%.2s", "he", Str{u"hello", "hello"});
    expectFormat("%7s", "  hello", Str{u"hello", "hello"});
    expectFormat("%-7s|", "hello  |", Str{u"hello", "hello"});
    expectFormat("%7.3s", "    hel", Str{u"hello", "hello"});
    expectFormat("%05s", "   ab", Str{u"ab", "ab"});
    expectFormat("[%s]", "[]", Str{u"", ""});
}

TEST(Sxprintf, PercentAndPlainText) {
    expectFormat("%%", "%");
    expectFormat("100%%", "100%");
    expectFormat("plain text", "plain text");
    expectFormat("", "");
    expectFormat("a=%d, b=%s, c=%x.", "a=-1, b=two, c=1f.", -1, Str{u"two", "two"}, 31u);
    expectFormat("%ld.%1ld\xC2\xB0", "45.0\xC2\xB0", int32_t(45), int32_t(0));
    expectFormat("%ld.%1ld\xC2\xB0", "-1.5\xC2\xB0", int32_t(-1), int32_t(5));
}

// Text beyond ASCII is 16-bit characters, not bytes.
TEST(Sxprintf, SixteenBitCharacters) {
    const FormattedText t = formatInBuffer(16, [](char16_t* b) {
        return sxprintf(b, u"%c|%s|\u00B0", int(u'\u00E9'), u"\u03A9\u20AC");
    });
    EXPECT_EQ(t.text, u"\u00E9|\u03A9\u20AC|\u00B0");
    EXPECT_EQ(t.result, 6);
}

// Conversions the texthost does not know are written out as they stand.
TEST(Sxprintf, UnknownConversionWrittenLiterally) {
    auto run = [](const char16_t* format) {
        return formatInBuffer(32, [&](char16_t* b) { return sxprintf(b, format, 7); });
    };
    EXPECT_EQ(run(u"%y").text, u"%y");
    EXPECT_EQ(run(u"a%5.2yb").text, u"a%5.2yb");
    EXPECT_EQ(run(u"%lf").text, u"%lf");
    EXPECT_EQ(run(u"x%").text, u"x%");
    EXPECT_EQ(run(u"x%-5").text, u"x%-5");
    // The value is still there for the next conversion.
    EXPECT_EQ(run(u"%y%d").text, u"%y7");
    EXPECT_EQ(run(u"%y").result, 2);
}

// ---- The registered buffer --------------------------------------------------

TEST(SxprintfBuffer, CutAtTheEndAndTerminated) {
    const FormattedText t =
        formatInBuffer(6, [](char16_t* b) { return sxprintf(b, u"%d", 1234567); });
    EXPECT_EQ(t.text, u"12345");
    EXPECT_EQ(t.result, 5);
    EXPECT_TRUE(t.terminated);
    EXPECT_TRUE(t.untouched);
}

TEST(SxprintfBuffer, PaddingIsCutToo) {
    const FormattedText t =
        formatInBuffer(5, [](char16_t* b) { return sxprintf(b, u"%1000000d|%s", 1, u"xyz"); });
    EXPECT_EQ(t.text, u"    ");
    EXPECT_EQ(t.result, 4);
    EXPECT_TRUE(t.untouched);
    const FormattedText s =
        formatInBuffer(5, [](char16_t* b) { return sxprintf(b, u"%-*s|", 2000000000, u"a"); });
    EXPECT_EQ(s.text, u"a   ");
    EXPECT_TRUE(s.untouched);
}

TEST(SxprintfBuffer, RoomIsCountedFromTheBufferGiven) {
    // Capacity 8, writing from character 3: four characters and the terminator.
    const FormattedText t =
        formatInBuffer(8, [](char16_t* b) { return sxprintf(b, u"%s", u"abcdefgh"); }, 3);
    EXPECT_EQ(t.text, u"abcd");
    EXPECT_EQ(t.result, 4);
    EXPECT_TRUE(t.terminated);
    EXPECT_TRUE(t.untouched);
    // From the last character only the terminator fits.
    const FormattedText last =
        formatInBuffer(8, [](char16_t* b) { return sxprintf(b, u"%d", 99); }, 7);
    EXPECT_EQ(last.text, u"");
    EXPECT_EQ(last.result, 0);
    EXPECT_TRUE(last.terminated);
    EXPECT_TRUE(last.untouched);
}

TEST(SxprintfBuffer, OneCharacterHoldsOnlyTheTerminator) {
    const FormattedText t =
        formatInBuffer(1, [](char16_t* b) { return sxprintf(b, u"abc"); });
    EXPECT_EQ(t.result, 0);
    EXPECT_TRUE(t.terminated);
    EXPECT_TRUE(t.untouched);
}

TEST(SxprintfBuffer, OutsideTheRegisteredBufferNothingIsWritten) {
    ::testing::internal::CaptureStderr();
    const FormattedText past =
        formatInBuffer(8, [](char16_t* b) { return sxprintf(b, u"abc"); }, 8);
    const FormattedText before =
        formatInBuffer(8, [](char16_t* b) { return sxprintf(b, u"abc"); }, -1);
    const FormattedText empty =
        formatInBuffer(0, [](char16_t* b) { return sxprintf(b, u"abc"); });
    ::testing::internal::GetCapturedStderr();
    for (const FormattedText& t : {past, before, empty}) {
        EXPECT_EQ(t.result, -1);
        EXPECT_TRUE(t.untouched);
    }
}

TEST(SxprintfBuffer, NoRegisteredBufferWritesNothing) {
    char16_t buffer[4] = {u'x', u'x', u'x', u'x'};
    texthostSetBuffer(nullptr, 0);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(sxprintf(buffer, u"abc"), -1);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("sxprintf"), std::string::npos);
    EXPECT_EQ(buffer[0], u'x');
    texthostSetBuffer(buffer, 4);
    EXPECT_EQ(sxprintf(buffer, u"%d", 12), 2);
    EXPECT_EQ(std::u16string(buffer), u"12");
    texthostSetBuffer(nullptr, 0);
    ::testing::internal::CaptureStderr();
    buffer[0] = u'x';
    EXPECT_EQ(sxprintf(buffer, u"abc"), -1);
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(buffer[0], u'x');
}

}  // namespace
