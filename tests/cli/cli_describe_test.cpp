// `fieldfx describe` of every operator, checked against the descriptors the
// module itself publishes (read here through the test host, not the runtime).
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <regex>
#include <sstream>

#include "cli_run.h"

using namespace clitest;

namespace {

// The parameter names, in tag order (group headings left out).
const std::map<std::string, std::vector<std::string>> kNames = {
    {"Matte", {}},
    {"Smudge", {"Position", "Size", "Strength", "Softness"}},
    {"Heatwave", {"Area", "Horizontal", "Vertical", "Frequency"}},
    {"Drunken", {"Samples", "Amount"}},
    {"Standbild", {"Horizontal", "Vertical", "Speed", "Noise"}},
    {"Tunnel", {"Centre", "Radius", "Mix", "Depth"}},
    {"Swivel", {"Angle", "Edges", "Background"}},
    {"Widescreen", {"Conversion", "Smoothing", "BarColour"}},
    {"Flicker", {"Start", "Block"}},
    {"Iris", {"Centre", "Softness", "Direction"}},
    {"Burrow", {"Centre", "Depth", "Direction"}},
    {"Telescope", {"Softness", "Zoom"}},
    {"Glide", {"Softness", "Distance", "Direction"}},
};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

std::vector<std::string> columns(const std::string& line) {
    static const std::regex gap(" {2,}");
    return {std::sregex_token_iterator(line.begin(), line.end(), gap, -1), {}};
}

std::string bytesOf(uint32_t w) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%02X%02X%02X%02X", w & 0xFF, w >> 8 & 0xFF, w >> 16 & 0xFF,
                  w >> 24);
    return buf;
}

bool startsWith(const std::string& s, const std::string& head) { return s.rfind(head, 0) == 0; }

class Describe : public ::testing::TestWithParam<std::string> {};

TEST_P(Describe, ShowsEveryDescriptorAsItIs) {
    const std::string name = GetParam();
    ASSERT_TRUE(kNames.count(name)) << "no expectations for " << name;
    const std::vector<std::string>& names = kNames.at(name);
    const Result r = fieldfx("describe " + name);
    ASSERT_EQ(r.status, 0) << r.err;
    testhost::Module m(name);
    const std::vector<std::string> out = lines(r.out);
    ASSERT_FALSE(out.empty());
    const bool filter = m.tagValue(OPE_FILTER) == 1;
    EXPECT_EQ(out[0], name + ": " + (filter ? "filter" : "transition") + ", " + m.ident());
    if (names.empty()) {
        EXPECT_EQ(out.back(), "no parameters");
        return;
    }
    std::size_t row = 0;
    while (row < out.size() && !startsWith(out[row], "NAME  ")) ++row;
    ASSERT_LT(row, out.size()) << r.out;
    EXPECT_EQ(columns(out[row]), (std::vector<std::string>{"NAME", "KIND", "RANGE", "DEFAULT", "UNIT"}));
    std::size_t next = 0;
    for (int index = 1; index <= 4; ++index) {
        ParamDescriptor* d;
        try {
            d = m.param(index);
        } catch (const std::exception&) {
            break;
        }
        if (d->kind == PARAM_GROUP) continue;
        ASSERT_LT(next, names.size());
        const std::string& pname = names[next++];
        do ++row;
        while (row < out.size() && startsWith(out[row], " "));  // help lines
        ASSERT_LT(row, out.size()) << pname;
        const std::vector<std::string> c = columns(out[row]);
        ASSERT_GE(c.size(), 4u) << out[row];
        EXPECT_EQ(c[0], pname);
        switch (d->kind) {
            case PARAM_SLIDER: {
                const auto& s = *reinterpret_cast<SliderDescriptor*>(d);
                EXPECT_EQ(c[1], "slider");
                EXPECT_TRUE(startsWith(c[2], std::to_string(s.minimum) + ".." +
                                                 std::to_string(s.maximum)))
                    << c[2];
                EXPECT_TRUE(c[3] == std::to_string(s.value) ||
                            startsWith(c[3], std::to_string(s.value) + " ("))
                    << c[3];
                ASSERT_EQ(c.size(), 5u) << "a slider shows its unit: " << out[row];
                if (s.auxTextId != 0) {
                    ASSERT_LT(row + 1, out.size());
                    EXPECT_TRUE(startsWith(out[row + 1], "    ")) << "help of " << pname;
                }
                break;
            }
            case PARAM_CHOICE: {
                const auto& ch = *reinterpret_cast<ChoiceDescriptor*>(d);
                int n = 0;
                while (ch.labels[n] != 0) ++n;
                EXPECT_EQ(c[1], "choice");
                EXPECT_TRUE(startsWith(c[2], "0.." + std::to_string(n - 1) + " ")) << c[2];
                EXPECT_TRUE(startsWith(c[3], std::to_string(ch.value) + " (")) << c[3];
                break;
            }
            case PARAM_COLOUR: {
                const auto& col = *reinterpret_cast<ColourDescriptor*>(d);
                EXPECT_EQ(c[1], "colour");
                EXPECT_TRUE(startsWith(c[3], bytesOf(col.value) + " (#")) << c[3];
                break;
            }
            case PARAM_POSITION: {
                const auto& p = *reinterpret_cast<PositionDescriptor*>(d);
                EXPECT_EQ(c[1], "position");
                std::string v = std::to_string(p.posX) + "," + std::to_string(p.posY);
                if (p.minWidth != p.maxWidth)
                    v += "," + std::to_string(p.areaWidth) + "," + std::to_string(p.areaHeight);
                EXPECT_EQ(c[3], v);
                break;
            }
            default: ADD_FAILURE() << "kind " << d->kind;
        }
    }
    EXPECT_EQ(next, names.size());
}

INSTANTIATE_TEST_SUITE_P(AllOperators, Describe, ::testing::ValuesIn(testhost::builtOperators()),
                         [](const auto& info) { return info.param; });

TEST(DescribeText, SmudgeAsAUserSeesIt) {
    const Result r = fieldfx("describe smudge");
    EXPECT_EQ(r.status, 2);  // names of operators are exact
    const Result s = fieldfx("describe Smudge");
    ASSERT_EQ(s.status, 0);
    EXPECT_EQ(s.out,
              "Smudge: filter, $Id: Vexo_Smudge,v 1.0 2014/03/24 00:00:00 Orvandel $\n"
              "NAME      KIND      RANGE              DEFAULT  UNIT\n"
              "Position  position  x,y (marker 10x5)  320,140\n"
              "          x in pixels right of, y in rows below the active rectangle's top-left corner\n"
              "Size      slider    1..200             50       % of field height\n"
              "          Outer radius of the spot, in percent of the field height\n"
              "Strength  slider    1..100             20       pixels\n"
              "          Half the horizontal length of the blur box, in pixels\n"
              "Softness  slider    0..100             10       % of radius\n"
              "          Width of the soft ring, in percent of the radius\n");
}

TEST(DescribeText, SwivelShowsTheAngleThroughItsFormatter) {
    const Result r = fieldfx("describe Swivel");
    ASSERT_EQ(r.status, 0);
    std::map<std::string, std::vector<std::string>> rows;
    for (const std::string& l : lines(r.out)) rows[columns(l)[0]] = columns(l);
    EXPECT_EQ(rows["Angle"],
              (std::vector<std::string>{"Angle", "slider",
                                        "-450..450 (degrees -45.0..45.0 with a point or \"deg\")",
                                        "0 (0.0\u00b0)", "tenths of a degree"}));
    EXPECT_EQ(rows["Edges"], (std::vector<std::string>{"Edges", "choice", "0..1 or Clamp, Border",
                                                       "0 (Clamp)"}));
    EXPECT_EQ(rows["Background"],
              (std::vector<std::string>{"Background", "colour",
                                        "#RRGGBB, or 0x + pixel bytes (opacity, Cb, Cr, luma)",
                                        "0xFF808010 (#000000)"}));
}

TEST(List, EveryBuiltOperatorWithItsKindAndIdent) {
    const Result r = fieldfx("list");
    ASSERT_EQ(r.status, 0) << r.err;
    for (const std::string& name : testhost::builtOperators()) {
        testhost::Module m(name);
        char line[200];
        std::snprintf(line, sizeof line, "%-12s %-10s %s\n", name.c_str(),
                      m.tagValue(OPE_FILTER) ? "filter" : "transition", m.ident().c_str());
        EXPECT_NE(r.out.find(line), std::string::npos) << line;
    }
}

}  // namespace
