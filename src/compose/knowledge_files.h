// The engine's knowledge files: which chord may follow which (the pattern file), which
// progressions close a song (the cadence file), and the chord-duration charts of ordinary
// blocks (the time chart file) and of the closing block (the cadence time chart file).
//
// All four are text made of records. A record is the text up to the next "|"; carriage
// returns, line feeds and spaces are skipped anywhere and never belong to a record; text
// after the last "|" is not a record. Numbers are decimal digits.
//
//   pattern file       records "CCCCNNNNwww": current chord, a chord that may follow, weight
//   cadence file       a count record N, then N records of chord codes, four characters each
//   time chart files   a count record N, then N records of durations, three digits each (ticks)
//
// Each file is read whole, at most kKnowledgeBytes of it, into its own buffer before every
// composition; the stages parse records out of the buffers when they need them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tunecase {

inline constexpr size_t kKnowledgeBytes = 16384;  // the most read of any one file

enum class KnowledgeFile { Pattern, Cadence, TimeChart, CadenceTimeChart };

// The text loaded for `which`: the bytes read, up to the first NUL.
std::string_view KnowledgeText(KnowledgeFile which);
inline std::string_view PatternText() { return KnowledgeText(KnowledgeFile::Pattern); }
inline std::string_view CadenceText() { return KnowledgeText(KnowledgeFile::Cadence); }
inline std::string_view TimeChartText() { return KnowledgeText(KnowledgeFile::TimeChart); }
inline std::string_view CadenceTimeChartText() { return KnowledgeText(KnowledgeFile::CadenceTimeChart); }

// Puts `bytes` into the buffer of `which` as a load would: at most kKnowledgeBytes of them,
// then a NUL. For the pattern file the weight unit is computed again.
void SetKnowledgeText(KnowledgeFile which, std::string_view bytes);

// Where plain knowledge file names are looked up. Empty (the default) means the current
// folder at the time of the load, which is the program folder of a running player.
void SetKnowledgeFolder(std::string folder);
std::string KnowledgeFolder();

// The path a knowledge file name is read from: the name itself when `ownPathAllowed` and
// the name is absolute (starts with "/"), else the knowledge folder joined with the name.
std::string KnowledgePath(std::string_view name, bool ownPathAllowed);

// The text of the box shown after a pattern file could not be opened.
std::string PatternNotFoundText(std::string_view path);

// Reads the four files named by currentParameters (pattern and cadence file) and by the
// current knowledge names (the two time chart files), computes the weight unit and builds
// the chord-tone table. Returns 1 when the pattern file was read; 0 when it could not be
// opened (reported, and nothing else is read). A missing cadence or chart file is reported
// and leaves its text empty.
int LoadKnowledge();

// Why a knowledge file that LoadKnowledge opened gives the composition nothing to work with:
// "PATH is empty; the cadence file holds a count, then that many chord progressions, each
// ended by \"|\"" (for the cadence and both time chart files). Empty when it holds text, and
// when it did not open (the loader has reported that).
std::string EmptyKnowledgeFileText(KnowledgeFile which);

// The largest pattern weight divided by 8 (integer division), from the current pattern
// text; 0 when no weight reaches 8.
int WeightUnit();

// The level of a succession weight: 1 + weight / weight unit, 1 (rarest) .. 9 (most usual).
// A unit of 0 counts as 1, so a file without a weight of 8 still gives levels.
int SuccessionLevel(int weight);

// The weight of a pattern record: the number from its ninth character on (0 when shorter).
int PatternWeight(std::string_view record);

// The number a record (or part of one) starts with, read the way atoi reads it, limited to
// the int range.
int RecordNumber(std::string_view text);

// Reads the record that starts at `position` and moves `position` past its "|". Returns
// false, with `record` empty and `position` at the end, when the text ends before a "|".
bool ReadRecord(std::string_view text, size_t& position, std::string& record);

// Moves `position` past `count` records. Reports 0xff01003e ("can't read database file!")
// and returns 0 when the text ends first; 1 otherwise.
int SkipRecords(std::string_view text, int count, size_t& position);

// The records of a chart file (or cadence file) after its count record.
struct ChartList {
    int count = 0;                     // what the count record says
    std::vector<std::string> charts;   // the records that follow it

    // Draws RandomRange(1, count) and gives that chart. A count below 1 or a draw past the
    // records held reports 0xff01003e and returns false.
    bool Pick(std::string& chart) const;
};
ChartList ReadChartList(std::string_view text);

// Picks one chart of a time chart or cadence text: reads the count N, skips
// RandomRange(1, N) - 1 records and reads the next. False (reported) when the text holds
// no count or fewer records than the draw needs.
bool PickChart(std::string_view text, std::string& chart);

}  // namespace tunecase
