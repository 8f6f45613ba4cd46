// The library dialog on the offscreen platform: its list and buttons, LOAD's beep and its
// arrangement off the window's thread, ADD MWD and dropped files.
#include <gtest/gtest.h>

#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

#include "base/reporter.h"
#include "songs/gui/library_dlg.h"
#include "support/qt_test_app.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

void writeSongData(const std::string& path, const std::string& title) {
    std::vector<uint8_t> bytes(121880, 0);
    bytes[90432] = bytes[90436] = 4;  // four measures of 4/4
    std::copy(title.begin(), title.end(), bytes.begin() + 90401);
    testing::writeFileBytes(path, bytes);
}

// An arranger that waits until the test lets it go, and remembers how it was called.
struct GatedArranger {
    std::mutex m;
    std::condition_variable cv;
    bool open = false;
    bool succeed = true;
    std::thread::id thread;
    std::string songDataPath, outputPath;

    SongArranger function() {
        return [this](const std::string& song, const std::string& output, std::string& title) {
            std::unique_lock lock(m);
            thread = std::this_thread::get_id();
            songDataPath = song;
            outputPath = output;
            cv.wait(lock, [this] { return open; });
            title = "Arranged " + std::filesystem::path(song).filename().string();
            return succeed;
        };
    }
    void release() {
        std::lock_guard lock(m);
        open = true;
        cv.notify_all();
    }
};

class LibraryDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::qtTestApp();
        archive = program.path() / "Archive";
        std::filesystem::create_directory(archive);
        writeSongData((archive / "a.mwd").string(), "\x8F\x74\x82\xCC\x89\xCC");  // 春の歌, Shift-JIS
        writeSongData((archive / "b.mwd").string(), "Second");
    }
    std::unique_ptr<CLibraryDlg> open(CLibraryDlg::FileChooser chooser = {}) {
        auto dialog = std::make_unique<CLibraryDlg>(archive.string(), out.file("song.mid"), nullptr,
                                                    arranger.function(), std::move(chooser));
        dialog->show();
        return dialog;
    }
    static void press(CLibraryDlg& dialog, int button) { testing::clickPicture(dialog.buttonControl(button)); }

    testing::TempFolder program, out;
    std::filesystem::path archive;
    GatedArranger arranger;
    ScopedCapture boxes;
};

TEST_F(LibraryDlgTest, LoadWithNothingToLoadBeepsAndStaysOpen) {
    std::filesystem::remove_all(archive);
    auto dialog = open();
    EXPECT_EQ(dialog->listBox()->count(), 0);
    press(*dialog, librarybutton::Load);
    ASSERT_TRUE(testing::pumpUntil([&] { return boxes->count() > 0; }));
    EXPECT_EQ(boxes->reports()[0].kind, BoxKind::Beep);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->title(), "");
}

TEST_F(LibraryDlgTest, LoadArrangesOffTheWindowsThreadWhileTheRingTurns) {
    auto dialog = open();
    dialog->listBox()->setCurrentRow(1);
    press(*dialog, librarybutton::Load);
    ASSERT_TRUE(testing::pumpUntil([&] { return dialog->isBusy(); }));
    EXPECT_FALSE(dialog->buttonControl(librarybutton::Cancel)->isEnabled());
    // The window keeps working: the ring turns and Escape is ignored while arranging.
    const int phase = dialog->busyPhase();
    ASSERT_TRUE(testing::pumpUntil([&] { return dialog->busyPhase() != phase; }));
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_TRUE(dialog->isVisible());
    {
        std::lock_guard lock(arranger.m);
        EXPECT_NE(arranger.thread, std::this_thread::get_id());
        EXPECT_EQ(arranger.songDataPath, (archive / "b.mwd").string());
        EXPECT_EQ(arranger.outputPath, out.file("song.mid"));
    }
    arranger.release();
    ASSERT_TRUE(testing::pumpUntil([&] { return !dialog->isVisible(); }));
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(dialog->title(), "Arranged b.mwd");
}

TEST_F(LibraryDlgTest, AFailedArrangementKeepsTheDialogOpenWithoutATitle) {
    arranger.succeed = false;
    arranger.release();
    auto dialog = open();
    press(*dialog, librarybutton::Load);
    ASSERT_TRUE(testing::pumpUntil([&] {
        std::lock_guard lock(arranger.m);
        return !arranger.songDataPath.empty();
    }));
    ASSERT_TRUE(testing::pumpUntil([&] { return !dialog->isBusy(); }));
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->title(), "");
    EXPECT_TRUE(dialog->buttonControl(librarybutton::Load)->isEnabled());
    press(*dialog, librarybutton::Cancel);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
}

TEST_F(LibraryDlgTest, ListsTitlesAndAddsOrDropsSongDataFilesIntoTheLibrary) {
    testing::TempFolder outside;
    writeSongData(outside.file("c.mwd"), "Third");
    writeSongData(outside.file("b.mwd"), "Clash");
    std::string answer = outside.file("c.mwd");
    auto dialog = open([&](QWidget*) { return answer; });

    EXPECT_EQ(dialog->windowTitle(), "Library");
    ASSERT_EQ(dialog->listBox()->count(), 2);
    EXPECT_EQ(dialog->listBox()->item(0)->text(), QString::fromUtf8("春の歌"));
    EXPECT_EQ(dialog->listBox()->item(1)->text(), "Second");
    EXPECT_EQ(dialog->listBox()->item(1)->data(Qt::UserRole).toByteArray(), "b.mwd");
    EXPECT_EQ(dialog->listBox()->currentRow(), 0);
    const QRect rects[] = {{10, 280, 88, 27}, {100, 280, 88, 27}, {220, 280, 88, 27}};
    const char* labels[] = {"   LOAD", "   CANCEL", " ADD MWD"};
    for (int i = 0; i < librarybutton::Count; ++i) {
        EXPECT_EQ(dialog->buttonControl(i)->geometry(), rects[i]);
        EXPECT_EQ(dialog->buttons().label(i), labels[i]);
    }
    EXPECT_TRUE(dialog->acceptDrops());

    press(*dialog, librarybutton::Add);
    ASSERT_EQ(dialog->listBox()->count(), 3);
    EXPECT_EQ(dialog->listBox()->currentItem()->text(), "Third");
    EXPECT_EQ(boxes->count(), 0u);

    answer = outside.file("b.mwd");
    press(*dialog, librarybutton::Add);
    ASSERT_EQ(boxes->count(), 1u);
    EXPECT_EQ(boxes->visibleTexts()[0], "A song-data file with the same name is already in the library.");
    answer.clear();  // the file dialog cancelled
    press(*dialog, librarybutton::Add);
    EXPECT_EQ(dialog->listBox()->count(), 3);

    // Drops arrive as file URLs: two files are refused, one song data file is added.
    writeSongData(outside.file("d.MWD"), "Fourth");
    auto drop = [&](const QList<QUrl>& urls) {
        QMimeData mime;
        mime.setUrls(urls);
        // Qt delivers a drop only to the widget that accepted the drag's entry.
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(dialog.get(), &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent event(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(dialog.get(), &event);
    };
    drop({QUrl::fromLocalFile(QString::fromStdString(outside.file("d.MWD"))),
          QUrl::fromLocalFile(QString::fromStdString(outside.file("c.mwd")))});
    ASSERT_EQ(boxes->count(), 2u);
    EXPECT_EQ(boxes->visibleTexts()[1], "Drop one song-data file at a time.");
    drop({QUrl::fromLocalFile(QString::fromStdString(outside.file("d.MWD")))});
    ASSERT_EQ(dialog->listBox()->count(), 4);
    EXPECT_EQ(dialog->listBox()->currentItem()->text(), "Fourth");
}

}  // namespace
}  // namespace tunecase
