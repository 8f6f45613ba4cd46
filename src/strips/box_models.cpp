#include "strips/box_models.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>

#include "songs/song_sheet.h"
#include "base/reporter.h"
#include "base/translation.h"

namespace tunecase {

namespace {

// The fields of a box block, in the order their values are kept.
enum Field { Width, LineSpacing, FirstLine, Beat, MinRepeat, FieldCount };
constexpr const char* kFieldNames[FieldCount] = {"width", "line-spacing", "first-line", "beat", "min-repeat"};
constexpr LengthRange kFieldRanges[FieldCount] = {kBoxWidthRange, kBoxLineSpacingRange, kBoxFirstLineRange,
                                                  kBoxBeatRange, kBoxMinRepeatRange};

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

std::string_view trimmed(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

// The line up to its comment: a "#" that begins a word (a "#" inside a word is a sharp).
std::string_view withoutComment(std::string_view line) {
    for (size_t i = 0; i < line.size(); ++i)
        if (line[i] == '#' && (i == 0 || line[i - 1] == ' ' || line[i - 1] == '\t')) return line.substr(0, i);
    return line;
}

// Splits at blanks.
std::vector<std::string_view> words(std::string_view s) {
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
        const size_t start = i;
        while (i < s.size() && s[i] != ' ' && s[i] != '\t') ++i;
        if (i > start) out.push_back(s.substr(start, i - start));
    }
    return out;
}

bool parseInt(std::string_view s, int& out) {
    if (s.empty()) return false;
    const char* end = s.data() + s.size();
    auto [p, ec] = std::from_chars(s.data(), end, out);
    return ec == std::errc() && p == end;
}

// A length: a plain decimal number, finite.
bool parseLength(std::string_view s, double& out) {
    if (s.empty()) return false;
    const char* end = s.data() + s.size();
    auto [p, ec] = std::from_chars(s.data(), end, out, std::chars_format::fixed);
    return ec == std::errc() && p == end && std::isfinite(out);
}

// "C4", "F#5", "Bb3", "C-1", or a key number; nothing for anything else or a key outside
// 0..127.
std::optional<int> parseNote(std::string_view s) {
    int key = 0;
    if (!s.empty() && (std::isdigit(static_cast<unsigned char>(s[0])) != 0)) {
        if (!parseInt(s, key) || key < 0 || key > 127) return std::nullopt;
        return key;
    }
    // A note name as the song sheets write them; the letter may be in either case.
    std::string name(s);
    if (!name.empty() && name[0] >= 'a' && name[0] <= 'g') name[0] = static_cast<char>(name[0] - 'a' + 'A');
    key = noteNumberOf(name);
    if (key < 0) return std::nullopt;
    return key;
}

// A box being read: its fields as given, and whether a mistake has been found in it.
struct Block {
    int line = 0;
    BoxModel box;
    bool hasComb = false;
    bool has[FieldCount] = {};
    double value[FieldCount] = {};
    bool bad = false;
};

// Checks a finished block; a good one joins `boxes`.
void finishBlock(Block& b, std::vector<BoxModel>& boxes, std::vector<BoxModelError>& errors) {
    const auto fail = [&](const std::string& message) {
        errors.push_back({b.line, fillIn(tr("box \"%s\": %s"), {b.box.name, message})});
        b.bad = true;
    };
    if (!b.hasComb) fail(tr("no comb given"));
    for (int f = 0; f < FieldCount; ++f)
        if (!b.has[f]) fail(fillIn(tr("no %s given"), kFieldNames[f]));
    if (b.bad) return;
    BoxModel& box = b.box;
    box.stripWidthMm = b.value[Width];
    box.lineSpacingMm = b.value[LineSpacing];
    box.firstLineMm = b.value[FirstLine];
    box.mmPerBeat = b.value[Beat];
    box.minRepeatMm = b.value[MinRepeat];
    // The highest line must lie inside the strip, as the lowest does (first-line > 0).
    const double top = box.firstLineMm + box.lineSpacingMm * static_cast<double>(box.comb.size() - 1);
    if (top >= box.stripWidthMm) {
        std::ostringstream topMm, widthMm;
        topMm << top;
        widthMm << box.stripWidthMm;
        fail(fillIn(tr("the highest note line lies %s mm from the edge, outside a strip %s mm wide"),
                    {topMm.str(), widthMm.str()}));
        return;
    }
    for (const BoxModel& other : boxes)
        if (equalNoCase(other.name, box.name)) {
            fail(tr("a box of that name comes earlier in the file"));
            return;
        }
    boxes.push_back(std::move(box));
}

}  // namespace

std::vector<BoxModel> parseBoxModels(std::string_view text, std::vector<BoxModelError>& errors) {
    std::vector<BoxModel> boxes;
    std::optional<Block> block;
    int lineNumber = 0;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNumber;
        line = withoutComment(line);
        line = trimmed(line);
        if (line.empty()) continue;

        const auto w = words(line);
        const std::string_view key = w[0];
        const std::string_view rest = trimmed(line.substr(key.size()));
        const auto error = [&](const std::string& message) {
            errors.push_back({lineNumber, message});
            if (block) block->bad = true;
        };

        if (equalNoCase(key, "box")) {
            if (block) finishBlock(*block, boxes, errors);
            block.emplace();
            block->line = lineNumber;
            block->box.name = std::string(rest);
            if (rest.empty()) error(tr("a box needs a name"));
            continue;
        }
        if (!block) {
            error(fillIn(tr("\"%s\" comes before the first \"box\" line"), key));
            continue;
        }
        if (equalNoCase(key, "comb")) {
            if (block->hasComb) {
                error(tr("the comb is given twice"));
                continue;
            }
            block->hasComb = true;
            if (w.size() < 2) error(tr("the comb has no notes"));
            for (size_t i = 1; i < w.size(); ++i) {
                const auto note = parseNote(w[i]);
                if (!note) {
                    error(fillIn(tr("\"%s\" is not a note (C4, F#5, Bb3 or a key 0..127)"), w[i]));
                    break;
                }
                if (!block->box.comb.empty() && *note <= block->box.comb.back()) {
                    error(fillIn(tr("the comb must rise: %s is not above %s"), {w[i], noteName(block->box.comb.back())}));
                    break;
                }
                block->box.comb.push_back(*note);
            }
            continue;
        }
        int field = 0;
        while (field < FieldCount && !equalNoCase(key, kFieldNames[field])) ++field;
        if (field == FieldCount) {
            error(fillIn(tr("unknown field \"%s\""), key));
            continue;
        }
        if (block->has[field]) {
            error(fillIn(tr("%s is given twice"), kFieldNames[field]));
            continue;
        }
        double value = 0;
        if (w.size() != 2 || !parseLength(w[1], value) || value <= 0) {
            error(fillIn(tr("%s needs one length in millimetres above 0"), kFieldNames[field]));
            continue;
        }
        if (!kFieldRanges[field].contains(value)) {
            block->has[field] = true;  // given, but wrong: said once, here
            error(fillIn(tr("%s %s is out of range: a box's %s is %s"),
                         {kFieldNames[field], w[1], kFieldNames[field], rangeText(kFieldRanges[field])}));
            continue;
        }
        block->has[field] = true;
        block->value[field] = value;
    }
    if (block) finishBlock(*block, boxes, errors);
    return boxes;
}

std::vector<BoxModel> loadBoxModels(const std::string& path, std::vector<BoxModelError>& errors) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        errors.push_back({0, fillIn(tr("cannot read %s"), path)});
        return {};
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        errors.push_back({0, fillIn(tr("cannot read %s"), path)});
        return {};
    }
    return parseBoxModels(text.str(), errors);
}

std::optional<BoxModel> findBoxModel(const std::vector<BoxModel>& boxes, std::string_view name) {
    for (const BoxModel& box : boxes)
        if (equalNoCase(box.name, name)) return box;
    return std::nullopt;
}

std::string rangeText(const LengthRange& range) {
    std::ostringstream low, high;
    low << range.low;
    high << range.high;
    return fillIn(tr("%s to %s mm"), {low.str(), high.str()});
}

std::string noteName(int key) {
    static constexpr const char* kNames[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    const int pitch = ((key % 12) + 12) % 12;
    const int octave = (key - pitch) / 12 - 1;
    return std::string(kNames[pitch]) + std::to_string(octave);
}

}  // namespace tunecase
