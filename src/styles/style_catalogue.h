// The built-in catalogue of musical styles: 9 categories of 24 slots, each slot one
// complete CompositionParameters record.
//
// Slot 0 of every category is that category's random style (only its name, description and
// randomCategory differ from the defaults, and it has no measure table). The slots after it
// hold the named styles; the rest hold records that went through initParameters and
// finishStyle only (empty name, "No music style is defined.").
//
// The table is rebuilt in full before every use, category by category and slot by slot.
// Every record draws a fresh rhythm motif from the C library generator, so the seed and the
// fill order decide every motif: the same seed gives the same table.
#pragma once

#include "styles/composition_parameters.h"

namespace tunecase {

inline constexpr int kStyleCategories = 9;
inline constexpr int kStyleSlots = 24;

// The one style this program composes and arranges in.
inline constexpr int kMusicBoxCategory = 7;
inline constexpr int kMusicBoxSlot = 1;

// styleTable[category][slot]; overwritten in full by every build.
extern CompositionParameters styleTable[kStyleCategories][kStyleSlots];

// The category's name ("Pops(World)" .. "Techno"); "" outside 0..8.
const char* styleCategoryName(int category);

// Fills all 216 slots in order from the generator's current state.
void buildStyleTable();

// What the composer and the arranger do before every run (and the preview page when it
// opens): seed the C library generator with `seed` (callers pass the time in seconds, or
// the seed the song was asked for), build the whole table, then apply
// styleTable[category][slot] to currentParameters, which also selects the knowledge file
// names for it. Returns 1; 0 when the slot is outside the table, in which case the table
// is still rebuilt but currentParameters is left as it was.
int rebuildAndApplyStyle(unsigned seed, int category = kMusicBoxCategory, int slot = kMusicBoxSlot);

}  // namespace tunecase
