// Fitting songs to paper-strip boxes: the transposition search on songs whose best key is
// known, the too-close rule at its limit, folding and dropping with the report, and songs
// loaded from files checked against python3-mido's reading of the same files.
#include "strips/strip_fitting.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>

#include "base/reporter.h"
#include "midi/smf_test_util.h"

namespace tunecase {
namespace {

BoxModel makeBox(std::vector<int> comb, double mmPerBeat = 8.0, double minRepeatMm = 2.5) {
    BoxModel box;
    box.name = "test";
    box.comb = std::move(comb);
    box.stripWidthMm = 100;
    box.lineSpacingMm = 2;
    box.firstLineMm = 5;
    box.mmPerBeat = mmPerBeat;
    box.minRepeatMm = minRepeatMm;
    return box;
}

// C4 to C6 in C major, no sharps, and the 30-note comb: C3 D3 G3 A3 B3, C4 D4 E4 F4, then
// chromatic from F4 up to C6, then D6 E6.
const std::vector<int> kCMajor15 = {60, 62, 64, 65, 67, 69, 71, 72, 74, 76, 77, 79, 81, 83, 84};
const std::vector<int> kComb30 = {48, 50, 55, 57, 59, 60, 62, 64, 65, 66, 67, 68, 69, 70, 71,
                                  72, 73, 74, 75, 76, 77, 78, 79, 80, 81, 82, 83, 84, 86, 88};

// One note per eighth (480 ticks a quarter) with the given keys.
StripSong run(const std::vector<int>& keys) {
    StripSong song;
    for (size_t i = 0; i < keys.size(); ++i) song.notes.push_back({static_cast<int64_t>(i) * 240, keys[i]});
    return song;
}

std::vector<int> rising(int from, int count, const std::vector<int>& steps) {
    std::vector<int> keys{from};
    for (int i = 1; i < count; ++i) keys.push_back(keys.back() + steps[static_cast<size_t>(i - 1) % steps.size()]);
    return keys;
}

TEST(StripFit, TranspositionKeepsTheMostNotesOnTheComb) {
    const BoxModel box15 = makeBox(kCMajor15), box30 = makeBox(kComb30);
    const std::vector<int> major = {2, 2, 1, 2, 2, 2, 1};

    // A C major scale on the C major comb: no move (a move up an octave keeps it all too,
    // but is the larger move).
    StripFit fit = fitSongToBox(run(rising(60, 8, major)), box15);
    EXPECT_EQ(fit.transpose, 0);
    EXPECT_EQ(fit.kept, 8);
    // The same scale a tone up (D major) comes down a tone.
    fit = fitSongToBox(run(rising(62, 8, major)), box15);
    EXPECT_EQ(fit.transpose, -2);
    EXPECT_EQ(fit.kept, 8);
    EXPECT_EQ(fit.folded + fit.dropped, 0);

    // A chromatic run of 21 notes fits the 30-note comb in one place only: E4 to C6.
    fit = fitSongToBox(run(rising(55, 21, {1})), box30);
    EXPECT_EQ(fit.transpose, 64 - 55);
    EXPECT_EQ(fit.kept, 21);
    // A chromatic octave fits anywhere from E4 to C5 upwards; the smallest move wins, from
    // below and from above.
    EXPECT_EQ(fitSongToBox(run(rising(60, 13, {1})), box30).transpose, 4);
    fit = fitSongToBox(run(rising(80, 13, {1})), box30);
    EXPECT_EQ(fit.transpose, -8);
    EXPECT_EQ(fit.kept, 13);

    // Equal in every other way, the upward move is taken.
    EXPECT_EQ(fitSongToBox(run({66}), makeBox({60, 72})).transpose, 6);
    // A fixed transposition is used as it is.
    StripFitOptions fixed;
    fixed.transpose = 3;
    fit = fitSongToBox(run(rising(60, 8, major)), box15, fixed);
    EXPECT_EQ(fit.transpose, 3);  // C D E F G A B C -> D# F G G# A# C D D#: four have no tooth
    EXPECT_EQ(fit.kept, 4);
    EXPECT_EQ(fit.dropped, 4);
}

TEST(StripFit, TooCloseRepeatsDecideBetweenEqualTranspositions) {
    // Comb C4 E4 C5. Song: C5, C6 a sixteenth later, E4 a beat on. Unmoved, C5 and E4 are on
    // the comb and C6 folds onto C5 2 mm after it: too close. An octave down keeps two notes
    // as well (C4, C5) with E3 folded to E4 and nothing too close, so it wins.
    const BoxModel box = makeBox({60, 64, 72});
    StripSong song;
    song.notes = {{0, 72}, {120, 84}, {480, 64}};
    StripFit fit = fitSongToBox(song, box);
    EXPECT_EQ(fit.transpose, -12);
    EXPECT_EQ(fit.tooClose, 0);
    EXPECT_EQ(fit.kept, 2);
    EXPECT_EQ(fit.folded, 1);

    StripFitOptions unmoved;
    unmoved.transpose = 0;
    fit = fitSongToBox(song, box, unmoved);
    EXPECT_EQ(fit.tooClose, 1);
    EXPECT_EQ(fit.notes[1].fate, StripNoteFate::Folded);
    EXPECT_EQ(fit.notes[1].key, 72);
    EXPECT_TRUE(fit.notes[1].tooClose);
    EXPECT_FALSE(fit.notes[0].tooClose);
}

TEST(StripFit, RepeatExactlyAtTheLimitIsFineJustUnderIsFlagged) {
    // 1.75 mm at 8.4 mm a beat is 100 ticks at 480 a quarter (neither figure exact in binary).
    const BoxModel box = makeBox({60, 62}, 8.0, 1.75);
    StripFitOptions options;
    options.transpose = 0;
    options.mmPerBeat = 8.4;
    StripSong song;
    song.notes = {{0, 60}, {50, 62}, {100, 60}, {199, 60}, {299, 60}, {1000, 62}, {1099, 62}};
    StripFit fit = fitSongToBox(song, box, options);
    ASSERT_EQ(fit.notes.size(), 7u);
    EXPECT_DOUBLE_EQ(fit.mmPerBeat, 8.4);
    const std::vector<bool> expected = {false, false, false, true, false, false, true};
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(fit.notes[i].tooClose, expected[i]) << "note " << i;
    EXPECT_EQ(fit.tooClose, 2);
    EXPECT_NEAR(fit.lengthMm, 1099.0 / 480 * 8.4, 1e-9);

    // At the box's own 8 mm a beat the same 100 ticks are only 1.67 mm.
    options.mmPerBeat.reset();
    EXPECT_EQ(fitSongToBox(song, box, options).tooClose, 4);
}

TEST(StripFit, FoldsByFewestOctavesDropsTheRestAndReportsWithBarAndBeat) {
    // 6/8 at 96 ticks a quarter: a beat (an eighth) is 48 ticks, a bar 288.
    StripSong song;
    song.title = "Six eight";
    song.division = 96;
    song.beatsPerBar = 6;
    song.beatUnit = 8;
    song.notes = {{0, 48}, {0, 60}, {312, 78}, {336, 98}, {600, 59}};
    StripFitOptions options;
    options.transpose = 0;
    const StripFit fit = fitSongToBox(song, makeBox(kCMajor15), options);
    ASSERT_EQ(fit.notes.size(), 5u);
    EXPECT_EQ(fit.notes[0].key, -1);
    EXPECT_EQ(fit.notes[0].tooth, -1);
    EXPECT_EQ(fit.notes[3].tooth, 8);
    // C3 folds onto C4, where the C4 of the same moment already is: one hole, C3 dropped. No
    // F# anywhere on the comb. D7 comes down two octaves to D5, B3 up one to B4.
    const std::string report = stripReportText(fit);
    for (const char* line : {"Title: Six eight\n", "Box: test\n", "Transposition: none\n",
                             "Notes: 1 kept, 2 folded, 2 dropped; 0 too close\n",
                             "bar 1 beat 1: C3 dropped (its tooth already has a hole there)\n",
                             "bar 2 beat 1.5: F#5 dropped (no F# on the comb)\n", "bar 2 beat 2: D7 folded to D5\n",
                             "bar 3 beat 1.5: B3 folded to B4\n"})
        EXPECT_NE(report.find(line), std::string::npos) << line << "in\n" << report;

    // Between an octave down and one up, down; otherwise the fewest octaves.
    EXPECT_EQ(fitSongToBox(run({60}), makeBox({48, 72}), options).notes[0].key, 48);
    EXPECT_EQ(fitSongToBox(run({60}), makeBox({36, 72}), options).notes[0].key, 72);
}

// ---- Songs read from files, against python3-mido -----------------------------------------

class StripFitFiles : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testing::haveMido()) GTEST_SKIP() << "python3-mido is not installed";
    }
    ScopedCapture boxes;
    testing::TempFolder dir;
};

// mido's first time signature ("N D") and first track name, from the merged tracks.
std::pair<std::string, std::string> midoMetreAndName(const std::string& path) {
    std::string out;
    testing::runCommand("/usr/bin/python3 -c \"import sys, mido\n"
                        "ts, name = '4 4', None\n"
                        "for m in mido.merge_tracks(mido.MidiFile(sys.argv[1]).tracks):\n"
                        "    if m.type == 'time_signature' and ts == '4 4': ts = '%d %d' % (m.numerator, m.denominator)\n"
                        "    if m.type == 'track_name' and name is None: name = m.name\n"
                        "print(ts); print(name or '')\" '" + path + "'",
                        out);
    std::istringstream in(out);
    std::string metre, name;
    std::getline(in, metre);
    std::getline(in, name);
    return {metre, name};
}

TEST_F(StripFitFiles, LoadedSongHasEveryOnsetMidoSeesWithItsPitchClassesAndOuterKeys) {
    for (const char* name : {"mido_three_tracks.mid", "mido_format0_melody.mid", "mido_eight_parts.mid"}) {
        SCOPED_TRACE(name);
        const std::string path = testing::midiDataFolder() + "/" + name;
        const auto song = loadStripSong(path);
        ASSERT_TRUE(song);
        const auto [metre, title] = midoMetreAndName(path);
        EXPECT_EQ(std::to_string(song->beatsPerBar) + " " + std::to_string(song->beatUnit), metre);
        // The track name, or the file's name without its extension.
        EXPECT_EQ(song->title, title.empty() ? std::string(name).substr(0, std::string(name).rfind('.')) : title);

        // mido's keys by onset; none of these files starts a whole bar late, so nothing is
        // trimmed. Thinning keeps at least one key of every pitch class sounding at an
        // onset, and the highest and lowest keys there; besides those two, one key of a
        // pitch class is left at most, and no key twice.
        std::map<int64_t, std::set<int>> mido, ours;
        for (const auto& [start, channel, key, velocity, duration] : testing::midoNotes(path)) mido[start].insert(key);
        for (const SongNote& n : song->notes) EXPECT_TRUE(ours[n.tick].insert(n.key).second) << n.key << " twice";
        for (const auto& [tick, keys] : ours) {
            std::map<int, int> inner;  // pitch class -> keys neither highest nor lowest
            for (int k : keys)
                if (k != *keys.begin() && k != *keys.rbegin()) EXPECT_LE(++inner[k % 12], 1) << "octaves at " << tick;
        }
        ASSERT_FALSE(mido.empty());
        ASSERT_EQ(ours.size(), mido.size());
        for (const auto& [tick, keys] : mido) {
            ASSERT_TRUE(ours.count(tick)) << "no onset at " << tick;
            const auto& mine = ours[tick];
            std::set<int> classes, myClasses;
            for (int k : keys) classes.insert(k % 12);
            for (int k : mine) {
                EXPECT_TRUE(keys.count(k)) << k << " at " << tick;
                myClasses.insert(k % 12);
            }
            EXPECT_EQ(myClasses, classes) << "at " << tick;
            EXPECT_EQ(*mine.begin(), *keys.begin()) << "at " << tick;
            EXPECT_EQ(*mine.rbegin(), *keys.rbegin()) << "at " << tick;
        }
        EXPECT_TRUE(std::is_sorted(song->notes.begin(), song->notes.end(), [](const SongNote& a, const SongNote& b) {
            return a.tick != b.tick ? a.tick < b.tick : a.key < b.key;
        }));
    }
}

TEST_F(StripFitFiles, LoadedSongStartsAtTheBarOfItsFirstNote) {
    // Written by mido: 3/4 at 480 with a title, the first note in bar 3 at beat 1.5; and a
    // song at 480 without a time signature or name whose first note is on beat 3 of bar 1.
    const std::string waltz = dir.file("waltz.mid"), plain = dir.file("plain song.mid");
    std::string out;
    ASSERT_EQ(testing::runCommand("/usr/bin/python3 -c \"import sys, mido\n"
                                  "f = mido.MidiFile(ticks_per_beat=480); t = mido.MidiTrack(); f.tracks.append(t)\n"
                                  "t.append(mido.MetaMessage('track_name', name='Late waltz'))\n"
                                  "t.append(mido.MetaMessage('time_signature', numerator=3, denominator=4))\n"
                                  "t.append(mido.Message('note_on', note=67, velocity=80, time=2*1440+240))\n"
                                  "t.append(mido.Message('note_off', note=67, time=240))\n"
                                  "t.append(mido.Message('note_on', note=71, velocity=80, time=960))\n"
                                  "t.append(mido.Message('note_off', note=71, time=240))\n"
                                  "f.save(sys.argv[1])\n"
                                  "g = mido.MidiFile(ticks_per_beat=480); u = mido.MidiTrack(); g.tracks.append(u)\n"
                                  "u.append(mido.Message('note_on', note=60, velocity=80, time=960))\n"
                                  "u.append(mido.Message('note_off', note=60, time=240))\n"
                                  "g.save(sys.argv[2])\" '" +
                                      waltz + "' '" + plain + "'",
                                  out),
              0)
        << out;

    const auto song = loadStripSong(waltz);
    ASSERT_TRUE(song);
    EXPECT_EQ(song->title, "Late waltz");
    EXPECT_EQ(song->beatsPerBar, 3);
    ASSERT_EQ(song->notes.size(), 2u);
    EXPECT_EQ(song->notes[0].tick, 240);
    EXPECT_EQ(song->notes[1].tick, 240 + 240 + 960);
    const BarBeat second = barBeatOf(*song, song->notes[1].tick);
    EXPECT_EQ(second.bar, 2);
    EXPECT_DOUBLE_EQ(second.beat, 1.0);

    // Bars of four quarters at 480: the first note stays on beat 3 of bar 1.
    const auto bare = loadStripSong(plain);
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->title, "plain song");
    EXPECT_EQ(bare->beatsPerBar, 4);
    EXPECT_EQ(bare->beatUnit, 4);
    ASSERT_EQ(bare->notes.size(), 1u);
    EXPECT_EQ(bare->notes[0].tick, 960);
    EXPECT_DOUBLE_EQ(barBeatOf(*bare, 960).beat, 3.0);

    EXPECT_FALSE(loadStripSong(testing::midiDataFolder() + "/broken/not_midi.mid"));
}

}  // namespace
}  // namespace tunecase
