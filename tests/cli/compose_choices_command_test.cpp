// tunecase-cli compose's choices as a user types them: what is accepted, what is refused,
// where the refusal goes and with which exit status.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/test_support.h"

namespace tunecase {
namespace {

using testing::runCommand;

std::string cli() { return TUNECASE_CLI; }
std::string knowledge() { return " --knowledge '" + std::string(TUNECASE_TEST_DATA) + "/../../data' "; }

TEST(CliComposeChoices, ListStylesNeedsNoFileAndMarksTheDefault) {
    std::string out;
    ASSERT_EQ(runCommand(cli() + " compose --list-styles 2>&1", out), 0);
    EXPECT_EQ(out, "Music Box (default)\nWaltz\nFolk Tune\nCarol\nLullaby\n");
}

TEST(CliComposeChoices, EachOptionIsAcceptedOrRefusedOnStderr) {
    testing::TempFolder dir;
    const struct {
        std::string args;
        int status;
        std::string stdoutHas;  // the title printed, or what stderr says
    } cases[] = {
        {"--style lullaby --key F#m", 0, "title Lullaby in F-sharp minor\n"},
        {"--key 'E minor' --meter 3/4 --tempo 96", 0, "title Music Box in E minor\n"},
        {"--style Waltz --key Bb --measures 8", 0, "title Waltz in B-flat major\n"},
        {"--key c#", 0, "title Music Box in C-sharp minor\n"},
        {"--style Waltz --meter 4/4", 2, "The style \"Waltz\" is written for 3/4 only."},
        {"--style Polka", 2, "There is no style \"Polka\""},
        {"--key H", 2, "\"H\" is not a key; the keys are C major, D-flat major"},
        {"--meter 6/8", 2, "--meter is 4/4 or 3/4, not \"6/8\""},
        {"--tempo 39", 2, "--tempo"},
        {"--tempo 201", 2, "--tempo"},
        {"--measures 7", 2, "--measures"},
        {"--measures 201", 2, "--measures"},
        {"--style Lullaby --measures 121", 2, "A song in 3/4 is 8 to 120 measures long."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const std::string file = dir.file("x.mid");
        std::string out, err;
        const int status = runCommand(cli() + " compose --seed 9" + knowledge() + c.args + " '" + file + "' 2>/dev/null", out);
        runCommand(cli() + " compose --seed 9" + knowledge() + c.args + " '" + file + "' 2>&1 >/dev/null", err);
        EXPECT_EQ(status, c.status);
        if (c.status == 0) {
            EXPECT_NE(out.find(c.stdoutHas), std::string::npos) << out;
            EXPECT_EQ(err, "");
        } else {
            EXPECT_EQ(out, "");
            EXPECT_FALSE(std::filesystem::exists(file));
            EXPECT_NE(err.find(c.stdoutHas), std::string::npos) << err;
        }
        std::filesystem::remove(file);
    }
}

}  // namespace
}  // namespace tunecase
