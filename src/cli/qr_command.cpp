// tunecase-cli qr: a text as a QR code, written as PNG or SVG, or drawn in the terminal.
// The text's bytes are encoded as they are: Shift-JIS text gets kanji mode, UTF-8 text goes as
// bytes so that a phone reads back what was typed.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "base/utilities.h"
#include "base/translation.h"
#include "cli/commands.h"
#include "cli/qr_terminal.h"
#include "qr/qr_drawing.h"
#include "base/text_codec.h"
#include "qr/qr_encoder.h"
#include "qr/qr_png.h"

namespace tunecase::cli {

namespace {

// Light modules around the symbol, in the picture's default margin and in the terminal.
constexpr int kQuietModules = 4;
// Pixels per module when no size is given.
constexpr int kDefaultModulePixels = 8;
constexpr int kLargestPicture = 20000;
// The largest text file read; anything near it is far too long for a symbol anyway.
constexpr size_t kTextFileLimit = 1 << 16;

struct QrOptions {
    std::string level = "M";
    int version = 0;
    int mask = qr::ChooseMask;
    int size = -1;
    int margin = -1;
    bool terminal = false;
    std::string textFile;
    std::string first, second;  // TEXT and OUT as given; OUT comes first with --text-file
    CLI::Option* firstGiven = nullptr;
    CLI::Option* secondGiven = nullptr;
};

int usageError(const std::string& message) {
    std::fprintf(stderr, tr("tunecase-cli qr: %s\nRun with --help for more information.\n"),
                 escapeControls(message).c_str());
    return 2;
}

bool endsWith(const std::string& s, const std::string& tail) {
    if (s.size() < tail.size()) return false;
    for (size_t i = 0; i < tail.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - tail.size() + i])) != tail[i]) return false;
    return true;
}

}  // namespace

// Two module rows per text line in half blocks, black on white whatever the terminal's
// colours, with the quiet zone around.
std::string terminalDrawing(const qr::Symbol& s) {
    const int first = -kQuietModules, last = s.size + kQuietModules;
    std::string out;
    for (int y = first; y < last; y += 2) {
        out += "\x1b[30;107m";
        for (int x = first; x < last; ++x) {
            const bool top = s.isDark(x, y), bottom = y + 1 < last && s.isDark(x, y + 1);
            out += top && bottom ? "\u2588" : top ? "\u2580" : bottom ? "\u2584" : " ";
        }
        out += "\x1b[0m\n";
    }
    return out;
}

namespace {

// Coordinates in pixels, to three decimals, without trailing zeros.
std::string pixels(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", v);
    std::string out = text;
    while (out.back() == '0') out.pop_back();
    if (out.back() == '.') out.pop_back();
    return out;
}

// The same geometry as the pictures, as vectors: module k spans margin + k * f to
// margin + (k + 1) * f with f = s / n; one path of horizontal runs of dark modules.
std::string svgDrawing(const qr::Symbol& s, int size, int margin) {
    const double f = static_cast<double>(qrDrawingSide(size, size, margin)) / s.size;
    auto at = [&](int k) { return pixels(margin + k * f); };
    const std::string side = std::to_string(size);
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + side + "\" height=\"" + side +
                      "\" viewBox=\"0 0 " + side + " " + side + "\" shape-rendering=\"crispEdges\">\n"
                      "<rect width=\"" + side + "\" height=\"" + side + "\" fill=\"#fff\" stroke=\"none\"/>\n"
                      "<path fill=\"#000\" stroke=\"none\" d=\"";
    for (int y = 0; y < s.size; ++y)
        for (int x = 0; x < s.size;) {
            if (!s.isDark(x, y)) {
                ++x;
                continue;
            }
            int run = 1;
            while (x + run < s.size && s.isDark(x + run, y)) ++run;
            out += "M" + at(x) + " " + at(y) + "H" + at(x + run) + "V" + at(y + 1) + "H" + at(x) + "Z";
            x += run;
        }
    return out + "\"/>\n</svg>\n";
}

int encodeQr(const QrOptions& o) {
    // The positionals in order: TEXT unless it comes from a file, then OUT unless drawing
    // in the terminal.
    std::vector<std::string> given;
    if (o.firstGiven->count() > 0) given.push_back(o.first);
    if (o.secondGiven->count() > 0) given.push_back(o.second);
    const size_t wanted = (o.textFile.empty() ? 1 : 0) + (o.terminal ? 0 : 1);
    if (given.size() != wanted) {
        if (o.terminal) return usageError(o.textFile.empty() ? tr("give the text") : tr("--terminal takes no OUT"));
        return usageError(o.textFile.empty() ? tr("give the text and OUT") : tr("give OUT once"));
    }
    std::string text;
    if (o.textFile.empty()) {
        text = given.front();
    } else {
        std::vector<uint8_t> bytes;
        if (!readUpTo(o.textFile, bytes, kTextFileLimit)) return 1;  // the reader has said why
        text.assign(bytes.begin(), bytes.end());
    }
    const std::string out = o.terminal ? std::string() : given.back();
    const int level = static_cast<int>(std::string("LMQH").find(static_cast<char>(std::toupper(o.level[0]))));

    const char levelName = "LMQH"[level];
    if (text.empty()) {
        std::fputs(tr("tunecase-cli qr: the text is empty\n"), stderr);
        return 1;
    }
    // Kanji mode is for Shift-JIS text; UTF-8 text (what a terminal types) goes as bytes.
    qr::Request request{level, o.version, false, o.mask};
    request.kanji = !isValidUtf8(text);
    const auto symbol = qr::encodeText(text, request);
    if (!symbol) {
        if (o.version > 0)
            std::fprintf(stderr, tr("tunecase-cli qr: the text (%zu bytes) does not fit in version %d at level %c\n"),
                         text.size(), o.version, levelName);
        else
            std::fprintf(stderr, tr("tunecase-cli qr: the text (%zu bytes) is too long for a QR code at level %c\n"),
                         text.size(), levelName);
        return 1;
    }
    std::printf("version %d level %c mask %d\n", symbol->version, levelName, symbol->mask);

    if (o.terminal) {
        std::fputs(terminalDrawing(*symbol).c_str(), stdout);
        return 0;
    }

    int size = o.size, margin = o.margin;
    if (size < 0)
        size = kDefaultModulePixels * symbol->size + 2 * (margin >= 0 ? margin : kQuietModules * kDefaultModulePixels);
    if (margin < 0) margin = qrMarginForModules(size, symbol->size, kQuietModules);
    const int side = qrDrawingSide(size, size, margin);
    if (side <= 0) {
        std::fprintf(stderr, tr("tunecase-cli qr: a margin of %d pixels leaves no room in %d pixels\n"), margin, size);
        return 1;
    }
    if (side < symbol->size)
        std::fprintf(stderr, tr("tunecase-cli qr: warning: %d pixels for %d modules cannot be read\n"), side, symbol->size);

    if (endsWith(out, ".svg")) {
        const std::string svg = svgDrawing(*symbol, size, margin);
        if (!writeWhole(out, svg.data(), svg.size())) {
            std::fprintf(stderr, tr("tunecase-cli qr: cannot write %s\n"), escapeControls(out).c_str());
            return 1;
        }
        return 0;
    }
    std::string error;
    if (!writeQrPng(out, drawQrSymbol(&*symbol, size, size, margin), &error)) {
        std::fprintf(stderr, tr("tunecase-cli qr: cannot write %s\n"), escapeControls(error).c_str());
        return 1;
    }
    return 0;
}

}  // namespace

Action declareQr(CLI::App& sub) {
    auto o = std::make_shared<QrOptions>();
    sub.add_option("--level", o->level, tr("error correction: L, M (default), Q or H"))
        ->check(CLI::IsMember({"L", "M", "Q", "H"}, CLI::ignore_case));
    sub.add_option("--version", o->version, tr("insist on this version, 1..40 (default: the smallest that fits)"))
        ->check(CLI::Range(1, 40));
    sub.add_option("--mask", o->mask, tr("use this mask, 0..7 (default: the one with the lowest penalty)"))
        ->check(CLI::Range(0, 7));
    auto* size = sub.add_option("--size", o->size, tr("picture width and height in pixels (default: 8 per module)"))
                     ->check(CLI::Range(1, kLargestPicture));
    auto* margin = sub.add_option("--margin", o->margin, tr("light margin in pixels (default: four modules)"))
                       ->check(CLI::Range(0, kLargestPicture));
    sub.add_option("--text-file", o->textFile, tr("encode the bytes of FILE (Shift-JIS kanji allowed) instead of TEXT"));
    sub.add_flag("--terminal", o->terminal, tr("draw the symbol in the terminal with block characters instead of OUT"))
        ->excludes(size)
        ->excludes(margin);
    o->firstGiven = sub.add_option("TEXT", o->first, tr("the text to encode, its bytes as they are"));
    o->secondGiven = sub.add_option("OUT", o->second, tr("the picture to write: SVG when it ends in .svg, else PNG"));
    sub.footer(tr("Prints 'version V level X mask K'. Too long or empty text fails with exit status 1."));
    return [o] { return encodeQr(*o); };
}

}  // namespace tunecase::cli
