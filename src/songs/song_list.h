// Operations on the in-memory song list. None of them writes the file; the list is saved
// at shutdown through its ConfigControl.
#pragma once

#include <string>
#include <string_view>

#include "base/records.h"

namespace tunecase {

// An all-zero (empty) list.
SongList emptySongList();

// Brings a loaded record back inside its invariants: count into 0..99, currentIndex into
// the list (0 when empty or out of range), every slot from count on zeroed, and every
// title and path NUL-terminated inside its field. Returns true when anything changed.
bool normaliseSongList(SongList& list);

// The current entry. Only meaningful when count > 0; always a valid slot.
SongEntry& currentEntry(SongList& list);
const SongEntry& currentEntry(const SongList& list);

// Removes entry `index` (0 <= index < count): later entries move down, the freed slot is
// zeroed, count drops by one, and currentIndex falls back to 0 if it no longer names a
// song. Returns false (and changes nothing) for an index outside the list.
bool removeEntry(SongList& list, int index);

// Next song, wrapping to 0 after the last. Holds 0 on an empty list.
void stepForward(SongList& list);

// Previous song, wrapping to the last from 0. Holds 0 on an empty list.
void stepBack(SongList& list);

// Makes the last song current (after an append). Holds 0 on an empty list.
void selectLast(SongList& list);

// Inserts a song at `at` (entries at..count-1 move up) or appends it when `at` is -1 or
// count. Refuses (returns false, nothing changed) when the list already holds 99 songs,
// when `at` is outside 0..count, or when the title or path does not fit its field.
bool insertOrAppend(SongList& list, std::string_view path, std::string_view title, int at = -1);

}  // namespace tunecase
