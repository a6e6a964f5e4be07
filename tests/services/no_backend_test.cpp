// Service libraries called before any host installed a backend fail safely.
#include <gtest/gtest.h>

#include "fieldfx/services/backend.h"

TEST(NoBackend, EveryServiceFailsSafely) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(opGetField(0, 0), nullptr);
    EXPECT_EQ(opPutField(nullptr), -1);
    EXPECT_EQ(opChkAbort(), 0);
    EXPECT_EQ(opAllocImage(-1, -1, 1, 0), nullptr);
    opFreeImage(nullptr);
    loggerMessage(4, 77, nullptr, 0x0b820000u, nullptr);
    loggerMessage(4, 77, "src\\Matte", 0x0b820000u, " ");
    EXPECT_EQ(txGetOpImage(nullptr, 3, 1), nullptr);
    EXPECT_EQ(txAllocRequest(0), nullptr);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("opGetField called with no host backend"), std::string::npos) << err;
    EXPECT_NE(err.find("src\\Matte line 77 code 0x0b820000"), std::string::npos) << err;
}

TEST(NoBackend, RemovedBackendIsNoLongerCalled) {
    static int calls = 0;
    FieldHostBackend b{nullptr, [](void*, int32_t, uint32_t) -> FieldImage* {
                           ++calls;
                           return nullptr;
                       },
                       nullptr, nullptr};
    fieldhostSetBackend(&b);
    opGetField(0, 1);
    fieldhostSetBackend(nullptr);
    ::testing::internal::CaptureStderr();
    opGetField(0, 2);
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(calls, 1);
}
