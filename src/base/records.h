// The two records kept raw on disk: the player settings (setup.ini) and the song list
// (mbox.lst). Both are stored byte for byte, little-endian, with no header; the layouts
// below are fixed by the files users already have and must never change.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "base/plate_types.h"

namespace tunecase {

static_assert(sizeof(int32_t) == 4 && sizeof(char) == 1);

inline constexpr size_t kTitleBytes = 256;
inline constexpr size_t kPathBytes = 260;

// setup.ini: 276 bytes.
struct PlayerSettings {
    int32_t deleteShortNoteChannel;  // 1: drop channels whose notes are short on average
    int32_t deleteLongNoteChannel;   // 1: drop channels whose notes are long on average
    int32_t plateType;               // a PlateType code
    char dataFolder[kPathBytes];     // NUL-terminated; no trailing separator except the root
    int32_t speedPercent;            // kSpeedMinPercent..kSpeedMaxPercent
};

// The speed the player can play at, as the speed slider offers it.
inline constexpr int32_t kSpeedMinPercent = 50;
inline constexpr int32_t kSpeedMaxPercent = 150;

static_assert(std::is_standard_layout_v<PlayerSettings> && std::is_trivially_copyable_v<PlayerSettings>);
static_assert(sizeof(PlayerSettings) == 276);
static_assert(offsetof(PlayerSettings, deleteShortNoteChannel) == 0);
static_assert(offsetof(PlayerSettings, deleteLongNoteChannel) == 4);
static_assert(offsetof(PlayerSettings, plateType) == 8);
static_assert(offsetof(PlayerSettings, dataFolder) == 12);
static_assert(offsetof(PlayerSettings, speedPercent) == 272);

// The settings of a fresh installation: both deletions on, Large Disk, 100 %, no folder.
PlayerSettings defaultPlayerSettings();

// One song of the list: 516 bytes.
struct SongEntry {
    char title[kTitleBytes];  // NUL-terminated Shift-JIS (or UTF-8) title as stored
    char path[kPathBytes];    // NUL-terminated full path of the song file
};

static_assert(std::is_standard_layout_v<SongEntry> && std::is_trivially_copyable_v<SongEntry>);
static_assert(sizeof(SongEntry) == 516);
static_assert(offsetof(SongEntry, title) == 0);
static_assert(offsetof(SongEntry, path) == 256);

inline constexpr int kSongSlots = 100;
inline constexpr int kMaxSongs = 99;  // slot 99 always stays zero

// mbox.lst: 51,608 bytes.
struct SongList {
    int32_t count;                  // songs in the list, 0..99
    SongEntry entries[kSongSlots];  // dense below count; zero bytes from count on
    int32_t currentIndex;           // 0 <= currentIndex < count, or 0 when empty
};

static_assert(std::is_standard_layout_v<SongList> && std::is_trivially_copyable_v<SongList>);
static_assert(sizeof(SongList) == 51608);
static_assert(offsetof(SongList, count) == 0);
static_assert(offsetof(SongList, entries) == 4);
static_assert(offsetof(SongList, currentIndex) == 51604);

}  // namespace tunecase
