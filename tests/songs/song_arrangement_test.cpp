// Arranging song-data files: chord codes, the grid walk written out by hand, and whole
// arrangements read back by python3-mido (an outside reader).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <latch>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "base/reporter.h"
#include "compose/compose_context.h"
#include "compose/knowledge_files.h"
#include "songs/song_arrangement.h"
#include "songs/song_data.h"
#include "songs/song_sheet.h"
#include "styles/composition_parameters.h"
#include "support/test_support.h"
#include "support/two_at_once.h"

namespace tunecase {
namespace {

using testing::runCommand;

std::string programData() { return std::string(TUNECASE_TEST_DATA) + "/../../data"; }

// What python3-mido reads from a MIDI file (tests/compose/song_summary.py).
nlohmann::json summaryOf(const std::string& path) {
    std::string out;
    const std::string script = std::string(TUNECASE_TEST_DATA) + "/../compose/song_summary.py";
    if (runCommand("/usr/bin/python3 '" + script + "' '" + path + "' 2>/dev/null", out) != 0) return nullptr;
    return nlohmann::json::parse(out, nullptr, false);
}

NoteRecord half(std::vector<int> values, std::vector<bool> melody = {}) {
    NoteRecord r;
    r.value[1] = songdata::kContinue;
    r.value[2] = songdata::kUnused;
    for (size_t i = 0; i < values.size(); ++i) r.value[i] = values[i];
    for (size_t i = 0; i < melody.size(); ++i) r.slot[i][0] = melody[i] ? 1 : 0;
    return r;
}
const NoteRecord kHeld = half({songdata::kContinue});
const NoteRecord kRest = half({songdata::kRest});

// (start tick, key) of every flagged note of the song, or of every unflagged one, walked
// straight from the grid: a beat named "Skip" and a half named "----" take no time.
std::vector<std::pair<int, int>> gridNotes(const CSongData& song, bool melody) {
    std::vector<std::pair<int, int>> out;
    int t = 0;
    for (int beat = 0; beat < song.beatCount(); ++beat) {
        const std::string first = song.chordName(beat), second = song.secondChordName(beat);
        if (first == "Skip") continue;
        for (int h = 0; h < 2; ++h) {
            const std::string& name = h == 1 && !second.empty() ? second : first;
            if (name == "----") continue;
            const NoteRecord r = song.noteRecord(beat, h);
            const int n = r.value[2] != songdata::kUnused ? 3 : r.value[1] == songdata::kContinue ? 1 : 2;
            for (int p = 0; p < n; ++p, t += 48 / n)
                if (r.value[p] > 11 && r.melody(p) == melody) out.emplace_back(t, r.value[p]);
        }
    }
    return out;
}

// (start, key) of the notes of `channel` over all tracks, in time and key order.
std::vector<std::pair<int, int>> fileNotes(const nlohmann::json& summary, int channel) {
    std::vector<std::pair<int, int>> out;
    for (const auto& track : summary["tracks"])
        for (const auto& n : track["notes"])
            if (n[1].get<int>() == channel) out.emplace_back(n[0].get<int>(), n[2].get<int>());
    std::sort(out.begin(), out.end());
    return out;
}

class ArrangementTest : public ::testing::Test {
protected:
    void SetUp() override { SetKnowledgeFolder(programData()); }
    void TearDown() override { SetKnowledgeFolder({}); }

    std::string save(const CSongData& song, const std::string& name) {
        const std::string path = dir.file(name);
        EXPECT_TRUE(song.saveFile(path));
        return path;
    }

    ScopedCapture boxes;
    testing::TempFolder dir;
};

// A four-measure tune, one note and one chord a beat.
CSongData tune(int beats, int key) {
    CSongData song;
    song.newSong(4, beats, key, 0);
    const char* chords[] = {"C", "Am", "F", "G7"};
    for (int beat = 0; beat < song.beatCount(); ++beat) {
        song.setChordName(beat, chords[beat % 4]);
        song.setNoteRecord(beat, 0, half({60 + beat % 12}, {true}));
    }
    return song;
}

TEST(ChordCode, NamesBecomeEngineCodes) {
    ScopedCapture boxes;
    const std::pair<const char*, const char*> cases[] = {
        {"C#m7", "dmPs"}, {"Ebdim", "emdo"}, {"G9", "GMP9"},   {"Cmaj7", "CMPo"}, {"F#m7", "gmPs"},
        {"Bb", "bMPo"},   {"Cb", "BMPo"},    {"E#", "FMPo"},   {"Abm7b5", "amds"}, {"G7sus4", "G4Ps"},
        {"D7<b5>", "DMds"}, {"Faug7", "FMAs"}, {"Bdim7", "Bmd6"}, {"Am6", "AmP6"}, {"C ", "CMPo"},
        {"----", "CMPS"}, {"Skip", "Skip"},
    };
    for (const auto& [name, code] : cases) EXPECT_EQ(chordCode(name), code) << name;
    EXPECT_EQ(boxes->count(), 0u);
    // A sharp on a letter that is no root keeps the letter and says so.
    EXPECT_EQ(chordCode("H#m"), "HmPo");
    EXPECT_EQ(boxes->visibleTexts(), std::vector<std::string>{"A chord name in the song could not be read; its root was kept as written."});
}

// Every rule of the walk in one song, worked out by hand.
TEST(ArrangeGrid, WalksTheGridIntoTwoLinesAndChords) {
    ScopedCapture boxes;
    CSongData song;
    song.newSong(4, 4, 0, 0);
    const bool M = true, A = false;
    song.setChordName(0, "C");
    song.setNoteRecord(0, 0, half({60}, {M}));
    song.setNoteRecord(0, 1, kHeld);
    song.setChordName(1, "Skip");  // takes no time: its note is never heard
    song.setNoteRecord(1, 0, half({72}, {M}));
    song.setChordName(2, "Am7");
    song.setSecondChordName(2, "D7");
    song.setNoteRecord(2, 0, half({62, 64}, {M, A}));          // two 24-tick positions
    song.setNoteRecord(2, 1, half({65, 67, 69}, {M, M, A}));   // three 16-tick positions
    song.setChordName(3, "----");  // both halves dropped
    song.setNoteRecord(3, 0, half({74}, {M}));
    for (int beat = 4; beat <= 9; ++beat) {
        song.setChordName(beat, "G7");
        song.setBassValues(beat, 4, 4);
        song.setNoteRecord(beat, 0, kHeld);
        song.setNoteRecord(beat, 1, kHeld);
    }
    song.setNoteRecord(4, 0, kRest);
    song.setNoteRecord(4, 1, half({67}, {M}));  // held for 528 ticks: split at 384
    song.setNoteRecord(10, 0, kRest);           // beats 10 .. 15 have no chord name
    song.setNoteRecord(10, 1, kHeld);
    song.setNoteRecord(11, 0, half({71}, {M}));
    song.setNoteRecord(11, 1, kHeld);

    const ArrangedGrid grid = arrangeGrid(song);
    const std::vector<ArrangedNote> melody = {{96, 60}, {24, 62}, {24, 0},  {16, 65}, {16, 67}, {16, 0},
                                              {48, 0},  {384, 67}, {144, 0}, {96, 0},  {96, 71}, {384, 0}};
    const std::vector<ArrangedNote> accompaniment = {{96, 0}, {24, 0},  {24, 64},  {16, 0},  {16, 0},  {16, 69},
                                                     {48, 0}, {384, 0}, {144, 0}, {96, 0},  {96, 0},  {384, 0}};
    // A chord without a name is written again once it has lasted more than 767 ticks.
    const std::vector<ArrangedChord> chords = {
        {96, "CMPo", "00"}, {48, "AmPs", "00"}, {48, "DMPs", "00"}, {768, "GMPs", "04"}, {384, "GMPs", "00"}};
    EXPECT_EQ(grid.melody, melody);
    EXPECT_EQ(grid.accompaniment, accompaniment);
    EXPECT_EQ(grid.chords, chords);
    EXPECT_EQ(boxes->count(), 0u);
}

// Every arrangement works in a context of its own: two arrangements of different songs and
// seeds on two threads at the same time each give the bytes they give alone, round after
// round, and the runs do overlap (no lock makes one wait for the other).
TEST_F(ArrangementTest, ArrangementsOnTwoThreadsShareNothing) {
    struct Job {
        std::string in;
        int32_t seed;
        std::vector<uint8_t> alone;
    };
    Job jobs[2] = {{save(tune(4, 0), "major.mwd"), 5, {}}, {save(tune(3, 15), "minor.mwd"), 6, {}}};
    for (size_t k = 0; k < 2; ++k) {
        std::string title;
        ASSERT_EQ(arrangeSongData(jobs[k].in, dir.file("alone.mid"), title, jobs[k].seed), 1);
        jobs[k].alone = testing::readFileBytes(dir.file("alone.mid"));
    }
    ASSERT_NE(jobs[0].alone, jobs[1].alone);

    int results[2] = {0, 0};
    const int overlapped = testing::runTwoAtOnce(
        20,
        [&](size_t k, int) {
            std::string title;
            results[k] = arrangeSongData(jobs[k].in, dir.file("both" + std::to_string(k) + ".mid"), title, jobs[k].seed);
        },
        [&](int round) {
            for (size_t k = 0; k < 2; ++k) {
                EXPECT_EQ(results[k], 1) << "round " << round;
                EXPECT_EQ(testing::readFileBytes(dir.file("both" + std::to_string(k) + ".mid")), jobs[k].alone)
                    << "round " << round << " song " << k;
            }
        });
    EXPECT_GT(overlapped, 0);
    EXPECT_EQ(boxes->count(), 0u);
}

TEST_F(ArrangementTest, KeyAndMeterChooseTheKnowledgeAndTheSignatures) {
    struct Case {
        int keyIndex, beats;
        int knowledgeSet;
        const char* patternFile;
        int key;
        const char* midoKey;
        int numerator;
    };
    const Case cases[] = {
        {15, 4, 2, "PATTERN.DB2", 0, "Am", 4},  // Am: minor knowledge in the relative major's key
        {16, 4, 2, "PATTERN.DB2", 7, "Em", 4},
        {2, 3, 1, "PATTERN.DB", 2, "D", 3},     // three beats a measure: 3/4
    };
    for (const Case& c : cases) {
        const auto ctx = std::make_unique<ComposeContext>();
        applySongKey(*ctx, c.keyIndex);
        EXPECT_EQ(ctx->parameters.knowledgeSet, c.knowledgeSet) << c.midoKey;
        EXPECT_STREQ(ctx->parameters.patternFileName, c.patternFile) << c.midoKey;
        EXPECT_EQ(ctx->parameters.key, c.key) << c.midoKey;
        EXPECT_EQ(ctx->knowledgeNames.timeChartFile, c.knowledgeSet == 1 ? "TIMECHT.DB" : "TIMECHT.DB2") << c.midoKey;

        const std::string out = dir.file("k.mid");
        std::string title;
        ASSERT_EQ(arrangeSongData(save(tune(c.beats, c.keyIndex), "k.mwd"), out, title, 3), 1) << c.midoKey;
        const nlohmann::json summary = summaryOf(out);
        ASSERT_TRUE(summary.is_object());
        const auto& conductor = summary["tracks"][0];
        EXPECT_EQ(conductor["key_signatures"][0][1], c.midoKey);
        EXPECT_EQ(conductor["time_signatures"][0][1], c.numerator) << c.midoKey;
        EXPECT_EQ(conductor["time_signatures"][0][2], 4) << c.midoKey;
        // The whole grid is played: the melody's last note starts in the last beat.
        const auto melody = fileNotes(summary, 1);
        ASSERT_FALSE(melody.empty());
        EXPECT_EQ(melody.back().first, (4 * c.beats - 1) * 96) << c.midoKey;
    }
}

TEST_F(ArrangementTest, AnInputThatCannotBeReadWritesNothing) {
    const std::string out = dir.file("out.mid");
    std::string title = "untouched";
    EXPECT_EQ(arrangeSongData(dir.file("missing.mwd"), out, title, 1), 0);
    EXPECT_EQ(boxes->visibleTexts(),
              std::vector<std::string>{"GENE01000005 Cant find file! [" + dir.file("missing.mwd") + "]"});

    // A file whose beats per measure is 0 is refused by the reader.
    std::vector<uint8_t> bytes = tune(4, 0).toBytes();
    bytes[songdata::kMeasuresOffset + 4] = 0;
    testing::writeFileBytes(dir.file("bad.mwd"), bytes);
    EXPECT_EQ(arrangeSongData(dir.file("bad.mwd"), out, title, 1), 0);
    EXPECT_EQ(arrangeSongData(dir.path().string(), out, title, 1), 0);  // a folder

    EXPECT_EQ(title, "untouched");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);  // bad.mwd alone
}

// Every sample song sheet, arranged: the melody comes out note for note.
std::vector<std::string> sampleSheets() {
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(programData() + "/songs", ec))
        if (entry.path().extension() == ".txt") out.push_back(entry.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

class SampleSongArrangement : public ArrangementTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(SampleSongArrangement, KeepsTheMelodyNoteForNote) {
    const std::vector<uint8_t> bytes = testing::readFileBytes(programData() + "/songs/" + GetParam());
    const std::string text(bytes.begin(), bytes.end());
    std::vector<SheetError> errors;
    const std::unique_ptr<CSongData> song = parseSongSheet(text, errors);
    ASSERT_TRUE(song) << describeSheetErrors(GetParam(), errors);
    const std::string out = dir.file("song.mid");
    std::string title;
    ASSERT_EQ(arrangeSongData(save(*song, "song.mwd"), out, title, 1), 1);
    EXPECT_EQ(title, song->title());
    const nlohmann::json summary = summaryOf(out);
    ASSERT_TRUE(summary.is_object()) << "mido could not read the song";
    EXPECT_EQ(summary["type"], 1);
    EXPECT_EQ(summary["division"], 96);
    EXPECT_EQ(summary["tracks"][0]["tempos"], nlohmann::json::parse("[[0, 500000]]"));
    EXPECT_FALSE(fileNotes(summary, 3).empty()) << "no backing was added";
    // The melody on channel 1 with the style's octave copy, the accompanying notes on 15.
    std::vector<std::pair<int, int>> melody;
    for (auto [t, key] : gridNotes(*song, true)) {
        melody.emplace_back(t, key);
        if (key <= 115) melody.emplace_back(t, key + 12);
    }
    std::sort(melody.begin(), melody.end());
    ASSERT_FALSE(melody.empty());
    EXPECT_EQ(fileNotes(summary, 1), melody);
    EXPECT_EQ(fileNotes(summary, 15), gridNotes(*song, false));
    for (const auto& track : summary["tracks"]) EXPECT_TRUE(track["controls"].empty());
    EXPECT_EQ(boxes->visibleTexts(), std::vector<std::string>{});
}

// How an arranged song sounds against its tune, read by mido: the tune is channel 1's loudest
// note at each onset (its octave copy is softer), the accompaniment every other channel but
// the drums and the delayed tune copy, the bass its lowest note sounding.
struct AgainstTheTune {
    int onsets = 0, above = 0, accompanied = 0, onBeat = 0, clashes = 0;
};
AgainstTheTune againstTheTune(const nlohmann::json& summary) {
    struct Note {
        int start, channel, key, velocity, end;
    };
    std::vector<Note> tune, others;
    for (const auto& track : summary["tracks"])
        for (const auto& n : track["notes"]) {
            const Note note{n[0].get<int>(), n[1].get<int>(), n[2].get<int>(), n[3].get<int>(),
                            n[0].get<int>() + n[4].get<int>()};
            if (note.channel == 1) tune.push_back(note);
            else if (note.channel != 9 && note.channel != 10) others.push_back(note);
        }
    std::sort(tune.begin(), tune.end(), [](const Note& a, const Note& b) {
        return a.start != b.start ? a.start < b.start : std::tie(a.velocity, a.key) > std::tie(b.velocity, b.key);
    });
    const int beat = summary["division"].get<int>();
    AgainstTheTune out;
    for (size_t i = 0; i < tune.size(); ++i) {
        if (i > 0 && tune[i].start == tune[i - 1].start) continue;  // the softer copy
        const Note& m = tune[i];
        ++out.onsets;
        bool above = false, backed = false;
        int bass = -1;
        for (const Note& o : others) {
            if (o.start > m.start || o.end <= m.start) continue;
            above = above || o.key > m.key;
            backed = backed || o.channel != 2;
            if (bass < 0 || o.key < bass) bass = o.key;
        }
        out.above += above;
        out.accompanied += backed;
        if (bass >= 0 && m.start % beat == 0) {
            ++out.onBeat;
            const int interval = ((m.key - bass) % 12 + 12) % 12;
            out.clashes += interval == 1 || interval == 11 || interval == 6;
        }
    }
    return out;
}

// Whatever register a sample's tune lies in, the accompaniment stays under it (a tenth of
// the tune's onsets at most), the bass under it hardly clashes on the beat, and the backing
// is still there to be heard.
TEST_P(SampleSongArrangement, KeepsTheAccompanimentUnderTheTune) {
    const std::vector<uint8_t> bytes = testing::readFileBytes(programData() + "/songs/" + GetParam());
    std::vector<SheetError> errors;
    const std::unique_ptr<CSongData> song = parseSongSheet(std::string(bytes.begin(), bytes.end()), errors);
    ASSERT_TRUE(song) << describeSheetErrors(GetParam(), errors);
    const std::string in = save(*song, "song.mwd");
    for (int32_t seed : {1, 2, 7, 1234}) {
        const std::string out = dir.file("song.mid");
        std::string title;
        ASSERT_EQ(arrangeSongData(in, out, title, seed), 1) << seed;
        const nlohmann::json summary = summaryOf(out);
        ASSERT_TRUE(summary.is_object()) << "mido could not read the song, seed " << seed;
        const AgainstTheTune a = againstTheTune(summary);
        ASSERT_GT(a.onsets, 8) << seed;
        ASSERT_GT(a.onBeat, 0) << seed;
        EXPECT_LE(a.above, a.onsets / 10) << "accompaniment above the tune at " << a.above << " of " << a.onsets
                                          << " onsets, seed " << seed;
        EXPECT_LE(a.clashes * 20, a.onBeat) << a.clashes << " of " << a.onBeat << " on-beat notes clash, seed " << seed;
        EXPECT_GE(a.accompanied * 4, a.onsets * 3)
            << "the backing sounds at only " << a.accompanied << " of " << a.onsets << " onsets, seed " << seed;
    }
    EXPECT_EQ(boxes->visibleTexts(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Samples, SampleSongArrangement, ::testing::ValuesIn(sampleSheets()),
                         [](const auto& info) {
                             std::string name = info.param.substr(0, info.param.find('.'));
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

}  // namespace
}  // namespace tunecase
