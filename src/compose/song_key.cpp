#include "compose/song_key.h"

#include <cctype>

namespace tunecase {

namespace {

// Per tonic from C: the name and the signature of the major and of the minor key. Where two
// spellings exist, the one with fewer accidentals (F-sharp major and E-flat minor at six).
struct KeyRow {
    const char* major;
    int majorSharps;
    const char* minor;
    int minorSharps;
};
constexpr KeyRow kKeys[12] = {
    {"C", 0, "C", -3},         {"D-flat", -5, "C-sharp", 4}, {"D", 2, "D", -1},
    {"E-flat", -3, "E-flat", -6}, {"E", 4, "E", 1},           {"F", -1, "F", -4},
    {"F-sharp", 6, "F-sharp", 3}, {"G", 1, "G", -2},          {"A-flat", -4, "G-sharp", 5},
    {"A", 3, "A", 0},          {"B-flat", -2, "B-flat", -5}, {"B", 5, "B", 2},
};

std::string lowered(std::string_view text) {
    std::string out;
    for (char c : text) out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    return out;
}

}  // namespace

std::optional<SongKey24> parseSongKey(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    static constexpr int kNatural[7] = {9, 11, 0, 2, 4, 5, 7};  // A..G
    const char letter = text.front();
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    if (upper < 'A' || upper > 'G') return std::nullopt;
    int tonic = kNatural[upper - 'A'];
    std::string rest = lowered(text.substr(1));
    if (rest.starts_with("#") || rest.starts_with("-sharp") || rest.starts_with(" sharp")) {
        tonic += 1;
        rest.erase(0, rest[0] == '#' ? 1 : 6);
    } else if (rest.starts_with("-flat") || rest.starts_with(" flat")) {
        tonic += 11;
        rest.erase(0, 5);
    } else if (rest.starts_with("b")) {  // "b" is the flat; no mode starts with it
        tonic += 11;
        rest.erase(0, 1);
    }
    if (!rest.empty() && rest.front() == ' ') rest.erase(0, 1);
    bool minor;
    if (rest.empty()) minor = letter != upper;
    else if (rest == "m" || rest == "min" || rest == "minor") minor = true;
    else if (rest == "maj" || rest == "major") minor = false;
    else return std::nullopt;
    // "m" and "M" differ only in the short form: "CM" would be read as major.
    if (text.size() >= 2 && text.back() == 'M' && rest == "m") minor = false;
    return SongKey24{tonic % 12, minor};
}

std::string songKeyName(SongKey24 key) {
    const KeyRow& row = kKeys[((key.tonic % 12) + 12) % 12];
    return std::string(key.minor ? row.minor : row.major) + (key.minor ? " minor" : " major");
}

std::vector<std::string> allSongKeyNames() {
    std::vector<std::string> out;
    for (bool minor : {false, true})
        for (int tonic = 0; tonic < 12; ++tonic) out.push_back(songKeyName({tonic, minor}));
    return out;
}

int keySignatureSharps(SongKey24 key) {
    const KeyRow& row = kKeys[((key.tonic % 12) + 12) % 12];
    return key.minor ? row.minorSharps : row.majorSharps;
}

int keyTransposition(SongKey24 key) {
    const int from = key.minor ? 9 : 0;
    const int up = (((key.tonic - from) % 12) + 12) % 12;
    return up > 6 ? up - 12 : up;
}

std::string TransposeChordName(std::string_view name, int semitones, bool flats) {
    static constexpr const char* kSharps[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    static constexpr const char* kFlats[12] = {"C", "Db", "D", "Eb", "E", "F", "Gb", "G", "Ab", "A", "Bb", "B"};
    static constexpr int kNatural[7] = {9, 11, 0, 2, 4, 5, 7};
    // The note at `at` moved, and where it ended; the text as it was when none is there.
    auto moved = [&](size_t at, size_t& end) -> std::string {
        end = at;
        if (at >= name.size() || name[at] < 'A' || name[at] > 'G') return {};
        int pc = kNatural[name[at] - 'A'];
        end = at + 1;
        if (end < name.size() && name[end] == '#') ++pc, ++end;
        else if (end < name.size() && name[end] == 'b') pc += 11, ++end;
        pc = (((pc + semitones) % 12) + 12) % 12;
        return flats ? kFlats[pc] : kSharps[pc];
    };
    if (name.starts_with("N/C")) return std::string(name);
    size_t end = 0;
    std::string root = moved(0, end);
    if (root.empty()) return std::string(name);
    std::string out = root;
    const size_t on = name.find("on", end);
    if (on == std::string_view::npos) return out + std::string(name.substr(end));
    out += std::string(name.substr(end, on + 2 - end));
    size_t bassEnd = 0;
    const std::string bass = moved(on + 2, bassEnd);
    return out + bass + std::string(name.substr(bassEnd));
}

}  // namespace tunecase
