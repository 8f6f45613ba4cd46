// The song list editor without its window: where added songs go, the full list, the
// automatic selection's counts, DELETE and DEL ALL (which files go with their entries), the
// import of a drum-only file read back by python3-mido, and jobs off the window's thread.
#include "app/compose_preferences.h"
#include "app/song_list_editor.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>

#include "base/reporter.h"
#include "base/user_folders.h"
#include "base/utilities.h"
#include "midi/smf_test_util.h"
#include "songs/song_import.h"
#include "songs/song_list.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

namespace fs = std::filesystem;

// The window stand-in: posted tasks run when the test pumps; the list box is a vector.
class FakeListView final : public SongListView {
public:
    void postToUi(std::function<void()> task) override {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    void pumpEvents(int ms) override {
        for (;;) {
            std::function<void()> task;
            {
                std::lock_guard lock(mutex_);
                if (tasks_.empty()) break;
                task = std::move(tasks_.front());
                tasks_.pop_front();
            }
            task();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
    bool pumpUntil(const std::function<bool()>& done) {
        for (int i = 0; i < 2000 && !done(); ++i) pumpEvents(5);
        return done();
    }
    void showList(const std::vector<std::string>& titles, int selected) override {
        lines = titles;
        line = selected;
    }
    int selectedLine() override { return line; }
    void setBusy(bool on) override { busyCalls.push_back(on); }
    std::string chooseMidiFile() override { return midiFile; }
    std::string runLibrary(const std::string& outputPath) override {
        if (libraryTitle.empty()) return {};
        if (librarySource.empty()) testing::writeFileText(outputPath, "MThd");
        else fs::copy_file(librarySource, outputPath, fs::copy_options::overwrite_existing);
        libraryOutput = outputPath;
        return libraryTitle;
    }
    bool libraryWantsStrip() override { return libraryStrip; }
    std::optional<StripChoice> askStripWithPreview(const std::vector<std::string>& boxes, const StripReporter& reportFor,
                                                   const StripPreviewer& preview) override {
        if (!boxes.empty()) previewWidth = preview(boxes.front(), false, 1.0).width;
        return askStrip(boxes, reportFor);
    }
    ExportRequest askExport(bool upload) override {
        askedUpload = upload;
        return exportRequest;
    }
    ExportTarget chooseExportFile(ExportKind) override { return exportTarget; }
    std::optional<StripChoice> askStrip(const std::vector<std::string>& boxes, const StripReporter& reportFor) override {
        stripBoxes = boxes;
        for (const std::string& box : boxes) stripReports.push_back(reportFor(box));
        return stripChoice;
    }
    void runUpload(const std::string& workFile) override {
        uploaded = workFile;
        workFileExisted = fs::exists(workFile);
        uploadedNotes = testing::midoNotes(workFile);
    }
    void runDownload() override {}
    void endDialog() override { ended = true; }
    std::optional<ComposeAnswer> askCompose(const ComposeChoices& initial) override {
        askedChoices = initial;
        return composeDialog ? composeDialog(initial) : SongListView::askCompose(initial);
    }
    std::optional<std::string> askTitle(const std::string& current) override {
        askedTitle = current;
        return newTitle;
    }
    // A trash folder of its own; with `trashRefusal` set, no trash at all.
    bool moveToTrash(const std::string& path, std::string& reason) override {
        if (!trashRefusal.empty()) {
            reason = trashRefusal;
            return false;
        }
        std::error_code ec;
        fs::rename(path, trash.path() / fs::path(path).filename(), ec);
        if (ec) reason = ec.message();
        if (!ec) trashed.push_back(path);
        return !ec;
    }

    std::vector<std::string> lines;
    int line = -1;
    std::vector<bool> busyCalls;
    std::string midiFile, libraryTitle, uploaded, librarySource, libraryOutput;
    bool libraryStrip = false;
    int previewWidth = -1;
    bool askedUpload = false, workFileExisted = false, ended = false;
    std::vector<std::string> stripBoxes, stripReports;
    std::optional<StripChoice> stripChoice;
    std::vector<testing::NoteTuple> uploadedNotes;
    ExportRequest exportRequest;
    ExportTarget exportTarget;
    testing::TempFolder trash;
    std::vector<std::string> trashed;
    std::string trashRefusal;
    std::function<std::optional<ComposeAnswer>(const ComposeChoices&)> composeDialog;
    std::optional<ComposeChoices> askedChoices;
    std::optional<std::string> newTitle;
    std::string askedTitle;

private:
    std::mutex mutex_;
    std::deque<std::function<void()>> tasks_;
};

// Arranges by writing a placeholder file titled after the song data file's name.
SongArranger fakeArranger() {
    return [](const std::string& source, const std::string& output, std::string& title) {
        testing::writeFileText(output, "MThd");
        title = fs::path(source).stem().string();
        return true;
    };
}

class SongListEditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        settings = defaultPlayerSettings();
        setFieldText(settings.dataFolder, kPathBytes, data.path().string());
        list = emptySongList();
    }
    SongListEditor& open(SongListEditor::Services services = {}) {
        if (!services.arranger) services.arranger = fakeArranger();
        editor = std::make_unique<SongListEditor>(settings, list, singleFolderLayout(program.path().string()), view, std::move(services));
        editor->start();
        return *editor;
    }
    std::string entryTitle(int i) const { return fieldText(list.entries[i].title, kTitleBytes); }
    std::string entryPath(int i) const { return fieldText(list.entries[i].path, kPathBytes); }
    void addOwnSong(const std::string& title) {
        const std::string path = newSongPath(data.path().string());
        testing::writeFileText(path, "MThd");
        ASSERT_TRUE(insertOrAppend(list, path, title));
    }
    void makeLibrary(int files) {
        fs::create_directories(program.path() / "Archive");
        for (int i = 0; i < files; ++i) testing::writeFileText(program.file("Archive/song" + std::to_string(i) + ".mwd"), "x");
    }

    testing::TempFolder data, program, elsewhere;
    PlayerSettings settings{};
    SongList list{};
    FakeListView view;
    ScopedCapture boxes;
    std::unique_ptr<SongListEditor> editor;
};

TEST_F(SongListEditorTest, WithoutASelectionSongsAppendAndWithLineZeroTheyGoInFront) {
    addOwnSong("First");
    addOwnSong("Second");
    list.currentIndex = 1;
    SongListEditor& e = open();
    EXPECT_EQ(view.lines, (std::vector<std::string>{"First", "Second"}));
    EXPECT_EQ(view.line, 1);

    view.line = -1;
    view.libraryTitle = "Appended";
    e.addFromLibrary();
    view.line = 0;
    view.libraryTitle = "In front";
    e.addFromLibrary();
    EXPECT_EQ(view.lines, (std::vector<std::string>{"In front", "First", "Second", "Appended"}));
    EXPECT_EQ(view.line, 0);  // the new line is selected
    EXPECT_EQ(list.count, 4);
    EXPECT_EQ(list.currentIndex, 1);  // adding never moves the current song
    EXPECT_TRUE(fs::exists(entryPath(0)));
    EXPECT_EQ(fs::path(entryPath(0)).parent_path(), data.path());

    // The library dialog closed without a song: its file is not left behind.
    view.libraryTitle.clear();
    e.addFromLibrary();
    EXPECT_EQ(list.count, 4);
    EXPECT_EQ(std::distance(fs::directory_iterator(data.path()), fs::directory_iterator()), 4);
}

TEST_F(SongListEditorTest, NinetyNineSongsRefuseTheHundredthWithoutMakingIt) {
    for (int i = 0; i < kMaxSongs; ++i) ASSERT_TRUE(insertOrAppend(list, "/x/" + std::to_string(i) + ".mid", "t"));
    int composed = 0;
    SongListEditor& e = open({[&](const std::string&) { return ++composed; }, {}, {}});
    e.autoCompose();
    e.addFromLibrary();
    ASSERT_EQ(boxes->count(), 2u);
    EXPECT_EQ(boxes->visibleTexts()[0], "The song list is full.");
    EXPECT_EQ(composed, 0);
    EXPECT_FALSE(e.jobRunning());

    // A song made anyway (a job that ended after the list filled) is refused and removed.
    const std::string made = newSongPath(data.path().string());
    testing::writeFileText(made, "MThd");
    EXPECT_EQ(addMadeSong(list, {made, "late"}, 3), -1);
    EXPECT_EQ(list.count, kMaxSongs);
    EXPECT_FALSE(fs::exists(made));
    EXPECT_EQ(list.entries[kMaxSongs].title[0], 0);
}

TEST_F(SongListEditorTest, AutoSelectionTakesOneLessThanTheLibraryButAtMostTen) {
    // 0 and 1 file: the rule cannot leave one out; what there is is taken.
    for (auto [files, wanted] : {std::pair{0, 0}, std::pair{1, 1}, std::pair{2, 1}, std::pair{11, 10}}) {
        for (int run = 0; run < 20; ++run) {
            const std::vector<int> chosen = chooseAutoSelection(files, defaultRandomRange());
            ASSERT_EQ(static_cast<int>(chosen.size()), wanted) << files << " files";
            EXPECT_EQ(std::set<int>(chosen.begin(), chosen.end()).size(), chosen.size());
            for (int index : chosen) EXPECT_TRUE(index >= 0 && index < files);
        }
    }
    // A routine stuck on one value ends instead of drawing forever.
    EXPECT_EQ(chooseAutoSelection(5, [](int, int) { return 2; }), std::vector<int>{2});
}

TEST_F(SongListEditorTest, AutoSelWithFiveAndThirtyFilesReplacesTheListOffTheWindowsThread) {
    addOwnSong("Old");
    const std::string old = entryPath(0);
    SongListEditor& e = open();
    boxes->queueAnswer(Answer::Cancel);
    e.autoSelection();
    EXPECT_EQ(list.count, 1);  // cancelled: nothing cleared

    for (auto [files, wanted] : {std::pair{5, 4}, std::pair{30, 10}}) {
        fs::remove_all(program.path() / "Archive");
        makeLibrary(files);
        e.autoSelection();
        EXPECT_TRUE(e.busy());
        ASSERT_TRUE(view.pumpUntil([&] { return !e.busy(); }));
        ASSERT_EQ(list.count, wanted);
        std::set<std::string> titles;
        for (int i = 0; i < list.count; ++i) titles.insert(entryTitle(i));
        EXPECT_EQ(static_cast<int>(titles.size()), wanted);
        EXPECT_EQ(view.lines.size(), static_cast<size_t>(wanted));
    }
    EXPECT_FALSE(fs::exists(old));  // DEL ALL took the old song's file

    fs::remove_all(program.path() / "Archive");
    e.autoSelection();
    ASSERT_TRUE(view.pumpUntil([&] { return !e.busy(); }));
    EXPECT_EQ(list.count, 0);
    EXPECT_EQ(boxes->visibleTexts().back(), kEmptyLibraryText);
}

TEST_F(SongListEditorTest, DeleteTakesOnlyFilesTunecaseMadeInTheDataFolder) {
    addOwnSong("Made");
    const std::string userFile = elsewhere.file("my own.mid");
    const std::string userInData = data.file("kept.mid");
    testing::writeFileText(userFile, "MThd");
    testing::writeFileText(userInData, "MThd");
    ASSERT_TRUE(insertOrAppend(list, userFile, "Mine"));
    ASSERT_TRUE(insertOrAppend(list, userInData, "Mine too"));
    const std::string made = entryPath(0);
    // A link named like a made song, in the data folder, pointing at the user's file.
    const std::string link = data.file("2020-1-1-1-1-1-1.mid");
    fs::create_symlink(userFile, link);
    ASSERT_TRUE(insertOrAppend(list, link, "Link"));
    list.currentIndex = 3;
    SongListEditor& e = open();

    // DELETE of the last line: nothing stays selected, currentIndex falls back to 0.
    view.line = 3;
    e.deleteSelected();
    EXPECT_EQ(view.lines.size(), 3u);
    EXPECT_EQ(view.line, -1);
    EXPECT_EQ(list.currentIndex, 0);
    EXPECT_TRUE(fs::exists(userFile));
    EXPECT_TRUE(fs::is_symlink(link));

    e.deleteSelected();  // nothing selected
    ASSERT_EQ(boxes->count(), 1u);
    EXPECT_EQ(boxes->reports()[0].kind, BoxKind::Beep);

    e.deleteAll();
    EXPECT_EQ(list.count, 0);
    EXPECT_TRUE(view.lines.empty());
    EXPECT_FALSE(fs::exists(made));
    EXPECT_TRUE(fs::exists(userFile));
    EXPECT_TRUE(fs::exists(userInData));
    EXPECT_TRUE(isMadeSongName("2010-7-9-13-5-2-87.mid"));
    EXPECT_FALSE(isMadeSongName("2010-7-9-13-5-2.mid"));
    EXPECT_FALSE(isMadeSongName("2010-7-9-13-5-2-87-1.mid"));
}

TEST_F(SongListEditorTest, MadeSongsGoToTheTrashAndDelAllAndAutoSelAskFirst) {
    addOwnSong("One");
    addOwnSong("Two");
    addOwnSong("Three");
    const std::string userFile = elsewhere.file("mine.mid");
    testing::writeFileText(userFile, "MThd");
    ASSERT_TRUE(insertOrAppend(list, userFile, "Mine"));
    ASSERT_TRUE(insertOrAppend(list, entryPath(0), "One again"));  // one file, two entries
    const std::vector<std::string> made = {entryPath(0), entryPath(1), entryPath(2)};
    SongListEditor& e = open();

    // DEL ALL asks, counting each made file once; Cancel changes nothing.
    boxes->queueAnswer(Answer::Cancel);
    e.deleteAll();
    ASSERT_EQ(boxes->count(), 1u);
    EXPECT_EQ(boxes->reports()[0].kind, BoxKind::OkCancel);
    EXPECT_EQ(boxes->visibleTexts()[0], "Move 3 made songs to the trash?");
    EXPECT_EQ(list.count, 5);
    for (const auto& path : made) EXPECT_TRUE(fs::exists(path)) << path;

    e.deleteAll();
    EXPECT_EQ(list.count, 0);
    EXPECT_EQ(view.trashed, made);
    for (const auto& path : made) EXPECT_TRUE(fs::exists(view.trash.path() / fs::path(path).filename())) << path;
    EXPECT_TRUE(fs::exists(userFile));
    EXPECT_EQ(boxes->count(), 2u);

    // DELETE of one made song: to the trash without a question.
    addOwnSong("Four");
    const std::string four = entryPath(0);
    view.line = 0;
    e.deleteSelected();
    EXPECT_EQ(view.trashed.back(), four);
    EXPECT_EQ(boxes->count(), 2u);

    // AUTO SEL: its own question, then the one about the trash; Cancel at either keeps all.
    makeLibrary(3);
    addOwnSong("Five");
    const std::string five = entryPath(0);
    e.start();
    boxes->queueAnswer(Answer::Ok);
    boxes->queueAnswer(Answer::Cancel);
    e.autoSelection();
    EXPECT_FALSE(e.jobRunning());
    EXPECT_EQ(boxes->visibleTexts().back(), "Move 1 made song to the trash?");
    EXPECT_EQ(list.count, 1);
    EXPECT_TRUE(fs::exists(five));
    e.autoSelection();
    ASSERT_TRUE(view.pumpUntil([&] { return !e.busy(); }));
    EXPECT_EQ(view.trashed.back(), five);
    EXPECT_EQ(list.count, 2);
}

TEST_F(SongListEditorTest, WithoutATrashMadeSongsAreDeletedOnlyWhenTheUserAgrees) {
    addOwnSong("One");
    addOwnSong("Two");
    const std::string one = entryPath(0), two = entryPath(1);
    SongListEditor& e = open();
    view.trashRefusal = "no trash for it";

    // DEL ALL: OK to the trash, then Cancel to deleting for good: the files stay.
    boxes->queueAnswer(Answer::Ok);
    boxes->queueAnswer(Answer::Cancel);
    e.deleteAll();
    EXPECT_EQ(list.count, 0);
    ASSERT_EQ(boxes->count(), 2u);
    EXPECT_EQ(boxes->visibleTexts()[1], "2 made songs could not be moved to the trash (no trash for it). Delete them for good?");
    EXPECT_TRUE(fs::exists(one));
    EXPECT_TRUE(fs::exists(two));

    // DELETE: the file named, and OK deletes it.
    ASSERT_TRUE(insertOrAppend(list, one, "One"));
    e.start();
    view.line = 0;
    e.deleteSelected();
    ASSERT_EQ(boxes->count(), 3u);
    EXPECT_EQ(boxes->visibleTexts()[2],
              fs::path(one).filename().string() + " could not be moved to the trash (no trash for it). Delete it for good?");
    EXPECT_FALSE(fs::exists(one));
    EXPECT_TRUE(fs::exists(two));
    EXPECT_TRUE(view.trashed.empty());
}

TEST_F(SongListEditorTest, ADrumOnlyFileImportsAsASongWithoutNotesTitledByItsFileName) {
    if (!testing::haveMido()) GTEST_SKIP() << "python3-mido is not installed";
    const std::string source = elsewhere.file("drums.mid");
    std::string out;
    ASSERT_EQ(testing::runCommand("/usr/bin/python3 -c \"import mido\n"
                                  "f = mido.MidiFile(ticks_per_beat=480); t = mido.MidiTrack(); f.tracks.append(t)\n"
                                  "for i in range(8):\n"
                                  "    t.append(mido.Message('note_on', channel=9, note=36 + i, velocity=90, time=0 if i == 0 else 240))\n"
                                  "    t.append(mido.Message('note_off', channel=9, note=36 + i, time=240))\n"
                                  "f.save('" + source + "')\"",
                                  out),
              0)
        << out;
    view.midiFile = source;
    SongListEditor& e = open();
    e.importMidi();
    ASSERT_TRUE(view.pumpUntil([&] { return !e.busy(); }));
    ASSERT_EQ(list.count, 1) << (boxes->count() ? boxes->visibleTexts()[0] : "");
    EXPECT_EQ(entryTitle(0), "drums.mid");
    std::string header;
    EXPECT_TRUE(testing::midoNotes(entryPath(0), &header).empty());
    EXPECT_EQ(header, "type 0 tracks 1 division 96");
    EXPECT_EQ(view.busyCalls, (std::vector<bool>{true, false}));
}

TEST_F(SongListEditorTest, CloseDuringAJobWaitsForItsSong) {
    std::mutex m;
    std::condition_variable cv;
    bool go = false;
    std::thread::id composer;
    SongListEditor& e = open({[&](const std::string& path) {
                                  composer = std::this_thread::get_id();
                                  std::unique_lock lock(m);
                                  cv.wait(lock, [&] { return go; });
                                  testing::writeFileText(path, "MThd");
                                  return 1;
                              },
                              {}, {}});
    e.autoCompose();
    e.onButton(listbutton::AutoCompose);  // the buttons are off while busy
    e.close();
    EXPECT_FALSE(view.ended);
    EXPECT_TRUE(e.closePending());
    {
        std::lock_guard lock(m);
        go = true;
    }
    cv.notify_all();
    ASSERT_TRUE(view.pumpUntil([&] { return view.ended; }));
    EXPECT_NE(composer, std::this_thread::get_id());
    ASSERT_EQ(list.count, 1);
    EXPECT_EQ(entryTitle(0), "Music Box in C major");
    EXPECT_EQ(list.currentIndex, 0);
}

TEST_F(SongListEditorTest, UploadWritesTheWorkFileHandsItOverAndRemovesIt) {
    if (!testing::haveMido()) GTEST_SKIP() << "python3-mido is not installed";
    ASSERT_TRUE(insertOrAppend(list, testing::midiDataFolder() + "/mido_three_tracks.mid", "Three"));
    SongListEditor& e = open();
    view.line = -1;
    e.upload();  // no selection
    EXPECT_EQ(boxes->reports().at(0).kind, BoxKind::Beep);

    view.line = 0;
    view.exportRequest = {ExportKind::ToyPiano, 21, 108};
    e.upload();
    EXPECT_EQ(boxes->visibleTexts().at(1), "Only a music-box MIDI file can be uploaded: choose TUNECASE.");

    view.exportRequest = {ExportKind::MusicBox, 60, 84};
    e.upload();
    EXPECT_TRUE(view.askedUpload);
    ASSERT_TRUE(view.pumpUntil([&] { return !view.uploaded.empty() && !e.busy(); }));
    EXPECT_EQ(view.uploaded, program.file("tmp_upload.mid"));
    EXPECT_TRUE(view.workFileExisted);
    ASSERT_FALSE(view.uploadedNotes.empty());
    for (const auto& note : view.uploadedNotes) EXPECT_TRUE(std::get<2>(note) >= 60 && std::get<2>(note) <= 84);
    EXPECT_FALSE(fs::exists(view.uploaded));
    EXPECT_EQ(boxes->count(), 2u);
}

TEST_F(SongListEditorTest, StripExportShowsEachBoxsReportThenWritesThePdfOfTheChosenBox) {
    ASSERT_TRUE(insertOrAppend(list, testing::midiDataFolder() + "/mido_three_tracks.mid", "Three"));
    SongListEditor& e = open();
    view.line = 0;
    view.exportRequest = {ExportKind::Strip, 21, 108};
    view.exportTarget = {elsewhere.file("three.pdf"), ExportTarget::StripPdf};

    // No box file in the program folder: it says where it looked, and nothing is asked.
    e.exportSelected();
    ASSERT_EQ(boxes->count(), 1u);
    EXPECT_EQ(boxes->visibleTexts().at(0), "No music box for strips is described in " + program.file("boxes.txt"));
    EXPECT_TRUE(view.stripBoxes.empty());

    // The shipped boxes: every box offered with the list's title in its report; cancelling
    // writes nothing.
    fs::copy_file(fs::path(TUNECASE_TEST_DATA) / ".." / ".." / "data" / "boxes.txt", program.file("boxes.txt"));
    e.exportSelected();
    ASSERT_GE(view.stripBoxes.size(), 3u);
    ASSERT_EQ(view.stripReports.size(), view.stripBoxes.size());
    for (size_t i = 0; i < view.stripBoxes.size(); ++i) {
        EXPECT_NE(view.stripReports[i].find("Three"), std::string::npos) << view.stripReports[i];
        EXPECT_NE(view.stripReports[i].find(view.stripBoxes[i]), std::string::npos) << view.stripReports[i];
    }
    EXPECT_FALSE(fs::exists(view.exportTarget.path));

    view.stripChoice = StripChoice{view.stripBoxes.back(), true};
    e.exportSelected();
    ASSERT_TRUE(fs::exists(view.exportTarget.path));
    const std::vector<uint8_t> pdf = testing::readFileBytes(view.exportTarget.path);
    EXPECT_EQ(std::string(pdf.begin(), pdf.begin() + 5), "%PDF-");
    // The dialog was given the drawn first page: A4 across at one pixel a millimetre.
    EXPECT_EQ(view.previewWidth, 297);
    ASSERT_EQ(boxes->count(), 2u);
    EXPECT_EQ(boxes->visibleTexts().at(1), "Exported to " + view.exportTarget.path + ".");
}

// ---- AUTO CMP's choices and RENAME ----------------------------------------------------------

TEST(ComposePreferences, RoundTripAndAnythingBrokenFallsBackLineByLine) {
    testing::TempFolder dir;
    const std::string path = dir.file("compose.ini");
    EXPECT_TRUE(sameChoices(readComposePreferences(path), ComposeChoices{}));  // no file yet
    const ComposeChoices chosen{"Lullaby", "F#m", 1, 72, 24};
    ASSERT_TRUE(writeComposePreferences(path, chosen));
    EXPECT_TRUE(sameChoices(readComposePreferences(path), chosen));
    // Written through a temporary file: nothing else is left in the folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);

    const struct {
        std::string text;
        ComposeChoices expected;
    } cases[] = {
        {"style=Carol\r\nkey=Bb\r\n", {"Carol", "Bb", -1, 0, 0}},
        {"style=Polka\nkey=H\nmeter=5/4\ntempo=999\nmeasures=-3\n", {}},
        {"style=Waltz\nmeter=4/4\n", {"Waltz", "", -1, 0, 0}},  // 4/4 is not the waltz's
        {"junk\n\n=\nkey=\ntempo=80\n", {"Music Box", "", -1, 80, 0}},
        {std::string("\x00\xff\x01style=Carol", 13), {}},
        {std::string(5000, 'x') + "\nstyle=Carol\n", {}},  // far too long to be ours
    };
    for (const auto& c : cases) {
        testing::writeFileText(path, c.text);
        const ComposeChoices read = readComposePreferences(path);
        EXPECT_TRUE(sameChoices(read, c.expected)) << c.text.substr(0, 60) << " -> " << read.style << "|" << read.key
                                                   << "|" << read.meter << "|" << read.bpm << "|" << read.measures;
    }
}

TEST_F(SongListEditorTest, AutoComposeComposesForTheChoicesRemembersThemAndTakesAPreviewAsItIs) {
    testing::TempFolder config;
    const std::string prefs = config.file("compose.ini");
    std::vector<ComposeOptions> asked;
    SongListEditor::Services services;
    services.chosenComposer = [&](const std::string& path, const ComposeOptions& options) {
        asked.push_back(options);
        testing::writeFileText(path, "MThd");
        return 1;
    };
    services.preferencesPath = prefs;
    SongListEditor& e = open(services);

    view.composeDialog = [](const ComposeChoices&) { return ComposeAnswer{{"Waltz", "Eb", -1, 100, 32}, {}}; };
    e.autoCompose();
    ASSERT_TRUE(view.pumpUntil([&] { return list.count == 1 && !e.jobRunning(); }));
    EXPECT_TRUE(sameChoices(*view.askedChoices, ComposeChoices{}));
    EXPECT_EQ(entryTitle(0), "Waltz in E-flat major");
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].title, "Waltz in E-flat major");
    EXPECT_EQ(asked[0].tempo, 600000);
    EXPECT_EQ(asked[0].measures, 32);

    // The next run opens with them; a preview's song joins without composing again.
    const std::string previewed = newSongPath(data.path().string());
    testing::writeFileText(previewed, "MThd");
    view.composeDialog = [&](const ComposeChoices& c) { return ComposeAnswer{c, MadeSong{previewed, "Waltz in E-flat major"}}; };
    e.autoCompose();
    EXPECT_TRUE(sameChoices(*view.askedChoices, ComposeChoices{"Waltz", "Eb", -1, 100, 32}));
    EXPECT_EQ(list.count, 2);
    EXPECT_EQ(asked.size(), 1u);

    // Cancel: nothing composed, nothing forgotten.
    view.composeDialog = [](const ComposeChoices&) { return std::nullopt; };
    e.autoCompose();
    EXPECT_EQ(list.count, 2);
    EXPECT_TRUE(sameChoices(readComposePreferences(prefs), ComposeChoices{"Waltz", "Eb", -1, 100, 32}));
    EXPECT_EQ(boxes->count(), 0u);
}

TEST(ComposePreviewSong, KeptForItsOwnChoicesOnlyAndDiscardedOtherwise) {
    testing::TempFolder dir;
    const ComposeChoices lullaby{"Lullaby", "G", -1, 0, 0};
    auto made = [&](const char* name) {
        testing::writeFileText(dir.file(name), "MThd");
        return MadeSong{dir.file(name), "Lullaby in G major"};
    };
    ComposePreview preview;
    preview.keep(made("a.mid"), lullaby);
    preview.keep(made("b.mid"), lullaby);  // a second preview: the first song goes
    EXPECT_FALSE(fs::exists(dir.file("a.mid")));
    EXPECT_EQ(preview.takeFor(lullaby)->path, dir.file("b.mid"));
    EXPECT_TRUE(fs::exists(dir.file("b.mid")));  // given up: it is the list's now
    preview.keep(made("c.mid"), lullaby);
    EXPECT_FALSE(preview.takeFor({"Lullaby", "A", -1, 0, 0}));  // the choices changed after it
    EXPECT_FALSE(fs::exists(dir.file("c.mid")));
    {
        ComposePreview cancelled;
        cancelled.keep(made("d.mid"), lullaby);
    }
    EXPECT_FALSE(fs::exists(dir.file("d.mid")));
}

TEST_F(SongListEditorTest, RenameChangesTheTitleOnlyAndCutsOnAWholeCharacter) {
    addOwnSong("Old");
    addOwnSong("Other");
    const std::string file = entryPath(0);
    SongListEditor& e = open();
    view.line = 0;
    view.newTitle = "  Lullaby for Anna ";
    e.renameSelected();
    EXPECT_EQ(view.askedTitle, "Old");
    EXPECT_EQ(entryTitle(0), "Lullaby for Anna");
    EXPECT_EQ(entryPath(0), file);
    EXPECT_TRUE(fs::exists(file));
    EXPECT_EQ(view.lines[0], "Lullaby for Anna");

    // 254 ASCII bytes then a 3-byte character: the character does not fit and goes whole.
    const std::string longTitle = std::string(254, 'a') + "\u6B4C" + "b";
    EXPECT_TRUE(e.rename(1, longTitle));
    EXPECT_EQ(entryTitle(1), std::string(254, 'a'));
    EXPECT_TRUE(e.rename(1, std::string(300, 'z')));
    EXPECT_EQ(entryTitle(1), std::string(255, 'z'));

    EXPECT_FALSE(e.rename(1, "   "));  // an empty title is refused
    EXPECT_FALSE(e.rename(2, "x"));   // no such line
    EXPECT_EQ(entryTitle(1), std::string(255, 'z'));
    view.line = -1;
    e.renameSelected();
    EXPECT_EQ(boxes->count(), 3u);  // three beeps
    view.line = 0;
    view.newTitle.reset();  // cancelled
    e.renameSelected();
    EXPECT_EQ(entryTitle(0), "Lullaby for Anna");
}

// ---- What an export remembers ------------------------------------------------------------------

TEST(Preferences, EachSettingKeepsTheOthersLinesAndBrokenValuesFallBack) {
    testing::TempFolder dir;
    const std::string path = dir.file("compose.ini");
    EXPECT_TRUE(farewellPageWanted(path));  // on until turned off
    EXPECT_EQ(readExportRange(path).lowNote, 21);
    EXPECT_EQ(readExportRange(path).highNote, 108);

    ASSERT_TRUE(writeFarewellPageWanted(path, false));
    ASSERT_TRUE(writeExportRange(path, {36, 96}));
    const ComposeChoices chosen{"Carol", "G", -1, 90, 16};
    ASSERT_TRUE(writeComposePreferences(path, chosen));
    EXPECT_FALSE(farewellPageWanted(path));
    EXPECT_EQ(readExportRange(path).lowNote, 36);
    EXPECT_EQ(readExportRange(path).highNote, 96);
    EXPECT_TRUE(sameChoices(readComposePreferences(path), chosen));
    ASSERT_TRUE(writeFarewellPageWanted(path, true));
    EXPECT_TRUE(farewellPageWanted(path));
    EXPECT_TRUE(sameChoices(readComposePreferences(path), chosen));
    EXPECT_EQ(readExportRange(path).highNote, 96);
    // One line a name, however often it was written.
    const std::vector<uint8_t> bytes = testing::readFileBytes(path);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_EQ(text.find("farewell_page="), text.rfind("farewell_page="));

    const struct {
        const char* text;
        int low, high;
    } ranges[] = {
        {"export_low=40\nexport_high=80\n", 40, 80},
        {"export_low=90\r\nexport_high=30\r\n", 90, 30},  // taken as it is, as the dialog does
        {"export_low=40\n", 21, 108},                     // one end alone
        {"export_low=40\nexport_high=128\n", 21, 108},
        {"export_low=-1\nexport_high=80\n", 21, 108},
        {"export_low=4x\nexport_high=80\n", 21, 108},
    };
    for (const auto& r : ranges) {
        testing::writeFileText(path, r.text);
        EXPECT_EQ(readExportRange(path).lowNote, r.low) << r.text;
        EXPECT_EQ(readExportRange(path).highNote, r.high) << r.text;
    }
}

TEST_F(SongListEditorTest, AnExportRemembersItsRangeAndFolderSuggestsTheTitleAndSaysWhereItWent) {
    if (!testing::haveMido()) GTEST_SKIP() << "python3-mido is not installed";
    ASSERT_TRUE(insertOrAppend(list, testing::midiDataFolder() + "/mido_three_tracks.mid", "Night/Day: Three"));
    const std::string prefs = elsewhere.file("compose.ini");
    SongListEditor::Services services;
    services.preferencesPath = prefs;
    SongListEditor& e = open(services);
    EXPECT_EQ(e.rememberedExportRange().lowNote, 21);
    EXPECT_EQ(e.rememberedExportRange().highNote, 108);
    view.line = 0;
    view.exportRequest = {ExportKind::MusicBox, 48, 84};
    fs::create_directories(elsewhere.path() / "out");
    view.exportTarget = {elsewhere.file("out/three.mid"), ExportTarget::MusicBoxMidi};
    e.exportSelected();
    ASSERT_TRUE(view.pumpUntil([&] { return !e.jobRunning(); }));
    ASSERT_EQ(boxes->count(), 1u);
    EXPECT_EQ(boxes->visibleTexts().at(0), "Exported to " + view.exportTarget.path + ".");
    for (const auto& note : testing::midoNotes(view.exportTarget.path))
        EXPECT_TRUE(std::get<2>(note) >= 48 && std::get<2>(note) <= 84);

    // A new editor (the next time the list opens) starts where this one left off.
    editor.reset();
    SongListEditor& again = open(services);
    EXPECT_EQ(again.rememberedExportRange().lowNote, 48);
    EXPECT_EQ(again.rememberedExportRange().highNote, 84);
    view.exportTarget = {};
    again.exportSelected();  // the file dialog is cancelled: nothing written, nothing said
    EXPECT_EQ(again.suggestedExportPath("fem"), elsewhere.file("out/Night_Day: Three.fem"));
    // A folder that has gone is not suggested.
    fs::remove_all(elsewhere.path() / "out");
    EXPECT_EQ(fs::path(again.suggestedExportPath("mid")).parent_path(), fs::path(specialFolder(kFolderMyMusic)));
}

TEST_F(SongListEditorTest, LibrarysStripMakesAStripOfTheArrangedSongWithoutAddingIt) {
    fs::copy_file(fs::path(TUNECASE_TEST_DATA) / ".." / ".." / "data" / "boxes.txt", program.file("boxes.txt"));
    SongListEditor& e = open();
    view.libraryTitle = "From the library";
    view.librarySource = testing::midiDataFolder() + "/mido_three_tracks.mid";
    view.libraryStrip = true;
    view.exportTarget = {elsewhere.file("library.pdf"), ExportTarget::StripPdf};
    e.addFromLibrary();
    ASSERT_FALSE(view.stripBoxes.empty());  // cancelled: nothing written, nothing added
    EXPECT_FALSE(fs::exists(view.exportTarget.path));
    EXPECT_EQ(list.count, 0);
    EXPECT_FALSE(fs::exists(view.libraryOutput));

    view.stripChoice = StripChoice{view.stripBoxes.front(), false};
    e.addFromLibrary();
    ASSERT_TRUE(fs::exists(view.exportTarget.path));
    EXPECT_GT(view.previewWidth, 0);
    EXPECT_NE(view.stripReports.back().find("From the library"), std::string::npos) << view.stripReports.back();
    EXPECT_EQ(list.count, 0);
    EXPECT_FALSE(fs::exists(view.libraryOutput));
    EXPECT_EQ(e.suggestedExportPath("pdf"), elsewhere.file("From the library.pdf"));
}

}  // namespace
}  // namespace tunecase
