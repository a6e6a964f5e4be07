// What Telescope and Glide share: the mask kept from OP_OPEN to OP_CLOSE, the
// preferences request of OP_SETUP, the host calls of a field and their
// failures, and the band arithmetic where the band's own movement (Zoom,
// Distance) plays no part.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "fieldfx/helpers/effects/pattern_wipe.h"
#include "table_positions.h"
#include "testhost.h"
#include "transhost_double.h"

using namespace testhost;

namespace {

constexpr uint32_t kA = pixelWord(200, 10, 255, 0);  // outgoing clip
constexpr uint32_t kB = pixelWord(100, 250, 0, 255);  // incoming clip
constexpr uint32_t kFill = pixelWord(1, 2, 3, 4);     // what new images hold

struct WipeOperator {
    const char* name;
    int32_t lineIn0, lineIn1, lineAlloc;
    const char* logCall;  // "loggerMessage(4," + line + logCall
};

const WipeOperator kOperators[] = {
    {"Telescope", 102, 108, 114, ",src\\Telescope,0x0bbc0000)"},
    {"Glide", 106, 112, 118, ",src\\Glide,0x0bbb0000)"},
};

using Calls = std::vector<std::string>;

class PatternWipe : public ::testing::TestWithParam<WipeOperator> {
protected:
    Host host;
    TransHostDouble tx{host};
    Module op{GetParam().name};
    uint8_t* prefs = nullptr;

    PatternWipe() {
        prefs = static_cast<uint8_t*>(op.prefs()->block);
        tx.namePrefs(prefs);
        host.setScratchFill(kFill);
    }
    ~PatternWipe() override { op.close(); }

    std::string logged(int32_t line) const {
        return "loggerMessage(4," + std::to_string(line) + GetParam().logCall;
    }

    int32_t setup(uint16_t actionArg = 0) {
        OperatorMessage m = message(OP_SETUP);
        m.actionArg = actionArg;
        return op.action(m);
    }

    void flatInputs(int width, int height) {
        host.setInput(0, makeField(width, height, kA));
        host.setInput(1, makeField(width, height, kB));
    }

    // Opens with a mask of one value over flat inputs and runs one field.
    FieldSpec runFlat(uint8_t maskValue, int32_t softness, uint32_t position, uint32_t duration) {
        flatInputs(6, 4);
        tx.setMask(3, 2, maskValue);
        EXPECT_EQ(op.open(), 0);
        op.slider(2).value = softness;
        EXPECT_EQ(op.process(position, duration), 0);
        return host.putField();
    }
};

// ---- The preference block ------------------------------------------------------

TEST_P(PatternWipe, PrefsBlockIsTheOperatorsOwnAndZeroAtLoad) {
    const PrefsBlockRef* ref = op.prefs();
    EXPECT_EQ(ref->size, 112u);
    EXPECT_EQ(ref->reserved, 0u);
    EXPECT_EQ(std::vector<uint8_t>(prefs, prefs + 112), std::vector<uint8_t>(112, 0));
}

// ---- The mask --------------------------------------------------------------------

TEST_P(PatternWipe, OpenAsksForTheMaskOfItsPreferences) {
    prefs[0] = 7;
    prefs[111] = 9;
    EXPECT_EQ(op.open(), 0);
    EXPECT_EQ(host.calls(), (Calls{"txGetOpImage(prefs,3,1)"}));
    ASSERT_EQ(tx.maskPrefs().size(), 1u);
    EXPECT_EQ(tx.maskPrefs()[0][0], 7);
    EXPECT_EQ(tx.maskPrefs()[0][111], 9);
    EXPECT_TRUE(host.logs().empty());
}

TEST_P(PatternWipe, CloseReleasesTheMaskOnce) {
    EXPECT_EQ(op.open(), 0);
    EXPECT_EQ(op.close(), 0);
    EXPECT_EQ(op.close(), 0);
    EXPECT_EQ(host.calls(), (Calls{"txGetOpImage(prefs,3,1)", "opFreeImage(mask1)"}));
    EXPECT_EQ(host.outstanding(), 0);
    EXPECT_EQ(host.badReleases(), 0);
}

TEST_P(PatternWipe, OpenAgainReleasesTheHeldMaskFirst) {
    EXPECT_EQ(op.open(), 0);
    EXPECT_EQ(op.open(), 0);
    EXPECT_EQ(op.close(), 0);
    EXPECT_EQ(host.calls(), (Calls{"txGetOpImage(prefs,3,1)", "opFreeImage(mask1)",
                                   "txGetOpImage(prefs,3,1)", "opFreeImage(mask2)"}));
    EXPECT_EQ(host.outstanding(), 0);
    EXPECT_EQ(host.badReleases(), 0);
}

TEST_P(PatternWipe, NoMaskFailsOpenWithoutALogRecord) {
    tx.failGetOpImage();
    EXPECT_EQ(op.open(), -1);
    EXPECT_TRUE(host.logs().empty());
    host.clearCalls();
    EXPECT_EQ(op.close(), 0);  // nothing to release
    EXPECT_TRUE(host.calls().empty());
}

TEST_P(PatternWipe, ProcessWithoutAMaskFailsBeforeAnyHostCall) {
    flatInputs(6, 4);
    EXPECT_EQ(op.process(3, 10), -1);  // never opened
    tx.failGetOpImage();
    EXPECT_EQ(op.open(), -1);
    host.clearCalls();
    EXPECT_EQ(op.process(3, 10), -1);  // open failed
    EXPECT_TRUE(host.calls().empty());
    EXPECT_TRUE(host.logs().empty());
}

TEST_P(PatternWipe, FailedReopenLeavesNoMask) {
    EXPECT_EQ(op.open(), 0);
    tx.failGetOpImage();
    EXPECT_EQ(op.open(), -1);
    flatInputs(6, 4);
    EXPECT_EQ(op.process(3, 10), -1);
    EXPECT_EQ(op.close(), 0);
    EXPECT_EQ(host.calls(), (Calls{"txGetOpImage(prefs,3,1)", "opFreeImage(mask1)",
                                   "txGetOpImage(prefs,3,1)"}));
    EXPECT_EQ(host.outstanding(), 0);
}

TEST_P(PatternWipe, MaskWithoutPixelsIsNotRead) {
    tx.setMask(0, 0, 0);
    EXPECT_EQ(op.open(), 0);  // an image came back
    flatInputs(6, 4);
    host.clearCalls();
    EXPECT_EQ(op.process(3, 10), -1);
    EXPECT_TRUE(host.calls().empty());
    EXPECT_EQ(op.close(), 0);
    EXPECT_EQ(host.calls(), (Calls{"opFreeImage(mask1)"}));
}

// ---- The preferences request ---------------------------------------------------

TEST_P(PatternWipe, SetupWithoutARequestEndsThere) {
    tx.failAllocRequest();
    EXPECT_EQ(setup(), 0);
    EXPECT_EQ(host.calls(), (Calls{"txAllocRequest(0)"}));
}

TEST_P(PatternWipe, SetupRequestNotPerformedKeepsThePrefs) {
    for (int32_t result : {1, -1}) {
        host.clearCalls();
        tx.setRequestResult(result);
        tx.setNewPrefs(std::vector<uint8_t>(112, 0xEE));
        EXPECT_EQ(setup(), 0);
        EXPECT_EQ(host.calls(), (Calls{"txAllocRequest(0)", "txSetPrefs(req,prefs)",
                                       "txSetTypes(req,4)", "txRequest(req,0)",
                                       "txFreeRequest(req)"}))
            << result;
        EXPECT_EQ(std::vector<uint8_t>(prefs, prefs + 112), std::vector<uint8_t>(112, 0));
    }
    EXPECT_EQ(tx.openRequests(), 0);
}

TEST_P(PatternWipe, SetupStatusOtherThanOneKeepsThePrefs) {
    for (int32_t status : {0, 2, -1}) {
        host.clearCalls();
        tx.setStatus(status);
        tx.setNewPrefs(std::vector<uint8_t>(112, 0xEE));
        EXPECT_EQ(setup(), 0);
        EXPECT_EQ(host.calls(), (Calls{"txAllocRequest(0)", "txSetPrefs(req,prefs)",
                                       "txSetTypes(req,4)", "txRequest(req,0)", "txGetStatus(req)",
                                       "txFreeRequest(req)"}))
            << status;
        EXPECT_EQ(std::vector<uint8_t>(prefs, prefs + 112), std::vector<uint8_t>(112, 0));
    }
    EXPECT_EQ(tx.openRequests(), 0);
}

TEST_P(PatternWipe, SetupStatusOneTakesOverTheNewPrefs) {
    prefs[5] = 42;
    std::vector<uint8_t> fresh(112);
    for (int i = 0; i < 112; ++i) fresh[i] = uint8_t(i * 3 + 1);
    tx.setNewPrefs(fresh);
    EXPECT_EQ(setup(), 0);
    EXPECT_EQ(host.calls(),
              (Calls{"txAllocRequest(0)", "txSetPrefs(req,prefs)", "txSetTypes(req,4)",
                     "txRequest(req,0)", "txGetStatus(req)", "txGetPrefs(req,prefs,112)",
                     "txFreeRequest(req)"}));
    EXPECT_EQ(tx.handedPrefs()[5], 42);  // the request was handed the current block
    EXPECT_EQ(std::vector<uint8_t>(prefs, prefs + 112), fresh);
    EXPECT_EQ(tx.openRequests(), 0);
}

TEST_P(PatternWipe, SetupIgnoresTheResultsOfSetPrefsAndSetTypes) {
    tx.setSetPrefsResult(-1);
    tx.setSetTypesResult(-1);
    tx.setGetPrefsResult(-1);
    EXPECT_EQ(setup(), 0);
    EXPECT_EQ(host.calls(),
              (Calls{"txAllocRequest(0)", "txSetPrefs(req,prefs)", "txSetTypes(req,4)",
                     "txRequest(req,0)", "txGetStatus(req)", "txGetPrefs(req,prefs,112)",
                     "txFreeRequest(req)"}));
}

TEST_P(PatternWipe, SetupWithAQualifierDoesNothing) {
    for (uint16_t arg : {1, 2, 0xFFFF}) EXPECT_EQ(setup(arg), 0);
    EXPECT_TRUE(host.calls().empty());
}

TEST_P(PatternWipe, NewPrefsTakeEffectAtTheNextOpen) {
    EXPECT_EQ(op.open(), 0);
    tx.setNewPrefs(std::vector<uint8_t>(112, 0x5A));
    EXPECT_EQ(setup(), 0);  // the held mask stays
    EXPECT_EQ(op.open(), 0);
    ASSERT_EQ(tx.maskPrefs().size(), 2u);
    EXPECT_EQ(tx.maskPrefs()[0], std::vector<uint8_t>(112, 0));
    EXPECT_EQ(tx.maskPrefs()[1], std::vector<uint8_t>(112, 0x5A));
    EXPECT_EQ(host.nameOf(tx.mask()), "mask2");
    const Calls calls = host.calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "opFreeImage(mask1)"), 1);
    EXPECT_EQ(calls[1], "txAllocRequest(0)");  // setup freed nothing
}

// ---- Host calls of a field ---------------------------------------------------

TEST_P(PatternWipe, FieldFetchesBothInputsPaintsANewImageAndFreesTheInputs) {
    flatInputs(6, 4);
    EXPECT_EQ(op.open(), 0);
    host.clearCalls();
    host.setPutResult(17);
    EXPECT_EQ(op.process(4, 9), 17);
    EXPECT_EQ(host.calls(), (Calls{"opGetField(0,4)", "opGetField(1,4)", "opAllocImage(-1,-1,1,0)",
                                   "opFreeImage(in0)", "opFreeImage(in1)",
                                   "opPutField(scratch1)"}));
    EXPECT_EQ(host.outstanding(), 1);  // the mask, until OP_CLOSE
    EXPECT_EQ(op.close(), 0);
    EXPECT_EQ(host.outstanding(), 0);
}

TEST_P(PatternWipe, MissingOutgoingFieldIsLogged) {
    flatInputs(6, 4);
    EXPECT_EQ(op.open(), 0);
    host.clearCalls();
    host.failCall(Service::GetField, 1);
    EXPECT_EQ(op.process(4, 9), -1);
    EXPECT_EQ(host.calls(), (Calls{"opGetField(0,4)", logged(GetParam().lineIn0)}));
    ASSERT_EQ(host.logs().size(), 1u);
    EXPECT_EQ(host.logs()[0].level, 4);
    EXPECT_EQ(host.logs()[0].text, " ");
    EXPECT_EQ(host.outstanding(), 1);  // the mask
}

TEST_P(PatternWipe, MissingIncomingFieldIsLoggedAndTheOutgoingReleased) {
    flatInputs(6, 4);
    EXPECT_EQ(op.open(), 0);
    host.clearCalls();
    host.failCall(Service::GetField, 2);
    EXPECT_EQ(op.process(4, 9), -1);
    EXPECT_EQ(host.calls(), (Calls{"opGetField(0,4)", "opGetField(1,4)",
                                   logged(GetParam().lineIn1), "opFreeImage(in0)"}));
    EXPECT_EQ(host.outstanding(), 1);
    EXPECT_EQ(host.badReleases(), 0);
}

TEST_P(PatternWipe, MissingNewImageIsLoggedAndBothInputsReleased) {
    flatInputs(6, 4);
    EXPECT_EQ(op.open(), 0);
    host.clearCalls();
    host.failCall(Service::AllocImage, 1);
    EXPECT_EQ(op.process(4, 9), -1);
    EXPECT_EQ(host.calls(),
              (Calls{"opGetField(0,4)", "opGetField(1,4)", "opAllocImage(-1,-1,1,0)",
                     logged(GetParam().lineAlloc), "opFreeImage(in0)", "opFreeImage(in1)"}));
    EXPECT_EQ(host.outstanding(), 1);
    EXPECT_EQ(host.badReleases(), 0);
    // The mask survives a failed field.
    EXPECT_EQ(op.process(4, 9), 0);
}

// ---- The band levels -----------------------------------------------------------
// Flat inputs: the outgoing field samples to kA wherever the band reads it,
// so the band is (B x (S - k) + A x k) / S whatever the band's movement.

TEST_P(PatternWipe, BandWidthFollowsTheSoftness) {
    // Field 1 of 2: T = (S + 255) / 2.
    // Softness 50: S 323, T 289, L -34; mask 100 gives k 134.
    EXPECT_EQ(runFlat(100, 50, 1, 2).word(0, 0), pixelWord(141, 150, 105, 149));
    // Softness 100: S 650, T 452, L -198; k 298.
    EXPECT_EQ(runFlat(100, 100, 1, 2).word(0, 0), pixelWord(145, 139, 116, 138));
    // Softness 1: S 5, T 130, L 125: 100 is past the band, 127 has k 2.
    EXPECT_EQ(runFlat(100, 1, 1, 2).word(0, 0), kB);
    EXPECT_EQ(runFlat(127, 1, 1, 2).word(0, 0), pixelWord(140, 154, 102, 153));
    // Softness 0: S 0, T = L = 127: a hard edge, no division.
    EXPECT_EQ(runFlat(126, 0, 1, 2).word(0, 0), kB);
    EXPECT_EQ(runFlat(127, 0, 1, 2).word(0, 0), kA);
}

TEST_P(PatternWipe, SoftnessOutsideItsRangeIsClamped) {
    EXPECT_EQ(runFlat(100, 150, 1, 2).word(0, 0), pixelWord(145, 139, 116, 138));  // as 100
    EXPECT_EQ(runFlat(127, -3, 1, 2).word(0, 0), kA);                             // as 0
}

TEST_P(PatternWipe, FirstFieldShowsTheOutgoingClip) {
    EXPECT_EQ(runFlat(0, 100, 0, 50).pixels, makeField(6, 4, kA).pixels);
}

TEST_P(PatternWipe, LastFieldStillHoldsSomeOfTheOutgoingClip) {
    // Softness 50, field 49 of 50: T = 578 x 49 / 50 = 566, L = 243.
    EXPECT_EQ(runFlat(242, 50, 49, 50).word(0, 0), kB);
    EXPECT_EQ(runFlat(243, 50, 49, 50).word(0, 0), kB);  // k = 0: the sample has weight 0
    EXPECT_EQ(runFlat(255, 50, 49, 50).word(0, 0), pixelWord(103, 241, 9, 245));  // k = 12
}

TEST_P(PatternWipe, PositionPastTheSpanShowsTheIncomingClip) {
    EXPECT_EQ(runFlat(255, 50, 60, 50).word(5, 3), kB);  // T 693, L 370
    // 578 x (2^32 - 1) wraps to 2^32 - 578: T stays far above every mask value.
    EXPECT_EQ(runFlat(255, 50, 0xFFFFFFFFu, 1).word(5, 3), kB);
}

TEST_P(PatternWipe, ZeroDurationIsOneField) {
    EXPECT_EQ(runFlat(200, 50, 0, 0).word(0, 0), kA);  // T 0
    EXPECT_EQ(runFlat(200, 50, 1, 0).word(0, 0), kB);  // T 578, L 255
}

TEST_P(PatternWipe, OneMaskValueChangesEveryPixelTogether) {
    const FieldSpec out = runFlat(100, 50, 1, 2);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) EXPECT_EQ(out.word(x, y), pixelWord(141, 150, 105, 149));
}

// A 3 x 2 mask over a 7 x 5 active rectangle at (2, 1) of a 10 x 7 field:
// columns 0..6 read mask columns 3c / 7 = 0 0 0 1 1 2 2, rows 0..4 mask rows
// 2r / 5 = 0 0 0 1 1. Hard edge at T = 35: '1' where the mask is below.
TEST_P(PatternWipe, MaskIsStretchedOverTheActiveRectangle) {
    FieldSpec a = makeField(10, 7, kA), b = makeField(10, 7, kB);
    for (FieldSpec* f : {&a, &b}) f->setActive(2, 1, 7, 5);
    host.setInput(0, a);
    host.setInput(1, b);
    tx.setMaskBytes(3, 2, {10, 40, 20, 50, 30, 60});
    EXPECT_EQ(op.open(), 0);
    op.slider(2).value = 0;
    EXPECT_EQ(op.process(35, 255), 0);
    const FieldSpec out = host.putField();
    std::vector<std::string> rows;
    for (int y = 0; y < 7; ++y) {
        std::string row;
        for (int x = 0; x < 10; ++x) {
            const uint32_t w = out.word(x, y);
            row += w == kA ? '0' : w == kB ? '1' : w == kFill ? '.' : '?';
        }
        rows.push_back(row);
    }
    EXPECT_EQ(rows, (std::vector<std::string>{"..........", "..1110011.", "..1110011.",
                                              "..1110011.", "..0001100.", "..0001100.",
                                              ".........."}));
}

TEST_P(PatternWipe, ActiveRectangleReachingOutsideTheFieldPaintsOnlyInside) {
    FieldSpec a = makeField(6, 4, kA);
    a.setActive(4, -1, 50, 3);
    host.setInput(0, a);
    host.setInput(1, makeField(6, 4, kB));
    tx.setMask(3, 2, 0);
    EXPECT_EQ(op.open(), 0);
    EXPECT_EQ(op.process(9, 10), 0);  // T 520, L 197: every pixel of the rectangle takes B
    const FieldSpec out = host.putField();
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(out.word(x, y), x >= 4 && y <= 1 ? kB : kFill) << x << "," << y;
}

TEST_P(PatternWipe, SmallerImagesAreNeverReadOrWrittenOutside) {
    tx.setMask(3, 2, 0);
    EXPECT_EQ(op.open(), 0);
    host.setInput(0, makeField(6, 4, kA));
    host.setInput(1, makeField(4, 3, kB));
    EXPECT_EQ(op.process(9, 10), 0);
    FieldSpec out = host.putField();
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(out.word(x, y), x < 4 && y < 3 ? kB : kFill) << x << "," << y;
    // A new image smaller than the field is laid out like it: of its 10
    // pixels, the one whole row of 6 that fits is written.
    host.setInput(1, makeField(6, 4, kB));
    host.setScratchGeometry(makeField(5, 2));
    EXPECT_EQ(op.process(9, 10), 0);
    out = host.putField();
    ASSERT_EQ(out.width, 5);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(out.word(i % 5, i / 5), i < 6 ? kB : kFill) << i;
}

// The band blend divides in double; it must give the integer quotient for
// every band width and level, with extreme bytes and random ones.
TEST(BandBlend, IsTheIntegerQuotient) {
    const uint8_t edges[] = {0, 1, 127, 128, 254, 255};
    uint32_t state = 1;
    for (int32_t S = 1; S <= 650; ++S) {
        for (int32_t k = 0; k < S; ++k) {
            uint8_t in[4], sample[4], got[4];
            for (int i = 0; i < 4; ++i) {
                state = state * 214013u + 2531011u;
                in[i] = i < 2 ? edges[(k + i) % 6] : uint8_t(state >> 16);
                sample[i] = i < 2 ? edges[(S + 3 * i) % 6] : uint8_t(state >> 24);
            }
            fieldfx::blendBand(in, sample, S, k, got);
            for (int i = 0; i < 4; ++i)
                ASSERT_EQ(got[i], (in[i] * (S - k) + sample[i] * k) / S) << S << " " << k;
        }
    }
}

// The multiplication that replaces the band blend's division by S gives the
// integer quotient for every numerator the blend can form.
TEST(BandBlend, ReciprocalTruncatesToTheQuotient) {
    for (int32_t S = 1; S <= fieldfx::kMaxBandWidth; ++S) {
        const float r = fieldfx::bandReciprocal(S);
        for (int32_t n = 0; n <= 255 * S; ++n)
            if (int32_t(float(n) * r) != n / S) FAIL() << n << " / " << S;
    }
}

// ---- The field loop against its pixel-by-pixel reference -------------------------
struct Image {
    std::vector<uint8_t> bytes;
    FieldImage f{};

    Image(int w, int h, std::mt19937& rng) : bytes(std::size_t(w) * h * 4 + 1) {
        for (uint8_t& b : bytes) b = uint8_t(rng());
        f = FieldImage{bytes.data(), int16_t(w), int16_t(h), 0, 0, int16_t(w), int16_t(h)};
    }
};

TEST(PatternWipeLoop, FourAtATimeGivesTheReferenceBytes) {
    std::mt19937 rng(7);
    auto pick = [&](int lo, int hi) { return lo + int(rng() % unsigned(hi - lo + 1)); };
    for (int run = 0; run < 300; ++run) {
        // Every tenth run wider than the 256-pixel stretches a row is painted in.
        const int w = run % 10 == 0 ? pick(257, 700) : pick(1, 90), h = pick(1, 12);
        Image in0(w, h, rng), in1(rng() % 4 ? w : pick(1, w), rng() % 4 ? h : pick(1, h), rng);
        in0.f.activeX = int16_t(pick(-3, w / 2));
        in0.f.activeY = int16_t(pick(-2, h / 2));
        in0.f.activeWidth = int16_t(pick(0, w + 4));
        in0.f.activeHeight = int16_t(pick(0, h + 3));
        const int aW = std::max<int>(1, in0.f.activeWidth), aH = std::max<int>(1, in0.f.activeHeight);
        Image mask(1, 1, rng);
        const int maskW = rng() % 2 ? aW : pick(1, 2 * aW), maskH = pick(1, 2 * aH);
        mask.bytes.resize(std::size_t(maskW) * maskH);
        for (uint8_t& b : mask.bytes) b = uint8_t(rng());
        mask.f = FieldImage{mask.bytes.data(), int16_t(maskW), int16_t(maskH), 0, 0,
                            int16_t(maskW), int16_t(maskH)};

        wipetest::TablePositions positions;
        for (int i = 0; i < 97; ++i) {
            const int kind = pick(0, 9);
            const double v = kind == 0   ? std::numeric_limits<double>::quiet_NaN()
                             : kind == 1 ? (rng() % 2 ? 1.0 : -1.0) * std::ldexp(1.0, pick(20, 40))
                             : kind == 2 ? double(pick(-4, w + 4))
                                         : double(pick(-4000, 4000 * std::max(w, h))) / 1000.0;
            positions.table.push_back(v);
        }
        const int32_t softness = rng() % 4 ? pick(0, 100) : 100;
        const fieldfx::WipeLevels lv =
            fieldfx::wipeLevels(fieldfx::wipeBandWidth(softness), uint32_t(pick(0, 60)), 50);

        Image want(w, h, rng);
        Image got = want;
        got.f.pixels = got.bytes.data();
        fieldfx::paintPatternWipeReference(&in0.f, &in1.f, &want.f, &mask.f, lv, positions);
        const std::vector<uint8_t> fill = got.bytes;
        fieldfx::paintPatternWipeWith<fieldfx::PixelLanes>(&in0.f, &in1.f, &got.f, &mask.f, lv,
                                                           positions);
        ASSERT_EQ(got.bytes, want.bytes) << "run " << run << " SSE2";
#if defined(FIELDFX_AVX2_LANES)
        if (!fieldfx::haveAvx2()) continue;
        got.bytes = fill;
        fieldfx::paintPatternWipeAvx2(&in0.f, &in1.f, &got.f, &mask.f, lv, positions);
        ASSERT_EQ(got.bytes, want.bytes) << "run " << run << " AVX2";
#endif
    }
}

INSTANTIATE_TEST_SUITE_P(BothOperators, PatternWipe, ::testing::ValuesIn(kOperators),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
