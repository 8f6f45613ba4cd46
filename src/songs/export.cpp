#include "songs/export.h"

#include <memory>
#include <utility>

#include "base/reporter.h"
#include "base/text_codec.h"
#include "midi/midi_event.h"
#include "midi/midi_f0_data.h"
#include "playback/song_preparation.h"
#include "base/translation.h"

namespace tunecase {

namespace {

// The title cut to what an export carries, never inside a UTF-8 character.
std::string exportTitle(const std::string& title) {
    if (title.size() <= kMaxExportTitleBytes) return title;
    std::string cut = title.substr(0, kMaxExportTitleBytes);
    if (isValidUtf8(title))
        while (!cut.empty() && !isValidUtf8(cut)) cut.pop_back();
    return cut;
}

// Loads the source as one song in note form with the player's buffer; null when no reader
// accepted it (the readers have said why).
std::unique_ptr<MidiF0Data> loadSource(const std::string& source) {
    auto song = MidiF0Data::openFile(source, kDefaultSongCapacity);
    if (!song || !song->isLoaded() || !song->track() || song->state() != MidiF0Data::NoteEvents ||
        song->division() <= 0)
        return nullptr;
    return song;
}

bool sounds(const MidiEvent& e) { return (e.status == ev::Note || e.status == ev::NoteOn) && e.velocity > 0; }

int soundingNotes(const MidiTrackData& track) {
    int n = 0;
    for (const auto& e : track.events()) n += sounds(*e);
    return n;
}

// Folds every note into the range, then drops what folding could not bring into it (the
// instrument has no key for it) and thins doubled notes. False, after a box, when no note
// is left of a song that had some: an empty file is no export.
bool foldAndThin(MidiTrackData& track, int lowNote, int highNote, const std::string& source, ExportCounts& counts) {
    const int before = soundingNotes(track);
    foldIntoRange(track, lowNote, highNote);
    counts.droppedOutsideRange = 0;
    if (lowNote <= highNote)
        for (int i = track.eventCount() - 1; i >= 0; --i) {
            const MidiEvent& e = *track.event(i);
            if ((e.status != ev::Note && e.status != ev::NoteOn) || (e.data1 >= lowNote && e.data1 <= highNote)) continue;
            counts.droppedOutsideRange += sounds(e);
            track.removeEvent(i);
        }
    track.removeDuplicateNotes();
    counts.notes = soundingNotes(track);
    if (before > 0 && counts.notes == 0) {
        const std::string keys = std::to_string(lowNote) + "-" + std::to_string(highNote);
        reportText(fillIn(fillIn(tr("No note of %s lies in the keys %s after folding by octaves, so nothing was exported."),
                                 source), keys),
                   BoxKind::Ok);
        return false;
    }
    return true;
}

// Event form, written in order as format 0.
bool writeSong(MidiF0Data& song, const std::string& output) {
    if (!song.toMidi()) return false;
    return song.saveFile(output) != 0;
}

}  // namespace

bool exportRangedMidi(const RangedMidiExportJob& job, ExportCounts* counts) {
    auto song = loadSource(job.source);
    if (!song) return false;
    MidiTrackData& track = *song->track();

    track.removeMetaExceptTempoAndEnd();
    reduceToOneVoice(*song, job.deleteShortNoteChannel, job.deleteLongNoteChannel, song->division() * 2 / 3);
    ExportCounts made;
    if (!foldAndThin(track, job.lowNote, job.highNote, job.source, made)) return false;
    if (counts) *counts = made;

    track.removeProgramChanges(0);
    track.insertProgramChangeForChannel(0, job.program);

    track.removeSysEx();
    track.removeMeta(meta::TrackName, true);
    track.insertMetaTextAtStart(meta::TrackName, exportTitle(job.title));

    return writeSong(*song, job.output);
}

bool exportToyPiano(const ToyPianoExportJob& job, ExportCounts* counts) {
    auto song = loadSource(job.source);
    if (!song) return false;
    if (!song->changeDivision(kToyPianoDivision)) return false;
    MidiTrackData& track = *song->track();

    track.removeMetaExceptTempoAndEnd();
    reduceToOneVoice(*song, job.deleteShortNoteChannel, job.deleteLongNoteChannel, song->division() / 8);
    ExportCounts made;
    if (!foldAndThin(track, job.lowNote, job.highNote, job.source, made)) return false;
    if (counts) *counts = made;

    track.removeProgramChanges(0);
    track.removeSysEx();

    return writeSong(*song, job.output);
}

bool exportAudio(const AudioExportJob& job, RenderResult* result) {
    PreparedSong prepared = prepareSongFile(job.source, job.preparation);
    if (!prepared.ok || !prepared.song || !prepared.song->track()) return false;
    RenderOptions options;
    options.soundfont = job.soundfont;
    options.progress = job.progress;
    const RenderResult rendered = renderPreparedSong(prepared, job.speedPercent, job.output, options);
    if (result) *result = rendered;
    if (!rendered.ok) {
        ScopedReason reason(rendered.error);
        reportFilled(N_("The audio file could not be written:\n%s"), job.output, BoxKind::Ok);
    }
    return rendered.ok;
}

}  // namespace tunecase
