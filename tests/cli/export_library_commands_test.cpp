// tunecase-cli export and library, run as a user would; files read back by python3-mido.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>

#include "midi/smf_test_util.h"

namespace tunecase {
namespace {

using testing::runCommand;

std::string cli() { return TUNECASE_CLI; }
std::string data(const std::string& name) { return testing::midiDataFolder() + "/" + name; }

// Program changes and track names as mido reads them: "program CH P" / "name TEXT".
std::string midoProgramsAndNames(const std::string& path) {
    std::string out;
    runCommand("/usr/bin/python3 -c 'import sys, mido\n"
               "for m in mido.MidiFile(sys.argv[1]).tracks[0]:\n"
               "    if m.type == \"program_change\": print(\"program\", m.channel, m.program)\n"
               "    if m.type == \"track_name\": print(\"name\", m.name)' '" +
                   path + "'",
               out);
    return out;
}

TEST(CliExport, DefaultsToProgramTenAndTheFileNameAndWritesAToyPianoFile) {
    if (!testing::haveMido()) GTEST_SKIP() << "python3-mido is not installed";
    testing::TempFolder dir;
    std::string out;
    ASSERT_EQ(runCommand(cli() + " export '" + data("mido_eight_parts.mid") + "' '" + dir.file("box.mid") + "'", out), 0)
        << out;
    EXPECT_EQ(midoProgramsAndNames(dir.file("box.mid")), "program 0 10\nname mido_eight_parts.mid\n");

    ASSERT_EQ(runCommand(cli() + " export --toy-piano --range 60-85 '" + data("mido_three_tracks.mid") + "' '" +
                             dir.file("toy.fem") + "'",
                         out),
              0)
        << out;
    std::string header;
    testing::midoNotes(dir.file("toy.fem"), &header);
    EXPECT_EQ(header, "type 0 tracks 1 division 48");
    EXPECT_EQ(midoProgramsAndNames(dir.file("toy.fem")), "");
}

TEST(CliExport, RefusesBadRangesAndOptionsAToyPianoCannotCarry) {
    testing::TempFolder dir;
    const std::string files = " '" + data("mido_eight_parts.mid") + "' '" + dir.file("x.mid") + "'";
    std::string out;
    for (const char* range : {"60", "60-128", "-5-60"})
        EXPECT_EQ(runCommand(cli() + " export --range=" + range + files + " 2>&1", out), 2) << range << out;
    EXPECT_EQ(runCommand(cli() + " export --toy-piano --title T" + files + " 2>&1", out), 2) << out;
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.mid")));
    EXPECT_EQ(runCommand(cli() + " export '" + dir.file("missing.mid") + "' '" + dir.file("y.mid") + "' 2>&1", out), 1);
    EXPECT_FALSE(std::filesystem::exists(dir.file("y.mid")));
}

TEST(CliExport, ANarrowRangeHoldsEveryNoteWrittenAndCountsTheNotesDropped) {
    if (!testing::haveMido()) GTEST_SKIP() << "python3-mido is not installed";
    testing::TempFolder dir;
    std::string out;
    const std::string in = " '" + data("mido_three_tracks.mid") + "' ";
    // Nine keys cannot hold every pitch: A4 (69) folds up to 81 and back down to 69.
    for (const std::string kind : {"", "--toy-piano "}) {
        SCOPED_TRACE(kind);
        const std::string file = dir.file("narrow.mid");
        ASSERT_EQ(runCommand(cli() + " export " + kind + "--range 72-80" + in + "'" + file + "'", out), 0) << out;
        const auto notes = testing::midoNotes(file);
        ASSERT_FALSE(notes.empty());
        for (const auto& note : notes) {
            EXPECT_GE(std::get<2>(note), 72);
            EXPECT_LE(std::get<2>(note), 80);
        }
        std::smatch m;
        ASSERT_TRUE(std::regex_search(out, m, std::regex("notes 72-80; ([0-9]+) notes outside 72-80 after folding "
                                                         "were dropped\n$")))
            << out;
        EXPECT_GT(std::stoi(m[1]), 0);
    }
    // A range that holds every pitch drops nothing and says nothing of it.
    ASSERT_EQ(runCommand(cli() + " export --range 60-71" + in + "'" + dir.file("octave.mid") + "'", out), 0) << out;
    EXPECT_EQ(out, dir.file("octave.mid") + ": music box, program 10, notes 60-71\n");

    // A range no note of the song folds into writes nothing.
    testing::writeFileText(dir.file("sharps.csv"), "0, 0, Header, 0, 1, 480\n1, 0, Start_track\n"
                                                   "1, 0, Note_on_c, 0, 61, 90\n1, 480, Note_off_c, 0, 61, 0\n"
                                                   "1, 480, Note_on_c, 0, 63, 90\n1, 960, Note_off_c, 0, 63, 0\n"
                                                   "1, 960, Note_on_c, 0, 66, 90\n1, 1440, Note_off_c, 0, 66, 0\n"
                                                   "1, 1440, End_track\n0, 0, End_of_file\n");
    ASSERT_EQ(runCommand("csvmidi '" + dir.file("sharps.csv") + "' '" + dir.file("sharps.mid") + "'", out), 0) << out;
    EXPECT_EQ(runCommand(cli() + " export --range 60-60 '" + dir.file("sharps.mid") + "' '" + dir.file("none.mid") +
                             "' 2>&1",
                         out),
              1);
    EXPECT_EQ(out, "No note of " + dir.file("sharps.mid") +
                       " lies in the keys 60-60 after folding by octaves, so nothing was exported.\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("none.mid")));
}

TEST(CliLibrary, ListsAddsAndRefusesANameAlreadyThere) {
    testing::TempFolder program, outside;
    const std::string folder = " --program-folder '" + program.path().string() + "'";
    std::string out;
    ASSERT_EQ(runCommand(cli() + " library list" + folder, out), 0) << out;
    EXPECT_EQ(out, "");

    // Titles in Shift-JIS and in UTF-8; the JSON shows both as UTF-8.
    std::vector<uint8_t> bytes(121880, 0);
    bytes[90432] = bytes[90436] = 4;  // four measures of 4/4
    const std::string sjis = "\x8F\x74\x82\xCC\x89\xCC";  // 春の歌
    std::copy(sjis.begin(), sjis.end(), bytes.begin() + 90401);
    testing::writeFileBytes(outside.file("haru.mwd"), bytes);
    const std::string utf8 = "Caf\xC3\xA9";
    std::fill(bytes.begin() + 90401, bytes.begin() + 90401 + 8, 0);
    std::copy(utf8.begin(), utf8.end(), bytes.begin() + 90401);
    testing::writeFileBytes(outside.file("cafe.mwd"), bytes);

    ASSERT_EQ(runCommand(cli() + " library add '" + outside.file("haru.mwd") + "'" + folder, out), 0) << out;
    ASSERT_EQ(runCommand(cli() + " library add '" + outside.file("cafe.mwd") + "'" + folder, out), 0) << out;
    EXPECT_EQ(runCommand(cli() + " library add '" + outside.file("haru.mwd") + "'" + folder + " 2>&1", out), 1);
    // The command line says which file is in the way and what to do.
    EXPECT_EQ(out, "A song-data file with the same name is already in the library.\n  " +
                       (program.path() / "Archive" / "haru.mwd").string() +
                       " is already there: rename the file to add it as another song\n");

    ASSERT_EQ(runCommand(cli() + " library list" + folder, out), 0) << out;
    EXPECT_EQ(out, "cafe.mwd\tCaf\xC3\xA9\nharu.mwd\t\xE6\x98\xA5\xE3\x81\xAE\xE6\xAD\x8C\n");

    // Without a folder: the user's own library, made on first use with the sample songs in it,
    // whatever the current folder holds.
    const std::string user = "cd '" + program.path().string() + "' && HOME='" + outside.path().string() +
                             "' XDG_DATA_HOME= " + cli() + " library ";
    ASSERT_EQ(runCommand(user + "add '" + outside.file("cafe.mwd") + "'", out), 0) << out;
    const std::filesystem::path library = outside.path() / ".local/share/tunecase/Archive";
    EXPECT_EQ(out, (library / "cafe.mwd").string() + "\tCaf\xC3\xA9\n");
    ASSERT_EQ(runCommand(user + "list", out), 0) << out;
    EXPECT_NE(out.find("cafe.mwd\tCaf\xC3\xA9\n"), std::string::npos) << out;
    EXPECT_NE(out.find("ode_to_joy.mwd\tOde to Joy\n"), std::string::npos) << "seeded with the samples: " << out;
    EXPECT_EQ(out.find("haru.mwd"), std::string::npos) << "not the current folder's library";
    ASSERT_EQ(runCommand(cli() + " library list --json" + folder, out), 0) << out;
    const auto json = nlohmann::json::parse(out);
    EXPECT_EQ(json["songs"], nlohmann::json::parse(R"([{"file": "cafe.mwd", "title": "Café"},
                                                       {"file": "haru.mwd", "title": "春の歌"}])"));
}

TEST(CliLibrary, RefusesAFileThatIsNoSongAndAKilledAddLeavesNothingBehind) {
    testing::TempFolder program, outside;
    const std::string folder = " --program-folder '" + program.path().string() + "'";
    std::string out;
    testing::writeFileText(outside.file("note.mwd"), "hello\n");
    EXPECT_EQ(runCommand(cli() + " library add '" + outside.file("note.mwd") + "'" + folder, out), 1);
    EXPECT_EQ(out, outside.file("note.mwd") +
                       " is not a song-data file (.mwd): a song-data file is 92,492 bytes, or 94,540 bytes or more; "
                       "this one is 6 bytes.\n");

    // Killed part-way through the copy (the file size limit ends the process as a kill would).
    std::vector<uint8_t> bytes(121880, 0);
    bytes[90432] = bytes[90436] = 4;
    const std::string title = "Whole";
    std::copy(title.begin(), title.end(), bytes.begin() + 90401);
    testing::writeFileBytes(outside.file("song.mwd"), bytes);
    const std::string add = cli() + " library add '" + outside.file("song.mwd") + "'" + folder;
    EXPECT_NE(runCommand("ulimit -f 100 && exec " + add, out), 0) << out;
    EXPECT_FALSE(std::filesystem::exists(program.path() / "Archive" / "song.mwd")) << "no cut song in the library";
    ASSERT_EQ(runCommand(add, out), 0) << out;
    EXPECT_EQ(testing::readFileBytes((program.path() / "Archive" / "song.mwd").string()), bytes);
    ASSERT_EQ(runCommand(cli() + " library list" + folder, out), 0) << out;
    EXPECT_EQ(out, "song.mwd\tWhole\n");
}

}  // namespace
}  // namespace tunecase
