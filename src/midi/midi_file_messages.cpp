#include "midi/midi_file_messages.h"

#include <atomic>

#include "midi/smf_bytes.h"

namespace tunecase {

const MessageTable kFormat0Messages{
    "M0DT",
    {
        {0x04000001, "This file is not Format 0!"},
        {0x04000002, "Can not open the file!"},
        {0x04000003, "The number of track is invalid! in MidiF0Data!"},
        {0x04000004, "This is not a MIDI file. Or maybe mac binary is attached to the file!"},
        {0x04000005, "Internal error occured in MidiF0Data!"},
        {0x04000008, "The number of measure is invalid!"},
        {0x04000009, "Musical information is wrong!"},
        {0x0400000A, "Error occured during stop process!"},
        {0x0400000B, "The end of track is invalid!"},
    },
    "Error occurred in MidiF0Data!",
};

const MessageTable kFormat1Errors{
    "M1DT",
    {
        {0x03000001, "The number of Track is too many!"},
        {0x03000002, "This file is not format 1 of midi."},
        {0x03000003, "Internal error has been occured in MidiF1Data!"},
        {0x03000004, "This is not Midi file!"},
        {0x03000005, "Can not open file!"},
        {0x03000006, "There are more than two master volume!"},
        {0x03000007, "Program change is set to drum.(SysEx has been found that use channel other than 10.)"},
        {0x03000008, "Time Sing error!"},
        {0x03000009, "Too many tempo data have been found!"},
        {0x0300000A, "There are more than two SysExTrack!"},
        {0x0300000B, "There are more than two system channel!"},
        {0x0300000C, "Duplicate Channel has been found!"},
        {0x03000011, "Try to divide track with more than two program change. There is no spare channel!"},
        {0x03000012, "No drum track has been found!"},
        {0x03000015, "There is a treck that has no program change. 0 has been set!"},
        {0x03000016, "There is no master volume! 127 has been set!"},
        {0x03000017, "More than two pitch bend sensitivity were set to one track"},
        {0x03000018, "There is a track where pitch bend sensitivity is zero!"},
        {0x03000019, "Data is too large!"},
        {0x0300001A, "The Number of channels is invalid!"},
        {0x0300001B, "Begin point is invalid!"},
        {0x0300001D, "System exclusive is invalid!"},
        {0x0300001E, "Channel is invalid!"},
        {0x03000020, "Program change is invalid!"},
        {0x03000021, "Internal data is invalid!"},
    },
    "MidiF1Data Error!",
};

const MessageTable kFormat1Warnings{
    "M1DT",
    {
        {0x0300000D, "Location of Time sign is invalid!"},
        {0x0300000E, "There are no more channels for mapping!"},
        {0x0300000F, "Can not merge drum tracks that have different program chagne!"},
        {0x03000010, "Can not merge tracks that have different program chagne!"},
        {0x03000013, "There is the same channel already!"},
        {0x03000014, "Error occured in conversion of note to pitchbend!"},
    },
    "MidiF1Data Error!",
};

const MessageTable kF1TrackErrors{
    "M1TK",
    {
        {0x2E00000C, "Can not reduce to zero voice."},
    },
    "Error occured in MidiF1TrackData!",
};

const MessageTable kF1TrackWarnings{
    "M1TK",
    {
        {0x03000014, "Error occured in conversion of note to pitchbend!"},
        {0x03000017, "More than one pitchbend sensitivity are found!"},
        {0x2E00001A, "Location of time sign is invalid!"},
        {0x2E00001B, "Pitchbend range is over the capaticty of conversion!"},
    },
    "Undefined Error!",
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
    return "SMPTE " + rate + " frames/s, " + std::to_string(ticks) + " ticks/frame";
}

std::string smpteRefusalText(std::string_view path, int division) {
    const std::string what = path.empty() ? std::string("This file") : std::string(path);
    std::string detail = smpteDivisionText(division).substr(6);  // without "SMPTE "
    return what + " uses SMPTE time code division (" + detail + "), which Tunecase does not play.";
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
