#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <latch>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "compose/accompaniment.h"
#include "compose/compose_driver.h"
#include "compose/compose_errors.h"
#include "compose/compose_context.h"
#include "compose/compose_information.h"
#include "compose/form.h"
#include "compose/score_rendering.h"
#include "compose_test_util.h"
#include "song_test_util.h"
#include "support/two_at_once.h"
#include "styles/composition_parameters.h"
#include "styles/knowledge_names.h"
#include "midi/midi_f1_data.h"
#include "styles/style_catalogue.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

class Driver : public testing::EngineTest {
protected:
    // Composes into the temp folder; the song's measures are those the driver counted.
    int compose(int seed, ComposeOptions options = {}) {
        options.seeded = true;
        options.seed = seed;
        return ComposeSong(ctx, dir.file("song.mid"), options);
    }

    testing::TempFolder dir;
};

TEST_F(Driver, SongsOfTheMusicBoxComeOutInsideTheWindowOfTheirTarget) {
    const auto accepted = [](int target) {
        std::vector<int> out;
        for (int m = 0; m < 60; ++m)
            if (LengthWindowFor(target).accepts(m)) out.push_back(m);
        return out;
    };
    EXPECT_EQ(accepted(5), (std::vector<int>{3, 4, 5}));
    EXPECT_EQ(accepted(40), (std::vector<int>{36, 37, 38, 39, 40}));
    for (int target : {5, 16, 40}) {
        std::map<int, int> lengths;
        for (int seed = 1; seed <= 12; ++seed) {
            ComposeOptions o;
            o.measures = target;
            ASSERT_EQ(compose(seed, o), 1) << target;
            EXPECT_EQ(ctx.parameters.measureCount, target);
            ++lengths[ctx.information.measureCount];
        }
        // Most forms are too long to be fitted down to 5 measures (and the fitting stops at 6):
        // a 5-measure target mostly ends on the nearest of the attempts.
        for (auto [measures, count] : lengths) {
            if (target == 5) EXPECT_LE(LengthWindowFor(target).distance(measures), 2) << measures;
            else EXPECT_TRUE(LengthWindowFor(target).accepts(measures)) << "target " << target << ": " << measures;
        }
    }
    EXPECT_EQ(boxes->count(), 0u) << boxes->visibleTexts()[0];
}

TEST_F(Driver, SevenEightWidensTheWindowInsteadOfFitting) {
    // The fitting leaves a 7/8 form alone, however far it lies from the target.
    ctx.parameters.timeSignature = 2;
    ctx.parameters.measureCount = 25;
    ctx.knowledgeNames = SelectKnowledgeNames(ctx.parameters, ctx.parameters.knowledgeSet);
    LoadKnowledge(ctx);
    ResetComposition(ctx);
    BuildFormAndCharts(ctx);
    const int natural = FormMeasures(ctx);
    EXPECT_EQ(FitSongLength(ctx, 5), natural);
    for (int b = 0; b < ctx.information.blockCount; ++b)
        for (const ComposeEntry& e : ctx.information.blockChords[static_cast<size_t>(b)]) EXPECT_EQ(e.length, 336);

    for (int seed = 1; seed <= 6; ++seed) {
        ComposeOptions o;
        o.measures = 6;
        o.adjust = [this](CompositionParameters& p) {
            p.timeSignature = 2;
            ctx.knowledgeNames = SelectKnowledgeNames(p, p.knowledgeSet);
        };
        ASSERT_EQ(compose(seed, o), 1);
        // The first pass takes anything from 3 to the target + 10, later passes more.
        EXPECT_GE(ctx.information.measureCount, 3);
        EXPECT_EQ(ctx.generationsMade, 1);
        for (const ChordRecord& c : ctx.information.songChords)
            EXPECT_TRUE(c.duration == 336 || c.duration == 576) << c.duration;
    }
}

TEST_F(Driver, FreeLengthsGenerateFiveTimesAndOneChordAMeasureOnce) {
    ComposeOptions o;
    o.measures = 200;  // out of reach of four-chord charts
    o.adjust = [](CompositionParameters& p) { p.chartKind = 4; };
    ASSERT_EQ(compose(11, o), 1);
    EXPECT_EQ(ctx.generationsMade, 5);

    o.measures = 34;
    o.adjust = [](CompositionParameters& p) {
        p.chartKind = 4;
        p.oneChordPerMeasure = 1;
    };
    ASSERT_EQ(compose(12, o), 1);
    EXPECT_EQ(ctx.generationsMade, 1);
    // (34 - 2) / 4 / 2 = 4 blocks, each played twice, every chord one measure.
    EXPECT_EQ(ctx.information.blockCount, 4);
    EXPECT_EQ(ctx.information.form, (std::vector<int>{1, 1, 2, 2, 3, 3, 4, 4}));
    for (size_t i = 0; i + 1 < ctx.information.songChords.size(); ++i)
        EXPECT_EQ(ctx.information.songChords[i].duration, 384);

    // A target no song can reach ends after a bounded number of attempts, with a song.
    o.measures = 1;
    o.adjust = nullptr;
    ASSERT_EQ(compose(13, o), 1);
    EXPECT_EQ(ctx.generationsMade, 1);
}

TEST_F(Driver, TheSameSeedGivesTheSameFileAndTheRunResetsWhatAnArrangementLeft) {
    ASSERT_EQ(compose(99), 1);
    const auto first = testing::readFileBytes(dir.file("song.mid"));
    ctx.engine.arrangementMode = kArrangingMode;
    ctx.arrangementPart.AddNote(96, 60);
    ASSERT_EQ(compose(99), 1);
    EXPECT_EQ(testing::readFileBytes(dir.file("song.mid")), first);
    EXPECT_EQ(ctx.engine.arrangementMode, 0);
    EXPECT_FALSE(ctx.engine.composeRun);
    // An ordinary composition: the structure marks close with two measures.
    EXPECT_EQ(ctx.information.structureMarks.size(), ctx.information.songChords.size() + 1);

    ASSERT_EQ(compose(100), 1);
    EXPECT_NE(testing::readFileBytes(dir.file("song.mid")), first);
    EXPECT_EQ(ctx.songSeed, 100);

    // A style slot outside the table writes nothing.
    std::filesystem::remove(dir.file("song.mid"));
    ComposeOptions o;
    o.category = 9;
    EXPECT_EQ(compose(1, o), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.file("song.mid")));
}

// Many songs read back by python3-mido: the Music Box tracks and programs, 120 beats per
// minute, the melody inside 60 .. 84 with its octave copy, and accompaniment that fills every
// chord the conductor marks.
TEST_F(Driver, EveryComposedSongReadsBackAsAMusicBoxSongThatFillsItsChords) {
    if (!testing::haveMido()) GTEST_SKIP() << "python3-mido is not installed";
    for (int seed = 1000; seed < 1030; ++seed) {
        ASSERT_EQ(compose(seed), 1);
        const auto song = testing::songSummary(dir.file("song.mid"));
        ASSERT_FALSE(song.is_null()) << seed;
        ASSERT_EQ(song["type"], 1);
        ASSERT_EQ(song["division"], 96);
        const auto& tracks = song["tracks"];
        ASSERT_EQ(tracks.size(), 4u) << seed;
        const auto& conductor = tracks[0];
        EXPECT_EQ(conductor["texts"][0], "random_seed " + std::to_string(seed) + std::string(1, '\0'));
        EXPECT_EQ(conductor["tempos"], nlohmann::json::parse("[[0, 500000]]"));
        EXPECT_EQ(conductor["time_signatures"], nlohmann::json::parse("[[0, 4, 4, 18]]"));
        EXPECT_EQ(conductor["key_signatures"], nlohmann::json::parse(R"([[0, "C"]])"));
        EXPECT_TRUE(conductor["notes"].empty());

        // Chord boundaries from the markers: "N/C" at 0, then one marker a chord from 384 on;
        // the closing chord lasts 768.
        const auto& markers = conductor["markers"];
        ASSERT_GE(markers.size(), 3u);
        EXPECT_EQ(markers[0], nlohmann::json::parse(R"([0, "N/C"])"));
        std::vector<int> bounds;
        for (size_t i = 1; i < markers.size(); ++i) bounds.push_back(markers[i][0]);
        EXPECT_EQ(bounds.front(), 384);
        bounds.push_back(bounds.back() + 768);
        const int songEnd = bounds.back();
        const int measures = (songEnd - 384) / 384;
        EXPECT_TRUE(LengthWindowFor(16).accepts(measures)) << seed << ": " << measures;

        std::map<int, int> channelOf;
        for (size_t t = 1; t < 4; ++t) {
            std::set<int> channels;
            for (const auto& n : tracks[t]["notes"]) channels.insert(n[1].get<int>());
            ASSERT_EQ(channels.size(), 1u) << seed;
            channelOf[*channels.begin()] = static_cast<int>(t);
            const std::string program = "[[0, " + std::to_string(*channels.begin()) + ", 10]]";
            EXPECT_EQ(tracks[t]["programs"], nlohmann::json::parse(program));
        }
        ASSERT_EQ(channelOf.size(), 3u);
        const auto& melody = tracks[channelOf.at(1)]["notes"];
        const auto& backing = tracks[channelOf.at(3)]["notes"];
        const auto& bass = tracks[channelOf.at(2)]["notes"];

        std::multiset<std::pair<int, int>> tunes, copies;
        for (const auto& n : melody) {
            const int start = n[0], key = n[2], velocity = n[3], duration = n[4];
            ASSERT_GE(start, 384);
            ASSERT_LE(start + duration, songEnd) << seed;
            if (velocity == 38) {
                copies.insert({start, key - 12});
            } else {
                EXPECT_GE(key, 60) << seed;
                EXPECT_LE(key, 84) << seed;
                tunes.insert({start, key});
            }
        }
        EXPECT_EQ(tunes, copies) << seed;
        EXPECT_GT(tunes.size(), 20u);

        // Every chord: the bass starts on it and plays to its end; the backing plays in it on
        // its eighth-note grid (a note in unison with the melody gives way to it).
        for (size_t c = 0; c + 1 < bounds.size(); ++c) {
            const int from = bounds[c], to = bounds[c + 1];
            bool bassOnTheChord = false, backingInTheChord = false;
            int bassEnd = from;
            for (const auto& n : bass) {
                const int start = n[0], end = start + n[4].get<int>();
                if (start < from || start >= to) continue;
                bassOnTheChord |= start == from;
                EXPECT_LE(end, to) << seed;
                bassEnd = std::max(bassEnd, end);
            }
            for (const auto& n : backing) {
                const int start = n[0], end = start + n[4].get<int>();
                if (start < from || start >= to) continue;
                backingInTheChord = true;
                EXPECT_EQ((start - from) % 48, 0) << seed;
                EXPECT_LE(end, to) << seed;
            }
            EXPECT_TRUE(bassOnTheChord) << "seed " << seed << " chord at " << from;
            EXPECT_LE(to - bassEnd, 4) << "seed " << seed << " chord at " << from;
            // The backing gives way where the melody itself plays the chord on every eighth.
            std::set<int> melodyOnsets;
            for (const auto& t : tunes)
                if (t.first >= from && t.first < to) melodyOnsets.insert(t.first);
            bool melodyOnEveryEighth = true;
            for (int at = from; at < to; at += 48) melodyOnEveryEighth &= melodyOnsets.count(at) > 0;
            EXPECT_TRUE(backingInTheChord || melodyOnEveryEighth) << "seed " << seed << " chord at " << from;
        }
    }
}

// Two compositions with different seeds on two threads at the same time, each in its own
// context: round after round each gives the bytes it gives alone, and the runs overlap in
// time (nothing makes one wait for the other).
TEST_F(Driver, TwoCompositionsOnTwoThreadsShareNothing) {
    const int32_t seeds[2] = {7, 8};
    const auto composeInto = [&](int32_t seed, const std::string& path) {
        const auto own = std::make_unique<ComposeContext>();
        own->knowledge.folder = testing::programDataFolder();
        ComposeOptions o;
        o.seeded = true;
        o.seed = seed;
        return ComposeSong(*own, path, o);
    };
    std::vector<uint8_t> alone[2];
    for (size_t k = 0; k < 2; ++k) {
        ASSERT_EQ(composeInto(seeds[k], dir.file("alone.mid")), 1);
        alone[k] = testing::readFileBytes(dir.file("alone.mid"));
    }
    ASSERT_NE(alone[0], alone[1]);

    int results[2] = {0, 0};
    const int overlapped = testing::runTwoAtOnce(
        25, [&](size_t k, int) { results[k] = composeInto(seeds[k], dir.file("both" + std::to_string(k) + ".mid")); },
        [&](int round) {
            for (size_t k = 0; k < 2; ++k) {
                EXPECT_EQ(results[k], 1) << "round " << round;
                EXPECT_EQ(testing::readFileBytes(dir.file("both" + std::to_string(k) + ".mid")), alone[k])
                    << "round " << round << " seed " << seeds[k];
            }
        });
    EXPECT_GT(overlapped, 0);
    EXPECT_EQ(boxes->count(), 0u);
}

// The "Music Box" style as a listener gets it, read back by python3-mido: three music boxes
// mixed melody 120, bass 60, backing 100, all with chorus 60 and no reverb, and the bass one
// octave above a plain bass: it starts every chord on the chord's root, in 48 .. 59.
TEST_F(Driver, TheMusicBoxMixesItsThreeBoxesAndPlaysTheBassAnOctaveUp) {
    if (!testing::haveMido()) GTEST_SKIP() << "python3-mido is not installed";
    const auto rootOf = [](const std::string& name) {
        const std::string letters = "C D EF G A B";
        int pc = static_cast<int>(letters.find(name[0]));
        if (name.size() > 1 && name[1] == 'b') pc += 11;
        if (name.size() > 1 && name[1] == '#') pc += 1;
        return pc % 12;
    };
    for (int seed = 1; seed <= 5; ++seed) {
        ASSERT_EQ(compose(seed), 1);
        const auto song = testing::songSummary(dir.file("song.mid"));
        ASSERT_FALSE(song.is_null()) << seed;
        std::map<int, std::map<int, int>> setUp;  // channel -> controller -> value at the start
        std::map<int, std::vector<std::pair<int, int>>> notes;  // channel -> (start, key)
        for (const auto& track : song["tracks"]) {
            for (const auto& c : track["controls"])
                if (c[0].get<int>() == 0) setUp[c[1].get<int>()][c[2].get<int>()] = c[3].get<int>();
            for (const auto& n : track["notes"]) notes[n[1].get<int>()].emplace_back(n[0].get<int>(), n[2].get<int>());
        }
        const std::map<int, int> volumes = {{1, 120}, {2, 60}, {3, 100}};
        for (auto [channel, volume] : volumes) {
            EXPECT_EQ(setUp[channel][7], volume) << "channel " << channel;
            EXPECT_EQ(setUp[channel][93], 60) << "channel " << channel;
            EXPECT_EQ(setUp[channel][91], 0) << "channel " << channel;
        }
        EXPECT_EQ(notes.size(), 3u) << seed;

        const auto& markers = song["tracks"][0]["markers"];
        ASSERT_GE(markers.size(), 2u);
        for (size_t i = 1; i < markers.size(); ++i) {
            const int at = markers[i][0];
            const std::string name = markers[i][1];
            const auto first = std::find_if(notes[2].begin(), notes[2].end(), [&](auto n) { return n.first == at; });
            ASSERT_NE(first, notes[2].end()) << "seed " << seed << " chord " << name << " at " << at;
            EXPECT_EQ(first->second % 12, rootOf(name)) << "seed " << seed << " chord " << name;
            EXPECT_GE(first->second, 48) << name;
            EXPECT_LE(first->second, 59) << name;
        }
    }
}

// Every slot of the style catalogue, with every part playing and the pattern kinds, drum
// styles, environment programs and melody effects taken in turn: each composes, reports
// nothing and writes a song whose tracks hold one channel each and end with the song.
TEST_F(Driver, EveryStyleComposesWithEveryPartPlaying) {
    for (int c = 0; c < kStyleCategories; ++c)
        for (int s = 0; s < kStyleSlots; ++s) {
            const int n = c * kStyleSlots + s;
            ComposeOptions o;
            o.category = c;
            o.slot = s;
            o.adjust = [n](CompositionParameters& p) {
                for (int k : {2, 3, 4, 5, 7}) p.partProgram[k] = 10 + n % 3;
                p.partProgram[8] = n % 3 == 0 ? 122 : n % 3 == 1 ? 123 : 126;
                p.partProgram[9] = 1;
                p.backingPattern3 = 1 + n % kBackingKinds;
                p.backingPattern7 = 1 + (n + 31) % kBackingKinds;
                p.bassPattern = 1 + n % kBassKinds;
                p.drumPattern = 1 + n % kDrumStyles;
                p.partRules[1][rule::Effect] = n % 23;
                p.part5Mode = n % 2;
                p.partPace[3] = 20 + n % 15 * 10;
            };
            boxes->clear();
            ASSERT_EQ(compose(n, o), 1) << c << "/" << s;
            // Only the kinds that do not fit the meter say so.
            const CompositionParameters& p = ctx.parameters;
            for (const Report& r : boxes->reports()) {
                const bool fits = (r.code == zemc::TimeSignBaseBeat &&
                                   (p.backingPattern3 == 47 || p.backingPattern7 == 47) && p.timeSignature != 1) ||
                                  (r.code == zemc::RiffLength && (p.backingPattern3 == 30 || p.backingPattern7 == 30) &&
                                   p.timeSignature == 2) ||
                                  (r.code == zemc::BassRiff && p.bassPattern == 19 && p.timeSignature == 2);
                EXPECT_TRUE(fits) << c << "/" << s << " " << r.visible;
            }
            int64_t songEnd = LeadInTicks(ctx);
            for (const ChordRecord& chord : ctx.information.songChords) songEnd += chord.duration;
            songEnd += MeasureLength(ctx);  // the delayed parts may reach this far past the song

            auto file = MidiF1Data::openFile(dir.file("song.mid"));
            ASSERT_GE(file->trackCount(), 9) << c << "/" << s;  // conductor, 1, 3, 7, 4, 5, 2, 9, 8
            for (int t = 1; t < file->trackCount(); ++t) {
                std::set<int> channels;
                for (const auto& [start, channel, key, velocity, duration] : testing::notesOf(*file->track(t))) {
                    channels.insert(channel);
                    ASSERT_LE(start + duration, songEnd) << c << "/" << s << " track " << t;
                }
                EXPECT_LE(channels.size(), 1u);
            }
        }
}

}  // namespace
}  // namespace tunecase
