#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/reporter.h"
#include "app/settings_edit.h"

namespace tunecase {
namespace {

TEST(SettingsEdit, PickedFolderIsKeptWithoutTrailingSeparatorExceptTheRoot) {
    EXPECT_EQ(keptFolderPath("/"), "/");
    EXPECT_EQ(keptFolderPath("//"), "/");
    EXPECT_EQ(keptFolderPath("/home/u/Music/"), "/home/u/Music");
    EXPECT_EQ(keptFolderPath("/home/u/Music"), "/home/u/Music");

    PlayerSettings s = defaultPlayerSettings();
    ASSERT_TRUE(storePickedDataFolder(s, "/"));
    EXPECT_STREQ(s.dataFolder, "/");
    ASSERT_TRUE(storePickedDataFolder(s, "/data/songs/"));
    EXPECT_STREQ(s.dataFolder, "/data/songs");
}

TEST(SettingsEdit, FolderThatDoesNotFitIsRefusedAndTheOldOneKept) {
    ScopedCapture cap;
    PlayerSettings s = defaultPlayerSettings();
    std::strcpy(s.dataFolder, "/old");
    const std::string tooLong = "/" + std::string(259, 'a');
    EXPECT_FALSE(storePickedDataFolder(s, tooLong));
    EXPECT_STREQ(s.dataFolder, "/old");
    ASSERT_EQ(cap->count(), 1u);
    EXPECT_EQ(cap->reports()[0].visible.rfind("The folder path \"" + tooLong + "\" is too long", 0), 0u);

    const std::string fits = "/" + std::string(258, 'b');  // 259 bytes and the NUL
    EXPECT_TRUE(storePickedDataFolder(s, fits));
    EXPECT_EQ(std::string(s.dataFolder), fits);
}

}  // namespace
}  // namespace tunecase
