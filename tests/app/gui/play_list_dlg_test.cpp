// The song list window on the offscreen platform: its buttons at their places, the list box
// on the record, a composition off the window's thread with the ring turning and the wait
// cursor, and dropped files.
#include "app/gui/play_list_dlg.h"

#include "app/gui/compose_dlg.h"

#include <gtest/gtest.h>

#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <condition_variable>
#include <filesystem>
#include <mutex>

#include "base/reporter.h"
#include "base/utilities.h"
#include "songs/song_list.h"
#include "support/qt_test_app.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

// A composer that waits until the test lets it go.
struct GatedComposer {
    std::mutex m;
    std::condition_variable cv;
    bool open = false;
    SongComposer function() {
        return [this](const std::string& path) {
            std::unique_lock lock(m);
            cv.wait(lock, [this] { return open; });
            testing::writeFileText(path, "MThd");
            return 1;
        };
    }
    void release() {
        std::lock_guard lock(m);
        open = true;
        cv.notify_all();
    }
};

class PlayListDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::qtTestApp();
        settings = defaultPlayerSettings();
        setFieldText(settings.dataFolder, kPathBytes, data.path().string());
        list = emptySongList();
        ASSERT_TRUE(insertOrAppend(list, "/nowhere/a.mid", "Alpha"));
        ASSERT_TRUE(insertOrAppend(list, "/nowhere/b.mid", "\x8F\x74\x82\xCC\x89\xCC"));  // 春の歌, Shift-JIS
        list.currentIndex = 1;
    }
    std::unique_ptr<CPlayListDlg> open() {
        SongListEditor::Services services;
        services.composer = composer.function();
        CPlayListDlg::Dialogs dialogs;
        dialogs.askCompose = [](const ComposeChoices& initial) { return ComposeAnswer{initial, std::nullopt}; };
        dialogs.askTitle = [this](const std::string&) { return newTitle; };
        auto dialog = std::make_unique<CPlayListDlg>(settings, list, singleFolderLayout(program.path().string()), nullptr,
                                                     services, dialogs);
        dialog->show();
        return dialog;
    }
    static void press(CPlayListDlg& dialog, int button) { testing::clickPicture(dialog.buttonControl(button)); }

    testing::TempFolder data, program;
    PlayerSettings settings{};
    SongList list{};
    GatedComposer composer;
    std::optional<std::string> newTitle;
    ScopedCapture boxes;
};

TEST_F(PlayListDlgTest, ListsTheTitlesWithEveryButtonAtItsPlace) {
    auto dialog = open();
    EXPECT_EQ(dialog->windowTitle(), "Song List");
    ASSERT_EQ(dialog->listBox()->count(), 2);
    EXPECT_EQ(dialog->listBox()->item(1)->text(), QString::fromUtf8("春の歌"));
    EXPECT_EQ(dialog->selectedLine(), 1);

    const struct {
        const char* label;
        QRect rect;
    } expected[listbutton::Count] = {
        {"    MIDI   ", {20, 340, 88, 27}},  {"   LIBRARY   ", {110, 340, 88, 27}}, {" AUTO CMP ", {200, 340, 88, 27}},
        {"    UP", {20, 280, 88, 27}},       {"   DOWN", {110, 280, 88, 27}},       {"   DELETE", {405, 280, 88, 27}},
        {"   DEL ALL", {405, 340, 88, 27}},  {"   EXPORT", {200, 400, 88, 27}},     {" AUTO SEL", {110, 400, 88, 27}},
        {"  DOWNLD", {290, 340, 88, 27}},    {"  UPLOAD", {290, 400, 88, 27}},     {"   CLOSE   ", {405, 400, 88, 27}},
    };
    for (int i = 0; i < listbutton::Count; ++i) {
        EXPECT_EQ(dialog->buttons().label(i), expected[i].label) << i;
        EXPECT_EQ(dialog->buttonControl(i)->geometry(), expected[i].rect) << i;
        // No two controls overlap, and each lies inside the window.
        EXPECT_TRUE(dialog->rect().contains(expected[i].rect)) << i;
        for (int j = 0; j < i; ++j) EXPECT_FALSE(expected[i].rect.intersects(expected[j].rect)) << i << " " << j;
        EXPECT_FALSE(expected[i].rect.intersects(dialog->busyControl()->geometry())) << i;
        EXPECT_FALSE(expected[i].rect.intersects(dialog->listBox()->geometry())) << i;
    }
    EXPECT_EQ(dialog->busyControl()->geometry(), QRect(10, 380, 60, 60));
    EXPECT_EQ(dialog->group(0)->title(), "Order");
    EXPECT_EQ(dialog->group(1)->title(), "Delete");
    EXPECT_EQ(dialog->group(2)->title(), "Insert");
    EXPECT_TRUE(dialog->acceptDrops());
}

TEST_F(PlayListDlgTest, AutoComposeRunsOffTheWindowsThreadWithTheRingTurning) {
    auto dialog = open();
    dialog->listBox()->setCurrentRow(0);
    press(*dialog, listbutton::AutoCompose);
    ASSERT_TRUE(testing::pumpUntil([&] { return dialog->editor().busy(); }));
    EXPECT_FALSE(dialog->buttonControl(listbutton::Close)->isEnabled());
    EXPECT_FALSE(dialog->listBox()->isEnabled());
    EXPECT_TRUE(dialog->busyTimerActive());
    EXPECT_EQ(dialog->cursor().shape(), Qt::WaitCursor);
    const QImage first = dialog->busyPicture().copy();
    QTest::qWait(3 * CPlayListDlg::kBusyTimerMs);
    EXPECT_NE(dialog->editor().frame(), 0);
    EXPECT_NE(dialog->busyPicture(), first);  // the window kept painting meanwhile

    // Escape while composing waits for the song, then closes.
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_TRUE(dialog->isVisible());
    composer.release();
    ASSERT_TRUE(testing::pumpUntil([&] { return !dialog->isVisible(); }));
    ASSERT_EQ(list.count, 3);
    EXPECT_EQ(fieldText(list.entries[0].title, kTitleBytes), "Music Box in C major");
    EXPECT_EQ(list.currentIndex, 0);  // the new line, selected where it went in
    EXPECT_EQ(dialog->editor().frame(), 0);
    EXPECT_NE(dialog->cursor().shape(), Qt::WaitCursor);
    EXPECT_EQ(boxes->count(), 0u);
}

TEST_F(PlayListDlgTest, DroppedFilesOneAtATime) {
    auto dialog = open();
    auto drop = [&](const QStringList& paths) {
        QMimeData mime;
        QList<QUrl> urls;
        for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
        mime.setUrls(urls);
        QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(dialog.get(), &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent letGo(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(dialog.get(), &letGo);
    };
    drop({"/tmp/a.mid", "/tmp/b.mid"});
    ASSERT_EQ(boxes->count(), 1u);
    EXPECT_EQ(boxes->visibleTexts()[0], "Drop one file at a time: a MIDI file (.mid) or a song-data file (.mwd).");
    drop({"/tmp/notes.txt"});
    EXPECT_EQ(boxes->count(), 1u);
    EXPECT_FALSE(dialog->editor().busy());
    EXPECT_EQ(list.count, 2);
}

TEST_F(PlayListDlgTest, ADoubleClickRenamesTheLineAndLeavesItsFile) {
    auto dialog = open();
    newTitle = "Spring Song";
    QListWidget* box = dialog->listBox();
    box->setCurrentRow(1);
    const QPoint at = box->visualItemRect(box->item(1)).center();
    QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, at);  // the view wants the press first
    QTest::mouseDClick(box->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(fieldText(list.entries[1].title, kTitleBytes), "Spring Song");
    EXPECT_EQ(fieldText(list.entries[1].path, kPathBytes), "/nowhere/b.mid");
    EXPECT_EQ(box->item(1)->text(), "Spring Song");
}

// AUTO CMP's own dialog, with a composer that writes a song from the test data.
class ComposeDlgTest : public ::testing::Test {
protected:
    void SetUp() override { testing::qtTestApp(); }
    ChoiceComposer composer() {
        return [this](const std::string& path, const ComposeOptions& options) {
            ++composed;
            lastTitle = options.title;
            std::filesystem::copy_file(std::string(TUNECASE_TEST_DATA) + "/midi/mido_format0_melody.mid", path);
            return 1;
        };
    }
    testing::TempFolder folder;
    int composed = 0;
    std::string lastTitle;
    ScopedCapture boxes;
};

TEST_F(ComposeDlgTest, ShowsTheRememberedChoicesAndAOneMeterStyleOffersNoOther) {
    CComposeDlg dialog({"Lullaby", "F#m", 1, 72, 24}, folder.path().string(), composer());
    EXPECT_EQ(dialog.styleBox()->currentText(), "Lullaby");
    EXPECT_TRUE(dialog.description()->text().startsWith(findComposableStyle("Lullaby")->description));
    EXPECT_TRUE(sameChoices(dialog.choices(), {"Lullaby", "F-sharp minor", 1, 72, 24}));
    dialog.styleBox()->setCurrentText("Waltz");
    EXPECT_FALSE(dialog.meterBox()->isEnabled());
    dialog.tempoBox()->setValue(dialog.tempoBox()->minimum());
    EXPECT_TRUE(sameChoices(dialog.choices(), {"Waltz", "F-sharp minor", -1, 0, 24}));
    dialog.styleBox()->setCurrentText("Music Box");
    EXPECT_TRUE(dialog.meterBox()->isEnabled());
}

TEST_F(ComposeDlgTest, APreviewSongJoinsAtOkAndGoesAtCancel) {
    for (bool ok : {true, false}) {
        SCOPED_TRACE(ok ? "OK" : "Cancel");
        composed = 0;
        auto dialog = std::make_unique<CComposeDlg>(ComposeChoices{"Carol", "G", -1, 0, 0}, folder.path().string(),
                                                    composer());
        dialog->show();
        dialog->previewOrStop();
        ASSERT_TRUE(testing::pumpUntil([&] { return !dialog->busy(); }));
        ASSERT_TRUE(dialog->previewSong());
        const std::string file = dialog->previewSong()->path;
        EXPECT_EQ(dialog->previewSong()->title, "Carol in G major");
        EXPECT_EQ(lastTitle, "Carol in G major");
        if (ok) dialog->accept();
        else dialog->reject();
        ASSERT_TRUE(testing::pumpUntil([&] { return !dialog->isVisible(); }));
        if (ok) {
            const ComposeAnswer answer = dialog->answer();
            ASSERT_TRUE(answer.previewed);
            EXPECT_EQ(answer.previewed->path, file);
            EXPECT_TRUE(std::filesystem::exists(file));
        } else {
            EXPECT_FALSE(std::filesystem::exists(file));
        }
        EXPECT_EQ(composed, 1);
    }
}

}  // namespace
}  // namespace tunecase
