// A song held as one track: a Standard MIDI File of format 0. Opening any Standard MIDI File
// gives one of these; a format 1 file is merged into one track on the way in.
//
// States: 0 bytes only, 1 a track of MIDI events, 2 a track of note events (the editing
// form). A song read from a file or from bytes ends in state 2; writing goes 2 -> 1 -> 0 and
// saveFile comes back to the state it started in. Messages are "M0DT%08X %s" boxes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "midi/midi_byte_buffer.h"
#include "midi/midi_track_data.h"

namespace tunecase {

// Buffer size of a song and of its track.
inline constexpr int kDefaultSongCapacity = 0x60000;

// Ticks per quarter note of a new song.
inline constexpr int kNewSongDivision = 960;

// Ticks per measure when a song has no time signature (a 4/4 measure at 96 ticks).
inline constexpr int kDefaultMeasureTicks = 384;

// Deltas are written in at most 3 bytes.
inline constexpr int kLargestWritableDelta = 0x1FFFFF;

class MidiF0Data : public MidiByteBuffer {
public:
    enum State : int { BytesOnly = 0, MidiEvents = 1, NoteEvents = 2 };

    // Opens any Standard MIDI File as one song in state 2. A format 0 file is read directly;
    // anything else goes through the format 1 reader and is merged into one track. A file
    // neither reader accepts gives an empty song (state 2) after the readers' message; so does
    // a file timed in SMPTE frames, after a message that names it.
    static std::unique_ptr<MidiF0Data> openFile(std::string_view path, int capacity = kDefaultSongCapacity);

    // Reads a format 0 file held in memory (header with messages, track, notes joined). Bytes
    // that do not read as format 0 give an empty song in state 2 after the message.
    static std::unique_ptr<MidiF0Data> fromBytes(const uint8_t* bytes, int length);

    // An empty song in state 2 with an empty track, 960 ticks per quarter note.
    static std::unique_ptr<MidiF0Data> newSong(int capacity = kDefaultSongCapacity);

    // Holder in state 0 with no track and no bytes.
    explicit MidiF0Data(int capacity = kDefaultSongCapacity);

    // Copies division, state and time-signature override and deep-copies the track of a
    // state 2 song. Another state shows 0x04000005 and gives an empty song in state 2.
    MidiF0Data(const MidiF0Data& other);
    MidiF0Data& operator=(const MidiF0Data&) = delete;

    // Strips a 128-byte MacBinary header in place when "MThd" is not at 0 but at 128, then
    // returns 0 for format 0, 1 for format 1, -1 for anything else (or too short).
    static int fileFormatOf(uint8_t* bytes, int& length);

    // ---- Reading --------------------------------------------------------------------------

    // Checks "MThd" (dropping a MacBinary header in front of it), format 0, one track and a
    // division in ticks per quarter note other than 0 (an SMPTE division is refused with its
    // own message); takes the division and leaves the read position at 14.
    // Returns 1, or 0 (with the M0DT message when asked for; nothing for an empty buffer).
    int readHeader(bool showMessages);

    // State 0 -> 1: the track chunk at the read position. A chunk that does not read leaves
    // an empty track (the track reports why). Returns 0 when the chunk runs past the data
    // (or the state is wrong), else 1.
    int readTrack();

    // 1 -> 2 and 2 -> 1. A wrong state shows 0x04000005 and changes nothing.
    int toNotes();
    int toMidi();

    // ---- Writing --------------------------------------------------------------------------

    // State 1 -> 0: header and track chunk into the byte buffer, the track deleted. Unless
    // `raw`, the track is put in writing order first (non-note events, then system exclusive,
    // ahead of the notes of each group; note offs ahead of note ons). A track without End of
    // Track gets one. Returns 1; 0 (state unchanged) when the song does not fit or the state
    // is wrong.
    int encode(bool raw = false);

    // The file image of the song in `out`, from any state; the song ends in the state it had
    // (a song in state 1 or 2 is read back from what was written). Returns 1 or 0.
    int saveBytes(std::vector<uint8_t>& out, bool raw = false);

    // saveBytes, then writes the file whole. Returns 1 or 0.
    int saveFile(std::string_view path, bool raw = false);

    // ---- Time and tempo -------------------------------------------------------------------

    // State 2: rescales every time to the new division (short notes lengthened to 1 tick).
    int changeDivision(int newDivision);

    // Removes that many ticks from the beginning; the first event past them keeps the rest.
    void trimStart(int64_t ticks);

    // States 1 and 2: trims the start down to the whole measure before the first note and
    // returns the ticks trimmed.
    int64_t roundStartToMeasure();

    // The override when set, else the track's first time signature; 1 when one was found.
    int timeSignatureCode(int& out) const;

    // 4 / denominator * numerator * division; 384 without a time signature or division.
    int measureTicks() const;

    // State 2: the end of the last note or event (else MDTK 0x0D000001 and 0).
    int64_t lengthInTicks() const;

    // Moves each tempo event to the front of its group of simultaneous events; a tempo that
    // already led the group gives way. Returns the number of tempo events removed.
    int tempoToFrontOfSlot();

    // Removes every tempo event with an index in [first, last] (last -1 = to the end).
    int removeTempos(int first, int last);

    // State 2: unless a tempo comes before the first note, puts one at the first notes.
    int insertTempoAtFirstNote(int microsecondsPerQuarter);

    // Removes every event of the channel.
    int deleteChannel(int channel);

    // ---- Access ---------------------------------------------------------------------------

    int division() const { return division_; }
    void setDivision(int division) { division_ = division; }
    int state() const { return state_; }
    int timeSignatureOverride() const { return timeSignatureOverride_; }
    void setTimeSignatureOverride(int code) { timeSignatureOverride_ = code; }
    // True when a reader accepted the file or bytes (and for a new song or a copy); false
    // for the empty song left by a file nothing could read.
    bool isLoaded() const { return loaded_; }
    MidiTrackData* track() { return track_.get(); }
    const MidiTrackData* track() const { return track_.get(); }

    // Replaces the track and state (used by the format 1 merge and by builders).
    void setTrack(std::unique_ptr<MidiTrackData> track, int state);

    // The song's title, as stored (bytes, not yet shown as text): the name of the file's first
    // track. In a format 1 file the first track names the song and the other tracks name
    // their instruments, and the merge may put an instrument's name ahead of the song's, so
    // the merge keeps the first track's name here (setTitle). Otherwise the first track name
    // in the song's track. Empty when there is none. Every user of song titles asks here.
    std::string title() const;
    // Keeps `title` as the song's title whatever the track holds (the format 1 merge).
    void setTitle(std::string title);

    ~MidiF0Data() override = default;

private:
    enum class Header { Ok, Empty, NotMidi, WrongFormat, WrongTrackCount, ZeroDivision, Smpte, Format1 };
    // The header check without messages; drops a MacBinary header in front of "MThd".
    Header probeHeader();
    bool requireState(int wanted) const;
    // An empty track in state 2 and state 2 (the result of a file nothing could read).
    void becomeEmptySong();

    int division_ = kNewSongDivision;
    int state_ = BytesOnly;
    int timeSignatureOverride_ = 0;
    bool loaded_ = false;
    bool titleKept_ = false;  // title_ holds the title (a merged format 1 file)
    std::string title_;
    std::unique_ptr<MidiTrackData> track_;
};

}  // namespace tunecase
