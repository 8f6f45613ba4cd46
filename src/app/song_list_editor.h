// The song list editor without its window: adding songs (imported, arranged from the library,
// composed, chosen at random from the library), moving and deleting entries, export and
// upload of an entry, and the busy state while a long job runs. The dialog forwards its
// buttons, drops and posted messages to SongListEditor and carries out what it asks through
// SongListView; the player window uses the free functions for its drops and its first run.
//
// Threads: every SongListEditor function runs on the window's thread. Composing, arranging
// and importing run on one worker thread at a time and only compute: the list is changed
// when their result comes back on the window's thread, never from the worker.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/job_runner.h"
#include "base/records.h"
#include "base/user_folders.h"
#include "compose/compose_choices.h"
#include "songs/export.h"
#include "songs/library.h"
#include "strips/strip_drawing.h"
#include "base/translation.h"

namespace tunecase {

inline constexpr const char* kListCaption = N_("Song List");
// More than one file dropped on the list at once.
inline constexpr const char* kListOwnerText =
    N_("Drop one file at a time: a MIDI file (.mid) or a song-data file (.mwd).");
// UPLOAD sends a music-box MIDI file; a toy-piano file cannot be uploaded.
inline constexpr const char* kUploadToyPianoText = N_("Only a music-box MIDI file can be uploaded: choose TUNECASE.");
inline constexpr const char* kAutoSelectQuestion =
    N_("Song list will be cleared and new list will be generated with auto selection.");
inline constexpr const char* kEmptyLibraryText = N_("The library has no songs to choose from.");
inline constexpr const char* kUploadWorkFileName = "tmp_upload.mid";
inline constexpr const char* kNoStripBoxesText = N_("No music box for strips is described in %s");
inline constexpr const char* kStripNotWrittenText = N_("The strip could not be written: %s");
// DEL ALL and AUTO SEL ask before the songs Tunecase made leave with the list.
inline constexpr const char* kTrashMadeSongsQuestion = N_("Move %s made songs to the trash?");
inline constexpr const char* kTrashMadeSongQuestion = N_("Move 1 made song to the trash?");
// Where the trash cannot take them, a song cannot be composed again without its seed: ask
// before deleting outright. The first %s is the file (or "N made songs"), the second the reason.
inline constexpr const char* kDeleteUntrashedSongQuestion =
    N_("%s could not be moved to the trash (%s). Delete it for good?");
inline constexpr const char* kDeleteUntrashedSongsQuestion =
    N_("%s made songs could not be moved to the trash (%s). Delete them for good?");
// The editor's own window messages: a job began, a job ended, the upload's file is ready.
namespace listmsg {
inline constexpr uint32_t ListBusy = 0x81F5;
inline constexpr uint32_t ListIdle = 0x81F6;
inline constexpr uint32_t UploadReady = 0x81F8;
}  // namespace listmsg

// AUTO SEL takes at most this many songs.
inline constexpr int kAutoSelectMost = 10;

// Picture buttons of the editor, by index (the close button last).
namespace listbutton {
inline constexpr int Midi = 0;
inline constexpr int Library = 1;
inline constexpr int AutoCompose = 2;
inline constexpr int Up = 3;
inline constexpr int Down = 4;
inline constexpr int Delete = 5;
inline constexpr int DeleteAll = 6;
inline constexpr int Export = 7;
inline constexpr int AutoSelect = 8;
inline constexpr int Download = 9;
inline constexpr int Upload = 10;
inline constexpr int Close = 11;
inline constexpr int Count = 12;
}  // namespace listbutton

// A song file just made in the song folder and the title it joins the list with.
struct MadeSong {
    std::string path;
    std::string title;
};

// Writes one song into a new file: 1 when written.
using SongComposer = std::function<int(const std::string& outputPath)>;
// Writes one song for the options AUTO CMP's choices make: 1 when written.
using ChoiceComposer = std::function<int(const std::string& outputPath, const ComposeOptions& options)>;
// Uniform over low..high, both included.
using RandomRange = std::function<int(int low, int high)>;

// The program's own random routine.
RandomRange defaultRandomRange();
// The engine in a context of its own for each song.
ChoiceComposer defaultChoiceComposer();

// Where new songs are saved: the data folder, or the music folder while none is set.
std::string songFolder(const PlayerSettings& settings);

// The work file an upload is written to, in the work folder.
std::string uploadWorkFile(std::string_view workFolder);

// ---- Songs Tunecase made ---------------------------------------------------------------------

// True for a name as new songs get them: seven numbers joined by '-', then ".mid".
bool isMadeSongName(std::string_view fileName);

// True when `path` is a song file Tunecase made: a plain file (not a link) with a made-song
// name directly in `folder`. Only such files are ever deleted with their entry: an entry
// may point at a user's own file anywhere, and that stays.
bool isOwnSongFile(std::string_view path, std::string_view folder);

// The song file of entry `index` when Tunecase made it and no other entry uses it, else "":
// the file that goes when the entry does.
std::string ownSongFileOf(const SongList& list, int index, std::string_view folder);

// The files Tunecase made for the entries of the list, each once: what DEL ALL takes along.
std::vector<std::string> ownSongFiles(const SongList& list, std::string_view folder);

// ---- Editing the list ----------------------------------------------------------------------------

// Adds a made song at `selectedLine` (-1: at the end), as the list box shows it. A full list
// shows "曲の数が最大に達しています。" and the new file, which nothing else knows of, is deleted.
// Returns the line the song went to, or -1.
int addMadeSong(SongList& list, const MadeSong& song, int selectedLine);

// Swaps entry `line` with the one before (`up`) or after it. Returns the moved entry's new
// line, or -1 (nothing moved) at the edge or without a usable line.
int moveEntry(SongList& list, int line, bool up);

// DELETE: the entry goes (later ones move down, currentIndex falls back to 0 when it no
// longer names a song); `ownFile` gets the file Tunecase made for it, for the trash ("" when
// none). False for no such line.
bool deleteEntry(SongList& list, int line, std::string_view folder, std::string& ownFile);

// DEL ALL: every entry goes; returns the files Tunecase made for them, for the trash.
std::vector<std::string> deleteAllEntries(SongList& list, std::string_view folder);

// RENAME: the entry's title becomes `title`, its file stays. A title longer than the record
// keeps (255 bytes) is cut at the last whole UTF-8 character that fits; spaces around it go.
// False for no such line or a title that is empty.
bool renameEntry(SongList& list, int line, std::string_view title);

// What currentIndex becomes when the editor closes with `selectedLine` selected.
int32_t closingIndex(const SongList& list, int selectedLine);

// ---- Making songs (any thread) -----------------------------------------------------------------

// Arranges the song data file into a new file of `folder`; nothing when the arrangement fails
// (and no file is left behind).
std::optional<MadeSong> arrangeNewSong(const std::string& songDataPath, const std::string& folder,
                                       const SongArranger& arranger);

// The MIDI import: the file as a music-box song of its own in `folder`.
std::optional<MadeSong> importNewSong(const std::string& midiPath, const std::string& folder);

// Which of `fileCount` library files the automatic selection takes, in the order chosen:
// distinct indexes drawn with `random`, fileCount - 1 of them but at most 10. A library of
// one file gives that file (there is nothing else to leave out); an empty one gives none.
std::vector<int> chooseAutoSelection(int fileCount, const RandomRange& random);

// The song data files of the library chosen as above, as full paths.
std::vector<std::string> autoSelectionFiles(std::string_view libraryFolder, const RandomRange& random);

// The automatic selection (without the question and without clearing): arranges every
// chosen file into `folder` and hands each song made to `made` in order. Stops early when
// `stop` becomes true. An empty library says so. Returns the songs made. Any thread: the
// caller adds the songs to its list on its own thread.
int autoSelect(std::string_view libraryFolder, const std::string& folder, const RandomRange& random,
               const SongArranger& arranger, const std::function<void(const MadeSong&)>& made,
               const std::atomic<bool>* stop = nullptr);

// ---- The editor ------------------------------------------------------------------------------------

// The busy indication: ListBusy and ListIdle switch it, the window's timer steps the frame.
class ListBusyState {
public:
    void onBusy() { busy_ = true; }
    void onIdle() {
        busy_ = false;
        frame_ = 0;
    }
    // One timer tick: the frame moves on by 3 of 100 while busy.
    int tick() {
        if (busy_) frame_ = (frame_ + 3) % 100;
        return frame_;
    }
    bool busy() const { return busy_; }
    int frame() const { return frame_; }

private:
    bool busy_ = false;
    int frame_ = 0;
};

// What AUTO CMP's dialog closed with: the choices, and the song its preview made for them
// when it made one (the song then joins the list as it is).
struct ComposeAnswer {
    ComposeChoices choices;
    std::optional<MadeSong> previewed;
};

enum class ExportKind { MusicBox, ToyPiano, Strip, Audio, Cancelled };

// What the export dialog closed with.
struct ExportRequest {
    ExportKind kind = ExportKind::Cancelled;
    int lowNote = kDefaultLowNote;
    int highNote = kDefaultHighNote;
};

// The file an export is saved to and its format (from the file dialog's filter).
struct ExportTarget {
    enum Format { MusicBoxMidi, ToyPianoFile, ToyPianoMidi, StripPdf, AudioFile };
    std::string path;  // "" when cancelled
    Format format = MusicBoxMidi;
};

// What the editor asks of its window. Calls come on the window's thread unless marked.
class SongListView {
public:
    virtual ~SongListView() = default;
    // Any thread: runs `task` on the window's thread later, in posting order.
    virtual void postToUi(std::function<void()> task) = 0;
    // Lets the window's thread handle events for about `ms` milliseconds.
    virtual void pumpEvents(int ms) = 0;
    // One line per stored title; `selectedLine` -1 selects nothing.
    virtual void showList(const std::vector<std::string>& storedTitles, int selectedLine) = 0;
    virtual int selectedLine() = 0;
    // Busy: buttons disabled, the indicator's timer running, the wait cursor.
    virtual void setBusy(bool busy) = 0;
    // The open-file dialog for a Standard MIDI File; "" when cancelled.
    virtual std::string chooseMidiFile() = 0;
    // The library dialog arranging into `outputPath`; the song's title, "" when none was.
    virtual std::string runLibrary(const std::string& outputPath) = 0;
    // The export dialog; `upload` offers only the music box file.
    virtual ExportRequest askExport(bool upload) = 0;
    // The save-file dialog for the chosen kind of export.
    virtual ExportTarget chooseExportFile(ExportKind kind) = 0;
    // The strip dialog: a box from `boxes` and the paper, with the report for each box shown
    // as it is chosen; nothing when cancelled (modal).
    virtual std::optional<StripChoice> askStrip(const std::vector<std::string>& boxes,
                                                const StripReporter& reportFor) = 0;
    // The same with the drawn strip in view (`preview`); a window without one asks as above.
    virtual std::optional<StripChoice> askStripWithPreview(const std::vector<std::string>& boxes,
                                                           const StripReporter& reportFor,
                                                           const StripPreviewer& preview) {
        (void)preview;
        return askStrip(boxes, reportFor);
    }
    // After runLibrary: true when the library's STRIP chose the song, for a strip rather than
    // for the list.
    virtual bool libraryWantsStrip() { return false; }
    // The upload dialog for the written work file (modal).
    virtual void runUpload(const std::string& workFile) = 0;
    // The song download dialog (modal).
    virtual void runDownload() = 0;
    // Moves the file to the desktop's trash, as the file manager does. False with the reason
    // when it could not (no trash for that disk, or the move failed); the file is then as it was.
    virtual bool moveToTrash(const std::string& path, std::string& reason) = 0;
    // Ends the dialog.
    virtual void endDialog() = 0;
    // AUTO CMP's dialog, opened with `initial`; nothing when cancelled. Without a dialog the
    // song is composed for the choices remembered.
    virtual std::optional<ComposeAnswer> askCompose(const ComposeChoices& initial) {
        return ComposeAnswer{initial, std::nullopt};
    }
    // RENAME's question: the new title, shown from `current`; nothing when cancelled.
    virtual std::optional<std::string> askTitle(const std::string& current) {
        (void)current;
        return std::nullopt;
    }
};

class SongListEditor {
public:
    struct Services {
        SongComposer composer;   // a composer that takes no options (tests); see chosenComposer
        SongArranger arranger;   // defaultSongArranger() when empty
        RandomRange random;      // defaultRandomRange() when empty
        // AUTO CMP's composer: defaultChoiceComposer() when empty, or `composer` (the options
        // unused) when only that is given.
        ChoiceComposer chosenComposer;
        // Where AUTO CMP's choices are remembered; "" remembers nothing.
        std::string preferencesPath;
    };

    // `settings` and `list` belong to the player window and outlive the editor. The library
    // and the upload's work file are in `folders`.
    SongListEditor(PlayerSettings& settings, SongList& list, ProgramFolders folders, SongListView& view,
                   Services services = {});
    ~SongListEditor();  // waits for a job still running
    SongListEditor(const SongListEditor&) = delete;
    SongListEditor& operator=(const SongListEditor&) = delete;

    // The list box filled and line currentIndex selected.
    void start();

    void onButton(int index);
    // ListBusy, ListIdle, UploadReady.
    void onMessage(uint32_t message);
    // Files dropped on the window (native paths).
    void onFilesDropped(const std::vector<std::string>& paths);
    // One tick of the indicator's timer; the frame to draw.
    int tick() { return busy_.tick(); }

    // The buttons' actions.
    void importMidi();
    void addFromLibrary();
    // AUTO CMP: the dialog with the choices remembered; OK composes for its choices (or takes
    // the song its preview made) and remembers them.
    void autoCompose();
    // RENAME: asks for the selected entry's new title (beeps without a selection).
    void renameSelected();
    // The title given to `line`, as RENAME does; false (a beep) when refused.
    bool rename(int line, const std::string& title);
    void moveUp();
    void moveDown();
    void deleteSelected();
    void deleteAll();
    void exportSelected();
    void autoSelection();
    void download();
    void upload();
    // CLOSE: currentIndex becomes the selected line (0 without one) and the dialog ends.
    // While a job runs the close waits for its end, so no song it makes is lost.
    void close();

    bool busy() const { return busy_.busy(); }
    int frame() const { return busy_.frame(); }
    bool jobRunning() const { return jobs_.busy(); }
    bool closePending() const { return closePending_; }
    const std::string& songFolderPath() const { return folder_; }
    const ChoiceComposer& choiceComposer() const { return services_.chosenComposer; }
    // The range EXPORT's dialog starts at: the last one chosen (21-108 before any).
    ExportRequest rememberedExportRange() const;
    // What an export's file dialog suggests: the exported song's title as the file name (with
    // `extension`), in the folder of the last export, else in the music folder.
    std::string suggestedExportPath(const std::string& extension) const;
    // Where MIDI's file dialog opens: the folder of the last file imported, else the music folder.
    std::string importStartFolder() const { return rememberedFolder("import_folder"); }
    // Waits (handling the window's events) until no job of the editor runs.
    void waitForJobs();

private:
    // Runs `work` off the window's thread; what it makes joins the list back on the window's
    // thread, song by song, and ListIdle follows. False while a job runs.
    bool startJob(std::function<void(const std::function<void(const MadeSong&)>&)> work);
    // Runs an export off the window's thread; `completion` (ListIdle or UploadReady) follows
    // when it wrote its file.
    void startExportJob(std::function<bool()> work, uint32_t completion, std::string announced = {});
    // An export's choices kept for the next one.
    void rememberExportRange(const ExportRequest& request);
    void rememberFolderOf(const char* key, const std::string& path);
    std::string rememberedFolder(const char* key) const;
    void refresh(int selectedLine);
    // The list is full: says so; true when nothing more can join.
    bool refuseWhenFull();
    void startExport(const ExportRequest& request, const ExportTarget& target, int line);
    // EXPORT's STRIP: the box chosen with its report in view, then the PDF written.
    void exportStrip(int line);
    // The same for the song file at `path`, titled `title` (not necessarily on the list).
    void exportStripOf(const std::string& path, const std::string& title);
    // DEL ALL's work, after `askFirst` asked about the made songs (when there are any): false
    // and nothing changed when the answer was Cancel.
    bool emptyList(bool askFirst);
    // Made songs that leave the list go to the trash; those it cannot take are deleted only
    // when the user agrees.
    void discardMadeSongs(const std::vector<std::string>& files);

    PlayerSettings& settings_;
    SongList& list_;
    ProgramFolders folders_;
    std::string folder_;
    SongListView& view_;
    Services services_;
    ListBusyState busy_;
    bool closePending_ = false;
    std::string exportTitle_;       // the song an export's file dialog is asked for (stored bytes)
    std::map<std::string, std::string> lastFolders_;  // when there is no preferences file
    std::atomic<bool> stop_{false};
    // Last: its workers end before anything they use goes.
    JobRunner jobs_;
};

}  // namespace tunecase
