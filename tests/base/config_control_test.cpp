#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "base/config_control.h"
#include "base/reporter.h"
#include "base/utilities.h"
#include "base/records.h"
#include "songs/song_list.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

using testing::TempFolder;
using testing::readFileBytes;
using testing::writeFileBytes;

int32_t int32At(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<int32_t>(uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 |
                                uint32_t{b[at + 3]} << 24);
}

std::vector<uint8_t> patternBytes(size_t n) {
    std::vector<uint8_t> b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 7 + 3);
    return b;
}

TEST(PlayerSettingsOnDisk, FieldsSitAtTheirLittleEndianOffsets) {
    TempFolder dir;
    const auto path = dir.file("setup.ini");
    PlayerSettings defaults = defaultPlayerSettings();
    PlayerSettings s;
    {
        CConfigControl control(path, &s, sizeof s, &defaults);
        s.deleteShortNoteChannel = 0;
        s.deleteLongNoteChannel = 1;
        s.plateType = PlatePaper;
        ASSERT_TRUE(setFieldText(s.dataFolder, sizeof s.dataFolder, "/home/u/Music"));
        s.speedPercent = 0x01020396;
    }  // the destructor saves
    auto bytes = readFileBytes(path);
    ASSERT_EQ(bytes.size(), 276u);
    EXPECT_EQ(int32At(bytes, 0), 0);
    EXPECT_EQ(int32At(bytes, 4), 1);
    EXPECT_EQ(int32At(bytes, 8), 263);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[12])), "/home/u/Music");
    EXPECT_EQ(bytes[272], 0x96);
    EXPECT_EQ(bytes[275], 0x01);
}

TEST(SongListOnDisk, EntriesAndCurrentIndexSitAtTheirOffsets) {
    TempFolder dir;
    const auto path = dir.file("mbox.lst");
    const SongList empty = emptySongList();
    SongList list;
    {
        CConfigControl control(path, &list, sizeof list, &empty);
        ASSERT_TRUE(insertOrAppend(list, "/m/a.mid", "Alpha"));
        ASSERT_TRUE(insertOrAppend(list, "/m/b.mid", "Beta"));
        list.currentIndex = 1;
        EXPECT_EQ(control.save(), 1);
    }
    auto bytes = readFileBytes(path);
    ASSERT_EQ(bytes.size(), 51608u);
    EXPECT_EQ(int32At(bytes, 0), 2);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[4])), "Alpha");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[4 + 256])), "/m/a.mid");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[4 + 516])), "Beta");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[4 + 516 + 256])), "/m/b.mid");
    EXPECT_EQ(int32At(bytes, 51604), 1);
    for (size_t i = 4 + 2 * 516; i < 51604; ++i) ASSERT_EQ(bytes[i], 0) << "at " << i;
}

TEST(ConfigLoading, ExactAndLongerFilesLoadTheirFirstBytesSilently) {
    TempFolder dir;
    const PlayerSettings defaults = defaultPlayerSettings();
    for (size_t length : {size_t{276}, size_t{300}}) {
        const auto path = dir.file("setup" + std::to_string(length) + ".ini");
        auto bytes = patternBytes(length);
        writeFileBytes(path, bytes);
        ScopedCapture cap;
        PlayerSettings s;
        {
            CConfigControl control(path, &s, sizeof s, &defaults);
            EXPECT_EQ(std::memcmp(&s, bytes.data(), sizeof s), 0);
            EXPECT_EQ(cap->count(), 0u);
        }
        // Saving writes the record back: the file is cut to exactly the record.
        EXPECT_EQ(readFileBytes(path), std::vector<uint8_t>(bytes.begin(), bytes.begin() + 276));
    }
}

TEST(ConfigLoading, ShortFileShowsTheInitialisedBoxAndUsesDefaults) {
    TempFolder dir;
    const auto path = dir.file("setup.ini");
    writeFileBytes(path, patternBytes(275));
    const PlayerSettings defaults = defaultPlayerSettings();
    ScopedCapture cap;
    PlayerSettings s;
    CConfigControl control(path, &s, sizeof s, &defaults);
    ASSERT_EQ(cap->count(), 1u);
    EXPECT_EQ(cap->visibleTexts()[0], "A settings file was incomplete, so it was reset to its defaults.");
    EXPECT_EQ(cap->reports()[0].kind, BoxKind::Ok);
    EXPECT_EQ(s.plateType, 261);
    EXPECT_EQ(s.speedPercent, 100);
    EXPECT_EQ(s.deleteShortNoteChannel, 1);
    EXPECT_EQ(s.deleteLongNoteChannel, 1);
    EXPECT_EQ(s.dataFolder[0], 0);
}

TEST(ConfigLoading, MissingFileUsesDefaultsSilently) {
    TempFolder dir;
    const SongList empty = emptySongList();
    SongList list;
    std::memset(&list, 0xAB, sizeof list);
    ScopedCapture cap;
    CConfigControl control(dir.file("mbox.lst"), &list, sizeof list, &empty);
    EXPECT_EQ(cap->count(), 0u);
    EXPECT_EQ(std::memcmp(&list, &empty, sizeof list), 0);
}

TEST(ConfigLoading, SomethingUnreadableAtThePathReportsItAndUsesDefaults) {
    TempFolder dir;
    const auto path = dir.file("setup.ini");
    ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);  // a folder where the file should be
    const PlayerSettings defaults = defaultPlayerSettings();
    ScopedCapture cap;
    PlayerSettings s;
    std::memset(&s, 0xEE, sizeof s);
    {
        CConfigControl control(path, &s, sizeof s, &defaults);
        ASSERT_GE(cap->count(), 1u);
        EXPECT_EQ(cap->visibleTexts()[0], "GENE01000007 Cant open file! [" + path + "]");
        EXPECT_EQ(s.speedPercent, 100);
        cap->clear();
        // Saving cannot replace a folder: reported, and the folder is left alone.
        EXPECT_EQ(control.save(), 0);
        ASSERT_EQ(cap->count(), 1u);
        EXPECT_EQ(cap->visibleTexts()[0], "GENE01000007 Cant open file! [" + path + "]");
    }
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
}

TEST(ConfigSaving, FailedSaveLeavesTheOldFileWholeAndNoTemporaryBehind) {
    // A folder that does not exist fails even for root, who ignores permissions.
    TempFolder dir;
    const auto missingFolderPath = dir.file("no-such-folder/setup.ini");
    const PlayerSettings defaults = defaultPlayerSettings();
    PlayerSettings s;
    ScopedCapture cap;
    {
        CConfigControl control(missingFolderPath, &s, sizeof s, &defaults);
        EXPECT_EQ(control.save(), 0);
    }
    // Two failures: the explicit save and the one in the destructor.
    EXPECT_EQ(cap->count(), 2u);

    const auto path = dir.file("setup.ini");
    auto original = patternBytes(276);
    writeFileBytes(path, original);
    {
        CConfigControl control(path, &s, sizeof s, &defaults);
        s.speedPercent = 77;
        EXPECT_EQ(control.save(), 1);
    }
    auto saved = readFileBytes(path);
    ASSERT_EQ(saved.size(), 276u);
    EXPECT_EQ(int32At(saved, 272), 77);
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos);
}

}  // namespace
}  // namespace tunecase
