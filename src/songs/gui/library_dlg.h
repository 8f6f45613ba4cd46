// CLibraryDlg ("Library"): the library's songs by title. LOAD arranges the chosen song into
// the path the caller gave and closes with its title; ADD MWD and dropped files copy song
// data files into the library. The arrangement runs on a worker thread while a busy ring
// turns, so the window keeps answering.
#pragma once

#include <QDialog>
#include <QList>
#include <QListWidget>
#include <QTimer>
#include <QUrl>
#include <array>
#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "base/job_runner.h"
#include "controls/gui/button_picture.h"
#include "controls/gui/off_screen_picture.h"
#include "controls/gui/window_post.h"
#include "songs/library.h"
#include "base/translation.h"

namespace tunecase {

inline constexpr const char* kLibraryCaption = N_("Library");
inline constexpr const char* kDawnPieceFilter = N_("dawn piece files (*.mwd)");

// Picture buttons of the library dialog.
namespace librarybutton {
inline constexpr int Load = 0;
inline constexpr int Cancel = 1;
inline constexpr int Add = 2;
inline constexpr int Count = 3;
// Only where the caller offers strips: LOAD's arrangement, for a strip instead of the list.
inline constexpr int Strip = 3;
}  // namespace librarybutton

class CLibraryDlg : public QDialog {
    Q_OBJECT
public:
    // Asks for a song data file to add; "" when cancelled.
    using FileChooser = std::function<std::string(QWidget* parent)>;

    // Milliseconds LOAD waits so that the pressed button shows.
    static constexpr int kLoadDelayMs = 200;
    static constexpr int kBusyTimerMs = 100;

    // Without an arranger the program's own arranges; without a chooser a file dialog asks.
    CLibraryDlg(std::string libraryFolder, std::string outputPath, QWidget* parent = nullptr,
                SongArranger arranger = {}, FileChooser chooser = {}, bool offerStrip = false);
    ~CLibraryDlg() override;

    // The modal dialog: the title of the song arranged into `outputPath`, or "" when none was.
    // With `stripWanted` the dialog offers STRIP too and says whether it chose the song.
    static std::string run(const std::string& libraryFolder, const std::string& outputPath,
                           QWidget* parent = nullptr, bool* stripWanted = nullptr);

    const std::string& title() const { return title_; }
    bool stripWanted() const { return stripWanted_; }
    bool isBusy() const { return busy_; }
    QListWidget* listBox() const { return list_; }
    COffScreenControl* buttonControl(int index) const;
    const CButtonPicture& buttons() const { return buttons_; }
    COffScreenControl* busyControl() const { return busyControl_; }
    int busyPhase() const { return busyPhase_; }
    // The file names behind the list lines, in line order.
    const std::vector<LibraryEntry>& entries() const { return entries_; }

    // LOAD after its short wait, CANCEL and ADD MWD, as the buttons do.
    void load();
    void cancel();
    void addSongDataFile();
    // Files dropped on the window (native paths).
    void dropFiles(const std::vector<std::string>& paths);
    // Refills the list from the library and selects the line of `fileName`, else line 0.
    void fillList(const std::string& fileName = {});

    // Escape and the window's close button do nothing while a song is being arranged.
    void reject() override;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void onButton(int index);
    void setBusy(bool busy);
    void arrangementFinished(bool ok, std::string title);
    void redrawBusyIndicator();

    std::string libraryFolder_;
    std::string outputPath_;
    SongArranger arranger_;
    FileChooser chooser_;
    std::string title_;
    std::vector<LibraryEntry> entries_;
    bool busy_ = false;
    bool loadPending_ = false;
    bool stripWanted_ = false;

    QListWidget* list_ = nullptr;
    std::array<COffScreenControl*, librarybutton::Count + 1> controls_{};
    CButtonPicture buttons_;
    COffScreenControl* busyControl_ = nullptr;
    COffScreenPicture busyPicture_;
    QTimer busyTimer_;
    int busyPhase_ = 0;
    // Last: its worker ends before anything it uses goes.
    JobRunner job_{windowPost(this)};
};

}  // namespace tunecase
