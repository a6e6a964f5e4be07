// Iris without heap for its distance map. This executable replaces malloc
// for the whole process (the operator module binds to it) so that one
// allocation of a chosen size can be refused; the sanitizer build has its own
// allocator that cannot be replaced, and skips the test.
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>

#include "testhost.h"

using namespace testhost;

#if !defined(__SANITIZE_ADDRESS__)
extern "C" void* __libc_malloc(std::size_t size);

namespace {
std::atomic<std::size_t> refusedSize{0};
}

// The first allocation of exactly the armed size fails; all others pass.
extern "C" void* malloc(std::size_t size) noexcept {
    std::size_t armed = refusedSize.load();
    if (armed != 0 && size == armed && refusedSize.compare_exchange_strong(armed, 0))
        return nullptr;
    return __libc_malloc(size);
}
#endif

namespace {

constexpr uint32_t kA = pixelWord(200, 10, 255, 0);
constexpr uint32_t kB = pixelWord(100, 250, 0, 255);

TEST(IrisHeap, NoHeapForTheMapLogsLine96AndHandsBothFieldsBack) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator cannot be replaced";
#else
    Host host;
    Module iris("Iris");
    iris.close();
    // 37 x 11 fields: the map is 37 x 22 = 814 bytes.
    host.setInput(0, makeField(37, 11, kA));
    host.setInput(1, makeField(37, 11, kB));
    refusedSize = 37 * 22;
    EXPECT_EQ(iris.process(4, 10), -1);
    EXPECT_EQ(refusedSize.load(), 0u);  // the refused allocation was made
    EXPECT_EQ(host.calls(),
              (std::vector<std::string>{"opGetField(0,4)", "opGetField(1,4)",
                                        "loggerMessage(4,96,src\\Iris,0x0bba0000)",
                                        "opFreeImage(in0)", "opFreeImage(in1)"}));
    ASSERT_EQ(host.logs().size(), 1u);
    EXPECT_EQ(host.logs()[0].text, " ");
    EXPECT_EQ(host.outstanding(), 0);
    EXPECT_EQ(host.badReleases(), 0);

    // With heap again the next field builds the map and paints: at the end
    // of the span (thr = 306 x 10 / 10) every map byte is below the edge.
    host.clearCalls();
    EXPECT_EQ(iris.process(10, 10), 0);
    EXPECT_EQ(host.putField().word(0, 0), kB);
    EXPECT_EQ(host.putField().word(36, 10), kB);
    iris.close();
#endif
}

}  // namespace
