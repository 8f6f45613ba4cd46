// The melody generator: fills every chord of a chord block with notes, joins the blocks in
// form order into the song's melody, closes it with an ending, and derives a second line
// that mirrors it.
//
// A block melody list holds, for each chord, its chord entry and then notes (rests are
// notes of pitch 0) that fill the chord exactly, possibly with program changes before the
// chord; the walk of one chord may reach 48 ticks into the next (rhythm mode 9's push
// across the bar line), which the next chord's walk then gives back.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "compose/compose_errors.h"
#include "compose/compose_information.h"
#include "compose/engine_constants.h"
#include "compose/melody_settings.h"

namespace tunecase {

struct ComposeContext;

using BlockLists = std::array<EventList, kMaxBlocks>;

// A block that has failed this often ends the composition (reported 0xff0101ab).
inline constexpr int kMaxBlockFailures = 3 * kTriesPerBlock;

// The closing chord every melodic part ends on, and its length.
inline constexpr const char* kClosingChordCode = "CMPS";
inline constexpr int kClosingChordTicks = 768;

// Makes the melody of block `blockIndex` for `part` over `chords` into `melody` (cleared
// first). Returns 1, or 0 when a chord's first note fell outside the part's range (the
// caller tries again).
int GenerateBlockMelody(ComposeContext& ctx, int blockIndex, int part, const EventList& chords, EventList& melody);

// Runs the generator for every block of the song into `lists` until each block succeeds.
// From the block after the middle on, rhythm mode 2 plays as mode 1 (restored after). After
// every kTriesPerBlock failures of one block `everyThousandCode` is reported; after
// kMaxBlockFailures the block is given up: 0xff0101ab is reported and 0 returned.
int PlaceBlockMelodies(ComposeContext& ctx, int part, BlockLists& lists, uint32_t everyThousandCode);

// The melody of the song (part 1) into ctx.information.blockMelodies, with the general
// message after every thousand failures.
int PlaceMelodies(ComposeContext& ctx, int part);

// Joins the block lists in form order into `song` (cleared first) and clears the block
// lists. A form entry below 1 reports 0xff0101ad. Returns the pitch of the last note (0 when
// it is a rest or there is none).
int FlattenBlocks(const ComposeContext& ctx, BlockLists& blocks, EventList& song);

// Moves each melody note more than an octave from the one before it an octave nearer, when the
// part's range allows (blocks are made apart, so their joins are not bounded otherwise).
void CloseJoinLeaps(const ComposeContext& ctx, int part, EventList& song);

// The pitch of the song's last note entry (0 when it is a rest or there is none).
int LastPitch(const EventList& song);

// Appends the closing chord and the closing notes of `part` to `song`. A last pitch outside
// 24 .. 127 is replaced by the tonic near the middle of the part's range. Nothing but the
// chord with progression method 8. Parts other than the melody end on one 192-tick tonic.
// The melody runs from its last pitch over the tonic chord's tones and ends on the tonic
// (effect setting 1: one of two closing figures), its last note on a half-bar line of the song.
// Every closing note lies in the part's range; notes longer than the closing chord report
// 0xff0101b5 and are shortened.
void AppendEnding(ComposeContext& ctx, int part, EventList& song, int lastPitch);

// The two closing figures of effect setting 1, as (length, pitch) pairs around the tonic
// `tonic`: a falling tonic arpeggio, or a turn around the tonic.
std::vector<std::array<int, 2>> ClosingFigure(const ComposeContext& ctx, int figure, int tonic);

// Builds ctx.information.blockSecondLines from the block melodies: chord entries copied,
// every note mirrored around a rising axis below the melody, rests kept (or held through
// with the part's second-line setting 2).
void DeriveSecondLine(ComposeContext& ctx, int part);

// Appends to `secondLine` the mirror of the melody's ending (the entries of `melody` from its
// last chord entry on).
void AppendSecondLineEnding(ComposeContext& ctx, int part, const EventList& melody, EventList& secondLine);

// The lengths of an ornament group of `count` notes in units of `unit` adding up to `total`:
// drawn one by one (each leaving at least one unit for every note after it), drawn again up
// to 100 times until they add up. False when they never do.
bool OrnamentLengths(ComposeContext& ctx, int total, int unit, int count, std::vector<int>& lengths);

}  // namespace tunecase
