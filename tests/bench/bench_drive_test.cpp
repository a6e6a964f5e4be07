// The benchmarks' driving loop: which field each request is served and at
// which position, span after span, and the host-only modules' output.
#include <gtest/gtest.h>

#include "drive.h"
#include "fieldfx/runtime/error.h"

using fieldfx::io::Field;
using namespace fieldfx::bench;

namespace {

// Fields of 4 x 2 whose every byte is `value`.
Field flat(uint8_t value) {
    Field f(4, 2);
    std::fill(f.pixels.begin(), f.pixels.end(), value);
    return f;
}

std::vector<Field> numberedFields(int n, uint8_t first) {
    std::vector<Field> fields;
    for (int i = 0; i < n; ++i) fields.push_back(flat(uint8_t(first + i)));
    return fields;
}

}  // namespace

TEST(EffectRunSpan, ServesFieldPositionModuloTheInputAndReopensAfterTheSpan) {
    LoopedInput input(numberedFields(3, 10));
    const auto module = loadModule(kNoOpFilter);
    RunSpec runSpec;
    runSpec.duration = 4;
    EffectRun run(*module, runSpec, {&input});
    // Positions 0 1 2 3, then 0 1 again: fields 10 11 12 10, then 10 11.
    const uint8_t expected[] = {10, 11, 12, 10, 10, 11};
    for (uint8_t value : expected) {
        const Field& out = run.step();
        ASSERT_EQ(out.width, 4);
        ASSERT_EQ(out.height, 2);
        EXPECT_EQ(out.pixels, flat(value).pixels) << "expected field " << int(value);
    }
    EXPECT_EQ(run.nextPosition(), 2u);
    EXPECT_TRUE(run.takeWarnings().empty());
}

TEST(EffectRunSpan, MiddleOnlyAlternatesTheTwoMiddleFields) {
    LoopedInput input(numberedFields(4, 20));
    const auto module = loadModule(kNoOpFilter);
    RunSpec runSpec;
    runSpec.duration = 10;
    runSpec.holdAt = 5;
    EffectRun run(*module, runSpec, {&input});
    // Positions 5 6 5 6: fields 5 mod 4 = 1 and 6 mod 4 = 2.
    EXPECT_EQ(run.nextPosition(), 5u);
    const uint8_t expected[] = {21, 22, 21, 22};
    for (uint8_t value : expected) EXPECT_EQ(run.step().pixels, flat(value).pixels);
}

TEST(EffectRunSpan, TransitionNoOpHandsBackTheOutgoingFieldAndKeepsNothing) {
    LoopedInput outgoing(numberedFields(2, 30));
    LoopedInput incoming(numberedFields(2, 90));
    const auto module = loadModule(kNoOpTransition);
    EXPECT_FALSE(module->isFilter());
    RunSpec runSpec;
    runSpec.duration = 2;
    EffectRun run(*module, runSpec, {&outgoing, &incoming});
    EXPECT_EQ(run.step().pixels, flat(30).pixels);
    EXPECT_EQ(run.step().pixels, flat(31).pixels);
    // A released incoming field or a kept image would be noted here.
    EXPECT_TRUE(run.takeWarnings().empty());
}

TEST(EffectRunSpan, WrongInputCountOrUnknownSettingIsRefused) {
    LoopedInput input(numberedFields(1, 1));
    const auto filter = loadModule(kNoOpFilter);
    EXPECT_THROW(EffectRun(*filter, RunSpec{}, {&input, &input}), fieldfx::runtime::Error);
    const auto transition = loadModule(kNoOpTransition);
    EXPECT_THROW(EffectRun(*transition, RunSpec{}, {&input}), fieldfx::runtime::Error);
    RunSpec runSpec;
    runSpec.settings = {"Nothing=1"};
    EXPECT_THROW(EffectRun(*filter, runSpec, {&input}), fieldfx::runtime::Error);
}
