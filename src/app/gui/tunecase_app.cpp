#include "app/gui/tunecase_app.h"

#include <cstdlib>

#include "app/gui/folder_browser.h"
#include "base/utilities.h"
#include "compose/knowledge_files.h"
#include "platform/midi_out_device.h"

namespace tunecase {

TunecaseApp::TunecaseApp(FolderBrowser* browser) {
    // Program files from where the program is installed, the library and work files in the
    // user's own folders; the composer reads its knowledge files from the program folder.
    folders_ = locateProgramFolders();
    prepareLibraryFolder(folders_);
    SetKnowledgeFolder(folders_.program);
    settingsFolder_ = prepareSettingsFolder();

    CTunecaseDlg::Startup startup;
    startup.folders = folders_;
    {
        QtFolderBrowser qtBrowser;
        startup.records = openSettingsAndList(settingsFolder_, settings_, list_, browser ? *browser : qtBrowser);
    }
    // Without it only composing suffers; the player starts all the same (allocZeroed has
    // said why).
    startup.workBuffer = allocZeroed(kWorkBufferBytes);

    window_ = std::make_unique<CTunecaseDlg>(settings_, list_, std::move(startup));
}

TunecaseApp::~TunecaseApp() {
    // The window saves and releases the records as it goes.
    window_.reset();
}

int TunecaseApp::exec() {
    window_->show();
    return window_->exec();
}

void applyDiagnosticEnvironment() {
    if (const char* capture = std::getenv("TUNECASE_MIDI_CAPTURE"); capture && *capture)
        setMidiCaptureFile(capture);
}

}  // namespace tunecase
