// Parameters by name: value syntax per kind, range checks with messages that
// name the parameter, the value and the allowed range, and the texts shown.
#include <gtest/gtest.h>

#include <cstdlib>

#include "fieldfx/helpers/contract/params.h"
#include "fieldfx/runtime/error.h"
#include "fieldfx/runtime/parameters.h"

using namespace fieldfx::runtime;

namespace {

std::string failure(Parameter& p, const std::string& text) {
    try {
        p.set(text);
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Usage);
        return e.what();
    }
    return "accepted";
}

TEST(SliderValues, IntegersWithinTheRange) {
    SliderDescriptor s = fieldfx::makeSlider(1310, 1, 200, 50);
    Parameter p{"Size", 2, &s.head};
    p.set("1");
    EXPECT_EQ(s.value, 1);
    p.set("+200");
    EXPECT_EQ(s.value, 200);
    EXPECT_EQ(failure(p, "0"), "Size=0: out of range (allowed: 1..200)");
    EXPECT_EQ(failure(p, "201"), "Size=201: out of range (allowed: 1..200)");
    EXPECT_EQ(failure(p, "abc"), "Size=abc: not an integer (allowed: 1..200)");
    EXPECT_EQ(failure(p, "1.5"), "Size=1.5: not an integer (allowed: 1..200)");
    EXPECT_EQ(failure(p, ""), "Size=: not an integer (allowed: 1..200)");
    EXPECT_EQ(failure(p, "99999999999"), "Size=99999999999: not an integer (allowed: 1..200)");
    EXPECT_EQ(s.value, 200);  // a rejected value leaves the setting alone
}

TEST(SliderValues, AngleInTenthsOrDegrees) {
    SliderDescriptor s{{PARAM_SLIDER, 510, 2}, 0, nullptr, -450, 450, 0};
    Parameter p{"Angle", 1, &s.head};
    const struct {
        const char* text;
        int32_t tenths;
    } ok[] = {{"15", 15},     {"1.5", 15},    {"-0.5", -5},   {"15deg", 150}, {"-45deg", -450},
              {"1.5deg", 15}, {"45.0", 450},  {"-45", -45},   {".5", 5},      {"2.50", 25}};
    for (const auto& c : ok) {
        p.set(c.text);
        EXPECT_EQ(s.value, c.tenths) << c.text;
    }
    const std::string range =
        " (allowed: -450..450 (degrees -45.0..45.0 with a point or \"deg\"))";
    EXPECT_EQ(failure(p, "45.1"), "Angle=45.1: out of range" + range);
    EXPECT_EQ(failure(p, "46deg"), "Angle=46deg: out of range" + range);
    EXPECT_EQ(failure(p, "1.25"), "Angle=1.25: not a whole number of tenths of a degree" + range);
    EXPECT_EQ(failure(p, "deg"), "Angle=deg: not an integer" + range);
    EXPECT_EQ(failure(p, "1.x"), "Angle=1.x: not an integer" + range);
}

TEST(SliderValues, DegreesOnlyForAngles) {
    SliderDescriptor s = fieldfx::makeSlider(1920, 0, 100, 50);
    Parameter p{"Zoom", 2, &s.head};
    EXPECT_EQ(failure(p, "5deg"), "Zoom=5deg: not an integer (allowed: 0..100)");
}

TEST(ChoiceValues, IndexOrEntryLabel) {
    const uint32_t labels[] = {311, 312, 0};
    ChoiceDescriptor c = fieldfx::makeChoice(310, labels, 1);
    Parameter p{"Conversion", 1, &c.head};
    p.set("squeeze");
    EXPECT_EQ(c.value, 0u);
    p.set("Stretch");
    EXPECT_EQ(c.value, 1u);
    p.set("0");
    EXPECT_EQ(c.value, 0u);
    EXPECT_EQ(failure(p, "2"), "Conversion=2: out of range (allowed: 0..1 or Squeeze, Stretch)");
    EXPECT_EQ(failure(p, "-1"), "Conversion=-1: out of range (allowed: 0..1 or Squeeze, Stretch)");
    EXPECT_EQ(failure(p, "wide"),
              "Conversion=wide: not a value or entry (allowed: 0..1 or Squeeze, Stretch)");
}

TEST(ChoiceValues, NumberedEntriesTakeTheValue) {
    const uint32_t numbers[] = {1, 2, 3, 4, 5, 6, 7, 8, 0};
    ChoiceDescriptor c = fieldfx::makeChoice(1830, numbers, 0, 1);
    Parameter p{"Direction", 4, &c.head};
    p.set("7");
    EXPECT_EQ(c.value, 7u);
    p.set("0");
    EXPECT_EQ(c.value, 0u);
    EXPECT_EQ(failure(p, "8"), "Direction=8: out of range (allowed: 0..7 (entries 1..8))");
    EXPECT_EQ(p.valueText(), "0 (entry 1)");
}

TEST(ColourValues, RgbConvertedAndPixelBytesInMemoryOrder) {
    ColourDescriptor c = fieldfx::makeColour(530, BLACK_PIXEL);
    Parameter p{"Background", 3, &c.head};
    EXPECT_EQ(p.valueText(), "0xFF808010 (#000000)");
    p.set("#FF0000");
    EXPECT_EQ(c.value, 0x51F05AFFu);  // Y' 81, Cb 90, Cr 240, opaque
    p.set("#ffffff");
    EXPECT_EQ(c.value, 0xEB8080FFu);
    p.set("0x12345678");
    EXPECT_EQ(c.value, 0x78563412u);  // byte 0 is 0x12
    p.set("0XFF808010");
    EXPECT_EQ(c.value, BLACK_PIXEL);
    const std::string allowed = " (allowed: #RRGGBB, or 0x + pixel bytes (opacity, Cb, Cr, luma))";
    EXPECT_EQ(failure(p, "#GG0000"), "Background=#GG0000: not a colour" + allowed);
    EXPECT_EQ(failure(p, "0x108080"), "Background=0x108080: not a colour" + allowed);
    EXPECT_EQ(failure(p, "red"), "Background=red: not a colour" + allowed);
}

TEST(PositionValues, CornerAndSizeWithinTheMarkerBounds) {
    PositionDescriptor d{{PARAM_POSITION, 740, 18}, 16, 8, 999, 999, 200, 100, 64, 32};
    Parameter p{"Area", 1, &d.head};
    EXPECT_EQ(p.valueText(), "200,100,64,32");
    p.set("10,-20");
    EXPECT_EQ(d.posX, 10);
    EXPECT_EQ(d.posY, -20);
    EXPECT_EQ(d.areaWidth, 64);
    p.set("1,2,16,999");
    EXPECT_EQ(d.areaWidth, 16);
    EXPECT_EQ(d.areaHeight, 999);
    const std::string allowed = " (allowed: x,y or x,y,w,h (w 16..999, h 8..999))";
    EXPECT_EQ(failure(p, "1,2,15,8"), "Area=1,2,15,8: size out of range" + allowed);
    EXPECT_EQ(failure(p, "1,2,3"), "Area=1,2,3: expected x,y or x,y,w,h" + allowed);
    EXPECT_EQ(failure(p, "1;2"), "Area=1;2: not a list of integers" + allowed);
    EXPECT_EQ(failure(p, "40000,1"), "Area=40000,1: x and y must lie within -32768..32767");
}

TEST(PositionValues, FixedMarkerShowsOnlyItsPlace) {
    PositionDescriptor d = fieldfx::makeCentreMarker(1330, 320, 140);
    Parameter p{"Position", 1, &d.head};
    EXPECT_EQ(p.valueText(), "320,140");
    EXPECT_EQ(p.rangeText(), "x,y (marker 10x5)");
    p.set("5,6,10,5");
    EXPECT_EQ(d.posX, 5);
    EXPECT_EQ(failure(p, "5,6,11,5"), "Position=5,6,11,5: size out of range (allowed: x,y (marker 10x5))");
}

int32_t writeAngle(int32_t value, char16_t* buffer) {
    const char16_t text[] = u"-1.5\u00b0";
    for (int i = 0; i < 6; ++i) buffer[i] = text[i];
    return value == -1 ? -1 : 5;
}

TEST(Formatter, TextOfTheOperatorsFormatterInUtf8) {
    SliderDescriptor s{{PARAM_SLIDER, 510, 2}, 0, &writeAngle, -450, 450, -15};
    EXPECT_EQ(formattedSliderValue(s, -15), "-1.5\xC2\xB0");
    EXPECT_EQ(formattedSliderValue(s, -1), "");  // a negative result: no text
    Parameter p{"Angle", 1, &s.head};
    EXPECT_EQ(p.valueText(), "-15 (-1.5\xC2\xB0)");
}

TEST(ParameterSets, NamesAreCaseInsensitiveAndUnknownOnesListed) {
    setenv("FIELDFX_OPS_PATH", "", 1);
    const auto flicker = OperatorModule::load("Flicker");
    ParameterSet params(*flicker);
    ASSERT_EQ(params.all().size(), 2u);
    EXPECT_EQ(params.all()[0].name, "Start");
    EXPECT_EQ(params.all()[1].name, "Block");
    params.assign("BLOCK=7");
    EXPECT_EQ(reinterpret_cast<SliderDescriptor*>(params.all()[1].descriptor)->value, 7);
    params.assign("start=outgoing");
    EXPECT_EQ(reinterpret_cast<ChoiceDescriptor*>(params.all()[0].descriptor)->value, 0u);
    try {
        params.assign("speed=3");
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Flicker has no parameter \"speed\"; its parameters: Start, Block");
    }
    try {
        params.assign("block");
        FAIL();
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "--set block: expected name=value");
    }
    params.assign("block=25");
    params.assign("start=1");
}

}  // namespace
