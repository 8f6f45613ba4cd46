// What the player window decides, without the window: the transport (stopped or playing),
// the load thread that prepares songs, auto-advance through the list, the plate change, the
// speed, dropped files and the tray menu. The window forwards its buttons, menu commands and
// posted messages here and implements PlayerView; tests drive it with a fake view.
//
// Threads: every public function runs on the UI thread. The load thread and the import
// worker only compute, then post their result back; the player's timer thread runs the
// per-event and end callbacks, which touch only the plate motion and post messages.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/plate_geometry.h"
#include "base/job_runner.h"
#include "base/records.h"
#include "base/user_folders.h"
#include "playback/music_player.h"
#include "playback/song_preparation.h"
#include "base/translation.h"

namespace tunecase {

// Tray menu command ids (the plate commands are the plate codes 260..265).
namespace traycmd {
inline constexpr int ToggleWindow = 256;
inline constexpr int StartStop = 257;
inline constexpr int Previous = 258;
inline constexpr int Next = 259;
inline constexpr int Quit = 266;
}  // namespace traycmd

// Picture button indexes of the player window.
namespace playerbutton {
inline constexpr int Quit = 0;
inline constexpr int Help = 1;
inline constexpr int StartStop = 2;
inline constexpr int Config = 3;
inline constexpr int List = 4;
inline constexpr int Hide = 5;
inline constexpr int Prev = 6;
inline constexpr int Next = 7;
inline constexpr int Count = 8;
}  // namespace playerbutton

inline constexpr const char* kStartLabel = N_("    START");
inline constexpr const char* kStopLabel = N_("    STOP");

// The window's own message texts, by code; any other code shows the owner string.
const char* playerMessageText(int code);
inline constexpr int kMsgListEmpty = 1;
inline constexpr int kMsgFileMissing = 2;
inline constexpr int kMsgTrayHint = 3;
// Shown when more than one file is dropped on the player at once.
inline constexpr const char* kPlayerOwnerText =
    N_("Drop one file at a time: a MIDI file (.mid) or a song-data file (.mwd).");
inline constexpr const char* kAskBuildListText =
    N_("Song list is empty. Do you want to create a song list automatically?");
inline constexpr const char* kNoTrayText =
    N_("There is no system tray on this desktop, so the player is minimised instead. Restore it from the task bar.");

// One entry of the tray popup menu; command 0 is a separator.
struct TrayMenuEntry {
    int command = 0;
    std::string text;
    bool operator==(const TrayMenuEntry&) const = default;
};

// The tray menu for the window's visibility and the transport state.
std::vector<TrayMenuEntry> trayMenu(bool windowVisible, bool playing);

// What the controller asks of the window. Calls come on the UI thread unless marked.
class PlayerView {
public:
    virtual ~PlayerView() = default;

    // Any thread: runs `task` on the UI thread later, in posting order.
    virtual void postToUi(std::function<void()> task) = 0;
    // Runs `task` on the UI thread after `ms` milliseconds, without blocking.
    virtual void postToUiAfter(int ms, std::function<void()> task) = 0;
    // Lets the UI thread handle pending events for about `ms` milliseconds; used while the
    // stop sequence waits, so that boxes raised by the player's thread can be answered.
    virtual void pumpEvents(int ms) = 0;

    virtual void showTitle(const std::string& storedTitle) = 0;
    virtual void setStartLabel(const char* label) = 0;
    virtual void setButtonsEnabled(bool enabled) = 0;
    // Loading starts or ends: the busy indicator's timer and the wait cursor.
    virtual void setLoading(bool loading) = 0;

    // The plate: the loaded song's note-ons and display length (empty: no song).
    virtual void plateSetSong(const std::vector<PlateNote>& notes, int32_t displayLength) = 0;
    virtual void plateAdvanceOnce() = 0;
    virtual void plateRepaint() = 0;  // any thread
    virtual void plateTimer(bool on) = 0;
    // Any thread: what one sent event does to the plate or the keyboard.
    virtual void plateSongEvent(PlateEventKind kind, int note, int32_t time, bool nextIsNoteOnSameTime) = 0;
    virtual void plateReleaseAllKeys() = 0;
    // The plate type changed: recreate the plate window at its old position for it.
    virtual void plateRebuild() = 0;

    // Whether a system tray exists to hide into.
    virtual bool trayAvailable() = 0;
    // Hides the window to the tray (the plate stays on top), or minimises it without a tray.
    virtual void hideWindow() = 0;
    // Tray command 256: shows a hidden window, hides a shown one.
    virtual void toggleWindow() = 0;
    // Selects the plate's entry in the combo box without reporting it back.
    virtual void selectPlateEntry(int32_t plateType) = 0;
    virtual void openHelp() = 0;
    virtual void runConfigDialog() = 0;
    virtual void closeWindow() = 0;
    // LIST: the song list editor, modal, on the window's settings and list.
    virtual void runSongListEditor() {}
};

class PlayerController {
public:
    // `settings` and `list` are owned by the caller and outlive the controller.
    PlayerController(PlayerSettings& settings, SongList& list, PlayerView& view);
    ~PlayerController();  // stops playback and waits for the worker threads
    PlayerController(const PlayerController&) = delete;
    PlayerController& operator=(const PlayerController&) = delete;

    // Start-up steps after the records are loaded: the empty-list question, the stopped
    // transport, the title, and the current song loaded for display. Answering the question
    // with OK builds a list from the library off the window's thread; the current song is
    // loaded once it is built.
    void start();

    // The program files, the library and the work files (the located folders by default).
    void setProgramFolders(ProgramFolders folders) { folders_ = std::move(folders); }
    const ProgramFolders& programFolders() const { return folders_; }

    // ---- Buttons and tray commands -------------------------------------------------------
    void onButton(int index);
    void onTrayCommand(int command);
    void startStop();
    void next();
    void previous();
    void quit();
    // LIST: stops a playing song, runs the editor, then shows and loads the current song.
    void openSongList();

    // ---- Other window input ----------------------------------------------------------------
    void onPlateSelected(int32_t plateType);
    void onSpeedChanged(int percent);
    // Files dropped on the window (native paths).
    void onFilesDropped(const std::vector<std::string>& paths);
    // Files named on the command line: each MIDI or song-data file joins the list as a dropped
    // one would (in one job, in their order); the last one that joined becomes current.
    void openFiles(const std::vector<std::string>& paths);

    // ---- Posted messages -------------------------------------------------------------------
    void onStartLoadedSong();
    void onSongFinished();
    // A song was imported by a worker: add it, make it current and show it.
    void onSelectLastSong(const std::string& path, const std::string& title);

    // The stop sequence: request, wait while the player is busy, close the port, stop the
    // plate timer.
    void stopSequence();

    // Shutdown: stops a playing song and waits for the worker threads.
    void shutdown();
    // The last step of the shutdown: shuts down if that has not happened yet, then drops the
    // loaded song.
    void releaseSong();

    // ---- State, for the window and tests ---------------------------------------------------
    bool isPlaying() const { return isPlaying_ == 1; }
    bool isLoading() const { return loading_ == 1; }
    // The list is being built from the library (first run).
    bool isBuildingList() const { return building_; }
    bool hasSong() const;
    PlateMotion& motion() { return motion_; }
    const PreparedSong* loadedSong() const { return loaded_.get(); }
    // Ticks in 100 ms at the player's tempo, for the plate's timer.
    int64_t ticksPer100ms() const;
    // The clock of the window's player (speed, tempo, busy flag).
    const PlayerClock& clock() const { return player_.clock(); }
    // Waits until no load or import is running (tests, shutdown).
    void waitForWorkers();

private:
    void startLoadThread(int mode);
    void buildListAutomatically();
    void onListBuilt();
    // Adds a song made by a worker at the end of the list; false when it could not join.
    bool appendMadeSong(const std::string& path, const std::string& title);
    void onLoadFinished(int mode, std::shared_ptr<PreparedSong> song, bool missing, int generation);
    void showCurrentTitle();
    void resetPosition();
    void stopForReload();
    void step(bool forward);
    void finishSong(int token);
    void perEvent(int index, int time, const MidiEvent* event);

    PlayerSettings& settings_;
    SongList& list_;
    PlayerView& view_;
    MusicPlayer player_;
    PlateMotion motion_;
    std::shared_ptr<PreparedSong> loaded_;
    std::atomic<int32_t> isPlaying_{0};
    std::atomic<int32_t> loading_{0};
    std::atomic<bool> runActive_{false};
    int loadGeneration_ = 0;
    int transportToken_ = 0;  // bumped by every transport action; cancels a pending advance
    std::atomic<bool> stopBuild_{false};
    bool building_ = false;
    bool stopping_ = false;
    ProgramFolders folders_;
    bool shutDown_ = false;
    // Last: its workers end before anything they use goes.
    JobRunner jobs_;
};

}  // namespace tunecase
