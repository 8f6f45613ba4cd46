// EXPORT's audio choice from the song list window: the chosen song rendered off the window's
// thread with the ring turning, then the message naming the file.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/gui/play_list_dlg.h"
#include "base/reporter.h"
#include "base/utilities.h"
#include "platform/fluid_synth_device.h"
#include "songs/song_list.h"
#include "support/qt_test_app.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

TEST(SongListAudioExport, RendersTheChosenSongOffTheWindowsThreadAndSaysWhereItWent) {
    if (!fluidSynthAvailable()) GTEST_SKIP() << "built without the synthesizer";
    if (!std::filesystem::exists(kDefaultSoundfont)) GTEST_SKIP() << "no General MIDI soundfont";
    testing::qtTestApp();
    testing::TempFolder data, program, out;
    PlayerSettings settings = defaultPlayerSettings();
    setFieldText(settings.dataFolder, kPathBytes, data.path().string());
    SongList list = emptySongList();
    ASSERT_TRUE(insertOrAppend(list, std::string(TUNECASE_TEST_DATA) + "/midi/mido_format0_melody.mid", "Melody"));
    list.currentIndex = 0;
    const std::string target = out.file("melody.opus");
    CPlayListDlg::Dialogs dialogs;
    dialogs.askExport = [](bool) { return ExportRequest{ExportKind::Audio, kDefaultLowNote, kDefaultHighNote}; };
    dialogs.chooseExportFile = [&](ExportKind kind) {
        EXPECT_EQ(kind, ExportKind::Audio);
        return ExportTarget{target, ExportTarget::AudioFile};
    };
    ScopedCapture boxes;
    CPlayListDlg dialog(settings, list, singleFolderLayout(program.path().string()), nullptr, {}, dialogs);
    dialog.show();
    dialog.listBox()->setCurrentRow(0);
    testing::clickPicture(dialog.buttonControl(listbutton::Export));
    ASSERT_TRUE(testing::pumpUntil([&] { return boxes->count() > 0; }));
    EXPECT_EQ(boxes->visibleTexts(), std::vector<std::string>{"Exported to " + target + "."});
    EXPECT_FALSE(dialog.editor().busy());
    const std::vector<uint8_t> bytes = testing::readFileBytes(target);
    ASSERT_GT(bytes.size(), 4000u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "OggS");  // Opus travels in Ogg pages
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out.path()), {}), 1);  // no temporary left
}

}  // namespace
}  // namespace tunecase
