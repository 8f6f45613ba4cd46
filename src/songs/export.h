// Export of a song for a real instrument: a music box MIDI file (one channel, every note
// folded into a chosen key range, one program, the title) or a toy piano file (".fem": one
// channel at 48 ticks per quarter note, 6-tick notes). Each export is a plain function on the
// calling thread; the song list editor runs them through its job runner.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "playback/song_audio.h"

namespace tunecase {

// The 88 keys of a piano.
inline constexpr int kDefaultLowNote = 21;
inline constexpr int kDefaultHighNote = 108;
// General MIDI "Music Box", counted from 0; program 0 for the toy piano's ".mid" choice.
inline constexpr int kExportMusicBoxProgram = 10;
inline constexpr int kToyPianoDivision = 48;
// The most title bytes a music box export carries.
inline constexpr size_t kMaxExportTitleBytes = 1024;

struct RangedMidiExportJob {
    std::string source;
    int lowNote = kDefaultLowNote;
    int highNote = kDefaultHighNote;
    int program = kExportMusicBoxProgram;
    std::string output;
    std::string title;
    // The player settings' channel-deletion switches.
    bool deleteShortNoteChannel = true;
    bool deleteLongNoteChannel = true;
};

struct ToyPianoExportJob {
    std::string source;
    int lowNote = kDefaultLowNote;
    int highNote = kDefaultHighNote;
    std::string output;
    bool deleteShortNoteChannel = true;
    bool deleteLongNoteChannel = true;
};

// What an export wrote: its notes, and the notes it dropped because folding by octaves left
// them outside the key range (a range narrower than an octave cannot hold every pitch).
struct ExportCounts {
    int notes = 0;
    int droppedOutsideRange = 0;
};

// The music box MIDI export, on the calling thread. Returns true when the file is written;
// load and save failures show the MIDI readers' and writers' boxes. No check is made that
// lowNote <= highNote: every note is first raised to lowNote or above, then lowered to
// highNote or below. When lowNote <= highNote, a note still outside the range after that is
// dropped; when that leaves no note of a song that had some, nothing is written (a box
// says so) and false is returned. `counts`, when given, receives what was written.
bool exportRangedMidi(const RangedMidiExportJob& job, ExportCounts* counts = nullptr);

// The toy piano export, on the calling thread, to job.output whatever its extension; the
// key range as above.
bool exportToyPiano(const ToyPianoExportJob& job, ExportCounts* counts = nullptr);

// The song as the music box plays it (prepared as the player prepares it for the plate, at
// the player's speed), rendered to an audio file in the format of the output's extension,
// at the loudness target.
struct AudioExportJob {
    std::string source;
    std::string output;
    PreparationOptions preparation;
    int speedPercent = 100;
    std::string soundfont = kDefaultSoundfont;
    std::function<void(double)> progress;  // on the calling thread, the share done
};

// On the calling thread. A song no reader accepts shows the readers' boxes; a render that
// fails shows why, and leaves no file. `result`, when given, receives the render's figures.
bool exportAudio(const AudioExportJob& job, RenderResult* result = nullptr);

}  // namespace tunecase
