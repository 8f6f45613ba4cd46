#include "app/gui/tunecase_app.h"

#include <cstdlib>

#include "app/gui/folder_browser.h"
#include "base/utilities.h"
#include "platform/midi_out_device.h"

namespace tunecase {

TunecaseApp::TunecaseApp(FolderBrowser* browser) {
    programFolder_ = currentFolder();
    settingsFolder_ = prepareSettingsFolder();

    CTunecaseDlg::Startup startup;
    startup.programFolder = programFolder_;
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
