// The desktop's trash as the file manager keeps it: the file under Trash/files, with a
// Trash/info record saying where it came from, so that it can be put back.
#include "app/gui/desktop_trash.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/qt_test_app.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

namespace fs = std::filesystem;

TEST(DesktopTrash, AMadeSongLandsInTheTrashWithTheRecordToRestoreIt) {
    testing::qtTestApp();
    testing::TempFolder scratch;
    // Home on the same disk as the song, so the home trash is the one used.
    testing::ScopedEnv home("HOME", scratch.path().string());
    // A data folder not made yet, as on a fresh account: the trash is made in it all the same.
    testing::ScopedEnv data("XDG_DATA_HOME", (scratch.path() / "data").string());
    fs::create_directories(scratch.path() / "songs");
    const std::string song = scratch.file("songs/2024-5-6-7-8-9-10.mid");
    testing::writeFileText(song, "MThd composed");

    std::string reason;
    ASSERT_TRUE(moveToDesktopTrash(song, reason)) << reason;
    EXPECT_FALSE(fs::exists(song));
    const fs::path trash = scratch.path() / "data" / "Trash";
    const std::vector<uint8_t> kept = testing::readFileBytes((trash / "files" / "2024-5-6-7-8-9-10.mid").string());
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "MThd composed");
    const std::vector<uint8_t> info = testing::readFileBytes((trash / "info" / "2024-5-6-7-8-9-10.mid.trashinfo").string());
    const std::string text(info.begin(), info.end());
    EXPECT_EQ(text.rfind("[Trash Info]\n", 0), 0u) << text;
    EXPECT_NE(text.find("\nPath=" + song + "\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nDeletionDate="), std::string::npos) << text;

    // Nothing to move: false, with the reason.
    EXPECT_FALSE(moveToDesktopTrash(song, reason));
    EXPECT_FALSE(reason.empty());
}

}  // namespace
}  // namespace tunecase
