// The bilinear sampler: its arithmetic, and what neighbours outside the
// bounding rectangle read in the clamp, border and image-clamp variants.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <random>

#include "fieldfx/helpers/lanes/sampler_lanes.h"
#include "fieldfx/helpers/pixel/sampler.h"
#include "testhost.h"

using testhost::FieldSpec;
using testhost::makeField;
using testhost::pixelWord;

namespace {

using Pixel = std::array<uint8_t, 4>;

// A field the sampler reads in place; the pixel vector is exactly the image,
// so a read outside it is caught by the address sanitizer.
struct Image {
    FieldSpec fieldSpec;
    FieldImage record{};

    explicit Image(FieldSpec s) : fieldSpec(std::move(s)) { sync(); }
    void sync() {
        record = FieldImage{fieldSpec.pixels.data(), fieldSpec.width,       fieldSpec.height,
                            fieldSpec.activeX,        fieldSpec.activeY,     fieldSpec.activeWidth,
                            fieldSpec.activeHeight};
    }
    void setActive(int x, int y, int w, int h) {
        fieldSpec.setActive(x, y, w, h);
        sync();
    }
    void set(int x, int y, Pixel p) {
        for (int i = 0; i < 4; ++i) fieldSpec.at(x, y)[i] = p[i];
    }
    Pixel at(int x, int y) const {
        const uint8_t* p = fieldSpec.at(x, y);
        return Pixel{p[0], p[1], p[2], p[3]};
    }
};

// Every pixel distinct: lane i of (x, y) = 1 + x + 16 * y + 64 * i (mod 256),
// small enough fields keep lanes of different pixels apart.
Image numbered(int width, int height) {
    FieldSpec f = makeField(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int i = 0; i < 4; ++i) f.at(x, y)[i] = uint8_t(1 + x + 16 * y + 64 * i);
    return Image(std::move(f));
}

Pixel clamp(const Image& img, double x, double y) {
    Pixel out{};
    fieldfx::sampleBilinear(fieldfx::clampSource(&img.record), x, y, out.data());
    return out;
}

Pixel imageClamp(const Image& img, double x, double y) {
    Pixel out{};
    fieldfx::sampleBilinear(fieldfx::imageClampSource(&img.record), x, y, out.data());
    return out;
}

const Pixel kBorder{255, 128, 128, 16};

Pixel border(const Image& img, double x, double y, Pixel colour = kBorder) {
    Pixel out{};
    fieldfx::sampleBilinearBorder(fieldfx::borderSource(&img.record), x, y, colour.data(),
                                  out.data());
    return out;
}

// ---- Arithmetic ----------------------------------------------------------------

// Neighbours of (4.25, 7.5): p00 (4,7), p10 (5,7), p01 (4,8), p11 (5,8).
Image blendExample() {
    Image img(makeField(8, 10));
    img.set(4, 7, {10, 200, 255, 0});
    img.set(5, 7, {20, 0, 255, 3});
    img.set(4, 8, {30, 0, 255, 7});
    img.set(5, 8, {50, 200, 255, 1});
    return img;
}

TEST(SamplerArithmetic, BlendsHorizontallyThenVertically) {
    const Image img = blendExample();
    // Lane 0: top 10*0.25+10 = 12.5, bottom 20*0.25+30 = 35, 22.5*0.5+12.5 = 23.75.
    // Lane 1: top -200*0.25+200 = 150, bottom 200*0.25 = 50, -100*0.5+150 = 100.
    // Lane 2: all 255. Lane 3: top 0.75, bottom -6*0.25+7 = 5.5, 4.75*0.5+0.75 = 3.125.
    const Pixel expected{23, 100, 255, 3};
    EXPECT_EQ(clamp(img, 4.25, 7.5), expected);
    EXPECT_EQ(imageClamp(img, 4.25, 7.5), expected);
    EXPECT_EQ(border(img, 4.25, 7.5), expected);
}

// Values that are whole in exact arithmetic land just below it in double;
// the order of the operations decides the byte.
TEST(SamplerArithmetic, RoundsInTheStatedOrder) {
    Image img(makeField(50, 280, pixelWord(0, 0, 0, 0)));
    // fx = 44.8 - 44 = 0.7999999999999972, fy = 0.19999999999998863:
    // top 208.7999999999994, bottom 164.79999999999987, v 199.99999999999997.
    // (Weighting the rows by 1 - fy and fy instead gives 200.)
    img.set(44, 270, {40, 0, 0, 0});
    img.set(45, 270, {251, 0, 0, 0});
    img.set(44, 271, {128, 0, 0, 0});
    img.set(45, 271, {174, 0, 0, 0});
    EXPECT_EQ(clamp(img, 44.8, 270.2)[0], 199);
    // fx = 0.8999999999999986, fy = 0.2999999999999998: top 26.100000000000165
    // (135 * (1 - fx) + 14 * fx would give 26.100000000000172), bottom
    // 219.09999999999968, v 83.99999999999999.
    img.set(24, 5, {0, 135, 0, 0});
    img.set(25, 5, {0, 14, 0, 0});
    img.set(24, 6, {0, 13, 0, 0});
    img.set(25, 6, {0, 242, 0, 0});
    EXPECT_EQ(clamp(img, 24.9, 5.3)[1], 83);
    EXPECT_EQ(border(img, 24.9, 5.3)[1], 83);
}

TEST(SamplerArithmetic, TruncatesTowardZero) {
    Image img(makeField(8, 4, pixelWord(0, 0, 0, 0)));
    img.set(5, 1, {24, 95, 0, 0});
    // Lane 0: 24 * 0.99999... = 23.99976 gives 23; lane 1 at fx 0.25: 23.75 gives 23.
    EXPECT_EQ(clamp(img, 4.99999, 1.0)[0], 23);
    EXPECT_EQ(clamp(img, 4.25, 1.0)[1], 23);
    EXPECT_EQ(border(img, 4.25, 1.0)[1], 23);
    EXPECT_EQ(imageClamp(img, 4.25, 1.0)[1], 23);
}

TEST(SamplerArithmetic, WholePositionsReturnThePixelInAllVariants) {
    Image img = numbered(6, 5);
    img.setActive(1, 1, 4, 3);  // columns 1..4, rows 1..3
    for (int y = 1; y <= 3; ++y) {
        for (int x = 1; x <= 4; ++x) {
            SCOPED_TRACE(testing::Message() << "(" << x << ", " << y << ")");
            EXPECT_EQ(clamp(img, x, y), img.at(x, y));
            EXPECT_EQ(border(img, x, y), img.at(x, y));
            EXPECT_EQ(imageClamp(img, x, y), img.at(x, y));
        }
    }
    EXPECT_EQ(imageClamp(img, 5, 4), img.at(5, 4));  // the image's own last pixel
}

TEST(SamplerArithmetic, NegativeFractionIsZeroNeverExtrapolated) {
    Image img = numbered(6, 5);
    // -0.5 truncates to 0 and its fraction -0.5 counts as 0: the pixel at 0.
    EXPECT_EQ(clamp(img, -0.5, 2.0), img.at(0, 2));
    EXPECT_EQ(border(img, -0.5, 2.0), img.at(0, 2));
    EXPECT_EQ(imageClamp(img, -0.5, 2.0), img.at(0, 2));
    EXPECT_EQ(clamp(img, 3.0, -0.75), img.at(3, 0));
    EXPECT_EQ(border(img, -0.25, -0.75), img.at(0, 0));
    // Inside a rectangle starting at column 2, column 0 clamps to column 2.
    img.setActive(2, 1, 3, 3);
    EXPECT_EQ(clamp(img, -0.5, 2.0), img.at(2, 2));
}

// ---- Edges -------------------------------------------------------------------

TEST(SamplerEdges, HalfPastTheLastColumn) {
    Image img = numbered(8, 4);
    img.setActive(1, 0, 5, 4);  // last active column 5
    img.set(5, 2, {10, 21, 200, 7});
    // Clamp: the right neighbour is column 5 again.
    EXPECT_EQ(clamp(img, 5.5, 2.0), (Pixel{10, 21, 200, 7}));
    // Border: halfway to the border colour, per byte
    // (245*0.5+10 = 132.5, 107*0.5+21 = 74.5, -72*0.5+200 = 164, 9*0.5+7 = 11.5).
    EXPECT_EQ(border(img, 5.5, 2.0), (Pixel{132, 74, 164, 11}));
    // Image clamp ignores the rectangle: halfway to column 6, which holds
    // (39, 103, 167, 231): 24.5, 62, 183.5, 119.
    EXPECT_EQ(img.at(6, 2), (Pixel{39, 103, 167, 231}));
    EXPECT_EQ(imageClamp(img, 5.5, 2.0), (Pixel{24, 62, 183, 119}));
}

TEST(SamplerEdges, HalfBeforeTheFirstColumnInTheBorderVariant) {
    Image img = numbered(8, 4);
    img.setActive(2, 0, 4, 4);
    img.set(2, 1, {10, 21, 200, 7});
    const Pixel colour{0, 100, 50, 255};
    // p00 is the border, p10 column 2: (10-0)*0.5 = 5, (21-100)*0.5+100 = 60.5,
    // (200-50)*0.5+50 = 125, (7-255)*0.5+255 = 131.
    EXPECT_EQ(border(img, 1.5, 1.0, colour), (Pixel{5, 60, 125, 131}));
    EXPECT_EQ(clamp(img, 1.5, 1.0), (Pixel{10, 21, 200, 7}));
}

TEST(SamplerEdges, RowsBehaveLikeColumns) {
    Image img = numbered(4, 8);
    img.setActive(0, 1, 4, 5);  // rows 1..5
    img.set(2, 5, {10, 21, 200, 7});
    EXPECT_EQ(clamp(img, 2.0, 5.5), (Pixel{10, 21, 200, 7}));
    EXPECT_EQ(border(img, 2.0, 5.5), (Pixel{132, 74, 164, 11}));
    EXPECT_EQ(clamp(img, 2.0, 0.0), img.at(2, 1));
    EXPECT_EQ(border(img, 2.0, 0.0), kBorder);
}

TEST(SamplerEdges, FarOutsideReadsTheEdgeOrTheBorder) {
    Image img = numbered(8, 6);
    img.setActive(1, 2, 5, 3);  // columns 1..5, rows 2..4
    EXPECT_EQ(clamp(img, -1000.0, 3.0), img.at(1, 3));
    EXPECT_EQ(clamp(img, 10000.0, 3.0), img.at(5, 3));
    EXPECT_EQ(clamp(img, 3.0, -1000.0), img.at(3, 2));
    EXPECT_EQ(clamp(img, 3.0, 10000.0), img.at(3, 4));
    // Beyond a corner: both axes clamp, the corner pixel.
    EXPECT_EQ(clamp(img, -1000.0, -1000.0), img.at(1, 2));
    EXPECT_EQ(clamp(img, 10000.0, 10000.0), img.at(5, 4));
    for (double x : {-1000.0, 10000.0}) EXPECT_EQ(border(img, x, 3.0), kBorder);
    for (double y : {-1000.0, 10000.0}) EXPECT_EQ(border(img, 3.0, y), kBorder);
    EXPECT_EQ(imageClamp(img, -1000.0, 10000.0), img.at(0, 5));
    EXPECT_EQ(imageClamp(img, 10000.0, -1000.0), img.at(7, 0));
}

TEST(SamplerEdges, ImageClampIgnoresTheActiveRectangle) {
    Image img = numbered(6, 5);
    img.setActive(2, 2, 2, 2);
    EXPECT_EQ(imageClamp(img, 0.0, 0.0), img.at(0, 0));
    EXPECT_EQ(imageClamp(img, 5.5, 4.5), img.at(5, 4));
    EXPECT_EQ(imageClamp(img, -3.0, 1.0), img.at(0, 1));
}

// ---- Active rectangles outside the image ------------------------------------

TEST(SamplerBounds, RectangleReachingOutsideIsCutToTheImage) {
    Image img = numbered(8, 6);
    img.setActive(-5, -3, 100, 50);
    EXPECT_EQ(clamp(img, -1000.0, -1000.0), img.at(0, 0));
    EXPECT_EQ(clamp(img, 10000.0, 10000.0), img.at(7, 5));
    EXPECT_EQ(clamp(img, 7.5, 5.5), img.at(7, 5));
    // Outside the image is outside the (cut) rectangle: the border colour.
    EXPECT_EQ(border(img, -2.0, 1.0), kBorder);
    EXPECT_EQ(border(img, 8.0, 5.0), kBorder);
    EXPECT_EQ(border(img, 7.0, 5.0), img.at(7, 5));
}

TEST(SamplerBounds, EmptyRectangleClampsToTheImageAndBordersEverything) {
    Image img = numbered(8, 6);
    for (auto [x, y, w, h] : {std::array<int, 4>{3, 2, 0, 4}, std::array<int, 4>{3, 2, 4, 0},
                              std::array<int, 4>{3, 2, -4, 2}, std::array<int, 4>{20, 1, 5, 2},
                              std::array<int, 4>{1, -9, 3, 4}}) {
        SCOPED_TRACE(testing::Message() << x << "," << y << " " << w << "x" << h);
        img.setActive(x, y, w, h);
        EXPECT_EQ(clamp(img, 2.0, 3.0), img.at(2, 3));
        EXPECT_EQ(clamp(img, -50.0, 50.0), img.at(0, 5));
        EXPECT_EQ(border(img, 2.0, 3.0), kBorder);
        EXPECT_EQ(border(img, 2.5, 3.5), kBorder);
        EXPECT_EQ(imageClamp(img, 2.0, 3.0), img.at(2, 3));
    }
}

// ---- Sources passed in -------------------------------------------------------

// The pixels of one image read within a rectangle given separately, as a
// transition does with the geometry of its other input.
TEST(SamplerSource, PixelsAndBoundsComeFromTheCaller) {
    Image pixels = numbered(6, 4);
    Image other = numbered(6, 4);
    other.setActive(1, 1, 3, 2);
    const fieldfx::SampleSource src{pixels.fieldSpec.pixels.data(), pixels.fieldSpec.width,
                                    fieldfx::activeRect(&other.record)};
    Pixel out{};
    fieldfx::sampleBilinear(src, 0.0, 0.0, out.data());
    EXPECT_EQ(out, pixels.at(1, 1));
    fieldfx::sampleBilinear(src, 9.0, 9.0, out.data());
    EXPECT_EQ(out, pixels.at(3, 2));
    fieldfx::sampleBilinearBorder(src, 0.0, 0.0, kBorder.data(), out.data());
    EXPECT_EQ(out, kBorder);
    // Two sources used in turn do not disturb each other.
    Image second = numbered(3, 3);
    second.set(1, 1, {9, 9, 9, 9});
    EXPECT_EQ(clamp(second, 1.0, 1.0), (Pixel{9, 9, 9, 9}));
    fieldfx::sampleBilinear(src, 2.0, 1.0, out.data());
    EXPECT_EQ(out, pixels.at(2, 1));
}


// ---- Four positions at once (AVX2) ------------------------------------------

#if defined(FIELDFX_AVX2_LANES)

FIELDFX_TARGET("avx2", flatten) void clampedFour(const fieldfx::SampleSource& src, const double* x,
                                     const double* y, uint8_t* out) {
    fieldfx::sampleBilinear4(src, _mm256_loadu_pd(x), _mm256_loadu_pd(y), out);
}

FIELDFX_TARGET("avx2", flatten) void insideFour(const fieldfx::SampleSource& src, const double* x,
                                    const double* y, uint8_t* out) {
    fieldfx::sampleBilinearInside4(src, _mm256_loadu_pd(x), _mm256_loadu_pd(y), out);
}

// The clamped sampler at (x[i], y[i]), and the inside one where `inside`,
// against sampleBilinear at each position.
void expectFourSingleSamples(const fieldfx::SampleSource& src, const double x[4],
                             const double y[4], bool inside) {
    uint8_t got[2][16];
    clampedFour(src, x, y, got[0]);
    if (inside) insideFour(src, x, y, got[1]);
    for (int i = 0; i < 4; ++i) {
        Pixel want{};
        fieldfx::sampleBilinear(src, x[i], y[i], want.data());
        for (int k = 0; k < (inside ? 2 : 1); ++k) {
            const uint8_t* g = got[k] + 4 * i;
            ASSERT_EQ((Pixel{g[0], g[1], g[2], g[3]}), want)
                << (k ? "inside" : "clamped") << " (" << x[i] << ", " << y[i] << ")";
        }
    }
}

// Random images and rectangles (inside, reaching outside, empty); positions
// anywhere, whole, NaN, infinite or huge for the clamped sampler, and with
// every neighbour inside for both.
TEST(SamplerFour, MatchFourSingleSamples) {
    if (!fieldfx::haveAvx2()) GTEST_SKIP() << "no AVX2";
    std::mt19937_64 rng(56);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double odd[] = {std::numeric_limits<double>::quiet_NaN(), -0.0, 1.0e12, -1.0e12,
                          std::numeric_limits<double>::infinity(), -0.75};
    for (int n = 0; n < 4000; ++n) {
        Image img(makeField(2 + int(rng() % 40), 2 + int(rng() % 30)));
        for (uint8_t& byte : img.fieldSpec.pixels) byte = uint8_t(rng());
        img.setActive(int(rng() % 50) - 10, int(rng() % 40) - 10, int(rng() % 60) - 5,
                      int(rng() % 50) - 5);
        const fieldfx::SampleSource src = fieldfx::clampSource(&img.record);
        const fieldfx::PixelRect b = src.bounds;
        const bool inside = b.x1 - b.x0 >= 2 && b.y1 - b.y0 >= 2 && n % 2 == 0;
        double x[4], y[4];
        for (int i = 0; i < 4; ++i) {
            const double fx = rng() % 4 ? unit(rng) : 0.0, fy = rng() % 4 ? unit(rng) : 0.0;
            if (inside) {  // whole parts x0 .. x1 - 2 and y0 .. y1 - 2
                x[i] = b.x0 + int(rng() % (b.x1 - b.x0 - 1)) + fx;
                y[i] = b.y0 + int(rng() % (b.y1 - b.y0 - 1)) + fy;
                if (x[i] < 1.0) x[i] = -x[i];  // a fraction below zero counts as 0
                if (y[i] < 1.0) y[i] = -y[i];
                continue;
            }
            x[i] = int(rng() % (b.x1 + 12)) - 6 + fx;
            y[i] = int(rng() % (b.y1 + 12)) - 6 + fy;
            if (rng() % 16 == 0) x[i] = odd[rng() % 6];
            if (rng() % 16 == 0) y[i] = odd[rng() % 6];
        }
        expectFourSingleSamples(src, x, y, inside);
    }
}

// Both turn bytes into doubles through the bit pattern of 2^52: every pair of
// horizontal neighbours, in every lane. Pixels (2b, 2a) and (2b + 1, 2a) hold
// bytes a and b, the row below b and a.
TEST(SamplerFour, BlendEveryPairOfBytes) {
    if (!fieldfx::haveAvx2()) GTEST_SKIP() << "no AVX2";
    Image img(makeField(512, 512));
    const auto pixel = [](int v) {
        return Pixel{uint8_t(v), uint8_t(255 - v), uint8_t(v ^ 0x5A), uint8_t(v * 7)};
    };
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            img.set(2 * b, 2 * a, pixel(a));
            img.set(2 * b + 1, 2 * a, pixel(b));
            img.set(2 * b, 2 * a + 1, pixel(b));
            img.set(2 * b + 1, 2 * a + 1, pixel(a));
        }
    }
    std::mt19937_64 rng(90);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; b += 4) {
            double x[4], y[4];
            for (int i = 0; i < 4; ++i) x[i] = 2 * (b + i) + unit(rng), y[i] = 2 * a + unit(rng);
            expectFourSingleSamples(fieldfx::clampSource(&img.record), x, y, true);
        }
    }
}

#endif

}  // namespace
