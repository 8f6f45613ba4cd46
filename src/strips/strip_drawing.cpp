#include "strips/strip_drawing.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

#include "base/atomic_file.h"
#include "base/text_codec.h"
#include "base/reporter.h"
#include "base/translation.h"

namespace tunecase {

namespace {

constexpr double kPtPerMm = 72.0 / 25.4;
constexpr double kPi = 3.14159265358979323846;

// Page furniture, top to bottom: the title and crank lines, the pieces, the ruler.
constexpr double kHeaderMm = 16;
constexpr double kFooterMm = 10;
constexpr double kRulerMm = 100;
// Around each piece: note names to its left, a little room to its right, bar numbers and
// alignment marks above it, the piece's labels below it, and a gap to cut along.
constexpr double kNamesGutterMm = 9;
constexpr double kEndGutterMm = 2;
constexpr double kAboveStripMm = 4;
constexpr double kBelowStripMm = 5;
constexpr double kPieceGapMm = 3;
// The one long strip of an SVG has its note names in the lead-in and a small edge above.
constexpr double kSvgTopMm = 2;

constexpr double kLabelMm = 2.4;     // text size of labels, bar numbers and the ruler
constexpr double kMarkMm = 1.8;      // height of the alignment triangles

struct Rgb {
    double r, g, b;
};
constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kFlagRed{0.85, 0.05, 0.05};
constexpr Rgb kNoteLine{0.55, 0.55, 0.55};
constexpr Rgb kBeatLine{0.65, 0.65, 0.65};
constexpr Rgb kBarLine{0.3, 0.3, 0.3};
constexpr Rgb kOverlapShade{0.9, 0.9, 0.9};

double pieceSlotMm(const BoxModel& box) { return kAboveStripMm + box.stripWidthMm + kBelowStripMm; }

// ---- Text ---------------------------------------------------------------------------------

enum class Align { Left, Centre, Right };

// The first of our faces that has every character of `text`: plain sans-serif for Latin
// text, a CJK face for Japanese titles, sans-serif again when none has them all.
const char* faceFor(cairo_t* cr, const std::string& text, cairo_font_weight_t weight) {
    static const char* const faces[] = {"sans-serif", "Noto Sans CJK JP"};
    for (const char* face : faces) {
        cairo_save(cr);
        cairo_select_font_face(cr, face, CAIRO_FONT_SLANT_NORMAL, weight);
        cairo_scaled_font_t* font = cairo_get_scaled_font(cr);
        cairo_glyph_t* glyphs = nullptr;
        int count = 0;
        bool complete = false;
        if (cairo_scaled_font_text_to_glyphs(font, 0, 0, text.c_str(), static_cast<int>(text.size()), &glyphs,
                                             &count, nullptr, nullptr, nullptr) == CAIRO_STATUS_SUCCESS) {
            complete = std::all_of(glyphs, glyphs + count, [](const cairo_glyph_t& g) { return g.index != 0; });
            cairo_glyph_free(glyphs);
        }
        cairo_restore(cr);
        if (complete) return face;
    }
    return faces[0];
}

// Draws `text` (UTF-8) with its baseline at y. Returns the width it took.
double drawText(cairo_t* cr, double x, double y, const std::string& text, double size, Align align = Align::Left,
                bool bold = false, Rgb colour = kBlack) {
    const cairo_font_weight_t weight = bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL;
    bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    cairo_select_font_face(cr, ascii ? "sans-serif" : faceFor(cr, text, weight), CAIRO_FONT_SLANT_NORMAL, weight);
    cairo_set_font_size(cr, size);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    double left = x;
    if (align == Align::Centre) left = x - extents.x_advance / 2;
    if (align == Align::Right) left = x - extents.x_advance;
    cairo_set_source_rgb(cr, colour.r, colour.g, colour.b);
    cairo_move_to(cr, left, y);
    cairo_show_text(cr, text.c_str());
    cairo_new_path(cr);
    return extents.x_advance;
}

void line(cairo_t* cr, double x1, double y1, double x2, double y2, double width, Rgb colour) {
    cairo_set_source_rgb(cr, colour.r, colour.g, colour.b);
    cairo_set_line_width(cr, width);
    cairo_move_to(cr, x1, y1);
    cairo_line_to(cr, x2, y2);
    cairo_stroke(cr);
}

// A filled triangle with its tip at (x, y), pointing down (dir = 1) or up (dir = -1).
void triangle(cairo_t* cr, double x, double y, int dir) {
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_move_to(cr, x, y);
    cairo_line_to(cr, x - kMarkMm * 0.6, y - dir * kMarkMm);
    cairo_line_to(cr, x + kMarkMm * 0.6, y - dir * kMarkMm);
    cairo_close_path(cr);
    cairo_fill(cr);
}

// ---- What is drawn on the strip ---------------------------------------------------------------

struct Hole {
    double along = 0, across = 0;
    bool tooClose = false;
};

struct GridLine {
    double along = 0;
    int bar = 0;  // the bar it begins (-1 for one before bar 1), 0 for a beat line inside a bar
};

// Everything of the strip that does not depend on the paper.
struct StripPicture {
    std::string title;
    std::string boxName;
    int transpose = 0;
    double length = 0;
    std::vector<Hole> holes;
    std::vector<GridLine> grid;
    std::vector<std::pair<double, std::string>> noteLines;  // across, name
    std::vector<bool> octaveLine;                             // the C lines, drawn a little stronger
};

StripPicture pictureOf(const StripFit& fit, const BoxModel& box, const StripDrawingOptions& options) {
    StripPicture p;
    p.title = displayText(fit.title);
    p.boxName = displayText(box.name.empty() ? fit.boxName : box.name);
    p.transpose = fit.transpose;
    p.length = stripLengthMm(fit);
    for (const StripNote& n : fit.notes)
        if (n.tooth >= 0 && n.tooth < static_cast<int>(box.comb.size()))
            p.holes.push_back({holeAlongMm(n), noteLineAcrossMm(box, n.tooth), n.tooClose});
    for (size_t t = 0; t < box.comb.size(); ++t) {
        p.noteLines.emplace_back(noteLineAcrossMm(box, static_cast<int>(t)), noteName(box.comb[t]));
        p.octaveLine.push_back(box.comb[t] % 12 == 0);
    }

    // Beat lines of the time signature's beats from the song's first beat to the last hole;
    // bar 1 placed from any note's bar and beat, so a song that starts with an upbeat keeps
    // its bar lines where the music has them.
    const int beatsPerBar = std::max(1, options.beatsPerBar);
    const int beatUnit = options.beatUnit > 0 ? options.beatUnit : 4;
    const double beatMm = fit.mmPerBeat * 4.0 / beatUnit;
    if (beatMm > 0.2) {
        double barOne = kStripLeadInMm;
        if (!fit.notes.empty()) {
            const StripNote& n = fit.notes.front();
            barOne = holeAlongMm(n) - ((n.where.bar - 1) * beatsPerBar + (n.where.beat - 1)) * beatMm;
        }
        const double from = kStripLeadInMm - 1e-6, to = p.length - kStripTailMm + 1e-6;
        long long first = static_cast<long long>(std::ceil((from - barOne) / beatMm));
        for (long long j = first;; ++j) {
            const double along = barOne + j * beatMm;
            if (along > to) break;
            int bar = 0;
            if (((j % beatsPerBar) + beatsPerBar) % beatsPerBar == 0)
                bar = j >= 0 ? static_cast<int>(j / beatsPerBar) + 1 : -1;  // before bar 1: no number
            // Beats packed closer than this would grey the strip over; the bars still show.
            if (bar != 0 || beatMm >= 1.5) p.grid.push_back({along, bar});
        }
    }
    return p;
}

// Where a piece sits, and how its ends join its neighbours.
struct PieceView {
    StripPiece piece;
    int pieces = 1;
    std::optional<double> nextStart;  // where the following piece begins, on this one
    bool namesInside = false;         // note names in the lead-in rather than beside the strip
};

void drawPiece(cairo_t* cr, const StripPicture& p, const BoxModel& box, const PieceView& v) {
    const StripPiece& piece = v.piece;
    const PageRect& s = piece.strip;
    auto x = [&](double along) { return s.x + (along - piece.startMm); };
    auto y = [&](double across) { return s.y + (box.stripWidthMm - across); };

    // Inside the paper: the overlap the next piece covers, note lines, beats and bars, holes.
    cairo_save(cr);
    cairo_rectangle(cr, s.x, s.y, s.width, s.height);
    cairo_clip(cr);
    if (v.nextStart) {
        cairo_set_source_rgb(cr, kOverlapShade.r, kOverlapShade.g, kOverlapShade.b);
        cairo_rectangle(cr, x(*v.nextStart), s.y, s.right() - x(*v.nextStart), s.height);
        cairo_fill(cr);
    }
    for (size_t t = 0; t < p.noteLines.size(); ++t)
        line(cr, s.x, y(p.noteLines[t].first), s.right(), y(p.noteLines[t].first), p.octaveLine[t] ? 0.22 : 0.12,
             kNoteLine);
    for (const GridLine& g : p.grid) {
        if (g.along < piece.startMm - 1 || g.along > piece.endMm + 1) continue;
        if (g.bar != 0)
            line(cr, x(g.along), s.y, x(g.along), s.bottom(), 0.3, kBarLine);
        else
            line(cr, x(g.along), s.y, x(g.along), s.bottom(), 0.1, kBeatLine);
    }
    const double radius = holeRadiusMm(box), ring = tooCloseRingRadiusMm(box);
    for (const Hole& h : p.holes) {
        if (h.along < piece.startMm - ring - 1 || h.along > piece.endMm + ring + 1) continue;
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_arc(cr, x(h.along), y(h.across), radius, 0, 2 * kPi);
        cairo_fill(cr);
    }
    for (const Hole& h : p.holes) {
        if (!h.tooClose || h.along < piece.startMm - ring - 1 || h.along > piece.endMm + ring + 1) continue;
        cairo_set_source_rgb(cr, kFlagRed.r, kFlagRed.g, kFlagRed.b);
        cairo_set_line_width(cr, 0.35);
        cairo_arc(cr, x(h.along), y(h.across), ring, 0, 2 * kPi);
        cairo_stroke(cr);
    }
    if (v.nextStart) {
        // Where the next piece's start goes: a dashed line across.
        const double dash[] = {1.0, 0.8};
        cairo_set_dash(cr, dash, 2, 0);
        line(cr, x(*v.nextStart), s.y, x(*v.nextStart), s.bottom(), 0.25, kBlack);
        cairo_set_dash(cr, nullptr, 0, 0);
    }
    cairo_restore(cr);

    // The paper's edge, to cut along.
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_line_width(cr, 0.25);
    cairo_rectangle(cr, s.x, s.y, s.width, s.height);
    cairo_stroke(cr);

    // Note names by their lines.
    const double nameSize = std::min(2.4, box.lineSpacingMm * 0.95);
    for (const auto& [across, name] : p.noteLines) {
        if (v.namesInside)
            drawText(cr, s.x + 0.8, y(across) + nameSize * 0.36, name, nameSize);
        else
            drawText(cr, s.x - 1.2, y(across) + nameSize * 0.36, name, nameSize, Align::Right);
    }

    // Bar numbers above the strip; where the song starts.
    for (const GridLine& g : p.grid) {
        if (g.bar <= 0 || g.along < piece.startMm || g.along > piece.endMm - 2) continue;
        drawText(cr, x(g.along), s.y - 1, std::to_string(g.bar), kLabelMm * 0.9, Align::Centre);
    }
    if (piece.startMm < 1 && !v.namesInside)
        drawText(cr, x(1.5), s.y - 1, tr("start \xE2\x86\x92"), kLabelMm * 0.9);

    // The joints: triangles on both edges where the next piece starts and at this piece's own
    // start, and what to do with them.
    const double labelY = s.bottom() + 3.3;
    if (v.nextStart) {
        triangle(cr, x(*v.nextStart), s.y, 1);
        triangle(cr, x(*v.nextStart), s.bottom(), -1);
        drawText(cr, x(*v.nextStart) - kMarkMm, labelY,
                 fillIn(tr("piece %s starts here \xE2\x86\x92"), std::to_string(piece.number + 1)), kLabelMm,
                 Align::Right);
    }
    if (v.pieces > 1) {
        std::string label = fillIn(tr("piece %s of %s"), {std::to_string(piece.number), std::to_string(v.pieces)});
        if (piece.number > 1) {
            triangle(cr, s.x, s.y, 1);
            triangle(cr, s.x, s.bottom(), -1);
            label += fillIn(tr(" - lay this end on the mark of piece %s and tape"), std::to_string(piece.number - 1));
        }
        drawText(cr, s.x + kMarkMm, labelY, label, kLabelMm);
    }
}

// The title line and the crank line, from `left` to `right` with the first baseline at `top`.
void drawHeading(cairo_t* cr, const StripPicture& p, double left, double right, double top,
                 const std::string& pageText) {
    drawText(cr, left, top + 4.5, p.title.empty() ? std::string(tr("(untitled)")) : p.title, 4.2, Align::Left, true);
    std::string about = fillIn(tr("%s box"), p.boxName);
    if (p.transpose != 0)
        about += fillIn(tr(", transposed %s"), std::string(p.transpose > 0 ? "+" : "") + std::to_string(p.transpose));
    if (!pageText.empty()) about += "   " + pageText;
    drawText(cr, right, top + 4.5, about, 3.2, Align::Right);

    // The strip goes into the box start first, the way the arrow points.
    const double arrowY = top + 10.8;
    line(cr, left + 1, arrowY, left + 14, arrowY, 0.5, kBlack);
    cairo_move_to(cr, left, arrowY);
    cairo_line_to(cr, left + 3, arrowY - 1.4);
    cairo_line_to(cr, left + 3, arrowY + 1.4);
    cairo_close_path(cr);
    cairo_fill(cr);
    drawText(cr, left + 16, arrowY + 1.1, tr("feed this way, start first; crank clockwise"), 3.2);
}

// A ruler of `length` mm with millimetre ticks, its base line at y.
void drawRuler(cairo_t* cr, double left, double y, double length) {
    line(cr, left, y, left + length, y, 0.2, kBlack);
    for (int mm = 0; mm <= static_cast<int>(length + 0.5); ++mm) {
        const double tick = mm % 10 == 0 ? 2.6 : mm % 5 == 0 ? 1.7 : 1.0;
        line(cr, left + mm, y, left + mm, y - tick, 0.12, kBlack);
    }
    const std::string size = fillIn(tr("%s mm"), std::to_string(static_cast<int>(length + 0.5)));
    const double w = drawText(cr, left + length + 2, y, size, kLabelMm * 1.1);
    drawText(cr, left + length + 4 + w, y,
             fillIn(tr("- measure it: printed at true size (100%, no fitting to the page) it is exactly %s"), size),
             kLabelMm);
}

// ---- Files ----------------------------------------------------------------------------------

struct FileSink {
    AtomicFile file;
};

cairo_status_t writeToFile(void* closure, const unsigned char* data, unsigned int length) {
    auto* sink = static_cast<FileSink*>(closure);
    return sink->file.write(data, length) ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

bool openSink(FileSink& sink, const std::string& path, std::string& error) {
    if (!sink.file.open(path)) {
        error = std::strerror(sink.file.error());
        return false;
    }
    return true;
}

// Finishes the drawing and the file; the file at `path` changes only when both succeed.
bool finish(cairo_t* cr, cairo_surface_t* surface, FileSink& sink, std::string& error) {
    cairo_status_t status = cairo_status(cr);
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(surface);
    cairo_surface_destroy(surface);
    if (sink.file.error() == 0 && status != CAIRO_STATUS_SUCCESS) {
        error = cairo_status_to_string(status);
        sink.file.discard();
        return false;
    }
    if (!sink.file.commit()) {
        error = std::strerror(sink.file.error());
        return false;
    }
    return true;
}

std::string tooWide(const BoxModel& box, PaperSize paper) {
    char width[32];
    std::snprintf(width, sizeof width, "%.1f", box.stripWidthMm);
    return fillIn(paper == PaperSize::A4 ? tr("the %s mm wide strip of box %s does not fit on an A4 page")
                                         : tr("the %s mm wide strip of box %s does not fit on a letter page"),
                  {width, box.name});
}

}  // namespace

PagePoint paperSizeMm(PaperSize paper) {
    return paper == PaperSize::A4 ? PagePoint{297.0, 210.0} : PagePoint{279.4, 215.9};
}

PageRect printableArea(PaperSize paper) {
    const PagePoint size = paperSizeMm(paper);
    return {kPageMarginMm, kPageMarginMm, size.x - 2 * kPageMarginMm, size.y - 2 * kPageMarginMm};
}

double stripLengthMm(const StripFit& fit) { return kStripLeadInMm + std::max(0.0, fit.lengthMm) + kStripTailMm; }

std::string stripLengthProblem(const StripFit& fit) {
    const double length = stripLengthMm(fit);
    if (length <= kMaxStripLengthMm) return {};
    char numbers[3][32];
    std::snprintf(numbers[0], sizeof numbers[0], "%.1f", length);
    std::snprintf(numbers[1], sizeof numbers[1], "%.0f", kMaxStripLengthMm);
    std::snprintf(numbers[2], sizeof numbers[2], "%.0f", kMaxStripLengthMm / 1000);
    return fillIn(tr("the strip would be %s mm long; a strip is at most %s mm (%s m)"),
                  {numbers[0], numbers[1], numbers[2]});
}

double holeAlongMm(const StripNote& note) { return kStripLeadInMm + note.positionMm; }

double noteLineAcrossMm(const BoxModel& box, int tooth) { return box.firstLineMm + tooth * box.lineSpacingMm; }

double holeRadiusMm(const BoxModel& box) { return std::clamp(box.lineSpacingMm * 0.4, 0.3, 1.0); }

double tooCloseRingRadiusMm(const BoxModel& box) { return holeRadiusMm(box) + 0.7; }

std::vector<StripPiece> layoutStripPages(double lengthMm, const BoxModel& box, PaperSize paper) {
    std::vector<StripPiece> pieces;
    const PageRect area = printableArea(paper);
    const double top = area.y + kHeaderMm;
    const double room = area.height - kHeaderMm - kFooterMm;
    const double slot = pieceSlotMm(box);
    const int perPage = static_cast<int>(std::floor((room + kPieceGapMm) / (slot + kPieceGapMm)));
    const double longest = area.width - kNamesGutterMm - kEndGutterMm;
    if (perPage < 1 || box.stripWidthMm <= 0 || lengthMm <= 0 || longest <= 2 * kStripOverlapMm) return pieces;

    double start = 0;
    for (int i = 0;; ++i) {
        StripPiece piece;
        piece.number = i + 1;
        piece.page = i / perPage + 1;
        piece.startMm = start;
        piece.endMm = std::min(start + longest, lengthMm);
        const double slotTop = top + (i % perPage) * (slot + kPieceGapMm);
        piece.strip = {area.x + kNamesGutterMm, slotTop + kAboveStripMm, piece.endMm - piece.startMm,
                       box.stripWidthMm};
        piece.area = {area.x, slotTop, kNamesGutterMm + piece.strip.width + kEndGutterMm, slot};
        pieces.push_back(piece);
        if (piece.endMm >= lengthMm) break;
        start = piece.endMm - kStripOverlapMm;
    }
    return pieces;
}

PagePoint stripPointOnPage(const StripPiece& piece, const BoxModel& box, double alongMm, double acrossMm) {
    return {piece.strip.x + (alongMm - piece.startMm), piece.strip.y + (box.stripWidthMm - acrossMm)};
}

int stripPageCount(const StripFit& fit, const BoxModel& box, PaperSize paper) {
    const auto pieces = layoutStripPages(stripLengthMm(fit), box, paper);
    return pieces.empty() ? 0 : pieces.back().page;
}

bool writeStripPdf(const StripFit& fit, const BoxModel& box, const StripDrawingOptions& options,
                   const std::string& path, std::string& error) {
    if (error = stripLengthProblem(fit); !error.empty()) return false;
    const StripPicture picture = pictureOf(fit, box, options);
    const std::vector<StripPiece> pieces = layoutStripPages(picture.length, box, options.paper);
    if (pieces.empty()) {
        error = tooWide(box, options.paper);
        return false;
    }
    FileSink sink;
    if (!openSink(sink, path, error)) return false;
    const PagePoint size = paperSizeMm(options.paper);
    cairo_surface_t* surface =
        cairo_pdf_surface_create_for_stream(writeToFile, &sink, size.x * kPtPerMm, size.y * kPtPerMm);
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_TITLE,
                                   fillIn(tr("%s - %s strip"), {picture.title, picture.boxName}).c_str());
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_CREATOR, "Tunecase " TUNECASE_VERSION);
    cairo_t* cr = cairo_create(surface);
    const PageRect area = printableArea(options.paper);
    const int pages = pieces.back().page;
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (i == 0 || pieces[i].page != pieces[i - 1].page) {
            if (i > 0) cairo_show_page(cr);
            cairo_identity_matrix(cr);
            cairo_scale(cr, kPtPerMm, kPtPerMm);
            cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
            drawHeading(cr, picture, area.x, area.right(), area.y,
                        fillIn(tr("page %s of %s"), {std::to_string(pieces[i].page), std::to_string(pages)}));
            drawRuler(cr, area.x, area.bottom() - 2.5, kRulerMm);
        }
        PieceView view{pieces[i], static_cast<int>(pieces.size()), std::nullopt, false};
        if (i + 1 < pieces.size()) view.nextStart = pieces[i + 1].startMm;
        drawPiece(cr, picture, box, view);
    }
    cairo_show_page(cr);
    return finish(cr, surface, sink, error);
}

StripImage renderStripFirstPage(const StripFit& fit, const BoxModel& box, const StripDrawingOptions& options,
                                double pxPerMm, std::string& error) {
    StripImage image;
    if (error = stripLengthProblem(fit); !error.empty()) return image;
    const StripPicture picture = pictureOf(fit, box, options);
    const std::vector<StripPiece> pieces = layoutStripPages(picture.length, box, options.paper);
    if (pieces.empty()) {
        error = tooWide(box, options.paper);
        return image;
    }
    pxPerMm = std::clamp(pxPerMm, 0.5, 20.0);
    const PagePoint size = paperSizeMm(options.paper);
    image.width = static_cast<int>(std::ceil(size.x * pxPerMm));
    image.height = static_cast<int>(std::ceil(size.y * pxPerMm));
    image.stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, image.width);
    image.pixels.assign(static_cast<size_t>(image.stride) * static_cast<size_t>(image.height), 0);
    cairo_surface_t* surface = cairo_image_surface_create_for_data(image.pixels.data(), CAIRO_FORMAT_ARGB32,
                                                                   image.width, image.height, image.stride);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_scale(cr, pxPerMm, pxPerMm);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    const PageRect area = printableArea(options.paper);
    const int pages = pieces.back().page;
    drawHeading(cr, picture, area.x, area.right(), area.y,
                fillIn(tr("page %s of %s"), {std::to_string(1), std::to_string(pages)}));
    drawRuler(cr, area.x, area.bottom() - 2.5, kRulerMm);
    for (size_t i = 0; i < pieces.size() && pieces[i].page == 1; ++i) {
        PieceView view{pieces[i], static_cast<int>(pieces.size()), std::nullopt, false};
        if (i + 1 < pieces.size()) view.nextStart = pieces[i + 1].startMm;
        drawPiece(cr, picture, box, view);
    }
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    const bool ok = cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    if (!ok) {
        error = tr("the strip could not be drawn");
        return StripImage{};
    }
    return image;
}

bool writeStripSvg(const StripFit& fit, const BoxModel& box, const StripDrawingOptions& options,
                   const std::string& path, std::string& error) {
    if (error = stripLengthProblem(fit); !error.empty()) return false;
    const StripPicture picture = pictureOf(fit, box, options);
    if (box.stripWidthMm <= 0) {
        error = fillIn(tr("box %s has no strip width"), box.name);
        return false;
    }
    FileSink sink;
    if (!openSink(sink, path, error)) return false;
    // One user unit is one millimetre, and the document says so, so the file opens at true size.
    const double height = kSvgTopMm + kHeaderMm + pieceSlotMm(box) + kFooterMm;
    cairo_surface_t* surface = cairo_svg_surface_create_for_stream(writeToFile, &sink, picture.length, height);
    cairo_svg_surface_set_document_unit(surface, CAIRO_SVG_UNIT_MM);
    cairo_t* cr = cairo_create(surface);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    drawHeading(cr, picture, 1, picture.length - 1, kSvgTopMm, "");

    StripPiece whole;
    whole.startMm = 0;
    whole.endMm = picture.length;
    whole.strip = {0, kSvgTopMm + kHeaderMm + kAboveStripMm, picture.length, box.stripWidthMm};
    drawPiece(cr, picture, box, PieceView{whole, 1, std::nullopt, true});

    const double ruler = picture.length >= 130 ? 100 : picture.length >= 75 ? 50 : 10;
    drawRuler(cr, 1, height - 2.5, ruler);
    return finish(cr, surface, sink, error);
}

}  // namespace tunecase
