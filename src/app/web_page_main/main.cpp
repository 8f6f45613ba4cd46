// The preview page of a downloaded song as a program of its own, started by the web site
// dialog when the page opens: only this program loads the embedded browser.
//
// usage: tunecase-web-page PAGE_ADDRESS SONG_FILE DATA_FOLDER PROGRAM_FOLDER LIBRARY WORK_FOLDER
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "app/compose_preferences.h"
#include "app/gui/message_box_sink.h"
#include "base/translation.h"
#include "base/user_folders.h"
#include "base/utilities.h"
#include "compose/knowledge_files.h"
#include "net/gui/trial_dlg.h"
#include "net/gui/web_page_program.h"
#include "platform/midi_out_device.h"
#include "songs/song_data.h"

namespace {

// A song-data file is under 100 KB; anything much larger is not one.
constexpr std::streamsize kMaxSongBytes = 1 << 20;

std::vector<uint8_t> readSong(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes;
    char block[16384];
    while (in && static_cast<std::streamsize>(bytes.size()) < kMaxSongBytes) {
        in.read(block, sizeof block);
        bytes.insert(bytes.end(), block, block + in.gcount());
    }
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    tunecase::initTranslations(tunecase::findLocaleFolder());
    QApplication qtApp(argc, argv);
    qtApp.setApplicationName("Tunecase");
    QGuiApplication::setDesktopFileName("org.tunecase.Tunecase");
    if (argc != 7) {
        std::fprintf(stderr, tunecase::tr("usage: %s PAGE_ADDRESS SONG_FILE DATA_FOLDER PROGRAM_FOLDER LIBRARY WORK_FOLDER\n"),
                     argv[0]);

        return 2;
    }
    tunecase::ScopedMessageBoxSink boxes;
    tunecase::seedRandom();
    // As the player does (whole-window checks play into a capture file).
    if (const char* capture = std::getenv("TUNECASE_MIDI_CAPTURE"); capture && *capture)
        tunecase::setMidiCaptureFile(capture);
    tunecase::setPlayerSynthGain(tunecase::readVolume(tunecase::composePreferencesPath()));
    const tunecase::ProgramFolders folders{argv[4], argv[5], argv[6]};
    // The window's knowledge files: those of its program folder when that has them (the
    // player sets them so), else the default the window had too.
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::path(folders.program) / "PATTERN.DB", ec))
        tunecase::SetKnowledgeFolder(folders.program);
    // The bytes as they were downloaded, read as the window read them.
    const std::vector<uint8_t> bytes = readSong(argv[2]);
    const tunecase::CSongData song(bytes.data(), bytes.size());
    tunecase::CTrialDlg::Options options;
    options.folders = folders;
    tunecase::CTrialDlg dialog(argv[1], song, argv[3], nullptr, std::move(options));
    dialog.exec();
    // The opener takes input again now, not when the browser has wound down.
    std::printf("%s\n", tunecase::kWebPageClosedLine);
    std::fflush(stdout);
    return 0;
}
