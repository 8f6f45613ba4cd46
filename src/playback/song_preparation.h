// Turns any Standard MIDI File into what the music box plays: leading silence cut to whole
// measures, channels whose notes are far too dense or too sparse dropped, one short note
// length, every channel merged onto channel 0, doubled notes thinned, the range folded for
// the small plates, a piano voice for the toy pianos, and finally event form.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/plate_types.h"
#include "midi/midi_f0_data.h"

namespace tunecase {

struct PreparationOptions {
    int32_t plateType = PlateLargeDisk;
    bool deleteShortNoteChannel = true;
    bool deleteLongNoteChannel = true;
};

// The note range of a plate that folds notes; false for plates that keep the range.
bool plateRange(int32_t plateType, int& lowest, int& highest);

// Steps on a loaded song in note form (state 2). Each returns what it changed.

// Cuts whole measures of leading silence; returns the ticks removed.
int64_t trimLeadingMeasures(MidiF0Data& song);

// Deletes every channel whose average onset spacing is below division / 8 (short rule) or
// above 3 x division (long rule). A channel without notes counts as short. Returns the
// mask of deleted channels (bit n = channel n).
uint32_t deleteChannelsBySpacing(MidiF0Data& song, bool deleteShort, bool deleteLong);

// The music box's one voice, shared with the exports: channels deleted by spacing, every
// sounding note given `noteLength`, every channel merged onto 0, simultaneous duplicates and
// octave doublings thinned. Returns the mask of deleted channels.
uint32_t reduceToOneVoice(MidiF0Data& song, bool deleteShort, bool deleteLong, int noteLength);

// Moves every note below `lowest` up by octaves (velocity x 8 / 10 per octave, but never down
// to 0, which would silence it) and then every note above `highest` down by octaves, never
// below 0 (a range ending under 11 cannot hold every pitch class). Returns the number of
// notes moved.
int foldIntoRange(MidiTrackData& track, int lowest, int highest);

// Sets every program change to `program`; returns how many.
int setAllPrograms(MidiTrackData& track, int program);

struct PreparedSong {
    std::unique_ptr<MidiF0Data> song;  // in event form (state 1) when ok
    int64_t displayLength = 0;         // the end of the last note or event, for the plate
    int64_t trimmedTicks = 0;
    uint32_t deletedChannels = 0;
    bool ok = false;
};

// Runs the whole preparation on an opened song (state 2) and leaves it in event form.
void prepareLoadedSong(MidiF0Data& song, const PreparationOptions& options, PreparedSong& result);

// Opens `path` (any Standard MIDI File) and prepares it. A file no reader accepts leaves
// ok = false after the readers' messages.
PreparedSong prepareSongFile(const std::string& path, const PreparationOptions& options);

}  // namespace tunecase
