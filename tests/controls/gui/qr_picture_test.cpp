// The QR picture control: what it shows is read back by zbarimg and keeps inside its margin;
// a control too small for its margins beeps and stays white, as does an empty text.
#include <gtest/gtest.h>

#include <QWidget>

#include "base/reporter.h"
#include "controls/gui/qr_picture.h"
#include "qr/qr_test_util.h"
#include "support/qt_test_app.h"

namespace tunecase {
namespace {

using testing::countPixels;

TEST(QrPicture, ShowsTheTextAsAReadableCodeInsideItsMargin) {
    testing::qtTestApp();
    ScopedCapture cap;
    QWidget host;
    auto* control = new COffScreenControl(&host);
    CQrPicture picture;
    picture.create(control, QRect(20, 30, 200, 180), 12);
    EXPECT_EQ(control->geometry(), QRect(20, 30, 200, 180));
    EXPECT_EQ(countPixels(picture.picture(), Qt::white), 200 * 180);

    const std::string url = "https://songs.tunecase.example/download?key=a7c3f09e2b";
    picture.setText(url);
    const QImage& image = picture.picture();
    // A square of min(200, 180) - 2 * 12 = 156 pixels from (12, 12); white everywhere else.
    const int black = countPixels(image, Qt::black);
    EXPECT_GT(black, 1000);
    EXPECT_EQ(countPixels(image, Qt::black, QRect(12, 12, 156, 156)), black);
    EXPECT_EQ(black + countPixels(image, Qt::white), 200 * 180);
    EXPECT_TRUE(image.pixel(12, 12) == qRgb(0, 0, 0) && image.pixel(167, 12) == qRgb(0, 0, 0));

    host.show();
    picture.redrawAll();
    EXPECT_EQ(control->grab().toImage().convertToFormat(QImage::Format_RGB32), image);
    EXPECT_EQ(cap->count(), 0u);
    if (!testing::haveZbarimg()) GTEST_SKIP() << "zbarimg is not installed";
    testing::TempFolder dir;
    ASSERT_TRUE(image.save(QString::fromStdString(dir.file("picture.png"))));
    EXPECT_EQ(testing::zbarBytes(dir.file("picture.png")), url);
}

TEST(QrPicture, TooSmallBeepsAndAnEmptyTextStaysWhite) {
    testing::qtTestApp();
    ScopedCapture cap;
    QWidget host;
    auto* control = new COffScreenControl(&host);
    CQrPicture picture;
    picture.create(control, QRect(0, 0, 40, 46), 21);  // min(40, 46) - 42 < 0
    picture.setText("AB12");
    ASSERT_EQ(cap->count(), 1u);
    EXPECT_EQ(cap->reports()[0].kind, BoxKind::Beep);
    EXPECT_EQ(countPixels(picture.picture(), Qt::white), 40 * 46);

    cap->clear();
    picture.create(control, QRect(0, 0, 120, 120), 4);
    picture.setText("AB12");
    EXPECT_GT(countPixels(picture.picture(), Qt::black), 0);
    picture.setText("");
    EXPECT_EQ(countPixels(picture.picture(), Qt::white), 120 * 120);
    EXPECT_EQ(cap->count(), 0u);
    // Only the first 1,024 bytes are kept: 3,000 would fit no version at M, 1,024 do.
    picture.setText(std::string(3000, 'z'));
    EXPECT_EQ(picture.text(), std::string(1024, 'z'));
    EXPECT_GT(countPixels(picture.picture(), Qt::black), 0);
}

}  // namespace
}  // namespace tunecase
