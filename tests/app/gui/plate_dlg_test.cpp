#include <gtest/gtest.h>

#include <QDir>
#include <QTest>
#include <thread>

#include "app/gui/plate_dlg.h"
#include "app/gui/plate_painter.h"
#include "support/qt_test_app.h"

namespace tunecase {
namespace {

using testing::countPixels;

const QColor kPin(100, 100, 50), kSounding(255, 100, 0), kFace(220, 220, 120);

class PlateDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::qtTestApp();
        settings = defaultPlayerSettings();
    }

    std::unique_ptr<PlateDlg> open(int32_t plateType) {
        settings.plateType = plateType;
        auto plate = std::make_unique<PlateDlg>(&settings);
        plate->fitToPlate();
        return plate;
    }

    PlayerSettings settings;
};

TEST_F(PlateDlgTest, WindowIsSizedAndShownForEachPlate) {
    EXPECT_EQ(PlateDlg::sizeForPlate(PlateSmallDisk), QSize(120, 120));
    auto plate = open(PlateSmallDisk);
    EXPECT_TRUE(plate->isVisible());
    EXPECT_EQ(plate->size(), QSize(120, 120));
    EXPECT_EQ(plate->radius(), 50);
    EXPECT_EQ(plate->windowTitle(), "PC TUNECASE");
    EXPECT_TRUE(plate->initialised());
    EXPECT_EQ(PlateDlg::current(), plate.get());

    plate = open(PlateLargeDisk);
    EXPECT_EQ(plate->size(), QSize(220, 220));
    EXPECT_EQ(plate->keyboard(), nullptr);
    plate = open(PlatePaper);
    EXPECT_EQ(plate->size(), QSize(220, 220));

    plate = open(PlateNone);
    EXPECT_FALSE(plate->isVisible());

    plate = open(PlateToyPianoLarge);
    EXPECT_TRUE(plate->isVisible());
    ASSERT_NE(plate->keyboard(), nullptr);
    EXPECT_EQ(plate->keyboard()->control()->size(), QSize(400, 70));
    EXPECT_EQ(plate->keyboard()->keys().front().note, 48);
    EXPECT_EQ(plate->keyboard()->keys().back().note, 97);
    plate = open(PlateToyPianoSmall);
    EXPECT_EQ(plate->keyboard()->control()->size(), QSize(200, 70));
    EXPECT_EQ(plate->keyboard()->keys().back().note, 85);

    // The window keeps its position when it is refitted.
    plate->move(123, 45);
    const QPoint where = plate->pos();
    settings.plateType = PlateLargeDisk;
    plate->fitToPlate();
    EXPECT_EQ(plate->pos(), where);
    EXPECT_EQ(plate->keyboard(), nullptr);
    plate.reset();
    EXPECT_EQ(PlateDlg::current(), nullptr);
}

TEST_F(PlateDlgTest, SoundingPinOfTheLargeDiskIsDrawnAtTheBottom) {
    auto plate = open(PlateLargeDisk);
    plate->setSong({{0, 60}, {960, 64}, {1920, 100}}, 3840);
    plate->motion().isPlaying = 1;
    plate->onSongEvent(PlateEventKind::NoteOn, 64, 960, false);
    EXPECT_EQ(plate->motion().songTime.load(), 960);

    const QImage image = plate->renderPlate();
    EXPECT_EQ(QColor(image.pixel(110, 160)), kSounding);
    // The other pins: note 60 a quarter turn on (left), note 100 a quarter turn to come (right).
    EXPECT_EQ(QColor(image.pixel(110 - 46, 110)), kPin);
    EXPECT_EQ(QColor(image.pixel(110 + 78, 110)), kPin);
    EXPECT_EQ(QColor(image.pixel(150, 60)), kFace);
    // The spindle crosses the centre.
    EXPECT_EQ(QColor(image.pixel(110, 110)), QColor(200, 200, 0));

    // What the window shows is the buffer.
    const QImage shown = plate->grab().toImage();
    EXPECT_EQ(shown.size(), QSize(220, 220));
    EXPECT_EQ(QColor(shown.pixel(110, 160)), kSounding);

    // Stopped: the same pin is plain.
    plate->motion().isPlaying = 0;
    EXPECT_EQ(QColor(plate->renderPlate().pixel(110, 160)), kPin);
}

TEST_F(PlateDlgTest, ChordTurnsThePlateOnItsLastNote) {
    auto plate = open(PlateLargeDisk);
    plate->setSong({{0, 60}, {960, 64}, {960, 67}}, 3840);
    plate->onSongEvent(PlateEventKind::NoteOn, 64, 960, true);
    EXPECT_EQ(plate->motion().theta.load(), 0.0);
    plate->onSongEvent(PlateEventKind::NoteOn, 67, 960, false);
    EXPECT_EQ(plate->motion().theta.load(), 960 * plate->motion().k.load());
    plate->onSongEvent(PlateEventKind::NoteOff, 67, 1000, false);
    EXPECT_EQ(plate->motion().songTime.load(), 1000);
    EXPECT_EQ(plate->motion().theta.load(), 960 * plate->motion().k.load());
}

TEST_F(PlateDlgTest, PaperShowsTheWholeSongAndHighlightsTheCurrentNote) {
    auto plate = open(PlatePaper);
    plate->setSong({{0, 64}, {1920, 64}, {1920, 32}, {3000, 90}}, 3840);
    QImage image = plate->renderPlate();
    EXPECT_EQ(QColor(image.pixel(100, 110)), kPin);
    EXPECT_EQ(QColor(image.pixel(50, 110)), kPin);
    EXPECT_EQ(QColor(image.pixel(140, 171)), kPin);  // 90 * 200 / 128, 3000 * 220 / 3840
    EXPECT_EQ(QColor(image.pixel(60, 60)), kFace);

    plate->onSongEvent(PlateEventKind::NoteOn, 64, 1920, false);
    image = plate->renderPlate();
    EXPECT_EQ(QColor(image.pixel(100, 110)), kSounding);
    EXPECT_EQ(QColor(image.pixel(50, 110)), kSounding);

    // At time 0 the first pin is not highlighted.
    plate->onSongEvent(PlateEventKind::Other, 0, 0, false);
    image = plate->renderPlate();
    EXPECT_EQ(QColor(image.pixel(100, 1)), kPin);
    EXPECT_EQ(countPixels(image, kSounding), 0);
}

TEST_F(PlateDlgTest, SongOfLengthZeroDrawsNoPins) {
    for (int32_t type : {PlateLargeDisk, PlatePaper, PlateSmallDisk}) {
        auto plate = open(type);
        plate->setSong({{0, 64}, {10, 70}, {20, 100}}, 0);
        plate->motion().isPlaying = 1;
        const QImage image = plate->renderPlate();
        EXPECT_EQ(countPixels(image, kPin), 0) << type;
        EXPECT_EQ(countPixels(image, kSounding), 0) << type;
        EXPECT_GT(countPixels(image, kFace), 1000) << type;
    }
}

TEST_F(PlateDlgTest, TimerTurnsTheDiskBetweenNotes) {
    auto plate = open(PlateSmallDisk);
    plate->setSong({{0, 64}}, 3840);
    plate->setTickSource([] { return ticksPer100ms(96, 120); });
    plate->startTimer();
    EXPECT_TRUE(plate->timerActive());
    plate->advance();
    EXPECT_DOUBLE_EQ(plate->motion().theta.load(), 19 * plate->motion().k.load());
    // The real timer steps it on its own.
    const double before = plate->motion().theta;
    QTest::qWait(350);
    EXPECT_GT(plate->motion().theta.load(), before);
    plate->stopTimer();
    EXPECT_FALSE(plate->timerActive());
    plate->motion().resetAngle();
    EXPECT_EQ(plate->motion().theta.load(), 0.0);
}

TEST_F(PlateDlgTest, ToyPianoKeysFollowNoteEventsFromTheTimerThread) {
    auto plate = open(PlateToyPianoSmall);
    std::thread timer([&] {
        plate->onSongEvent(PlateEventKind::NoteOn, 60, 0, false);
        plate->onSongEvent(PlateEventKind::NoteOn, 64, 0, false);
        plate->onSongEvent(PlateEventKind::NoteOff, 60, 96, false);
    });
    timer.join();
    QApplication::processEvents();
    EXPECT_EQ(plate->keyboard()->heldKeys().snapshot(), std::vector<int>{64});
    EXPECT_EQ(plate->motion().theta.load(), 0.0);
    const QImage shown = plate->grab().toImage();
    EXPECT_EQ(shown.size(), QSize(200, 70));
    EXPECT_GT(countPixels(shown, QColor(0, 255, 0)), 50);
    plate->releaseAll();
    EXPECT_TRUE(plate->keyboard()->heldKeys().snapshot().empty());
}

TEST(PlatePainter, PinsAreClippedAtTheBufferEdgeAndSoundingPinsDrawnOnTop) {
    testing::qtTestApp();
    QImage image(10, 10, QImage::Format_RGB32);
    image.fill(Qt::white);
    stampPins(image, {{0, 0, false}, {9, 9, false}, {-5, -5, false}, {50, 3, true}, {5, 5, false}, {6, 5, true}});
    EXPECT_EQ(countPixels(image, kPin, QRect(0, 0, 3, 3)), 4);
    EXPECT_EQ(countPixels(image, kPin, QRect(7, 7, 3, 3)), 4);
    // The sounding 5 x 5 block at (6, 5) covers all of the plain pin beside it.
    EXPECT_EQ(countPixels(image, kSounding), 25);
    EXPECT_EQ(countPixels(image, kPin, QRect(3, 3, 7, 7)), 4);  // only the corner pin at (9, 9)
    EXPECT_EQ(QColor(image.pixel(5, 5)), kSounding);
}

// Writes a picture of every plate when TUNECASE_SCREENSHOT_DIR names a folder.
TEST_F(PlateDlgTest, EveryPlateRendersAtItsWindowSize) {
    const QString folder = qEnvironmentVariable("TUNECASE_SCREENSHOT_DIR");
    std::vector<PlateNote> song;
    for (int i = 0; i < 64; ++i) song.push_back({i * 60, 48 + (i * 7) % 40});
    for (int32_t type : {PlateLargeDisk, PlateSmallDisk, PlatePaper, PlateToyPianoLarge, PlateToyPianoSmall}) {
        auto plate = open(type);
        plate->setSong(song, 3840);
        plate->motion().isPlaying = 1;
        plate->onSongEvent(PlateEventKind::NoteOn, 62, 1200, false);
        plate->onSongEvent(PlateEventKind::NoteOn, 67, 1200, false);
        QApplication::processEvents();
        const QImage shown = plate->grab().toImage();
        EXPECT_EQ(shown.size(), PlateDlg::sizeForPlate(type)) << type;
        if (!folder.isEmpty())
            shown.save(QDir(folder).filePath(QString("plate_%1.png").arg(type)));
    }
}

}  // namespace
}  // namespace tunecase
