#include "songs/song_list.h"

#include <cstring>

namespace tunecase {

SongList emptySongList() {
    SongList list;
    std::memset(&list, 0, sizeof list);
    return list;
}

bool normaliseSongList(SongList& list) {
    bool changed = false;
    if (list.count < 0 || list.count > kMaxSongs) {
        list.count = list.count < 0 ? 0 : kMaxSongs;
        changed = true;
    }
    if (list.currentIndex < 0 || (list.count > 0 && list.currentIndex >= list.count) ||
        (list.count == 0 && list.currentIndex != 0)) {
        list.currentIndex = 0;
        changed = true;
    }
    static const SongEntry zero{};
    for (int i = 0; i < kSongSlots; ++i) {
        SongEntry& e = list.entries[i];
        if (i >= list.count) {
            if (std::memcmp(&e, &zero, sizeof e) != 0) {
                e = zero;
                changed = true;
            }
            continue;
        }
        if (e.title[kTitleBytes - 1] != 0) {
            e.title[kTitleBytes - 1] = 0;
            changed = true;
        }
        if (e.path[kPathBytes - 1] != 0) {
            e.path[kPathBytes - 1] = 0;
            changed = true;
        }
    }
    return changed;
}

SongEntry& currentEntry(SongList& list) {
    int i = list.currentIndex;
    if (i < 0 || i >= kSongSlots) i = 0;
    return list.entries[i];
}

const SongEntry& currentEntry(const SongList& list) {
    return currentEntry(const_cast<SongList&>(list));
}

bool removeEntry(SongList& list, int index) {
    if (list.count <= 0 || list.count > kMaxSongs || index < 0 || index >= list.count) return false;
    for (int i = index; i + 1 < list.count; ++i) list.entries[i] = list.entries[i + 1];
    std::memset(&list.entries[list.count - 1], 0, sizeof(SongEntry));
    --list.count;
    if (list.currentIndex >= list.count || list.currentIndex < 0) list.currentIndex = 0;
    return true;
}

void stepForward(SongList& list) {
    if (list.count <= 0) {
        list.currentIndex = 0;
        return;
    }
    ++list.currentIndex;
    if (list.currentIndex >= list.count || list.currentIndex < 0) list.currentIndex = 0;
}

void stepBack(SongList& list) {
    if (list.count <= 0) {
        list.currentIndex = 0;
        return;
    }
    --list.currentIndex;
    if (list.currentIndex < 0 || list.currentIndex >= list.count) list.currentIndex = list.count - 1;
}

void selectLast(SongList& list) { list.currentIndex = list.count > 0 ? list.count - 1 : 0; }

bool insertOrAppend(SongList& list, std::string_view path, std::string_view title, int at) {
    if (list.count < 0 || list.count >= kMaxSongs) return false;
    if (at == -1) at = list.count;
    if (at < 0 || at > list.count) return false;
    if (title.size() >= kTitleBytes || path.size() >= kPathBytes) return false;
    for (int i = list.count; i > at; --i) list.entries[i] = list.entries[i - 1];
    SongEntry& e = list.entries[at];
    std::memset(&e, 0, sizeof e);
    std::memcpy(e.title, title.data(), title.size());
    std::memcpy(e.path, path.data(), path.size());
    ++list.count;
    return true;
}

}  // namespace tunecase
