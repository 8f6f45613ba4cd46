#include "midi/midi_messages.h"

#include <atomic>

namespace tunecase {

const MessageTable kMusicEventMessages{
    "MUEV",
    {
        {muev::DataTooLarge,
         "Event data size is too large! If it includes MFi terminal tone data, it would not be a problem."},
        {muev::DataError, "Error occured in event data!"},
    },
    "Error occured in MusicEvent!",
};

const MessageTable kMidiEventMessages{
    "MDEV",
    {
        {mdev::InternalError, "Internal error occurred in MidiEvent!"},
        {mdev::InvalidValue, "MidiEvent invalid value!"},
        {mdev::InvalidCommand, "MidiEventでinvalid command!"},
    },
    "Error occurred in MidiEvent!",
};

const MessageTable kMidiStatusMessages{
    "MDSS",
    {
        {mdss::TimeSignInvalid, "Time Sign is invalid!"},
    },
    "Error occured in MidiStatus",
};

const MessageTable kSysExMessages{
    "MDSX",
    {},
    "Error occured in System Exclusive!",
};

const MessageTable kTrackErrors{
    "MDTK",
    {
        {0x0D000001, "MidiTrackData Internal Error"},
        {0x0D000002, "Undefined Midi Event"},
        {0x0D000003, "Chanel is wrong"},
        {0x0D000005, "Tempo is wrong."},
        {0x0D000006, "Large data"},
        {0x0D000007, "This is not a midi file."},
        {0x0D000008, "Drum range is not within 35 to 81. Data is modified."},
        {0x0D00000C, "Wrong program change is modified to zero."},
        {0x0D00000D, "Duplicate note on has been found."},
        {0x0D00000E, "Duplicate note off has been found."},
        {0x0D000010, "Invalid parameter."},
        {0x0D000013, "Drum bank select is wrong."},
        {0x0D000014, "Note number is wrong."},
        {0x0D000015, "MidiTrackData tempo data is wrong."},
        {0x0D000018, "Can not find center note!"},
        {0x0D000019, "Musical data is invalid!"},
        {0x0D00001B, "Musical data is invalid!"},
        {0x0D00001A, "Can not add data!"},
        {0x0D00001C, "Can not divice data!"},
        {0x0D00001D, "The number of voice is invalid!"},
        {0x0D00001E, "Channel volume is invalid!"},
        {0x0D00001F, "Can not marge tracks!"},
        {0x0D000020, "Error occured in channel data!"},
        {0x0D000021, "Error occured in note!"},
        {0x0D000022, "Error occured in adding data!"},
        {0x0D000028, "Error occured in adding data!"},
        {0x0D000023, "Error occured in connecting notes!"},
        {0x0D000024, "Value is invalid!"},
        {0x0D000025, "Data is invalid!"},
        {0x0D000026, "Error occured in track!"},
        {0x0D000027, "Error occured in time sign!"},
        {0x0D000029, "Error occured in data operation!"},
        {0x0D00002A, "Error occured in reducing voice!"},
        {0x0D00002B, "Error occured in pitch bend editing!"},
        {0x0D00002C, "Error occured in data editing!"},
        {0x0D00002D, "Error occured in data editing!"},
    },
    "MidiTrackData error.",
};

const MessageTable kTrackWarnings{
    "MDTK",
    {
        {0x0D000002, "未定義のMIDIイベントが含まれていました。"},
        {0x0D000009, "複数のボリュームが設定されています。"},
        {0x0D00000A, "複数のパンが設定されています。"},
        {0x0D00000B, "サイズが大きすぎるイベントが含まれています。"},
        {0x0D00000F, "音の間引きに失敗しました。"},
        {0x0D000011, "複数のマスターボリュームが設定されています。"},
        {0x0D000012, "トップノートは間引かないを指定していますが、指定をはずして間引きました。"},
        {0x0D000016, "Poly Pressのイベントが含まれていました。"},
        {0x0D000017, "内部処理のエラーでノートナンバーが異常になりましたので０に修正しました。"},
    },
    "Midiのトラックデータでエラーが発生しました。",
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
