// The tunnel geometry shared by Tunnel and Burrow, pinned to the bit. The
// expected doubles were derived by hand in an independent evaluation of the
// formulas (printed with %a).
#include <gtest/gtest.h>

#include <cstdint>

#include "fieldfx/helpers/tunnel_geometry.h"

using namespace fieldfx;

namespace {

// Transcendental results are pinned to the last bit on x86-64 only; other C
// libraries may differ there (the output bytes are checked everywhere).
#if UINTPTR_MAX == UINT64_MAX
#define EXPECT_TRANSCENDENTAL(actual, expected) EXPECT_EQ(actual, expected)
#else
#define EXPECT_TRANSCENDENTAL(actual, expected) EXPECT_NEAR(actual, expected, 1e-12)
#endif

const TunnelCentre kEven{320, 140, 0, 1000};

TEST(TunnelGeometry, CentreCountsFromTheActiveCornerAndReadsTheMessage) {
    FieldImage image{};
    image.activeX = 8;
    image.activeY = -3;
    PositionDescriptor marker{};
    marker.posX = 320;
    marker.posY = 140;
    OperatorMessage msg{};
    msg.flags = OPF_ODD_FIELD | OPF_SCALE;
    msg.pixelAspect = 1094;
    TunnelCentre c = tunnelCentre(&image, marker, &msg);
    EXPECT_EQ(c.cx, 328);
    EXPECT_EQ(c.cy, 137);
    EXPECT_EQ(c.f, 1);
    EXPECT_EQ(c.pa, 1094);
    msg.flags = OPF_SCALE;
    msg.pixelAspect = 0;  // taken as square pixels
    c = tunnelCentre(&image, marker, &msg);
    EXPECT_EQ(c.f, 0);
    EXPECT_EQ(c.pa, 1000);
}

TEST(TunnelGeometry, VerticalDistanceCountsFrameLinesScaledByAspect) {
    EXPECT_EQ(frameLineDistance(kEven, 20), -240.0);
    EXPECT_EQ(frameLineDistance(TunnelCentre{320, 140, 1, 1000}, 20), -239.0);
    // 1094 * -240 / 1000, the product first.
    EXPECT_EQ(frameLineDistance(TunnelCentre{320, 140, 0, 1094}, 20), -0x1.068f5c28f5c29p+8);
    EXPECT_EQ(frameLineDistance(TunnelCentre{320, 140, 1, 1094}, 20), -0x1.058f5c28f5c29p+8);
    EXPECT_EQ(columnDistance(kEven, 700), 380.0);
    EXPECT_EQ(columnDistance(kEven, 7), -313.0);
    EXPECT_EQ(centreDistance(10.0, 20.0), 0x1.65c55827df1d2p+4);  // 22.360679774997898
}

TEST(TunnelGeometry, RingRadiusRunsFromTheRimToDepthBeyondIt) {
    const double span = 0x1.ca0cc59a7fdc0p+8;  // 458.04989019033019
    EXPECT_EQ(ringRadius(10, 236.0, span, 144.0), 0x1.2a4df7468924ep+7);  // 149.15227718757745
    EXPECT_EQ(ringRadius(10, 96.0, span, 144.0), 0x1.243112255ed6ap+7);   // 146.09584156782813
    EXPECT_EQ(ringRadius(0, 236.0, span, 144.0), 144.0);
    EXPECT_EQ(ringRadius(10, span, span, 144.0), 154.0);
}

TEST(TunnelGeometry, SamplesAlongThePixelsDirection) {
    // Right of the centre on its row, and straight above it.
    SamplePosition s = tunnelSample(kEven, 380.0, 0.0, 380.0, 0x1.2a4df7468924ep+7);
    EXPECT_EQ(s.x, 0x1.d526fba344927p+8);  // 469.15227718757745
    EXPECT_EQ(s.y, 140.0);
    s = tunnelSample(kEven, 0.0, -240.0, 240.0, 0x1.243112255ed6ap+7);
    EXPECT_EQ(s.x, 320.0);
    EXPECT_EQ(s.y, 0x1.0bceeddaa1296p+6);  // 66.952079216085934
    // A rim radius that grows with progress: the ring at 254.078... lies
    // right of the centre.
    s = tunnelSample(kEven, 380.0, 0.0, 380.0, 0x1.fc28020faf0d7p+7);
    EXPECT_EQ(s.x, 0x1.1f0a0083ebc36p+9);  // 574.07814072620272
}

TEST(TunnelGeometry, OddFieldAndAspectAreUndoneInTheSampleRow) {
    const TunnelCentre c{20, 10, 1, 1094};
    const double dv = frameLineDistance(c, 3);
    EXPECT_EQ(dv, -0x1.ca1cac083126fp+3);  // -14.316000000000001
    const double dist = centreDistance(11.0, dv);
    EXPECT_EQ(dist, 0x1.20dd4a66cd6c0p+4);
    const double rho = ringRadius(7, dist - 4.25, 13.5, 4.25);
    EXPECT_EQ(rho, 0x1.6d0b699a04700p+3);
    const SamplePosition s = tunnelSample(c, 11.0, dv, dist, rho);
    EXPECT_TRANSCENDENTAL(s.x, 0x1.af35264efa8a6p+4);  // 26.950475986967511
    EXPECT_TRANSCENDENTAL(s.y, 0x1.5a2868bc8990ap+2);  // 5.4087163773713289
}

}  // namespace
