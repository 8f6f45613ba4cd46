#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <optional>
#include <sys/stat.h>

#include "base/reporter.h"
#include "app/startup.h"
#include "base/utilities.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

// Answers folder questions from a script and remembers what it was asked.
class ScriptedBrowser final : public FolderBrowser {
public:
    std::deque<std::pair<Result, std::string>> answers;
    std::vector<std::string> initialFolders;
    std::vector<std::string> titles;

    Result browseForFolder(const std::string& initial, std::string& out, const std::string& title) override {
        initialFolders.push_back(initial);
        titles.push_back(title);
        if (answers.empty()) return Cancelled;
        auto [result, path] = answers.front();
        answers.pop_front();
        out = path;
        return result;
    }
};

// Points HOME and XDG_CONFIG_HOME into a scratch folder for one test.
class StartupFolders : public ::testing::Test {
protected:
    void SetUp() override {
        saveEnv("HOME", home_);
        saveEnv("XDG_CONFIG_HOME", config_);
        ::setenv("HOME", dir_.path().c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", dir_.file("config").c_str(), 1);
    }
    void TearDown() override {
        restoreEnv("HOME", home_);
        restoreEnv("XDG_CONFIG_HOME", config_);
    }
    static void saveEnv(const char* name, std::optional<std::string>& slot) {
        const char* v = std::getenv(name);
        if (v) slot = v;
    }
    static void restoreEnv(const char* name, const std::optional<std::string>& slot) {
        if (slot) ::setenv(name, slot->c_str(), 1);
        else ::unsetenv(name);
    }

    testing::TempFolder dir_;
    std::optional<std::string> home_, config_;
};

TEST_F(StartupFolders, SettingsFolderIsTncUnderTheConfigFolderAndIsCreated) {
    const std::string folder = prepareSettingsFolder();
    EXPECT_EQ(folder, dir_.file("config") + "/TNC");
    EXPECT_EQ(folderExists(folder), 1);
}

TEST_F(StartupFolders, FirstRunAsksForTheDataFolderAndSavesBothRecords) {
    const std::string folder = prepareSettingsFolder();
    ScriptedBrowser browser;
    browser.answers.push_back({FolderBrowser::Picked, dir_.file("songs") + "/"});
    ScopedCapture cap;
    PlayerSettings settings;
    SongList list;
    {
        auto records = openSettingsAndList(folder, settings, list, browser);
        ASSERT_EQ(browser.titles.size(), 1u);
        EXPECT_EQ(browser.titles[0], "Choose a folder to keep your songs in.");
        EXPECT_EQ(browser.initialFolders[0], dir_.path().string() + "/Music");
        EXPECT_EQ(fieldText(settings.dataFolder, kPathBytes), dir_.file("songs"));
        EXPECT_EQ(settings.plateType, 261);
        EXPECT_EQ(list.count, 0);
        EXPECT_EQ(cap->count(), 0u);
    }
    // Closing writes both files even though nothing changed.
    EXPECT_EQ(fileSize(folder + "/setup.ini"), 276);
    EXPECT_EQ(fileSize(folder + "/mbox.lst"), 51608);

    // The second start finds setup.ini and does not ask again.
    ScriptedBrowser second;
    PlayerSettings again;
    auto records = openSettingsAndList(folder, again, list, second);
    EXPECT_TRUE(second.titles.empty());
    EXPECT_EQ(fieldText(again.dataFolder, kPathBytes), dir_.file("songs"));
}

TEST_F(StartupFolders, ShortSettingsFileIsRepairedWithoutTheFirstRunQuestion) {
    const std::string folder = prepareSettingsFolder();
    testing::writeFileBytes(folder + "/setup.ini", std::vector<uint8_t>(275, 0x11));
    ScriptedBrowser browser;
    ScopedCapture cap;
    PlayerSettings settings;
    SongList list;
    auto records = openSettingsAndList(folder, settings, list, browser);
    EXPECT_TRUE(browser.titles.empty());
    EXPECT_EQ(settings.dataFolder[0], 0);
    EXPECT_EQ(settings.speedPercent, 100);
    ASSERT_EQ(cap->count(), 1u);
    EXPECT_EQ(cap->visibleTexts()[0], "A settings file was incomplete, so it was reset to its defaults.");
}

TEST_F(StartupFolders, AStoredSpeedOutsideTheSliderIsBroughtToItsNearestEnd) {
    const std::string folder = prepareSettingsFolder();
    for (auto [stored, loaded] : {std::pair{0, 50}, {-5, 50}, {2147483647, 150}, {49, 50}, {151, 150}, {73, 73}}) {
        PlayerSettings written = defaultPlayerSettings();
        written.speedPercent = stored;
        ASSERT_EQ(writeWhole(folder + "/setup.ini", &written, sizeof written), 1);
        ScriptedBrowser browser;
        PlayerSettings settings;
        SongList list;
        auto records = openSettingsAndList(folder, settings, list, browser);
        EXPECT_EQ(settings.speedPercent, loaded) << stored;
    }
}

TEST_F(StartupFolders, CancellingUsesTheMusicFolderAndSaysSo) {
    const std::string folder = prepareSettingsFolder();
    ScriptedBrowser browser;
    ScopedCapture cap;
    PlayerSettings settings;
    SongList list;
    auto records = openSettingsAndList(folder, settings, list, browser);
    const std::string music = dir_.path().string() + "/Music";
    EXPECT_EQ(fieldText(settings.dataFolder, kPathBytes), music);
    EXPECT_EQ(folderExists(music), 1);
    ASSERT_EQ(cap->count(), 1u);
    EXPECT_EQ(cap->visibleTexts()[0], music + " will be used as the data folder.");
}

TEST_F(StartupFolders, ATooLongFolderIsRefusedAndAskedAgainAndTheRootKeepsItsSeparator) {
    ScriptedBrowser browser;
    const std::string tooLong = "/" + std::string(300, 'd');
    browser.answers.push_back({FolderBrowser::Picked, tooLong});
    browser.answers.push_back({FolderBrowser::Picked, "/"});
    ScopedCapture cap;
    EXPECT_EQ(askDataFolder(browser), "/");
    EXPECT_EQ(browser.titles.size(), 2u);
    ASSERT_EQ(cap->count(), 1u);
    EXPECT_NE(cap->visibleTexts()[0].find("too long"), std::string::npos);
    EXPECT_NE(cap->visibleTexts()[0].find(tooLong), std::string::npos);
}

TEST_F(StartupFolders, MusicFolderFollowsTheUserDirsFile) {
    ::mkdir(dir_.file("config").c_str(), 0755);
    testing::writeFileText(dir_.file("config/user-dirs.dirs"),
                           "# comment\nXDG_MUSIC_DIR=\"$HOME/Tunes\"\n");
    ScriptedBrowser browser;
    ScopedCapture cap;
    EXPECT_EQ(askDataFolder(browser), dir_.file("Tunes"));
    EXPECT_EQ(browser.initialFolders.at(0), dir_.file("Tunes"));
}

TEST(HelpPage, LivesInTheHelpFolderOfTheProgramFolder) {
    EXPECT_EQ(helpPagePath("/opt/tunecase"), "/opt/tunecase/help/top.htm");
}

}  // namespace
}  // namespace tunecase
