#include <gtest/gtest.h>

#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <clocale>
#include <cstdlib>
#include <memory>
#include <vector>

#include "base/reporter.h"
#include "base/translation.h"
#include "base/user_folders.h"
#include "controls/gui/button_picture.h"
#include "support/qt_test_app.h"

namespace tunecase {
namespace {

using testing::countPixels;

struct Call {
    int x, y, id;
    bool operator==(const Call&) const = default;
};

class OffScreenControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::qtTestApp();
        dialog = std::make_unique<QWidget>();
        dialog->resize(300, 200);
        control = new COffScreenControl(dialog.get());
        control->setGeometry(10, 10, 88, 27);
        control->setCallbacks([this](int x, int y, int id) { downs.push_back({x, y, id}); },
                              [this](int x, int y, int id) { ups.push_back({x, y, id}); }, nullptr,
                              [this](int x, int y, int id) { doubles.push_back({x, y, id}); });
        dialog->show();
    }

    void sendMove(QPoint local, Qt::MouseButtons buttons) {
        QMouseEvent move(QEvent::MouseMove, QPointF(local), control->mapToGlobal(QPointF(local)),
                         Qt::NoButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(control, &move);
    }

    std::unique_ptr<QWidget> dialog;
    COffScreenControl* control = nullptr;
    std::vector<Call> downs, ups, doubles;
};

TEST_F(OffScreenControlTest, PressAndReleaseReportTheIdOrGroupTimes256PlusId) {
    control->setId(5);
    QTest::mousePress(control, Qt::LeftButton, {}, QPoint(4, 6));
    EXPECT_EQ(control->pressed(), 1);
    QTest::mouseRelease(control, Qt::LeftButton, {}, QPoint(7, 8));
    EXPECT_EQ(control->pressed(), 0);
    control->setGroup(3);
    QTest::mousePress(control, Qt::LeftButton, {}, QPoint(1, 2));
    QTest::mouseRelease(control, Qt::LeftButton, {}, QPoint(1, 2));
    EXPECT_EQ(downs, (std::vector<Call>{{4, 6, 5}, {1, 2, 773}}));
    EXPECT_EQ(ups, (std::vector<Call>{{7, 8, 5}, {1, 2, 773}}));
}

TEST_F(OffScreenControlTest, SlidingOffWhilePressedReleasesOnceWithoutCoordinates) {
    control->setId(2);
    QTest::mousePress(control, Qt::LeftButton, {}, QPoint(10, 10));
    sendMove(QPoint(20, 12), Qt::LeftButton);  // still inside: nothing
    EXPECT_TRUE(ups.empty());
    sendMove(QPoint(150, 12), Qt::LeftButton);
    sendMove(QPoint(160, 12), Qt::LeftButton);
    QTest::mouseRelease(control, Qt::LeftButton, {}, QPoint(160, 12));
    EXPECT_EQ(ups, (std::vector<Call>{{-1, -1, 2}}));
    EXPECT_EQ(control->pressed(), 0);

    // The pointer leaving the window does the same.
    ups.clear();
    QTest::mousePress(control, Qt::LeftButton, {}, QPoint(10, 10));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(control, &leave);
    QApplication::sendEvent(control, &leave);
    EXPECT_EQ(ups, (std::vector<Call>{{-1, -1, 2}}));
    // Leaving without a press is no release.
    ups.clear();
    QApplication::sendEvent(control, &leave);
    EXPECT_TRUE(ups.empty());
}

TEST_F(OffScreenControlTest, SingleDroppedFileReachesTheHandlerWithThePlainId) {
    control->setId(7);
    control->setGroup(2);
    std::vector<std::pair<std::string, int>> drops;
    control->setDropHandler([&](const std::string& path, int id) { drops.emplace_back(path, id); });
    EXPECT_TRUE(control->acceptDrops());
    auto drop = [&](const QList<QUrl>& urls) {
        QMimeData mime;
        mime.setUrls(urls);
        // Qt delivers a drop only to the widget that accepted the drag's entry.
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(control, &enter);
        QDropEvent event(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(control, &event);
    };
    drop({QUrl::fromLocalFile("/music/song.mid")});
    drop({QUrl::fromLocalFile("/a.mid"), QUrl::fromLocalFile("/b.mid")});
    drop({QUrl("https://example.org/x.mid")});
    ASSERT_EQ(drops.size(), 1u);
    EXPECT_EQ(drops[0].first, "/music/song.mid");
    EXPECT_EQ(drops[0].second, 7);
}

class ButtonPictureTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::qtTestApp();
        dialog = std::make_unique<QWidget>();
        dialog->resize(430, 110);
        for (int i = 0; i < 3; ++i) controls.push_back(new COffScreenControl(dialog.get()));
        buttons.create([this](int i) { clicks.push_back(i); pressedAtClick = buttons.isPressed(i); },
                       [this](int i) { releases.push_back(i); }, controls[0],
                       rectFromEdges(330, 70, 418, 97), "    QUIT", FacePlain, FacePressed, 20);
        buttons.add(controls[1], rectFromEdges(60, 36, 148, 63), "    START", FaceTransport, FacePressed, 20);
        buttons.add(controls[2], rectFromEdges(330, 36, 418, 63), "    HIDE", FaceHide, FacePressed, 20);
        dialog->show();
    }

    std::unique_ptr<QWidget> dialog;
    std::vector<COffScreenControl*> controls;
    CButtonPicture buttons;
    std::vector<int> clicks, releases;
    bool pressedAtClick = false;
};

TEST_F(ButtonPictureTest, ButtonsArePlacedAndNumberedInOrder) {
    EXPECT_EQ(buttons.count(), 3);
    EXPECT_EQ(controls[0]->geometry(), QRect(330, 70, 88, 27));
    EXPECT_EQ(controls[1]->geometry(), QRect(60, 36, 88, 27));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(controls[i]->id(), i);
        EXPECT_EQ(controls[i]->group(), -1);
    }
    EXPECT_EQ(buttons.picture(1).size(), QSize(88, 27));
}

TEST_F(ButtonPictureTest, ActsOnMouseDownAndReleasesOnMouseUp) {
    QTest::mousePress(controls[1], Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(clicks, std::vector<int>{1});
    EXPECT_TRUE(pressedAtClick);
    EXPECT_TRUE(releases.empty());
    const QImage pressed = buttons.picture(1);
    QTest::mouseRelease(controls[1], Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(releases, std::vector<int>{1});
    EXPECT_FALSE(buttons.isPressed(1));
    // The pressed face differs from the normal one.
    EXPECT_NE(pressed, buttons.picture(1));
}

TEST_F(ButtonPictureTest, SlidingOffCallsTheReleaseHandlerOnce) {
    QTest::mousePress(controls[2], Qt::LeftButton, {}, QPoint(5, 5));
    QMouseEvent move(QEvent::MouseMove, QPointF(-30, 5), controls[2]->mapToGlobal(QPointF(-30, 5)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(controls[2], &move);
    EXPECT_EQ(releases, std::vector<int>{2});
    EXPECT_FALSE(buttons.isPressed(2));
    QTest::mouseRelease(controls[2], Qt::LeftButton, {}, QPoint(-30, 5));
    EXPECT_EQ(releases, std::vector<int>{2});
    EXPECT_EQ(clicks, std::vector<int>{2});
}

TEST_F(ButtonPictureTest, LabelColourFollowsTheEnabledStateAndDisabledButtonsCannotBePressed) {
    const QColor enabled(0, 100, 0), disabled(100, 100, 50);
    EXPECT_GT(countPixels(buttons.picture(0), enabled), 10);
    EXPECT_EQ(countPixels(buttons.picture(0), disabled), 0);
    buttons.enable(0, false);
    EXPECT_FALSE(controls[0]->isEnabled());
    EXPECT_GT(countPixels(buttons.picture(0), disabled), 10);
    EXPECT_EQ(countPixels(buttons.picture(0), enabled), 0);
    QTest::mouseClick(controls[0], Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(clicks.empty());
    EXPECT_TRUE(releases.empty());
    buttons.enable(0, true);
    QTest::mouseClick(controls[0], Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(clicks, std::vector<int>{0});
}

TEST_F(ButtonPictureTest, LabelIsALeftAlignedLineOverAWhiteFilledFace) {
    const QImage picture = buttons.picture(1);
    const QImage face = buttonFace(FaceTransport, QSize(88, 27));
    // Text starts right of the leading spaces and stays between y 2 and 27.
    int firstTextColumn = 1000;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (picture.pixel(x, y) != face.pixel(x, y)) {
                firstTextColumn = std::min(firstTextColumn, x);
                EXPECT_GE(y, 2);
                EXPECT_LT(y, 28);
            }
    EXPECT_GT(firstTextColumn, 10);
    EXPECT_LT(firstTextColumn, 40);
    // Away from the text the face shows as drawn over white.
    EXPECT_EQ(picture.pixel(80, 13), face.pixel(80, 13));
    EXPECT_NE(face.pixel(40, 13), buttonFace(FacePlain, QSize(88, 27)).pixel(40, 13));
}

TEST_F(ButtonPictureTest, SetLabelChangesOnlyAnExistingButton) {
    const QImage before0 = buttons.picture(0), before1 = buttons.picture(1), before2 = buttons.picture(2);
    buttons.setLabel(3, "    NOPE");
    buttons.setLabel(-1, "    NOPE");
    EXPECT_EQ(buttons.picture(0), before0);
    EXPECT_EQ(buttons.picture(1), before1);
    EXPECT_EQ(buttons.picture(2), before2);
    EXPECT_EQ(buttons.label(1), "    START");
    buttons.setLabel(1, "    STOP");
    EXPECT_EQ(buttons.label(1), "    STOP");
    EXPECT_NE(buttons.picture(1), before1);
    EXPECT_EQ(buttons.picture(0), before0);
}

// Every label is translated where the buttons keep it, whoever gives it: a label of ours in
// Japanese, an English label of the original as it is, one no catalogue has unchanged.
TEST_F(ButtonPictureTest, LabelsAreTranslatedWhenTheyAreGivenOrChanged) {
    if (locale_t ja = newlocale(LC_ALL_MASK, "ja_JP.UTF-8", nullptr)) freelocale(ja);
    else GTEST_SKIP() << "the ja_JP.UTF-8 locale is not installed";
    setenv("LANGUAGE", "ja", 1);
    setenv("LC_ALL", "ja_JP.UTF-8", 1);
    initTranslations(findLocaleFolder());
    CButtonPicture more;
    more.create(nullptr, nullptr, new COffScreenControl(dialog.get()), QRect(0, 0, 88, 27), "    SAVE", FacePlain,
                FacePressed);
    more.setLabel(0, "    SAVE");
    const QString saved = more.label(0);
    more.add(new COffScreenControl(dialog.get()), QRect(0, 30, 88, 27), "    START", FacePlain, FacePressed);
    more.add(new COffScreenControl(dialog.get()), QRect(0, 60, 88, 27), "  no such id", FacePlain, FacePressed);
    unsetenv("LANGUAGE");
    unsetenv("LC_ALL");
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(saved, QString::fromUtf8("    保存"));
    EXPECT_EQ(more.label(1), "    START");
    EXPECT_EQ(more.label(2), "  no such id");
    more.destroy();
}

TEST_F(ButtonPictureTest, ReleasingAfterAButtonWindowWentFirstIsReported) {
    ScopedCapture cap;
    delete controls[0];
    buttons.destroy();
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{kButtonPictureErrorText});
    EXPECT_EQ(buttons.count(), 0);
    // Released buttons no longer call the handlers.
    QTest::mouseClick(controls[1], Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(clicks.empty());
    cap->clear();
    buttons.destroy();
    EXPECT_EQ(cap->count(), 0u);
}

TEST_F(ButtonPictureTest, HandlerMayDestroyTheGroupFromItsOwnPress) {
    CButtonPicture other;
    auto* c = new COffScreenControl(dialog.get());
    int calls = 0;
    other.create([&](int) { ++calls; other.destroy(); }, nullptr, c, QRect(0, 0, 88, 27), "x", FacePlain, FacePressed);
    QTest::mouseClick(c, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(other.count(), 0);
}

TEST(MultiModalButtonPicture, GroupsHaveTheirOwnHandlersAndLimits) {
    testing::qtTestApp();
    ScopedCapture cap;
    QWidget dialog;
    CMultiModalButtonPicture buttons;
    std::vector<std::pair<int, int>> clicks;
    auto handler = [&](int index, int group) { clicks.emplace_back(index, group); };
    std::vector<COffScreenControl*> controls;
    auto control = [&] { controls.push_back(new COffScreenControl(&dialog)); return controls.back(); };

    EXPECT_FALSE(buttons.createGroup(16, handler, nullptr, control(), QRect(0, 0, 80, 20), "x", FacePlain, FacePressed));
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{kMultiModalButtonErrorText});
    cap->clear();

    ASSERT_TRUE(buttons.createGroup(2, handler, nullptr, control(), QRect(0, 0, 80, 20), "a", FacePlain, FacePressed));
    ASSERT_TRUE(buttons.createGroup(15, handler, nullptr, control(), QRect(0, 30, 80, 27), "  HELP", FacePlain, FacePressed, 20));
    for (int i = 1; i < 31; ++i)
        EXPECT_EQ(buttons.add(2, control(), QRect(0, 60, 80, 20), "c", FacePlain, FacePressed), i);
    EXPECT_EQ(cap->count(), 0u);
    EXPECT_EQ(buttons.add(2, control(), QRect(0, 60, 80, 20), "d", FacePlain, FacePressed), -1);
    EXPECT_EQ(buttons.add(7, control(), QRect(0, 60, 80, 20), "e", FacePlain, FacePressed), -1);
    EXPECT_EQ(cap->visibleTexts(), (std::vector<std::string>{kMultiModalButtonErrorText, kMultiModalButtonErrorText}));
    EXPECT_EQ(buttons.count(2), 31);

    dialog.show();
    QTest::mouseClick(controls[2], Qt::LeftButton, {}, QPoint(2, 2));  // group 15, index 0
    QTest::mouseClick(controls[5], Qt::LeftButton, {}, QPoint(2, 2));  // group 2, index 3
    EXPECT_EQ(clicks, (std::vector<std::pair<int, int>>{{0, 15}, {3, 2}}));
    EXPECT_EQ(controls[5]->reportedId(), 2 * 256 + 3);

    const QColor red(200, 0, 0);
    EXPECT_EQ(countPixels(buttons.picture(15, 0), red), 0);
    buttons.setEnabledTextColour(15, red);
    EXPECT_GT(countPixels(buttons.picture(15, 0), red), 0);
    EXPECT_EQ(countPixels(buttons.picture(2, 0), red), 0);
}

}  // namespace
}  // namespace tunecase
