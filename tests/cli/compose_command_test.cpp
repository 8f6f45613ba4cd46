// tunecase-cli compose, run as a user would: what it prints, its exit status, the file it
// writes as midicsv reads it, and the messages of a run that cannot compose.
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <sstream>
#include <string>

#include "compose/knowledge_files.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

using testing::runCommand;

std::string cli() { return TUNECASE_CLI; }
std::string dataFolder() { return std::string(TUNECASE_TEST_DATA) + "/../../data"; }

// The records midicsv prints for the file, or "" when it cannot read it.
std::string csv(const std::string& path) {
    std::string out;
    return runCommand("midicsv '" + path + "' 2>/dev/null", out) == 0 ? out : std::string();
}

int countOf(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(CliCompose, ASeedGivesTheSameSongEveryTimeAndAMusicBoxFileMidicsvReads) {
    testing::TempFolder dir;
    std::string out;
    const std::string knowledge = " --knowledge '" + dataFolder() + "' ";
    ASSERT_EQ(runCommand(cli() + " compose --seed 7" + knowledge + "'" + dir.file("a.mid") + "' 2>&1", out), 0) << out;
    EXPECT_EQ(out, "seed 7\ntitle Music Box in C major\n");
    ASSERT_EQ(runCommand(cli() + " compose" + knowledge + "--seed=7 '" + dir.file("b.mid") + "' 2>&1", out), 0) << out;
    EXPECT_EQ(testing::readFileBytes(dir.file("a.mid")), testing::readFileBytes(dir.file("b.mid")));

    const std::string records = csv(dir.file("a.mid"));
    ASSERT_FALSE(records.empty()) << "midicsv could not read the song";
    EXPECT_NE(records.find("0, 0, Header, 1, 4, 96\n"), std::string::npos) << records.substr(0, 200);
    EXPECT_NE(records.find("1, 0, Tempo, 500000\n"), std::string::npos);
    EXPECT_NE(records.find("1, 0, Text_t, \"random_seed 7\\000\"\n"), std::string::npos);
    EXPECT_NE(records.find("1, 0, Marker_t, \"N/C\"\n"), std::string::npos);
    EXPECT_NE(records.find("1, 384, Marker_t, "), std::string::npos);
    for (const char* program : {"Program_c, 1, 10\n", "Program_c, 2, 10\n", "Program_c, 3, 10\n"})
        EXPECT_EQ(countOf(records, program), 1) << program;
    EXPECT_EQ(countOf(records, "Program_c"), 3);
    EXPECT_GT(countOf(records, "Note_on_c, 1, "), 40);

    // Another seed, another song; a longer target, a longer song.
    ASSERT_EQ(runCommand(cli() + " compose --seed 8" + knowledge + "'" + dir.file("c.mid") + "'", out), 0);
    EXPECT_NE(testing::readFileBytes(dir.file("a.mid")), testing::readFileBytes(dir.file("c.mid")));
    const std::string longer = dir.file("d.mid");
    ASSERT_EQ(runCommand(cli() + " compose --seed 7 --measures 40" + knowledge + "'" + longer + "'", out), 0);
    EXPECT_GT(countOf(csv(longer), "Marker_t"), countOf(records, "Marker_t"));
}

TEST(CliCompose, WithoutASeedTheTimeSeedsTheSongAndItIsPrinted) {
    testing::TempFolder dir;
    std::string out;
    const long before = static_cast<long>(std::time(nullptr));
    // From inside the program folder, as the player runs: the knowledge files are found there.
    const std::string command = "cd '" + dataFolder() + "' && " + cli() + " compose '" + dir.file("t.mid") + "'";
    ASSERT_EQ(runCommand(command, out), 0) << out;
    long seed = 0;
    ASSERT_EQ(std::sscanf(out.c_str(), "seed %ld", &seed), 1) << out;
    EXPECT_GE(seed, before);
    EXPECT_LE(seed, static_cast<long>(std::time(nullptr)));
    EXPECT_NE(csv(dir.file("t.mid")).find("random_seed " + std::to_string(seed)), std::string::npos);
}

TEST(CliCompose, FailuresExitNonZeroWithTheirMessages) {
    testing::TempFolder dir;
    std::string err;
    EXPECT_EQ(runCommand(cli() + " compose --measures 0 x.mid 2>&1 >/dev/null", err), 2);
    EXPECT_NE(err.find("--measures"), std::string::npos) << err;
    EXPECT_EQ(runCommand(cli() + " compose 2>&1 >/dev/null", err), 2);

    EXPECT_EQ(runCommand(cli() + " compose --seed 1 --knowledge '" + dataFolder() + "' '" + dir.file("no/such/x.mid") +
                             "' 2>&1 >/dev/null",
                         err),
              1);
    EXPECT_EQ(err, "M1DT03000005 Can not open file! [" + dir.file("no/such/x.mid") + ": No such file or directory]\n");

    // No knowledge files: the loader says so once and nothing is written.
    std::filesystem::create_directory(dir.file("empty"));
    EXPECT_EQ(runCommand(cli() + " compose --seed 1 --knowledge '" + dir.file("empty") + "' '" + dir.file("k.mid") +
                             "' 2>&1 >/dev/null",
                         err),
              1);
    EXPECT_EQ(err, "ZEMCFF010035 error in pattern file!\n" +
                       PatternNotFoundText(dir.file("empty") + "/PATTERN.DB") + "\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("k.mid")));
}

TEST(CliCompose, AnEmptyCadenceOrTimeChartFileIsNamedAndNothingIsWritten) {
    const struct {
        const char* file;
        const char* holds;
    } cases[] = {
        {"RESOLUT.DB", "the cadence file holds a count, then that many chord progressions"},
        {"TIMECHT.DB", "a time chart file holds a count, then that many charts of chord durations"},
        {"RESTIME.DB", "a time chart file holds a count, then that many charts of chord durations"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        testing::TempFolder dir;
        const std::string knowledge = dir.file("knowledge");
        std::filesystem::copy(dataFolder(), knowledge, std::filesystem::copy_options::recursive);
        testing::writeFileText(knowledge + "/" + c.file, "");
        std::string err;
        EXPECT_EQ(runCommand(cli() + " compose --seed 1 --knowledge '" + knowledge + "' '" + dir.file("k.mid") +
                                 "' 2>&1 >/dev/null",
                             err),
                  1);
        EXPECT_EQ(err, knowledge + "/" + c.file + " is empty; " + c.holds + ", each ended by \"|\"\n");
        EXPECT_FALSE(std::filesystem::exists(dir.file("k.mid")));
    }
}

}  // namespace
}  // namespace tunecase
