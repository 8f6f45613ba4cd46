#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tunecase {
namespace {

TEST(PlayerCommandLine, HelpAndVersionWinFilesAreKeptInOrderAndQtsOptionsAreLeftToIt) {
    using A = PlayerCommandLine;
    const struct {
        std::vector<const char*> args;
        A::Action action;
        std::vector<std::string> files;
        std::string error;
    } cases[] = {
        {{}, A::Run, {}, ""},
        {{"--help"}, A::Help, {}, ""},
        {{"a.mid", "-h"}, A::Help, {}, ""},
        {{"--version", "--help"}, A::Version, {}, ""},
        {{"-v"}, A::Version, {}, ""},
        {{"a.mid", "b c.mwd", "./-odd.mid"}, A::Run, {"a.mid", "b c.mwd", "./-odd.mid"}, ""},
        {{"-platform", "offscreen", "a.mid", "-style=Fusion", "-reverse"}, A::Run, {"a.mid"}, ""},
        {{"--", "--help", "-"}, A::Run, {"--help", "-"}, ""},
        {{"--bogus", "a.mid"}, A::Error, {}, "--bogus"},
        {{"a.mid", "-x"}, A::Error, {"a.mid"}, "-x"},
    };
    for (const auto& c : cases) {
        std::vector<const char*> argv{"tunecase"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const PlayerCommandLine line = parsePlayerCommandLine(static_cast<int>(argv.size()), argv.data());
        std::string shown;
        for (const char* a : c.args) shown += std::string(a) + " ";
        EXPECT_EQ(line.action, c.action) << shown;
        if (c.action == A::Run || c.action == A::Error) EXPECT_EQ(line.files, c.files) << shown;
        EXPECT_EQ(line.error, c.error) << shown;
    }
    EXPECT_NE(playerUsageText().find("--version"), std::string::npos);
    EXPECT_EQ(playerOptionErrorText("--bogus").find("tunecase: unknown option '--bogus'"), 0u);
}

}  // namespace
}  // namespace tunecase
