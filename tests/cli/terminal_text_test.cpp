// Outside text printed by tunecase-cli (titles, lyrics, file names, track and box names) with
// control bytes in it: printed escaped, so a hostile file cannot retitle the terminal, ring
// its bell or clear it; the JSON forms still give the text back exactly.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>

#include "songs/song_data.h"
#include "support/smf_builder.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

using testing::runCommand;

std::string cli(const std::string& args) { return std::string(TUNECASE_CLI) + " " + args + " 2>&1"; }
std::string quoted(const std::string& s) { return "'" + s + "'"; }

// Retitles the terminal, rings the bell, clears the screen; DEL and a C1 CSI (U+009B) too.
const std::string kHostileTitle = "\x1b]0;owned\x07\x1b[2JEvil\x7f\xC2\x9B" "31m";
const std::string kShownTitle = "\\x1b]0;owned\\x07\\x1b[2JEvil\\x7f\\u009b31m";

// The first control byte a terminal would act on (our own line ends and tab separators
// aside), or "" when there is none.
std::string firstControl(const std::string& out) {
    for (size_t i = 0; i < out.size(); ++i) {
        const auto c = static_cast<unsigned char>(out[i]);
        if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7F ||
            (c == 0xC2 && i + 1 < out.size() && static_cast<unsigned char>(out[i + 1]) < 0xA0))
            return "byte " + std::to_string(c) + " at " + std::to_string(i);
    }
    return {};
}

TEST(CliControlBytes, SongDataTitlesLyricsAndFileNamesAreShownEscaped) {
    testing::TempFolder dir;
    std::filesystem::create_directory(dir.file("Archive"));
    const std::string path = dir.file("Archive/evil\x1b[2J.mwd");
    CSongData song;
    song.newSong(4, 4, 0, 0);
    ASSERT_TRUE(song.setTitle(kHostileTitle));
    ASSERT_TRUE(song.setLyricLine(0, "la\x1b[31mla"));
    ASSERT_TRUE(song.saveFile(path));

    std::string out;
    ASSERT_EQ(runCommand(cli("info " + quoted(path)), out), 0) << out;
    EXPECT_EQ(firstControl(out), "") << out;
    EXPECT_NE(out.find("title:    " + kShownTitle + "\n"), std::string::npos) << out;
    EXPECT_NE(out.find("lyrics:   la\\x1b[31mla\n"), std::string::npos) << out;
    EXPECT_NE(out.find("evil\\x1b[2J.mwd\n"), std::string::npos) << out;

    // JSON escapes too, and reads back as the very text stored.
    ASSERT_EQ(runCommand(cli("info --json " + quoted(path)), out), 0) << out;
    EXPECT_EQ(firstControl(out), "") << out;
    const auto json = nlohmann::json::parse(out);
    EXPECT_EQ(json["title"], kHostileTitle);
    EXPECT_EQ(json["lyrics"][0], "la\x1b[31mla");

    const std::string library = "library list --program-folder " + quoted(dir.path().string());
    ASSERT_EQ(runCommand(cli(library), out), 0) << out;
    EXPECT_EQ(firstControl(out), "") << out;
    EXPECT_NE(out.find("evil\\x1b[2J.mwd\t" + kShownTitle + "\n"), std::string::npos) << out;
    ASSERT_EQ(runCommand(cli(library + " --json"), out), 0) << out;
    EXPECT_EQ(firstControl(out), "") << out;
    EXPECT_NE(nlohmann::json::parse(out).dump().find("evil\\u001b[2J.mwd"), std::string::npos) << out;

    // A MIDI file's own name, as info prints it.
    const std::string midi = dir.file("song\x07\x1b[H.mid");
    testing::SmfTrack track;
    testing::appendNotes(track, {60, 62, 64}, 480);
    testing::writeFileBytes(midi, testing::smfBytes(0, 480, {track}));
    ASSERT_EQ(runCommand(cli("info " + quoted(midi)), out), 0) << out;
    EXPECT_EQ(firstControl(out), "") << out;
    EXPECT_NE(out.find("song\\x07\\x1b[H.mid\n"), std::string::npos) << out;
}

TEST(CliControlBytes, StripReportShowsTrackAndBoxNamesEscaped) {
    testing::TempFolder dir;
    const std::string midi = dir.file("tune.mid");
    testing::SmfTrack track = {testing::metaText(0x03, "Evil\x1b[2J\x07")};
    testing::appendNotes(track, {60, 62, 64, 65, 67, 69, 71, 72}, 480);
    testing::writeFileBytes(midi, testing::smfBytes(0, 480, {track}));
    testing::writeFileText(dir.file("boxes.txt"),
                           "box Bad\x1b[31mBox\ncomb C4 D4 E4 F4 G4 A4 B4 C5\nwidth 30\nline-spacing 2.5\n"
                           "first-line 6.25\nbeat 10\nmin-repeat 2\nbox Other\nwid\x1b]2;x\x07th 9\n");
    const std::string args = "strip --boxes " + quoted(dir.file("boxes.txt")) +
                             " --box \"$(printf 'Bad\\033[31mBox')\" --report " + quoted(midi);

    std::string out;
    ASSERT_EQ(runCommand(cli(args), out), 0) << out;
    EXPECT_EQ(firstControl(out), "") << out;
    EXPECT_NE(out.find("Title: Evil\\x1b[2J\\x07\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Box: Bad\\x1b[31mBox\n"), std::string::npos) << out;
    EXPECT_NE(out.find("unknown field \"wid\\x1b]2;x\\x07th\""), std::string::npos) << out;

    ASSERT_EQ(runCommand(cli(args + " --json") + " 2>/dev/null", out), 0) << out;
    EXPECT_EQ(firstControl(out), "") << out;
    const std::string json = out.substr(out.find('{'));
    EXPECT_EQ(nlohmann::json::parse(json)["title"], "Evil\x1b[2J\x07");
    EXPECT_EQ(nlohmann::json::parse(json)["box"], "Bad\x1b[31mBox");
}

}  // namespace
}  // namespace tunecase
