// CTrialDlg ("Web Page"): the song server's page of one song in an embedded browser, PLAY /
// STOP of the downloaded song arranged for the music box, and ADD MWD into the library.
// Arranging, starting and stopping the preview run off the window's thread; a check every
// 500 ms stops the preview when the browser has left the song's page.
#pragma once

#include <QDialog>
#include <QTimer>
#include <QUrl>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/user_folders.h"
#include "controls/gui/button_picture.h"
#include "base/job_runner.h"
#include "controls/gui/window_post.h"
#include "playback/song_preview.h"
#include "songs/song_data.h"
#include "base/translation.h"

class QWebEngineView;
class QWebEngineDownloadRequest;

namespace tunecase {

inline constexpr const char* kTrialCaption = N_("Web Page");
inline constexpr const char* kPlayLabel = N_("   PLAY");
inline constexpr const char* kStopLabel = N_("   STOP");
inline constexpr const char* kStopPlaybackFirstText = N_("Stop playback first.");
inline constexpr const char* kTrialFileName = "trial.tmp";
inline constexpr const char* kDawnPieceFilterText = N_("dawn piece files (*.mwd)");

// Picture buttons of the preview page .
namespace trialbutton {
inline constexpr int Close = 0;
inline constexpr int Play = 1;
inline constexpr int AddMwd = 2;
inline constexpr int Count = 3;
}  // namespace trialbutton

// Arranges `song` (all its measures) into the Standard MIDI File "trial.tmp" in the work
// folder of `folders` (made when missing), reads it back as one track and removes the file again. The song-data copy handed to the
// arranger lives beside it just as briefly. Null when the arrangement or the read failed
// (the boxes have been shown).
std::unique_ptr<MidiF0Data> arrangeTrialSong(const CSongData& song, const ProgramFolders& folders);

class CTrialDlg : public QDialog {
    Q_OBJECT
public:
    // Asks for a song-data file to add to the library, starting in `folder`; "" when cancelled.
    using FileChooser = std::function<std::string(QWidget* parent, const std::string& folder)>;

    struct Options {
        // Where the library and the work files are; the located folders when empty.
        std::optional<ProgramFolders> folders;
        FileChooser chooseFile;     // a file dialog when not set
    };

    static constexpr int kAddressCheckMs = 500;
    static constexpr int kCloseDelayMs = 100;

    // `song` is the caller's and outlives the dialog.
    CTrialDlg(std::string pageAddress, const CSongData& song, std::string dataFolder, QWidget* parent = nullptr,
              Options options = {});
    ~CTrialDlg() override;

    bool isPlaying() const { return playing_; }
    // Arranging, starting or stopping the preview.
    bool isBusy() const { return job_.busy(); }
    bool previewRunning() const { return preview_.running(); }
    const std::string& pageAddress() const { return pageAddress_; }
    QWebEngineView* browser() const { return view_; }
    COffScreenControl* buttonControl(int index) const;
    const CButtonPicture& buttons() const { return buttons_; }
    // Whether the browser shows the song's page.
    bool showsPage() const;

    // The buttons' actions, as pressing them does (CLOSE after its short wait).
    void playOrStop();
    void addSongDataFile();
    void closeUnlessPlaying();
    // The 500 ms check.
    void checkAddress();

    // Escape and the window's close button follow CLOSE's rule.
    void reject() override;

private:
    void onButton(int index);
    void stopPreview();
    void previewEnded(int generation);
    void saveDownload(QWebEngineDownloadRequest* download);

    std::string pageAddress_;
    QUrl pageUrl_;
    const CSongData& song_;
    std::string dataFolder_;
    std::string lastSaved_;  // the song file the page last saved, where ADD MWD starts
    ProgramFolders folders_;
    FileChooser chooseFile_;
    bool playing_ = false;
    bool closePending_ = false;
    int generation_ = 0;  // counts starts and stops, so a late end of an old run is ignored

    QWebEngineView* view_ = nullptr;
    std::array<COffScreenControl*, trialbutton::Count> controls_{};
    CButtonPicture buttons_;
    QTimer addressTimer_;
    // The played song; the preview plays a copy of it on its own thread.
    std::unique_ptr<MidiF0Data> played_;
    SongPreview preview_;
    // Declared last: it goes first, so its workers never use the preview after it is gone.
    JobRunner job_{windowPost(this)};
};

}  // namespace tunecase
