// tunecase-cli arrange, run as a user would: the title it prints, the bytes a seed fixes,
// and an input that cannot be read.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "songs/song_data.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

using testing::runCommand;

std::string cli() { return TUNECASE_CLI; }
std::string knowledge() { return " --knowledge '" + std::string(TUNECASE_TEST_DATA) + "/../../data' "; }

std::string songFile(const testing::TempFolder& dir, const std::string& name, std::string_view title) {
    CSongData song;
    song.newSong(2, 4, 0, 0);
    for (int beat = 0; beat < song.beatCount(); ++beat) {
        NoteRecord r;
        r.value[0] = 60 + beat;
        r.slot[0][0] = 1;
        song.setNoteRecord(beat, 0, r);
        song.setChordName(beat, beat < 4 ? "C" : "G7");
    }
    song.setTitle(title);
    const std::string path = dir.file(name);
    EXPECT_TRUE(song.saveFile(path));
    return path;
}

TEST(CliArrange, PrintsTheTitleAndASeedFixesTheBytes) {
    testing::TempFolder dir;
    const std::string in = songFile(dir, "song.mwd", "Spring Song");
    std::string out;
    ASSERT_EQ(runCommand(cli() + " arrange --seed 9" + knowledge() + "'" + in + "' '" + dir.file("a.mid") + "'", out), 0)
        << out;
    EXPECT_EQ(out, "Spring Song\n");
    ASSERT_EQ(runCommand(cli() + " arrange" + knowledge() + "--seed=9 '" + in + "' '" + dir.file("b.mid") + "'", out), 0);
    EXPECT_EQ(testing::readFileBytes(dir.file("a.mid")), testing::readFileBytes(dir.file("b.mid")));

    // A Shift-JIS title is shown in UTF-8.
    const std::string sjis = songFile(dir, "sjis.mwd", "\x83\x65\x83\x58\x83\x67");
    ASSERT_EQ(runCommand(cli() + " arrange" + knowledge() + "'" + sjis + "' '" + dir.file("c.mid") + "'", out), 0);
    EXPECT_EQ(out, "テスト\n");
}

TEST(CliArrange, AnInputThatCannotBeReadFailsWithItsMessageAndNoFile) {
    testing::TempFolder dir;
    std::string err;
    const std::string missing = dir.file("none.mwd");
    EXPECT_EQ(runCommand(cli() + " arrange" + knowledge() + "'" + missing + "' '" + dir.file("x.mid") + "' 2>&1 >/dev/null",
                         err),
              1);
    EXPECT_NE(err.find("GENE01000005 Cant find file! [" + missing + "]"), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.mid")));
}

}  // namespace
}  // namespace tunecase
