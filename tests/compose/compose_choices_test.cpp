// The choices a composition may be asked for: key names, the transposition out of C major and
// A minor read back by python3-mido, the title read back by our own reader, and every style
// in minor and in 3/4 over many seeds.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "compose/compose_choices.h"
#include "compose/compose_context.h"
#include "compose/compose_driver.h"
#include "compose/score_rendering.h"
#include "compose/song_key.h"
#include "compose_test_util.h"
#include "midi/midi_f0_data.h"
#include "song_test_util.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

TEST(SongKeys, EveryNameAndSpellingReadsAsItsKeyAndNothingElseDoes) {
    // Every canonical name reads back as itself, and its shift lands on its tonic.
    const std::vector<std::string> names = allSongKeyNames();
    ASSERT_EQ(names.size(), 24u);
    for (const std::string& name : names) {
        const auto key = parseSongKey(name);
        ASSERT_TRUE(key) << name;
        EXPECT_EQ(songKeyName(*key), name);
        const int shift = keyTransposition(*key);
        EXPECT_GE(shift, -5) << name;
        EXPECT_LE(shift, 6) << name;
        EXPECT_EQ(((key->minor ? 9 : 0) + shift + 12) % 12, key->tonic) << name;
        EXPECT_LE(std::abs(keySignatureSharps(*key)), 6) << name;
    }
    const struct {
        const char* text;
        int tonic;
        bool minor;
    } spellings[] = {
        {"G", 7, false},   {"F#m", 6, true},  {"Bb", 10, false}, {"E minor", 4, true}, {"c#", 1, true},
        {"a", 9, true},    {"Gb", 6, false},  {"D#m", 3, true},  {"CM", 0, false},     {"Cm", 0, true},
        {"B flat", 10, false}, {"A-flat major", 8, false}, {"f sharp min", 6, true}, {" D maj ", 2, false},
        {"Cb", 11, false}, {"E#", 5, false},
    };
    for (const auto& s : spellings) {
        const auto key = parseSongKey(s.text);
        ASSERT_TRUE(key) << s.text;
        EXPECT_EQ(*key, (SongKey24{s.tonic, s.minor})) << s.text;
    }
    for (const char* bad : {"", "H", "C##", "Cx", "G minorish", "m", "#", "Bbb", "7", "C major minor"})
        EXPECT_FALSE(parseSongKey(bad)) << bad;
}

TEST(SongKeys, ChordMarkersMoveWithTheirRootAndBass) {
    EXPECT_EQ(TransposeChordName("Am7", 7, false), "Em7");
    EXPECT_EQ(TransposeChordName("BbM7onD", 2, false), "CM7onE");
    EXPECT_EQ(TransposeChordName("C ", -2, true), "Bb ");
    EXPECT_EQ(TransposeChordName("F#dim", 1, false), "Gdim");
    EXPECT_EQ(TransposeChordName("N/C", 5, false), "N/C");
}

TEST(ComposeChoicesCheck, RefusalsNameWhatIsWrong) {
    const struct {
        ComposeChoices choices;
        std::string refusal;  // "" = accepted
    } cases[] = {
        {{}, ""},
        {{"lullaby", "F#m", -1, 60, 8}, ""},
        {{"Waltz", "", 1, 0, 120}, ""},
        {{"Folk Tune", "", 1, 0, 0}, ""},
        {{"Waltz", "", 0, 0, 0}, "The style \"Waltz\" is written for 3/4 only."},
        {{"Polka", "", -1, 0, 0}, "There is no style \"Polka\"; the styles are Music Box, Waltz, Folk Tune, Carol, Lullaby."},
        {{"Music Box", "H", -1, 0, 0}, "\"H\" is not a key; the keys are C major, D-flat major, D major, E-flat major, "
                                       "E major, F major, F-sharp major, G major, A-flat major, A major, B-flat major, "
                                       "B major, C minor, C-sharp minor, D minor, E-flat minor, E minor, F minor, "
                                       "F-sharp minor, G minor, G-sharp minor, A minor, B-flat minor, B minor."},
        {{"Music Box", "", -1, 39, 0}, "The tempo is 40 to 200 beats per minute."},
        {{"Music Box", "", -1, 201, 0}, "The tempo is 40 to 200 beats per minute."},
        {{"Music Box", "", -1, 200, 200}, ""},
        {{"Music Box", "", -1, 0, 7}, "A song in 4/4 is 8 to 200 measures long."},
        {{"Music Box", "", -1, 0, 201}, "A song in 4/4 is 8 to 200 measures long."},
        {{"Music Box", "", 1, 0, 121}, "A song in 3/4 is 8 to 120 measures long."},
        {{"Lullaby", "", -1, 0, 121}, "A song in 3/4 is 8 to 120 measures long."},
        {{"Music Box", "", 2, 0, 0}, "The meter is 4/4 or 3/4."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.choices.style + " " + c.choices.key);
        ComposeOptions options;
        EXPECT_EQ(prepareComposeOptions(c.choices, options), c.refusal);
    }
    ComposeOptions options;
    ASSERT_EQ(prepareComposeOptions({"carol", "bb", 1, 90, 24}, options), "");
    const ComposableStyle* carol = findComposableStyle("Carol");
    EXPECT_EQ(options.category, carol->category);
    EXPECT_EQ(options.slot, carol->slot);
    EXPECT_EQ(options.key, (SongKey24{10, true}));
    EXPECT_EQ(options.meter, 1);
    EXPECT_EQ(options.tempo, 666000);
    EXPECT_EQ(options.measures, 24);
    EXPECT_EQ(options.title, "Carol in B-flat minor");
}

class ChosenSongs : public testing::EngineTest {
protected:
    int compose(int seed, ComposeOptions options, const std::string& name = "song.mid") {
        options.seeded = true;
        options.seed = seed;
        return ComposeSong(ctx, dir.file(name), options);
    }
    testing::TempFolder dir;
};

TEST_F(ChosenSongs, AskingForWhatTheStyleIsChangesNoByte) {
    // Today's songs stay as they were; C major, 4/4, 120 and 16 measures are the music box's own.
    for (int seed : {1, 77}) {
        ASSERT_EQ(compose(seed, {}, "plain.mid"), 1);
        ComposeOptions same;
        same.key = SongKey24{0, false};
        same.meter = 0;
        same.tempo = kComposeTempo;
        same.measures = 16;
        ASSERT_EQ(compose(seed, same, "asked.mid"), 1);
        EXPECT_EQ(testing::readFileBytes(dir.file("plain.mid")), testing::readFileBytes(dir.file("asked.mid")));
        EXPECT_EQ(MidiF0Data::openFile(dir.file("plain.mid"))->title(), "");
    }
}

TEST_F(ChosenSongs, TheTitleIsTheFirstTracksNameAndTheSeedStaysInItsText) {
    ComposeOptions o;
    ASSERT_EQ(prepareComposeOptions({"Lullaby", "G", -1, 0, 0}, o), "");
    ASSERT_EQ(compose(42, o), 1);
    const auto song = MidiF0Data::openFile(dir.file("song.mid"));
    EXPECT_EQ(song->title(), "Lullaby in G major");
    if (!testing::haveMido()) GTEST_SKIP() << "python3-mido is not installed";
    const auto summary = testing::songSummary(dir.file("song.mid"));
    EXPECT_EQ(summary["tracks"][0]["texts"][0], std::string("random_seed 42") + '\0');
    EXPECT_EQ(summary["tracks"][0]["tempos"][0][1], findComposableStyle("Lullaby")->tempo);
}

// mido's name of a key signature, from ours: "B-flat minor" -> "Bbm".
std::string midoKey(std::string name) {
    for (auto [from, to] : {std::pair{"-flat", "b"}, {"-sharp", "#"}, {" major", ""}, {" minor", "m"}})
        if (const size_t at = name.find(from); at != std::string::npos) name.replace(at, std::string(from).size(), to);
    return name;
}

// Every note of the song as (start, channel) -> keys, from python3-mido.
std::multimap<std::pair<int, int>, int> notesOf(const nlohmann::json& song) {
    std::multimap<std::pair<int, int>, int> out;
    for (const auto& track : song["tracks"])
        for (const auto& n : track["notes"]) out.insert({{n[0].get<int>(), n[1].get<int>()}, n[2].get<int>()});
    return out;
}

TEST_F(ChosenSongs, EveryKeyMovesEveryPitchedNoteAndNotTheDrumsAndSaysItsSignature) {
    if (!testing::haveMido()) GTEST_SKIP() << "python3-mido is not installed";
    // With a drum part, so that the drums are there to stay put.
    const auto withDrums = [](CompositionParameters& p) { p.partProgram[kDrumChannel] = 0; };
    for (bool minor : {false, true}) {
        ComposeOptions home;
        home.key = SongKey24{minor ? 9 : 0, minor};
        home.adjust = withDrums;
        ASSERT_EQ(compose(5, home, "home.mid"), 1);
        const auto reference = testing::songSummary(dir.file("home.mid"));
        const auto referenceNotes = notesOf(reference);
        ASSERT_GT(referenceNotes.count({384, kDrumChannel}) + referenceNotes.size(), 40u);
        bool drums = false;
        for (const auto& [at, key] : referenceNotes) drums |= at.second == kDrumChannel;
        EXPECT_TRUE(drums) << "no drum part to check";
        for (int tonic = 0; tonic < 12; ++tonic) {
            const SongKey24 key{tonic, minor};
            SCOPED_TRACE(songKeyName(key));
            ComposeOptions o = home;
            o.key = key;
            ASSERT_EQ(compose(5, o), 1);
            const auto song = testing::songSummary(dir.file("song.mid"));
            EXPECT_EQ(song["tracks"][0]["key_signatures"], nlohmann::json::array({{0, midoKey(songKeyName(key))}}));
            const int shift = keyTransposition(key);
            std::multimap<std::pair<int, int>, int> expected;
            for (const auto& [at, k] : referenceNotes) expected.insert({at, at.second == kDrumChannel ? k : k + shift});
            EXPECT_EQ(notesOf(song), expected);
            EXPECT_EQ(song["tracks"][0]["markers"].size(), reference["tracks"][0]["markers"].size());
        }
    }
}

TEST_F(ChosenSongs, EveryStyleComposesInMinorAndInThreeFourWithoutAWord) {
    for (const ComposableStyle& style : composableStyles()) {
        for (const auto& [key, meter] : {std::pair{"Am", -1}, {"Dm", 1}, {"", 1}, {"E", 0}}) {
            ComposeChoices choices{style.name, key, meter, 0, 0};
            ComposeOptions o;
            if (!prepareComposeOptions(choices, o).empty()) {
                EXPECT_FALSE(style.eitherMeter) << style.name;  // only a one-meter style refuses
                continue;
            }
            for (int seed = 1; seed <= 12; ++seed) {
                SCOPED_TRACE(std::string(style.name) + " " + key + " seed " + std::to_string(seed));
                ASSERT_EQ(compose(seed, o), 1);
                EXPECT_EQ(ctx.parameters.timeSignature, meter < 0 ? style.meter : meter);
                EXPECT_EQ(ctx.parameters.knowledgeSet, key[0] != 0 && key[1] == 'm' ? 2 : 1);
                EXPECT_TRUE(LengthWindowFor(ctx.parameters.measureCount).accepts(ctx.information.measureCount))
                    << ctx.information.measureCount;
            }
        }
    }
    EXPECT_EQ(boxes->count(), 0u) << (boxes->count() ? boxes->visibleTexts()[0] : "");
}

TEST_F(ChosenSongs, TheMeasureLimitsTheHelpStatesAreReached) {
    for (const auto& [style, measures] : {std::pair{"Music Box", kFewestComposeMeasures},
                                          {"Music Box", kMostComposeMeasures},
                                          {"Waltz", kFewestComposeMeasures},
                                          {"Folk Tune", 100},
                                          {"Lullaby", kMostComposeMeasuresIn34}}) {
        ComposeOptions o;
        ASSERT_EQ(prepareComposeOptions({style, "", -1, 0, measures}, o), "");
        for (int seed = 1; seed <= 6; ++seed) {
            SCOPED_TRACE(std::string(style) + " " + std::to_string(measures) + " seed " + std::to_string(seed));
            ASSERT_EQ(compose(seed, o), 1);
            EXPECT_LE(std::abs(ctx.information.measureCount - measures), 4) << ctx.information.measureCount;
        }
    }
}

}  // namespace
}  // namespace tunecase
