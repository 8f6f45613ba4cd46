// tunecase-cli prepare, play and render, run as a user would; what they write is read back
// by outside programs (midicsv for MIDI files, sox for audio).
#include <ebur128.h>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>

#include <cmath>
#include <deque>
#include <filesystem>
#include <map>
#include <sstream>

#include "base/utilities.h"
#include "midi/smf_test_util.h"
#include "platform/capture_device.h"

namespace tunecase {
namespace {

using testing::runCommand;

std::string cli() { return TUNECASE_CLI; }
std::string data(const std::string& name) { return testing::midiDataFolder() + "/" + name; }

struct CsvNote {
    int64_t on;
    int64_t off;
    int channel;
    int key;
};

// The notes of a MIDI file as midicsv reads them, with the track count.
std::vector<CsvNote> midicsvNotes(const std::string& path, int& tracks) {
    std::string out;
    EXPECT_EQ(runCommand("midicsv '" + path + "'", out), 0) << out;
    std::istringstream lines(out);
    std::string line;
    // Note ons waiting for their offs, first in first out: a prepared note may still be
    // sounding when the same key starts again.
    std::map<std::pair<int, int>, std::deque<int64_t>> open;
    std::vector<CsvNote> notes;
    tracks = 0;
    while (std::getline(lines, line)) {
        std::vector<std::string> f;
        std::istringstream fields(line);
        std::string x;
        while (std::getline(fields, x, ',')) f.push_back(x.substr(x.find_first_not_of(' ')));
        if (f.size() < 3) continue;
        if (f[2] == "Start_track") ++tracks;
        if (f.size() < 6 || (f[2] != "Note_on_c" && f[2] != "Note_off_c")) continue;
        int64_t t = std::stoll(f[1]);
        int ch = std::stoi(f[3]), key = std::stoi(f[4]), vel = std::stoi(f[5]);
        auto& waiting = open[{ch, key}];
        if (f[2] == "Note_on_c" && vel > 0) {
            waiting.push_back(t);
        } else if (!waiting.empty()) {
            notes.push_back({waiting.front(), t, ch, key});
            waiting.pop_front();
        }
    }
    return notes;
}

TEST(CliPrepare, WritesOneTrackOnChannelZeroWithOneNoteLengthInRange) {
    testing::TempFolder dir;
    const std::string out = dir.file("prepared.mid");
    std::string text;
    ASSERT_EQ(runCommand(cli() + " prepare --plate 265 --keep-short --keep-long '" + data("mido_three_tracks.mid") +
                             "' '" + out + "'",
                         text),
              0)
        << text;
    EXPECT_NE(text.find("Toypiano(Small), division 480"), std::string::npos) << text;
    int tracks = 0;
    auto notes = midicsvNotes(out, tracks);
    EXPECT_EQ(tracks, 1);
    ASSERT_FALSE(notes.empty());
    for (const auto& n : notes) {
        EXPECT_EQ(n.channel, 0);
        EXPECT_EQ(n.off - n.on, 320);
        EXPECT_GE(n.key, 60);
        EXPECT_LE(n.key, 85);
    }
}

TEST(CliPrepare, RefusesBadOptionsAndUnreadableFiles) {
    testing::TempFolder dir;
    std::string err;
    EXPECT_EQ(runCommand(cli() + " prepare --plate 300 a.mid b.mid 2>&1 >/dev/null", err), 2);
    EXPECT_NE(err.find("--plate: Value 300 not in range 260 to 265"), std::string::npos) << err;
    EXPECT_EQ(runCommand(cli() + " prepare '" + data("broken/empty.mid") + "' '" + dir.file("x.mid") + "' 2>&1 >/dev/null", err), 1);
    EXPECT_EQ(err, "M1DT03000004 This is not Midi file!\n");
    EXPECT_EQ(runCommand(cli() + " play --speed 200 x.mid 2>&1 >/dev/null", err), 2);
    EXPECT_NE(err.find("--speed: Value 200 not in range 50 to 150"), std::string::npos) << err;
}

TEST(CliPlay, CapturePlaysEveryPreparedNoteAndFinishes) {
    testing::TempFolder dir;
    const std::string prepared = dir.file("prepared.mid");
    const std::string capture = dir.file("capture.txt");
    std::string text;
    ASSERT_EQ(runCommand(cli() + " prepare '" + data("mido_format0_melody.mid") + "' '" + prepared + "'", text), 0) << text;
    int tracks = 0;
    const size_t preparedNotes = midicsvNotes(prepared, tracks).size();
    ASSERT_EQ(runCommand(cli() + " play --speed 150 --capture '" + capture + "' '" + data("mido_format0_melody.mid") + "'", text),
              0)
        << text;
    EXPECT_NE(text.find("finished"), std::string::npos) << text;
    std::vector<TimedMidiMessage> messages;
    ASSERT_TRUE(readCaptureFile(capture, messages));
    size_t noteOns = 0;
    for (const auto& m : messages) noteOns += m.bytes[0] == 0x90 && m.bytes[2] > 0;
    EXPECT_EQ(noteOns, preparedNotes);
    EXPECT_EQ(messages.front().bytes, (std::vector<uint8_t>{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
    EXPECT_EQ(messages.back().bytes, (std::vector<uint8_t>{0xFF}));  // the closing reset
}

// A format 1 song whose conductor track is not the first to sound: the merge puts the first
// note on before the opening tempo. Its note ons must come at the times the file's own tempo
// map gives (read by another program), from the very first gap on and after a tempo change.
TEST(CliPlay, NotesComeWhenTheFilesTempoMapSaysFromTheFirstGapOn) {
    if (!testing::haveMido()) GTEST_SKIP() << "python3-mido is not installed";
    testing::TempFolder dir;
    const std::string song = dir.file("tempo_map.mid");
    std::string out;
    testing::writeFileText(dir.file("make_song.py"),
                           "import sys, mido\n"
                           "f = mido.MidiFile(type=1, ticks_per_beat=480)\n"
                           "c = mido.MidiTrack(); f.tracks.append(c)\n"
                           "c.append(mido.MetaMessage('track_name', name='Conductor'))\n"
                           "c.append(mido.MetaMessage('set_tempo', tempo=666667))\n"
                           "c.append(mido.MetaMessage('set_tempo', tempo=400000, time=1920))\n"
                           "m = mido.MidiTrack(); f.tracks.append(m)\n"
                           "for n in [60, 62, 64, 65, 67, 69, 71, 72]:\n"
                           "    m.append(mido.Message('note_on', note=n, velocity=90, time=0))\n"
                           "    m.append(mido.Message('note_off', note=n, velocity=0, time=480))\n"
                           "f.save(sys.argv[1])\n"
                           "t = 0.0\n"
                           "for msg in f:\n"
                           "    t += msg.time\n"
                           "    if msg.type == 'note_on': print(round(t * 1e6))\n");
    ASSERT_EQ(runCommand("/usr/bin/python3 '" + dir.file("make_song.py") + "' '" + song + "'", out),
              0)
        << out;
    std::vector<int64_t> expectedUs;
    std::istringstream lines(out);
    for (int64_t us; lines >> us;) expectedUs.push_back(us * 100 / 150);  // played at 150 %
    ASSERT_EQ(expectedUs.size(), 8u);

    const std::string capture = dir.file("capture.txt");
    ASSERT_EQ(runCommand(cli() + " play --speed 150 --capture '" + capture + "' '" + song + "'", out), 0) << out;
    std::vector<TimedMidiMessage> messages;
    ASSERT_TRUE(readCaptureFile(capture, messages));
    std::vector<int64_t> noteOnUs;
    for (const auto& m : messages)
        if (m.bytes.size() == 3 && (m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] > 0) noteOnUs.push_back(m.timeUs);
    ASSERT_EQ(noteOnUs.size(), expectedUs.size());
    // Each gap as the tempo map has it (296 ms at 90 BPM, 178 ms at 150 BPM, at 150 %), within
    // the player's whole-millisecond steps and a timer's lateness.
    for (size_t i = 1; i < noteOnUs.size(); ++i)
        EXPECT_NEAR(noteOnUs[i] - noteOnUs[0], expectedUs[i] - expectedUs[0], 40'000) << "note " << i;
}

TEST(CliPlay, WithoutASoundOutputTheDeviceErrorsShowAndNothingHangs) {
    struct stat st {};
    if (::stat("/dev/snd", &st) == 0) GTEST_SKIP() << "this machine has a sound device";
    std::string err;
    EXPECT_EQ(runCommand(cli() + " play '" + data("mido_format0_melody.mid") + "' 2>&1 >/dev/null", err), 1);
    EXPECT_EQ(err,
              "No MIDI port was found. This happens only when the default MIDI output is opened.\n"
              "MDCT07000001 Can not open Midi device!\n");
}

TEST(CliPlay, ACaptureFileThatCannotBeWrittenIsNamedWithTheSystemsReason) {
    std::string err;
    EXPECT_EQ(runCommand(cli() + " play --capture /no/such/folder/c.txt '" + data("mido_format0_melody.mid") +
                             "' 2>&1 >/dev/null",
                         err),
              1);
    EXPECT_NE(err.find("MDCT07000001 Can not open Midi device! [/no/such/folder/c.txt: No such file or directory]\n"),
              std::string::npos)
        << err;
}

TEST(CliRender, WritesAudibleStereoAudioOfTheSongsLength) {
    testing::TempFolder dir;
    const std::string wav = dir.file("song.wav");
    std::string text;
    ASSERT_EQ(runCommand(cli() + " render '" + data("mido_format0_melody.mid") + "' '" + wav + "'", text), 0) << text;
    std::string stat;
    ASSERT_EQ(runCommand("sox '" + wav + "' -n stat", stat), 0) << stat;
    auto valueOf = [&stat](const std::string& key) {
        auto at = stat.find(key);
        EXPECT_NE(at, std::string::npos) << stat;
        return at == std::string::npos ? 0.0 : std::stod(stat.substr(stat.find(':', at) + 1));
    };
    EXPECT_GT(valueOf("Maximum amplitude"), 0.05);
    EXPECT_GT(valueOf("Length (seconds)"), 2.0);  // the song plus the 2 s tail
    std::string channels, rate;
    ASSERT_EQ(runCommand("soxi -c '" + wav + "'", channels), 0);
    ASSERT_EQ(runCommand("soxi -r '" + wav + "'", rate), 0);
    EXPECT_EQ(channels + rate, "2\n44100\n");
    // Half speed renders a longer file.
    const std::string slow = dir.file("slow.wav");
    ASSERT_EQ(runCommand(cli() + " render --speed 50 '" + data("mido_format0_melody.mid") + "' '" + slow + "'", text), 0);
    std::string a, b;
    runCommand("soxi -s '" + wav + "'", a);
    runCommand("soxi -s '" + slow + "'", b);
    EXPECT_GT(std::stoll(b), std::stoll(a));
}

TEST(CliRender, RefusesANameThatPromisesAFormatItDoesNotWrite) {
    testing::TempFolder dir;
    for (const char* name : {"song.aiff", "song.mp3.txt", "song"}) {
        const std::string out = dir.file(name);
        std::string err;
        EXPECT_EQ(runCommand(cli() + " render '" + data("mido_format0_melody.mid") + "' '" + out + "' 2>&1", err), 2);
        const std::string ext = extensionLower(name);
        EXPECT_EQ(err, "tunecase-cli render: " + out + ": " +
                           (ext.empty() ? "the name has no extension" : "." + ext + " audio is not written") +
                           "; OUT must end in one of .wav, .flac, .ogg, .opus, .mp3\n"
                           "Run with --help for more information.\n");
        EXPECT_FALSE(std::filesystem::exists(out)) << name;
    }
    // Refused before the input is even read.
    std::string err;
    EXPECT_EQ(runCommand(cli() + " render /no/such/song.mid '" + dir.file("x.aac") + "' 2>&1", err), 2) << err;
    std::string text;
    EXPECT_EQ(runCommand(cli() + " render --quiet '" + data("mido_format0_melody.mid") + "' '" + dir.file("song.WAV") + "'",
                         text),
              0)
        << text;
}

// Integrated loudness and true peak of an audio file, as sox's own loudness meter cannot give
// them: libebur128 over the samples libsndfile decodes.
struct Level {
    double lufs = 0, peakDbtp = 0;
};
Level measure(const std::string& path) {
    Level level;
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    EXPECT_NE(f, nullptr) << path;
    if (!f) return level;
    ebur128_state* m = ebur128_init(static_cast<unsigned>(info.channels), static_cast<unsigned long>(info.samplerate),
                                    EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
    std::vector<float> block(4096 * static_cast<size_t>(info.channels));
    sf_count_t n;
    while ((n = sf_readf_float(f, block.data(), 4096)) > 0) ebur128_add_frames_float(m, block.data(), static_cast<size_t>(n));
    sf_close(f);
    ebur128_loudness_global(m, &level.lufs);
    double peak = 0;
    for (int c = 0; c < info.channels; ++c) {
        double p = 0;
        ebur128_true_peak(m, static_cast<unsigned>(c), &p);
        peak = std::max(peak, p);
    }
    level.peakDbtp = 20 * std::log10(peak);
    ebur128_destroy(&m);
    return level;
}

// A composed song and an arranged one from the sample library come from the synthesizer
// 7 dB apart (the arrangement carries its accompaniment); rendered they are equally loud.
TEST(CliRender, AComposedAndAnArrangedSongComeOutEquallyLoud) {
    testing::TempFolder dir;
    const std::string knowledge = " --knowledge '" + std::string(TUNECASE_TEST_DATA) + "/../../data' ";
    const std::string sample = std::filesystem::path(cli()).parent_path().string() + "/data/Archive/greensleeves.mwd";
    if (!std::filesystem::exists(sample)) GTEST_SKIP() << "no sample library in the build folder";
    std::string out;
    ASSERT_EQ(runCommand(cli() + " compose --seed 7 --measures 12" + knowledge + "'" + dir.file("c.mid") + "'", out), 0) << out;
    ASSERT_EQ(runCommand(cli() + " arrange --seed 3" + knowledge + "'" + sample + "' '" + dir.file("a.mid") + "'", out), 0)
        << out;
    Level raw[2], normalised[2];
    const char* songs[] = {"c", "a"};
    for (int i = 0; i < 2; ++i) {
        const std::string in = dir.file(std::string(songs[i]) + ".mid");
        const std::string rawWav = dir.file(std::string(songs[i]) + "-raw.wav");
        const std::string wav = dir.file(std::string(songs[i]) + ".flac");
        ASSERT_EQ(runCommand(cli() + " render --quiet --no-normalize '" + in + "' '" + rawWav + "'", out), 0) << out;
        ASSERT_EQ(runCommand(cli() + " render --quiet '" + in + "' '" + wav + "'", out), 0) << out;
        raw[i] = measure(rawWav);
        normalised[i] = measure(wav);
        EXPECT_NEAR(normalised[i].lufs, -16.0, 1.0) << songs[i];
        EXPECT_LE(normalised[i].peakDbtp, -1.0 + 0.05) << songs[i];  // 16-bit rounding
        // The summary tells the file's true peak, whether the ceiling (the arranged song) or the
        // loudness (the composed one) set the gain.
        const size_t peakAt = out.find("true peak ");
        ASSERT_NE(peakAt, std::string::npos) << out;
        EXPECT_NEAR(std::stod(out.substr(peakAt + 10)), normalised[i].peakDbtp, 0.1) << songs[i];
    }
    EXPECT_GT(std::fabs(raw[0].lufs - raw[1].lufs), 3.0) << "the songs should differ before normalising";
    EXPECT_NEAR(normalised[0].lufs, normalised[1].lufs, 1.0);

    // A gain on top of the target; the summary line says what was written.
    ASSERT_EQ(runCommand(cli() + " render --quiet --gain -6 '" + dir.file("c.mid") + "' '" + dir.file("c6.wav") + "'", out),
              0);
    EXPECT_NEAR(measure(dir.file("c6.wav")).lufs, normalised[0].lufs - 6, 0.2);
    EXPECT_NE(out.find(" LUFS, true peak "), std::string::npos) << out;
}

}  // namespace
}  // namespace tunecase
