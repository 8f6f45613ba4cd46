// A fitted song drawn as a punch strip at true size: a PDF of printable pages, the strip cut
// into pieces laid across each page with marks to tape them end to end, or one long SVG
// strip. Every length here is millimetres; page positions are measured from the page's
// top-left corner, strip positions along the strip from its start and across it from its
// lower edge (the lowest note's side).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "strips/box_models.h"
#include "strips/strip_fitting.h"

namespace tunecase {

enum class PaperSize { A4, Letter };

// The paper-strip music box a strip is printed for, and the paper, as the user chose them.
struct StripChoice {
    std::string box;
    bool letter = false;  // US letter instead of A4
};
// The fitting report of the song for a box name.
using StripReporter = std::function<std::string(const std::string& box)>;

// Blank strip before the song's first beat, for the box to take hold of, and after the
// last hole.
inline constexpr double kStripLeadInMm = 20;
inline constexpr double kStripTailMm = 15;
// Each piece starts this far before the end of the one before it: the taped joint.
inline constexpr double kStripOverlapMm = 10;
// Nothing is drawn closer than this to a page edge.
inline constexpr double kPageMarginMm = 10;
// The longest strip drawn, lead-in and tail included: 50 m, far more than a song needs.
inline constexpr double kMaxStripLengthMm = 50000;

struct PageRect {
    double x = 0, y = 0, width = 0, height = 0;
    double right() const { return x + width; }
    double bottom() const { return y + height; }
};

struct PagePoint {
    double x = 0, y = 0;
};

// The page laid landscape: width and height in millimetres.
PagePoint paperSizeMm(PaperSize paper);

// The part of the page that may be drawn on.
PageRect printableArea(PaperSize paper);

// One piece of a strip cut to fit the pages.
struct StripPiece {
    int number = 1;          // from 1, in strip order
    int page = 1;            // from 1
    double startMm = 0;      // the stretch of the strip the piece shows
    double endMm = 0;
    PageRect strip;          // the piece's paper on the page
    PageRect area;           // everything drawn for it: note names, bar numbers, marks, labels
};

// The whole strip: lead-in, the song, tail.
double stripLengthMm(const StripFit& fit);

// Why the strip of `fit` is not drawn: it is longer than kMaxStripLengthMm ("the strip would
// be 60123.0 mm long; a strip is at most 50000 mm (50 m)"); empty when it may be.
std::string stripLengthProblem(const StripFit& fit);

// Where the hole of `note` lies along the strip, and where the line of `tooth` lies across it.
double holeAlongMm(const StripNote& note);
double noteLineAcrossMm(const BoxModel& box, int tooth);

// The punched circle, and the ring drawn around a hole that follows its tooth's previous
// one too closely (its radius is the middle of the ring's line).
double holeRadiusMm(const BoxModel& box);
double tooCloseRingRadiusMm(const BoxModel& box);

// The strip of `lengthMm` cut into pieces as long as the page allows, each overlapping the
// one before by kStripOverlapMm, laid top to bottom on as many pages as needed, as many
// pieces to a page as fit. Empty when the strip is too wide for the page.
std::vector<StripPiece> layoutStripPages(double lengthMm, const BoxModel& box, PaperSize paper);

// The point of the strip at `alongMm` / `acrossMm` on the page of `piece`.
PagePoint stripPointOnPage(const StripPiece& piece, const BoxModel& box, double alongMm, double acrossMm);

struct StripDrawingOptions {
    PaperSize paper = PaperSize::A4;
    // The song's metre, for the beat and bar lines (beats of the time signature).
    int beatsPerBar = 4;
    int beatUnit = 4;
};

// Writes the strip of `fit` on `box` as printable pages (PDF) or as one long strip (SVG).
// False with the reason in `error` when the strip does not fit the paper or the file cannot
// be written; no partial file is left behind.
bool writeStripPdf(const StripFit& fit, const BoxModel& box, const StripDrawingOptions& options,
                   const std::string& path, std::string& error);
bool writeStripSvg(const StripFit& fit, const BoxModel& box, const StripDrawingOptions& options,
                   const std::string& path, std::string& error);

// The first page of the PDF drawn into pixels for a look on screen: 32-bit premultiplied ARGB
// in native byte order, `stride` bytes a row, on white.
struct StripImage {
    int width = 0, height = 0, stride = 0;
    std::vector<unsigned char> pixels;
    bool empty() const { return width <= 0 || height <= 0; }
};
// At `pxPerMm` pixels to the millimetre (0.5 to 20); empty with the reason in `error` when the
// strip is not drawn (too long, too wide for the paper).
StripImage renderStripFirstPage(const StripFit& fit, const BoxModel& box, const StripDrawingOptions& options,
                                double pxPerMm, std::string& error);
// Draws the first page of the strip for a box and paper, at a scale: what a window shows.
using StripPreviewer = std::function<StripImage(const std::string& box, bool letter, double pxPerMm)>;

// How many pages the PDF of `fit` takes (0 when it does not fit the paper).
int stripPageCount(const StripFit& fit, const BoxModel& box, PaperSize paper);

}  // namespace tunecase
