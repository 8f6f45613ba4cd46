// Engine-wide settings of the composition engine. Nothing changes them at run time.
#pragma once

namespace tunecase {

inline constexpr int kTicksPerQuarter = 96;
inline constexpr int kLengthTolerance = 4;       // accepted length window: target -/+ half of it
inline constexpr int kExtraGenerations = 3;      // at most 3 + 2 full generations per song
inline constexpr int kBaseBlockCount = 5;        // base of the random number of chord blocks
inline constexpr int kBlockRepeats = 2;          // plays of each block in fixed-form styles
inline constexpr int kSuccessionTries = 4000;    // tries when picking a successor chord or a cadence
inline constexpr int kTrackBufferSize = 196608;  // bytes handed to every MIDI track object
inline constexpr int kSoundModuleKind = 2;       // General MIDI
inline constexpr int kTriesPerBlock = 1000;      // melody attempts per block before a message

}  // namespace tunecase
