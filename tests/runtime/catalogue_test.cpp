// The host's text catalogue: a label for every parameter, entry texts for
// every choice, a help text for every second text and a unit for every
// slider of the operators.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "fieldfx/runtime/catalogue.h"
#include "fieldfx/runtime/module.h"
#include "fieldfx/runtime/parameters.h"
#include "testhost.h"

using namespace fieldfx::runtime;

namespace {

TEST(Catalogue, LabelsOfEveryDeclaredParameter) {
    const std::map<uint32_t, std::string> labels = {
        {1330, "Position"}, {1310, "Size"},       {1340, "Strength"},   {1320, "Softness"},
        {1510, "Centre"},   {1520, "Depth"},      {1530, "Direction"},  {1610, "Horizontal"},
        {1620, "Vertical"}, {1630, "Speed"},      {1640, "Noise"},      {1910, "Softness"},
        {1920, "Zoom"},     {510, "Angle"},       {520, "Edges"},       {530, "Background"},
        {1810, "Softness"}, {1820, "Distance"},   {1830, "Direction"},  {1430, "Centre"},
        {1410, "Radius"},   {1420, "Mix"},        {1440, "Depth"},      {310, "Conversion"},
        {320, "Smoothing"}, {330, "BarColour"},   {740, "Area"},        {710, "Horizontal"},
        {720, "Vertical"},  {730, "Frequency"},   {1710, "Centre"},     {1720, "Softness"},
        {1730, "Direction"}, {410, "Samples"},    {420, "Amount"},      {210, "Start"},
        {220, "Block"}};
    for (const auto& [id, text] : labels) {
        ASSERT_NE(catalogueText(id), nullptr) << id;
        EXPECT_EQ(catalogueText(id), text) << id;
    }
}

TEST(Catalogue, ChoiceEntries) {
    const std::map<uint32_t, std::string> entries = {
        {1531, "Opening"}, {1532, "Closing"}, {1731, "Opening"}, {1732, "Closing"},
        {311, "Squeeze"},  {312, "Stretch"},  {321, "Nearest"},  {322, "Blend"},
        {521, "Clamp"},    {522, "Border"},   {211, "Outgoing"}, {212, "Incoming"}};
    for (const auto& [id, text] : entries) EXPECT_EQ(catalogueText(id), text) << id;
}

TEST(Catalogue, UnknownIdsHaveNoText) {
    EXPECT_EQ(catalogueText(0), nullptr);
    EXPECT_EQ(catalogueText(1311 + 1), nullptr);
    EXPECT_EQ(catalogueText(9999), nullptr);
    EXPECT_STREQ(sliderUnit(9999).text, "");
}

TEST(Catalogue, AngleCountsTenthsOfADegree) {
    EXPECT_EQ(sliderUnit(510).kind, SliderUnitKind::TenthDegrees);
    EXPECT_STREQ(sliderUnit(510).text, "tenths of a degree");
    EXPECT_EQ(sliderUnit(1310).kind, SliderUnitKind::Plain);
    EXPECT_STREQ(sliderUnit(220).text, "frames");
}

// Every id a built operator uses has a text; every slider a unit.
class ModuleTexts : public ::testing::TestWithParam<std::string> {};

TEST_P(ModuleTexts, EveryIdHasAText) {
    setenv("FIELDFX_OPS_PATH", "", 1);
    const auto m = OperatorModule::load(GetParam());
    for (const ParamSlot& slot : m->description().params) {
        const ParamDescriptor* d = slot.descriptor;
        EXPECT_NE(catalogueText(d->textId), nullptr) << "label " << d->textId;
        if (d->kind == PARAM_SLIDER) {
            const auto* s = reinterpret_cast<const SliderDescriptor*>(d);
            if (s->auxTextId != 0) {
                EXPECT_NE(catalogueText(s->auxTextId), nullptr) << "help " << s->auxTextId;
            }
            EXPECT_STRNE(sliderUnit(d->textId).text, "") << "unit of " << d->textId;
        }
        if (d->kind == PARAM_CHOICE && d->style == 0) {
            const auto* c = reinterpret_cast<const ChoiceDescriptor*>(d);
            for (const uint32_t* l = c->labels; *l != 0; ++l)
                EXPECT_NE(catalogueText(*l), nullptr) << "entry " << *l;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(AllOperators, ModuleTexts,
                         ::testing::ValuesIn(testhost::builtOperators()),
                         [](const auto& info) { return info.param; });

}  // namespace
