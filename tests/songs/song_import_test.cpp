#include "songs/song_import.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>

#include "base/reporter.h"
#include "songs/song_list.h"
#include "base/utilities.h"
#include "midi/midi_f0_data.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

TEST(NewSongPath, IsAUtcTimeStampInTheFolderAndNeverAnExistingFile) {
    testing::TempFolder dir;
    const std::string first = newSongPath(dir.path().string());
    EXPECT_TRUE(std::regex_match(fileNamePart(first), std::regex(R"(\d{4}-\d{1,2}-\d{1,2}-\d{1,2}-\d{1,2}-\d{1,2}-\d{1,3}\.mid)")))
        << first;
    EXPECT_EQ(first.substr(0, dir.path().string().size() + 1), dir.path().string() + "/");
    testing::writeFileText(first, "taken");
    for (int i = 0; i < 5; ++i) {
        const std::string next = newSongPath(dir.path().string());
        EXPECT_FALSE(folderExists(next)) << next;
        testing::writeFileText(next, "taken");
    }
}

TEST(AddSongToList, AFullListSaysSoAndKeepsEverything) {
    SongList list = emptySongList();
    for (int i = 0; i < 99; ++i) ASSERT_TRUE(addSongToList(list, "/s/" + std::to_string(i), "t"));
    ScopedCapture cap;
    EXPECT_FALSE(addSongToList(list, "/s/x", "x"));
    ASSERT_EQ(cap->count(), 1u);
    EXPECT_EQ(cap->visibleTexts()[0], "The song list is full.");
    EXPECT_EQ(list.count, 99);
}

// A song with a drum channel, programs, bends, controllers, tempo changes and a name.
std::string writeRichSong(const testing::TempFolder& dir, bool named) {
    auto song = MidiF0Data::newSong();
    song->setDivision(480);
    MidiTrackData& t = *song->track();
    if (named) t.insertMetaTextAtStart(0x03, "Little Waltz");
    t.addTempo(400000);
    t.addProgramChange(0, 40);
    t.addProgramChange(1, 0);
    t.addControlChange(0, 7, 100);
    t.addNote(9, 0, 36, 100, 120);   // drums
    t.addNote(0, 240, 60, 100, 480);
    t.addNote(1, 0, 48, 90, 480);
    auto bend = std::make_unique<MidiEvent>(120);
    bend->status = ev::PitchBend;
    bend->channel = 0;
    bend->setPitchBendValue(9000);
    t.appendEvent(std::move(bend));
    t.addTempo(300000);
    t.addNote(0, 360, 62, 100, 2);  // shorter than a tick at 96: stays 1 tick long
    t.ensureEndOfTrack(480);
    const std::string path = dir.file(named ? "rich.mid" : "unnamed.mid");
    EXPECT_EQ(song->saveFile(path), 1);
    return path;
}

TEST(ImportMidiFile, MakesAPlainMusicBoxSongAt96TicksWithOneTempo) {
    testing::TempFolder dir;
    const std::string source = writeRichSong(dir, true);
    ScopedCapture cap;
    ImportedSong imported = importMidiFile(source, dir.path().string());
    ASSERT_TRUE(imported.ok);
    EXPECT_EQ(imported.title, "Little Waltz");
    auto song = MidiF0Data::openFile(imported.path);
    ASSERT_TRUE(song->isLoaded());
    EXPECT_EQ(song->division(), 96);
    int tempos = 0, notes = 0;
    std::map<int, int> programs;
    for (int i = 0; i < song->track()->eventCount(); ++i) {
        const MidiEvent& e = *song->track()->event(i);
        EXPECT_NE(e.status, ev::PitchBend);
        EXPECT_NE(e.status, ev::ControlChange);
        if (e.status == ev::Meta && e.type == meta::Tempo) {
            ++tempos;
            EXPECT_EQ(e.value, 500000);
        }
        if (e.status == ev::ProgramChange) programs[e.channel] = e.value;
        if (e.status == ev::Note) {
            ++notes;
            EXPECT_NE(e.channel, 9);
            EXPECT_GE(e.duration, 1);
        }
    }
    EXPECT_EQ(tempos, 1);
    EXPECT_EQ(notes, 3);
    EXPECT_EQ(programs, (std::map<int, int>{{0, 10}, {1, 10}}));
    // The first notes start half a beat in: 240 ticks at 480 is 48 at 96.
    EXPECT_EQ(song->track()->timeOf(song->track()->firstNoteIndex()), 48);
}

TEST(ImportMidiFile, TitleFallsBackToTheFileNameAndBadFilesFail) {
    testing::TempFolder dir;
    const std::string source = writeRichSong(dir, false);
    ImportedSong imported = importMidiFile(source, dir.path().string());
    ASSERT_TRUE(imported.ok);
    EXPECT_EQ(imported.title, "unnamed.mid");

    testing::writeFileText(dir.file("junk.mid"), "MThd but not really");
    ScopedCapture cap;
    ImportedSong bad = importMidiFile(dir.file("junk.mid"), dir.path().string());
    EXPECT_FALSE(bad.ok);
    EXPECT_GE(cap->count(), 1u);
}

}  // namespace
}  // namespace tunecase
