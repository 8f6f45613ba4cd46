// Atomic writes: a write that fails part-way (a full disk, a device that refuses, a folder
// that cannot be written) leaves the old file byte for byte and no temporary file; the
// reason names the file and says what the system said.
#include "base/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "base/utilities.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

namespace fs = std::filesystem;
using testing::namesIn;

std::vector<uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

TEST(AtomicFile, AWriteCutShortKeepsTheOldFileAndLeavesNoTemporaryFile) {
    testing::TempFolder dir;
    const std::string path = dir.file("song.bin");
    const std::vector<uint8_t> big(64 * 1024, 0x5A);

    // Whole buffer, in pieces through the stream, and in pieces through write().
    const std::vector<std::pair<const char*, std::function<bool()>>> writers = {
        {"writeWhole", [&] { return writeWhole(path, big.data(), big.size()) == 1; }},
        {"stream",
         [&] {
             AtomicFile file;
             if (!file.open(path)) return false;
             for (int i = 0; i < 64; ++i) std::fwrite(big.data(), 1, 1024, file.stream());
             return file.commit();
         }},
        {"pieces",
         [&] {
             AtomicFile file;
             if (!file.open(path)) return false;
             for (int i = 0; i < 64 && file.write(big.data(), 1024);) ++i;
             const bool done = file.commit();
             EXPECT_EQ(file.reason(), path + ": File too large");
             return done;
         }},
    };
    for (const auto& [name, write] : writers) {
        testing::writeFileText(path, "the old song");
        {
            testing::ScopedFileSizeLimit nearlyFull(16 * 1024);
            EXPECT_FALSE(write()) << name;
        }
        EXPECT_EQ(testing::readFileBytes(path), bytesOf("the old song")) << name;
        EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"song.bin"}) << name;
    }

    std::string reason;
    {
        testing::ScopedFileSizeLimit nearlyFull(16 * 1024);
        EXPECT_EQ(writeWhole(path, big.data(), big.size(), &reason), 0);
    }
    EXPECT_EQ(reason, path + ": File too large");

    // Dropped without commit: nothing changes either.
    {
        AtomicFile file;
        ASSERT_TRUE(file.open(path));
        ASSERT_TRUE(file.write(big.data(), big.size()));
    }
    EXPECT_EQ(testing::readFileBytes(path), bytesOf("the old song"));
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"song.bin"});

    // And a write that succeeds replaces it whole.
    ASSERT_EQ(writeWhole(path, big.data(), big.size()), 1);
    EXPECT_EQ(testing::readFileBytes(path), big);
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"song.bin"});
}

TEST(AtomicFile, FailuresSayWhichFileAndWhy) {
    testing::TempFolder dir;
    std::string reason;
    const char text[] = "x";

    // A device is written in place (nothing to rename over it) and its refusal comes back.
    EXPECT_EQ(writeWhole("/dev/full", text, 1, &reason), 0);
    EXPECT_EQ(reason, "/dev/full: No space left on device");
    struct stat st {};
    ASSERT_EQ(::stat("/dev/full", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));

    EXPECT_EQ(writeWhole(dir.file("no/such/x.wav"), text, 1, &reason), 0);
    EXPECT_EQ(reason, dir.file("no/such/x.wav") + ": No such file or directory");
    fs::create_directory(dir.path() / "folder");
    EXPECT_EQ(writeWhole(dir.file("folder"), text, 1, &reason), 0);
    EXPECT_EQ(reason, dir.file("folder") + ": Is a directory");
}

TEST(AtomicFile, AFolderTheUserMayNotWriteToSaysPermissionDenied) {
    testing::TempFolder dir;
    std::string reason;
    const char text[] = "x";
    // Root may write anywhere, so there is nothing to see there.
    fs::create_directory(dir.path() / "ro");
    ::chmod(dir.file("ro").c_str(), 0555);
    if (::access(dir.file("ro").c_str(), W_OK) == 0) GTEST_SKIP() << "running as a user who may write anywhere";
    EXPECT_EQ(writeWhole(dir.file("ro/x.wav"), text, 1, &reason), 0);
    EXPECT_EQ(reason, dir.file("ro/x.wav") + ": Permission denied");
}

TEST(AtomicFile, AReplacedFileKeepsItsPermissionsAndALinkKeepsPointingAtIt) {
    testing::TempFolder dir;
    const mode_t oldMask = ::umask(022);
    ASSERT_EQ(writeWhole(dir.file("new.txt"), "a", 1), 1);
    testing::writeFileText(dir.file("private.txt"), "old");
    ::chmod(dir.file("private.txt").c_str(), 0600);
    ASSERT_EQ(writeWhole(dir.file("private.txt"), "new", 3), 1);
    ::umask(oldMask);
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("new.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u) << "a new file as any program makes it";
    ASSERT_EQ(::stat(dir.file("private.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "a private file stays private";

    fs::create_symlink("private.txt", dir.path() / "link.txt");
    ASSERT_EQ(writeWhole(dir.file("link.txt"), "via link", 8), 1);
    EXPECT_TRUE(fs::is_symlink(dir.path() / "link.txt"));
    EXPECT_EQ(testing::readFileBytes(dir.file("private.txt")), bytesOf("via link"));
}

TEST(AtomicFile, KeepExistingNeverReplacesAFileThatAppearedMeanwhile) {
    testing::TempFolder dir;
    const std::string path = dir.file("song.mwd");
    AtomicFile file;
    ASSERT_TRUE(file.open(path));
    ASSERT_TRUE(file.write("mine", 4));
    testing::writeFileText(path, "someone else's");
    EXPECT_FALSE(file.commit(AtomicFile::KeepExisting));
    EXPECT_EQ(file.reason(), path + ": File exists");
    EXPECT_EQ(testing::readFileBytes(path), bytesOf("someone else's"));
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"song.mwd"});

    // A copy: whole or nothing, the reason naming the file that failed.
    testing::writeFileBytes(dir.file("big"), std::vector<uint8_t>(40000, 7));
    std::string reason;
    {
        testing::ScopedFileSizeLimit nearlyFull(10000);
        EXPECT_FALSE(copyFileAtomically(dir.file("big"), dir.file("copy"), &reason));
    }
    EXPECT_EQ(reason, dir.file("copy") + ": File too large");
    EXPECT_FALSE(copyFileAtomically(dir.file("absent"), dir.file("copy"), &reason));
    EXPECT_EQ(reason, dir.file("absent") + ": No such file or directory");
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"big", "song.mwd"}));
    ASSERT_TRUE(copyFileAtomically(dir.file("big"), dir.file("copy"), &reason, AtomicFile::KeepExisting));
    EXPECT_EQ(testing::readFileBytes(dir.file("copy")), std::vector<uint8_t>(40000, 7));
}

}  // namespace
}  // namespace tunecase
