#include "midi/midi_file_messages.h"

#include <atomic>

#include "midi/smf_bytes.h"
#include "base/translation.h"

namespace tunecase {

const MessageTable kFormat0Messages{
    "M0DT",
    {
        {0x04000001, N_("This file is not Format 0!")},
        {0x04000002, N_("Can not open the file!")},
        {0x04000003, N_("The number of track is invalid! in MidiF0Data!")},
        {0x04000004, N_("This is not a MIDI file. Or maybe mac binary is attached to the file!")},
        {0x04000005, N_("Internal error occured in MidiF0Data!")},
        {0x04000008, N_("The number of measure is invalid!")},
        {0x04000009, N_("Musical information is wrong!")},
        {0x0400000A, N_("Error occured during stop process!")},
        {0x0400000B, N_("The end of track is invalid!")},
    },
    N_("Error occurred in MidiF0Data!"),
};

const MessageTable kFormat1Errors{
    "M1DT",
    {
        {0x03000001, N_("The number of Track is too many!")},
        {0x03000002, N_("This file is not format 1 of midi.")},
        {0x03000003, N_("Internal error has been occured in MidiF1Data!")},
        {0x03000004, N_("This is not Midi file!")},
        {0x03000005, N_("Can not open file!")},
        {0x03000006, N_("There are more than two master volume!")},
        {0x03000007, N_("Program change is set to drum.(SysEx has been found that use channel other than 10.)")},
        {0x03000008, N_("Time Sing error!")},
        {0x03000009, N_("Too many tempo data have been found!")},
        {0x0300000A, N_("There are more than two SysExTrack!")},
        {0x0300000B, N_("There are more than two system channel!")},
        {0x0300000C, N_("Duplicate Channel has been found!")},
        {0x03000011, N_("Try to divide track with more than two program change. There is no spare channel!")},
        {0x03000012, N_("No drum track has been found!")},
        {0x03000015, N_("There is a treck that has no program change. 0 has been set!")},
        {0x03000016, N_("There is no master volume! 127 has been set!")},
        {0x03000017, N_("More than two pitch bend sensitivity were set to one track")},
        {0x03000018, N_("There is a track where pitch bend sensitivity is zero!")},
        {0x03000019, N_("Data is too large!")},
        {0x0300001A, N_("The Number of channels is invalid!")},
        {0x0300001B, N_("Begin point is invalid!")},
        {0x0300001D, N_("System exclusive is invalid!")},
        {0x0300001E, N_("Channel is invalid!")},
        {0x03000020, N_("Program change is invalid!")},
        {0x03000021, N_("Internal data is invalid!")},
    },
    N_("MidiF1Data Error!"),
};

const MessageTable kFormat1Warnings{
    "M1DT",
    {
        {0x0300000D, N_("Location of Time sign is invalid!")},
        {0x0300000E, N_("There are no more channels for mapping!")},
        {0x0300000F, N_("Can not merge drum tracks that have different program chagne!")},
        {0x03000010, N_("Can not merge tracks that have different program chagne!")},
        {0x03000013, N_("There is the same channel already!")},
        {0x03000014, N_("Error occured in conversion of note to pitchbend!")},
    },
    N_("MidiF1Data Error!"),
};

const MessageTable kF1TrackErrors{
    "M1TK",
    {
        {0x2E00000C, N_("Can not reduce to zero voice.")},
    },
    N_("Error occured in MidiF1TrackData!"),
};

const MessageTable kF1TrackWarnings{
    "M1TK",
    {
        {0x03000014, N_("Error occured in conversion of note to pitchbend!")},
        {0x03000017, N_("More than one pitchbend sensitivity are found!")},
        {0x2E00001A, N_("Location of time sign is invalid!")},
        {0x2E00001B, N_("Pitchbend range is over the capaticty of conversion!")},
    },
    N_("Undefined Error!"),
};

namespace {

constexpr uint32_t kF1Once[] = {0x0300000D, 0x0300000E, 0x0300000F, 0x03000010, 0x03000013, 0x03000014};
constexpr uint32_t kTkOnce[] = {0x03000014, 0x03000017, 0x2E00001A, 0x2E00001B};

std::atomic<bool> f1Shown[std::size(kF1Once)];
std::atomic<bool> tkShown[std::size(kTkOnce)];

template <size_t N>
int indexOf(const uint32_t (&codes)[N], uint32_t code) {
    for (size_t i = 0; i < N; ++i)
        if (codes[i] == code) return static_cast<int>(i);
    return -1;
}

}  // namespace

std::string smpteDivisionText(int division) {
    const int frames = -static_cast<int8_t>((division >> 8) & 0xFF);
    const int ticks = division & 0xFF;
    const std::string rate = frames == 29 ? "29.97" : std::to_string(frames);
    return "SMPTE " + fillIn(tr("%s frames/s, %s ticks/frame"), {rate, std::to_string(ticks)});

}

std::string smpteRefusalText(std::string_view path, int division) {
    std::string detail = smpteDivisionText(division).substr(6);  // without "SMPTE "
    if (path.empty()) return fillIn(tr("This file uses SMPTE time code division (%s), which Tunecase does not play."), detail);
    return fillIn(fillIn(tr("%s uses SMPTE time code division (%s), which Tunecase does not play."), path), detail);
}

void reportSmpteDivision(std::string_view path, int division) {
    reportText(smpteRefusalText(path, division), BoxKind::Ok);
}

int smpteDivisionOf(const uint8_t* bytes, int length) {
    if (!bytes) return 0;
    int at = 0;
    if (!smf::hasMThd(bytes, length, 0)) {
        if (!smf::hasMThd(bytes, length, smf::kMacBinarySize)) return 0;
        at = smf::kMacBinarySize;
    }
    if (at + smf::kHeaderSize > length) return 0;
    const int division = smf::readBe16(bytes + at + 12);
    return isSmpteDivision(division) ? division : 0;
}

void format0Error(uint32_t code, std::string_view path) { reportCoded(kFormat0Messages, code, path); }

void format1Error(uint32_t code, std::string_view path) { reportCoded(kFormat1Errors, code, path); }

void format1Warning(uint32_t code) {
    if (code == 0) {
        for (auto& f : f1Shown) f.store(false);
        return;
    }
    const int i = indexOf(kF1Once, code);
    if (i < 0) {
        reportCoded(kFormat1Errors, code);
        return;
    }
    if (f1Shown[i].exchange(true)) return;
    reportCoded(kFormat1Warnings, code);
}

void f1TrackError(uint32_t code) { reportCoded(kF1TrackErrors, code); }

void f1TrackWarning(uint32_t code) {
    if (code == 0) {
        for (auto& f : tkShown) f.store(false);
        return;
    }
    const int i = indexOf(kTkOnce, code);
    if (i >= 0 && tkShown[i].exchange(true)) return;
    reportCoded(kF1TrackWarnings, code);
}

}  // namespace tunecase
