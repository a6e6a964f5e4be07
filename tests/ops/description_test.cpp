// What every operator module says about itself, and how it answers the
// actions it does not render for.
#include <gtest/gtest.h>

#include <map>

#include "testhost.h"

using namespace testhost;

namespace {

struct Expected {
    const char* identName;
    const char* date;
    int filter;
    int mode;
    bool prefs;
    int params;
};

const std::map<std::string, Expected> kOperators = {
    {"Matte", {"Matte", "2014/03/24", 1, 2, false, 0}},
    {"Smudge", {"Smudge", "2014/03/24", 1, 2, false, 4}},
    {"Heatwave", {"Heatwave", "2014/03/24", 1, 2, false, 4}},
    {"Drunken", {"Drunken", "2014/03/24", 1, 2, false, 2}},
    {"Standbild", {"Standbild", "2014/11/19", 1, 2, false, 4}},
    {"Tunnel", {"Tunnel", "2014/03/24", 1, 2, false, 4}},
    {"Swivel", {"Rotate", "2014/11/19", 1, 2, false, 3}},
    {"Widescreen", {"Widescreen", "2014/03/24", 1, 2, false, 3}},
    {"Flicker", {"Flicker", "2014/03/24", 0, 1, false, 2}},
    {"Iris", {"Iris", "2014/03/24", 0, 2, false, 3}},
    {"Burrow", {"Burrow", "2014/03/24", 0, 2, false, 3}},
    {"Telescope", {"Telescope", "2014/03/24", 0, 2, true, 3}},
    {"Glide", {"Glide", "2014/12/15", 0, 2, true, 4}},
};

class Description : public ::testing::TestWithParam<std::string> {};

TEST_P(Description, TagListInOrderWithIdentAndTerminator) {
    const auto it = kOperators.find(GetParam());
    ASSERT_NE(it, kOperators.end()) << "no expectations for module " << GetParam();
    const Expected& e = it->second;
    Module m(GetParam());
    EXPECT_EQ(m.info(), m.info());
    const std::vector<OperatorTag> tags = m.tags();
    ASSERT_EQ(tags.size(), std::size_t(5 + (e.prefs ? 1 : 0) + e.params));
    EXPECT_EQ(tags[0].tag, OPE_FIRST);
    EXPECT_EQ(tags[0].value, 0u);
    EXPECT_EQ(tags[1].tag, OPE_FILTER);
    EXPECT_EQ(tags[1].value, uintptr_t(e.filter));
    EXPECT_EQ(tags[2].tag, OPE_ACTION);
    EXPECT_NE(tags[2].value, 0u);
    EXPECT_EQ(tags[3].tag, OPE_IDENT);
    EXPECT_EQ(m.ident(), std::string("$Id: Vexo_") + e.identName + ",v 1.0 " + e.date +
                             " 00:00:00 Orvandel $");
    EXPECT_EQ(tags[4].tag, OPE_MODE);
    EXPECT_EQ(tags[4].value, uintptr_t(e.mode));
    std::size_t next = 5;
    if (e.prefs) {
        EXPECT_EQ(tags[next].tag, OPE_PREFS);
        const auto* ref = reinterpret_cast<const PrefsBlockRef*>(tags[next].value);
        EXPECT_NE(ref->block, nullptr);
        EXPECT_EQ(ref->size, 112u);
        EXPECT_EQ(ref->reserved, 0u);
        ++next;
    }
    for (int i = 0; i < e.params; ++i, ++next) {
        EXPECT_EQ(tags[next].tag, OPE_PARAM1 + uint32_t(i));
        EXPECT_NE(tags[next].value, 0u);
    }
    // The list ends with one tag word 0.
    EXPECT_EQ(m.info()[next].tag, 0u);
}

TEST_P(Description, ActionEntryIsTheExportedOne) {
    Module m(GetParam());
    Host host;
    auto action = reinterpret_cast<OperatorActionFn>(m.tagValue(OPE_ACTION));
    OperatorMessage msg = message(7);
    EXPECT_EQ(action(&msg), 0);
}

TEST_P(Description, NonRenderingActionsCallNothingAndReturnZero) {
    Module m(GetParam());
    Host host;
    const Expected& e = kOperators.at(GetParam());
    for (uint16_t code : {0, 2, 4, 5, 6, 7, 8, 0xFFFF}) {
        OperatorMessage msg = message(code);
        msg.actionArg = 1;  // setup with a qualifier does nothing, even where setup acts
        EXPECT_EQ(m.action(msg), 0) << "action " << code;
    }
    if (!e.prefs) {
        OperatorMessage msg = message(OP_OPEN);
        EXPECT_EQ(m.action(msg), 0);
    }
    EXPECT_EQ(host.calls(), std::vector<std::string>{}) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(AllOperators, Description, ::testing::ValuesIn(builtOperators()),
                         [](const auto& info) { return info.param; });

}  // namespace
