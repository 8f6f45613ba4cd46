// tunecase-cli export: a song written for a real instrument, as the song list editor's
// EXPORT does: a music box MIDI file within a key range on one program with the title, or
// with --toy-piano a toy piano file at 48 ticks per quarter note.
#include <cstdio>
#include <memory>
#include <regex>
#include <string>

#include "base/reporter.h"
#include "base/text_codec.h"
#include "base/translation.h"
#include "base/utilities.h"
#include "cli/commands.h"
#include "cli/input_reasons.h"
#include "songs/export.h"

namespace tunecase::cli {

namespace {

struct ExportOptions {
    std::string range;
    int program = kExportMusicBoxProgram;
    std::string title;
    bool titleGiven = false;
    bool toyPiano = false;
    bool keepShort = false;
    bool keepLong = false;
    std::string in, out;
    CLI::Option* programOption = nullptr;
    CLI::Option* titleOption = nullptr;
};

// "LO-HI" with both ends in 0..127. The low end may lie above the high end: that is a range
// the export accepts too.
bool parseRange(const std::string& text, int& low, int& high) {
    static const std::regex pattern("^([0-9]{1,3})-([0-9]{1,3})$");
    std::smatch m;
    if (!std::regex_match(text, m, pattern)) return false;
    low = std::stoi(m[1]);
    high = std::stoi(m[2]);
    return low <= 127 && high <= 127;
}

// "; 5 notes outside 72-80 after folding were dropped", or nothing when none were.
std::string droppedText(const ExportCounts& counts, int low, int high) {
    if (counts.droppedOutsideRange == 0) return {};
    const std::string range = std::to_string(low) + "-" + std::to_string(high);
    return fillIn(counts.droppedOutsideRange == 1 ? tr("; %s note outside %s after folding was dropped")
                                                  : tr("; %s notes outside %s after folding were dropped"),
                  {std::to_string(counts.droppedOutsideRange), range});
}

int usageError(const std::string& message) {
    std::fprintf(stderr, tr("tunecase-cli export: %s\nRun with --help for more information.\n"),
                 escapeControls(message).c_str());
    return 2;
}

int runExport(const ExportOptions& o) {
    ScopedReason why(midiInputReason("export", o.in));
    int low = kDefaultLowNote, high = kDefaultHighNote;
    if (!o.range.empty() && !parseRange(o.range, low, high))
        return usageError(tr("--range must be LO-HI with notes 0..127, for example 21-108"));
    if (o.toyPiano) {
        if (o.programOption->count() || o.titleOption->count())
            return usageError(tr("a toy piano file has neither a program nor a title"));
        ToyPianoExportJob job;
        job.source = o.in;
        job.output = o.out;
        job.lowNote = low;
        job.highNote = high;
        job.deleteShortNoteChannel = !o.keepShort;
        job.deleteLongNoteChannel = !o.keepLong;
        ExportCounts counts;
        if (!exportToyPiano(job, &counts)) return 1;
        std::printf(tr("%s: toy piano, division %d, notes %d-%d%s\n"), escapeControls(o.out).c_str(), kToyPianoDivision, low,
                    high, droppedText(counts, low, high).c_str());
        return 0;
    }
    RangedMidiExportJob job;
    job.source = o.in;
    job.output = o.out;
    job.lowNote = low;
    job.highNote = high;
    job.program = o.program;
    job.title = o.titleOption->count() ? o.title : fileNamePart(o.in);
    job.deleteShortNoteChannel = !o.keepShort;
    job.deleteLongNoteChannel = !o.keepLong;
    ExportCounts counts;
    if (!exportRangedMidi(job, &counts)) return 1;
    std::printf(tr("%s: music box, program %d, notes %d-%d%s\n"), escapeControls(o.out).c_str(), job.program, low, high,
                droppedText(counts, low, high).c_str());
    return 0;
}

}  // namespace

Action declareExport(CLI::App& sub) {
    auto o = std::make_shared<ExportOptions>();
    sub.add_option("--range", o->range, tr("the key range LO-HI, MIDI notes 0..127 (default 21-108)"));
    o->programOption = sub.add_option("--program", o->program, tr("the program of the music box file (default 10)"))
                           ->check(CLI::Range(0, 127));
    o->titleOption = sub.add_option("--title", o->title, tr("the title written into the file (default: IN's file name)"));
    sub.add_flag("--toy-piano", o->toyPiano, tr("write a toy piano file (.fem): 48 ticks per quarter, 6-tick notes"));
    sub.add_flag("--keep-short", o->keepShort, tr("keep channels whose notes are very dense"));
    sub.add_flag("--keep-long", o->keepLong, tr("keep channels whose notes are very sparse"));
    sub.add_option("IN", o->in, tr("the MIDI file to export"))->required();
    sub.add_option("OUT", o->out, tr("the file to write"))->required();
    return [o] { return runExport(*o); };
}

}  // namespace tunecase::cli
