// Every command that reads MIDI files, given one timed in SMPTE frames: refused with a message
// naming the file and its timing, exit status 1 and nothing written (info describes it). And
// the title of a format 1 file: its first track's name, not a later track's instrument name.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "base/reporter.h"
#include "midi/midi_f0_data.h"
#include "midi/midi_f1_data.h"
#include "songs/song_import.h"
#include "support/smf_builder.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

using testing::runCommand;

std::string cli(const std::string& args) { return std::string(TUNECASE_CLI) + " " + args; }
std::string quoted(const std::string& s) { return "'" + s + "'"; }

// The song's own track first (metre, tempo, then its name), then the right hand's part, whose
// name comes first in its track: merged, the part's name lands ahead of the song's.
std::vector<uint8_t> frereJacques(uint16_t division) {
    testing::SmfTrack conductor = {{0, {0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08}},
                                   {0, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}},
                                   testing::metaText(0x03, "Frere Jacques")};
    testing::SmfTrack right = {testing::metaText(0x03, "Solo-Right"), {0, {0xC0, 0x0A}}};
    testing::appendNotes(right, {60, 62, 64, 60, 60, 62, 64, 60, 64, 65, 67, 67}, 480);
    return testing::smfBytes(1, division, {conductor, right});
}

constexpr uint16_t kSmpte25x40 = 0xE728;  // -25 frames a second, 40 ticks a frame

TEST(CliSmpteTime, EveryReadingCommandRefusesItAndWritesNothing) {
    testing::TempFolder dir;
    const std::string format1 = dir.file("smpte.mid"), format0 = dir.file("smpte0.mid");
    testing::writeFileBytes(format1, frereJacques(kSmpte25x40));
    testing::SmfTrack melody;
    testing::appendNotes(melody, {60, 62, 64, 65}, 40);
    testing::writeFileBytes(format0, testing::smfBytes(0, kSmpte25x40, {melody}));

    for (const std::string& in : {format1, format0}) {
        const std::string refusal =
            in + " uses SMPTE time code division (25 frames/s, 40 ticks/frame), which Tunecase does not play.\n";
        for (const std::string& command :
             {"prepare " + quoted(in) + " " + quoted(dir.file("out.mid")),
              "convert " + quoted(in) + " " + quoted(dir.file("out.mid")),
              "export " + quoted(in) + " " + quoted(dir.file("out.mid")),
              "export --toy-piano " + quoted(in) + " " + quoted(dir.file("out.mid")),
              "render " + quoted(in) + " " + quoted(dir.file("out.wav")),
              "play --capture " + quoted(dir.file("out.txt")) + " " + quoted(in),
              "strip --box 30-note " + quoted(in) + " " + quoted(dir.file("out.svg")),
              "strip --box 30-note --report " + quoted(in)}) {
            std::string out;
            EXPECT_EQ(runCommand(cli(command) + " 2>&1", out), 1) << command << "\n" << out;
            EXPECT_EQ(out, refusal) << command;
        }
        for (const char* name : {"out.mid", "out.wav", "out.txt", "out.svg"})
            EXPECT_FALSE(std::filesystem::exists(dir.file(name))) << name;
    }

    // info describes the file from its header and says it is not played.
    std::string out;
    ASSERT_EQ(runCommand(cli("info " + quoted(format1)), out), 0) << out;
    EXPECT_EQ(out, "file:     " + format1 +
                       "\nformat:   1\ntracks:   2\ndivision: SMPTE 25 frames/s, 40 ticks/frame (not played)\n");
    ASSERT_EQ(runCommand(cli("info --json " + quoted(format0)), out), 0) << out;
    const auto json = nlohmann::json::parse(out);
    EXPECT_EQ(json["division"], nullptr);
    EXPECT_EQ(json["smpte"], nlohmann::json::parse(R"({"framesPerSecond": 25, "ticksPerFrame": 40})"));
    EXPECT_EQ(json["playable"], false);
}

TEST(CliSmpteTime, TheCoreReadersRefuseItOnceWithTheirOwnWords) {
    testing::TempFolder dir;
    const std::string path = dir.file("drop.mid");
    // 29.97 drop-frame (-29) at 80 ticks a frame, behind a MacBinary header.
    std::vector<uint8_t> bytes(128, 0);
    const auto file = frereJacques(0xE350);
    bytes.insert(bytes.end(), file.begin(), file.end());
    testing::writeFileBytes(path, bytes);
    const std::string words = "uses SMPTE time code division (29.97 frames/s, 80 ticks/frame), which Tunecase does "
                              "not play.";

    ScopedCapture capture;
    EXPECT_FALSE(MidiF0Data::openFile(path)->isLoaded());  // the player's loading path
    EXPECT_FALSE(MidiF1Data::openFile(path)->isLoaded());
    auto fromBytes = MidiF1Data::fromBytes(file.data(), static_cast<int>(file.size()), false);
    EXPECT_FALSE(fromBytes->isLoaded());
    EXPECT_EQ(fromBytes->trackCount(), 0);
    EXPECT_EQ(capture->visibleTexts(), (std::vector<std::string>{path + " " + words, path + " " + words,
                                                                  "This file " + words}));
}

TEST(SongTitle, AFormat1FileIsTitledByItsFirstTrackWhateverTheMergeOrder) {
    testing::TempFolder dir;
    const std::string path = dir.file("canon.mid");
    testing::writeFileBytes(path, frereJacques(480));

    auto song = MidiF0Data::openFile(path);
    ASSERT_TRUE(song->isLoaded());
    EXPECT_EQ(song->title(), "Frere Jacques");
    std::string firstName;
    ASSERT_TRUE(song->track()->metaText(0x03, firstName));
    EXPECT_EQ(firstName, "Solo-Right");  // what the merged track holds first
    const MidiF0Data copy(*song);
    EXPECT_EQ(copy.title(), "Frere Jacques");

    // The player's import and the strip take their titles there.
    std::filesystem::create_directory(dir.file("made"));
    EXPECT_EQ(importMidiFile(path, dir.file("made")).title, "Frere Jacques");
    std::string out;
    ASSERT_EQ(runCommand(cli("strip --box 30-note --report " + quoted(path)), out), 0) << out;
    EXPECT_EQ(out.rfind("Title: Frere Jacques\n", 0), 0u) << out;

    // Without a name in the first track the title is empty (the file's name is used), even
    // when a later track has one; a format 0 file's first name is its title.
    testing::SmfTrack unnamed = {{0, {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}}};
    testing::SmfTrack part = {testing::metaText(0x03, "Piano")};
    testing::appendNotes(part, {60, 64, 67}, 480);
    testing::writeFileBytes(path, testing::smfBytes(1, 480, {unnamed, part}));
    EXPECT_EQ(MidiF0Data::openFile(path)->title(), "");
    EXPECT_EQ(importMidiFile(path, dir.file("made")).title, "canon.mid");
    testing::writeFileBytes(path, testing::smfBytes(0, 480, {part}));
    EXPECT_EQ(MidiF0Data::openFile(path)->title(), "Piano");
}

}  // namespace
}  // namespace tunecase
