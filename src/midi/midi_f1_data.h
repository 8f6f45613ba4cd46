// A Standard MIDI File of format 1: a header and up to 65 tracks. Format 1 files are read to
// be merged into one song (MidiF0Data), and written by the composer and the arranger, which
// build one track per part.
//
// States: 0 bytes only, 1 tracks of MIDI events, 2 tracks of note events. Each track is made
// with half the holder's capacity. Messages are "M1DT%08X %s" boxes; some warnings are shown
// once until reset, and every construction resets them.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "midi/midi_byte_buffer.h"
#include "midi/midi_f1_track_data.h"

namespace tunecase {

class MidiF0Data;

// Track slots of a format 1 holder.
inline constexpr int kMaxF1Tracks = 65;

// A header declaring this many tracks or more is taken as broken: only kTracksReadOfTooMany
// are read.
inline constexpr int kTooManyTracks = 64;
inline constexpr int kTracksReadOfTooMany = 32;

// Tracks made by splitting a song: track 0 takes the meta events, track 1 the system
// exclusive, and track n + 1 channel n (so channel 0 shares track 1).
inline constexpr int kSplitTracks = 17;

class MidiF1Data : public MidiByteBuffer {
public:
    enum State : int { BytesOnly = 0, MidiEvents = 1, NoteEvents = 2 };

    // A file larger than the capacity shows 0x03000019 and gives an empty holder. A format 1
    // file is read and joined; a format 0 file is read as one song and split into 17 tracks;
    // anything else ends after the header's message with no tracks. Then a master volume of
    // 127 is added when the file has none (without a message).
    static std::unique_ptr<MidiF1Data> openFile(std::string_view path, int capacity = 0x60000);

    // Format 1 bytes: read and joined, then the master-volume rule (its message when asked).
    // Bytes the header refuses, or with a chunk cut short, give a holder in state 2 without
    // tracks, after the message.
    static std::unique_ptr<MidiF1Data> fromBytes(const uint8_t* bytes, int length, bool showMessage,
                                                 int capacity = 0x60000);

    // Copies of the given state 2 tracks (at most 65), state 2.
    static std::unique_ptr<MidiF1Data> fromTracks(const MidiTrackData* const* tracks, int count, int division,
                                                  int capacity = 0x60000);

    // The song split into 17 tracks (splitFromFormat0).
    static std::unique_ptr<MidiF1Data> fromFormat0(const MidiF0Data& song, int capacity = 0x60000);

    // An empty holder in state 0; resets the shown-once warnings.
    explicit MidiF1Data(int capacity = 0x60000);

    // ---- Reading --------------------------------------------------------------------------

    // "MThd" at the read position (or behind a 128-byte MacBinary header, which is dropped),
    // format 1, a division other than 0. 64 tracks or more show 0x03000001 and 32 are read.
    // Returns 1, or 0 after the message (nothing for an empty buffer).
    int readHeader();

    // State 0 -> 1: one track per chunk. When the data ends between chunks the track count is
    // cut to the tracks read and M1DT 0x00000000 is shown. A chunk that runs past the data
    // has said so and is left empty; the complete tracks are kept. Returns 1.
    int readTracks();

    // State 0 -> 2: readTracks and toNotes in one pass, each track joined as soon as it is
    // read, so that what one track's join frees is used again by the next. `eventsAsRead`,
    // when given, receives each track's event count as read (note ons and offs apart).
    int readTracksAsNotes(std::vector<int>* eventsAsRead = nullptr);

    // 1 -> 2 and 2 -> 1, track by track. A wrong state shows 0x03000003.
    int toNotes();
    int toMidi();

    // ---- Writing --------------------------------------------------------------------------

    // State 1 -> 0: header and one "MTrk" chunk per track into the byte buffer, the tracks
    // deleted. A track without End of Track gets one. When the file would not fit,
    // 0x03000019 is shown and the holder is left as it was (returns 0).
    int encode();

    // The file image in `out` from any state; the holder ends in the state it had. 1 or 0.
    int saveBytes(std::vector<uint8_t>& out);
    int saveFile(std::string_view path);

    // ---- Song-level operations ------------------------------------------------------------

    // Replaces the tracks by 17 made from a state 2 song: meta events to track 0, system
    // exclusive to track 1, channel events to track channel + 1.
    int splitFromFormat0(const MidiF0Data& song);

    // State 2: merges every track into the song's track, one event per track per round at
    // equal times, in track order; the song takes this division.
    int mergeInto(MidiF0Data& song) const;
    // The same merge for a holder that is done with its tracks: the events move into the
    // song instead of being copied, and every track is left without events.
    int moveMergedInto(MidiF0Data& song);

    // The first track's name: the song's title (the other tracks' names are instruments).
    std::string songTitle() const;

    // The master volume of the first track that has one, -1 if none; a second track with
    // one shows 0x03000006.
    int masterVolumeOfAll() const;
    // A master volume at the start of the first track with channel events (else track 0).
    void setMasterVolume(int volume);
    // When no track has a master volume: 0x03000016 (when asked), then volume 127.
    void ensureMasterVolume(bool showMessage);
    // Moves GM System On to the front of its group in the first track that is not only meta
    // events.
    int gmOnToFront();
    void foldVolumeIntoVelocityAll();
    // State 2: removes meta events of that type from the first track that has any. 1 if any.
    int removeMetaFromTracks(uint32_t type, bool all);
    // Repairs the first unsound note of every track; 1 if any track repaired one.
    int anyTrackRepaired();

    // ---- Access ---------------------------------------------------------------------------

    int division() const { return division_; }
    void setDivision(int division) { division_ = division; }
    int state() const { return state_; }
    int trackCount() const { return trackCount_; }
    bool isLoaded() const { return loaded_; }
    MidiF1TrackData* track(int index);
    const MidiF1TrackData* track(int index) const;

private:
    bool requireState(int wanted) const;
    void deleteTracks();
    int readFormat1();
    int readEachTrack(bool join, std::vector<int>* eventsAsRead);
    std::unique_ptr<MidiF1TrackData> cloneTrack(const MidiF1TrackData& source) const;
    // The song's track emptied for a merge (made when the song has none in state 2), or
    // nullptr after the message when this holder cannot be merged.
    MidiTrackData* mergeTarget(MidiF0Data& song) const;
    int finishMerge(MidiF0Data& song, bool ok) const;

    int division_ = 480;
    int state_ = BytesOnly;
    int trackCount_ = 0;
    bool loaded_ = false;
    std::array<std::unique_ptr<MidiF1TrackData>, kMaxF1Tracks> tracks_;
};

}  // namespace tunecase
