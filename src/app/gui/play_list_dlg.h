// CPlayListDlg ("Song List"): the player's song list by title, with the picture buttons that
// add, order, delete, export and upload songs, the busy ring and dropped files. What any
// input means is decided by SongListEditor; the dialog carries out what it asks.
#pragma once

#include <QDialog>
#include <QGroupBox>
#include <QListWidget>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>
#include <string>

#include "base/records.h"
#include "controls/gui/button_picture.h"
#include "controls/gui/off_screen_picture.h"
#include "app/song_list_editor.h"
#include "base/translation.h"

namespace tunecase {

inline constexpr const char* kSmfFilter = N_("SMF files (*.mid)");
inline constexpr const char* kTunecaseFilesFilter = N_("tunecase files (*.mid)");
inline constexpr const char* kStripFilesFilter = N_("punch strips (*.pdf)");
inline constexpr const char* kToyPianoFilesFilter = N_("toypiano files (*.fem)");

class CPlayListDlg : public QDialog, public SongListView {
    Q_OBJECT
public:
    static constexpr int kBusyTimerMs = 100;

    // The other windows the editor opens; tests put their own answers in place. Each one
    // left empty opens the real dialog.
    struct Dialogs {
        std::function<std::string()> chooseMidiFile;
        std::function<std::string(const std::string& outputPath)> runLibrary;
        std::function<ExportRequest(bool upload)> askExport;
        std::function<ExportTarget(ExportKind kind)> chooseExportFile;
        std::function<std::optional<StripChoice>(const std::vector<std::string>& boxes, const StripReporter& reportFor)>
            askStrip;
        std::function<void(const std::string& workFile)> runUpload;
        std::function<void()> runDownload;
        std::function<std::optional<ComposeAnswer>(const ComposeChoices& initial)> askCompose;
        std::function<std::optional<std::string>(const std::string& current)> askTitle;
    };

    // `settings` and `list` belong to the player window and outlive the dialog.
    CPlayListDlg(PlayerSettings& settings, SongList& list, ProgramFolders folders, QWidget* parent = nullptr,
                 SongListEditor::Services services = {}, Dialogs dialogs = {});
    ~CPlayListDlg() override;

    // The modal dialog; returns when it closes.
    static void run(PlayerSettings& settings, SongList& list, const ProgramFolders& folders,
                    QWidget* parent = nullptr);

    SongListEditor& editor() { return *editor_; }
    QListWidget* listBox() const { return list_; }
    COffScreenControl* buttonControl(int index) const;
    const CButtonPicture& buttons() const { return buttons_; }
    COffScreenControl* busyControl() const { return busyControl_; }
    const QImage& busyPicture() const { return busyPicture_.image(); }
    bool busyTimerActive() const { return busyTimer_.isActive(); }
    QGroupBox* group(int index) const { return groups_[static_cast<size_t>(index)]; }

    // Files dropped on the window (native paths).
    void dropFiles(const std::vector<std::string>& paths);

    // Escape and the window's close button close as CLOSE does.
    void reject() override;

    // ---- SongListView -----------------------------------------------------------------------
    void postToUi(std::function<void()> task) override;
    void pumpEvents(int ms) override;
    void showList(const std::vector<std::string>& storedTitles, int selectedLine) override;
    int selectedLine() override;
    void setBusy(bool busy) override;
    std::string chooseMidiFile() override;
    std::string runLibrary(const std::string& outputPath) override;
    ExportRequest askExport(bool upload) override;
    ExportTarget chooseExportFile(ExportKind kind) override;
    std::optional<StripChoice> askStrip(const std::vector<std::string>& boxes, const StripReporter& reportFor) override;
    std::optional<StripChoice> askStripWithPreview(const std::vector<std::string>& boxes, const StripReporter& reportFor,
                                                   const StripPreviewer& preview) override;
    bool libraryWantsStrip() override { return libraryStrip_; }
    void runUpload(const std::string& workFile) override;
    void runDownload() override;
    bool moveToTrash(const std::string& path, std::string& reason) override;
    void endDialog() override;
    std::optional<ComposeAnswer> askCompose(const ComposeChoices& initial) override;
    std::optional<std::string> askTitle(const std::string& current) override;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void onButton(int index);
    void redrawBusyIndicator(int frame);
    void releaseStuckButtons();

    PlayerSettings& settings_;
    ProgramFolders folders_;
    Dialogs dialogs_;
    QListWidget* list_ = nullptr;
    std::array<QGroupBox*, 3> groups_{};
    std::array<COffScreenControl*, listbutton::Count> controls_{};
    CButtonPicture buttons_;
    COffScreenControl* busyControl_ = nullptr;
    COffScreenPicture busyPicture_;
    QTimer busyTimer_;
    bool ended_ = false;
    bool libraryStrip_ = false;
    std::unique_ptr<SongListEditor> editor_;
};

}  // namespace tunecase
