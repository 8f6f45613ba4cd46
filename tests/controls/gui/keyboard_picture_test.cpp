#include <gtest/gtest.h>

#include <QTest>
#include <thread>

#include "base/reporter.h"
#include "controls/gui/keyboard_picture.h"
#include "controls/gui/off_screen_picture.h"
#include "support/qt_test_app.h"

namespace tunecase {
namespace {

using testing::countPixels;

QPoint centreOf(const KeyRect& k) { return QPoint((k.left + k.right) / 2, k.black ? k.bottom / 2 : k.bottom - 8); }

const KeyRect& keyFor(const CKeyboardPicture& kb, int note) {
    for (const KeyRect& k : kb.keys())
        if (k.note == note) return k;
    throw std::runtime_error("no key");
}

TEST(KeyboardPicture, HeldKeysAreFilledGreenAndReleasedKeysReturnToTheirColour) {
    testing::qtTestApp();
    QWidget host;
    CKeyboardPicture kb(&host, QRect(0, 0, 400, 70), 48, 97);
    EXPECT_EQ(kb.control()->geometry(), QRect(0, 0, 400, 70));
    EXPECT_EQ(kb.keys().size(), 50u);

    QImage image = kb.render();
    EXPECT_EQ(image.pixel(centreOf(keyFor(kb, 60))), qRgb(255, 255, 255));
    EXPECT_EQ(image.pixel(centreOf(keyFor(kb, 61))), qRgb(0, 0, 0));
    // White keys are outlined in black.
    EXPECT_EQ(image.pixel(keyFor(kb, 62).left, 60), qRgb(0, 0, 0));

    kb.pressKey(60);
    kb.pressKey(61);
    kb.pressKey(60);
    image = kb.render();
    EXPECT_EQ(image.pixel(centreOf(keyFor(kb, 60))), qRgb(0, 255, 0));
    EXPECT_EQ(image.pixel(centreOf(keyFor(kb, 61))), qRgb(0, 127, 0));
    // The black key covers the upper half of its white neighbours; their lower half stays white.
    EXPECT_EQ(image.pixel(centreOf(keyFor(kb, 62))), qRgb(255, 255, 255));

    kb.releaseKey(60);  // one of the two presses
    EXPECT_EQ(kb.render().pixel(centreOf(keyFor(kb, 60))), qRgb(0, 255, 0));
    kb.releaseAll();
    image = kb.render();
    EXPECT_EQ(image.pixel(centreOf(keyFor(kb, 60))), qRgb(255, 255, 255));
    EXPECT_EQ(countPixels(image, QColor(0, 255, 0)) + countPixels(image, QColor(0, 127, 0)), 0);
}

TEST(KeyboardPicture, KeysPressedFromAnotherThreadShowAfterTheQueuedRepaint) {
    testing::qtTestApp();
    QWidget host;
    host.resize(200, 70);
    CKeyboardPicture kb(&host, QRect(0, 0, 200, 70), 60, 85);
    host.show();
    std::thread timer([&] {
        for (int i = 0; i < 200; ++i) {
            kb.pressKey(60 + i % 26);
            kb.releaseKey(60 + i % 26);
        }
        kb.pressKey(72);
    });
    timer.join();
    QApplication::processEvents();
    EXPECT_EQ(kb.heldKeys().snapshot(), std::vector<int>{72});
    const QImage shown = kb.control()->grab().toImage();
    EXPECT_EQ(shown.pixel(centreOf(keyFor(kb, 72))), qRgb(0, 255, 0));
}

TEST(KeyboardPicture, MisuseIsReported) {
    testing::qtTestApp();
    ScopedCapture cap;
    QWidget host;
    host.show();
    {
        CKeyboardPicture kb(&host, QRect(0, 0, 200, 70), 60, 85);
        QTest::mouseClick(kb.control(), Qt::LeftButton, {}, QPoint(5, 5));
        EXPECT_EQ(cap->count(), 0u);
        kb.control()->setId(-1);
        QTest::mouseClick(kb.control(), Qt::LeftButton, {}, QPoint(5, 5));
        EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{kKeyboardCallbackErrorText});
    }
    cap->clear();
    {
        CKeyboardPicture kb(&host, QRect(0, 0, 200, 70), 60, 85);
        delete kb.control();
    }
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{kKeyboardPictureErrorText});
}

TEST(OffScreenPicture, BusyRingPaintsOnItsRadiusAndNowhereFarFromIt) {
    testing::qtTestApp();
    COffScreenPicture picture;
    ASSERT_TRUE(picture.create(40, 40));
    const BusyRingColours colours = kBusyRingColours;
    const QRgb background = qRgb(colours.background.r, colours.background.g, colours.background.b);
    for (int phase : {0, 10, 20}) {
        picture.drawBusyRing(phase);
        const QImage& image = picture.image();
        int onRing = 0, farOff = 0;
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 40; ++x) {
                const double r = std::hypot(x - 20.0, y - 20.0);
                const bool painted = image.pixel(x, y) != background;
                if (r >= 14.0 && r <= 16.0 && painted) ++onRing;
                const bool nearRing = r > 12.5 && r < 17.5;
                const bool nearCentre = r <= 8.5;
                if (painted && !nearRing && !(phase == 20 && nearCentre)) ++farOff;
            }
        EXPECT_GT(onRing, 80) << phase;
        EXPECT_EQ(farOff, 0) << phase;
        const QRgb centre = image.pixel(20, 20);
        if (phase == 20) EXPECT_EQ(centre, qRgb(colours.centre.r, colours.centre.g, colours.centre.b));
        else EXPECT_EQ(centre, background);
    }
}

TEST(OffScreenPicture, AnEmptyPictureRaisesTheDrawingErrorOnce) {
    testing::qtTestApp();
    ScopedCapture cap;
    COffScreenPicture::error(ospc::ClearDrawingError);
    COffScreenPicture picture;
    EXPECT_FALSE(picture.create(0, 10));
    picture.drawBusyRing(3);
    picture.fill(Qt::red);
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{"OSPC00000001 Drawing error."});
    COffScreenPicture::error(ospc::ClearDrawingError);
    picture.fill(Qt::red);
    EXPECT_EQ(cap->count(), 2u);
    COffScreenPicture::error(ospc::ClearDrawingError);
}

}  // namespace
}  // namespace tunecase
