// Message tables of the Standard MIDI File holders and of the format 1 track edits.
//
// "M0DT%08X %s" (format 0 song), "M1DT%08X %s" (format 1 file, errors always shown and a few
// warnings shown once until reset) and "M1TK%08X %s" (format 1 track edits, same split).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/reporter.h"

namespace tunecase {

namespace m0dt {
inline constexpr uint32_t NotFormat0 = 0x04000001;
inline constexpr uint32_t CantOpenFile = 0x04000002;
inline constexpr uint32_t TrackCountInvalid = 0x04000003;
inline constexpr uint32_t NotMidi = 0x04000004;
inline constexpr uint32_t InternalError = 0x04000005;
inline constexpr uint32_t MeasureInvalid = 0x04000008;
inline constexpr uint32_t MusicalInformation = 0x04000009;
inline constexpr uint32_t StopFailed = 0x0400000A;
inline constexpr uint32_t EndOfTrackInvalid = 0x0400000B;
}  // namespace m0dt

namespace m1dt {
inline constexpr uint32_t General = 0x00000000;
inline constexpr uint32_t TooManyTracks = 0x03000001;
inline constexpr uint32_t NotFormat1 = 0x03000002;
inline constexpr uint32_t InternalError = 0x03000003;
inline constexpr uint32_t NotMidi = 0x03000004;
inline constexpr uint32_t CantOpenFile = 0x03000005;
inline constexpr uint32_t TwoMasterVolumes = 0x03000006;
inline constexpr uint32_t NoMasterVolume = 0x03000016;
inline constexpr uint32_t TooLarge = 0x03000019;
inline constexpr uint32_t ChannelInvalid = 0x0300001E;
inline constexpr uint32_t InternalDataInvalid = 0x03000021;
// Shown once until reset.
inline constexpr uint32_t TimeSignLocation = 0x0300000D;
inline constexpr uint32_t NoChannelsForMapping = 0x0300000E;
inline constexpr uint32_t DrumProgramsDiffer = 0x0300000F;
inline constexpr uint32_t ProgramsDiffer = 0x03000010;
inline constexpr uint32_t SameChannel = 0x03000013;
inline constexpr uint32_t NoteToBend = 0x03000014;
}  // namespace m1dt

namespace m1tk {
inline constexpr uint32_t ZeroVoice = 0x2E00000C;
// Shown once until reset.
inline constexpr uint32_t NoteToBend = 0x03000014;
inline constexpr uint32_t TwoBendSensitivities = 0x03000017;
inline constexpr uint32_t TimeSignLocation = 0x2E00001A;
inline constexpr uint32_t BendRangeTooLarge = 0x2E00001B;
}  // namespace m1tk

extern const MessageTable kFormat0Messages;    // M0DT
extern const MessageTable kFormat1Errors;      // M1DT, always shown
extern const MessageTable kFormat1Warnings;    // M1DT, shown once
extern const MessageTable kF1TrackErrors;      // M1TK, always shown
extern const MessageTable kF1TrackWarnings;    // M1TK, shown once

// ---- SMPTE time --------------------------------------------------------------------------
// A header division with its top bit set counts time code frames (its high byte, negative:
// -24, -25, -29 for 29.97 drop-frame, -30) and ticks per frame (its low byte) instead of
// ticks per quarter note. Every time calculation here counts quarter notes, so such files
// are refused where they are read.

// True for the header's 16 division bits of an SMPTE-timed file.
inline bool isSmpteDivision(int division) { return (division & 0x8000) != 0; }

// "X.mid uses SMPTE time code division (25 frames/s, 40 ticks/frame), which Tunecase does
// not play." ("This file" without a path.)
std::string smpteRefusalText(std::string_view path, int division);

// "SMPTE 25 frames/s, 40 ticks/frame"
std::string smpteDivisionText(int division);

// Shows smpteRefusalText in an OK box.
void reportSmpteDivision(std::string_view path, int division);

// The division bits when `bytes` hold a Standard MIDI File header ("MThd" at 0, or behind a
// 128-byte MacBinary header) with an SMPTE division; 0 for anything else.
int smpteDivisionOf(const uint8_t* bytes, int length);

// "M0DT%08X %s", every time.
void format0Error(uint32_t code, std::string_view path = {});

// "M1DT%08X %s" from the always-shown table, every time.
void format1Error(uint32_t code, std::string_view path = {});

// A M1DT warning, the first time only; code 0 resets every M1DT shown-once flag. A code that
// is not a listed warning is shown every time with the error table's text.
void format1Warning(uint32_t code);

// "M1TK%08X %s" from the always-shown table, every time.
void f1TrackError(uint32_t code);

// A M1TK warning, the first time only; code 0 resets the flags. Unlisted codes are shown
// every time with the general warning text.
void f1TrackWarning(uint32_t code);

}  // namespace tunecase
