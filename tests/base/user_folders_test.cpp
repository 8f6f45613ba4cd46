// Where the program's files live: the library seeded once from the sample songs, the XDG
// folders and their fallbacks, and the program folder never taken from the current folder.
#include "base/user_folders.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "support/test_support.h"

namespace tunecase {
namespace {

namespace fs = std::filesystem;
using testing::ScopedEnv;

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class UserFoldersTest : public ::testing::Test {
protected:
    testing::TempFolder home;
    ScopedEnv homeVar{"HOME", home.path().string()};
    ScopedEnv program{kProgramFolderVariable, nullptr};
    ScopedEnv data{"XDG_DATA_HOME", nullptr};
    ScopedEnv cache{"XDG_CACHE_HOME", nullptr};
    ScopedEnv runtime{"XDG_RUNTIME_DIR", nullptr};
};

TEST_F(UserFoldersTest, TheLibraryIsSeededWithTheSampleSongsOnceAndThenLeftToTheUser) {
    const fs::path samples = home.path() / "share" / "Archive";
    fs::create_directories(samples);
    testing::writeFileText((samples / "a.mwd").string(), "first song");
    testing::writeFileText((samples / "B.MWD").string(), "second song");
    testing::writeFileText((samples / "notes.txt").string(), "not a song");
    ScopedEnv dataHome("XDG_DATA_HOME", (home.path() / "xdg-data").string());

    ProgramFolders folders = locateProgramFolders();
    folders.program = (home.path() / "share").string();
    EXPECT_EQ(folders.library, (home.path() / "xdg-data" / "tunecase" / "Archive").string());
    EXPECT_FALSE(fs::exists(folders.library)) << "locating creates nothing";

    ASSERT_EQ(prepareLibraryFolder(folders), 1);
    EXPECT_EQ(namesIn(folders.library), (std::vector<std::string>{"B.MWD", "a.mwd"}));
    EXPECT_EQ(testing::readFileBytes(folders.library + "/a.mwd"), testing::readFileBytes((samples / "a.mwd").string()));
    EXPECT_EQ(namesIn(home.path() / "xdg-data" / "tunecase"), std::vector<std::string>{"Archive"}) << "no staging left";

    // The user removes a sample and adds a song: a later start keeps their library as it is.
    fs::remove(folders.library + "/a.mwd");
    testing::writeFileText(folders.library + "/mine.mwd", "my song");
    ASSERT_EQ(prepareLibraryFolder(folders), 1);
    EXPECT_EQ(namesIn(folders.library), (std::vector<std::string>{"B.MWD", "mine.mwd"}));

    // Without sample songs the library is still made, empty, so adding a song has a place.
    fs::remove_all(folders.library);
    folders.program = (home.path() / "nowhere").string();
    ASSERT_EQ(prepareLibraryFolder(folders), 1);
    EXPECT_TRUE(namesIn(folders.library).empty());
}

TEST_F(UserFoldersTest, ASeedingCutShortLeavesNoLibrarySoTheNextStartSeedsAgain) {
    const fs::path samples = home.path() / "share" / "Archive";
    fs::create_directories(samples);
    testing::writeFileText((samples / "a.mwd").string(), "small song");
    testing::writeFileBytes((samples / "b.mwd").string(), std::vector<uint8_t>(121880, 3));
    ScopedEnv dataHome("XDG_DATA_HOME", (home.path() / "xdg-data").string());
    ProgramFolders folders = locateProgramFolders();
    folders.program = (home.path() / "share").string();
    // A staging folder of a seeding killed earlier (no such process now) is cleared away.
    const fs::path abandoned = home.path() / "xdg-data" / "tunecase" / "Archive.new-999999999";
    fs::create_directories(abandoned);
    testing::writeFileText((abandoned / "a.mwd").string(), "small");

    {
        // The disk fills part-way through the second sample.
        testing::ScopedFileSizeLimit nearlyFull(50000);
        EXPECT_EQ(prepareLibraryFolder(folders), 0);
    }
    EXPECT_FALSE(fs::exists(folders.library)) << "no library with cut or missing samples";
    EXPECT_TRUE(namesIn(home.path() / "xdg-data" / "tunecase").empty()) << "no staging left";

    ASSERT_EQ(prepareLibraryFolder(folders), 1);
    EXPECT_EQ(namesIn(folders.library), (std::vector<std::string>{"a.mwd", "b.mwd"}));
    EXPECT_EQ(testing::readFileBytes(folders.library + "/b.mwd"), std::vector<uint8_t>(121880, 3));
}

TEST_F(UserFoldersTest, FoldersFollowTheXdgVariablesAndTheirHomeFallbacks) {
    // Nothing set: the home fallbacks; relative values count as unset.
    ScopedEnv relative("XDG_DATA_HOME", "relative/data");
    ProgramFolders folders = locateProgramFolders();
    EXPECT_EQ(folders.library, (home.path() / ".local/share/tunecase/Archive").string());
    EXPECT_EQ(folders.work, (home.path() / ".cache/tunecase").string());

    // A runtime folder that exists takes the work files; one that does not is passed over.
    ScopedEnv cacheHome("XDG_CACHE_HOME", (home.path() / "c").string());
    {
        ScopedEnv missing("XDG_RUNTIME_DIR", (home.path() / "no-such-runtime").string());
        EXPECT_EQ(locateProgramFolders().work, (home.path() / "c" / "tunecase").string());
    }
    fs::create_directory(home.path() / "run");
    ScopedEnv runtimeDir("XDG_RUNTIME_DIR", (home.path() / "run").string());
    folders = locateProgramFolders();
    EXPECT_EQ(folders.work, (home.path() / "run" / "tunecase").string());
    ASSERT_EQ(prepareWorkFolder(folders), 1);
    struct stat info {};
    ASSERT_EQ(::stat(folders.work.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u) << "work files are the user's alone";

    // The explicit program folder keeps everything in one place, as a source-tree run expects.
    ScopedEnv explicitFolder(kProgramFolderVariable, "/opt/songs");
    folders = locateProgramFolders();
    EXPECT_EQ(folders.program, "/opt/songs");
    EXPECT_EQ(folders.library, "/opt/songs/Archive");
    EXPECT_EQ(folders.work, "/opt/songs");
}

TEST_F(UserFoldersTest, TheProgramFolderNeverComesFromTheCurrentFolder) {
    // A folder that looks exactly like a program folder, made the current folder.
    testing::TempFolder lookalike;
    testing::writeFileText(lookalike.file("PATTERN.DB"), "x");
    const fs::path before = fs::current_path();
    fs::current_path(lookalike.path());
    const std::string found = findProgramFolder();
    fs::current_path(before);
    EXPECT_NE(fs::path(found), lookalike.path());
    EXPECT_NE(found, ".");
    EXPECT_FALSE(found.empty()) << "a place to name in messages";
    EXPECT_TRUE(fs::path(found).is_absolute()) << found;
}

}  // namespace
}  // namespace tunecase
