// The choice of instruction-set level (cpu.h): how the environment lowers the
// processor's level, and which version of a kernel each level runs.
#include <gtest/gtest.h>

#include "fieldfx/helpers/lanes/cpu.h"

namespace {

using fieldfx::Isa;

TEST(IsaChoice, TheEnvironmentLowersTheProcessorsLevelAndNeverRaisesIt) {
    struct Row {
        Isa have;
        const char* isa;       // FIELDFX_ISA, null when unset
        const char* noAvx512;  // FIELDFX_NO_AVX512, null when unset
        Isa expected;
    };
    const Row rows[] = {
        {Isa::Avx512, nullptr, nullptr, Isa::Avx512},
        {Isa::Avx512, "ref", nullptr, Isa::Ref},
        {Isa::Avx512, "sse2", nullptr, Isa::Sse2},
        {Isa::Avx512, "avx2", nullptr, Isa::Avx2},
        {Isa::Avx512, "avx512", nullptr, Isa::Avx512},
        {Isa::Avx512, nullptr, "1", Isa::Avx2},     // the older name for avx2
        {Isa::Avx512, nullptr, "", Isa::Avx2},      // set, even empty
        {Isa::Avx512, "sse2", "1", Isa::Sse2},      // FIELDFX_ISA decides
        {Isa::Avx512, "avx512", "1", Isa::Avx512},
        {Isa::Avx2, "avx512", nullptr, Isa::Avx2},  // never above the processor
        {Isa::Sse2, "avx2", nullptr, Isa::Sse2},
        {Isa::Ref, "avx512", nullptr, Isa::Ref},    // off x86
        {Isa::Avx512, "AVX2", nullptr, Isa::Avx512},  // unknown names are ignored
        {Isa::Avx512, "", nullptr, Isa::Avx512},
        {Isa::Avx512, "avx", "1", Isa::Avx2},
    };
    for (const Row& r : rows)
        EXPECT_EQ(fieldfx::limitIsa(r.have, r.isa, r.noAvx512), r.expected)
            << "processor " << fieldfx::isaName(r.have) << ", FIELDFX_ISA "
            << (r.isa ? r.isa : "unset") << ", FIELDFX_NO_AVX512 "
            << (r.noAvx512 ? r.noAvx512 : "unset");
}

using Version = int (*)(int);
int ref(int) { return 0; }
int sse2(int) { return 1; }
int avx512(int) { return 3; }

TEST(IsaChoice, ALevelRunsTheBestVersionNotAboveIt) {
    const fieldfx::Kernels<Version> k{&ref, &sse2, nullptr, &avx512};
    EXPECT_EQ(k.at(Isa::Ref)(0), 0);
    EXPECT_EQ(k.at(Isa::Sse2)(0), 1);
    EXPECT_EQ(k.at(Isa::Avx2)(0), 1);  // no AVX2 version: SSE2's
    EXPECT_EQ(k.at(Isa::Avx512)(0), 3);
    EXPECT_EQ(k.exactly(Isa::Avx2), nullptr);

    const fieldfx::Kernels<Version> onlyRef{&ref};
    EXPECT_EQ(onlyRef.at(Isa::Avx512)(0), 0);
}

TEST(IsaChoice, TheProcessLevelIsTheEnvironmentsOnThisProcessor) {
    EXPECT_EQ(fieldfx::chosenIsa(),
              fieldfx::limitIsa(fieldfx::processorIsa(), std::getenv("FIELDFX_ISA"),
                                std::getenv("FIELDFX_NO_AVX512")));
}

}  // namespace
