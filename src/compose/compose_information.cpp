#include "compose/compose_information.h"

#include <cstring>

#include "base/reporter.h"
#include "compose/compose_context.h"
#include "compose/compose_errors.h"
#include "base/translation.h"

namespace tunecase {

namespace {

// The song's chord sequence is full: the chords after it are left out.
constexpr const char* kSongChordsFullText = N_("The song reached 1000 chords; the chords after that were left out.");
constexpr int kClosingChord44 = 768;
constexpr int kClosingChordOther = 576;

}  // namespace

bool EventList::Add(const ComposeEntry& entry) {
    if (entries_.size() >= kCapacity) return false;
    if (entries_.size() + 1 == kCapacity) ReportComposeError(zemc::NoMoreNotes);
    entries_.push_back(entry);
    return true;
}

bool EventList::AddNote(int length, int pitch) {
    ComposeEntry e;
    e.kind = EntryKind::Note;
    e.length = length;
    e.value = pitch;
    return Add(e);
}

bool EventList::AddChord(int length, const ChordCode& code, std::string_view bassText) {
    ComposeEntry e;
    e.kind = EntryKind::Chord;
    e.length = length;
    e.chord = code;
    if (bassText.size() >= 2) {
        e.bassText[0] = bassText[0];
        e.bassText[1] = bassText[1];
    }
    return Add(e);
}

bool EventList::AddProgram(int program, int length) {
    ComposeEntry e;
    e.kind = EntryKind::Program;
    e.value = program;
    e.length = length;
    return Add(e);
}

bool EventList::AddMark(int length, std::string_view mark) {
    ComposeEntry e;
    e.kind = EntryKind::Mark;
    e.length = length;
    for (size_t i = 0; i < 4; ++i) e.mark[i] = i < mark.size() ? mark[i] : 'X';
    return Add(e);
}

int64_t EventList::Ticks() const {
    int64_t total = 0;
    for (const ComposeEntry& e : entries_)
        if (!e.isChord()) total += e.length;
    return total;
}

void ResetComposition(ComposeContext& ctx) {
    ComposeInformation& ci = ctx.information;
    ci.blockCount = 0;
    for (auto& chart : ci.timeCharts) chart.clear();
    for (auto& list : ci.blockChords) list.Clear();
    for (auto& list : ci.blockMelodies) list.Clear();
    for (auto& list : ci.blockSecondLines) list.Clear();
    ci.measureCount = 0;
    ci.songMelody.Clear();
    ci.songSecondLine.Clear();
    ci.structureMarks.Clear();
    ci.songChords.clear();
    ci.form.clear();
    ci.songRhythms.clear();
}

int BeatsPerMeasure(const ComposeContext& ctx) { return ctx.parameters.timeSignature == 0 ? 4 : 3; }

int MeasureLength(const ComposeContext& ctx) { return measureTicks(ctx.parameters.timeSignature); }

bool AddSongChord(ComposeContext& ctx, const ChordRecord& chord) {
    auto& chords = ctx.information.songChords;
    if (chords.size() >= static_cast<size_t>(kMaxSongChords)) return false;
    chords.push_back(chord);
    if (chords.size() == static_cast<size_t>(kMaxSongChords)) reportText(kSongChordsFullText, BoxKind::Ok);
    return true;
}

int64_t SongChordTicks(const ComposeContext& ctx) {
    int64_t total = 0;
    for (const ChordRecord& c : ctx.information.songChords) total += c.duration;
    return total;
}

int BuildSongChords(ComposeContext& ctx) {
    ComposeInformation& ci = ctx.information;
    ci.songChords.clear();
    bool room = true;
    for (int number : ci.form) {
        if (number < 1) {
            ReportComposeError(zemc::InvalidProgression);
            continue;
        }
        if (number > ci.blockCount) continue;
        for (const ComposeEntry& e : ci.blockChords[static_cast<size_t>(number - 1)]) {
            if (!e.isChord()) continue;
            room = AddSongChord(ctx, MakeChord(ctx, e.length, e.chord, std::string_view(e.bassText, 2)));
            if (!room) break;
        }
        if (!room) break;
    }
    if (room && ctx.parameters.progressionMethod != 8) {
        const int closing = ctx.parameters.timeSignature == 0 ? kClosingChord44 : kClosingChordOther;
        AddSongChord(ctx, MakeChord(ctx, closing, TonicCode(ctx), "00"));
    }
    const int64_t quarters = SongChordTicks(ctx) / 96;
    ci.measureCount = static_cast<int>(quarters / BeatsPerMeasure(ctx));
    return static_cast<int>(quarters);
}

void BuildStructureMarks(ComposeContext& ctx) {
    ComposeInformation& ci = ctx.information;
    EventList& marks = ci.structureMarks;
    marks.Clear();
    char last[4] = {'A', 'E', 'X', 'X'};
    for (int number : ci.form) {
        if (number < 1) {
            ReportComposeError(zemc::DrumPatternForm);
            continue;
        }
        if (number > ci.blockCount) continue;
        const EventList& chords = ci.blockChords[static_cast<size_t>(number - 1)];
        size_t lastChord = chords.size();
        for (size_t i = 0; i < chords.size(); ++i)
            if (chords[i].isChord()) lastChord = i;
        for (size_t i = 0; i < chords.size(); ++i) {
            if (!chords[i].isChord()) continue;
            const char mark[4] = {static_cast<char>('A' + (number - 1)), i == lastChord ? 'E' : 'X', 'X', 'X'};
            marks.AddMark(chords[i].length, std::string_view(mark, 4));
            std::memcpy(last, mark, 4);
        }
    }
    if (!ctx.engine.Arranging()) {
        const int measure = MeasureLength(ctx) == 384 ? 384 : 288;
        marks.AddMark(measure, std::string_view(last, 4));
        marks.AddMark(measure, std::string_view(last, 4));
    }
}

}  // namespace tunecase
