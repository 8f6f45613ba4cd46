// tunecase-cli strip: a song fitted to a paper-strip music box and written as a printable
// punch strip (PDF pages or one long SVG strip), or only the fitting report.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "base/reporter.h"
#include "base/text_codec.h"
#include "base/translation.h"
#include "base/user_folders.h"
#include "base/utilities.h"
#include "cli/commands.h"
#include "cli/input_reasons.h"
#include "cli/json_output.h"
#include "strips/box_models.h"
#include "strips/strip_drawing.h"
#include "strips/strip_fitting.h"

namespace tunecase::cli {

namespace {

struct StripOptions {
    std::string box;
    std::string transpose = "auto";
    double beatMm = 0;
    std::string paper = "a4";
    std::string boxesFile;
    std::string title;
    bool report = false;
    bool json = false;
    bool keepShort = false;
    bool keepLong = false;
    std::string in, out;
    CLI::Option* beatOption = nullptr;
};

int usageError(const std::string& message) {
    std::fprintf(stderr, tr("tunecase-cli strip: %s\nRun with --help for more information.\n"),
                 escapeControls(message).c_str());
    return 2;
}

int failure(const std::string& message) {
    std::fprintf(stderr, tr("tunecase-cli strip: %s\n"), escapeControls(message).c_str());
    return 1;
}

// The report's lines, each with its outside text (title, box name) made safe to print.
std::string shownReport(const StripFit& fit) {
    std::string shown;
    const std::string report = stripReportText(fit);
    for (size_t from = 0; from < report.size();) {
        const size_t end = std::min(report.find('\n', from), report.size());
        shown += escapeControls(std::string_view(report).substr(from, end - from)) + "\n";
        from = end + 1;
    }
    return shown;
}

std::string mmText(double mm) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", mm);
    return text;
}

// "1 page A4", "3 pages letter"
std::string pagesText(int pages, const char* paper) {
    if (pages == 0) return fillIn(tr("too wide for %s pages"), paper);
    return fillIn(pages == 1 ? tr("%s page %s") : tr("%s pages %s"), {std::to_string(pages), paper});
}

const char* fateName(StripNoteFate fate) {
    switch (fate) {
    case StripNoteFate::Kept: return "kept";
    case StripNoteFate::Folded: return "folded";
    case StripNoteFate::Dropped: return "dropped";
    }
    return "";
}

// One note of the report in machine form: where it is and what became of it.
nlohmann::ordered_json noteJson(const StripNote& n, int transpose) {
    nlohmann::ordered_json note = {{"bar", n.where.bar},
                                   {"beat", n.where.beat},
                                   {"tick", n.tick},
                                   {"key", n.originalKey + transpose},
                                   {"name", noteName(n.originalKey + transpose)},
                                   {"original_key", n.originalKey},
                                   {"fate", fateName(n.fate)}};
    if (n.key >= 0) {
        note["punched_key"] = n.key;
        note["punched_name"] = noteName(n.key);
        note["position_mm"] = n.positionMm;
    }
    return note;
}

nlohmann::ordered_json reportJson(const StripFit& fit, const BoxModel& box) {
    nlohmann::ordered_json folded = nlohmann::ordered_json::array(), dropped = nlohmann::ordered_json::array(),
                           close = nlohmann::ordered_json::array();
    for (const StripNote& n : fit.notes) {
        if (n.fate == StripNoteFate::Folded) folded.push_back(noteJson(n, fit.transpose));
        if (n.fate == StripNoteFate::Dropped) dropped.push_back(noteJson(n, fit.transpose));
        if (n.tooClose) close.push_back(noteJson(n, fit.transpose));
    }
    return {{"box", displayText(box.name)},
            {"title", displayText(fit.title)},
            {"transpose", fit.transpose},
            {"mm_per_beat", fit.mmPerBeat},
            {"song_mm", fit.lengthMm},
            {"strip_mm", stripLengthMm(fit)},
            {"counts",
             {{"notes", fit.notes.size()},
              {"kept", fit.kept},
              {"folded", fit.folded},
              {"dropped", fit.dropped},
              {"too_close", fit.tooClose}}},
            {"folded", folded},
            {"dropped", dropped},
            {"too_close", close}};
}

// "15-note, 20-note, 30-note"
std::string boxNames(const std::vector<BoxModel>& boxes) {
    std::string names;
    for (const BoxModel& b : boxes) names += (names.empty() ? "" : ", ") + b.name;
    return names.empty() ? std::string(tr("(none)")) : names;
}

int runStrip(const StripOptions& o) {
    // What is asked for, before anything is read.
    const std::string kind = o.out.empty() ? std::string() : extensionLower(o.out);
    if (o.report && !o.out.empty()) return usageError(tr("--report writes no file: leave out OUT"));
    if (!o.report && o.out.empty()) return usageError(tr("OUT is required: a .pdf or .svg file to write"));
    if (!o.report && kind != "pdf" && kind != "svg")
        return usageError(fillIn(tr("OUT must end in .pdf (printable pages) or .svg (one long strip): %s"), o.out));
    std::optional<int> transpose;
    if (o.transpose != "auto") transpose = std::stoi(o.transpose);

    const std::string boxesFile = o.boxesFile.empty() ? joinPath(findProgramFolder(), kBoxModelsFileName) : o.boxesFile;
    std::vector<BoxModelError> errors;
    const std::vector<BoxModel> boxes = loadBoxModels(boxesFile, errors);
    for (const BoxModelError& e : errors) {
        if (e.line == 0) return failure(boxesFile + ": " + e.message);
        std::fprintf(stderr, tr("tunecase-cli strip: %s:%d: %s\n"), escapeControls(boxesFile).c_str(), e.line,
                     escapeControls(e.message).c_str());
    }
    const std::optional<BoxModel> box = findBoxModel(boxes, o.box);
    if (!box)
        return usageError(fillIn(errors.empty() ? tr("no box named \"%s\" in %s; the boxes are: %s")
                                                : tr("no usable box named \"%s\" in %s; the boxes are: %s"),
                                 {o.box, boxesFile, boxNames(boxes)}));

    ScopedReason why(midiInputReason("strip", o.in));
    std::optional<StripSong> song = loadStripSong(o.in, !o.keepShort, !o.keepLong);
    if (!song) return 1;  // the readers have said why
    if (!o.title.empty()) song->title = o.title;
    StripFitOptions fitOptions;
    fitOptions.transpose = transpose;
    if (o.beatOption->count()) fitOptions.mmPerBeat = o.beatMm;
    StripFit fit = fitSongToBox(*song, *box, fitOptions);
    // A strip longer than any song needs is neither counted into pages nor drawn.
    if (const std::string tooLong = stripLengthProblem(fit); !tooLong.empty())
        return failure(tooLong + (o.beatOption->count() ? tr("; give a smaller --beat-mm") : ""));

    std::string paperWord = o.paper;
    for (char& c : paperWord) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const PaperSize paper = paperWord == "letter" ? PaperSize::Letter : PaperSize::A4;
    const char* paperName = paper == PaperSize::A4 ? "A4" : tr("letter");
    if (o.report) {
        if (o.json) {
            std::printf("%s\n", jsonLine(reportJson(fit, *box)).c_str());
            return 0;
        }
        std::printf(tr("%sStrip: %s mm, %s\n"), shownReport(fit).c_str(),
                    mmText(stripLengthMm(fit)).c_str(), pagesText(stripPageCount(fit, *box, paper), paperName).c_str());
        return 0;
    }

    StripDrawingOptions drawing;
    drawing.paper = paper;
    drawing.beatsPerBar = song->beatsPerBar;
    drawing.beatUnit = song->beatUnit;
    std::string error;
    const bool written = kind == "pdf" ? writeStripPdf(fit, *box, drawing, o.out, error)
                                       : writeStripSvg(fit, *box, drawing, o.out, error);
    if (!written) return failure(fillIn(tr("cannot write %s: %s"), {o.out, error}));
    std::printf("%s", shownReport(fit).c_str());
    if (kind == "pdf")
        std::printf(tr("Strip: %s mm, %s: %s\n"), mmText(stripLengthMm(fit)).c_str(),
                    pagesText(stripPageCount(fit, *box, paper), paperName).c_str(), escapeControls(o.out).c_str());
    else
        std::printf(tr("Strip: %s mm, one long strip: %s\n"), mmText(stripLengthMm(fit)).c_str(),
                    escapeControls(o.out).c_str());
    return 0;
}

}  // namespace

Action declareStrip(CLI::App& sub) {
    auto o = std::make_shared<StripOptions>();
    sub.add_option("--box", o->box, tr("the music box movement, as named in the boxes file (listed below)"))->required();
    // Read only when the help is shown, from the boxes file the command would use.
    sub.footer([] {
        std::vector<BoxModelError> errors;
        const std::string file = joinPath(findProgramFolder(), kBoxModelsFileName);
        return fillIn(tr("Boxes in %s: %s"), {escapeControls(file), escapeControls(boxNames(loadBoxModels(file, errors)))});
    });
    sub.add_option("--transpose", o->transpose,
                   tr("semitones to move the song, -24..24, or auto for the move that fits the comb best (default)"))
        ->check(CLI::Validator(
            [](std::string& value) -> std::string {
                if (value == "auto") return {};
                try {
                    size_t used = 0;
                    const int t = std::stoi(value, &used);
                    if (used == value.size() && t >= -kMaxStripTranspose && t <= kMaxStripTranspose) return {};
                } catch (const std::exception&) {
                }
                return fillIn(tr("--transpose must be auto or a whole number of semitones from -24 to 24: %s"), value);
            },
            "auto|-24..24", "transpose"));
    o->beatOption = sub.add_option("--beat-mm", o->beatMm,
                                   fillIn(tr("strip length of one beat (a quarter note), %s (default: the box's); the "
                                             "whole strip may be at most 50 m long"),
                                          rangeText(kBoxBeatRange)))
                        ->check(CLI::Validator(
                            [](std::string& value) -> std::string {
                                try {
                                    size_t used = 0;
                                    const double mm = std::stod(value, &used);
                                    if (used == value.size() && kBoxBeatRange.contains(mm)) return {};
                                } catch (const std::exception&) {
                                }
                                return fillIn(tr("%s is out of range: a beat is %s of strip"),
                                              {value, rangeText(kBoxBeatRange)});
                            },
                            "MM", "beat-mm"));
    sub.add_option("--paper", o->paper, tr("paper size of the PDF pages: a4 (default) or letter"))
        ->check(CLI::IsMember({"a4", "letter"}, CLI::ignore_case));
    sub.add_option("--boxes", o->boxesFile, tr("the boxes file (default: boxes.txt in the program folder)"));
    sub.add_option("--title", o->title,
                   tr("the title printed on the strip (default: the song's title, its first track's name, else its file "
                   "name)"));
    auto* report = sub.add_flag("--report", o->report, tr("print the fitting report only, write no file"));
    sub.add_flag("--json", o->json, tr("with --report: print the report as one JSON object"))->needs(report);
    sub.add_flag("--keep-short", o->keepShort, tr("keep channels whose notes are very dense"));
    sub.add_flag("--keep-long", o->keepLong, tr("keep channels whose notes are very sparse"));
    sub.add_option("IN", o->in, tr("the MIDI file to fit"))->required();
    sub.add_option("OUT", o->out, tr("the strip to write: .pdf for printable pages, .svg for one long strip"));
    return [o] { return runStrip(*o); };
}

}  // namespace tunecase::cli
