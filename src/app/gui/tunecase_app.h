// The application: the start-up before the player window (settings folder, records, work
// buffer), the player window itself, and the records kept until the process ends.
#pragma once

#include <memory>
#include <string>

#include "app/gui/tunecase_dlg.h"
#include "base/records.h"
#include "app/startup.h"

namespace tunecase {

class TunecaseApp {
public:
    // The scratch area the composition engine works in.
    static constexpr size_t kWorkBufferBytes = 0x60000;

    // Runs the start-up and builds the windows. `browser` answers the first-run question
    // for the data folder; without one the Qt folder browser asks. A QApplication must exist.
    explicit TunecaseApp(FolderBrowser* browser = nullptr);
    ~TunecaseApp();
    TunecaseApp(const TunecaseApp&) = delete;
    TunecaseApp& operator=(const TunecaseApp&) = delete;

    // Shows the player window and runs it until it closes. Returns the dialog's result.
    int exec();

    CTunecaseDlg& window() { return *window_; }
    PlayerSettings& settings() { return settings_; }
    SongList& list() { return list_; }
    const ProgramFolders& programFolders() const { return folders_; }
    const std::string& settingsFolder() const { return settingsFolder_; }

private:
    ProgramFolders folders_;
    std::string settingsFolder_;
    PlayerSettings settings_{};
    SongList list_{};
    std::unique_ptr<CTunecaseDlg> window_;
};

// Applies the diagnostic switches read from the environment (see README.md):
// TUNECASE_MIDI_CAPTURE=FILE sends the player's output to a capture file.
void applyDiagnosticEnvironment();

}  // namespace tunecase
