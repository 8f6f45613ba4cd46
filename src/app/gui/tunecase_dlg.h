// CTunecaseDlg: the player window. It shows the current song's title, the plate choice, the
// speed and the eight picture buttons, keeps the tray icon and accepts dropped files. What
// any input means is decided by the PlayerController; the window forwards every input to
// it and carries out what the controller asks through PlayerView.
#pragma once

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QSlider>
#include <QSystemTrayIcon>
#include <QTextBrowser>
#include <QTimer>
#include <memory>
#include <string>

#include "app/gui/plate_dlg.h"
#include "app/player_controller.h"
#include "base/records.h"
#include "app/startup.h"
#include "base/utilities.h"
#include "controls/gui/button_picture.h"
#include "controls/gui/off_screen_picture.h"
#include "base/translation.h"

namespace tunecase {

// The window icon: a brass pinned disk.
QIcon tunecaseIcon();

// The about box.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kCaption = N_("About Tunecase");
    static constexpr const char* kText = N_("Tunecase Version 1.0");
    explicit CAboutDlg(QWidget* parent = nullptr);
};

// The help window: the help pages shown in a plain HTML browser.
class CHelpWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* kCaption = N_("Tunecase Help");
    CHelpWindow();
    void showPage(const std::string& path);
    QTextBrowser* browser() const { return browser_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QTextBrowser* browser_;
};

class CTunecaseDlg : public QDialog, public PlayerView {
    Q_OBJECT
public:
    static constexpr const char* kCaption = "PC TUNECASE";
    static constexpr const char* kAboutMenuText = N_("&About Tunecase...");
    static constexpr int kBusyTimerMs = 200;
    static constexpr int kSpeedMin = kSpeedMinPercent;
    static constexpr int kSpeedMax = kSpeedMaxPercent;
    static constexpr const char* kShutdownPage = "goodbye.htm";  // among the help pages

    // What the window takes over from the start-up: the record bindings (saved and released
    // when the window closes) and the work buffer (freed then). `settings` and `list` belong
    // to the caller and outlive the window.
    struct Startup {
        StartupRecords records;
        ZeroedBlock workBuffer;
        ProgramFolders folders;  // the located folders when left empty
    };

    // Builds the window, the plate window and the tray icon, then runs the controller's
    // start-up (the empty-list question, the title, the current song loaded for display).
    CTunecaseDlg(PlayerSettings& settings, SongList& list, Startup startup, QWidget* parent = nullptr);
    ~CTunecaseDlg() override;

    // Closing runs the shutdown sequence once, then ends the dialog.
    void done(int result) override;

    // The session is ending (a termination signal): the same shutdown as QUIT, without
    // opening the farewell page.
    void closeForSessionEnd();

    // ---- PlayerView ------------------------------------------------------------------------
    void postToUi(std::function<void()> task) override;
    void postToUiAfter(int ms, std::function<void()> task) override;
    void pumpEvents(int ms) override;
    void showTitle(const std::string& storedTitle) override;
    void setStartLabel(const char* label) override;
    void setButtonsEnabled(bool enabled) override;
    void setLoading(bool loading) override;
    void plateSetSong(const std::vector<PlateNote>& notes, int32_t displayLength) override;
    void plateAdvanceOnce() override;
    void plateRepaint() override;
    void plateTimer(bool on) override;
    void plateSongEvent(PlateEventKind kind, int note, int32_t time, bool nextIsNoteOnSameTime) override;
    void plateReleaseAllKeys() override;
    void plateRebuild() override;
    bool trayAvailable() override;
    void hideWindow() override;
    void toggleWindow() override;
    void selectPlateEntry(int32_t plateType) override;
    void openHelp() override;
    void runConfigDialog() override;
    void closeWindow() override;
    void runSongListEditor() override;

    // ---- Pieces of the window, for the application and tests -------------------------------
    PlayerController& controller() { return *controller_; }
    PlateDlg* plate() const { return plate_.get(); }
    COffScreenControl* buttonControl(int index) const;
    const CButtonPicture& buttons() const { return buttons_; }
    QLabel* titleLabel() const { return title_; }
    QComboBox* plateCombo() const { return combo_; }
    QSlider* speedSlider() const { return slider_; }
    COffScreenControl* busyControl() const { return busyControl_; }
    int busyPhase() const { return busyPhase_; }
    bool busyTimerActive() const { return busyTimer_.isActive(); }
    QSystemTrayIcon* trayIcon() const { return tray_.get(); }
    QAction* aboutAction() const { return about_; }
    CHelpWindow* helpWindow() const { return help_.get(); }
    const uint8_t* workBuffer() const { return startup_.workBuffer.get(); }
    bool isShutDown() const { return shutDown_; }

    // The tray popup menu for the current state; each entry's data is its command.
    std::unique_ptr<QMenu> makeTrayMenu();
    // Files dropped on the window, as native paths.
    void dropFiles(const QList<QUrl>& urls);
    // Files named on the command line: each joins the list as a dropped one would, once the
    // song being loaded is in.
    void openFiles(const std::vector<std::string>& paths);
    // The player button a key stands for (Space, Left, Right, F1, Ctrl+Q), or -1.
    static int buttonForKey(int key, Qt::KeyboardModifiers modifiers);
    void showAbout();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Acts on a bound key as its button would; false for any other key.
    bool handleKey(const QKeyEvent& event);
    void buildControls();
    void createPlate(const QPoint& where);
    void stepBusyIndicator();
    void redrawBusyIndicator();
    void onTrayActivated(QSystemTrayIcon::ActivationReason reason);
    void shutdownWindow();
    void openShutdownPage();

    PlayerSettings& settings_;
    SongList& list_;
    Startup startup_;
    std::unique_ptr<PlayerController> controller_;
    std::unique_ptr<PlateDlg> plate_;
    CButtonPicture buttons_;
    COffScreenControl* buttonControls_[playerbutton::Count] = {};
    QLabel* title_ = nullptr;
    QComboBox* combo_ = nullptr;
    QSlider* slider_ = nullptr;
    COffScreenControl* busyControl_ = nullptr;
    COffScreenPicture busyPicture_;
    QTimer busyTimer_;
    int busyPhase_ = 0;
    std::unique_ptr<QSystemTrayIcon> tray_;
    std::unique_ptr<QMenu> trayMenu_;
    QAction* about_ = nullptr;
    std::unique_ptr<CHelpWindow> help_;
    bool shutDown_ = false;
    bool shuttingDown_ = false;
    bool closing_ = false;
    bool sessionEnding_ = false;
    bool hiddenToTray_ = false;
};

}  // namespace tunecase
