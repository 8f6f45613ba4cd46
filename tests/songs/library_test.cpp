// The library folder: listing by title, adding with its name-clash refusal, titles of short
// files, and LOAD through the real arranger.
#include "songs/library.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "base/reporter.h"
#include "base/utilities.h"
#include "compose/knowledge_files.h"
#include "midi/midi_f0_data.h"
#include "songs/directory_file_list.h"
#include "songs/song_data.h"
#include "songs/song_sheet.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

namespace fs = std::filesystem;

// A song data file of the current size with `title` at 90401 and `other` at 90145, of four
// measures in 4/4.
void writeSongData(const std::string& path, const std::string& title, const std::string& other = {},
                   size_t size = 121880) {
    std::vector<uint8_t> bytes(size, 0);
    if (size > 90436) bytes[90432] = bytes[90436] = 4;
    for (size_t i = 0; i < title.size() && 90401 + i < size; ++i) bytes[90401 + i] = static_cast<uint8_t>(title[i]);
    for (size_t i = 0; i < other.size() && 90145 + i < size; ++i) bytes[90145 + i] = static_cast<uint8_t>(other[i]);
    testing::writeFileBytes(path, bytes);
}

std::string archiveOf(const testing::TempFolder& program) { return (program.path() / "Archive").string(); }

TEST(LibraryListing, AMissingOrEmptyLibraryListsNothingAndOnlySongDataFilesCount) {
    testing::TempFolder program;
    EXPECT_TRUE(listLibrary(archiveOf(program)).empty());
    EXPECT_FALSE(fs::exists(program.path() / "Archive")) << "listing creates nothing";
    fs::create_directory(program.path() / "Archive");
    EXPECT_TRUE(listLibrary(archiveOf(program)).empty());

    const std::string archive = archiveOf(program);
    writeSongData(archive + "/b.mwd", "\x8F\x74\x82\xCC\x89\xCC");  // 春の歌 in Shift-JIS
    writeSongData(archive + "/A.MWD", "Upper case");
    writeSongData(archive + "/untitled.mwd", "");
    testing::writeFileText(archive + "/notes.txt", "not a song");
    testing::writeFileText(archive + "/song.mwd.bak", "not a song");
    fs::create_directory(archive + "/folder.mwd");
    writeSongData(archive + "/folder.mwd/inner.mwd", "inside");

    const auto entries = listLibrary(archiveOf(program));
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].fileName, "A.MWD");
    EXPECT_EQ(entries[0].title, "Upper case");
    EXPECT_EQ(entries[1].fileName, "b.mwd");
    EXPECT_EQ(entries[1].title, "\x8F\x74\x82\xCC\x89\xCC");
    EXPECT_EQ(entries[2].title, "");
    EXPECT_EQ(findLibraryEntry(entries, "b.mwd"), 1);
    EXPECT_EQ(findLibraryEntry(entries, "B.mwd"), -1);
}

TEST(LibraryListing, ShowsAtMostTwoThousandSongs) {
    testing::TempFolder program;
    const std::string archive = archiveOf(program);
    fs::create_directory(archive);
    for (int i = 0; i < 2001; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/%05d.mwd", i);
        writeSongData(archive + name, std::to_string(i), {}, 90432);
    }
    const auto entries = listLibrary(archiveOf(program));
    ASSERT_EQ(entries.size(), 2000u);
    EXPECT_EQ(entries.back().fileName, "01999.mwd");
    EXPECT_EQ(entries.back().title, "1999");
}

TEST(DirectoryFileList, SubfoldersWithAndWithoutTheirPrefix) {
    testing::TempFolder dir;
    const std::string top = dir.path().string();
    fs::create_directories(dir.path() / "sub" / "deeper");
    for (const char* name : {"a.mwd", "sub/b.Mwd", "sub/deeper/c.mwd", "sub/skip.mid"})
        testing::writeFileText(top + "/" + name, "x");
    fs::create_directory_symlink(top, dir.path() / "sub" / "loop");  // never entered

    EXPECT_EQ(CDirectoryFileList(top, "*.mwd").names(), (std::vector<std::string>{"a.mwd"}));
    EXPECT_EQ(CDirectoryFileList(top, "*.mwd", true, true).names(),
              (std::vector<std::string>{"a.mwd", "sub/b.Mwd", "sub/deeper/c.mwd"}));
    EXPECT_EQ(CDirectoryFileList(top, "*.mwd", true, false).names(),
              (std::vector<std::string>{"a.mwd", "b.Mwd", "c.mwd"}));
    EXPECT_EQ(CDirectoryFileList(top + "/sub", "*.*").names(), (std::vector<std::string>{"b.Mwd", "skip.mid"}));
    EXPECT_EQ(CDirectoryFileList(top + "/nothing", "*.*").count(), 0);
    EXPECT_TRUE(fileNameMatches("s?ng*.m*", "Song-1.mid"));
}

TEST(ReadSongTitle, ReadsTheInformationBlockWithinWhatTheFileHolds) {
    testing::TempFolder dir;
    std::string other;
    writeSongData(dir.file("full.mwd"), "Title", "Other text");
    EXPECT_EQ(readSongTitle(dir.file("full.mwd"), &other), "Title");
    EXPECT_EQ(other, "Other text");

    // A title that fills its field to the end of the block has no NUL: it ends there.
    writeSongData(dir.file("long.mwd"), std::string(40, 'T'));
    EXPECT_EQ(readSongTitle(dir.file("long.mwd")), std::string(31, 'T'));

    // Short files: the part of the title that is there, or nothing.
    writeSongData(dir.file("cut.mwd"), "Title", {}, 90401 + 3);
    EXPECT_EQ(readSongTitle(dir.file("cut.mwd")), "Tit");
    EXPECT_EQ(readSongTitle(dir.file("missing.mwd"), &other), "");
    EXPECT_EQ(other, "");
}

TEST(AddToArchive, CreatesTheLibraryAndRefusesAnyNameAlreadyThere) {
    testing::TempFolder program, outside;
    writeSongData(outside.file("song.mwd"), "First");
    std::string path = outside.file("song.mwd");
    ScopedCapture boxes;
    ASSERT_EQ(addToArchive(archiveOf(program), path), 1);
    EXPECT_EQ(path, archiveOf(program) + "/song.mwd");
    EXPECT_EQ(readSongTitle(path), "First");

    // Same name, other content: refused with the message, the library's copy untouched.
    testing::TempFolder elsewhere;
    writeSongData(elsewhere.file("song.mwd"), "Second");
    path = elsewhere.file("song.mwd");
    EXPECT_EQ(addToArchive(archiveOf(program), path), 0);
    EXPECT_EQ(path, "");
    ASSERT_EQ(boxes->count(), 1u);
    EXPECT_EQ(boxes->visibleTexts()[0], "A song-data file with the same name is already in the library.");
    EXPECT_EQ(readSongTitle(archiveOf(program) + "/song.mwd"), "First");

    // A copy that fails says nothing and leaves nothing.
    path = outside.file("absent.mwd");
    EXPECT_EQ(addToArchive(archiveOf(program), path), 0);
    EXPECT_EQ(path, "");
    EXPECT_EQ(boxes->count(), 1u);
    EXPECT_FALSE(fs::exists(archiveOf(program) + "/absent.mwd"));
}

TEST(AddToArchive, RefusesWhatIsNotASongDataFileAndSaysWhy) {
    testing::TempFolder program, outside;
    const std::string sizes = " is not a song-data file (.mwd): a song-data file is 92,492 bytes, or 94,540 bytes "
                              "or more; this one is ";
    const std::string meter = " is not a song-data file (.mwd): it gives 0 beats to a measure, where a song has 1 to 8.";
    std::vector<uint8_t> noise(100000);
    std::mt19937 random(7);
    for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
    // No measures in the measures field, and none in the information block either.
    std::fill(noise.begin() + 90432, noise.begin() + 90444, 0);
    std::fill(noise.begin() + 90112, noise.begin() + 90124, 0);
    const std::vector<uint8_t> midi = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 0x60,
                                       'M', 'T', 'r', 'k', 0, 0, 0, 4, 0, 0xFF, 0x2F, 0};
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        std::string why;
    };
    const std::vector<Case> cases = {
        {"song.mid", midi, sizes + "26 bytes."},
        {"note.mwd", {'h', 'e', 'l', 'l', 'o', '\n'}, sizes + "6 bytes."},
        {"empty.mwd", {}, sizes + "0 bytes."},
        {"old.mwd", std::vector<uint8_t>(32780, 0), sizes + "32,780 bytes."},
        {"between.mwd", std::vector<uint8_t>(93000, 0), sizes + "93,000 bytes."},
        {"noise.mwd", noise, meter},
        {"zeros.mwd", std::vector<uint8_t>(121880, 0), meter},
    };
    for (const Case& c : cases) {
        testing::writeFileBytes(outside.file(c.name), c.bytes);
        std::string path = outside.file(c.name);
        ScopedCapture boxes;
        EXPECT_EQ(addToArchive(archiveOf(program), path), 0) << c.name;
        EXPECT_EQ(path, "");
        ASSERT_EQ(boxes->count(), 1u) << c.name;
        EXPECT_EQ(boxes->visibleTexts()[0], outside.file(c.name) + c.why);
    }
    // A song under a name the library does not list.
    writeSongData(outside.file("song.dat"), "Hidden");
    std::string path = outside.file("song.dat");
    ScopedCapture boxes;
    EXPECT_EQ(addToArchive(archiveOf(program), path), 0);
    ASSERT_EQ(boxes->count(), 1u);
    EXPECT_EQ(boxes->visibleTexts()[0],
              outside.file("song.dat") + " is not named as a song-data file: the library takes only names ending in .mwd.");
    EXPECT_FALSE(fs::exists(archiveOf(program))) << "nothing was added";

    // The two sizes a song comes in, with its meter, are taken.
    writeSongData(outside.file("small.mwd"), "Small", {}, 92492);
    writeSongData(outside.file("full.MWD"), "Full");
    for (const char* name : {"small.mwd", "full.MWD"}) {
        path = outside.file(name);
        EXPECT_EQ(addToArchive(archiveOf(program), path), 1) << name;
    }
    EXPECT_EQ(listLibrary(archiveOf(program)).size(), 2u);
    EXPECT_EQ(boxes->count(), 1u);
}

// The sample library's sheets live beside the knowledge files.
std::string programDataFolder() { return std::string(TUNECASE_TEST_DATA) + "/../../data"; }

TEST(LibraryLoad, ArrangesALibrarySongIntoTheCallersPathAndGivesItsTitle) {
    testing::TempFolder program, out;
    std::vector<uint8_t> sheet = testing::readFileBytes(programDataFolder() + "/songs/ode_to_joy.txt");
    std::vector<SheetError> errors;
    auto song = parseSongSheet(std::string(sheet.begin(), sheet.end()), errors);
    ASSERT_TRUE(song) << describeSheetErrors("ode_to_joy.txt", errors);
    fs::create_directory(archiveOf(program));
    ASSERT_TRUE(song->saveFile(archiveOf(program) + "/ode.mwd"));
    const std::string listed = listLibrary(archiveOf(program)).at(0).title;

    ScopedCapture boxes;
    SetKnowledgeFolder(programDataFolder());
    std::string title = "unchanged";
    const std::string output = out.file("arranged.mid");
    EXPECT_TRUE(loadLibrarySong(archiveOf(program), "ode.mwd", output, title, defaultSongArranger()));
    SetKnowledgeFolder({});
    EXPECT_EQ(title, listed);
    EXPECT_FALSE(title.empty());
    auto arranged = MidiF0Data::openFile(output);
    ASSERT_TRUE(arranged->isLoaded());
    EXPECT_GT(arranged->track()->eventCount(), 10);

    // A failed arrangement leaves the title alone.
    EXPECT_FALSE(loadLibrarySong(archiveOf(program), "gone.mwd", out.file("x.mid"), title, defaultSongArranger()));
    EXPECT_EQ(title, listed);
}

}  // namespace
}  // namespace tunecase
