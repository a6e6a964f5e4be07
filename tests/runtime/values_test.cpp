// Every kind of text a user gives, in one table of good and bad inputs: the
// value each good text gives, and for each bad one the whole message (the
// option or parameter, the text, what was expected).
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>

#include "fieldfx/helpers/contract/params.h"
#include "fieldfx/runtime/error.h"
#include "fieldfx/runtime/parameters.h"
#include "fieldfx/runtime/values.h"

using namespace fieldfx::runtime;

namespace {

std::string number(double v) {
    char b[40];
    std::snprintf(b, sizeof b, "%.17g", v);
    return b;
}

std::string list(const ParameterValue& v) {
    return std::to_string(v[0]) + "," + std::to_string(v[1]) + "," + std::to_string(v[2]) + "," +
           std::to_string(v[3]);
}

// Parameters to read values for: an angle slider (tenths of a degree), a
// numbered choice, a colour and a sizeable marker at 200,100 of 64x32.
SliderDescriptor angle{{PARAM_SLIDER, 510, 2}, 0, nullptr, -3600, 3600, 0};
const uint32_t kNumbers[] = {1, 2, 3, 0};
ChoiceDescriptor steps = fieldfx::makeChoice(1830, kNumbers, 0, 1);
ColourDescriptor colour = fieldfx::makeColour(530, BLACK_PIXEL);
PositionDescriptor area{{PARAM_POSITION, 740, 18}, 16, 8, 999, 999, 200, 100, 64, 32};

std::string keys(const Parameter& p, const std::string& text, double rate) {
    std::string out;
    for (const Key& k : parseKeys(p, text, rate))
        out += (out.empty() ? "" : " ") + list(k.value) + "@" + number(k.frame);
    return out;
}

// Each kind of value, read from a text into a text that shows it.
const std::map<std::string, std::function<std::string(const std::string&)>> kReaders = {
    {"count",
     [](const std::string& t) { return std::to_string(parseCount("--threads", t, 256, 1)); }},
    {"big count",
     [](const std::string& t) { return std::to_string(parseCount("--position", t, UINT32_MAX)); }},
    {"aspect",
     [](const std::string& t) {
         return std::to_string(
             parseWhole("--pixel-aspect", t, 1, 32767, "the pixel aspect x 1000, 1..32767"));
     }},
    {"rate", [](const std::string& t) { return number(parseRate("--rate", t)); }},
    {"time", [](const std::string& t) { return std::to_string(parseFrames("--start", t, 25.0)); }},
    {"time ntsc",
     [](const std::string& t) {
         return std::to_string(parseFrames("--duration", t, 30000.0 / 1001.0));
     }},
    {"time no rate",
     [](const std::string& t) { return std::to_string(parseFrames("--start", t, 0)); }},
    {"clip size",
     [](const std::string& t) {
         const Size s = parseSize("--size", t, {16, 16});
         return std::to_string(s.width) + "x" + std::to_string(s.height);
     }},
    {"frame size",
     [](const std::string& t) {
         const Size s = parseSize("--size", t, {1, 2, true});
         return std::to_string(s.width) + "x" + std::to_string(s.height);
     }},
    {"rect",
     [](const std::string& t) {
         const Rect r = parseRect("--active", t);
         return list({r.x, r.y, r.width, r.height});
     }},
    {"ratio",
     [](const std::string& t) {
         const Ratio r = parseRatio("--scale", t);
         return std::to_string(r.num) + "/" + std::to_string(r.den);
     }},
    {"range",
     [](const std::string& t) {
         const FrameRange r = parseRange("--range", t, 100, 25.0);
         return std::to_string(r.first) + ":" + std::to_string(r.last);
     }},
    {"order",
     [](const std::string& t) { return std::string(scanName(parseScan("--field-order", t))); }},
    {"angle",
     [](const std::string& t) {
         return list(parseParameterValue({"Angle", 1, &angle.head}, t));
     }},
    {"choice",
     [](const std::string& t) {
         return list(parseParameterValue({"Steps", 2, &steps.head}, t));
     }},
    {"colour",
     [](const std::string& t) {
         return list(parseParameterValue({"Fill", 3, &colour.head}, t));
     }},
    {"position",
     [](const std::string& t) {
         return list(parseParameterValue({"Area", 4, &area.head}, t));
     }},
    {"angle keys",
     [](const std::string& t) {
         return keys({"Angle", 1, &angle.head}, t, 25.0);
     }},
    {"position keys",
     [](const std::string& t) {
         return keys({"Area", 4, &area.head}, t, 25.0);
     }},
    {"keys no rate",
     [](const std::string& t) {
         return keys({"Angle", 1, &angle.head}, t, 0.0);
     }},
};

struct Case {
    const char* kind;
    const char* text;
    std::string result;  // the value shown, or the error message
};

// What a time, a built-in clip's size and a generated frame's size allow.
const std::string kTime = "a frame 0..1073741824 or seconds such as 2s (at most 1000000)";
const std::string kClip = ": expected WIDTHxHEIGHT, width 16..8192, height 16..8192 (720x576)";
const std::string kFrame =
    ": expected WIDTHxHEIGHT, width 1..8192, height an even number 2..8192 (720x576)";
const std::string kAngleRange =
    " (allowed: -3600..3600 (degrees -360.0..360.0 with a point or \"deg\"))";

const Case kCases[] = {
    // Whole numbers: a sign, digits, the caller's range.
    {"count", "4", "4"},
    {"count", "+256", "256"},
    {"count", "0", "--threads 0: expected a whole number 1..256"},
    {"count", "257", "--threads 257: expected a whole number 1..256"},
    {"count", "4.0", "--threads 4.0: expected a whole number 1..256"},
    {"count", " 4", "--threads  4: expected a whole number 1..256"},
    {"count", "", "--threads : expected a whole number 1..256"},
    {"count", "-", "--threads -: expected a whole number 1..256"},
    {"count", "0x10", "--threads 0x10: expected a whole number 1..256"},
    {"count", "99999999999999999999",
     "--threads 99999999999999999999: expected a whole number 1..256"},
    {"big count", "4294967295", "4294967295"},  // ten digits are read (once nine at most)
    {"big count", "4294967296", "--position 4294967296: expected a whole number 0..4294967295"},
    {"big count", "-1", "--position -1: expected a whole number 0..4294967295"},
    {"aspect", "1067", "1067"},
    {"aspect", "0", "--pixel-aspect 0: expected the pixel aspect x 1000, 1..32767"},
    // Rates: a decimal or a ratio, 0 < rate <= 1000.
    {"rate", "25", "25"},
    {"rate", "29.97", "29.969999999999999"},
    {"rate", "30000/1001", "29.970029970029969"},
    {"rate", "1000", "1000"},
    {"rate", ".5", "0.5"},
    {"rate", "1000.5", "--rate 1000.5: expected frames a second, e.g. 25"},
    {"rate", "0", "--rate 0: expected frames a second, e.g. 25"},
    {"rate", "25/0", "--rate 25/0: expected frames a second, e.g. 25"},
    {"rate", "-25", "--rate -25: expected frames a second, e.g. 25"},
    {"rate", "1e2", "--rate 1e2: expected frames a second, e.g. 25"},
    {"rate", "nan", "--rate nan: expected frames a second, e.g. 25"},
    {"rate", "25/", "--rate 25/: expected frames a second, e.g. 25"},
    // Times: frames, or seconds on the nearest frame (halves up).
    {"time", "0", "0"},
    {"time", "50", "50"},
    {"time", "2s", "50"},
    {"time", "0.5S", "13"},  // 12.5 frames
    {"time", "2.0", "2"},
    {"time", "1073741824", "1073741824"},
    {"time", "1.5", "--start 1.5: not a whole frame (seconds take an s: 1.5s)"},
    {"time", "1073741825", "--start 1073741825: expected " + kTime},
    {"time", "1000001s", "--start 1000001s: expected " + kTime},
    {"time", "-1", "--start -1: expected " + kTime},
    {"time", "s", "--start s: expected " + kTime},
    {"time", "2 s", "--start 2 s: expected " + kTime},
    {"time", "1e1s", "--start 1e1s: expected " + kTime},
    {"time ntsc", "1s", "30"},  // 29.97 frames
    {"time ntsc", "10s", "300"},
    {"time no rate", "12", "12"},
    {"time no rate", "1s", "--start 1s: seconds need a frame rate (--rate)"},
    // Sizes: WIDTHxHEIGHT, sides at most 8192, the smallest by use.
    {"clip size", "720x576", "720x576"},
    {"clip size", "8192x16", "8192x16"},
    {"clip size", "15x576", "--size 15x576" + kClip},
    {"clip size", "720x8193", "--size 720x8193" + kClip},
    {"clip size", "720X576", "--size 720X576" + kClip},
    {"clip size", "+720x576", "--size +720x576" + kClip},
    {"clip size", "720x-576", "--size 720x-576" + kClip},
    {"clip size", "720x576x2", "--size 720x576x2" + kClip},
    {"frame size", "16x8", "16x8"},
    {"frame size", "1x2", "1x2"},
    {"frame size", "16x7", "--size 16x7" + kFrame},
    {"frame size", "32767x2",  // once allowed: 32767 x 65534 frames
     "--size 32767x2" + kFrame},
    // Rectangles, ratios.
    {"rect", "0,0,720,288", "0,0,720,288"},
    {"rect", "8,4,1,1", "8,4,1,1"},
    {"rect", "0,0,0,288", "--active 0,0,0,288: expected x,y,w,h (x, y >= 0; w, h >= 1)"},
    {"rect", "-1,0,8,8", "--active -1,0,8,8: expected x,y,w,h (x, y >= 0; w, h >= 1)"},
    {"rect", "0,0,32768,8", "--active 0,0,32768,8: expected x,y,w,h (x, y >= 0; w, h >= 1)"},
    {"rect", "0,0,8", "--active 0,0,8: expected x,y,w,h (x, y >= 0; w, h >= 1)"},
    {"ratio", "2/3", "2/3"},
    {"ratio", "1/0", "--scale 1/0: expected N/D, each a whole number 1..32767"},
    {"ratio", "-1/2", "--scale -1/2: expected N/D, each a whole number 1..32767"},
    {"ratio", "2", "--scale 2: expected N/D, each a whole number 1..32767"},
    // Ranges of a span of 100 frames at 25 frames a second.
    {"range", "10:19", "10:19"},
    {"range", "1s:", "25:99"},
    {"range", "2/4", "25:49"},
    {"range", "4/4", "75:99"},
    {"range", "5/4", "--range 5/4: the part is one of 1..4"},
    {"range", "1/101", "--range 1/101: the span has only 100 frames"},
    {"range", "50:100", "--range 50:100: frames 50:100 are not within the span's 0:99"},
    {"range", "20:10", "--range 20:10: frames 20:10 are not within the span's 0:99"},
    {"range", "10-20", "--range 10-20: expected FIRST:LAST (frames of the span) or PART/PARTS"},
    {"range", "x:5", "--range x: expected " + kTime},
    // Field orders, with the long names of earlier releases.
    {"order", "tff", "tff"},
    {"order", "top", "tff"},
    {"order", "bff", "bff"},
    {"order", "bottom", "bff"},
    {"order", "progressive", "progressive"},
    {"order", "TFF", "--field-order TFF: expected tff, bff or progressive"},
    {"order", "", "--field-order : expected tff, bff or progressive"},
    // Parameter values by kind.
    {"angle", "450", "450,0,0,0"},
    {"angle", "-1.5", "-15,0,0,0"},
    {"angle", "15deg", "150,0,0,0"},
    {"angle", "1.25", "Angle=1.25: not a whole number of tenths of a degree" + kAngleRange},
    {"angle", "3601", "Angle=3601: out of range" + kAngleRange},
    {"angle", "99999999999deg", "Angle=99999999999deg: not an integer" + kAngleRange},
    {"choice", "2", "2,0,0,0"},
    {"choice", "3", "Steps=3: out of range (allowed: 0..2 (entries 1..3))"},
    {"colour", "0x12345678", "2018915346,0,0,0"},  // 0x78563412: byte 0 is 0x12
    {"colour", "red",
     "Fill=red: not a colour (allowed: #RRGGBB, or 0x + pixel bytes (opacity, Cb, Cr, luma))"},
    {"position", "10,-20", "10,-20,64,32"},  // the size stays
    {"position", "1,2,16,999", "1,2,16,999"},
    {"position", "1,2,15,8",
     "Area=1,2,15,8: size out of range (allowed: x,y or x,y,w,h (w 16..999, h 8..999))"},
    {"position", "40000,0", "Area=40000,0: x and y must lie within -32768..32767"},
    {"position", "1,,2",
     "Area=1,,2: not a list of integers (allowed: x,y or x,y,w,h (w 16..999, h 8..999))"},
    // Key lists: times as every time is read, values as the parameter's.
    {"angle keys", "0@0,45deg@2s", "0,0,0,0@0 450,0,0,0@50"},
    {"angle keys", "10@0.5s", "10,0,0,0@13"},  // on a frame, as --start is
    {"position keys", "0,0,16,8@0,5,5@10",
     "0,0,16,8@0 5,5,16,8@10"},  // x,y keeps the key before's size
    {"angle keys", "10@5,20@2", "Angle=10@5,20@2: key times must increase"},
    {"angle keys", "10@5,20@5", "Angle=10@5,20@5: key times must increase"},
    {"angle keys", "0@0,45", "Angle=0@0,45: \"45\" has no key time (@)"},
    {"angle keys", "0@0,,1@2", "Angle=0@0,,1@2: an empty entry between commas (or at an end)"},
    {"angle keys", "0@1.5",
     "Angle=0@1.5: key time \"1.5\" is not a whole frame (seconds take an s: 1.5s)"},
    {"angle keys", "0@x", "Angle=0@x: key time \"x\" is not " + kTime},
    {"angle keys", "0@1e3",  // once read as frame 1000
     "Angle=0@1e3: key time \"1e3\" is not " + kTime},
    {"angle keys", "9999@0", "Angle=9999: out of range" + kAngleRange},
    {"keys no rate", "0@1s",
     "Angle=0@1s: key time \"1s\" is in seconds, which need a frame rate (--rate)"},
};

TEST(Values, EveryKindOfTextGivesItsValueOrNamesWhatIsWrong) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(std::string(c.kind) + " \"" + c.text + "\"");
        std::string result;
        try {
            result = kReaders.at(c.kind)(c.text);
        } catch (const Error& e) {
            EXPECT_EQ(e.kind(), ErrorKind::Usage);
            result = e.what();
        }
        EXPECT_EQ(result, c.result);
    }
}

// Values and key lists are read without writing into the descriptor: here
// it lies in memory that cannot be written (a write would end the test).
// The one way in is writeParameter.
TEST(Values, ReadingNeverWritesTheDescriptor) {
    const std::size_t page = std::size_t(sysconf(_SC_PAGESIZE));
    void* memory = mmap(nullptr, page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(memory, MAP_FAILED);
    auto* d = static_cast<PositionDescriptor*>(std::memcpy(memory, &area, sizeof area));
    ASSERT_EQ(mprotect(memory, page, PROT_READ), 0);
    const Parameter p{"Area", 4, &d->head};
    EXPECT_EQ(list(parseParameterValue(p, "1,2")), "1,2,64,32");
    EXPECT_EQ(keys(p, "1,2,16,8@0,3,4@5", 25.0), "1,2,16,8@0 3,4,16,8@5");
    EXPECT_THROW(parseKeys(p, "1,2,16,8@0,3,4@x", 25.0), Error);
    ASSERT_EQ(mprotect(memory, page, PROT_READ | PROT_WRITE), 0);
    writeParameter(&d->head, {7, 8, 20, 10});
    EXPECT_EQ(list(readParameter(&d->head)), "7,8,20,10");
    munmap(memory, page);
}

// The editors' "Field order" entries name the orders in the value layer's
// order (a project stores the entry's number).
TEST(Values, FieldOrderLabelsInTheirEntryOrder) {
    EXPECT_STREQ(scanLabel(Scan(0)), "Top field first");
    EXPECT_STREQ(scanLabel(Scan(1)), "Bottom field first");
    EXPECT_STREQ(scanLabel(Scan(2)), "Progressive");
}

}  // namespace
