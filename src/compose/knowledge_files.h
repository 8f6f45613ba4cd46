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
// Each file is read whole, at most kKnowledgeBytes of it, into the composition's context
// before every composition; the stages parse records out of the texts when they need them.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tunecase {

struct ComposeContext;

inline constexpr size_t kKnowledgeBytes = 16384;  // the most read of any one file

enum class KnowledgeFile { Pattern, Cadence, TimeChart, CadenceTimeChart };

// The knowledge one composition has loaded.
struct KnowledgeTexts {
    std::array<std::string, 4> texts;      // by KnowledgeFile: the bytes read, up to the first NUL
    std::array<std::string, 4> readPaths;  // where LoadKnowledge read each file; "" when it did not open
    int weightUnit = 0;
    // Where this composition looks up plain file names; "" takes the program's default
    // (SetKnowledgeFolder).
    std::string folder;
};

// The text loaded for `which`: the bytes read, up to the first NUL.
std::string_view KnowledgeText(const ComposeContext& ctx, KnowledgeFile which);
std::string_view PatternText(const ComposeContext& ctx);
std::string_view CadenceText(const ComposeContext& ctx);
std::string_view TimeChartText(const ComposeContext& ctx);
std::string_view CadenceTimeChartText(const ComposeContext& ctx);

// Puts `bytes` into the text of `which` as a load would: at most kKnowledgeBytes of them, up
// to the first NUL. For the pattern file the weight unit is computed again.
void SetKnowledgeText(ComposeContext& ctx, KnowledgeFile which, std::string_view bytes);

// Where the program's compositions look up plain knowledge file names when their context
// names no folder of its own. Empty (the default) means the current folder at the time of
// the load, which is the program folder of a running player. Set once at start-up; safe to
// read from any thread.
void SetKnowledgeFolder(std::string folder);
std::string KnowledgeFolder();
// The folder of one composition: its own, else the program's.
std::string KnowledgeFolder(const ComposeContext& ctx);

// The path a knowledge file name is read from: the name itself when `ownPathAllowed` and
// the name is absolute (starts with "/"), else the composition's knowledge folder joined with
// the name.
std::string KnowledgePath(const ComposeContext& ctx, std::string_view name, bool ownPathAllowed);

// The text of the box shown after a pattern file could not be opened.
std::string PatternNotFoundText(std::string_view path);

// Reads the four files named by the context's parameters (pattern and cadence file) and by
// its knowledge names (the two time chart files) and computes the weight unit. Returns 1
// when the pattern file was read; 0 when it could not be opened (reported, and nothing else
// is read). A missing cadence or chart file is reported and leaves its text empty.
int LoadKnowledge(ComposeContext& ctx);

// Why a knowledge file that LoadKnowledge opened gives the composition nothing to work with:
// "PATH is empty; the cadence file holds a count, then that many chord progressions, each
// ended by \"|\"" (for the cadence and both time chart files). Empty when it holds text, and
// when it did not open (the loader has reported that).
std::string EmptyKnowledgeFileText(const ComposeContext& ctx, KnowledgeFile which);

// The largest pattern weight divided by 8 (integer division), from the context's pattern
// text; 0 when no weight reaches 8.
int WeightUnit(const ComposeContext& ctx);

// The level of a succession weight: 1 + weight / weight unit, 1 (rarest) .. 9 (most usual).
// A unit of 0 counts as 1, so a file without a weight of 8 still gives levels.
int SuccessionLevel(const ComposeContext& ctx, int weight);

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

    // Draws ctx.random.range(1, count) and gives that chart. A count below 1 or a draw past
    // the records held reports 0xff01003e and returns false.
    bool Pick(ComposeContext& ctx, std::string& chart) const;
};
ChartList ReadChartList(std::string_view text);

// Picks one chart of a time chart or cadence text: reads the count N, skips
// ctx.random.range(1, N) - 1 records and reads the next. False (reported) when the text
// holds no count or fewer records than the draw needs.
bool PickChart(ComposeContext& ctx, std::string_view text, std::string& chart);

}  // namespace tunecase
