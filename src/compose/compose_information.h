// The engine's composition state: the chord blocks and their time charts, the form, the
// song's chord sequence in playing order, the structure marks and the event lists the
// melody and accompaniment stages fill. One per composition (in its context), reset at every
// attempt.
//
// A song is laid out as chord blocks. Every block has a time chart (its chord durations)
// and a chord list; the form plays the blocks in order, each one or more times in a row
// (1, 1, 2, 3, 3, 3, 4, 4); the last block is the closing block. All lengths are ticks at
// 96 per quarter note.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "compose/chords.h"

namespace tunecase {

struct ComposeContext;

inline constexpr int kMaxBlocks = 200;          // chord blocks of one song
inline constexpr int kMaxChartDurations = 255;  // durations of one time chart
inline constexpr int kMaxSongChords = 1000;     // chords of the song chord sequence
inline constexpr int kMaxFormEntries = 1024;    // block plays of the form

// What an event list entry is. The numbers are the engine's own kind codes.
enum class EntryKind : int32_t { Chord = 0, Mark = 1, Program = 2, Note = 144 };

// One entry of an event list.
//   Note     `value` is the pitch, 0 for a rest; `length` is the time it takes.
//   Chord    the chord that the following notes sound over: `chord`, `bassText`, and its
//            duration in `length`. A chord entry takes no time of its own in a note list.
//   Program  `value` is the program number; `length` is the time before the next entry.
//   Mark     a structure mark (`mark`) lasting `length`.
struct ComposeEntry {
    int32_t length = 0;
    int32_t value = 0;
    EntryKind kind = EntryKind::Note;
    ChordCode chord;
    char bassText[2] = {'0', '0'};
    char mark[4] = {'X', 'X', 'X', 'X'};

    bool isNote() const { return kind == EntryKind::Note; }
    bool isRest() const { return kind == EntryKind::Note && value == 0; }
    bool isSounding() const { return kind == EntryKind::Note && value != 0; }
    bool isChord() const { return kind == EntryKind::Chord; }
    bool isProgram() const { return kind == EntryKind::Program; }
    bool isMark() const { return kind == EntryKind::Mark; }
    std::string bass() const { return std::string(bassText, 2); }
    std::string markText() const { return std::string(mark, 4); }
};

// A list of up to kCapacity entries. Adding the last entry that fits reports 0xff010134
// ("No more memory for notes!") and still adds it; once the list is full, further
// additions are ignored.
class EventList {
public:
    static constexpr size_t kCapacity = 16384;

    // Appends `entry`; false when the list was already full.
    bool Add(const ComposeEntry& entry);
    bool AddNote(int length, int pitch);
    bool AddRest(int length) { return AddNote(length, 0); }
    bool AddChord(int length, const ChordCode& code, std::string_view bassText = "00");
    bool AddProgram(int program, int length = 0);
    bool AddMark(int length, std::string_view mark);

    void Clear() { entries_.clear(); }
    size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    bool full() const { return entries_.size() >= kCapacity; }
    const ComposeEntry& operator[](size_t i) const { return entries_[i]; }
    ComposeEntry& operator[](size_t i) { return entries_[i]; }
    const ComposeEntry& back() const { return entries_.back(); }
    std::vector<ComposeEntry>::const_iterator begin() const { return entries_.begin(); }
    std::vector<ComposeEntry>::const_iterator end() const { return entries_.end(); }
    std::vector<ComposeEntry>::iterator begin() { return entries_.begin(); }
    std::vector<ComposeEntry>::iterator end() { return entries_.end(); }

    // The time the list takes: the lengths of its notes (rests included), program changes
    // and marks. Chord entries take none.
    int64_t Ticks() const;

private:
    std::vector<ComposeEntry> entries_;
};

struct ComposeInformation {
    int blockCount = 0;  // chord blocks, the closing block last
    // Per block (index = block number - 1): its chord durations as charted.
    std::array<std::vector<int32_t>, kMaxBlocks> timeCharts;
    // Per block: one chord entry per chord, in order.
    std::array<EventList, kMaxBlocks> blockChords;
    // Per block: the melody made for it, and the second line derived from that.
    std::array<EventList, kMaxBlocks> blockMelodies;
    std::array<EventList, kMaxBlocks> blockSecondLines;
    int measureCount = 0;     // song chord sequence length / 96 / beats per measure
    EventList songMelody;     // the whole melody in form order, with its ending
    EventList songSecondLine; // the whole second line
    EventList structureMarks; // one mark per chord in form order, then the closing measures
    std::vector<ChordRecord> songChords;  // the chords in playing order, closing chord last
    std::vector<int> form;    // block numbers from 1, in playing order
    // A singable melody's first rhythm under each chord duration, note lengths in order: later
    // blocks often take it up again, as a tune keeps to a few bar rhythms.
    std::vector<std::pair<int, std::vector<int>>> songRhythms;
};

// Clears every list, chart, the form and the song chord sequence for a new attempt.
void ResetComposition(ComposeContext& ctx);

// Quarter notes per measure for counting measures: 4 in 4/4, 3 in 3/4 and in 7/8.
int BeatsPerMeasure(const ComposeContext& ctx);

// Ticks of one measure of the composition's meter: 384, 288 or 336.
int MeasureLength(const ComposeContext& ctx);

// Appends a chord to the song chord sequence. The 1000th chord shows the box
// "ComposeInformation::ErrorMsg"; chords after it are not added (false).
bool AddSongChord(ComposeContext& ctx, const ChordRecord& chord);

// Rebuilds the song chord sequence from the form: every chord of every played block, then
// (unless the progression method is 8) the tonic as closing chord, 768 ticks in 4/4 and 576
// otherwise. A form entry below 1 reports 0xff0101c6 and is skipped. Sets the measure
// count and returns the sequence's length in quarter notes.
int BuildSongChords(ComposeContext& ctx);

// The length of the song chord sequence in ticks.
int64_t SongChordTicks(const ComposeContext& ctx);

// Rebuilds the structure-mark list: for every chord in form order a mark "A" + block index,
// 'E' on a block's last chord and 'X' otherwise, then "XX", lasting the chord's duration;
// then, unless a supplied melody is being arranged, the last mark twice more, one measure
// each. A form entry below 1 reports 0xff0101d0.
void BuildStructureMarks(ComposeContext& ctx);

}  // namespace tunecase
