// The preview of a song: a copy of it played by the preview's own player on a thread of the
// preview's own, so the song itself can be edited meanwhile. Only one run plays at a time
// in the process; a preview waits for a busy run of another player, and for another
// preview, to finish before it starts.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "midi/midi_f0_data.h"
#include "playback/music_player.h"

namespace tunecase {

class SongPreview {
public:
    // Called on the playback thread when a preview ends by itself; returns the caller's result.
    using Completion = std::function<int()>;
    // Called for every event the preview sends (index, song time, event), and once before
    // it starts with (0, trimmed ticks, nullptr).
    using Progress = std::function<void(int index, int songTime, const MidiEvent* event)>;

    SongPreview() = default;
    SongPreview(const SongPreview&) = delete;
    SongPreview& operator=(const SongPreview&) = delete;
    // Ends a running preview before the copy it plays goes.
    ~SongPreview();

    // Plays a copy of `song` (state 2) at 96 ticks per quarter note, from the first measure
    // with a note when `fromMeasure`, round and round when `loop`. An earlier preview of
    // this object is stopped first. Waits for a busy run of another player, or another
    // preview, to end (asking the run to stop after 5 s, giving up with GENE 0x01000004
    // after 10 s), then up to 5 s for its own run to start. Returns 1 when the preview
    // started; 0 with M0DT 0x04000001 for a song that is not in state 2.
    int play(const MidiF0Data& song, Completion completion, Progress progress, bool fromMeasure, bool loop);

    // Stops the preview: waits up to 3 s for it to be running (else M0DT 0x0400000A), asks
    // it to stop, waits up to 2 s for its thread (else kills its timer), drops the copy and
    // pauses one second so the device settles.
    void stop();

    // The speed of the preview's player in percent (100 = as written); every run starts
    // again at 100.
    void setSpeedPercent(int percent) { player_.clock().setSpeed(percent); }

    // True while the preview thread has not finished.
    bool running() const { return threadRunning_; }

    // The clock of the preview's player.
    const PlayerClock& clock() const { return player_.clock(); }

private:
    void playOnThread(MidiF0Data* song, Completion completion, Progress progress, bool loop);

    // Steered from the calling thread only through its clock; the preview thread alone
    // starts and releases its runs.
    MusicPlayer player_;
    std::unique_ptr<MidiF0Data> copy_;
    std::thread thread_;
    std::atomic<bool> threadRunning_{false};
    std::atomic<bool> playing_{false};  // the thread's run started and is not released yet
};

}  // namespace tunecase
