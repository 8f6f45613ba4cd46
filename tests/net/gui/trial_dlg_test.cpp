// The preview page against our own song server on loopback: the song's page in the browser,
// PLAY of the arranged song into a capture file, the address check that stops it when the
// browser leaves the page, CLOSE refused while playing, the page's song file saved for ADD MWD.
#include <gtest/gtest.h>

#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <filesystem>

#include "base/reporter.h"
#include "compose/knowledge_files.h"
#include "net/gui/net_gui_test_support.h"
#include "net/gui/trial_dlg.h"
#include "playback/playback_test_support.h"
#include "support/qt_test_app.h"

namespace tunecase {
namespace {

namespace fs = std::filesystem;
using testing::pumpUntil;

std::vector<int> noteOnKeys(const std::vector<TimedMidiMessage>& messages) {
    std::vector<int> keys;
    for (const auto& m : messages)
        if (m.bytes.size() == 3 && (m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] > 0) keys.push_back(m.bytes[1]);
    return keys;
}

// The melody part (channel 2 of the arrangement) as played: the lowest key of each group of
// notes that start together, which leaves out its octave copy.
std::vector<int> melodyLine(const std::vector<TimedMidiMessage>& messages, size_t count) {
    std::vector<int> keys;
    int64_t groupTime = -1000000;
    for (const auto& m : messages) {
        if (m.bytes.size() != 3 || m.bytes[0] != 0x91 || m.bytes[2] == 0) continue;
        if (m.timeUs - groupTime > 1000) {
            if (keys.size() == count) break;
            keys.push_back(m.bytes[1]);
            groupTime = m.timeUs;
        } else {
            keys.back() = std::min<int>(keys.back(), m.bytes[1]);
        }
    }
    return keys;
}

class TrialDlgTest : public ::testing::Test {
protected:
    TrialDlgTest() {
        testing::qtTestApp();
        SetKnowledgeFolder(testing::programData());
    }
    ~TrialDlgTest() override { SetKnowledgeFolder({}); }

    // The song as the web site dialog makes it from the downloaded bytes.
    static CSongData downloaded(const std::string& path) {
        const auto bytes = testing::readFileBytes(path);
        return CSongData(bytes.data(), bytes.size());
    }
    std::unique_ptr<CTrialDlg> open(const std::string& page, const CSongData& song) {
        CTrialDlg::Options options;
        options.folders = ProgramFolders{program.path().string(), (program.path() / "Archive").string(),
                                         work.path().string()};
        options.chooseFile = [this](QWidget*, const std::string& folder) {
            chooserFolders.push_back(folder);
            return chosen;
        };
        auto dialog = std::make_unique<CTrialDlg>(page, song, data.path().string(), nullptr, std::move(options));
        dialog->show();
        return dialog;
    }
    static void press(CTrialDlg& dialog, int button) { testing::clickPicture(dialog.buttonControl(button)); }
    // What the preview left in the data and work folders.
    std::vector<std::string> dataFiles() const {
        std::vector<std::string> names;
        for (const auto* folder : {&data, &work})
            for (const auto& e : fs::directory_iterator(folder->path())) names.push_back(e.path().filename().string());
        return names;
    }

    testing::TempFolder data, program, work, scratch;
    testing::CaptureRoute route{scratch.file("capture.txt")};
    ScopedCapture boxes;
    std::string chosen;
    std::vector<std::string> chooserFolders;
};

TEST_F(TrialDlgTest, PlaysTheArrangedSongUntilTheBrowserLeavesItsPage) {
    testing::LoopbackSongServer server({"frere_jacques", "ode_to_joy"});
    const CSongData song = downloaded(server.library + "/frere_jacques.mwd");
    const std::string page = server.url("/music/song.php?fn=frere_jacques.mwd");
    auto dialog = open(page, song);
    EXPECT_EQ(dialog->windowTitle(), "Web Page");
    EXPECT_EQ(dialog->buttons().label(trialbutton::Play), "   PLAY");
    // Our server's page of the song, in the browser.
    ASSERT_TRUE(pumpUntil([&] { return dialog->browser()->title() == "Frère Jacques"; }, 30))
        << dialog->browser()->title().toStdString();
    EXPECT_TRUE(dialog->showsPage());

    press(*dialog, trialbutton::Play);
    EXPECT_EQ(dialog->buttons().label(trialbutton::Play), "   STOP");
    EXPECT_TRUE(dialog->isPlaying());
    EXPECT_TRUE(dialog->isBusy());  // arranging off the window's thread
    ASSERT_TRUE(pumpUntil([&] { return melodyLine(route.messages(), 4).size() == 4; }, 30));
    EXPECT_TRUE(dialog->previewRunning());
    // The work files are gone as soon as the song is read.
    EXPECT_TRUE(dataFiles().empty());
    // The song's melody, F5 G5 A5 F5, on the melody's channel.
    EXPECT_EQ(melodyLine(route.messages(), 4), (std::vector<int>{77, 79, 81, 77}));

    press(*dialog, trialbutton::Close);
    testing::pumpFor(300);
    EXPECT_EQ(boxes->visibleTexts(), std::vector<std::string>{"Stop playback first."});
    EXPECT_TRUE(dialog->isVisible());

    // Browsing to another song's page stops the preview within the check's period.
    dialog->browser()->setUrl(QUrl(QString::fromStdString(server.url("/music/song.php?fn=ode_to_joy.mwd"))));
    ASSERT_TRUE(pumpUntil([&] { return !dialog->isPlaying(); }, 3));
    EXPECT_EQ(dialog->buttons().label(trialbutton::Play), "   PLAY");
    ASSERT_TRUE(pumpUntil([&] { return !dialog->isBusy() && !dialog->previewRunning(); }, 10));
    const size_t played = route.messages().size();
    testing::pumpFor(300);
    EXPECT_EQ(route.messages().size(), played);

    // PLAY takes the browser back to the song's page; STOP stops.
    press(*dialog, trialbutton::Play);
    EXPECT_TRUE(dialog->showsPage());
    ASSERT_TRUE(pumpUntil([&] { return dialog->previewRunning() && !dialog->isBusy(); }, 30));
    press(*dialog, trialbutton::Play);
    EXPECT_EQ(dialog->buttons().label(trialbutton::Play), "   PLAY");
    // CLOSE while the stop settles closes once it has.
    press(*dialog, trialbutton::Close);
    ASSERT_TRUE(pumpUntil([&] { return !dialog->isVisible(); }, 10));
    EXPECT_FALSE(dialog->previewRunning());
    EXPECT_EQ(boxes->count(), 1u);
}

TEST_F(TrialDlgTest, AShortSongEndsByItselfAndARefusedDownloadOnlyBeeps) {
    std::vector<SheetError> errors;
    auto sheet = parseSongSheet("title: Short\nkey: C\nmeter: 4/4\n\nC5 D5 E5 F5 | C . . .\n", errors);
    ASSERT_TRUE(sheet) << describeSheetErrors("short", errors);
    const auto bytes = sheet->toBytes();
    const CSongData shortSong(bytes.data(), bytes.size());
    auto dialog = open("about:blank", shortSong);
    press(*dialog, trialbutton::Play);
    ASSERT_TRUE(pumpUntil([&] { return !noteOnKeys(route.messages()).empty(); }, 30));
    ASSERT_TRUE(pumpUntil([&] { return !dialog->isPlaying(); }, 10));
    EXPECT_EQ(dialog->buttons().label(trialbutton::Play), "   PLAY");
    EXPECT_EQ(boxes->count(), 0u);
    press(*dialog, trialbutton::Close);
    ASSERT_TRUE(pumpUntil([&] { return !dialog->isVisible(); }, 5));

    const uint8_t few[10] = {};
    const CSongData refused(few, sizeof few);  // SGDT 0x00000004
    auto second = open("about:blank", refused);
    press(*second, trialbutton::Play);
    EXPECT_FALSE(second->isPlaying());
    EXPECT_FALSE(second->isBusy());
    const auto reports = boxes->reports();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].visible.substr(0, 12), "SGDT00000004");
    EXPECT_EQ(reports[1].kind, BoxKind::Beep);
}

TEST_F(TrialDlgTest, TheSongFileLinkedFromThePageIsSavedForAddMwd) {
    testing::LoopbackSongServer server({"ode_to_joy"});
    const std::string original = server.library + "/ode_to_joy.mwd";
    const CSongData song = downloaded(original);
    auto dialog = open(server.url("/music/song.php?fn=ode_to_joy.mwd"), song);
    // What clicking the page's file link does: a download, saved in the data folder.
    dialog->browser()->page()->download(
        QUrl(QString::fromStdString(server.url("/music/music_get_file.php?fn=ode_to_joy.mwd"))));
    const std::string saved = data.file("ode_to_joy.mwd");
    ASSERT_TRUE(pumpUntil([&] { return testing::readFileBytes(saved) == testing::readFileBytes(original); }, 30));
    EXPECT_TRUE(dialog->showsPage());

    chosen = "";
    press(*dialog, trialbutton::AddMwd);  // cancelled
    EXPECT_FALSE(fs::exists(program.path() / "Archive" / "ode_to_joy.mwd"));
    chosen = saved;
    press(*dialog, trialbutton::AddMwd);
    EXPECT_EQ(testing::readFileBytes((program.path() / "Archive" / "ode_to_joy.mwd").string()),
              testing::readFileBytes(original));
    // ADD MWD opens where the page's song was saved, with that song chosen.
    EXPECT_EQ(chooserFolders, std::vector<std::string>(2, saved));
    press(*dialog, trialbutton::AddMwd);  // the library has it already
    EXPECT_EQ(boxes->visibleTexts(), std::vector<std::string>{"A song-data file with the same name is already in the library."});
}

}  // namespace
}  // namespace tunecase
