// The preview page runs as a program of its own, so the player never loads the embedded
// browser: the page program is found from the window's program, takes its arguments in order,
// and only it links Qt WebEngine.
#include "net/gui/web_page_program.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_support.h"

namespace tunecase {
namespace {

TEST(WebPageProgram, IsFoundBesideTheProgramsAndAloneLinksTheBrowser) {
    const std::string program = webPageProgramPath();
    ASSERT_TRUE(std::filesystem::is_regular_file(program)) << program;
    EXPECT_EQ(std::filesystem::path(program).filename(), kWebPageProgramName);
    EXPECT_EQ(std::filesystem::path(program), std::filesystem::path(TUNECASE_WEB_PAGE_PROGRAM));

    std::string out;
    EXPECT_EQ(testing::runCommand("QT_QPA_PLATFORM=offscreen '" + program + "' 2>&1", out), 2);
    EXPECT_NE(out.find("usage: "), std::string::npos) << out;

    ASSERT_EQ(testing::runCommand("ldd '" + program + "'", out), 0);
    EXPECT_NE(out.find("libQt6WebEngineCore"), std::string::npos);
    ASSERT_EQ(testing::runCommand("ldd '" + std::string(TUNECASE_PLAYER) + "'", out), 0);
    EXPECT_EQ(out.find("WebEngine"), std::string::npos) << out;
}

TEST(WebPageProgram, ArgumentsComeInTheOrderTheProgramReadsThem) {
    ProgramFolders folders{"/p", "/l", "/w w"};
    QStringList args = webPageArguments("http://h/1", "/w w/web-page.mwd", "/d", folders);
    EXPECT_EQ(args, (QStringList{"http://h/1", "/w w/web-page.mwd", "/d", "/p", "/l", "/w w"}));
}

}  // namespace
}  // namespace tunecase
