// The built-in catalogue of musical styles: 9 categories of 24 slots, each slot one
// complete CompositionParameters record.
//
// Slot 0 of every category is that category's random style (only its name, description and
// randomCategory differ from the defaults, and it has no measure table). The slots after it
// hold the named styles; the rest hold records that went through initParameters and
// finishStyle only (empty name, "No music style is defined.").
//
// The table is rebuilt in full before every use, category by category and slot by slot.
// Every record draws a fresh rhythm motif from the composition's generator, so the seed and
// the fill order decide every motif: the same seed gives the same table.
#pragma once

#include <array>
#include <memory>
#include <span>
#include <string_view>

#include "styles/composition_parameters.h"

namespace tunecase {

class SeededRandom;
struct KnowledgeNames;

inline constexpr int kStyleCategories = 9;
inline constexpr int kStyleSlots = 24;

// The one style this program composes and arranges in.
inline constexpr int kMusicBoxCategory = 7;
inline constexpr int kMusicBoxSlot = 1;

// A style a user may compose in: where it sits in the table and what it says about itself.
struct ComposableStyle {
    int category = 0;
    int slot = 0;
    const char* name = "";
    const char* description = "";
    int meter = 0;            // its own meter: 0 = 4/4, 1 = 3/4
    int tempo = 0;            // its own tempo, microseconds per quarter note
    bool eitherMeter = true;  // written for both 4/4 and 3/4, not only its own
};

// "Music Box" first (the default), then the music-box styles of our own, in table order.
std::span<const ComposableStyle> composableStyles();
// The composable style of that name, without regard to case; nullptr when there is none.
const ComposableStyle* findComposableStyle(std::string_view name);

// table[category][slot]: 216 records, about 4.9 MB.
using StyleTable = std::array<std::array<CompositionParameters, kStyleSlots>, kStyleCategories>;

// The category's name ("Pops(World)" .. "Techno"); "" outside 0..8.
const char* styleCategoryName(int category);

// Fills all 216 slots in order from the generator's current state.
std::unique_ptr<StyleTable> buildStyleTable(SeededRandom& random);

// What the composer and the arranger do before every run (and the preview page when it
// opens): seed `random` with `seed` (callers pass the time in seconds, or the seed the song
// was asked for), build the whole table, then apply table[category][slot] to `current`,
// which also selects the knowledge file names for it into `names`. Returns 1; 0 when the
// slot is outside the table, in which case every slot is still built (the generator moves
// on as far) but `current` and `names` are left as they were. Only the chosen record is
// kept.
int rebuildAndApplyStyle(SeededRandom& random, unsigned seed, CompositionParameters& current, KnowledgeNames& names,
                         int category = kMusicBoxCategory, int slot = kMusicBoxSlot);

}  // namespace tunecase
