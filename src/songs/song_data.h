// Song-data files (".mwd"): a melody on a beat grid with chord names, lyric syllables, key,
// time signature and tempo. CSongData holds one such song in a fixed-size record laid out as
// the current file kind (121,880 bytes); older and shorter files are read by their exact
// size, downloaded bytes by the sizes a server sends. Damaged values are repaired on reading.
//
// Every read is bounded by the bytes actually present: a short file or download leaves the
// blocks it does not cover as in a new song. Titles and texts are bytes as stored (CP932 or
// UTF-8). Failures show "SGDT%08X %s" boxes through the Reporter.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/reporter.h"

namespace tunecase {

// ---- Layout of the current file kind ---------------------------------------------------------
namespace songdata {
inline constexpr size_t kMaxBeats = 1024;
inline constexpr size_t kNoteRecords = 2048;  // two per beat
inline constexpr size_t kChordRecordSize = 16;
inline constexpr size_t kNoteRecordSize = 36;
inline constexpr size_t kTitleCapacity = 31;   // bytes 289..319 of the information block
inline constexpr size_t kTextCapacity = 2048;  // song text A
inline constexpr size_t kLyricLines = 12;
inline constexpr size_t kLyricLineCapacity = 2048;

inline constexpr size_t kChordTableOffset = 0;
inline constexpr size_t kNoteTableOffset = 16384;
inline constexpr size_t kInfoOffset = 90112;
inline constexpr size_t kInfoSize = 320;
inline constexpr size_t kMeasuresOffset = 90432;  // measures (4), beats (2), mode (2), key (4)
inline constexpr size_t kTextOffset = 90444;
inline constexpr size_t kTableBOffset = 92492;
inline constexpr size_t kTableCOffset = 93516;
inline constexpr size_t kExtension1Offset = 94540;
inline constexpr size_t kExtension2Offset = 95052;
inline constexpr size_t kExtension3Offset = 99148;
inline constexpr size_t kFileSize = 121880;

// Information block offsets.
inline constexpr size_t kInfoFlag = 64;
inline constexpr size_t kInfoValue192 = 192;
inline constexpr size_t kInfoValue196 = 196;
inline constexpr size_t kInfoTempo = 200;
inline constexpr size_t kInfoProgram = 204;
inline constexpr size_t kInfoValue212 = 212;
inline constexpr size_t kInfoTitle = 289;

// Sizes with a layout of their own, and the smallest download accepted.
inline constexpr size_t kSize32780 = 32780;
inline constexpr size_t kSize81932 = 81932;
inline constexpr size_t kSize90444 = 90444;
inline constexpr size_t kSize92492 = 92492;
inline constexpr size_t kSize94540 = 94540;
inline constexpr size_t kSize99208 = 99208;

// Note numbers that are not notes.
inline constexpr int32_t kRest = -1;
inline constexpr int32_t kContinue = -2;
inline constexpr int32_t kUnused = -3;
inline constexpr int32_t kNoNote = -4;

// A second-half chord name whose first byte is this counts as empty.
inline constexpr uint8_t kEmptyShortName = 205;
}  // namespace songdata

// SGDT codes.
namespace sgdt {
inline constexpr uint32_t GridWithoutBeats = 0x00000000;
inline constexpr uint32_t NoteValueNotAllowed = 0x00000002;
inline constexpr uint32_t LyricTooLong = 0x00000003;
inline constexpr uint32_t OldData = 0x00000004;
inline constexpr uint32_t MeterMismatch = 0x00000005;
}  // namespace sgdt

// "SGDT%08X %s" with the song-data texts.
extern const MessageTable kSongDataMessages;

// ---- Keys ------------------------------------------------------------------------------------

struct SongKey {
    const char* name;  // "C", "F#", "Bbm", ...
    int minor;         // 1 for the minor keys
    int accidentals;   // sharps positive, flats negative
    int tonic;         // pitch class of the name, C = 0
};

inline constexpr int kSongKeyCount = 30;
extern const std::array<SongKey, kSongKeyCount> kSongKeys;

// The key of `index`; index 0 (C major) for one outside 0..29.
const SongKey& songKey(int index);

// The index of the key named `name` ("C", "Am", "F#m", ...; a trailing blank is ignored), or -1.
int songKeyIndex(std::string_view name);

// ---- Checking a file ---------------------------------------------------------------------------

// True for the sizes a song-data file or download comes in: 92,492 bytes, or 94,540 or more.
bool isSongDataSize(size_t size);

// Why the file at `path` is not a song-data file, in plain words naming it ("x.mid is not a
// song-data file (.mwd): ..."): a size other than those above, or a meter that is not 1 to 8
// beats to the measure. "" when it reads as a song, and when it cannot be read at all (the
// caller's copy then says so).
std::string songDataFileProblem(const std::string& path);

// ---- Records ---------------------------------------------------------------------------------

// One half beat: up to three note positions with their text slots (the first byte of a
// slot is that position's melody flag).
struct NoteRecord {
    int32_t value[3] = {songdata::kContinue, songdata::kContinue, songdata::kUnused};
    char slot[3][8] = {};

    bool melody(int position) const { return slot[position][0] != 0; }
    // How many positions the half beat holds (1, 2 or 3) and the ticks of each (48, 24, 16).
    int positions() const;
    int positionTicks() const { return 48 / positions(); }
};
static_assert(sizeof(NoteRecord) == songdata::kNoteRecordSize);

// One beat's chords: the first-half name (zero-terminated within 8 bytes), a value carried
// unchanged, and a short second-half name in the last 4 bytes.
struct SongChordRecord {
    char name[8] = {};
    int32_t value = 0;
    char shortName[4] = {};
};
static_assert(sizeof(SongChordRecord) == songdata::kChordRecordSize);

// ---- The song --------------------------------------------------------------------------------

class CSongData {
public:
    // A new song of 4 measures in 4/4, C major.
    CSongData();

    // Reads the song-data file at `path` when it exists, else makes a new song from the four
    // values. The four come back from the file. Beats per measure outside 1..8 show "[%d]"
    // and "time sign 0" and give a new 4-measure 4/4 song in C, mode 0.
    CSongData(const std::string& path, int& measures, int& beats, int& key, int& mode);

    // From downloaded bytes: 92,492, 94,540 or more than 94,540 bytes. Any other size shows
    // SGDT 0x00000004 and leaves a new empty song (isLoaded() false).
    CSongData(const uint8_t* bytes, size_t size);

    // The beats of measures first .. last - 1 of `other`, with its beats per measure,
    // information block and key.
    CSongData(const CSongData& other, int firstMeasure, int lastMeasure);

    CSongData(const CSongData&) = default;
    CSongData& operator=(const CSongData&) = default;
    virtual ~CSongData();

    // The file reader without the disk: `bytes` are the whole file's content, `path` is only
    // recorded. The four values come back as from the path constructor.
    static std::unique_ptr<CSongData> fromFileBytes(const uint8_t* bytes, size_t size, int& measures,
                                                    int& beats, int& key, int& mode,
                                                    std::string_view path = {});
    // The same, into this record.
    void loadFileBytes(const uint8_t* bytes, size_t size, int& measures, int& beats, int& key, int& mode,
                       std::string_view path = {});
    // Reads `path` (new song when it does not exist), with mode 0 asked for.
    static std::unique_ptr<CSongData> open(const std::string& path);

    // Clears everything to a new song and lays out the grid for measures x beats. Beats of 0
    // show SGDT 0x00000000 and leave the grid unchanged.
    void newSong(int measures, int beats, int key, int mode);

    // ---- Queries ----
    bool isLoaded() const { return loaded_; }  // read from a file or accepted bytes
    // Why the last bytes read were refused, in words for a message ("it is 100 bytes; ...",
    // "its meter has 0 beats per measure; ..."); empty when they were not.
    const std::string& refusal() const { return refusal_; }
    int measures() const;
    int beatsPerMeasure() const;
    int mode() const;
    int keyIndex() const;
    const std::string& keyName() const { return keyName_; }  // "C " for a major key, "Am"
    const SongKey& key() const { return songKey(keyIndex()); }
    int beatCount() const;  // measures x beats, at most 1,024
    int tempo() const;      // beats per minute
    int program() const;    // MIDI program, 0..127
    std::string title() const;     // bytes as stored
    std::string songText() const;  // song text A, bytes as stored
    const std::string& path() const { return path_; }

    SongChordRecord chordRecord(int beat) const;
    std::string chordName(int beat) const;        // first half
    std::string secondChordName(int beat) const;  // second half; "" when empty or 205
    NoteRecord noteRecord(int index) const;       // 0..2047
    NoteRecord noteRecord(int beat, int half) const { return noteRecord(2 * beat + half); }
    uint8_t tableB(int beat) const;  // bass value of the first half
    uint8_t tableC(int beat) const;  // bass value of the second half
    int lowestNote() const;          // -1 when there is none
    int highestNote() const;
    const std::array<std::string, songdata::kLyricLines>& lyricLines() const { return lyrics_; }
    const std::string& lyricLine(int i) const { return lyrics_.at(static_cast<size_t>(i)); }

    // Raw access for values carried unchanged.
    int32_t infoValue(size_t offset) const;  // 32-bit value at `offset` of the information block
    const uint8_t* informationBlock() const { return image_.data() + songdata::kInfoOffset; }
    const uint8_t* image() const { return image_.data(); }

    // ---- Writing ----
    // The current 121,880-byte layout, with the lyric lines placed in the negative slots.
    std::vector<uint8_t> toBytes() const;
    void toBytes(std::vector<uint8_t>& out) const;  // into `out`, reusing its storage
    // Writes toBytes() through a temporary file renamed over `path`. Returns true on success;
    // `reason` gets the system's reason on failure.
    bool saveFile(const std::string& path, std::string* reason = nullptr) const;

    // Setters return false (and change nothing) when a value does not fit.
    bool setTitle(std::string_view bytes);  // at most 30 bytes
    bool setSongText(std::string_view bytes);
    void setTempo(int bpm);
    void setProgram(int program);
    bool setKey(int index);
    void setMode(int mode);
    bool setMeasures(int measures);       // measures x beats <= 1,024
    bool setBeatsPerMeasure(int beats);   // 1..8, measures x beats <= 1,024
    bool setChordName(int beat, std::string_view name);        // at most 7 bytes
    bool setSecondChordName(int beat, std::string_view name);  // at most 4 bytes; "" clears
    bool setNoteRecord(int index, const NoteRecord& record);
    bool setNoteRecord(int beat, int half, const NoteRecord& record) {
        return setNoteRecord(2 * beat + half, record);
    }
    bool setMelodyFlag(int index, int position, bool melody);
    bool setTableB(int beat, uint8_t value);
    bool setTableC(int beat, uint8_t value);
    bool setBassValues(int beat, uint8_t first, uint8_t second) {
        return setTableB(beat, first) && setTableC(beat, second);
    }
    bool setInfoValue(size_t offset, int32_t value);
    bool setLyricLine(int i, std::string_view bytes);  // at most 2,047 bytes
    // Bytes the negative slots hold for lyrics, and whether the current lines fit in them.
    size_t lyricCapacity() const;
    bool lyricsFit() const;
    void setPath(std::string path) { path_ = std::move(path); }

private:
    struct Blank {};
    explicit CSongData(Blank) {}  // filled by the caller
    struct Layout;
    void clearRecord();
    void resetState();
    void fillNewBlock(size_t offset, size_t length);
    void layOutGrid(int measures, int beats);
    void readImage(const uint8_t* data, size_t size, const Layout& layout);
    void finishReading(int& measures, int& beats, int& key, int& mode, bool checkMeter);
    void repairInformation();
    void collectLyrics();
    void repairChordNames();
    void tidySongText();
    void updateNoteRange() const;
    void setKeyName();
    void refuseMeter(int& measures, int& beats, int& key, int& mode);

    std::array<uint8_t, songdata::kFileSize> image_;  // every constructor fills it whole
    std::array<std::string, songdata::kLyricLines> lyrics_;
    std::string keyName_;
    std::string path_;
    mutable int lowest_ = -1;
    mutable int highest_ = -1;
    mutable bool rangeStale_ = false;
    bool loaded_ = false;
    std::string refusal_;
};

}  // namespace tunecase
