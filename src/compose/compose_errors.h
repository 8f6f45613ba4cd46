// The composition engine's message table (tag ZEMC) and its one reporting function.
//
// Every stage of the engine reports a problem by a 32-bit code of the form 0xff01xxxx;
// the box reads "ZEMC%08X %s" and the stage goes on with its fallback. Codes outside the
// table, 0 included, show the general text.
#pragma once

#include <cstdint>

#include "base/reporter.h"
#include "base/translation.h"

namespace tunecase {

// The codes the engine raises, named after what went wrong.
namespace zemc {
inline constexpr uint32_t General = 0;
inline constexpr uint32_t DrumPattern = 0xff010001;
inline constexpr uint32_t DrumSound = 0xff010002;
inline constexpr uint32_t ThreeFour = 0xff010004;
inline constexpr uint32_t SevenEight = 0xff010005;
inline constexpr uint32_t ChordLength = 0xff010007;
inline constexpr uint32_t InitializeEditing = 0xff010010;
inline constexpr uint32_t AddMeter = 0xff01001f;
inline constexpr uint32_t RootNote = 0xff010022;
inline constexpr uint32_t ThirdNote = 0xff010023;
inline constexpr uint32_t FifthNote = 0xff010024;
inline constexpr uint32_t SeventhNote = 0xff010025;
inline constexpr uint32_t BackingPattern = 0xff010027;
inline constexpr uint32_t TrackInformation = 0xff010028;
inline constexpr uint32_t MelodyNoteLength = 0xff010029;
inline constexpr uint32_t TimeChartMemory = 0xff010031;
inline constexpr uint32_t PatternFile = 0xff010035;
inline constexpr uint32_t CadenceFile = 0xff010036;
inline constexpr uint32_t CadenceTimeChartFile = 0xff010037;
inline constexpr uint32_t TimeChartFile = 0xff010038;
inline constexpr uint32_t CreateTimeChart = 0xff01003a;
inline constexpr uint32_t CreateThreeFour = 0xff01003b;
inline constexpr uint32_t CreateSevenEight = 0xff01003c;
inline constexpr uint32_t TimeChartLength = 0xff01003d;
inline constexpr uint32_t ReadDatabase = 0xff01003e;
inline constexpr uint32_t ChordProgression = 0xff01003f;
inline constexpr uint32_t DiminishChord = 0xff01006b;
inline constexpr uint32_t MelodyPoints = 0xff01006f;
inline constexpr uint32_t Memory = 0xff010100;
inline constexpr uint32_t Beat = 0xff010133;
inline constexpr uint32_t NoMoreNotes = 0xff010134;
inline constexpr uint32_t ErrorInDb2 = 0xff01014a;
inline constexpr uint32_t Instrument = 0xff010156;
inline constexpr uint32_t DataCheck = 0xff0101aa;
inline constexpr uint32_t MelodyGeneration = 0xff0101ab;
inline constexpr uint32_t MelodyAlgorithm = 0xff0101ac;
inline constexpr uint32_t PatternProcess = 0xff0101ad;
inline constexpr uint32_t PatternEventCount = 0xff0101ae;
inline constexpr uint32_t InfiniteLoopRisk = 0xff0101af;
inline constexpr uint32_t Adjustment = 0xff0101b0;
inline constexpr uint32_t Adjustment2 = 0xff0101b1;
inline constexpr uint32_t AlgorithmSelection = 0xff0101b2;
inline constexpr uint32_t LengthDetermination = 0xff0101b3;
inline constexpr uint32_t MelodyTrackType = 0xff0101b4;
inline constexpr uint32_t ObbligatoLength = 0xff0101b5;
inline constexpr uint32_t InvalidProgression = 0xff0101c6;
inline constexpr uint32_t ChordBlockLength = 0xff0101c7;
inline constexpr uint32_t ChordPattern = 0xff0101c8;
inline constexpr uint32_t DisplayData = 0xff0101cd;
inline constexpr uint32_t Abbellimenti = 0xff0101ce;
inline constexpr uint32_t BassRiff = 0xff0101cf;
inline constexpr uint32_t DrumPatternForm = 0xff0101d0;
inline constexpr uint32_t EnvironmentInstrument = 0xff0101d2;
inline constexpr uint32_t RiffLength = 0xff0101d3;
inline constexpr uint32_t TimeSignBaseBeat = 0xff0101d4;
inline constexpr uint32_t DeltaTime = 0xff0101dc;
inline constexpr uint32_t PitchBend = 0xff0101dd;
}  // namespace zemc

// The whole table: 0xff010001 .. 0xff0101ea with gaps.
extern const MessageTable kComposeErrors;

// The text shown for a code that is in no table entry.
inline constexpr const char* kComposeOtherText = N_("Error occured in MobileDialogSelectChanel!");

// How long the engine waits after each of its boxes, so boxes in a row stay readable.
inline constexpr int kComposeErrorPauseMs = 500;

// Shows "ZEMC%08X %s" for `code`, waits kComposeErrorPauseMs when the sink shows real boxes,
// and returns 0 (so a stage can write `return ReportComposeError(code);`).
int ReportComposeError(uint32_t code);

}  // namespace tunecase
