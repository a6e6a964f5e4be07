// The benchmark cases: every operator is measured at its default and its
// slowest setting, those whose tables depend on a parameter also with it
// keyed to change every frame, and every case runs against the operators as built (a
// renamed parameter or a refused setting fails here, not in a long bench run).
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "cases.h"
#include "fields.h"

using namespace fieldfx::bench;

TEST(BenchCases, EveryOperatorAtDefaultAndSlowestAfterTheTwoHostCases) {
    const std::vector<BenchCase> cases = benchCases();
    ASSERT_GE(cases.size(), 2u);
    EXPECT_EQ(cases[0].op, kNoOpFilter);
    EXPECT_FALSE(cases[0].transition);
    EXPECT_EQ(cases[1].op, kNoOpTransition);
    EXPECT_TRUE(cases[1].transition);
    std::map<std::string, std::set<std::string>> settings;
    for (std::size_t i = 2; i < cases.size(); ++i) settings[cases[i].op].insert(cases[i].setting);
    const std::set<std::string> both{"default", "slowest"};
    const std::set<std::string> animated{"animated", "default", "slowest"};
    const std::set<std::string> withTables{"Smudge", "Heatwave", "Tunnel", "Swivel", "Iris", "Burrow"};
    const char* operators[] = {"Matte", "Smudge",  "Heatwave", "Drunken",   "Standbild",
                               "Tunnel", "Swivel", "Widescreen", "Flicker", "Iris",
                               "Burrow", "Telescope", "Glide"};
    EXPECT_EQ(settings.size(), 13u);
    for (const char* op : operators)
        EXPECT_EQ(settings[op], withTables.count(op) ? animated : both) << op;
}

TEST(BenchCases, TransitionsAtTheirSlowestStayInTheMiddleOfTheSpan) {
    for (const BenchCase& c : benchCases())
        EXPECT_EQ(c.runSpec.holdAt >= 0, c.transition && c.setting == "slowest") << c.op;
}

TEST(BenchCases, LetterboxedMatteBlackensAnEighthTopAndBottom) {
    for (const BenchCase& c : benchCases()) {
        const RunSpec runSpec = specFor(c, FieldSize{720, 288});
        if (c.op != "Matte" || c.setting != "slowest") {
            EXPECT_FALSE(runSpec.hasActive) << c.op << " " << c.setting;
            continue;
        }
        ASSERT_TRUE(runSpec.hasActive);
        EXPECT_EQ(runSpec.active.x, 0);
        EXPECT_EQ(runSpec.active.y, 36);
        EXPECT_EQ(runSpec.active.width, 720);
        EXPECT_EQ(runSpec.active.height, 216);
    }
}

TEST(BenchCases, EveryCaseRunsCleanlyAtBothSizes) {
    for (FieldSize size : benchSizes()) {
        LoopedInput outgoing({syntheticField(size.width, size.height, 1)});
        LoopedInput incoming({syntheticField(size.width, size.height, 2)});
        for (const BenchCase& c : benchCases()) {
            SCOPED_TRACE(c.op + " " + c.setting + " at " + std::to_string(size.width));
            std::vector<LoopedInput*> inputs{&outgoing};
            if (c.transition) inputs.push_back(&incoming);
            const auto module = loadModule(c.op);
            ASSERT_EQ(module->isFilter(), !c.transition);
            EffectRun run(*module, specFor(c, size), inputs);
            for (int i = 0; i < 2; ++i) {
                const fieldfx::io::Field& out = run.step();
                EXPECT_EQ(out.width, size.width);
                EXPECT_EQ(out.height, size.height);
            }
            EXPECT_TRUE(run.takeWarnings().empty());
        }
    }
}

TEST(BenchCases, HostShareMatchesTheFieldsEachOperatorFetches) {
    for (const BenchCase& c : benchCases()) {
        // Flicker fetches only the input it shows; other transitions fetch both.
        const bool twoFields = c.transition && c.op != "Flicker";
        EXPECT_EQ(c.host, twoFields ? kNoOpTransition : kNoOpFilter) << c.op;
    }
}
