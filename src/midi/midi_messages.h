// Message tables of the MIDI data modules and the track module's two report helpers.
//
// Every box is "TAG%08X %s": MUEV and MDEV (events), MDSS (status snapshot), MDSX (system
// exclusive) and MDTK (track data). Track errors are always shown; track warnings are shown
// once per process until reset (see trackWarning).
#pragma once

#include <cstdint>

#include "base/reporter.h"

namespace tunecase {

namespace muev {
inline constexpr uint32_t DataTooLarge = 0x06000001;
inline constexpr uint32_t DataError = 0x06000002;
}  // namespace muev

namespace mdev {
inline constexpr uint32_t MissingSource = 0x00000000;
inline constexpr uint32_t InternalError = 0x1D000001;
inline constexpr uint32_t InvalidValue = 0x1D000002;
inline constexpr uint32_t InvalidCommand = 0x1D000003;
}  // namespace mdev

namespace mdss {
inline constexpr uint32_t TimeSignInvalid = 0x37000002;
}  // namespace mdss

namespace mdsx {
inline constexpr uint32_t NoBuffer = 0x36000001;
}  // namespace mdsx

// Track data codes (errors and warnings share the code space).
namespace mdtk {
inline constexpr uint32_t InternalError = 0x0D000001;
inline constexpr uint32_t UndefinedEvent = 0x0D000002;
inline constexpr uint32_t ChannelWrong = 0x0D000003;
inline constexpr uint32_t TempoWrong = 0x0D000005;
inline constexpr uint32_t LargeData = 0x0D000006;
inline constexpr uint32_t NotMidi = 0x0D000007;
inline constexpr uint32_t DrumRange = 0x0D000008;
inline constexpr uint32_t MultipleVolumes = 0x0D000009;
inline constexpr uint32_t MultiplePans = 0x0D00000A;
inline constexpr uint32_t EventTooLarge = 0x0D00000B;
inline constexpr uint32_t WrongProgram = 0x0D00000C;
inline constexpr uint32_t DuplicateNoteOn = 0x0D00000D;
inline constexpr uint32_t DuplicateNoteOff = 0x0D00000E;
inline constexpr uint32_t ThinningFailed = 0x0D00000F;
inline constexpr uint32_t InvalidParameter = 0x0D000010;
inline constexpr uint32_t MultipleMasterVolumes = 0x0D000011;
inline constexpr uint32_t TopNoteThinned = 0x0D000012;
inline constexpr uint32_t PolyPressure = 0x0D000016;
inline constexpr uint32_t NoteNumberRepaired = 0x0D000017;
inline constexpr uint32_t NegativeDelta = 0x0D000019;
inline constexpr uint32_t CantAddData = 0x0D00001A;
inline constexpr uint32_t SegmentTooShort = 0x0D00001B;
inline constexpr uint32_t ChannelData = 0x0D000020;
inline constexpr uint32_t AddingData = 0x0D000028;
inline constexpr uint32_t TimeSign = 0x0D000027;
inline constexpr uint32_t Track = 0x0D000026;
}  // namespace mdtk

extern const MessageTable kMusicEventMessages;   // MUEV
extern const MessageTable kMidiEventMessages;    // MDEV
extern const MessageTable kMidiStatusMessages;   // MDSS
extern const MessageTable kSysExMessages;        // MDSX
extern const MessageTable kTrackErrors;          // MDTK, always shown
extern const MessageTable kTrackWarnings;        // MDTK, shown once

// Shows "MDTK%08X %s" with the error text for `code`, every time.
void trackError(uint32_t code);

// Shows the warning for `code` the first time only. Code 0 resets every shown-once flag
// (the two volume warnings 0x0D000009 and 0x0D000011 share one flag). A code that is not
// a listed warning is shown every time with the general warning text.
void trackWarning(uint32_t code);

}  // namespace tunecase
