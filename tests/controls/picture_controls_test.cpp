#include <gtest/gtest.h>

#include <cmath>

#include "base/reporter.h"
#include "controls/picture_controls.h"

namespace tunecase {
namespace {

TEST(OffScreenPictureErrors, DrawingErrorIsShownOnceUntilCleared) {
    ScopedCapture cap;
    offScreenPictureError(ospc::ClearDrawingError);
    offScreenPictureError(ospc::DrawingError);
    offScreenPictureError(ospc::DrawingError);
    offScreenPictureError(7);
    offScreenPictureError(7);
    offScreenPictureError(ospc::ClearDrawingError);
    offScreenPictureError(ospc::DrawingError);
    auto texts = cap->visibleTexts();
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[0], "OSPC00000001 Drawing error.");
    EXPECT_EQ(texts[1], "OSPC00000007 An error occurred while drawing a picture.");
    EXPECT_EQ(texts[2], texts[1]);
    EXPECT_EQ(texts[3], texts[0]);
    EXPECT_EQ(cap->reports()[0].kind, BoxKind::SystemModalOk);
    EXPECT_EQ(cap->reports()[0].tag, "OSPC");
    offScreenPictureError(ospc::ClearDrawingError);
}

TEST(BusyRing, PixelsLieOnTheThreeRadiiAndTheHeadTrailsFromIts60Degrees) {
    const BusyRingColours colours{{0, 0, 0}, {100, 50, 25}, {200, 150, 250}, {9, 9, 9}};
    const BusyRingFrame frame = busyRingFrame(40, 40, 0, colours, [] { return 0; });
    ASSERT_EQ(frame.pixels.size(), 360u);
    for (const RingPixel& p : frame.pixels) {
        const double r = std::hypot(p.x - 20.0, p.y - 20.0);
        EXPECT_GE(r, 13.0);
        EXPECT_LE(r, 17.0);  // truncated to whole pixels
    }
    EXPECT_DOUBLE_EQ(busyHeadAngle(0), 180.0);
    EXPECT_NEAR(busyHeadAngle(50), 0.0, 1e-9);
    EXPECT_NEAR(busyHeadAngle(99), 183.6, 1e-9);
    EXPECT_NEAR(busyHeadAngle(75), 270.0, 1e-9);

    // Phase 0: the head starts at 180 degrees, straight up from the centre.
    const RingPixel& top = frame.pixels[60 * 3 + 1];  // a = 180, r = 15
    EXPECT_EQ(top.x, 20);
    EXPECT_EQ(top.y, 5);
    EXPECT_EQ(top.colour, (Rgb{160, 120, 200}));      // full head colour times 0.8
    EXPECT_EQ(frame.pixels[70 * 3].colour, (Rgb{80, 60, 100}));    // a = 210: half of it
    EXPECT_EQ(frame.pixels[80 * 3].colour, (Rgb{0, 0, 0}));       // a = 240: the head's end
    EXPECT_EQ(frame.pixels[0].colour, (Rgb{80, 40, 20}));         // a = 0: plain ring
    EXPECT_EQ(frame.pixels[59 * 3].colour, (Rgb{80, 40, 20}));    // a = 177: just behind the head
}

TEST(BusyRing, JitterAddsUpTo64PerChannelAndTheResultIsCapped) {
    const BusyRingColours colours{{0, 0, 0}, {240, 0, 100}, {240, 240, 240}, {0, 0, 0}};
    int calls = 0;
    const BusyRingFrame high = busyRingFrame(40, 40, 40, colours, [&] { ++calls; return 64; });
    EXPECT_EQ(calls, 360 * 3);
    for (const RingPixel& p : high.pixels) {
        EXPECT_LE(p.colour.r, 255);
        EXPECT_LE(p.colour.g, 255);
    }
    EXPECT_EQ(high.pixels[0].colour, (Rgb{243, 51, 131}));  // (240+64)*0.8 = 243.2, 64*0.8, 164*0.8

    // The program's random helper stays inside 0..64.
    const BusyRingFrame random = busyRingFrame(40, 40, 40, colours);
    // Phase 40 puts the head at 36..96 degrees; check the plain ring elsewhere.
    for (size_t i = 0; i < random.pixels.size(); ++i) {
        const int a = static_cast<int>(i / 3) * 3;
        if (a >= 36 && a <= 96) continue;
        const RingPixel& p = random.pixels[i];
        EXPECT_GE(p.colour.r, 192);
        EXPECT_LE(p.colour.b, 131);
        EXPECT_GE(p.colour.b, 80);
    }
}

TEST(BusyRing, CentreDotShowsOnPhases16To29OfEachCycle) {
    const BusyRingColours colours{};
    auto dot = [&](int phase, int width = 40) { return busyRingFrame(width, 40, phase, colours, [] { return 0; }); };
    EXPECT_FALSE(dot(15).centreDot);
    EXPECT_TRUE(dot(16).centreDot);
    EXPECT_TRUE(dot(29).centreDot);
    EXPECT_FALSE(dot(30).centreDot);
    EXPECT_TRUE(dot(46).centreDot);
    EXPECT_FALSE(dot(99).centreDot);
    EXPECT_TRUE(dot(76).centreDot);
    EXPECT_EQ(dot(16).centreRadius, 8);
    EXPECT_EQ(dot(16, 8).centreRadius, 1);
}

}  // namespace
}  // namespace tunecase
