#include "songs/song_sheet.h"

#include <array>
#include <charconv>
#include <cctype>

#include "base/reporter.h"
#include "base/translation.h"

namespace tunecase {

namespace {

constexpr std::array<std::string_view, 21> kChordSuffixes{
    "",     "m",    "7",     "M7",   "m7",   "mM7", "dim", "sus4", "7sus4", "<b5>", "7<b5>",
    "aug",  "augM7", "aug7", "dim7", "m7b5", "6",   "add9", "m6",  "7b5",   "madd9",
};

constexpr size_t kMaxErrors = 30;

std::string_view trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

std::vector<std::string_view> words(std::string_view s) {
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
        size_t start = i;
        while (i < s.size() && !std::isspace(static_cast<unsigned char>(s[i]))) ++i;
        if (i > start) out.push_back(s.substr(start, i - start));
    }
    return out;
}

bool parseInt(std::string_view s, int& out) {
    s = trim(s);
    if (s.empty()) return false;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && end == s.data() + s.size();
}

// Pitch class of a root letter with an optional accidental ("C", "F#", "Bb"); -1 if none.
// `used` gets the number of characters taken.
int rootPitchClass(std::string_view name, size_t& used) {
    static constexpr int kLetters[7] = {9, 11, 0, 2, 4, 5, 7};  // A..G
    if (name.empty() || name[0] < 'A' || name[0] > 'G') return -1;
    int pc = kLetters[name[0] - 'A'];
    used = 1;
    if (name.size() > 1 && (name[1] == '#' || name[1] == 'b')) {
        pc += name[1] == '#' ? 1 : 11;
        used = 2;
    }
    return pc % 12;
}

// One half beat of melody as the grid stores it.
struct Half {
    int32_t value[3] = {songdata::kContinue, songdata::kContinue, songdata::kUnused};
    bool melody[3] = {false, false, false};
};

struct Beat {
    std::string first, second;  // chord names; "" keeps the chord
    uint8_t bassFirst = 0, bassSecond = 0;
};

struct Measure {
    std::vector<Half> halves;
    std::vector<Beat> beats;
};

class Parser {
public:
    explicit Parser(std::vector<SheetError>& errors) : errors_(errors) {}

    std::unique_ptr<CSongData> run(std::string_view text);

private:
    void error(int line, std::string message) {
        if (errors_.size() < kMaxErrors) errors_.push_back({line, std::move(message)});
    }
    void header(int line, std::string_view name, std::string_view value);
    void measure(int line, std::string_view text);
    bool melodyElement(int line, std::string_view token, int32_t& value, bool& melody);
    bool chordToken(int line, std::string_view token, Beat& beat);

    std::vector<SheetError>& errors_;
    std::string title_;
    int key_ = -1;
    int beats_ = 0;
    int tempo_ = 120;
    int program_ = 10;
    std::vector<std::string> lyrics_;
    std::vector<Measure> measures_;
    bool sawTitle_ = false;
    bool sawNote_ = false;       // a note or rest before, for "-"
    uint8_t runningBass_ = 0;    // the bass of the chord that goes on
    bool sawChord_ = false;
};

void Parser::header(int line, std::string_view name, std::string_view value) {
    if (!measures_.empty() && name != "lyrics") {
        error(line, fillIn(tr("\"%s:\" must come before the first measure"), name));
        return;
    }
    if (name == "title") {
        if (value.empty() || value.size() >= songdata::kTitleCapacity) {
            error(line, fillIn(tr("the title must be 1 to %s bytes"), std::to_string(songdata::kTitleCapacity - 1)));
            return;
        }
        title_ = std::string(value);
        sawTitle_ = true;
    } else if (name == "key") {
        key_ = songKeyIndex(value);
        if (key_ < 0 || value.empty()) {
            key_ = -1;
            error(line, fillIn(tr("unknown key \"%s\" (C, G, D, ..., Am, Em, ..., Bbm)"), value));
        }
    } else if (name == "meter") {
        int n = 0;
        const size_t slash = value.find('/');
        if (slash == std::string_view::npos || !parseInt(value.substr(0, slash), n) || n < 1 || n > 8 ||
            trim(value.substr(slash + 1)) != "4") {
            error(line, fillIn(tr("meter must be 1/4 .. 8/4, not \"%s\""), value));
            return;
        }
        beats_ = n;
    } else if (name == "tempo") {
        if (!parseInt(value, tempo_) || tempo_ < 40 || tempo_ > 240) {
            error(line, tr("tempo must be 40..240 beats per minute"));
        }
    } else if (name == "program") {
        if (!parseInt(value, program_) || program_ < 0 || program_ > 127) {
            error(line, tr("program must be 0..127"));
        }
    } else if (name == "lyrics") {
        if (lyrics_.size() == songdata::kLyricLines) {
            error(line, tr("at most 12 lyric lines"));
        } else if (value.size() >= songdata::kLyricLineCapacity) {
            error(line, tr("lyric line too long"));
        } else {
            lyrics_.emplace_back(value);
        }
    } else {
        error(line, fillIn(tr("unknown header \"%s:\""), name));
    }
}

bool Parser::melodyElement(int line, std::string_view token, int32_t& value, bool& melody) {
    melody = false;
    if (token == "r") {
        value = songdata::kRest;
        sawNote_ = true;
        return true;
    }
    if (token == "-") {
        if (!sawNote_) {
            error(line, tr("\"-\" holds a note, but nothing comes before it"));
            return false;
        }
        value = songdata::kContinue;
        return true;
    }
    const int n = noteNumberOf(token);
    if (n < 0) {
        error(line, fillIn(tr("\"%s\" is not a note (C4, F#4, Bb3), \"r\" or \"-\""), token));
        return false;
    }
    value = n;
    melody = true;
    sawNote_ = true;
    return true;
}

bool Parser::chordToken(int line, std::string_view token, Beat& beat) {
    if (token == ".") {
        if (!sawChord_) {
            error(line, tr("the first beat needs a chord, not \".\""));
            return false;
        }
        beat.bassFirst = beat.bassSecond = runningBass_;
        return true;
    }
    // "NAME[/BASS]" -> name and bass interval.
    auto one = [&](std::string_view part, std::string& name, uint8_t& bass, size_t capacity) {
        const size_t slash = part.find('/');
        name = std::string(part.substr(0, slash));
        bass = 0;
        if (name == "----" || name == "Skip") return slash == std::string_view::npos;
        if (!isChordName(name) || name.size() > capacity) {
            error(line, fillIn(capacity < 7 ? tr("\"%s\" is not a chord name of at most 4 characters")
                                            : tr("\"%s\" is not a chord name"),
                               part));
            return false;
        }
        if (slash != std::string_view::npos) {
            size_t used = 0, rootUsed = 0;
            const std::string_view bassName = part.substr(slash + 1);
            const int pc = rootPitchClass(bassName, used);
            if (pc < 0 || used != bassName.size()) {
                error(line, fillIn(tr("\"%s\" is not a bass note"), bassName));
                return false;
            }
            bass = static_cast<uint8_t>((pc - rootPitchClass(name, rootUsed) + 12) % 12);
        }
        return true;
    };
    const size_t comma = token.find(',');
    if (!one(token.substr(0, comma), beat.first, beat.bassFirst, 7)) return false;
    beat.bassSecond = beat.bassFirst;
    if (comma != std::string_view::npos) {
        if (!one(token.substr(comma + 1), beat.second, beat.bassSecond, 4)) return false;
    }
    runningBass_ = beat.bassSecond;
    sawChord_ = true;
    return true;
}

void Parser::measure(int line, std::string_view text) {
    if (beats_ == 0) {
        error(line, tr("\"meter:\" must come before the first measure"));
        return;
    }
    const size_t bar = text.find('|');
    if (bar == std::string_view::npos || text.find('|', bar + 1) != std::string_view::npos) {
        error(line, tr("a measure is the melody, one \"|\" and the chords"));
        return;
    }
    Measure m;
    // Melody: brackets are words of their own.
    std::string melodyText;
    for (char c : text.substr(0, bar)) {
        if (c == '[' || c == ']') {
            melodyText += ' ';
            melodyText += c;
            melodyText += ' ';
        } else {
            melodyText += c;
        }
    }
    const auto tokens = words(melodyText);
    bool ok = true;
    for (size_t i = 0; i < tokens.size() && ok; ++i) {
        if (tokens[i] == "[") {
            Half h;
            size_t n = 0;
            for (++i; i < tokens.size() && tokens[i] != "]"; ++i, ++n) {
                if (n == 3 || tokens[i] == "[") {
                    error(line, tr("a bracket splits a half beat into 2 or 3 parts"));
                    ok = false;
                    break;
                }
                ok = ok && melodyElement(line, tokens[i], h.value[n], h.melody[n]);
            }
            if (!ok) break;
            if (i == tokens.size() || n < 2) {
                error(line, i == tokens.size() ? tr("\"[\" without \"]\"") : tr("a bracket splits a half beat into 2 or 3 parts"));
                ok = false;
                break;
            }
            m.halves.push_back(h);
            continue;
        }
        if (tokens[i] == "]") {
            error(line, tr("\"]\" without \"[\""));
            ok = false;
            break;
        }
        std::string_view token = tokens[i];
        int length = 2;
        const size_t colon = token.find(':');
        if (colon != std::string_view::npos) {
            if (!parseInt(token.substr(colon + 1), length) || length < 1 || length > 2 * beats_) {
                error(line, fillIn(tr("\"%s\": a length is 1..%s half beats"), {token, std::to_string(2 * beats_)}));
                ok = false;
                break;
            }
            token = token.substr(0, colon);
        }
        Half h;
        if (!melodyElement(line, token, h.value[0], h.melody[0])) {
            ok = false;
            break;
        }
        m.halves.push_back(h);
        for (int k = 1; k < length; ++k) m.halves.push_back(Half{});
    }
    if (!ok) return;
    const size_t want = 2 * static_cast<size_t>(beats_);
    if (m.halves.size() != want) {
        error(line, fillIn(tr("the melody fills %s half beats; %s/4 needs %s"),
                           {std::to_string(m.halves.size()), std::to_string(beats_), std::to_string(want)}));
        return;
    }
    const auto chords = words(text.substr(bar + 1));
    if (chords.size() != static_cast<size_t>(beats_)) {
        error(line, fillIn(tr("%s chords for %s beats: give one per beat (\".\" keeps the chord)"),
                           {std::to_string(chords.size()), std::to_string(beats_)}));
        return;
    }
    for (auto token : chords) {
        Beat b;
        if (!chordToken(line, token, b)) return;
        m.beats.push_back(std::move(b));
    }
    measures_.push_back(std::move(m));
}

std::unique_ptr<CSongData> Parser::run(std::string_view text) {
    int line = 0;
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view raw = trim(text.substr(at, end - at));
        at = end + 1;
        ++line;
        if (raw.empty() || raw.front() == '#') continue;
        // "name: value" with a name of two or more small letters is a header line.
        size_t n = 0;
        while (n < raw.size() && raw[n] >= 'a' && raw[n] <= 'z') ++n;
        if (n >= 2 && n < raw.size() && raw[n] == ':') {
            std::string_view value = raw.substr(n + 1);
            const size_t hash = value.find(" #");
            if (raw.substr(0, n) != "lyrics" && raw.substr(0, n) != "title" && hash != std::string_view::npos) {
                value = value.substr(0, hash);
            }
            header(line, raw.substr(0, n), trim(value));
        } else {
            measure(line, raw);
        }
    }
    if (!sawTitle_) error(0, tr("no \"title:\" line"));
    if (key_ < 0 && errors_.empty()) error(0, tr("no \"key:\" line"));
    if (beats_ == 0 && errors_.empty()) error(0, tr("no \"meter:\" line"));
    if (measures_.empty() && errors_.empty()) error(0, tr("no measures"));
    if (beats_ > 0 && measures_.size() * static_cast<size_t>(beats_) > songdata::kMaxBeats) {
        error(0, fillIn(tr("the song has %s beats; at most 1024 fit"),
                        std::to_string(measures_.size() * static_cast<size_t>(beats_))));
    }
    if (!errors_.empty()) return nullptr;

    auto song = std::make_unique<CSongData>();
    song->newSong(static_cast<int>(measures_.size()), beats_, key_, 0);
    song->setTitle(title_);
    song->setTempo(tempo_);
    song->setProgram(program_);
    int beat = 0;
    for (const Measure& m : measures_) {
        for (size_t b = 0; b < m.beats.size(); ++b, ++beat) {
            song->setChordName(beat, m.beats[b].first);
            song->setSecondChordName(beat, m.beats[b].second);
            song->setBassValues(beat, m.beats[b].bassFirst, m.beats[b].bassSecond);
            for (int half = 0; half < 2; ++half) {
                const Half& h = m.halves[2 * b + static_cast<size_t>(half)];
                NoteRecord r;
                for (int p = 0; p < 3; ++p) {
                    r.value[p] = h.value[p];
                    r.slot[p][0] = h.melody[p] ? 1 : 0;
                }
                song->setNoteRecord(beat, half, r);
            }
        }
    }
    for (size_t i = 0; i < lyrics_.size(); ++i) song->setLyricLine(static_cast<int>(i), lyrics_[i]);
    if (!song->lyricsFit()) {
        errors_.push_back({0, tr("the lyrics need more room than the rests and held notes give")});

        return nullptr;
    }
    return song;
}

}  // namespace

int noteNumberOf(std::string_view name) {
    size_t used = 0;
    const int pc = rootPitchClass(name, used);
    if (pc < 0) return -1;
    int octave = 0;
    if (!parseInt(name.substr(used), octave) || octave < -1 || octave > 9) return -1;
    // Cb and B# belong to the octave of their letter.
    int n = (octave + 1) * 12 + pc;
    if (name[0] == 'C' && used == 2 && name[1] == 'b') n -= 12;
    if (name[0] == 'B' && used == 2 && name[1] == '#') n += 12;
    return n >= 0 && n <= 127 ? n : -1;
}

bool isChordName(std::string_view name) {
    size_t used = 0;
    if (name.size() > 7 || rootPitchClass(name, used) < 0) return false;
    const std::string_view suffix = name.substr(used);
    for (auto s : kChordSuffixes) {
        if (suffix == s) return true;
    }
    return false;
}

std::unique_ptr<CSongData> parseSongSheet(std::string_view text, std::vector<SheetError>& errors) {
    errors.clear();
    Parser parser(errors);
    return parser.run(text);
}

std::string describeSheetErrors(std::string_view name, const std::vector<SheetError>& errors) {
    std::string out;
    for (const auto& e : errors) {
        out += std::string(name) + ":" + std::to_string(e.line) + ": " + e.message + "\n";
    }
    return out;
}

}  // namespace tunecase
