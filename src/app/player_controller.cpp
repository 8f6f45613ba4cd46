#include "app/player_controller.h"

#include <chrono>

#include "base/reporter.h"
#include "songs/song_list.h"
#include "base/utilities.h"
#include "songs/library.h"
#include "songs/song_import.h"
#include "app/song_list_editor.h"

namespace tunecase {

const char* playerMessageText(int code) {
    switch (code) {
        case kMsgListEmpty: return N_("Song list is empty.");
        case kMsgFileMissing: return N_("Can not find file!");
        case kMsgTrayHint: return N_("Click task tray icon if you want show window again.");
        default: return kPlayerOwnerText;
    }
}

std::vector<TrayMenuEntry> trayMenu(bool windowVisible, bool playing) {
    std::vector<TrayMenuEntry> menu;
    menu.push_back({traycmd::ToggleWindow, windowVisible ? N_("Hide Player") : N_("Show Player")});
    menu.push_back({0, ""});
    menu.push_back({traycmd::StartStop, playing ? N_("Stop") : N_("Start")});
    menu.push_back({traycmd::Previous, N_("Previous Song")});
    menu.push_back({traycmd::Next, N_("Next Song")});
    menu.push_back({0, ""});
    for (int32_t code = PlateNone; code <= PlateToyPianoSmall; ++code) menu.push_back({code, plateTypeName(code)});
    menu.push_back({0, ""});
    menu.push_back({traycmd::Quit, N_("Quit")});
    return menu;
}

namespace {

// The preparation takes the plate and the two channel switches of the settings.
PreparationOptions preparationOptionsFrom(const PlayerSettings& settings) {
    PreparationOptions o;
    o.plateType = settings.plateType;
    o.deleteShortNoteChannel = settings.deleteShortNoteChannel == 1;
    o.deleteLongNoteChannel = settings.deleteLongNoteChannel == 1;
    return o;
}

void showMessage(int code) { reportText(playerMessageText(code), BoxKind::Ok); }

// The note-ons of a prepared song at their absolute times, for the plate's pins.
std::vector<PlateNote> plateNotesOf(const MidiTrackData& track) {
    std::vector<PlateNote> notes;
    int64_t time = 0;
    for (const auto& e : track.events()) {
        time += e->delta;
        if (e->status == ev::NoteOn && e->velocity > 0) notes.push_back({clampTicks(time), e->data1});
    }
    return notes;
}

}  // namespace

PlayerController::PlayerController(PlayerSettings& settings, SongList& list, PlayerView& view)
    : settings_(settings),
      list_(list),
      view_(view),
      folders_(locateProgramFolders()),
      jobs_([this](JobRunner::Task task) { view_.postToUi(std::move(task)); }) {}

PlayerController::~PlayerController() { shutdown(); }

bool PlayerController::hasSong() const { return loaded_ && loaded_->ok; }

int64_t PlayerController::ticksPer100ms() const {
    if (!hasSong()) return 0;
    return tunecase::ticksPer100ms(loaded_->song->division(), static_cast<int>(player_.clock().tempoBpm.load()));
}

void PlayerController::start() {
    const bool build = list_.count == 0 && reportText(kAskBuildListText, BoxKind::OkCancel) == Answer::Ok;
    isPlaying_ = 0;
    view_.setStartLabel(kStartLabel);
    showCurrentTitle();
    if (build) buildListAutomatically();
    else startLoadThread(1);
}

void PlayerController::buildListAutomatically() {
    // Arranging ten songs takes a moment: the window stays live with its ring turning.
    building_ = true;
    view_.setButtonsEnabled(false);
    view_.setLoading(true);
    const std::string library = folders_.library;
    const std::string folder = songFolder(settings_);
    jobs_.start(
        [this, library, folder](const JobRunner::Job& job) {
            autoSelect(
                library, folder, defaultRandomRange(), defaultSongArranger(),
                [&job, this](const MadeSong& song) {
                    job.post([this, song] {
                        appendMadeSong(song.path, song.title);
                        showCurrentTitle();
                    });
                },
                &stopBuild_);
        },
        [this] { onListBuilt(); });
}

void PlayerController::onListBuilt() {
    if (!building_) return;
    building_ = false;
    if (stopping_) return;
    showCurrentTitle();
    // A song started from the tray meanwhile keeps playing; a load under way finishes the
    // busy indication itself.
    if (loading_) return;
    if (isPlaying_ || runActive_) {
        view_.setLoading(false);
        view_.setButtonsEnabled(true);
        return;
    }
    startLoadThread(1);
}

bool PlayerController::appendMadeSong(const std::string& path, const std::string& title) {
    return addMadeSong(list_, {path, title}, -1) >= 0;
}

void PlayerController::showCurrentTitle() {
    if (list_.count <= 0) {
        view_.showTitle("");
        return;
    }
    view_.showTitle(fieldText(currentEntry(list_).title, kTitleBytes));
}

void PlayerController::resetPosition() {
    motion_.resetAngle();
    motion_.songTime = 0;
    motion_.isPlaying = 0;
}

// ---- Buttons ---------------------------------------------------------------------------------

void PlayerController::onButton(int index) {
    switch (index) {
        case playerbutton::Quit:
            view_.pumpEvents(200);  // lets the pressed face show before the window goes
            quit();
            break;
        case playerbutton::Help: view_.openHelp(); break;
        case playerbutton::StartStop: startStop(); break;
        case playerbutton::Config: view_.runConfigDialog(); break;
        case playerbutton::List: openSongList(); break;
        case playerbutton::Hide:
            if (view_.trayAvailable()) {
                showMessage(kMsgTrayHint);
            } else {
                reportText(kNoTrayText, BoxKind::Ok);
            }
            view_.hideWindow();
            break;
        case playerbutton::Prev: previous(); break;
        case playerbutton::Next: next(); break;
        default: break;
    }
}

void PlayerController::onTrayCommand(int command) {
    if (command >= PlateNone && command <= PlateToyPianoSmall) {
        view_.selectPlateEntry(command);
        onPlateSelected(command);
        return;
    }
    switch (command) {
        case traycmd::ToggleWindow: view_.toggleWindow(); break;
        case traycmd::StartStop: startStop(); break;
        case traycmd::Previous: previous(); break;
        case traycmd::Next: next(); break;
        case traycmd::Quit: quit(); break;
        default: break;
    }
}

void PlayerController::startStop() {
    ++transportToken_;
    if (list_.count <= 0) {
        showMessage(kMsgListEmpty);
        view_.plateRepaint();
        return;
    }
    if (isPlaying_) {
        stopSequence();
        isPlaying_ = 0;
        view_.setStartLabel(kStartLabel);
        resetPosition();
        if (isToyPiano(settings_.plateType)) view_.plateReleaseAllKeys();
    } else {
        isPlaying_ = 1;
        view_.setStartLabel(kStopLabel);
        startLoadThread(0);
    }
    view_.plateRepaint();
}

void PlayerController::next() { step(true); }

void PlayerController::previous() { step(false); }

void PlayerController::step(bool forward) {
    if (forward) stepForward(list_);
    else stepBack(list_);
    showCurrentTitle();
    if (isPlaying_) {
        startStop();  // stops the old song
        startStop();  // and starts the new one
    } else {
        startLoadThread(1);
    }
}

void PlayerController::openSongList() {
    // The editor may delete the playing song's file and reorders the list under it.
    stopForReload();
    view_.runSongListEditor();
    normaliseSongList(list_);
    showCurrentTitle();
    startLoadThread(1);
}

void PlayerController::quit() {
    ++transportToken_;
    if (isPlaying_ || runActive_) stopSequence();
    isPlaying_ = 0;
    view_.closeWindow();
}

// ---- Stopping ----------------------------------------------------------------------------------

void PlayerController::stopSequence() {
    player_.clock().requestStop();
    // The pending timer sees the request when it fires; meanwhile the window keeps handling
    // events, so a box raised on the player's thread can still be answered.
    while (player_.clock().playerBusy() == 1) view_.pumpEvents(10);
    player_.stopWholeSong();
    runActive_ = false;
    view_.plateTimer(false);
}

// A reload would replace the song under a running timer chain: stop it first.
void PlayerController::stopForReload() {
    if (!isPlaying_ && !runActive_) return;
    ++transportToken_;
    stopSequence();
    isPlaying_ = 0;
    view_.setStartLabel(kStartLabel);
    resetPosition();
    if (isToyPiano(settings_.plateType)) view_.plateReleaseAllKeys();
}

// ---- Loading -------------------------------------------------------------------------------------

void PlayerController::startLoadThread(int mode) {
    if (shutDown_) return;
    // Loads may overlap; only the newest one's song is taken (the generation says which).
    const int generation = ++loadGeneration_;
    loading_ = 1;
    view_.setButtonsEnabled(false);
    view_.setLoading(true);

    const bool empty = list_.count <= 0;
    const int index = list_.currentIndex;
    const std::string path = empty ? std::string() : fieldText(currentEntry(list_).path, kPathBytes);
    const PreparationOptions options = preparationOptionsFrom(settings_);
    jobs_.start([this, mode, empty, index, path, options, generation](const JobRunner::Job& job) {
        std::shared_ptr<PreparedSong> song;
        bool missing = false;
        if (!empty) {
            if (!fileCanBeOpened(path)) {
                missing = true;
            } else {
                song = std::make_shared<PreparedSong>(prepareSongFile(path, options));
                if (!song->ok) song.reset();
            }
        }
        job.post([this, mode, song, missing, generation, index, path] {
            if (missing && index < list_.count && fieldText(list_.entries[index].path, kPathBytes) == path) {
                showMessage(kMsgFileMissing);
                removeEntry(list_, index);
                showCurrentTitle();
            }
            onLoadFinished(mode, song, missing, generation);
        });
    });
}

void PlayerController::onLoadFinished(int mode, std::shared_ptr<PreparedSong> song, bool, int generation) {
    if (generation != loadGeneration_) return;  // a newer load has replaced this one
    loaded_ = std::move(song);
    if (!hasSong()) {
        loaded_.reset();
        view_.plateSetSong({}, 0);
        view_.plateRepaint();
    } else {
        motion_.setDisplayLength(clampTicks(loaded_->displayLength));
        view_.plateSetSong(plateNotesOf(*loaded_->song->track()), clampTicks(loaded_->displayLength));
        if (mode == 1) view_.plateAdvanceOnce();
        else jobs_.post([this] { onStartLoadedSong(); });
    }
    // While the first list is still being built its ring turns on.
    if (!building_) {
        view_.setLoading(false);
        view_.setButtonsEnabled(true);
    }
    loading_ = 0;
    // A failed load in play mode falls back to stopped.
    if (mode == 0 && !hasSong()) jobs_.post([this] { onStartLoadedSong(); });
}

void PlayerController::onStartLoadedSong() {
    if (!hasSong()) {
        isPlaying_ = 0;
        view_.setStartLabel(kStartLabel);
        return;
    }
    if (!isPlaying_ || runActive_) return;  // stopped meanwhile, or already running
    showCurrentTitle();
    motion_.songTime = 0;
    motion_.isPlaying = 1;
    PlayableSong playable{loaded_->song->track(), loaded_->song->division()};
    // A port that does not open has said why; the transport stays playing, silent, until
    // STOP, as the user pressed START.
    runActive_ = player_.startWholeSong(
                     playable, [this] { jobs_.post([this] { onSongFinished(); }); },
                     [this](int index, int time, const MidiEvent* e) { perEvent(index, time, e); }) == 1;
    if (settings_.speedPercent >= 50 && settings_.speedPercent <= 150) player_.clock().setSpeed(settings_.speedPercent);
    view_.plateTimer(true);
    view_.plateRepaint();
}

// The player's timer thread: what each sent event does to the plate.
void PlayerController::perEvent(int index, int time, const MidiEvent* e) {
    if (e) {
        const MidiTrackData& track = *loaded_->song->track();
        PlateEventKind kind = PlateEventKind::Other;
        if (e->status == ev::NoteOn && e->velocity > 0) kind = PlateEventKind::NoteOn;
        else if (e->status == ev::NoteOff || e->status == ev::NoteOn) kind = PlateEventKind::NoteOff;
        bool chordFollows = false;
        if (index + 1 < track.eventCount()) {
            const MidiEvent& nextEvent = *track.event(index + 1);
            chordFollows = nextEvent.status == ev::NoteOn && nextEvent.delta == 0;
        }
        view_.plateSongEvent(kind, e->data1, time, chordFollows);
        if (kind == PlateEventKind::Other && index >= track.eventCount() - 1)
            jobs_.post([this] { onSongFinished(); });
    }
    motion_.songTime = time;
}

void PlayerController::onSongFinished() {
    if (!isPlaying_ || !runActive_) return;  // stopped already, or a second notice
    if (isToyPiano(settings_.plateType)) view_.plateReleaseAllKeys();
    player_.clock().requestStop();
    while (player_.clock().playerBusy() == 1) view_.pumpEvents(10);
    // One second's pause while the last notes ring out, without blocking the window.
    const int token = ++transportToken_;
    view_.postToUiAfter(1000, [this, token] { finishSong(token); });
}

void PlayerController::finishSong(int token) {
    if (token != transportToken_ || !isPlaying_) return;  // the user acted during the pause
    player_.stopWholeSong();
    runActive_ = false;
    view_.plateTimer(false);
    view_.setStartLabel(kStartLabel);
    resetPosition();
    isPlaying_ = 0;
    view_.plateRepaint();
    stepForward(list_);
    showCurrentTitle();
    startStop();
}

// ---- Plate and speed -----------------------------------------------------------------------------

void PlayerController::onPlateSelected(int32_t plateType) {
    if (!plateTypeName(plateType)) return;
    ++transportToken_;
    if (isPlaying_ || runActive_) {
        stopSequence();
        isPlaying_ = 0;
        view_.setStartLabel(kStartLabel);
        resetPosition();
    }
    isPlaying_ = 0;
    settings_.plateType = plateType;
    view_.plateRebuild();
    loaded_.reset();
    view_.plateSetSong({}, 0);
    startLoadThread(1);
}

void PlayerController::onSpeedChanged(int percent) {
    if (percent < 50 || percent > 150) return;
    settings_.speedPercent = percent;
    player_.clock().setSpeed(percent);
}

// ---- Dropped files and imports ------------------------------------------------------------------

void PlayerController::onFilesDropped(const std::vector<std::string>& paths) {
    if (paths.size() != 1) {
        reportText(kPlayerOwnerText, BoxKind::Ok);
        return;
    }
    const std::string& path = paths[0];
    const std::string ext = extensionLower(path);
    const std::string folder = songFolder(settings_);
    if (ext == "mwd") {
        // Into the library first (a name already there is refused), then arranged into a
        // song of the list off the window's thread.
        std::string copy = path;
        if (!addToArchive(folders_.library, copy)) return;
        jobs_.start([this, copy, folder](const JobRunner::Job& job) {
            if (auto song = arrangeNewSong(copy, folder, defaultSongArranger()))
                job.post([this, song = *song] { onSelectLastSong(song.path, song.title); });
        });
        return;
    }
    if (ext != "mid") return;
    jobs_.start([this, path, folder](const JobRunner::Job& job) {
        ImportedSong imported = importMidiFile(path, folder);
        if (imported.ok) job.post([this, imported] { onSelectLastSong(imported.path, imported.title); });
    });
}

void PlayerController::openFiles(const std::vector<std::string>& paths) {
    std::vector<std::string> songs;
    for (const std::string& path : paths) {
        const std::string ext = extensionLower(path);
        std::string copy = path;
        if (ext == "mid" || (ext == "mwd" && addToArchive(folders_.library, copy))) songs.push_back(copy);
    }
    if (songs.empty()) return;
    const std::string folder = songFolder(settings_);
    jobs_.start([this, songs, folder](const JobRunner::Job& job) {
        std::vector<MadeSong> made;
        for (const std::string& path : songs) {
            if (job.cancelled()) return;
            if (extensionLower(path) == "mwd") {
                if (auto song = arrangeNewSong(path, folder, defaultSongArranger())) made.push_back(*song);
            } else if (ImportedSong imported = importMidiFile(path, folder); imported.ok) {
                made.push_back({imported.path, imported.title});
            }
        }
        if (made.empty()) return;
        job.post([this, made] {
            for (size_t i = 0; i + 1 < made.size(); ++i) appendMadeSong(made[i].path, made[i].title);
            onSelectLastSong(made.back().path, made.back().title);
        });
    });
}

void PlayerController::onSelectLastSong(const std::string& path, const std::string& title) {
    stopForReload();
    if (!appendMadeSong(path, title)) return;
    selectLast(list_);
    showCurrentTitle();
    startLoadThread(1);
}

// ---- Shutdown ----------------------------------------------------------------------------------------

void PlayerController::waitForWorkers() {
    // A worker may be waiting for a box to be answered: keep the window's events going.
    jobs_.cancel();
    jobs_.waitIdle([this] { view_.pumpEvents(10); });
}

void PlayerController::shutdown() {
    if (shutDown_) return;
    stopping_ = true;
    stopBuild_ = true;
    ++transportToken_;
    if (isPlaying_ || runActive_) stopSequence();
    isPlaying_ = 0;
    waitForWorkers();
    shutDown_ = true;
}

void PlayerController::releaseSong() {
    shutdown();
    loaded_.reset();
}

}  // namespace tunecase
