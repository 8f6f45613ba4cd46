// The two exports, read back by python3-mido: the music box file's range, program and title,
// the toy piano file's division and note length, and the worker thread's messages.
#include "songs/export.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <filesystem>
#include <mutex>
#include <set>

#include "base/reporter.h"
#include "platform/fluid_synth_device.h"
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

// The audio export, decoded back by the library: the format the name asks for, the prepared
// song's length at the player's speed (plus the render's tail), and no file where it fails.
class AudioExportTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fluidSynthAvailable()) GTEST_SKIP() << "built without the synthesizer";
        if (!std::filesystem::exists(kDefaultSoundfont)) GTEST_SKIP() << "no General MIDI soundfont";
    }
    struct Decoded {
        int format = 0, channels = 0, rate = 0;
        int64_t frames = 0;
    };
    static Decoded decode(const std::string& path) {
        Decoded d;
        SF_INFO info{};
        SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
        if (!f) return d;
        d = {info.format, info.channels, info.samplerate, 0};
        std::vector<float> block(4096 * static_cast<size_t>(info.channels));
        for (sf_count_t n; (n = sf_readf_float(f, block.data(), 4096)) > 0;) d.frames += n;
        sf_close(f);
        return d;
    }
    // Seconds of the decoded file without the render's two-second tail.
    double songSeconds(const std::string& output, int speed, int expectedFormat) {
        AudioExportJob job;
        job.source = corpusFile("mido_three_tracks.mid");
        job.output = dir.file(output);
        job.speedPercent = speed;
        RenderResult result;
        EXPECT_TRUE(exportAudio(job, &result)) << result.error;
        const Decoded d = decode(job.output);
        EXPECT_EQ(d.format & SF_FORMAT_TYPEMASK, expectedFormat) << output;
        EXPECT_EQ(d.channels, 2) << output;
        EXPECT_EQ(d.rate, result.sampleRate) << output;
        EXPECT_NEAR(static_cast<double>(d.frames), static_cast<double>(result.frames), 1024.0) << output;
        return d.rate > 0 ? static_cast<double>(d.frames) / d.rate - 2.0 : 0;
    }
    testing::TempFolder dir;
    ScopedCapture boxes;
};

TEST_F(AudioExportTest, WritesTheNamedFormatAtThePlayersSpeed) {
    const double normal = songSeconds("song.flac", 100, SF_FORMAT_FLAC);
    EXPECT_GT(normal, 5.0);  // the whole song, not a fragment
    // At half speed the song (not the tail) lasts twice as long.
    EXPECT_NEAR(songSeconds("slow.ogg", 50, SF_FORMAT_OGG), 2 * normal, 0.1);
    EXPECT_NEAR(songSeconds("same.wav", 100, SF_FORMAT_WAV), normal, 0.01);
    EXPECT_EQ(boxes->count(), 0u);
}

TEST_F(AudioExportTest, FailuresShowWhyAndLeaveNoFile) {
    AudioExportJob job;
    job.source = corpusFile("mido_three_tracks.mid");
    job.output = dir.file("song.aiff");  // not a format that is written
    EXPECT_FALSE(exportAudio(job));
    ASSERT_EQ(boxes->count(), 1u);
    const Report box = boxes->reports()[0];
    EXPECT_EQ(box.text, "The audio file could not be written:\n" + job.output);
    EXPECT_EQ(box.kind, BoxKind::Ok);
    EXPECT_FALSE(box.reason.empty());

    boxes->clear();
    job.source = dir.file("missing.mid");
    job.output = dir.file("song.wav");
    EXPECT_FALSE(exportAudio(job));
    EXPECT_GE(boxes->count(), 1u);  // the readers' own box
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
}  // namespace tunecase
