#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "songs/song_list.h"
#include "base/utilities.h"

namespace tunecase {
namespace {

SongList listOf(int n) {
    SongList list = emptySongList();
    for (int i = 0; i < n; ++i)
        EXPECT_TRUE(insertOrAppend(list, "/m/" + std::to_string(i) + ".mid", "Song " + std::to_string(i)));
    return list;
}

std::string titleAt(const SongList& list, int i) { return fieldText(list.entries[i].title, kTitleBytes); }

TEST(SongListRemove, RemovingTheOnlyEntryEmptiesTheList) {
    SongList list = listOf(1);
    ASSERT_TRUE(removeEntry(list, 0));
    EXPECT_EQ(list.count, 0);
    EXPECT_EQ(list.currentIndex, 0);
    const SongList empty = emptySongList();
    EXPECT_EQ(std::memcmp(&list, &empty, sizeof list), 0);
}

TEST(SongListRemove, CurrentIndexRulesAfterRemoval) {
    SongList list = listOf(4);
    list.currentIndex = 3;
    ASSERT_TRUE(removeEntry(list, 3));  // the last one, while current
    EXPECT_EQ(list.currentIndex, 0);
    EXPECT_EQ(list.count, 3);

    list.currentIndex = 2;
    ASSERT_TRUE(removeEntry(list, 0));  // count drops to 2, so index 2 falls back to 0
    EXPECT_EQ(list.currentIndex, 0);
    EXPECT_EQ(list.count, 2);
    EXPECT_EQ(titleAt(list, 0), "Song 1");
    EXPECT_EQ(titleAt(list, 1), "Song 2");
    for (char c : list.entries[2].title) ASSERT_EQ(c, 0);

    SongList five = listOf(5);
    five.currentIndex = 3;
    ASSERT_TRUE(removeEntry(five, 1));
    EXPECT_EQ(five.currentIndex, 3);
    EXPECT_EQ(titleAt(five, 3), "Song 4");

    EXPECT_FALSE(removeEntry(five, 4));
    EXPECT_FALSE(removeEntry(five, -1));
    EXPECT_EQ(five.count, 4);
}

TEST(SongListStepping, WrapsBothWaysAndHoldsZeroWhenEmpty) {
    SongList list = listOf(3);
    list.currentIndex = 2;
    stepForward(list);
    EXPECT_EQ(list.currentIndex, 0);
    stepBack(list);
    EXPECT_EQ(list.currentIndex, 2);
    stepBack(list);
    EXPECT_EQ(list.currentIndex, 1);
    selectLast(list);
    EXPECT_EQ(list.currentIndex, 2);

    SongList empty = emptySongList();
    stepForward(empty);
    EXPECT_EQ(empty.currentIndex, 0);
    stepBack(empty);
    EXPECT_EQ(empty.currentIndex, 0);
    selectLast(empty);
    EXPECT_EQ(empty.currentIndex, 0);
}

TEST(SongListInsert, InsertsAtSelectionAppendsOtherwiseAndRefusesThe100thSong) {
    SongList list = listOf(3);
    ASSERT_TRUE(insertOrAppend(list, "/m/new.mid", "New", 1));
    EXPECT_EQ(list.count, 4);
    EXPECT_EQ(titleAt(list, 0), "Song 0");
    EXPECT_EQ(titleAt(list, 1), "New");
    EXPECT_EQ(titleAt(list, 2), "Song 1");
    EXPECT_EQ(titleAt(list, 3), "Song 2");
    EXPECT_FALSE(insertOrAppend(list, "/m/x.mid", "X", 9));

    SongList full = listOf(99);
    EXPECT_FALSE(insertOrAppend(full, "/m/x.mid", "X"));
    EXPECT_EQ(full.count, 99);
    for (char c : full.entries[99].path) ASSERT_EQ(c, 0);

    SongList one = emptySongList();
    EXPECT_FALSE(insertOrAppend(one, std::string(260, 'p'), "too long path"));
    EXPECT_FALSE(insertOrAppend(one, "/ok.mid", std::string(256, 't')));
    EXPECT_TRUE(insertOrAppend(one, std::string(259, 'p'), std::string(255, 't')));
    EXPECT_EQ(fieldText(one.entries[0].path, kPathBytes).size(), 259u);
}

TEST(SongListNormalise, OutOfRangeRecordsComeBackInsideTheSlots) {
    SongList list = listOf(2);
    list.count = 1000;
    list.currentIndex = -7;
    EXPECT_TRUE(normaliseSongList(list));
    EXPECT_EQ(list.count, 99);
    EXPECT_EQ(list.currentIndex, 0);
    stepBack(list);
    EXPECT_EQ(list.currentIndex, 98);
    EXPECT_EQ(&currentEntry(list), &list.entries[98]);

    SongList negative = listOf(2);
    negative.count = -3;
    negative.currentIndex = 5;
    EXPECT_TRUE(normaliseSongList(negative));
    EXPECT_EQ(negative.count, 0);
    EXPECT_EQ(negative.currentIndex, 0);
    // slots past count are cleared, so the empty list is all zero bytes again
    const SongList empty = emptySongList();
    EXPECT_EQ(std::memcmp(&negative, &empty, sizeof empty), 0);

    SongList unterminated = listOf(1);
    std::memset(unterminated.entries[0].title, 'x', kTitleBytes);
    std::memset(unterminated.entries[0].path, 'y', kPathBytes);
    EXPECT_TRUE(normaliseSongList(unterminated));
    EXPECT_EQ(titleAt(unterminated, 0).size(), kTitleBytes - 1);

    SongList sound = listOf(3);
    sound.currentIndex = 2;
    EXPECT_FALSE(normaliseSongList(sound));
    EXPECT_EQ(sound.currentIndex, 2);
}

}  // namespace
}  // namespace tunecase
