// The shared operator helpers: clamped slider reads, the message rules for
// host mistakes, active rectangles kept inside the image, and the release of
// held images when a request fails.
#include <gtest/gtest.h>

#include "fieldfx/helpers/contract/message.h"
#include "fieldfx/helpers/contract/params.h"
#include "fieldfx/helpers/contract/request.h"
#include "fieldfx/helpers/pixel/rect.h"
#include "testhost.h"

namespace {

TEST(SliderValue, ClampsIntoTheDeclaredRange) {
    SliderDescriptor s = fieldfx::makeSlider(220, 1, 100, 25);
    EXPECT_EQ(s.auxTextId, 221u);
    EXPECT_EQ(fieldfx::sliderValue(s), 25);
    s.value = 0;
    EXPECT_EQ(fieldfx::sliderValue(s), 1);
    s.value = 1 << 30;
    EXPECT_EQ(fieldfx::sliderValue(s), 100);
    s.value = INT32_MIN;
    EXPECT_EQ(fieldfx::sliderValue(s), 1);
    // A range the host turned upside down still yields a value inside [minimum, ...].
    s.minimum = 50;
    s.maximum = 10;
    s.value = 70;
    EXPECT_EQ(fieldfx::sliderValue(s), 50);
}

TEST(MessageRules, ZeroesAreHarmless) {
    OperatorMessage m{};
    EXPECT_EQ(fieldfx::pixelAspectOf(&m), 1000);
    EXPECT_EQ(fieldfx::durationOf(&m), 1u);
    m.flags = OPF_SCALE;
    EXPECT_FALSE(fieldfx::scalesSizes(&m));  // scaleDen 0: no scaling
    m.scaleDen = 2;
    EXPECT_TRUE(fieldfx::scalesSizes(&m));
    m.pixelAspect = 1094;
    m.duration = 50;
    m.position = 80;
    EXPECT_EQ(fieldfx::pixelAspectOf(&m), 1094);
    EXPECT_EQ(fieldfx::positionWithin(&m), 49u);
    m.position = 49;
    EXPECT_EQ(fieldfx::positionWithin(&m), 49u);
    EXPECT_FALSE(fieldfx::isOddField(&m));
    m.flags = OPF_ODD_FIELD;
    EXPECT_TRUE(fieldfx::isOddField(&m));
}

FieldImage image(int w, int h, int ax, int ay, int aw, int ah) {
    return FieldImage{nullptr, int16_t(w), int16_t(h), int16_t(ax), int16_t(ay), int16_t(aw), int16_t(ah)};
}

void expectRect(const fieldfx::PixelRect& r, int x0, int y0, int x1, int y1) {
    EXPECT_EQ(r.x0, x0);
    EXPECT_EQ(r.y0, y0);
    EXPECT_EQ(r.x1, x1);
    EXPECT_EQ(r.y1, y1);
}

TEST(ActiveRect, InsideTheImageUnchangedOutsideCut) {
    FieldImage f = image(720, 288, 8, 2, 704, 284);
    expectRect(fieldfx::activeRect(&f), 8, 2, 712, 286);
    f = image(720, 288, -10, -5, 100, 50);
    expectRect(fieldfx::activeRect(&f), 0, 0, 90, 45);
    f = image(720, 288, 700, 280, 100, 50);
    expectRect(fieldfx::activeRect(&f), 700, 280, 720, 288);
    f = image(720, 288, -32768, -32768, 32767, 32767);
    EXPECT_TRUE(fieldfx::activeRect(&f).empty());
    f = image(720, 288, 800, 0, 10, 10);
    EXPECT_TRUE(fieldfx::activeRect(&f).empty());
    f = image(720, 288, 10, 10, -5, 10);
    EXPECT_TRUE(fieldfx::activeRect(&f).empty());
    f = image(-4, 288, 0, 0, 10, 10);
    expectRect(fieldfx::imageRect(&f), 0, 0, 0, 288);
}

const fieldfx::OperatorIdentity kProbe{"src\\Probe", 0x0b990000u};

TEST(RequestImages, FailureLogsThenReleasesWhatTheRequestHolds) {
    testhost::Host host;
    host.setInput(0, testhost::makeField(2, 2));
    host.setInput(1, testhost::makeField(2, 2));
    host.failCall(testhost::Service::AllocImage, 1);
    {
        fieldfx::RequestImages images(kProbe);
        ASSERT_NE(images.field(0, 5, 10), nullptr);
        ASSERT_NE(images.field(1, 5, 11), nullptr);
        EXPECT_EQ(images.scratch(12), nullptr);
    }
    EXPECT_EQ(host.calls(),
              (std::vector<std::string>{"opGetField(0,5)", "opGetField(1,5)",
                                        "opAllocImage(-1,-1,1,0)",
                                        "loggerMessage(4,12,src\\Probe,0x0b990000)",
                                        "opFreeImage(in0)", "opFreeImage(in1)"}));
    EXPECT_EQ(host.outstanding(), 0);
    EXPECT_EQ(host.badReleases(), 0);
    ASSERT_EQ(host.logs().size(), 1u);
    EXPECT_EQ(host.logs()[0].text, " ");
}

TEST(RequestImages, FirstFetchFailingReleasesNothing) {
    testhost::Host host;
    host.failCall(testhost::Service::GetField, 1);
    fieldfx::RequestImages images(kProbe);
    EXPECT_EQ(images.field(0, 0, 7), nullptr);
    EXPECT_EQ(host.calls(), (std::vector<std::string>{"opGetField(0,0)",
                                                      "loggerMessage(4,7,src\\Probe,0x0b990000)"}));
}

}  // namespace
