// The pattern generators behind the accompaniment parts. Each walks the song chord sequence
// (or, for the drums, the structure marks) from `start` on and writes its notes through a
// PartWriter; every chord is filled exactly: no note of a chord starts after the chord's
// end, and the next chord starts where the durations say.
//
// Most kinds are figures written as text over one 4/4 measure, one symbol per grid step:
//   chord parts   C chord (third, fifth, seventh; the root for a missing seventh or when the
//                 bass is silent)  K root and chord  P root and fifth  R root  T third
//                 F fifth  S seventh  U root + 12  V third + 12  W fifth + 12  L root - 12
//   bass parts    B bass  O bass + 12  F fifth  T third  S seventh  X sixth  H bass - 1
//                 A a semitone below the next chord's bass
//   both          - the note before goes on sounding  . silence
// A lower-case letter plays softer. A figure restarts at every chord and at every measure
// inside a chord; in 3/4 and 7/8 the measure is read up to its length; with the triplet feel
// each half beat sounds its first note long-short (on the beat and on the beat's last
// triplet); in 3/4 with the dotted-quarter beat each dotted quarter reads one half of the
// 4/4 figure, in thirds. A note lasts until the next symbol that is not "-", less 2 ticks.
#pragma once

#include <cstdint>
#include <vector>

#include "compose/chords.h"
#include "compose/compose_information.h"
#include "compose/part_writer.h"

namespace tunecase {

struct ComposeContext;

struct Figure {
    int grid;             // ticks per symbol: 24, 32 or 48
    const char* symbols;  // one 4/4 measure
    int velocity;         // of an upper-case symbol; lower case plays 3/4 of it
};

// Where the symbols of a figure sound in a stretch of `length` ticks (at most one measure)
// under the current meter and feel: (offset, symbol), silences included, in time order.
// With `sounding`, a stretch too short for any of the figure's notes plays its first note at
// the stretch's start, so that every chord is heard.
struct FigureHit {
    int offset;
    char symbol;
};
std::vector<FigureHit> FigureHits(const ComposeContext& ctx, const Figure& figure, int length, bool sounding);

void PlayBacking(ComposeContext& ctx, PartWriter& w, const std::vector<ChordRecord>& chords, int64_t start, int kind,
                 int pace);
void PlayBass(ComposeContext& ctx, PartWriter& w, const std::vector<ChordRecord>& chords, int64_t start, int kind,
              int pace);
void PlayDrums(ComposeContext& ctx, PartWriter& w, const EventList& marks, int64_t start, int style, int pace);
void PlayEnvironment(ComposeContext& ctx, PartWriter& w, const std::vector<ChordRecord>& chords, int64_t start,
                     int program);

}  // namespace tunecase
