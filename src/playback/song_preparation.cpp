#include "playback/song_preparation.h"

#include <algorithm>

namespace tunecase {

namespace {

constexpr int kToyPianoProgram = 3;

}  // namespace

bool plateRange(int32_t plateType, int& lowest, int& highest) {
    const NoteRange range = mechanismRange(plateType);
    if (range.empty()) return false;
    lowest = range.first;
    highest = range.last;
    return true;
}

int64_t trimLeadingMeasures(MidiF0Data& song) {
    MidiTrackData* track = song.track();
    if (!track) return 0;
    const int first = track->firstNoteIndex();
    if (first >= track->eventCount()) return 0;
    const int64_t t = track->timeOf(first);
    const int64_t measure = song.measureTicks();
    const int64_t trimmed = t / measure * measure;
    if (trimmed > 0) song.trimStart(trimmed);
    return trimmed;
}

uint32_t deleteChannelsBySpacing(MidiF0Data& song, bool deleteShort, bool deleteLong) {
    MidiTrackData* track = song.track();
    if (!track) return 0;
    const int d = song.division();
    uint32_t deleted = 0;
    // Channel by channel on the track as it stands: once a dense channel is gone, the
    // onsets of the channels after it are measured without it.
    for (int ch = 0; ch < 16; ++ch) {
        const int a = track->averageDelta(ch);
        bool remove = false;
        if (a < d / 8) remove = deleteShort;
        else if (a > 3 * d) remove = deleteLong;
        if (remove) {
            song.deleteChannel(ch);
            deleted |= 1u << ch;
        }
    }
    return deleted;
}

int foldIntoRange(MidiTrackData& track, int lowest, int highest) {
    int moved = 0;
    for (int i = 0; i < track.eventCount(); ++i) {
        MidiEvent& e = *track.event(i);
        if (e.status != ev::Note && e.status != ev::NoteOn) continue;
        bool changed = false;
        while (e.data1 < lowest) {
            e.data1 += 12;
            // A sounding note stays audible: velocity 0 would make it a note off.
            if (e.velocity > 0) e.velocity = std::max(1, e.velocity * 8 / 10);
            changed = true;
        }
        while (e.data1 > highest && e.data1 >= 12) {
            e.data1 -= 12;
            changed = true;
        }
        if (changed) ++moved;
    }
    return moved;
}

int setAllPrograms(MidiTrackData& track, int program) {
    int n = 0;
    for (int i = 0; i < track.eventCount(); ++i) {
        MidiEvent& e = *track.event(i);
        if (e.status == ev::ProgramChange) {
            e.value = program;
            ++n;
        }
    }
    return n;
}

uint32_t reduceToOneVoice(MidiF0Data& song, bool deleteShort, bool deleteLong, int noteLength) {
    MidiTrackData* track = song.track();
    if (!track) return 0;
    const uint32_t deleted = deleteChannelsBySpacing(song, deleteShort, deleteLong);
    for (int ch = 0; ch < 16; ++ch) track->setDurationOfChannel(ch, noteLength);
    for (int ch = 1; ch < 16; ++ch) track->rechannel(ch, 0);
    track->removeDuplicateNotes();
    track->removeOctaveDoublings();
    return deleted;
}

void prepareLoadedSong(MidiF0Data& song, const PreparationOptions& options, PreparedSong& result) {
    result.ok = false;
    MidiTrackData* track = song.track();
    if (!track || song.state() != MidiF0Data::NoteEvents || song.division() <= 0) return;

    result.trimmedTicks = trimLeadingMeasures(song);
    result.deletedChannels = reduceToOneVoice(song, options.deleteShortNoteChannel,
                                              options.deleteLongNoteChannel, song.division() * 2 / 3);

    int lowest = 0, highest = 127;
    if (plateRange(options.plateType, lowest, highest)) {
        foldIntoRange(*track, lowest, highest);
        track->removeDuplicateNotes();
    }
    if (isToyPiano(options.plateType)) {
        setAllPrograms(*track, kToyPianoProgram);
        track->removeDuplicateNotes();
    }
    result.displayLength = song.lengthInTicks();
    song.toMidi();
    result.ok = song.state() == MidiF0Data::MidiEvents;
}

PreparedSong prepareSongFile(const std::string& path, const PreparationOptions& options) {
    PreparedSong result;
    result.song = MidiF0Data::openFile(path, kDefaultSongCapacity);
    if (!result.song || !result.song->isLoaded()) return result;
    prepareLoadedSong(*result.song, options, result);
    return result;
}

}  // namespace tunecase
