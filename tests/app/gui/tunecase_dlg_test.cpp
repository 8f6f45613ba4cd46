#include "app/gui/tunecase_dlg.h"

#include <gtest/gtest.h>

#include <functional>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMimeData>
#include <QTest>
#include <QThread>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "app/compose_preferences.h"
#include "app/gui/config_dlg.h"
#include "app/gui/play_list_dlg.h"
#include "app/gui/tunecase_app.h"
#include "base/reporter.h"
#include "songs/song_list.h"
#include "base/user_folders.h"
#include "base/utilities.h"
#include "compose/knowledge_files.h"
#include "playback/midi_player.h"
#include "playback/playback_test_support.h"
#include "app/song_list_editor.h"
#include "songs/song_sheet.h"
#include "support/qt_test_app.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

namespace fs = std::filesystem;

// Answers the first-run question with a fixed folder.
class FixedBrowser final : public FolderBrowser {
public:
    explicit FixedBrowser(std::string folder) : folder_(std::move(folder)) {}
    Result browseForFolder(const std::string&, std::string& out, const std::string&) override {
        ++asked;
        out = folder_;
        return Picked;
    }
    int asked = 0;

private:
    std::string folder_;
};

using testing::ScopedEnv;

// The whole application over a scratch home: settings folder, songs, data folder and a
// program folder of its own, playing into a capture file. Boxes are captured.
class PlayerWindowTest : public ::testing::Test {
protected:
    PlayerWindowTest()
        : home_("HOME", dir_.path().string()),
          config_("XDG_CONFIG_HOME", (dir_.path() / "config").string()),
          program_(kProgramFolderVariable, (dir_.path() / "program").string()) {
        testing::qtTestApp();
        settingsFolder_ = (dir_.path() / "config" / "TNC").string();
        programFolder_ = (dir_.path() / "program").string();
        fs::create_directories(settingsFolder_);
        fs::create_directories(fs::path(programFolder_) / "help");
        fs::create_directories(dir_.path() / "data");
        settings_ = defaultPlayerSettings();
        setFieldText(settings_.dataFolder, kPathBytes, (dir_.path() / "data").string());
        list_ = emptySongList();
    }
    ~PlayerWindowTest() override {
        app_.reset();
        route_.reset();
        SetKnowledgeFolder({});
    }

    // A song file of `notes` notes, `spacing` ticks apart at 96 ticks and `tempo` us per
    // quarter, from `firstKey` up.
    std::string writeSong(const std::string& name, int notes, int firstKey, int spacing = 24, int tempo = 250000) {
        std::vector<testing::TestNote> list;
        for (int i = 0; i < notes; ++i) list.push_back({0, int64_t{i} * spacing, firstKey + i, 100, 12});
        auto song = testing::songOf(96, list, tempo);
        const std::string path = dir_.file(name);
        EXPECT_EQ(song->saveFile(path), 1);
        return path;
    }
    void addSong(const std::string& path, const std::string& title) {
        ASSERT_TRUE(insertOrAppend(list_, path, title));
    }
    void writeRecords() {
        ASSERT_EQ(writeWhole(settingsFolder_ + "/setup.ini", &settings_, sizeof settings_), 1);
        ASSERT_EQ(writeWhole(settingsFolder_ + "/mbox.lst", &list_, sizeof list_), 1);
    }
    // Starts the application on the records written so far and waits for the first load.
    CTunecaseDlg& open(bool writeFirst = true) {
        if (writeFirst) writeRecords();
        route_ = std::make_unique<testing::CaptureRoute>(dir_.file("capture.txt"));
        app_ = std::make_unique<TunecaseApp>(&browser_);
        app_->window().show();
        EXPECT_TRUE(pumpUntil([&] { return idle(); }));
        return app_->window();
    }
    CTunecaseDlg& window() { return app_->window(); }
    bool idle() { return !window().controller().isLoading(); }

    // The whole player does more per step than a dialog: a longer wait.
    static bool pumpUntil(const std::function<bool()>& done) { return testing::pumpUntil(done, 20); }
    static void pump(int ms) { testing::pumpFor(ms); }

    void press(int button) { QTest::mousePress(window().buttonControl(button), Qt::LeftButton, {}, QPoint(8, 8)); }
    void release(int button) { QTest::mouseRelease(window().buttonControl(button), Qt::LeftButton, {}, QPoint(8, 8)); }
    void click(int button) {
        press(button);
        release(button);
    }
    std::string title() { return window().titleLabel()->text().toStdString(); }
    // Drags files onto the window and lets go, as a file manager would.
    void drop(const std::vector<std::string>& paths) {
        QMimeData mime;
        QList<QUrl> urls;
        for (const auto& p : paths) urls << QUrl::fromLocalFile(QString::fromStdString(p));
        mime.setUrls(urls);
        QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&window(), &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent letGo(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&window(), &letGo);
    }

    // The note-ons in the capture file (it starts afresh with every song).
    std::vector<int> capturedNoteOns() {
        std::vector<int> keys;
        for (const auto& m : route_->messages())
            if (m.bytes.size() == 3 && (m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] > 0) keys.push_back(m.bytes[1]);
        return keys;
    }

    testing::TempFolder dir_;
    ScopedEnv home_, config_, program_;
    ScopedCapture boxes_;
    std::string settingsFolder_, programFolder_;
    PlayerSettings settings_{};
    SongList list_{};
    FixedBrowser browser_{"/tmp"};
    std::unique_ptr<testing::CaptureRoute> route_;
    std::unique_ptr<TunecaseApp> app_;
};

TEST_F(PlayerWindowTest, WindowShowsItsControlsForTheSettingsAndTheCurrentSong) {
    addSong(writeSong("a.mid", 8, 60), "Alpha");
    addSong(writeSong("b.mid", 8, 60), "Beta");
    list_.currentIndex = 1;
    settings_.plateType = PlatePaper;
    settings_.speedPercent = 70;
    CTunecaseDlg& w = open();

    EXPECT_EQ(w.windowTitle(), "PC TUNECASE");
    EXPECT_EQ(title(), "Beta");
    const char* labels[] = {"    QUIT", "    HELP", "    START", "   CONFIG", "    LIST", "    HIDE", "    PREV", "    NEXT"};
    const QRect rects[] = {{330, 70, 88, 27}, {240, 70, 88, 27}, {60, 36, 88, 27}, {150, 70, 88, 27},
                           {60, 70, 88, 27},  {330, 36, 88, 27}, {150, 36, 88, 27}, {240, 36, 88, 27}};
    ASSERT_EQ(w.buttons().count(), 8);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(w.buttons().label(i), labels[i]) << i;
        EXPECT_EQ(w.buttonControl(i)->geometry(), rects[i]) << i;
        EXPECT_TRUE(w.buttonControl(i)->isEnabled()) << i;
    }
    ASSERT_EQ(w.plateCombo()->count(), 6);
    const char* names[] = {"None", "Large Disk", "Small Disk", "Paper", "Toypiano(Large)", "Toypiano(Small)"};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(w.plateCombo()->itemText(i), names[i]);
        EXPECT_EQ(w.plateCombo()->itemData(i).toInt(), 260 + i);
    }
    EXPECT_EQ(w.plateCombo()->currentText(), "Paper");
    EXPECT_EQ(w.speedSlider()->minimum(), 50);
    EXPECT_EQ(w.speedSlider()->maximum(), 150);
    EXPECT_EQ(w.speedSlider()->value(), 70);
    // The loaded song is on the plate, which shows beside the player.
    ASSERT_NE(w.plate(), nullptr);
    EXPECT_TRUE(w.plate()->isVisible());
    EXPECT_EQ(w.plate()->size(), PlateDlg::sizeForPlate(PlatePaper));
    EXPECT_TRUE(w.controller().hasSong());
    EXPECT_NE(w.workBuffer(), nullptr);
    EXPECT_FALSE(w.busyTimerActive());
    EXPECT_EQ(w.busyPhase(), 0);
    EXPECT_EQ(w.cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(boxes_->count(), 0u);
}

TEST_F(PlayerWindowTest, WhileTheFirstSongLoadsTheButtonsAreDisabledAndTheCursorWaits) {
    addSong(writeSong("a.mid", 8, 60), "Alpha");
    writeRecords();
    route_ = std::make_unique<testing::CaptureRoute>(dir_.file("capture.txt"));
    app_ = std::make_unique<TunecaseApp>(&browser_);
    // The load's result comes back as a posted call, so nothing has finished yet.
    EXPECT_TRUE(window().busyTimerActive());
    EXPECT_EQ(window().cursor().shape(), Qt::WaitCursor);
    for (int i = 0; i < 8; ++i) EXPECT_FALSE(window().buttonControl(i)->isEnabled()) << i;
    ASSERT_TRUE(pumpUntil([&] { return idle(); }));
    EXPECT_FALSE(window().busyTimerActive());
    EXPECT_EQ(window().cursor().shape(), Qt::ArrowCursor);
    for (int i = 0; i < 8; ++i) EXPECT_TRUE(window().buttonControl(i)->isEnabled()) << i;
}

TEST_F(PlayerWindowTest, TitlesAreShownAsUtf8OrDecodedFromShiftJis) {
    addSong(writeSong("a.mid", 4, 60), "\x83\x65\x83\x58\x83\x67");  // "テスト" in Shift-JIS
    addSong(writeSong("b.mid", 4, 60), "オルゴール");
    open();
    EXPECT_EQ(title(), "テスト");
    click(playerbutton::Next);
    EXPECT_EQ(title(), "オルゴール");
}

TEST_F(PlayerWindowTest, ButtonsActOnPressStartPlaysAndStopStops) {
    addSong(writeSong("a.mid", 200, 40), "Long");
    addSong(writeSong("b.mid", 4, 60), "Short");
    CTunecaseDlg& w = open();

    // NEXT acts when the mouse button goes down, before any release.
    press(playerbutton::Next);
    EXPECT_EQ(title(), "Short");
    EXPECT_EQ(list_.currentIndex, 0);  // the test's copy; the window edits its own
    EXPECT_EQ(app_->list().currentIndex, 1);
    EXPECT_TRUE(w.buttons().isPressed(playerbutton::Next));
    ASSERT_TRUE(pumpUntil([&] { return idle(); }));
    release(playerbutton::Next);
    EXPECT_FALSE(w.buttons().isPressed(playerbutton::Next));
    click(playerbutton::Prev);
    ASSERT_TRUE(pumpUntil([&] { return idle(); }));

    press(playerbutton::StartStop);
    EXPECT_EQ(w.buttons().label(playerbutton::StartStop), "    STOP");
    EXPECT_TRUE(w.controller().isPlaying());
    release(playerbutton::StartStop);
    ASSERT_TRUE(pumpUntil([&] { return capturedNoteOns().size() >= 3; }));
    EXPECT_EQ(capturedNoteOns()[0], 40);
    EXPECT_TRUE(w.plate()->timerActive());

    click(playerbutton::StartStop);
    EXPECT_FALSE(w.controller().isPlaying());
    EXPECT_EQ(w.buttons().label(playerbutton::StartStop), "    START");
    EXPECT_EQ(w.controller().clock().playerBusy(), 0);
    EXPECT_FALSE(w.plate()->timerActive());
    const size_t heard = capturedNoteOns().size();
    pump(300);
    EXPECT_EQ(capturedNoteOns().size(), heard);
    EXPECT_EQ(boxes_->count(), 0u);
}

TEST_F(PlayerWindowTest, AButtonLetGoWhileTheLoadDisabledItComesBackUp) {
    addSong(writeSong("a.mid", 4, 60), "One");
    addSong(writeSong("b.mid", 4, 60), "Two");
    CTunecaseDlg& w = open();
    // NEXT starts a load, which disables the buttons before the mouse button comes up.
    press(playerbutton::Next);
    ASSERT_FALSE(w.buttonControl(playerbutton::Next)->isEnabled());
    release(playerbutton::Next);
    EXPECT_TRUE(w.buttons().isPressed(playerbutton::Next));
    ASSERT_TRUE(pumpUntil([&] { return idle(); }));
    EXPECT_FALSE(w.buttons().isPressed(playerbutton::Next));
    EXPECT_FALSE(w.buttonControl(playerbutton::Next)->pressed());
    // And it works again with one click.
    click(playerbutton::Next);
    EXPECT_EQ(title(), "One");
}

TEST_F(PlayerWindowTest, StopDuringALongRestWaitsForThePendingTimerAndKeepsTheWindowAlive) {
    // A note, then four seconds of nothing, then a note. Sparse channels must stay.
    settings_.deleteLongNoteChannel = 0;
    addSong(writeSong("rest.mid", 2, 60, 768, 500000), "Rest");
    CTunecaseDlg& w = open();
    click(playerbutton::StartStop);
    // The first note's end is the last event before the rest.
    ASSERT_TRUE(pumpUntil([&] {
        for (const auto& m : route_->messages())
            if (m.bytes.size() == 3 && ((m.bytes[0] & 0xF0) == 0x80 || ((m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] == 0)))
                return true;
        return false;
    }));
    bool timerRan = false;
    QTimer::singleShot(100, &w, [&] { timerRan = true; });
    QElapsedTimer clock;
    clock.start();
    click(playerbutton::StartStop);
    // STOP returned only once the chain woke from its rest and saw the request.
    EXPECT_GE(clock.elapsed(), 1500);
    EXPECT_EQ(w.controller().clock().playerBusy(), 0);
    EXPECT_FALSE(w.controller().isPlaying());
    EXPECT_EQ(capturedNoteOns(), std::vector<int>{60});
    // Posted work and timers went on while the window waited.
    EXPECT_TRUE(timerRan);
}

TEST_F(PlayerWindowTest, DroppedFilesTwoChangeNothingAndOneMidiFileJoinsTheList) {
    addSong(writeSong("a.mid", 4, 60), "Alpha");
    open();
    const std::string extra = writeSong("Dropped Song.mid", 6, 64);

    drop({dir_.file("a.mid"), extra});
    ASSERT_EQ(boxes_->count(), 1u);
    EXPECT_EQ(boxes_->visibleTexts()[0], "Drop one file at a time: a MIDI file (.mid) or a song-data file (.mwd).");
    pump(200);
    EXPECT_EQ(app_->list().count, 1);
    EXPECT_EQ(title(), "Alpha");

    boxes_->clear();
    drop({extra});
    ASSERT_TRUE(pumpUntil([&] { return app_->list().count == 2 && idle(); }));
    EXPECT_EQ(app_->list().currentIndex, 1);
    EXPECT_EQ(title(), "Dropped Song.mid");  // the file's name when the song has no track name
    EXPECT_EQ(boxes_->count(), 0u);
}

TEST_F(PlayerWindowTest, TrayMenuFollowsTheStateAndItsCommandsReachThePlayer) {
    addSong(writeSong("a.mid", 4, 60), "Alpha");
    addSong(writeSong("b.mid", 4, 60), "Beta");
    CTunecaseDlg& w = open();
    auto texts = [&] {
        QStringList out;
        auto menu = w.makeTrayMenu();
        for (QAction* a : menu->actions()) out << (a->isSeparator() ? "-" : a->text());
        return out;
    };
    EXPECT_EQ(texts(), (QStringList{"Hide Player", "-", "Start", "Previous Song", "Next Song", "-", "None",
                                    "Large Disk", "Small Disk", "Paper", "Toypiano(Large)", "Toypiano(Small)", "-",
                                    "Quit"}));
    auto trigger = [&](int command) {
        auto menu = w.makeTrayMenu();
        for (QAction* a : menu->actions())
            if (!a->isSeparator() && a->data().toInt() == command) return a->trigger();
        ADD_FAILURE() << "no entry " << command;
    };
    trigger(traycmd::Next);
    EXPECT_EQ(title(), "Beta");
    ASSERT_TRUE(pumpUntil([&] { return idle(); }));
    trigger(PlateSmallDisk);
    EXPECT_EQ(w.plateCombo()->currentText(), "Small Disk");
    EXPECT_EQ(app_->settings().plateType, PlateSmallDisk);
    EXPECT_EQ(w.plate()->size(), PlateDlg::sizeForPlate(PlateSmallDisk));
    ASSERT_TRUE(pumpUntil([&] { return idle(); }));
    trigger(traycmd::StartStop);
    EXPECT_EQ(texts()[2], "Stop");
    trigger(traycmd::StartStop);
    EXPECT_FALSE(w.controller().isPlaying());
    ASSERT_TRUE(pumpUntil([&] { return idle(); }));

    // There is no tray here: HIDE says so and minimises instead of hiding.
    EXPECT_FALSE(w.trayAvailable());
    click(playerbutton::Hide);
    ASSERT_EQ(boxes_->count(), 1u);
    EXPECT_EQ(boxes_->visibleTexts()[0], kNoTrayText);
    EXPECT_TRUE(w.windowState() & Qt::WindowMinimized);
    EXPECT_EQ(texts()[0], "Show Player");
    trigger(traycmd::ToggleWindow);
    EXPECT_FALSE(w.windowState() & Qt::WindowMinimized);
    EXPECT_TRUE(w.isVisible());
}

TEST_F(PlayerWindowTest, ChangingThePlateRebuildsThePlateWindowWhereItWas) {
    addSong(writeSong("a.mid", 200, 50), "Alpha");
    CTunecaseDlg& w = open();
    w.plate()->move(300, 200);
    const QPoint where = w.plate()->pos();
    click(playerbutton::StartStop);
    ASSERT_TRUE(pumpUntil([&] { return !capturedNoteOns().empty(); }));

    w.plateCombo()->setCurrentIndex(w.plateCombo()->findData(PlateNone));
    EXPECT_FALSE(w.controller().isPlaying());
    EXPECT_EQ(w.buttons().label(playerbutton::StartStop), "    START");
    EXPECT_EQ(w.controller().clock().playerBusy(), 0);
    EXPECT_EQ(app_->settings().plateType, PlateNone);
    ASSERT_NE(w.plate(), nullptr);
    EXPECT_FALSE(w.plate()->isVisible());
    ASSERT_TRUE(pumpUntil([&] { return idle(); }));

    w.plateCombo()->setCurrentIndex(w.plateCombo()->findData(PlateToyPianoLarge));
    EXPECT_EQ(PlateDlg::current(), w.plate());
    EXPECT_TRUE(w.plate()->isVisible());
    // 400 x 100 outside; the title bar is the desktop's, the keyboard fills the rest.
    EXPECT_EQ(w.plate()->size(), QSize(400, 70));
    ASSERT_NE(w.plate()->keyboard(), nullptr);
    EXPECT_EQ(w.plate()->keyboard()->control()->geometry(), QRect(0, 0, 400, 70));
    EXPECT_EQ(w.plate()->pos(), where);
    ASSERT_TRUE(pumpUntil([&] { return idle() && w.controller().hasSong(); }));

    // A toy piano plays on the keyboard: keys go down as notes are sent.
    click(playerbutton::StartStop);
    ASSERT_TRUE(pumpUntil([&] { return !w.plate()->keyboard()->heldKeys().snapshot().empty(); }));
    click(playerbutton::StartStop);
    EXPECT_TRUE(w.plate()->keyboard()->heldKeys().snapshot().empty());
}

TEST_F(PlayerWindowTest, QuitStopsTheSongClosesEverythingAndSavesBothRecords) {
    addSong(writeSong("a.mid", 200, 50), "Alpha");
    addSong(writeSong("b.mid", 4, 60), "Beta");
    CTunecaseDlg& w = open();
    w.speedSlider()->setValue(120);
    EXPECT_EQ(app_->settings().speedPercent, 120);
    EXPECT_EQ(w.controller().clock().speedPercent.load(), 120);
    w.plateCombo()->setCurrentIndex(w.plateCombo()->findData(PlateSmallDisk));
    ASSERT_TRUE(pumpUntil([&] { return idle(); }));
    click(playerbutton::StartStop);
    ASSERT_TRUE(pumpUntil([&] { return !capturedNoteOns().empty(); }));

    click(playerbutton::Quit);
    ASSERT_TRUE(pumpUntil([&] { return w.isShutDown(); }));
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.controller().clock().playerBusy(), 0);
    EXPECT_EQ(PlateDlg::current(), nullptr);
    EXPECT_EQ(w.workBuffer(), nullptr);
    EXPECT_EQ(w.trayIcon(), nullptr);

    const auto settingsBytes = testing::readFileBytes(settingsFolder_ + "/setup.ini");
    const auto listBytes = testing::readFileBytes(settingsFolder_ + "/mbox.lst");
    ASSERT_EQ(settingsBytes.size(), 276u);
    ASSERT_EQ(listBytes.size(), 51608u);
    PlayerSettings saved{};
    std::memcpy(&saved, settingsBytes.data(), sizeof saved);
    EXPECT_EQ(saved.plateType, PlateSmallDisk);
    EXPECT_EQ(saved.speedPercent, 120);
    EXPECT_EQ(saved.deleteShortNoteChannel, 1);
    EXPECT_EQ(fieldText(saved.dataFolder, kPathBytes), (dir_.path() / "data").string());
    auto savedList = std::make_unique<SongList>();
    std::memcpy(savedList.get(), listBytes.data(), sizeof(SongList));
    EXPECT_EQ(savedList->count, 2);
    EXPECT_EQ(savedList->currentIndex, 0);
    EXPECT_EQ(fieldText(savedList->entries[1].title, kTitleBytes), "Beta");
    EXPECT_EQ(fieldText(savedList->entries[1].path, kPathBytes), dir_.file("b.mid"));
}

TEST_F(PlayerWindowTest, TheFirstRunAsksForTheDataFolderAndClosingWritesBothFiles) {
    browser_ = FixedBrowser((dir_.path() / "Songs").string());
    CTunecaseDlg& w = open(false);
    EXPECT_EQ(browser_.asked, 1);
    // The empty list asks whether to build one; OK finds no library here and says so.
    ASSERT_TRUE(pumpUntil([&] { return !w.controller().isBuildingList() && idle(); }));
    ASSERT_EQ(boxes_->count(), 2u);
    EXPECT_EQ(boxes_->visibleTexts()[0], kAskBuildListText);
    EXPECT_EQ(boxes_->visibleTexts()[1], kEmptyLibraryText);
    EXPECT_EQ(title(), "");
    EXPECT_TRUE(w.buttonControl(playerbutton::List)->isEnabled());
    w.close();
    ASSERT_TRUE(w.isShutDown());
    const auto settingsBytes = testing::readFileBytes(settingsFolder_ + "/setup.ini");
    ASSERT_EQ(settingsBytes.size(), 276u);
    PlayerSettings saved{};
    std::memcpy(&saved, settingsBytes.data(), sizeof saved);
    EXPECT_EQ(fieldText(saved.dataFolder, kPathBytes), (dir_.path() / "Songs").string());
    EXPECT_EQ(saved.plateType, PlateLargeDisk);
    EXPECT_EQ(testing::readFileBytes(settingsFolder_ + "/mbox.lst").size(), 51608u);
}

// The sample songs as song-data files in the program folder's library, and the composer's
// knowledge files beside them, as in a real program folder.
void writeLibrary(const std::string& programFolder, std::initializer_list<const char*> sheets) {
    const fs::path source = fs::path(TUNECASE_TEST_DATA) / ".." / ".." / "data";
    for (const auto& entry : fs::directory_iterator(source))
        if (entry.path().extension().string().starts_with(".DB"))
            fs::copy_file(entry.path(), fs::path(programFolder) / entry.path().filename());
    fs::create_directories(fs::path(programFolder) / "Archive");
    for (const char* sheet : sheets) {
        std::ifstream in(source / "songs" / (std::string(sheet) + ".txt"));
        std::stringstream text;
        text << in.rdbuf();
        std::vector<SheetError> errors;
        auto song = parseSongSheet(text.str(), errors);
        ASSERT_TRUE(song) << sheet;
        ASSERT_TRUE(song->saveFile(programFolder + "/Archive/" + sheet + ".mwd"));
    }
}

TEST_F(PlayerWindowTest, OkOnAnEmptyListBuildsItFromTheLibraryAndADroppedSongDataFileJoinsIt) {
    writeLibrary(programFolder_, {"ode_to_joy", "frere_jacques", "jingle_bells"});
    fs::copy_file(fs::path(programFolder_) / "Archive" / "ode_to_joy.mwd", dir_.path() / "ode.mwd");
    CTunecaseDlg& w = open();
    ASSERT_TRUE(pumpUntil([&] { return !w.controller().isBuildingList() && idle(); }));
    EXPECT_EQ(boxes_->visibleTexts(), std::vector<std::string>{kAskBuildListText});
    // Three songs in the library: two of them, each arranged into the data folder.
    ASSERT_EQ(app_->list().count, 2);
    const std::set<std::string> known = {"Ode to Joy", "Frère Jacques", "Jingle Bells"};
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(known.count(fieldText(app_->list().entries[i].title, kTitleBytes)));
        const std::string path = fieldText(app_->list().entries[i].path, kPathBytes);
        EXPECT_TRUE(isOwnSongFile(path, (dir_.path() / "data").string())) << path;
    }
    EXPECT_EQ(title(), fieldText(app_->list().entries[0].title, kTitleBytes));
    EXPECT_TRUE(w.controller().hasSong());

    // A song-data file dropped on the player goes into the library, then into the list.
    drop({dir_.file("ode.mwd")});
    ASSERT_TRUE(pumpUntil([&] { return app_->list().count == 3 && idle(); }));
    EXPECT_EQ(app_->list().currentIndex, 2);
    EXPECT_EQ(title(), "Ode to Joy");
    EXPECT_TRUE(w.controller().hasSong());
    // The same name again is refused by the library.
    drop({dir_.file("ode.mwd")});
    ASSERT_EQ(boxes_->count(), 2u);
    EXPECT_EQ(boxes_->visibleTexts()[1], kNameClashText);
}

TEST_F(PlayerWindowTest, ListStopsTheSongRunsTheEditorAndLoadsWhatItLeftCurrent) {
    addSong(writeSong("a.mid", 200, 40), "Long");
    addSong(writeSong("b.mid", 4, 60), "Short");
    addSong(writeSong("c.mid", 4, 70), "Third");
    CTunecaseDlg& w = open();
    click(playerbutton::StartStop);
    ASSERT_TRUE(pumpUntil([&] { return capturedNoteOns().size() >= 3; }));

    bool sawEditor = false, playingMeanwhile = true;
    // The editor opens once playback has stopped, which can take a while on a busy machine:
    // look for it again until it is there (for at most five seconds).
    int looks = 0;
    std::function<void()> closeEditor = [&] {
        auto* editor = qobject_cast<CPlayListDlg*>(QApplication::activeModalWidget());
        if (!editor) {
            if (++looks < 250) QTimer::singleShot(20, closeEditor);
            return;
        }
        sawEditor = true;
        playingMeanwhile = w.controller().isPlaying() || w.controller().clock().playerBusy();
        editor->listBox()->setCurrentRow(1);
        editor->editor().moveUp();  // Short, Long, Third
        editor->listBox()->setCurrentRow(2);
        editor->editor().deleteSelected();  // Third goes; its file is the user's and stays
        editor->listBox()->setCurrentRow(1);
        editor->reject();  // Long becomes current
    };
    QTimer::singleShot(50, closeEditor);
    click(playerbutton::List);
    EXPECT_TRUE(sawEditor);
    EXPECT_FALSE(playingMeanwhile);
    EXPECT_EQ(w.buttons().label(playerbutton::StartStop), "    START");
    ASSERT_TRUE(pumpUntil([&] { return idle(); }));
    ASSERT_EQ(app_->list().count, 2);
    EXPECT_EQ(app_->list().currentIndex, 1);
    EXPECT_EQ(title(), "Long");
    EXPECT_TRUE(w.controller().hasSong());
    EXPECT_TRUE(fs::exists(dir_.file("c.mid")));
    EXPECT_EQ(boxes_->count(), 0u);
}

TEST_F(PlayerWindowTest, HelpShowsTheTopPageOrSaysItIsMissing) {
    addSong(writeSong("a.mid", 4, 60), "Alpha");
    CTunecaseDlg& w = open();
    click(playerbutton::Help);
    ASSERT_EQ(boxes_->count(), 1u);
    EXPECT_EQ(boxes_->reports()[0].tag, "GENE");
    EXPECT_EQ(boxes_->reports()[0].code, 0x01000005u);
    EXPECT_EQ(w.helpWindow(), nullptr);

    testing::writeFileText(programFolder_ + "/help/top.htm",
                           "<html><head><title>Contents</title></head><body><h1>Tunecase</h1>"
                           "<a href=\"more.htm\">more</a></body></html>");
    click(playerbutton::Help);
    ASSERT_NE(w.helpWindow(), nullptr);
    EXPECT_TRUE(w.helpWindow()->isVisible());
    EXPECT_TRUE(w.helpWindow()->browser()->source().toLocalFile().endsWith("/help/top.htm"));
    EXPECT_EQ(w.helpWindow()->browser()->documentTitle(), "Contents");
}

TEST_F(PlayerWindowTest, AboutBoxAndSettingsDialogOpenModally) {
    addSong(writeSong("a.mid", 4, 60), "Alpha");
    CTunecaseDlg& w = open();
    ASSERT_TRUE(w.actions().contains(w.aboutAction()));
    EXPECT_EQ(w.aboutAction()->text(), QString::fromUtf8("&About Tunecase..."));

    QString caption, text;
    QTimer::singleShot(50, [&] {
        if (auto* box = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget())) {
            caption = box->windowTitle();
            if (auto* label = box->findChild<QLabel*>("aboutText")) text = label->text();
            box->accept();
        }
    });
    w.aboutAction()->trigger();
    EXPECT_EQ(caption, QString::fromUtf8("About Tunecase"));
    EXPECT_EQ(text, "Tunecase Version 1.0");

    bool sawConfig = false;
    QTimer::singleShot(50, [&] {
        if (auto* dialog = qobject_cast<CConfigDlg*>(QApplication::activeModalWidget())) {
            sawConfig = true;
            dialog->longNoteBox()->setChecked(false);
            dialog->commit();
        }
    });
    click(playerbutton::Config);
    EXPECT_TRUE(sawConfig);
    EXPECT_EQ(app_->settings().deleteLongNoteChannel, 0);
}

// ---- Keyboard and command line -------------------------------------------------------------

TEST(PlayerKeys, EachKeyStandsForItsButtonAndNothingElseDoes) {
    const struct {
        int key;
        Qt::KeyboardModifiers modifiers;
        int button;
    } cases[] = {
        {Qt::Key_Space, Qt::NoModifier, playerbutton::StartStop},
        {Qt::Key_Left, Qt::NoModifier, playerbutton::Prev},
        {Qt::Key_Right, Qt::NoModifier, playerbutton::Next},
        {Qt::Key_Left, Qt::KeypadModifier, playerbutton::Prev},
        {Qt::Key_F1, Qt::NoModifier, playerbutton::Help},
        {Qt::Key_Q, Qt::ControlModifier, playerbutton::Quit},
        {Qt::Key_Q, Qt::NoModifier, -1},
        {Qt::Key_Q, Qt::ControlModifier | Qt::ShiftModifier, -1},
        {Qt::Key_Space, Qt::ShiftModifier, -1},
        {Qt::Key_Escape, Qt::NoModifier, -1},
        {Qt::Key_Up, Qt::NoModifier, -1},
    };
    for (const auto& c : cases) EXPECT_EQ(CTunecaseDlg::buttonForKey(c.key, c.modifiers), c.button) << c.key;
}

TEST_F(PlayerWindowTest, KeysActAsTheirButtonsWhereverTheFocusIsAndEscapeDoesNotQuit) {
    addSong(writeSong("a.mid", 200, 40), "Alpha");
    addSong(writeSong("b.mid", 200, 50), "Beta");
    testing::writeFileText(programFolder_ + "/help/top.htm", "<html><body>Help</body></html>");
    CTunecaseDlg& w = open();
    QWidget* targets[] = {&w, w.speedSlider(), w.plateCombo(), w.buttonControl(playerbutton::Hide)};
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        std::function<bool()> happened;
    } steps[] = {
        {Qt::Key_Right, Qt::NoModifier, [&] { return title() == "Beta"; }},
        {Qt::Key_Left, Qt::NoModifier, [&] { return title() == "Alpha"; }},
        {Qt::Key_Space, Qt::NoModifier, [&] { return w.controller().isPlaying() && !capturedNoteOns().empty(); }},
        {Qt::Key_Space, Qt::NoModifier, [&] { return !w.controller().isPlaying(); }},
        {Qt::Key_Escape, Qt::NoModifier, [&] { return w.isVisible() && !w.isShutDown(); }},
    };
    const int speed = w.speedSlider()->value();
    const int plate = w.plateCombo()->currentIndex();
    for (QWidget* target : targets) {
        for (const auto& step : steps) {
            QTest::keyClick(target, step.key, step.modifiers);
            EXPECT_TRUE(pumpUntil([&] { return idle() && step.happened(); }))
                << target->metaObject()->className() << " key " << step.key;
        }
    }
    // The focused controls did not take the keys for themselves.
    EXPECT_EQ(w.speedSlider()->value(), speed);
    EXPECT_EQ(w.plateCombo()->currentIndex(), plate);

    QTest::keyClick(w.speedSlider(), Qt::Key_F1);
    ASSERT_NE(w.helpWindow(), nullptr);
    EXPECT_TRUE(w.helpWindow()->isVisible());
    QTest::keyClick(w.helpWindow(), Qt::Key_Escape);
    EXPECT_FALSE(w.helpWindow()->isVisible());

    // Ctrl+Q is QUIT: both records saved, the window gone.
    w.speedSlider()->setValue(130);
    QTest::keyClick(w.buttonControl(playerbutton::Next), Qt::Key_Q, Qt::ControlModifier);
    ASSERT_TRUE(pumpUntil([&] { return w.isShutDown(); }));
    EXPECT_FALSE(w.isVisible());
    const auto settingsBytes = testing::readFileBytes(settingsFolder_ + "/setup.ini");
    ASSERT_EQ(settingsBytes.size(), 276u);
    PlayerSettings saved{};
    std::memcpy(&saved, settingsBytes.data(), sizeof saved);
    EXPECT_EQ(saved.speedPercent, 130);
    EXPECT_EQ(boxes_->count(), 0u);
}

TEST_F(PlayerWindowTest, TabReachesEveryPictureButtonWhichShowsItsFocusAndHasAName) {
    addSong(writeSong("a.mid", 4, 60), "Alpha");
    CTunecaseDlg& w = open();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    std::set<int> reached;
    w.buttonControl(0)->setFocus(Qt::TabFocusReason);
    for (int i = 0; i < 20; ++i) {
        for (int b = 0; b < playerbutton::Count; ++b)
            if (QApplication::focusWidget() == w.buttonControl(b)) reached.insert(b);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(reached.size(), static_cast<size_t>(playerbutton::Count));

    for (int b = 0; b < playerbutton::Count; ++b) {
        COffScreenControl* control = w.buttonControl(b);
        EXPECT_EQ(control->accessibleName(), w.buttons().label(b).trimmed()) << b;
        EXPECT_FALSE(control->accessibleName().isEmpty()) << b;
        w.speedSlider()->setFocus();
        const QImage plain = control->grab().toImage();
        control->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(control->hasFocus()) << b;
        EXPECT_NE(control->grab().toImage(), plain) << "no focus mark on button " << b;
    }
    // The label follows the button's: START becomes STOP.
    click(playerbutton::StartStop);
    EXPECT_EQ(w.buttonControl(playerbutton::StartStop)->accessibleName(), "STOP");
    click(playerbutton::StartStop);

    // Enter on a focused button presses it.
    w.buttonControl(playerbutton::StartStop)->setFocus(Qt::TabFocusReason);
    QTest::keyClick(w.buttonControl(playerbutton::StartStop), Qt::Key_Return);
    EXPECT_TRUE(w.controller().isPlaying());
    click(playerbutton::StartStop);
}

TEST_F(PlayerWindowTest, FilesNamedOnTheCommandLineJoinTheListAsDropsDo) {
    addSong(writeSong("a.mid", 4, 60), "Alpha");
    CTunecaseDlg& w = open();
    const std::string one = writeSong("One More.mid", 6, 64), two = writeSong("Two More.mid", 6, 66);
    testing::writeFileText(dir_.file("notes.txt"), "not a song");
    w.openFiles({one, dir_.file("notes.txt"), two});
    ASSERT_TRUE(pumpUntil([&] { return app_->list().count == 3 && idle(); }));
    EXPECT_EQ(app_->list().currentIndex, 2);
    EXPECT_EQ(title(), "Two More.mid");
    EXPECT_EQ(fieldText(app_->list().entries[1].title, kTitleBytes), "One More.mid");
    EXPECT_EQ(boxes_->count(), 0u);
}

TEST_F(PlayerWindowTest, TheFarewellPageSettingIsOnUntilTurnedOffAndRemembered) {
    addSong(writeSong("a.mid", 4, 60), "Alpha");
    open();
    const std::string prefs = composePreferencesPath();
    ASSERT_FALSE(prefs.empty());
    {
        CConfigDlg dialog(&app_->settings(), &browser_, nullptr);
        ASSERT_NE(dialog.farewellBox(), nullptr);
        EXPECT_TRUE(dialog.farewellBox()->isChecked());
        QTest::mouseClick(dialog.farewellBox(), Qt::LeftButton, {}, QPoint(8, dialog.farewellBox()->height() / 2));
        EXPECT_FALSE(farewellPageWanted(prefs));
    }
    {
        CConfigDlg dialog(&app_->settings(), &browser_, nullptr);
        EXPECT_FALSE(dialog.farewellBox()->isChecked());
        dialog.farewellBox()->setChecked(true);
        EXPECT_TRUE(farewellPageWanted(prefs));
    }
    // The settings record itself keeps its size.
    window().done(QDialog::Accepted);
    EXPECT_EQ(testing::readFileBytes(settingsFolder_ + "/setup.ini").size(), 276u);
}

TEST_F(PlayerWindowTest, AfterDelAllThePlateShowsNoSong) {
    addSong(writeSong("a.mid", 8, 60), "Alpha");
    addSong(writeSong("b.mid", 8, 62), "Beta");
    settings_.plateType = PlatePaper;
    CTunecaseDlg& w = open();
    ASSERT_FALSE(w.plate()->notes().empty());
    QImage before = w.plate()->renderPlate().copy();
    int looks = 0;
    std::function<void()> emptyTheList = [&] {
        auto* editor = qobject_cast<CPlayListDlg*>(QApplication::activeModalWidget());
        if (!editor) {
            if (++looks < 250) QTimer::singleShot(20, emptyTheList);
            return;
        }
        editor->editor().deleteAll();
        editor->reject();
    };
    QTimer::singleShot(50, emptyTheList);
    click(playerbutton::List);
    ASSERT_TRUE(pumpUntil([&] { return idle(); }));
    EXPECT_EQ(app_->list().count, 0);
    EXPECT_EQ(title(), "");
    EXPECT_TRUE(w.plate()->notes().empty());
    EXPECT_NE(w.plate()->renderPlate(), before);
}

}  // namespace
}  // namespace tunecase
