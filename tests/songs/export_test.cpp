// The two exports, read back by python3-mido: the music box file's range, program and title,
// the toy piano file's division and note length, and the worker thread's messages.
#include "songs/export.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <set>

#include "base/reporter.h"
#include "midi/smf_test_util.h"

namespace tunecase {
namespace {

using testing::midoNotes;
using testing::NoteTuple;

const char* const kCorpus[] = {"mido_three_tracks.mid", "mido_format0_melody.mid", "mido_eight_parts.mid"};

std::string corpusFile(const std::string& name) { return testing::midiDataFolder() + "/" + name; }

// What mido sees besides the notes, in file order: "program TIME CHANNEL PROGRAM", "name
// TIME TEXT" (the bytes as UTF-8), "sysex TIME", and "first-note TIME" for the first note.
std::string midoOthers(const std::string& path) {
    std::string out;
    testing::runCommand("/usr/bin/python3 -c \"import sys, mido\n"
                        "t, seen = 0, False\n"
                        "for m in mido.merge_tracks(mido.MidiFile(sys.argv[1]).tracks):\n"
                        "    t += m.time\n"
                        "    if m.type == 'program_change': print('program', t, m.channel, m.program)\n"
                        "    if m.type == 'track_name': print('name', t, m.name.encode('latin-1').decode())\n"
                        "    if m.type == 'sysex': print('sysex', t)\n"
                        "    if m.type == 'note_on' and m.velocity and not seen: seen = True; print('first-note', t)\" '" +
                            path + "'",
                        out);
    return out;
}

// Where the folding rule puts a key: up by octaves to `low`, then down to `high` (not below 0).
int foldedKey(int key, int low, int high) {
    while (key < low) key += 12;
    while (key > high && key >= 12) key -= 12;
    return key;
}

class ExportTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testing::haveMido()) GTEST_SKIP() << "python3-mido is not installed";
    }
    std::vector<NoteTuple> exportRanged(const std::string& name, int low, int high, std::string* header = nullptr) {
        RangedMidiExportJob job;
        job.source = corpusFile(name);
        job.output = dir.file(name + "." + std::to_string(low) + "-" + std::to_string(high) + ".mid");
        job.lowNote = low;
        job.highNote = high;
        job.title = "t";
        EXPECT_TRUE(exportRanged(job)) << name;
        return midoNotes(job.output, header);
    }
    static bool exportRanged(const RangedMidiExportJob& job) { return exportRangedMidi(job); }

    testing::TempFolder dir;
    ScopedCapture boxes;
};

TEST_F(ExportTest, TheDefaultRangeLeavesTheCorpusAsTheWholeKeyboardDoes) {
    for (const char* name : kCorpus) {
        std::string header;
        const auto piano = exportRanged(name, kDefaultLowNote, kDefaultHighNote, &header);
        const auto whole = exportRanged(name, 0, 127);
        ASSERT_FALSE(piano.empty()) << name;
        EXPECT_EQ(piano, whole) << name;
        const int division = std::stoi(header.substr(header.rfind(' ') + 1));
        EXPECT_EQ(header.substr(0, 15), "type 0 tracks 1") << name;
        for (const auto& [start, channel, key, velocity, length] : piano) {
            EXPECT_EQ(channel, 0) << name;
            EXPECT_EQ(length, division * 2 / 3) << name;
        }
    }
    EXPECT_EQ(boxes->count(), 0u);
}

TEST_F(ExportTest, NarrowAndBackwardRangesFoldByOctavesAsFarAsTheyCan) {
    for (const char* name : kCorpus) {
        // 60-65 cannot hold pitch classes 6..11: folding leaves them an octave down, below the
        // range, and they are dropped. Every other note of the whole-keyboard export appears
        // folded, and nothing else; a key sounds once at a time, except at time 0, which no
        // group of simultaneous notes holds.
        const auto whole = exportRanged(name, 0, 127);
        std::set<std::pair<int64_t, int>> expected, got;
        for (const auto& [start, channel, key, velocity, length] : whole)
            if (const int folded = foldedKey(key, 60, 65); folded >= 60) expected.insert({start, folded});
        size_t laterNotes = 0;
        for (const auto& [start, channel, key, velocity, length] : exportRanged(name, 60, 65)) {
            got.insert({start, key});
            laterNotes += start > 0;
            EXPECT_TRUE(key >= 60 && key <= 65 && velocity >= 1) << name << ": " << key << " " << velocity;
        }
        EXPECT_EQ(got, expected) << name;
        EXPECT_EQ(laterNotes, static_cast<size_t>(std::count_if(expected.begin(), expected.end(),
                                                               [](auto n) { return n.first > 0; })));

        // A low note above the high note: raised to 70 or above, then lowered to 60 or below.
        for (const auto& [start, channel, key, velocity, length] : exportRanged(name, 70, 60))
            EXPECT_TRUE(key >= 49 && key <= 60) << name << ": " << key;
    }
    // A range ending below 11 cannot take every pitch class down: such notes stop at their
    // lowest octave instead of going below 0.
    for (const auto& [start, channel, key, velocity, length] : exportRanged("mido_eight_parts.mid", 127, 5))
        EXPECT_TRUE(key >= 0 && key <= 11) << key;
}

TEST_F(ExportTest, AnUploadCarriesProgramTenAndTheTitleAndAFailedOneWritesNothing) {
    RangedMidiExportJob job;
    job.source = corpusFile("mido_three_tracks.mid");  // has a track name, tempos and a drum part
    job.output = dir.file("tmp_upload.mid");
    job.title = "\xE6\x98\xA5\xE3\x81\xAE\xE6\xAD\x8C";  // 春の歌
    ASSERT_TRUE(exportRangedMidi(job));
    EXPECT_EQ(midoOthers(job.output), "program 0 0 10\nname 0 " + job.title + "\nfirst-note 0\n");

    // A source nothing reads fails, so the editor never goes on to upload.
    job.source = dir.file("missing.mid");
    job.output = dir.file("never.mid");
    EXPECT_FALSE(exportRangedMidi(job));
    EXPECT_FALSE(std::filesystem::exists(job.output));
    EXPECT_GE(boxes->count(), 1u);
}

TEST_F(ExportTest, AToyPianoFileHasDivision48SixTickNotesAndNoProgramOrTitle) {
    for (const char* name : kCorpus) {
        ToyPianoExportJob job;
        job.source = corpusFile(name);
        job.output = dir.file(std::string(name) + ".fem");
        job.lowNote = 48;
        job.highNote = 97;
        ASSERT_TRUE(exportToyPiano(job)) << name;

        std::string header;
        const auto notes = midoNotes(job.output, &header);
        EXPECT_EQ(header, "type 0 tracks 1 division 48") << name;
        ASSERT_FALSE(notes.empty()) << name;
        for (const auto& [start, channel, key, velocity, length] : notes) {
            EXPECT_EQ(length, 6) << name;
            EXPECT_EQ(channel, 0) << name;
            EXPECT_GE(key, 48) << name;
            EXPECT_LE(key, 97) << name;
        }
        const std::string others = midoOthers(job.output);
        EXPECT_EQ(others.rfind("first-note ", 0), 0u) << name << ": " << others;
        EXPECT_EQ(std::count(others.begin(), others.end(), '\n'), 1) << name << ": " << others;
    }
}

}  // namespace
}  // namespace tunecase
