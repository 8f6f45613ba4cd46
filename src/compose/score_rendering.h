// Score rendering: turns the engine's event lists and the accompaniment into MIDI tracks and
// writes the song as a Standard MIDI File of format 1 at 96 ticks per quarter note.
//
// The track list, each track present only when its part is played:
//   conductor (seed text, GM System On, master volume, meter, key, tempo, chord markers),
//   delayed melody copy (channel 10), melody (1), second line (6), delayed copy of the
//   backing (11), backing (3), backing (7), derived parts (4, 5), bass (2), drums (9),
//   environment (8), an arranged song's accompanying notes (15).
// A part is played when its program in the parameter record is not 256; the part number is
// its MIDI channel.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "compose/compose_information.h"
#include "midi/midi_f1_track_data.h"

namespace tunecase {

struct ComposeContext;

inline constexpr int kSongDivision = 96;
inline constexpr int kSingleTrackBufferSize = 393216;  // a whole song held as one track

inline constexpr int kMelodyChannel = 1;
inline constexpr int kBassChannel = 2;
inline constexpr int kBackingChannel = 3;
inline constexpr int kDerivedChannel = 4;
inline constexpr int kCounterChannel = 5;
inline constexpr int kSecondLineChannel = 6;
inline constexpr int kSecondBackingChannel = 7;
inline constexpr int kEnvironmentChannel = 8;
inline constexpr int kDrumChannel = 9;
inline constexpr int kMelodyCopyChannel = 10;
inline constexpr int kBackingCopyChannel = 11;
inline constexpr int kArrangementChannel = 15;

inline constexpr int kOctaveCopyHighest = 115;    // melody notes above this get no octave copy
inline constexpr int kOctaveCopyVelocity = 38;    // when the record's copy velocity is 0
inline constexpr int kSecondLineSoftening = 25;   // velocity taken off the second line
inline constexpr int kDelayedMelodyRest = 384;    // derived-part mode 8: the melody one measure late
inline constexpr int kCopyDetune = 56;            // fine tuning of a delayed copy (64 = in tune)
inline constexpr int kPanSpread = 40;             // a delayed copy and its part pan apart by this
inline constexpr int kBendRange = 12;             // pitch-bend sensitivity of every part, semitones
inline constexpr int kMelodyGateShortening = 3;
inline constexpr int kMelodyVelocity = 64;
inline constexpr int kLastNoteVelocity = 48;
inline constexpr int kLongestTrackTail = 768;     // the end of track lies at most this far behind

// The track every part is written into: a format 1 track of kTrackBufferSize bytes, holding
// note events (state 2).
using PartTrack = MidiF1TrackData;
std::unique_ptr<PartTrack> NewPartTrack();

// One measure (384, 288 or 336) in a compose run, else 0: where every part begins.
int LeadInTicks(const ComposeContext& ctx);

// The start of the song's first sounding note over the melody and the arrangement part
// (ctx.arrangementPart), or 0 when it is not earlier than the first chord's end; set by
// RenderSong before the parts are built.
int FirstNoteTime(const ComposeContext& ctx);

// Builds every track, cleans up the clashes the style asks for, checks the data and saves
// the file under `outputName`. `longestNote` is the longest melody note allowed. Returns 1
// when the file was written. Reports go through the engine's message table; the file is
// saved even after them.
int RenderSong(ComposeContext& ctx, std::string_view outputName, int longestNote);

// The conductor track: "random_seed N" text, GM System On, master volume 127, time and key
// signature, tempo, and in a compose run with the chord display on the "N/C" marker and one
// marker per chord of the song chord sequence; then End of Track.
void BuildConductorTrack(ComposeContext& ctx, MidiTrackData& track);

// The start-up events of a channel: bank 0 and program (the kit on the drum channel, none
// for kit 0), volume, reverb, chorus, brightness, resonance, release, attack and decay (a
// value of 64 is left out outside a compose run), then the pitch-bend sensitivity. The first
// event comes `leadIn` ticks after the track's start. `program` is a record value: groups
// and extended instruments are resolved with PickProgram. Returns the program sent, -1 for
// none.
int SetUpChannel(ComposeContext& ctx, MidiTrackData& track, int channel, int program, const uint8_t settings[16],
                 int leadIn);

// Renders an event list on channel 1, 4, 5, 6 or 15 (else 0xff010028): notes from the lead-in
// on, velocity 64 (48 for the list's last entry), gate = length - 3, through the part's melody
// effect; a note longer than `longestNote` reports 0xff010029 and ends the part. Then closes
// the track and applies the part's pitch-bend effect.
void RenderPart(ComposeContext& ctx, const EventList& list, MidiTrackData& track, int channel, int longestNote);

// The General MIDI program for a record value: 0 .. 127 itself, a group 136 .. 144 one of
// its programs drawn with equal chance, an extended instrument its stand-in; any other value
// reports 0xff010156 and gives -1 (no program change).
int PickProgram(ComposeContext& ctx, int value, int channel);

// The programs of the groups 136 .. 144, and the group's name ("" outside).
const std::vector<int>& ProgramGroup(int value);
const char* ProgramGroupName(int value);

// Appends End of Track at the first multiple of 96 ticks at or after the end of the last
// note, never more than 768 ticks after the last event.
void CloseTrack(MidiTrackData& track);

// Adds 12 * `octaves` semitones to every note of `channel` (notes stay inside 0 .. 127).
void ShiftOctaves(MidiTrackData& track, int channel, int octaves);

// The octave count of a part from the record: partOctave, part15Octave for channel 15, and
// for the bass 99 = one octave down, 101 = one octave up.
int PartOctaves(const ComposeContext& ctx, int channel);

// ---- Clean-up over the finished track list -------------------------------------------------

// Removes every note of channel `thinned` that starts while a note of channel `kept` sounds
// 1, 2, 11 or 13 semitones away from it. Returns the number removed.
int RemoveClashes(const std::vector<MidiTrackData*>& tracks, int kept, int thinned);

// Softens the notes of channel `softened` that start while a note of channel `against`
// sounds (or ended less than 12 ticks before): a unison or a semitone is removed when the two
// channels play the same program (`sameProgram`), else goes to 4/5 of its velocity; a note
// below the other part goes to 5/6, one above it to 4/5. Returns the notes changed.
int SoftenAgainst(const std::vector<MidiTrackData*>& tracks, int softened, int against, bool sameProgram);

// Lowers each note of `channel` by octaves until it is no higher than the lowest note of
// `melody` heard while it sounds. A note that then reaches the highest note of `floorChannel`
// heard meanwhile (-1: no such part), falls below `lowest`, or lands on a pitch the part
// already sounds, is removed. Returns the notes moved or removed.
int KeepUnderMelody(const std::vector<MidiTrackData*>& tracks, int channel, int melody, int floorChannel,
                    int lowest);

}  // namespace tunecase
