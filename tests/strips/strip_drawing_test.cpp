// Punch strips on paper: the cutting of a strip into pieces and pages checked as properties
// over many lengths, boxes and papers; the PDF read back with poppler's tools (page count,
// text, and a raster compared at the computed hole positions).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "strips/strip_drawing.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

using testing::runCommand;

BoxModel box(double width, int teeth = 20) {
    BoxModel b;
    b.name = "test-" + std::to_string(teeth);
    for (int i = 0; i < teeth; ++i) b.comb.push_back(55 + i);  // G3 upwards, every semitone
    b.stripWidthMm = width;
    b.lineSpacingMm = 2.4;
    b.firstLineMm = (width - (teeth - 1) * b.lineSpacingMm) / 2;
    b.mmPerBeat = 8;
    b.minRepeatMm = 2.5;
    return b;
}

bool inside(const PageRect& inner, const PageRect& outer) {
    const double e = 1e-9;
    return inner.x >= outer.x - e && inner.y >= outer.y - e && inner.right() <= outer.right() + e &&
           inner.bottom() <= outer.bottom() + e;
}

bool overlap(const PageRect& a, const PageRect& b) {
    return a.x < b.right() && b.x < a.right() && a.y < b.bottom() && b.y < a.bottom();
}

TEST(StripLayout, EveryMillimetreOnOnePieceInOrderInsideThePrintableArea) {
    for (PaperSize paper : {PaperSize::A4, PaperSize::Letter})
        for (double width : {41.0, 57.0, 70.0, 150.0})
            for (double length : {35.0, 250.0, 266.0, 267.0, 530.0, 4321.5, 20000.0}) {
                SCOPED_TRACE(::testing::Message() << "paper " << int(paper) << " width " << width << " length " << length);
                const BoxModel b = box(width);
                const auto pieces = layoutStripPages(length, b, paper);
                ASSERT_FALSE(pieces.empty());
                const PageRect printable = printableArea(paper);
                EXPECT_EQ(pieces.front().startMm, 0);
                EXPECT_DOUBLE_EQ(pieces.back().endMm, length);
                for (size_t i = 0; i < pieces.size(); ++i) {
                    const StripPiece& p = pieces[i];
                    EXPECT_EQ(p.number, int(i) + 1);
                    EXPECT_TRUE(inside(p.strip, p.area)) << "piece " << p.number;
                    EXPECT_TRUE(inside(p.area, printable)) << "piece " << p.number;
                    EXPECT_NEAR(p.strip.width, p.endMm - p.startMm, 1e-9) << "true size";
                    if (i == 0) {
                        EXPECT_EQ(p.page, 1);
                        continue;
                    }
                    const StripPiece& q = pieces[i - 1];
                    EXPECT_NEAR(p.startMm, q.endMm - kStripOverlapMm, 1e-9) << "a taped joint";
                    EXPECT_GT(p.endMm, q.endMm);
                    EXPECT_TRUE(p.page == q.page || p.page == q.page + 1);
                    if (p.page == q.page) {
                        EXPECT_GT(p.area.y, q.area.y) << "top to bottom";
                        EXPECT_FALSE(overlap(p.area, q.area));
                    } else {
                        EXPECT_EQ(p.area.y, pieces.front().area.y) << "a new page starts at the top";
                    }
                }
                // Each stretch of strip on exactly one piece, two where pieces overlap.
                for (double at = 0.25; at < length; at += 0.5) {
                    int on = 0;
                    for (const StripPiece& p : pieces) on += p.startMm <= at && at <= p.endMm;
                    bool joint = false;
                    for (size_t i = 1; i < pieces.size(); ++i)
                        joint |= pieces[i].startMm <= at && at <= pieces[i - 1].endMm;
                    ASSERT_EQ(on, joint ? 2 : 1) << "at " << at << " mm";
                }
            }

    // A strip wider than the page cannot be laid out, and says so.
    EXPECT_TRUE(layoutStripPages(1000, box(250), PaperSize::A4).empty());
    StripFit fit;
    fit.lengthMm = 100;
    fit.mmPerBeat = 8;
    testing::TempFolder dir;
    std::string error;
    EXPECT_FALSE(writeStripPdf(fit, box(250), {}, dir.file("wide.pdf"), error));
    EXPECT_NE(error.find("does not fit"), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(dir.file("wide.pdf")));
}

bool haveTool(const char* name) {
    std::string out;
    return runCommand(std::string("command -v ") + name, out) == 0;
}

// A long strip: eighth notes climbing and falling over the comb, 8 to a bar of 4/4; every
// fifth hole flagged too close.
StripFit longFit(const BoxModel& b, int count) {
    StripFit fit;
    fit.title = "Strip Test Rondo";
    fit.boxName = b.name;
    fit.mmPerBeat = b.mmPerBeat;
    const int teeth = static_cast<int>(b.comb.size());
    for (int i = 0; i < count; ++i) {
        StripNote n;
        n.tick = i * 240;
        n.tooth = (i * 7) % teeth;
        n.key = n.originalKey = b.comb[n.tooth];
        n.positionMm = i * b.mmPerBeat / 2;
        n.where = {i / 8 + 1, 1 + (i % 8) * 0.5};
        n.tooClose = i % 5 == 0;
        fit.tooClose += n.tooClose;
        fit.notes.push_back(n);
    }
    fit.kept = count;
    fit.lengthMm = fit.notes.back().positionMm;
    return fit;
}

// The value of a "Name:   value" line of pdfinfo's output.
std::string pdfinfoField(const std::string& info, const std::string& name) {
    std::istringstream in(info);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(name + ":", 0) == 0) {
            const size_t value = line.find_first_not_of(' ', name.size() + 1);
            return value == std::string::npos ? std::string() : line.substr(value);
        }
    return {};
}

// A binary PGM (P5) or PPM (P6) as pdftoppm writes it.
struct Raster {
    int width = 0, height = 0, channels = 1;
    std::vector<uint8_t> pixels;
    // The pixel at page position (x, y) mm, at `dpi`.
    const uint8_t* at(double xMm, double yMm, double dpi) const {
        const int x = static_cast<int>(std::lround(xMm / 25.4 * dpi)), y = static_cast<int>(std::lround(yMm / 25.4 * dpi));
        if (x < 0 || y < 0 || x >= width || y >= height) return nullptr;
        return &pixels[(static_cast<size_t>(y) * width + x) * channels];
    }
};

Raster readPnm(const std::string& path) {
    Raster r;
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int max = 0;
    in >> magic >> r.width >> r.height >> max;
    in.get();
    r.channels = magic == "P6" ? 3 : 1;
    r.pixels.resize(static_cast<size_t>(r.width) * r.height * r.channels);
    in.read(reinterpret_cast<char*>(r.pixels.data()), static_cast<std::streamsize>(r.pixels.size()));
    if (!in || (magic != "P5" && magic != "P6") || max != 255) r.width = r.height = 0;
    return r;
}

TEST(StripPdf, ALongStripHasItsPagesItsTextAndItsHolesWhereTheLayoutPutsThem) {
    if (!haveTool("pdfinfo") || !haveTool("pdftotext") || !haveTool("pdftoppm"))
        GTEST_SKIP() << "poppler-utils is not installed";
    const BoxModel b = box(57);
    const StripFit fit = longFit(b, 900);
    testing::TempFolder dir;
    const std::string pdf = dir.file("strip.pdf");
    std::string error, out;
    ASSERT_TRUE(writeStripPdf(fit, b, {PaperSize::Letter, 4, 4}, pdf, error)) << error;

    const auto pieces = layoutStripPages(stripLengthMm(fit), b, PaperSize::Letter);
    const int pages = pieces.back().page;
    ASSERT_GE(pages, 5);
    ASSERT_EQ(runCommand("pdfinfo '" + pdf + "'", out), 0) << out;
    EXPECT_EQ(pdfinfoField(out, "Pages"), std::to_string(pages)) << out;
    EXPECT_EQ(pdfinfoField(out, "Page size"), "792 x 612 pts (letter)") << out;

    // Every page names the song, the box and itself; every note name stands by its line.
    for (int page = 1; page <= pages; ++page) {
        ASSERT_EQ(runCommand("pdftotext -f " + std::to_string(page) + " -l " + std::to_string(page) + " '" + pdf +
                                 "' -",
                             out),
                  0);
        EXPECT_NE(out.find("Strip Test Rondo"), std::string::npos) << "page " << page;
        EXPECT_NE(out.find("test-20"), std::string::npos) << "page " << page;
        EXPECT_NE(out.find("page " + std::to_string(page) + " of " + std::to_string(pages)), std::string::npos);
        EXPECT_NE(out.find("100 mm"), std::string::npos);
        std::set<std::string> words;
        std::istringstream text(out);
        for (std::string w; text >> w;) words.insert(w);
        for (int key : b.comb) EXPECT_TRUE(words.count(noteName(key))) << noteName(key) << " on page " << page;
    }

    // Page 2 rastered: black at the centre of a hole in the middle of a piece, white between
    // the lines beside it; red on the ring of a flagged hole and nowhere on an unflagged one's.
    const double dpi = 150;
    ASSERT_EQ(runCommand("pdftoppm -f 2 -l 2 -r 150 -gray -singlefile '" + pdf + "' '" + dir.file("gray") + "'", out), 0)
        << out;
    ASSERT_EQ(runCommand("pdftoppm -f 2 -l 2 -r 150 -singlefile '" + pdf + "' '" + dir.file("colour") + "'", out), 0)
        << out;
    const Raster gray = readPnm(dir.file("gray.pgm")), colour = readPnm(dir.file("colour.ppm"));
    ASSERT_GT(gray.width, 0);
    ASSERT_EQ(colour.channels, 3);
    int black = 0, red = 0, clean = 0;
    const double ring = tooCloseRingRadiusMm(b) / std::sqrt(2.0);
    for (const StripPiece& piece : pieces) {
        if (piece.page != 2) continue;
        for (const StripNote& n : fit.notes) {
            const double along = holeAlongMm(n), across = noteLineAcrossMm(b, n.tooth);
            if (along < piece.startMm + 2 * kStripOverlapMm || along > piece.endMm - 2 * kStripOverlapMm) continue;
            const PagePoint hole = stripPointOnPage(piece, b, along, across);
            ASSERT_NE(gray.at(hole.x, hole.y, dpi), nullptr);
            EXPECT_LT(*gray.at(hole.x, hole.y, dpi), 60) << "hole at " << along << " mm";
            // Half way to the next eighth and between two note lines: bare paper.
            EXPECT_GT(*gray.at(hole.x + b.mmPerBeat / 4, hole.y - b.lineSpacingMm / 2, dpi), 200)
                << "beside the hole at " << along << " mm";
            ++black;
            // On the ring, off the note line and the beat line through the hole.
            const uint8_t* p = colour.at(hole.x + ring, hole.y - ring, dpi);
            const bool isRed = p[0] > 150 && p[1] < 100 && p[2] < 100;
            EXPECT_EQ(isRed, n.tooClose) << "ring of the hole at " << along << " mm";
            (n.tooClose ? red : clean) += 1;
        }
    }
    EXPECT_GT(black, 100);
    EXPECT_GT(red, 20);
    EXPECT_GT(clean, 80);

    // A file that cannot be written: false with the reason, nothing left behind.
    EXPECT_FALSE(writeStripPdf(fit, b, {}, dir.file("no/such/folder/strip.pdf"), error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
}

}  // namespace
}  // namespace tunecase
