// The web site dialog on its own, for the whole-window check (tests/e2e/web_site_screens.sh)
// until the song list editor opens it from the player: the real dialogs with the desktop
// player's message boxes, the song server from the server settings file, the program folder
// the current folder.
//
// usage: tunecase_web_site_check DATA_FOLDER
// TUNECASE_MIDI_CAPTURE=FILE plays into a capture file, as the player does.
#include <QApplication>

#include "app/gui/message_box_sink.h"
#include "app/gui/tunecase_app.h"
#include "base/utilities.h"
#include "net/gui/web_dlg.h"

int main(int argc, char** argv) {
    QApplication qtApp(argc, argv);
    qtApp.setApplicationName("Tunecase");
    tunecase::ScopedMessageBoxSink boxes;
    tunecase::seedRandom();
    tunecase::applyDiagnosticEnvironment();
    const std::string dataFolder = argc > 1 ? argv[1] : tunecase::currentFolder();
    tunecase::CWebDlg::run(dataFolder);
    return 0;
}
