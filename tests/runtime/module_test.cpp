// Finding modules on the search path and rejecting malformed descriptions.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "fieldfx/helpers/contract/params.h"
#include "fieldfx/runtime/error.h"
#include "fieldfx/runtime/module.h"

using namespace fieldfx::runtime;

namespace {

int32_t fakeAction(OperatorMessage*) { return 0; }
int32_t otherAction(OperatorMessage*) { return 1; }
const char kIdent[] = "$Id: Test $";

OperatorTag tag(uint32_t t, const void* v) { return OperatorTag{t, reinterpret_cast<uintptr_t>(v)}; }
OperatorTag tag(uint32_t t, uintptr_t v) { return OperatorTag{t, v}; }

std::vector<OperatorTag> head(uintptr_t filter = 1) {
    return {tag(OPE_FIRST, uintptr_t(0)), tag(OPE_FILTER, filter),
            tag(OPE_ACTION, reinterpret_cast<const void*>(&fakeAction)), tag(OPE_IDENT, kIdent),
            tag(OPE_MODE, uintptr_t(2))};
}

std::string rejection(std::vector<OperatorTag> tags) {
    tags.push_back(OperatorTag{0, 0});
    try {
        validateDescription("Test", tags.data(), &fakeAction);
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Module);
        return e.what();
    }
    return "accepted";
}

TEST(Description, WellFormedListsAreRead) {
    uint8_t block[112] = {};
    PrefsBlockRef prefs{block, 112, 0};
    GroupDescriptor group = fieldfx::makeGroup(1930);
    SliderDescriptor slider = fieldfx::makeSlider(1910, 0, 100, 50);
    std::vector<OperatorTag> tags = head(0);
    tags.push_back(tag(OPE_PREFS, &prefs));
    tags.push_back(tag(OPE_PARAM1, &group));
    tags.push_back(tag(OPE_PARAM2, &slider));
    tags.push_back(OperatorTag{0, 0});
    const Description d = validateDescription("Test", tags.data(), &fakeAction);
    EXPECT_FALSE(d.filter);
    EXPECT_EQ(d.mode, 2u);
    EXPECT_EQ(d.ident, "$Id: Test $");
    EXPECT_EQ(d.prefs, &prefs);
    ASSERT_EQ(d.params.size(), 2u);
    EXPECT_EQ(d.params[1].index, 2);
    EXPECT_EQ(d.params[1].descriptor, &slider.head);
}

TEST(Description, MalformedListsAreRejectedWithTheFault) {
    auto swapped = head();
    std::swap(swapped[2], swapped[3]);
    EXPECT_EQ(rejection(swapped),
              "Test: malformed description: entry 3 is tag 0x4f504510, expected OPE_ACTION");
    auto shortList = head();
    shortList.resize(3);
    EXPECT_EQ(rejection(shortList), "Test: malformed description: the list ends before OPE_IDENT");
    auto badFilter = head(2);
    EXPECT_EQ(rejection(badFilter), "Test: malformed description: OPE_FILTER is 0x2, not 0 or 1");
    auto otherEntry = head();
    otherEntry[2] = tag(OPE_ACTION, reinterpret_cast<const void*>(&otherAction));
    EXPECT_EQ(rejection(otherEntry),
              "Test: malformed description: OPE_ACTION does not name the exported OperatorAction");
    auto noIdent = head();
    noIdent[3] = tag(OPE_IDENT, uintptr_t(0));
    EXPECT_EQ(rejection(noIdent), "Test: malformed description: OPE_IDENT is null");
    auto stranger = head();
    stranger.push_back(tag(OPE_BASE + 0x02, uintptr_t(0)));
    EXPECT_EQ(rejection(stranger),
              "Test: malformed description: entry 6 is tag 0x4f504502, expected OPE_PARAM1");
}

TEST(Description, ListWithoutTerminatorWithinTheBoundIsRejected) {
    std::vector<OperatorTag> endless(kMaxTagEntries + 4, tag(OPE_MODE, uintptr_t(2)));
    EXPECT_EQ(rejection(endless),
              "Test: malformed description: no end of the tag list within 16 entries");
}

TEST(Description, MalformedDescriptorsAreRejected) {
    SliderDescriptor reversed = fieldfx::makeSlider(1910, 10, 5, 7);
    ParamDescriptor strange{9, 100, 0};
    std::vector<uint32_t> endlessLabels(80, 7);
    ChoiceDescriptor noEnd = fieldfx::makeChoice(310, endlessLabels.data(), 0);
    const uint32_t none[] = {0};
    ChoiceDescriptor empty = fieldfx::makeChoice(310, none, 0);
    PositionDescriptor position = fieldfx::makeCentreMarker(1330, 1, 2);
    position.minWidth = 20;
    const struct {
        const void* d;
        std::string message;
    } cases[] = {
        {&reversed, "parameter 1: slider minimum 10 above its maximum 5"},
        {&strange, "parameter 1: unknown kind 9"},
        {&noEnd, "parameter 1: choice entries without an end within 64"},
        {&empty, "parameter 1: choice without entries"},
        {&position, "parameter 1: position size bounds reversed"},
        {nullptr, "parameter 1 has no descriptor"},
    };
    for (const auto& c : cases) {
        auto tags = head();
        tags.push_back(tag(OPE_PARAM1, c.d));
        EXPECT_EQ(rejection(tags), "Test: malformed description: " + c.message);
    }
    SliderDescriptor s = fieldfx::makeSlider(1910, 0, 1, 0);
    auto five = head();
    for (int i = 0; i < 5; ++i) five.push_back(tag(OPE_PARAM1 + uint32_t(i), &s));
    EXPECT_EQ(rejection(five),
              "Test: malformed description: entry 10 is tag 0x4f504508, expected the end of the "
              "list");
    uint8_t block[100] = {};
    PrefsBlockRef small{block, 100, 0};
    auto prefs = head();
    prefs.push_back(tag(OPE_PREFS, &small));
    EXPECT_EQ(rejection(prefs),
              "Test: malformed description: preference block of 100 bytes, expected 112");
}

std::string tempDir() {
    char name[] = "/tmp/fieldfx-mod-XXXXXX";
    return mkdtemp(name);
}

TEST(SearchPath, EnvironmentFirstThenBesideTheBinaryThenTheBuildTree) {
    setenv("FIELDFX_OPS_PATH", "/a:/b::/c", 1);
    const std::vector<std::string> path = searchPath();
    ASSERT_EQ(path.size(), 5u);
    EXPECT_EQ(path[0], "/a");
    EXPECT_EQ(path[1], "/b");
    EXPECT_EQ(path[2], "/c");
    EXPECT_NE(path[3].find("/../ops"), std::string::npos);
}

TEST(SearchPath, EarlierDirectoryHidesALaterModuleOfTheSameName) {
    const std::string dir = tempDir();
    ASSERT_EQ(symlink(FIELDFX_PROBE_DIR "/Probe.so", (dir + "/Matte.so").c_str()), 0);
    // The module's run path is relative to where it is reached ($ORIGIN, here
    // the link's directory): it finds the service libraries by name among
    // those its host loaded first, as fieldfx and the plug-ins do.
    for (const char* lib : {"libfieldhost.so", "libimagehost.so", "liblogger.so"})
        ASSERT_NE(dlopen((std::string(FIELDFX_LIB_DIR) + "/" + lib).c_str(), RTLD_NOW | RTLD_GLOBAL),
                  nullptr) << dlerror();
    setenv("FIELDFX_OPS_PATH", dir.c_str(), 1);
    const auto m = OperatorModule::load("Matte");
    EXPECT_EQ(m->description().ident, "$Id: Probe,v 1.0 $");
    EXPECT_EQ(m->path(), dir + "/Matte.so");
}

TEST(Loading, UnknownNameListsTheKnownModules) {
    setenv("FIELDFX_OPS_PATH", FIELDFX_PROBE_DIR, 1);
    try {
        OperatorModule::load("Nothing");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Usage);
        const std::string m = e.what();
        EXPECT_EQ(m.rfind("unknown operator \"Nothing\"; known operators: ", 0), 0u) << m;
        EXPECT_NE(m.find("Matte"), std::string::npos);
        EXPECT_NE(m.find("Probe"), std::string::npos);
    }
}

TEST(Loading, FilesThatAreNoModulesAreRejected) {
    const std::string dir = tempDir();
    std::ofstream(dir + "/Text.so") << "not a shared library";
    ASSERT_EQ(symlink(FIELDFX_LIB_DIR "/libfieldhost.so", (dir + "/Service.so").c_str()), 0);
    setenv("FIELDFX_OPS_PATH", dir.c_str(), 1);
    try {
        OperatorModule::load("Text");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::Module);
        EXPECT_EQ(std::string(e.what()).rfind("Text: cannot load " + dir + "/Text.so: ", 0), 0u);
    }
    try {
        OperatorModule::load("Service");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Service: " + dir + "/Service.so does not export GetOperatorInfo and OperatorAction");
    }
}

}  // namespace
