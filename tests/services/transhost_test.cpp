// The transition host library: masks from preference blocks at the host's
// frame size, released through opFreeImage; the preferences request; and the
// backend's replacement calls.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "fieldfx/services/backend.h"
#include "testhost.h"

using namespace testhost;

namespace {

using Block = std::array<uint8_t, TRANSITION_PREFS_SIZE>;
using Bytes = std::vector<uint8_t>;

// A version 1 block of a built-in pattern, written byte by byte.
Block patternBlock(uint8_t number, std::vector<int32_t> settings = {}, bool invert = false) {
    Block b{};
    b[0] = 1;
    b[2] = invert ? 1 : 0;
    b[3] = number;
    for (std::size_t i = 0; i < settings.size(); ++i)
        for (int k = 0; k < 4; ++k) b[4 + 4 * i + k] = uint8_t(uint32_t(settings[i]) >> (8 * k));
    return b;
}

Block fileBlock(const std::string& path) {
    Block b{};
    b[0] = 1;
    b[1] = 1;
    std::memcpy(b.data() + 4, path.data(), path.size());
    return b;
}

struct TransHostTest : ::testing::Test {
    Host host;
    TransHostBackend backend{};
    int32_t frameWidth = 0, frameHeight = 0;
    std::vector<std::string> seen;  // what the request hook was given
    Block answer{};
    int32_t answerResult = 1;

    TransHostTest() {
        backend.context = this;
        backend.frameSize = [](void* c, int32_t* w, int32_t* h) {
            auto* t = static_cast<TransHostTest*>(c);
            *w = t->frameWidth;
            *h = t->frameHeight;
        };
        transhostSetBackend(&backend);
    }
    ~TransHostTest() override { transhostSetBackend(nullptr); }

    void answerRequests() {
        backend.request = [](void* c, void* prefs, int32_t types, int32_t flags) {
            auto* t = static_cast<TransHostTest*>(c);
            const auto* p = static_cast<const uint8_t*>(prefs);
            t->seen.push_back("request(" + std::to_string(p[0]) + "," + std::to_string(p[3]) + "," +
                              std::to_string(types) + "," + std::to_string(flags) + ")");
            std::memcpy(prefs, t->answer.data(), t->answer.size());
            return t->answerResult;
        };
    }

    // The mask of `prefs` at the frame size: its bytes, released again.
    Bytes mask(const void* prefs, int width, int height) {
        frameWidth = width;
        frameHeight = height;
        FieldImage* m = txGetOpImage(const_cast<void*>(prefs), 3, 1);
        EXPECT_NE(m, nullptr);
        if (m == nullptr) return {};
        const auto* p = static_cast<const uint8_t*>(m->pixels);
        Bytes bytes(p, p + std::size_t(m->width) * m->height);
        opFreeImage(m);
        return bytes;
    }
};

// ---- Masks -----------------------------------------------------------------------

TEST_F(TransHostTest, ZeroBlockGivesTheLeftToRightWipeAt720x576) {
    const Block zero{};
    FieldImage* m = txGetOpImage(const_cast<uint8_t*>(zero.data()), 3, 1);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->width, 720);
    EXPECT_EQ(m->height, 576);
    EXPECT_EQ(m->activeX, 0);
    EXPECT_EQ(m->activeY, 0);
    EXPECT_EQ(m->activeWidth, 720);
    EXPECT_EQ(m->activeHeight, 576);
    // Column x starts at rank 576x; the last column is 576 pixels long, so the
    // value is min(255, 576x x 256 / (719 x 576)) = min(255, 256x / 719).
    const auto* p = static_cast<const uint8_t*>(m->pixels);
    for (int y : {0, 1, 287, 575})
        for (int x = 0; x < 720; ++x)
            ASSERT_EQ(p[y * 720 + x], std::min(255, 256 * x / 719)) << x << "," << y;
    EXPECT_EQ(p[3], 1);
    EXPECT_EQ(p[360], 128);
    EXPECT_EQ(p[718], 255);
    opFreeImage(m);
    // Adopted masks never reach the host's own image release.
    EXPECT_EQ(host.badReleases(), 0);
    EXPECT_TRUE(host.calls().empty());
}

TEST_F(TransHostTest, WithoutAFrameSizeHookTheFrameIs720x576) {
    backend.frameSize = nullptr;
    FieldImage* m = txGetOpImage(nullptr, 3, 1);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->width, 720);
    EXPECT_EQ(m->height, 576);
    opFreeImage(m);
}

TEST_F(TransHostTest, RendersAtTheHostsFrameSize) {
    const Block zero{};
    EXPECT_EQ(mask(zero.data(), 4, 2), (Bytes{0, 85, 170, 255, 0, 85, 170, 255}));
    // Sizes <= 0 fall back to 720 x 576.
    EXPECT_EQ(mask(zero.data(), 0, 2).size(), 720u * 576u);
    EXPECT_EQ(mask(zero.data(), 4, -2).size(), 720u * 576u);
}

TEST_F(TransHostTest, RefusesFramesTooLargeForAnImage) {
    frameWidth = 40000;
    frameHeight = 2;
    EXPECT_EQ(txGetOpImage(nullptr, 3, 1), nullptr);
    frameWidth = 32767;
    frameHeight = 32767;
    EXPECT_EQ(txGetOpImage(nullptr, 3, 1), nullptr);
}

TEST_F(TransHostTest, DrawsTheChosenPatternWithItsSettings) {
    // Box (10) at 5 x 3: max(|X| x 3, |Y| x 5) runs of 1, 2, 6, 6.
    EXPECT_EQ(mask(patternBlock(10, {50, 50}).data(), 5, 3),
              (Bytes{255, 85, 85, 85, 255, 255, 28, 0, 28, 255, 255, 85, 85, 85, 255}));
    // Circle (12) centred top left, inverted.
    EXPECT_EQ(mask(patternBlock(12, {0, 0}, true).data(), 3, 2),
              (Bytes{255, 204, 51, 204, 102, 0}));
    // Blinds (15), 2 slats, 8 frame lines.
    EXPECT_EQ(mask(patternBlock(15, {2, 0}).data(), 1, 8),
              (Bytes{0, 85, 170, 255, 0, 85, 170, 255}));
}

TEST_F(TransHostTest, BlocksThatAreNotValidGiveTheDefault) {
    const Bytes wipe{0, 85, 170, 255, 0, 85, 170, 255};
    Block b = patternBlock(12, {50, 50});
    b[0] = 7;
    EXPECT_EQ(mask(b.data(), 4, 2), wipe);
    b = patternBlock(12, {101, 50});
    EXPECT_EQ(mask(b.data(), 4, 2), wipe);
    b = patternBlock(99);
    EXPECT_EQ(mask(b.data(), 4, 2), wipe);
    b = fileBlock("x.pgm");
    b[111] = 'x';  // the path runs on past the terminator
    EXPECT_EQ(mask(b.data(), 4, 2), wipe);
    std::memset(b.data() + 4, 'p', 108);  // never terminated
    EXPECT_EQ(mask(b.data(), 4, 2), wipe);
    EXPECT_EQ(mask(nullptr, 4, 2), wipe);
}

TEST_F(TransHostTest, OnlyMakesOneBytePixelMasks) {
    EXPECT_EQ(txGetOpImage(nullptr, 2, 1), nullptr);
    EXPECT_EQ(txGetOpImage(nullptr, 3, 4), nullptr);
}

TEST_F(TransHostTest, ScalesMaskFilesToTheFrame) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("fieldfx_transhost_test_" + std::to_string(::getpid()) + ".pgm");
    std::FILE* f = std::fopen(path.string().c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs("P5 2 1 65535\n", f);
    for (int c : {0, 0, 0xFF, 0xFF}) std::fputc(c, f);
    std::fclose(f);
    EXPECT_EQ(mask(fileBlock(path.string()).data(), 4, 2),
              (Bytes{0, 64, 191, 255, 0, 64, 191, 255}));
    std::filesystem::remove(path);
    // A file that cannot be read gives no mask at all.
    EXPECT_EQ(txGetOpImage(const_cast<uint8_t*>(fileBlock(path.string()).data()), 3, 1), nullptr);
}

TEST_F(TransHostTest, EveryMaskIsItsOwnImage) {
    FieldImage* a = txGetOpImage(nullptr, 3, 1);
    FieldImage* b = txGetOpImage(nullptr, 3, 1);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_NE(a->pixels, b->pixels);
    opFreeImage(b);
    opFreeImage(a);
}

// ---- The preferences request -----------------------------------------------------------

TEST_F(TransHostTest, RequestTakesOverTheHostsAnswer) {
    answerRequests();
    answer = patternBlock(17, {50, 50, 3});
    Block current = patternBlock(12, {50, 50});
    void* r = txAllocRequest(0);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(txSetPrefs(r, current.data()), 0);
    EXPECT_EQ(txSetTypes(r, 4), 0);
    EXPECT_EQ(txRequest(r, 0), 0);
    EXPECT_EQ(seen, (std::vector<std::string>{"request(1,12,4,0)"}));
    EXPECT_EQ(txGetStatus(r), 1);
    EXPECT_EQ(txGetPrefs(r, current.data(), 112), 112);
    EXPECT_EQ(current, answer);
    txFreeRequest(r);
    // The block taken over now draws the spiral (3 x 3, three turns).
    EXPECT_EQ(mask(current.data(), 3, 3), (Bytes{255, 96, 128, 64, 0, 160, 224, 32, 192}));
}

TEST_F(TransHostTest, GetPrefsNeverWritesMoreThanItsSize) {
    answerRequests();
    answer = patternBlock(3);
    void* r = txAllocRequest(0);
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(txRequest(r, 0), 0);
    ASSERT_EQ(txGetStatus(r), 1);
    std::array<uint8_t, 200> out;
    out.fill(0xEE);
    EXPECT_EQ(txGetPrefs(r, out.data(), 3), 3);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ(out[2], 0);
    for (std::size_t i = 3; i < out.size(); ++i) ASSERT_EQ(out[i], 0xEE) << i;
    EXPECT_EQ(txGetPrefs(r, out.data(), 0), 0);
    EXPECT_EQ(txGetPrefs(r, out.data(), -5), 0);
    EXPECT_EQ(out[3], 0xEE);
    EXPECT_EQ(txGetPrefs(r, out.data(), 200), 112);  // never more than the block
    EXPECT_EQ(out[3], 3);
    for (std::size_t i = 112; i < out.size(); ++i) ASSERT_EQ(out[i], 0xEE) << i;
    EXPECT_EQ(txGetPrefs(r, nullptr, 112), -1);
    txFreeRequest(r);
}

TEST_F(TransHostTest, DeclinedAndFailedRequestsKeepTheBlock) {
    answerRequests();
    answer = patternBlock(3);
    const Block current = patternBlock(12, {20, 30});
    Block out{};
    void* r = txAllocRequest(0);
    ASSERT_NE(r, nullptr);
    txSetPrefs(r, const_cast<uint8_t*>(current.data()));
    answerResult = 0;  // declined
    EXPECT_EQ(txRequest(r, 0), 0);
    EXPECT_EQ(txGetStatus(r), 0);
    EXPECT_EQ(txGetPrefs(r, out.data(), 112), 112);
    EXPECT_EQ(out, current);
    answerResult = -1;  // could not be performed
    EXPECT_EQ(txRequest(r, 0), -1);
    EXPECT_EQ(txGetStatus(r), 0);
    answerResult = 1;  // taken over, but the answer is not a valid block
    answer[0] = 9;
    EXPECT_EQ(txRequest(r, 0), 0);
    EXPECT_EQ(txGetStatus(r), 0);
    txGetPrefs(r, out.data(), 112);
    EXPECT_EQ(out, current);
    txFreeRequest(r);
}

TEST_F(TransHostTest, WithoutARequestHookNothingIsPerformed) {
    void* r = txAllocRequest(0);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(txRequest(r, 0), -1);
    EXPECT_EQ(txGetStatus(r), 0);
    txFreeRequest(r);
}

TEST_F(TransHostTest, RefusesUnknownKindsAndHandles) {
    EXPECT_EQ(txAllocRequest(1), nullptr);
    Block b{};
    int notARequest = 0;
    for (void* h : {static_cast<void*>(&notARequest), static_cast<void*>(nullptr)}) {
        EXPECT_EQ(txSetPrefs(h, b.data()), -1);
        EXPECT_EQ(txSetTypes(h, 4), -1);
        EXPECT_EQ(txRequest(h, 0), -1);
        EXPECT_EQ(txGetStatus(h), 0);
        EXPECT_EQ(txGetPrefs(h, b.data(), 112), -1);
        txFreeRequest(h);
    }
    EXPECT_EQ(notARequest, 0);
    // A freed handle is no longer a request.
    void* r = txAllocRequest(0);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(txSetPrefs(r, nullptr), -1);
    txFreeRequest(r);
    EXPECT_EQ(txSetTypes(r, 4), -1);
    EXPECT_EQ(txGetStatus(r), 0);
}

// ---- Replacements -------------------------------------------------------------------

TEST_F(TransHostTest, ReplacementsTakeEveryCall) {
    static std::vector<std::string> calls;
    calls.clear();
    static int token;
    static FieldImage image{};
    backend.getOpImage = [](void*, void* p, int32_t a, int32_t b) {
        calls.push_back("getOpImage(" + std::to_string(p != nullptr) + "," + std::to_string(a) +
                        "," + std::to_string(b) + ")");
        return &image;
    };
    backend.allocRequest = [](void*, int32_t kind) -> void* {
        calls.push_back("allocRequest(" + std::to_string(kind) + ")");
        return &token;
    };
    backend.setPrefs = [](void*, void* r, void*) {
        calls.push_back(std::string("setPrefs(") + (r == &token ? "token" : "?") + ")");
        return 11;
    };
    backend.setTypes = [](void*, void*, int32_t t) {
        calls.push_back("setTypes(" + std::to_string(t) + ")");
        return 12;
    };
    backend.runRequest = [](void*, void*, int32_t f) {
        calls.push_back("runRequest(" + std::to_string(f) + ")");
        return 13;
    };
    backend.getStatus = [](void*, void*) {
        calls.push_back("getStatus");
        return 14;
    };
    backend.getPrefs = [](void*, void*, void*, int32_t size) {
        calls.push_back("getPrefs(" + std::to_string(size) + ")");
        return 15;
    };
    backend.freeRequest = [](void*, void*) { calls.push_back("freeRequest"); };
    Block b{};
    // Even arguments the library itself refuses go to the replacement.
    EXPECT_EQ(txGetOpImage(b.data(), 5, 6), &image);
    EXPECT_EQ(txAllocRequest(7), &token);
    EXPECT_EQ(txSetPrefs(&token, b.data()), 11);
    EXPECT_EQ(txSetTypes(&token, 4), 12);
    EXPECT_EQ(txRequest(&token, 8), 13);
    EXPECT_EQ(txGetStatus(&token), 14);
    EXPECT_EQ(txGetPrefs(&token, b.data(), 112), 15);
    txFreeRequest(&token);
    EXPECT_EQ(calls, (std::vector<std::string>{"getOpImage(1,5,6)", "allocRequest(7)",
                                               "setPrefs(token)", "setTypes(4)", "runRequest(8)",
                                               "getStatus", "getPrefs(112)", "freeRequest"}));
}

}  // namespace
