// Splitting decoded frames into fields, on lossless clips made by ffmpeg:
// which lines each field holds and in which order the fields come, chroma
// converted per field (never across fields), full range brought to limited
// range, alpha as opacity, and odd frame heights.
#include <gtest/gtest.h>

#include "fieldfx/video/field_reader.h"
#include "video_clips.h"

using namespace fieldfx::video;
using namespace videotest;

namespace {

// Every sample of lane `lane` of `f` equals `value`.
void expectLane(const Field& f, int lane, int value, const std::string& what) {
    EXPECT_EQ(laneDeviation(f, lane, value), 0) << what << " lane " << lane;
}

// The field pattern, field by field, for a clip whose first field in time
// holds the even lines (`evenFirst`) or the odd ones.
void expectPattern(const std::string& path, Scan scan, bool evenFirst, bool chromaPerField,
                   const SourceOptions& options = {}) {
    auto source = openSource(path, options);
    ASSERT_EQ(source->info().scan, scan);
    ASSERT_EQ(source->info().frames, 10);
    Frame f;
    for (int n = 0; n < 10; ++n) {
        ASSERT_TRUE(source->read(f)) << n;
        const Field& even = evenFirst ? f.first : f.second;
        const Field& odd = evenFirst ? f.second : f.first;
        const std::string at = "frame " + std::to_string(n);
        expectLane(even, 3, kEvenLuma + kLumaStep * n, at + " even");
        expectLane(odd, 3, kOddLuma + kLumaStep * n, at + " odd");
        expectLane(even, 0, 255, at);
        expectLane(odd, 0, 255, at);
        if (chromaPerField) {
            expectLane(even, 1, kEvenCb, at + " even");
            expectLane(even, 2, kEvenCr, at + " even");
            expectLane(odd, 1, kOddCb, at + " odd");
            expectLane(odd, 2, kOddCr, at + " odd");
        }
    }
    EXPECT_FALSE(source->read(f));
}

}  // namespace

TEST(FieldSplit, TopFieldFirst420KeepsEachFieldsOwnChroma) {
    expectPattern(ffv1Pattern("yuv420p", "tt"), Scan::TopFirst, true, true);
}

TEST(FieldSplit, BottomFieldFirstStartsWithTheOddLines) {
    expectPattern(ffv1Pattern("yuv420p", "bb"), Scan::BottomFirst, false, true);
}

TEST(FieldSplit, FourTwoTwoChromaPerField) {
    expectPattern(ffv1Pattern("yuv422p", "tt"), Scan::TopFirst, true, true);
    expectPattern(ffv1Pattern("yuv422p", "bb"), Scan::BottomFirst, false, true);
}

TEST(FieldSplit, FieldOrderOverrideReordersInTime) {
    SourceOptions bottom;
    bottom.scan = Scan::BottomFirst;
    expectPattern(ffv1Pattern("yuv420p", "tt"), Scan::BottomFirst, false, true, bottom);
    SourceOptions top;
    top.scan = Scan::TopFirst;
    expectPattern(ffv1Pattern("yuv422p", "bb"), Scan::TopFirst, true, true, top);
}

TEST(FieldSplit, ProgressiveFramesSplitIntoEvenThenOddLines) {
    // Progressive 4:2:0 chroma is shared by line pairs: only luma is exact.
    expectPattern(ffv1Pattern("yuv420p", "progressive"), Scan::Progressive, true, false);
}

TEST(FieldSplit, InterlacedChromaWouldMixIfTreatedAsProgressive) {
    // The same interlaced clip forced progressive: chroma lines of both
    // fields are interpolated together, so a field's chroma is no longer its
    // own constant (this is what the per-field path avoids).
    SourceOptions progressive;
    progressive.scan = Scan::Progressive;
    auto source = openSource(ffv1Pattern("yuv420p", "tt"), progressive);
    Frame f;
    ASSERT_TRUE(source->read(f));
    EXPECT_GT(laneDeviation(f.first, 1, kEvenCb), 10);
}

TEST(FieldSplit, InterlacedChromaServesOnlyItsOwnFieldsLines) {
    // Chroma line R (20 + 8R) belongs to field R mod 2, where it covers the
    // field's rows 2k and 2k + 1 for R = 2k + parity, each sample repeated.
    auto source = openSource(ffv1ChromaRamp());
    Frame f;
    ASSERT_TRUE(source->read(f));
    for (int parity = 0; parity < 2; ++parity) {
        const Field& field = parity == 0 ? f.first : f.second;
        for (int r = 0; r < field.height; ++r)
            for (int x : {0, 1, 31, 63}) {
                const int chromaLine = 2 * (r / 2) + parity;
                EXPECT_EQ(field.row(r)[4 * x + 1], 20 + 8 * chromaLine)
                    << "field " << parity << " row " << r << " x " << x;
                EXPECT_EQ(field.row(r)[4 * x + 2], 128);
                EXPECT_EQ(field.row(r)[4 * x + 3], 100);
            }
    }
}

TEST(FieldSplit, FourFourFourSamplesLandOnTheirLines) {
    for (const std::string order : {"tt", "bb", "progressive"}) {
        auto source = openSource(ffv1Exact444(order));
        const bool evenFirst = order != "bb";
        Frame f;
        for (int n = 0; n < 10; ++n) {
            ASSERT_TRUE(source->read(f));
            for (int parity = 0; parity < 2; ++parity) {
                const Field& field = (parity == 0) == evenFirst ? f.first : f.second;
                ASSERT_EQ(field.width, 64);
                ASSERT_EQ(field.height, 24);
                for (int r = 0; r < 24; ++r)
                    for (int x = 0; x < 64; ++x) {
                        const uint8_t* p = field.row(r) + 4 * x;
                        const int line = 2 * r + parity;
                        ASSERT_EQ(p[3], exactLuma(x, line, n)) << order << " " << x << "," << line;
                        ASSERT_EQ(p[1], exactCb(x, line)) << order << " " << x << "," << line;
                        ASSERT_EQ(p[2], exactCr(x, line, n)) << order << " " << x << "," << line;
                        ASSERT_EQ(p[0], 255);
                    }
            }
        }
    }
}

TEST(FieldSplit, OddFrameHeightGivesEqualFieldsRepeatingTheLastOddLine) {
    auto source = openSource(ffv1Exact444("tt", "64x33"));
    ASSERT_EQ(source->info().height, 33);
    ASSERT_EQ(source->info().fieldHeight(), 17);
    Frame f;
    ASSERT_TRUE(source->read(f));
    ASSERT_EQ(f.first.height, 17);
    ASSERT_EQ(f.second.height, 17);
    EXPECT_EQ(f.first.row(16)[3], exactLuma(0, 32, 0));
    EXPECT_EQ(f.second.row(15)[3], exactLuma(0, 31, 0));
    EXPECT_EQ(f.second.row(16)[3], exactLuma(0, 31, 0));
}

TEST(FieldSplit, FullRangeSourcesBecomeLimitedRange) {
    const std::string path =
        clip("fullrange.mkv", {"-f", "lavfi", "-i",
                               "color=c=black:s=64x48:r=25:d=0.08,format=yuv444p,"
                               "geq=lum='if(lt(X,32),0,255)':cb=128:cr=128",
                               "-c:v", "ffv1", "-color_range", "pc"});
    auto source = openSource(path);
    EXPECT_EQ(source->info().colour.range, 2);
    Frame f;
    ASSERT_TRUE(source->read(f));
    EXPECT_EQ(f.first.row(3)[4 * 0 + 3], 16);
    EXPECT_EQ(f.first.row(3)[4 * 63 + 3], 235);
    EXPECT_EQ(f.second.row(3)[4 * 31 + 3], 16);
    EXPECT_EQ(f.second.row(3)[4 * 32 + 3], 235);
    expectLane(f.first, 1, 128, "full range");
}

TEST(FieldSplit, AlphaBecomesOpacity) {
    const std::string path =
        clip("alpha.mkv", {"-f", "lavfi", "-i",
                           "color=c=black:s=64x48:r=25:d=0.08,format=yuva444p,"
                           "geq=lum=100:cb=128:cr=128:a='if(lt(X,32),255,64)'",
                           "-c:v", "ffv1"});
    auto source = openSource(path);
    EXPECT_TRUE(source->info().alpha);
    Frame f;
    ASSERT_TRUE(source->read(f));
    EXPECT_EQ(f.first.row(0)[0], 255);
    EXPECT_EQ(f.first.row(0)[4 * 40], 64);
    EXPECT_EQ(f.second.row(23)[4 * 63], 64);
}

TEST(FieldSplit, RgbSourcesBecomeYCbCrInTheMatrixOfTheirSize) {
    const std::string path = clip(
        "rgb.mkv", {"-f", "lavfi", "-i", "color=c=0xFF0000:s=64x48:r=25:d=0.08,format=bgr0",
                    "-c:v", "ffv1"});
    auto source = openSource(path);
    EXPECT_EQ(source->info().colour.matrix, 5);
    EXPECT_EQ(source->info().colour.range, 1);
    Frame f;
    ASSERT_TRUE(source->read(f));
    // BT.601 red: Y' 81.48, Cb 90.27, Cr 240.
    EXPECT_LE(laneDeviation(f.first, 3, 81), 1);
    EXPECT_LE(laneDeviation(f.first, 1, 90), 1);
    EXPECT_LE(laneDeviation(f.first, 2, 240), 1);
}

TEST(FieldSplit, FieldsMadeLaterAreTheFieldsMadeAtOnce) {
    // A render decodes on one thread and leaves the split to its workers:
    // each field made apart must be the field the reader makes, and a field
    // given up that way is read again when asked for once more.
    const std::string rgb = clip(
        "rgb.mkv", {"-f", "lavfi", "-i", "color=c=0xFF0000:s=64x48:r=25:d=0.08,format=bgr0",
                    "-c:v", "ffv1"});
    const struct {
        std::string path;
        bool later;  // false: the scaler converts, at once
    } clips[] = {{ffv1Pattern("yuv420p", "tt"), true},
                 {ffv1Pattern("yuv422p", "bb"), true},
                 {ffv1Pattern("yuv420p", "progressive"), true},
                 {ffv1Exact444("tt", "64x33"), true},
                 {rgb, false}};
    for (const auto& c : clips) {
        SCOPED_TRACE(c.path);
        FieldReader atOnce(c.path), apart(c.path);
        const int64_t fields = atOnce.fieldCount();
        for (int64_t i = 0; i < fields; ++i) {
            const Field expected = atOnce.field(i);
            std::shared_ptr<const FrameFields> frame;
            int which = -1;
            ASSERT_EQ(apart.takeLater(i, frame, which), c.later) << i;
            if (!c.later) continue;
            EXPECT_EQ(which, int(i & 1));
            Field made;
            frame->field(which, made);
            ASSERT_EQ(made.height, expected.height);
            EXPECT_TRUE(made.pixels == expected.pixels) << "field " << i;
        }
        if (c.later) {
            EXPECT_TRUE(apart.field(fields - 1).pixels == atOnce.field(fields - 1).pixels);
            EXPECT_TRUE(apart.field(1).pixels == atOnce.field(1).pixels);
        }
    }
}
