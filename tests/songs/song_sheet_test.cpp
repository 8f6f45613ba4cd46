#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "base/reporter.h"
#include "songs/song_sheet.h"

namespace tunecase {
namespace {

std::unique_ptr<CSongData> parseOk(const std::string& text) {
    std::vector<SheetError> errors;
    auto song = parseSongSheet(text, errors);
    EXPECT_TRUE(song) << describeSheetErrors("sheet", errors);
    return song;
}

// Written out and read back as a file, as the library will see it.
std::unique_ptr<CSongData> throughFile(const CSongData& song) {
    const std::vector<uint8_t> bytes = song.toBytes();
    int m = 0, b = 0, k = 0, mode = 0;
    return CSongData::fromFileBytes(bytes.data(), bytes.size(), m, b, k, mode);
}

TEST(SongSheetGrid, NotesHoldsSplitsAndChordsBecomeGridRecords) {
    auto song = parseOk(
        "title: T\nkey: Em\nmeter: 2/4\ntempo: 90\nprogram: 3\n"
        "E4:3 [F#4 G4]    | Em/G C,B7\n"
        "-:1 [A4 - B4] r  | . Am\n");
    ASSERT_TRUE(song);
    EXPECT_EQ(song->measures(), 2);
    EXPECT_EQ(song->beatsPerMeasure(), 2);
    EXPECT_EQ(song->keyName(), "Em");
    EXPECT_EQ(song->tempo(), 90);
    EXPECT_EQ(song->program(), 3);

    struct Want { int32_t v0, v1, v2; bool f0, f1, f2; };
    const Want want[8] = {
        {64, -2, -3, true, false, false},  // E4 for three half beats
        {-2, -2, -3, false, false, false},
        {-2, -2, -3, false, false, false},
        {66, 67, -3, true, true, false},   // two 24-tick notes
        {-2, -2, -3, false, false, false}, // G4 held across the bar line
        {69, -2, 71, true, false, true},   // three 16-tick positions, the middle one held
        {-1, -2, -3, false, false, false},
        {-2, -2, -3, false, false, false},
    };
    for (int r = 0; r < 8; ++r) {
        const NoteRecord n = song->noteRecord(r);
        EXPECT_EQ(n.value[0], want[r].v0) << r;
        EXPECT_EQ(n.value[1], want[r].v1) << r;
        EXPECT_EQ(n.value[2], want[r].v2) << r;
        EXPECT_EQ(n.melody(0), want[r].f0) << r;
        EXPECT_EQ(n.melody(1), want[r].f1) << r;
        EXPECT_EQ(n.melody(2), want[r].f2) << r;
    }
    EXPECT_EQ(song->noteRecord(3).positions(), 2);
    EXPECT_EQ(song->noteRecord(5).positions(), 3);
    EXPECT_EQ(song->chordName(0), "Em");
    EXPECT_EQ(song->tableB(0), 3);  // G is a minor third above E
    EXPECT_EQ(song->tableC(0), 3);
    EXPECT_EQ(song->chordName(1), "C");
    EXPECT_EQ(song->secondChordName(1), "B7");
    EXPECT_EQ(song->chordName(2), "");  // "." keeps the chord
    EXPECT_EQ(song->chordName(3), "Am");
    EXPECT_EQ(song->chordName(4), "----");
}

TEST(SongSheetErrors, EveryProblemIsReportedWithItsLine) {
    std::vector<SheetError> errors;
    EXPECT_FALSE(parseSongSheet("title: Bad\nkey: H\nmeter: 6/8\nC4 C4 | C\n", errors));
    EXPECT_EQ(describeSheetErrors("bad.txt", errors),
              "bad.txt:2: unknown key \"H\" (C, G, D, ..., Am, Em, ..., Bbm)\n"
              "bad.txt:3: meter must be 1/4 .. 8/4, not \"6/8\"\n"
              "bad.txt:4: \"meter:\" must come before the first measure\n");

    EXPECT_FALSE(parseSongSheet(
        "title: Bad\nkey: C\nmeter: 2/4\n"
        "- C4         | C .\n"      // 4: a hold with nothing before it
        "C4 D4:3      | C .\n"      // 5: five half beats
        "C4 H4        | C .\n"      // 6: not a note
        "C4 D4        | C\n"        // 7: one chord for two beats
        "C4 D4        | Cmaj7 .\n"  // 8: not a chord name the arranger knows
        "[C4 D4 E4 F4] C4 r:1 | C .\n"  // 9: four parts in a half beat
        "lyrics: ok\n"
        "tempo: 300\n",             // 11: too fast, and after the first measure
        errors));
    std::vector<int> lines;
    for (const auto& e : errors) lines.push_back(e.line);
    EXPECT_EQ(lines, (std::vector<int>{4, 5, 6, 7, 8, 9, 11}));
    EXPECT_EQ(errors[1].message, "the melody fills 5 half beats; 2/4 needs 4");

    EXPECT_FALSE(parseSongSheet("key: C\nmeter: 4/4\nC4:8 | C . . .\n", errors));
    EXPECT_EQ(describeSheetErrors("x", errors), "x:0: no \"title:\" line\n");
    EXPECT_FALSE(parseSongSheet("title: " + std::string(31, 'x') + "\nkey: C\nmeter: 1/4\nC4 | C\n", errors));
    EXPECT_EQ(errors.at(0).line, 1);
}

TEST(SongSheetErrors, TooManyBeatsForTheGrid) {
    std::string text = "title: Long\nkey: C\nmeter: 8/4\n";
    for (int i = 0; i < 129; ++i) text += "C4:16 | C . . . . . . .\n";
    std::vector<SheetError> errors;
    EXPECT_FALSE(parseSongSheet(text, errors));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].message, "the song has 1032 beats; at most 1024 fit");
}

// ---- The sample library ----------------------------------------------------------------------

// Pitch classes of a chord name, from the name alone.
std::set<int> chordTones(const std::string& name) {
    static const std::map<std::string, std::vector<int>> kShapes{
        {"", {0, 4, 7}},       {"m", {0, 3, 7}},       {"7", {0, 4, 7, 10}},   {"M7", {0, 4, 7, 11}},
        {"m7", {0, 3, 7, 10}}, {"dim", {0, 3, 6}},     {"sus4", {0, 5, 7}},    {"6", {0, 4, 7, 9}},
        {"m6", {0, 3, 7, 9}},  {"add9", {0, 2, 4, 7}}, {"dim7", {0, 3, 6, 9}}, {"aug", {0, 4, 8}},
    };
    static const std::map<char, int> kRoots{{'C', 0}, {'D', 2}, {'E', 4}, {'F', 5}, {'G', 7}, {'A', 9}, {'B', 11}};
    int root = kRoots.at(name[0]);
    size_t at = 1;
    if (name.size() > 1 && (name[1] == '#' || name[1] == 'b')) {
        root += name[1] == '#' ? 1 : -1;
        at = 2;
    }
    std::set<int> tones;
    for (int i : kShapes.at(name.substr(at))) tones.insert(((root + i) % 12 + 12) % 12);
    return tones;
}

std::filesystem::path sampleFolder() {
    return std::filesystem::path(TUNECASE_TEST_DATA).parent_path().parent_path() / "data" / "songs";
}

TEST(SongSheetSamples, EverySampleSongIsPlayableAndMusicallySound) {
    const std::regex chordName(
        R"(^[A-G][#b]?(|m|7|M7|m7|mM7|dim|sus4|7sus4|aug|dim7|m7b5|6|add9|m6|madd9)$)");
    int songs = 0, minor = 0, triple = 0, withLyrics = 0;
    std::set<std::string> keys;
    ScopedCapture capture;
    for (const auto& entry : std::filesystem::directory_iterator(sampleFolder())) {
        if (entry.path().extension() != ".txt") continue;
        SCOPED_TRACE(entry.path().filename().string());
        std::ifstream in(entry.path());
        std::stringstream text;
        text << in.rdbuf();
        std::vector<SheetError> errors;
        auto built = parseSongSheet(text.str(), errors);
        ASSERT_TRUE(built) << describeSheetErrors(entry.path().string(), errors);
        auto song = throughFile(*built);
        ASSERT_TRUE(song->isLoaded());
        ++songs;

        const int beats = song->beatsPerMeasure();
        ASSERT_GT(song->measures(), 0);
        ASSERT_LE(song->measures() * beats, 1024);
        EXPECT_FALSE(song->title().empty());
        EXPECT_GE(song->lowestNote(), 55);
        EXPECT_LE(song->highestNote(), 96);
        EXPECT_GE(song->tempo(), 60);
        EXPECT_LE(song->tempo(), 160);
        keys.insert(song->keyName());
        minor += song->key().minor;
        triple += beats == 3;
        withLyrics += !song->lyricLine(0).empty();
        for (int i = 0; i < 12; ++i) EXPECT_EQ(song->lyricLine(i), built->lyricLine(i));

        const SongKey& key = song->key();
        const std::set<int> scale = key.minor ? std::set<int>{0, 2, 3, 5, 7, 8, 9, 10, 11}
                                              : std::set<int>{0, 2, 4, 5, 7, 9, 11};
        int notes = 0, inKey = 0, onBeat = 0, inChord = 0;
        std::string chord;
        ASSERT_TRUE(std::regex_match(song->chordName(0), chordName)) << "the first beat names a chord";
        for (int beat = 0; beat < song->beatCount(); ++beat) {
            const std::string name = song->chordName(beat);
            ASSERT_TRUE(name.empty() || std::regex_match(name, chordName)) << "beat " << beat << ": " << name;
            const std::string second = song->secondChordName(beat);
            ASSERT_TRUE(second.empty() || std::regex_match(second, chordName)) << "beat " << beat;
            if (!name.empty()) chord = name;
            for (int half = 0; half < 2; ++half) {
                const NoteRecord r = song->noteRecord(beat, half);
                if (half == 1 && !second.empty()) chord = second;
                for (int p = 0; p < r.positions(); ++p) {
                    const int32_t v = r.value[p];
                    ASSERT_TRUE(v >= 0 || v == -1 || v == -2) << "beat " << beat;
                    EXPECT_EQ(r.melody(p), v >= 0) << "melody flag, beat " << beat;
                    if (v < 0) continue;
                    ++notes;
                    inKey += scale.count(((v - key.tonic) % 12 + 12) % 12) > 0;
                    if (half == 0 && p == 0) {
                        ++onBeat;
                        inChord += chordTones(chord).count(v % 12) > 0;
                    }
                }
            }
        }
        // Tunes of these kinds stay in their key, and a chord fits most notes that fall on a beat.
        EXPECT_GE(inKey * 100, notes * 95) << inKey << " of " << notes << " notes in " << song->keyName();
        EXPECT_GE(inChord * 100, onBeat * 70) << inChord << " of " << onBeat << " notes on beats in the chord";
    }
    EXPECT_GE(songs, 10);
    EXPECT_GE(minor, 2);
    EXPECT_GE(triple, 3);
    EXPECT_GE(withLyrics, 3);
    EXPECT_GE(keys.size(), 5u);
    EXPECT_TRUE(capture->reports().empty());
}

}  // namespace
}  // namespace tunecase
