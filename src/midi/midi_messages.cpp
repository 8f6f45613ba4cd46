#include "midi/midi_messages.h"
#include "base/translation.h"

#include <atomic>

namespace tunecase {

const MessageTable kMusicEventMessages{
    "MUEV",
    {
        {muev::DataTooLarge,
         N_("Event data size is too large! If it includes MFi terminal tone data, it would not be a problem.")},
        {muev::DataError, N_("Error occured in event data!")},
    },
    N_("Error occured in MusicEvent!"),
};

const MessageTable kMidiEventMessages{
    "MDEV",
    {
        {mdev::InternalError, N_("Internal error occurred in MidiEvent!")},
        {mdev::InvalidValue, N_("MidiEvent invalid value!")},
        {mdev::InvalidCommand, N_("Invalid command in a MIDI event.")},
    },
    N_("Error occurred in MidiEvent!"),
};

const MessageTable kMidiStatusMessages{
    "MDSS",
    {
        {mdss::TimeSignInvalid, N_("Time Sign is invalid!")},
    },
    N_("Error occured in MidiStatus"),
};

const MessageTable kSysExMessages{
    "MDSX",
    {},
    N_("Error occured in System Exclusive!"),
};

const MessageTable kTrackErrors{
    "MDTK",
    {
        {0x0D000001, N_("MidiTrackData Internal Error")},
        {0x0D000002, N_("Undefined Midi Event")},
        {0x0D000003, N_("Chanel is wrong")},
        {0x0D000005, N_("Tempo is wrong.")},
        {0x0D000006, N_("Large data")},
        {0x0D000007, N_("This is not a midi file.")},
        {0x0D000008, N_("Drum range is not within 35 to 81. Data is modified.")},
        {0x0D00000C, N_("Wrong program change is modified to zero.")},
        {0x0D00000D, N_("Duplicate note on has been found.")},
        {0x0D00000E, N_("Duplicate note off has been found.")},
        {0x0D000010, N_("Invalid parameter.")},
        {0x0D000013, N_("Drum bank select is wrong.")},
        {0x0D000014, N_("Note number is wrong.")},
        {0x0D000015, N_("MidiTrackData tempo data is wrong.")},
        {0x0D000018, N_("Can not find center note!")},
        {0x0D000019, N_("Musical data is invalid!")},
        {0x0D00001B, N_("Musical data is invalid!")},
        {0x0D00001A, N_("Can not add data!")},
        {0x0D00001C, N_("Can not divice data!")},
        {0x0D00001D, N_("The number of voice is invalid!")},
        {0x0D00001E, N_("Channel volume is invalid!")},
        {0x0D00001F, N_("Can not marge tracks!")},
        {0x0D000020, N_("Error occured in channel data!")},
        {0x0D000021, N_("Error occured in note!")},
        {0x0D000022, N_("Error occured in adding data!")},
        {0x0D000028, N_("Error occured in adding data!")},
        {0x0D000023, N_("Error occured in connecting notes!")},
        {0x0D000024, N_("Value is invalid!")},
        {0x0D000025, N_("Data is invalid!")},
        {0x0D000026, N_("Error occured in track!")},
        {0x0D000027, N_("Error occured in time sign!")},
        {0x0D000029, N_("Error occured in data operation!")},
        {0x0D00002A, N_("Error occured in reducing voice!")},
        {0x0D00002B, N_("Error occured in pitch bend editing!")},
        {0x0D00002C, N_("Error occured in data editing!")},
        {0x0D00002D, N_("Error occured in data editing!")},
    },
    N_("MidiTrackData error."),
};

const MessageTable kTrackWarnings{
    "MDTK",
    {
        {0x0D000002, N_("The song contains an undefined MIDI event.")},
        {0x0D000009, N_("More than one volume is set.")},
        {0x0D00000A, N_("More than one pan position is set.")},
        {0x0D00000B, N_("The song contains an event that is too large.")},
        {0x0D00000F, N_("Thinning out the notes failed.")},
        {0x0D000011, N_("More than one master volume is set.")},
        {0x0D000012, N_("The top notes were to be kept, but they were thinned out anyway.")},
        {0x0D000016, N_("The song contains polyphonic key pressure events.")},
        {0x0D000017, N_("An internal error gave a note an invalid number; it was set to 0.")},
    },
    N_("An error occurred in the MIDI track data."),
};

namespace {

// One flag per listed warning; the two volume warnings point at the same flag.
enum WarningFlag {
    kFlagUndefined,
    kFlagVolume,
    kFlagPan,
    kFlagTooLarge,
    kFlagThinning,
    kFlagTopNote,
    kFlagPolyPress,
    kFlagNoteNumber,
    kFlagCount
};

std::atomic<bool> shownFlags[kFlagCount];

int flagFor(uint32_t code) {
    switch (code) {
        case 0x0D000002: return kFlagUndefined;
        case 0x0D000009: return kFlagVolume;
        case 0x0D000011: return kFlagVolume;
        case 0x0D00000A: return kFlagPan;
        case 0x0D00000B: return kFlagTooLarge;
        case 0x0D00000F: return kFlagThinning;
        case 0x0D000012: return kFlagTopNote;
        case 0x0D000016: return kFlagPolyPress;
        case 0x0D000017: return kFlagNoteNumber;
        default: return -1;
    }
}

}  // namespace

void trackError(uint32_t code) { reportCoded(kTrackErrors, code); }

void trackWarning(uint32_t code) {
    if (code == 0) {
        for (auto& f : shownFlags) f.store(false);
        return;
    }
    int flag = flagFor(code);
    if (flag >= 0 && shownFlags[flag].exchange(true)) return;
    reportCoded(kTrackWarnings, code);
}

}  // namespace tunecase
