#include "songs/song_data.h"

#include <algorithm>
#include <bit>
#include <iterator>
#include <utility>
#include <cstdint>
#include <cstring>
#include <vector>

#include <sys/stat.h>

#include "base/text_codec.h"
#include "base/translation.h"
#include "base/utilities.h"

namespace tunecase {

using namespace songdata;

// The note table is scanned in place as 32-bit values.
static_assert(std::endian::native == std::endian::little);

const MessageTable kSongDataMessages{
    "SGDT",
    {
        {sgdt::NoteValueNotAllowed, N_("That note length cannot be set at this position.")},
        {sgdt::LyricTooLong, N_("A lyric may have at most 6 characters. Split it over two notes.")},
        {sgdt::OldData, N_("This song data is in an old format and cannot be used here.")},
        {sgdt::MeterMismatch, N_("Songs in different meters cannot be joined.")},
    },
    N_("An error occurred in the song data."),
};

const std::array<SongKey, kSongKeyCount> kSongKeys{{
    {"C", 0, 0, 0},    {"G", 0, 1, 7},    {"D", 0, 2, 2},     {"A", 0, 3, 9},     {"E", 0, 4, 4},
    {"B", 0, 5, 11},   {"F#", 0, 6, 6},   {"C#", 0, 7, 1},    {"F", 0, -1, 5},    {"Bb", 0, -2, 10},
    {"Eb", 0, -3, 3},  {"Ab", 0, -4, 8},  {"Db", 0, -5, 1},   {"Gb", 0, -6, 6},   {"Cb", 0, -7, 11},
    {"Am", 1, 0, 9},   {"Em", 1, 1, 4},   {"Bm", 1, 2, 11},   {"F#m", 1, 3, 6},   {"C#m", 1, 4, 1},
    {"G#m", 1, 5, 8},  {"D#m", 1, 6, 3},  {"A#m", 1, 7, 10},  {"Dm", 1, -1, 2},   {"Gm", 1, -2, 7},
    {"Cm", 1, -3, 0},  {"Fm", 1, -4, 5},  {"Bbm", 1, -5, 10}, {"Ebm", 1, -6, 3},  {"Abm", 1, -7, 8},
}};

const SongKey& songKey(int index) {
    if (index < 0 || index >= kSongKeyCount) {
        return kSongKeys[0];
    }
    return kSongKeys[static_cast<size_t>(index)];
}

int songKeyIndex(std::string_view name) {
    while (!name.empty() && name.back() == ' ') {
        name.remove_suffix(1);
    }
    for (int i = 0; i < kSongKeyCount; ++i) {
        if (name == kSongKeys[static_cast<size_t>(i)].name) {
            return i;
        }
    }
    return -1;
}

int NoteRecord::positions() const {
    if (value[2] == kUnused) {
        return value[1] == kContinue ? 1 : 2;
    }
    return 3;
}

namespace {

int32_t get32(const uint8_t* p) {
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24);
}

int16_t get16(const uint8_t* p) {
    return static_cast<int16_t>(static_cast<uint16_t>(p[0] | p[1] << 8));
}

void put32(uint8_t* p, int32_t v) {
    auto u = static_cast<uint32_t>(v);
    p[0] = static_cast<uint8_t>(u);
    p[1] = static_cast<uint8_t>(u >> 8);
    p[2] = static_cast<uint8_t>(u >> 16);
    p[3] = static_cast<uint8_t>(u >> 24);
}

void put16(uint8_t* p, int v) {
    auto u = static_cast<uint16_t>(v);
    p[0] = static_cast<uint8_t>(u);
    p[1] = static_cast<uint8_t>(u >> 8);
}

// Bytes of a zero-terminated text field, at most `capacity`.
std::string fieldBytes(const uint8_t* p, size_t capacity) {
    const void* end = std::memchr(p, 0, capacity);
    size_t n = end ? static_cast<size_t>(static_cast<const uint8_t*>(end) - p) : capacity;
    return std::string(reinterpret_cast<const char*>(p), n);
}

NoteRecord decodeNote(const uint8_t* p) {
    NoteRecord r;
    for (int i = 0; i < 3; ++i) {
        r.value[i] = get32(p + 4 * i);
    }
    std::memcpy(r.slot, p + 12, sizeof r.slot);
    return r;
}

void encodeNote(uint8_t* p, const NoteRecord& r) {
    for (int i = 0; i < 3; ++i) {
        put32(p + 4 * i, r.value[i]);
    }
    std::memcpy(p + 12, r.slot, sizeof r.slot);
}

uint8_t* noteAt(uint8_t* image, size_t index) {
    return image + kNoteTableOffset + index * kNoteRecordSize;
}

// The largest number of measures that fit the grid with `beats` per measure.
int clampMeasures(int measures, int beats) {
    if (measures < 0) {
        return 0;
    }
    if (beats > 0 && measures > static_cast<int>(kMaxBeats) / beats) {
        return static_cast<int>(kMaxBeats) / beats;
    }
    return measures;
}

// Walks the negative slots of the note table in order, handing each of their bytes to `f`
// until it returns false.
template <typename F>
void forEachLyricByte(uint8_t* image, F&& f) {
    for (size_t r = 0; r < kNoteRecords; ++r) {
        uint8_t* rec = noteAt(image, r);
        for (int p = 0; p < 3; ++p) {
            if (get32(rec + 4 * p) >= 0) {
                continue;
            }
            uint8_t* slot = rec + 12 + 8 * p;
            for (int j = 0; j < 8; ++j) {
                if (!f(slot[j])) {
                    return;
                }
            }
        }
    }
}

}  // namespace

// How a file or download of a given size maps onto the current layout.
struct CSongData::Layout {
    enum Kind { Short, Narrow, Current } kind = Current;
    bool download = false;
};

CSongData::CSongData() {
    newSong(4, 4, 0, 0);
}

CSongData::CSongData(const std::string& path, int& measures, int& beats, int& key, int& mode) {
    path_ = path;
    std::vector<uint8_t> bytes;
    bool read = false;
    if (fileCanBeOpened(path)) {
        int64_t size = fileSize(path);
        if (size >= 0) {
            // Nothing past the current layout is ever used.
            bytes.resize(static_cast<size_t>(std::min<int64_t>(size, static_cast<int64_t>(kFileSize))));
            int64_t got = readExact(path, bytes.data(), bytes.size());
            if (got >= 0) {
                bytes.resize(static_cast<size_t>(got));
                read = true;
            }
        }
    }
    if (!read) {
        newSong(measures, beats, key, mode);
        if (beats < 1 || beats > 8) {
            refuseMeter(measures, beats, key, mode);
        } else {
            measures = this->measures();
            key = keyIndex();
        }
        return;
    }
    Layout layout;
    if (bytes.size() == kSize32780) {
        layout.kind = Layout::Short;
    } else if (bytes.size() == kSize81932) {
        layout.kind = Layout::Narrow;
    }
    resetState();
    path_ = path;
    readImage(bytes.data(), bytes.size(), layout);
    finishReading(measures, beats, key, mode, true);
}

CSongData::CSongData(const uint8_t* bytes, size_t size) {
    if (!isSongDataSize(size) || bytes == nullptr) {
        reportCoded(kSongDataMessages, sgdt::OldData);
        newSong(0, 4, 0, 0);
        refusal_ = fillIn(tr("it is %s bytes, and a song is exactly %s bytes or at least %s"),
                          {std::to_string(bytes ? size : 0), std::to_string(kSize92492), std::to_string(kSize94540)});

        return;
    }
    Layout layout;
    layout.download = true;
    resetState();
    readImage(bytes, size, layout);
    int measures = 0, beats = 0, key = 0, mode = 0;
    finishReading(measures, beats, key, mode, true);
}

CSongData::CSongData(const CSongData& other, int firstMeasure, int lastMeasure) {
    const int beats = other.beatsPerMeasure();
    // Only measures that lie inside the other song's grid.
    const int total = beats > 0 ? std::clamp(other.measures(), 0, static_cast<int>(kMaxBeats) / beats) : 0;
    const int first = std::clamp(firstMeasure, 0, total);
    const int last = std::clamp(lastMeasure, first, total);
    clearRecord();
    layOutGrid(last - first, beats);
    std::memcpy(image_.data() + kInfoOffset, other.image_.data() + kInfoOffset, kInfoSize);
    const size_t from = static_cast<size_t>(first) * static_cast<size_t>(beats);
    const size_t count = static_cast<size_t>(last - first) * static_cast<size_t>(beats);
    std::memcpy(image_.data() + kChordTableOffset, other.image_.data() + kChordTableOffset + from * kChordRecordSize,
                count * kChordRecordSize);
    std::memcpy(noteAt(image_.data(), 0), other.image_.data() + kNoteTableOffset + 2 * from * kNoteRecordSize,
                2 * count * kNoteRecordSize);
    std::memcpy(image_.data() + kTableBOffset, other.image_.data() + kTableBOffset + from, count);
    std::memcpy(image_.data() + kTableCOffset, other.image_.data() + kTableCOffset + from, count);
    if (get32(noteAt(image_.data(), 0)) == kContinue) {
        put32(noteAt(image_.data(), 0), kRest);
    }
    put32(image_.data() + kMeasuresOffset, last - first);
    put16(image_.data() + kMeasuresOffset + 4, beats);
    put16(image_.data() + kMeasuresOffset + 6, other.mode());
    put32(image_.data() + kMeasuresOffset + 8, other.keyIndex());
    setKeyName();
    loaded_ = other.loaded_;
    rangeStale_ = true;
}

CSongData::~CSongData() = default;

std::unique_ptr<CSongData> CSongData::fromFileBytes(const uint8_t* bytes, size_t size, int& measures, int& beats,
                                                    int& key, int& mode, std::string_view path) {
    std::unique_ptr<CSongData> song(new CSongData(Blank{}));
    song->loadFileBytes(bytes, size, measures, beats, key, mode, path);
    return song;
}

void CSongData::loadFileBytes(const uint8_t* bytes, size_t size, int& measures, int& beats, int& key, int& mode,
                              std::string_view path) {
    if (bytes == nullptr) {
        size = 0;
    }
    Layout layout;
    if (size == kSize32780) {
        layout.kind = Layout::Short;
    } else if (size == kSize81932) {
        layout.kind = Layout::Narrow;
    }
    resetState();
    path_ = std::string(path);
    readImage(bytes, size, layout);
    finishReading(measures, beats, key, mode, true);
}

std::unique_ptr<CSongData> CSongData::open(const std::string& path) {
    int measures = 4, beats = 4, key = 0, mode = 0;
    return std::make_unique<CSongData>(path, measures, beats, key, mode);
}

// ---- New songs -------------------------------------------------------------------------------

void CSongData::clearRecord() {
    image_.fill(0);
    uint8_t* info = image_.data() + kInfoOffset;
    put32(info + kInfoValue196, 1);
    put32(info + kInfoTempo, 120);
    resetState();
}

void CSongData::resetState() {
    for (auto& line : lyrics_) {
        line.clear();
    }
    keyName_.clear();
    lowest_ = highest_ = -1;
    rangeStale_ = false;
    loaded_ = false;
    refusal_.clear();
}

namespace {

// The chord and note tables of a new song before measures are marked: every chord "----",
// every note record [-2, -2, -3] with empty slots. Built once and copied, since a song is laid
// out on every read.
struct BlankGrid {
    static const BlankGrid& get() {
        static const BlankGrid blank;
        return blank;
    }
    std::array<uint8_t, kMaxBeats * kChordRecordSize> chords{};
    std::array<uint8_t, kNoteRecords * kNoteRecordSize> notes{};
    BlankGrid() {
        for (size_t beat = 0; beat < kMaxBeats; ++beat) std::memcpy(&chords[beat * kChordRecordSize], "----", 4);
        for (size_t r = 0; r < kNoteRecords; ++r) encodeNote(&notes[r * kNoteRecordSize], NoteRecord{});
    }
};

}  // namespace

void CSongData::layOutGrid(int measures, int beats) {
    if (beats <= 0) {
        reportCoded(kSongDataMessages, sgdt::GridWithoutBeats);
        return;
    }
    const BlankGrid& blank = BlankGrid::get();
    const size_t inSong = static_cast<size_t>(clampMeasures(measures, beats)) * static_cast<size_t>(beats);
    uint8_t* chords = image_.data() + kChordTableOffset;
    std::memset(chords, 0, inSong * kChordRecordSize);
    std::memcpy(chords + inSong * kChordRecordSize, blank.chords.data() + inSong * kChordRecordSize,
                (kMaxBeats - inSong) * kChordRecordSize);
    std::memcpy(image_.data() + kNoteTableOffset, blank.notes.data(), blank.notes.size());
    // Each measure starts as a rest that the rest of the measure holds.
    for (size_t beat = 0; beat < kMaxBeats; beat += static_cast<size_t>(beats)) {
        put32(noteAt(image_.data(), 2 * beat), kRest);
    }
    std::memset(image_.data() + kTableBOffset, 0, kMaxBeats);
    std::memset(image_.data() + kTableCOffset, 0, kMaxBeats);
    rangeStale_ = true;
}

void CSongData::newSong(int measures, int beats, int key, int mode) {
    std::string keepPath = std::move(path_);
    clearRecord();
    path_ = std::move(keepPath);
    layOutGrid(measures, beats);
    put32(image_.data() + kMeasuresOffset, clampMeasures(measures, beats));
    put16(image_.data() + kMeasuresOffset + 4, beats);
    put16(image_.data() + kMeasuresOffset + 6, mode);
    put32(image_.data() + kMeasuresOffset + 8, key >= 0 && key < kSongKeyCount ? key : 0);
    setKeyName();
}

void CSongData::refuseMeter(int& measures, int& beats, int& key, int& mode) {
    reportText("[" + std::to_string(beats) + "]");
    reportText(N_("time sign 0"));
    const int refused = beats;
    newSong(4, 4, 0, 0);
    refusal_ = fillIn(tr("its meter has %s beats per measure, and a song has 1 to 8"), std::to_string(refused));
    measures = 4;
    beats = 4;
    key = 0;
    mode = 0;
}

// ---- Reading ---------------------------------------------------------------------------------

// A block the data does not cover reads as in a new song with no measures.
void CSongData::fillNewBlock(size_t offset, size_t length) {
    uint8_t* image = image_.data();
    const BlankGrid& blank = BlankGrid::get();
    if (offset == kChordTableOffset) {
        std::memcpy(image + offset, blank.chords.data(), blank.chords.size());
    } else if (offset == kNoteTableOffset) {
        std::memcpy(image + offset, blank.notes.data(), blank.notes.size());
        for (size_t beat = 0; beat < kMaxBeats; beat += 4) {
            put32(noteAt(image, 2 * beat), kRest);
        }
    } else {
        std::memset(image + offset, 0, length);
        if (offset == kInfoOffset) {
            put32(image + kInfoOffset + kInfoValue196, 1);
            put32(image + kInfoOffset + kInfoTempo, 120);
        }
    }
}

void CSongData::readImage(const uint8_t* data, size_t size, const Layout& layout) {
    uint8_t* image = image_.data();
    // The blocks of the current layout; the extension blocks are handled together.
    static constexpr std::pair<size_t, size_t> kBlocks[] = {
        {kChordTableOffset, kMaxBeats * kChordRecordSize},
        {kNoteTableOffset, kNoteRecords * kNoteRecordSize},
        {kInfoOffset, kInfoSize},
        {kMeasuresOffset, 12},
        {kTextOffset, kTextCapacity},
        {kTableBOffset, kMaxBeats},
        {kTableCOffset, kMaxBeats},
    };
    if (layout.kind != Layout::Current) {
        // Old kinds: 8-byte chord records, then 12-byte (Short) or full note records, then the
        // 12 bytes of measures, beats, mode and key. Nothing else is present.
        for (size_t i = 3; i < std::size(kBlocks); ++i) {
            fillNewBlock(kBlocks[i].first, kBlocks[i].second);
        }
        fillNewBlock(kInfoOffset, kInfoSize);
        fillNewBlock(kExtension1Offset, kFileSize - kExtension1Offset);
        for (size_t i = 0; i < kMaxBeats; ++i) {
            uint8_t* chord = image + kChordTableOffset + i * kChordRecordSize;
            std::memcpy(chord, data + i * 8, 8);
            std::memset(chord + 8, 0, 8);
        }
        size_t at = kMaxBeats * 8;
        if (layout.kind == Layout::Short) {
            for (size_t r = 0; r < kNoteRecords; ++r, at += 12) {
                NoteRecord rec;
                rec.value[0] = get32(data + at);
                std::memcpy(rec.slot[0], data + at + 4, 8);
                encodeNote(noteAt(image, r), rec);
            }
        } else {
            std::memcpy(image + kNoteTableOffset, data + at, kNoteRecords * kNoteRecordSize);
            at += kNoteRecords * kNoteRecordSize;
        }
        std::memcpy(image + kMeasuresOffset, data + at, 12);
        return;
    }
    // The current kind: a block is taken when the data covers it.
    for (const auto& [offset, length] : kBlocks) {
        if (size >= offset + length) {
            std::memcpy(image + offset, data + offset, length);
        } else {
            fillNewBlock(offset, length);
        }
    }
    if (!layout.download) {
        for (auto [offset, end] : {std::pair{kExtension1Offset, kExtension2Offset},
                                   std::pair{kExtension2Offset, kExtension3Offset},
                                   std::pair{kExtension3Offset, kFileSize}}) {
            if (size >= end) {
                std::memcpy(image + offset, data + offset, end - offset);
            } else {
                std::memset(image + offset, 0, end - offset);
            }
        }
    } else if (size == kSize99208 || size >= kFileSize) {
        // A download of this size carries the extension blocks up to the end of the data,
        // never past it.
        const size_t end = std::min(size, kFileSize);
        std::memcpy(image + kExtension1Offset, data + kExtension1Offset, end - kExtension1Offset);
        std::memset(image + end, 0, kFileSize - end);
    } else {
        std::memset(image + kExtension1Offset, 0, kFileSize - kExtension1Offset);
    }
}

namespace {

// Measures, beats and key as a reader takes them: from the measures field, or from the
// information block when that field has no measures.
void storedMeter(const uint8_t* image, int& m, int& b, int& k) {
    const uint8_t* field = image + kMeasuresOffset;
    m = get32(field);
    b = get16(field + 4);
    k = get32(field + 8);
    if (m <= 0) {
        const uint8_t* info = image + kInfoOffset;
        m = get32(info);
        b = get16(info + 4);
        k = get32(info + 8);
    }
}

}  // namespace

void CSongData::finishReading(int& measures, int& beats, int& key, int& mode, bool checkMeter) {
    repairInformation();
    uint8_t* field = image_.data() + kMeasuresOffset;
    int m = 0, b = 0, k = 0;
    storedMeter(image_.data(), m, b, k);
    int md = get16(field + 6);
    if (checkMeter && (b < 1 || b > 8)) {
        beats = b;
        refuseMeter(measures, beats, key, mode);
        return;
    }
    if (md == 0) {
        md = 1;
    }
    if (mode == 2) {
        md = 2;
    }
    m = clampMeasures(m, b);
    if (k < 0 || k >= kSongKeyCount) {
        k = 0;
    }
    put32(field, m);
    put16(field + 4, b);
    put16(field + 6, md);
    put32(field + 8, k);
    measures = m;
    beats = b;
    key = k;
    mode = md;

    collectLyrics();
    repairChordNames();
    tidySongText();
    setKeyName();
    rangeStale_ = true;  // worked out when first asked for
    loaded_ = true;
}

void CSongData::repairInformation() {
    uint8_t* info = image_.data() + kInfoOffset;
    if (static_cast<uint32_t>(get32(info + kInfoValue192)) == 0xFEEEFEEEu) {
        put32(info + kInfoValue192, 0);
    }
    if (static_cast<uint32_t>(get32(info + kInfoValue196)) == 0xFEEEFEEEu) {
        put32(info + kInfoValue196, 1);
    }
    if (info[kInfoFlag] == 0xDD) {
        info[kInfoFlag] = 0;
    }
    int tempo = get32(info + kInfoTempo);
    if (tempo < 40 || tempo > 240) {
        put32(info + kInfoTempo, 80);
    }
    int program = get32(info + kInfoProgram);
    if (program < 0 || program > 127) {
        put32(info + kInfoProgram, 0);
    }
}

void CSongData::collectLyrics() {
    for (auto& line : lyrics_) {
        line.clear();
    }
    size_t line = 0;
    forEachLyricByte(image_.data(), [&](uint8_t& byte) {
        const uint8_t b = byte;
        byte = 0;
        if (b == 0) {
            return ++line < kLyricLines;
        }
        if (lyrics_[line].size() < kLyricLineCapacity - 1) {
            lyrics_[line].push_back(static_cast<char>(b));
        }
        return true;
    });
}

void CSongData::repairChordNames() {
    const size_t beats = static_cast<size_t>(beatCount());
    for (size_t beat = 0; beat < beats; ++beat) {
        auto* name = reinterpret_cast<char*>(image_.data() + kChordTableOffset + beat * kChordRecordSize);
        const size_t length = strnlen(name, 8);
        for (size_t at = 1; at <= 2; ++at) {
            if (length > at && name[at] == '9') {
                std::memcpy(name + at, "add9", 5);
                break;
            }
        }
    }
}

void CSongData::tidySongText() {
    uint8_t* field = image_.data() + kTextOffset;
    const std::string text = fieldBytes(field, kTextCapacity - 1);
    const bool utf8 = isValidUtf8(text);
    std::string out;
    out.reserve(text.size());
    bool pendingBlank = false;
    size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        size_t width = 1;
        bool blank = c == ' ';
        if (utf8) {
            if (c == 0xE3 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
                static_cast<unsigned char>(text[i + 2]) == 0x80) {
                blank = true;  // the ideographic blank
                width = 3;
            }
        } else if (isCp932LeadByte(c) && i + 1 < text.size()) {
            width = 2;
            blank = c == 0x81 && text[i + 1] == 0x40;
        }
        if (blank) {
            pendingBlank = !out.empty();
        } else {
            if (c == '\r' || c == '\n') {
                pendingBlank = false;
            }
            if (pendingBlank) {
                out.push_back(' ');
                pendingBlank = false;
            }
            out.append(text, i, width);
        }
        i += width;
    }
    std::memset(field, 0, kTextCapacity);
    std::memcpy(field, out.data(), out.size());
}

void CSongData::updateNoteRange() const {
    if (!rangeStale_) {
        return;
    }
    rangeStale_ = false;
    int32_t low = 128, high = -1;
    const uint8_t* rec = image_.data() + kNoteTableOffset;
    const uint8_t* const end = rec + 2 * static_cast<size_t>(beatCount()) * kNoteRecordSize;
    for (; rec < end; rec += kNoteRecordSize) {
        int32_t v[3];
        std::memcpy(v, rec, sizeof v);  // little-endian, as the file
        for (int32_t n : v) {
            if (static_cast<uint32_t>(n) <= 127u) {  // a note; the negative codes are not
                low = std::min(low, n);
                high = std::max(high, n);
            }
        }
    }
    lowest_ = high < 0 ? -1 : low;
    highest_ = high;
}

void CSongData::setKeyName() {
    const SongKey& k = songKey(keyIndex());
    keyName_ = k.name;
    if (!k.minor) {
        keyName_ += ' ';
    }
}

// ---- Queries ---------------------------------------------------------------------------------

int CSongData::measures() const { return get32(image_.data() + kMeasuresOffset); }
int CSongData::beatsPerMeasure() const { return get16(image_.data() + kMeasuresOffset + 4); }
int CSongData::mode() const { return get16(image_.data() + kMeasuresOffset + 6); }

int CSongData::keyIndex() const {
    const int k = get32(image_.data() + kMeasuresOffset + 8);
    return k >= 0 && k < kSongKeyCount ? k : 0;
}

int CSongData::beatCount() const {
    const int64_t m = measures(), b = beatsPerMeasure();
    if (m <= 0 || b <= 0) {
        return 0;
    }
    return static_cast<int>(std::min<int64_t>(m * b, static_cast<int64_t>(kMaxBeats)));
}

int CSongData::tempo() const { return infoValue(kInfoTempo); }
int CSongData::program() const { return infoValue(kInfoProgram); }

std::string CSongData::title() const { return fieldBytes(image_.data() + kInfoOffset + kInfoTitle, kTitleCapacity); }
std::string CSongData::songText() const { return fieldBytes(image_.data() + kTextOffset, kTextCapacity); }

int32_t CSongData::infoValue(size_t offset) const {
    if (offset + 4 > kInfoSize) {
        return 0;
    }
    return get32(image_.data() + kInfoOffset + offset);
}

SongChordRecord CSongData::chordRecord(int beat) const {
    SongChordRecord r;
    if (beat < 0 || beat >= static_cast<int>(kMaxBeats)) {
        return r;
    }
    const uint8_t* p = image_.data() + kChordTableOffset + static_cast<size_t>(beat) * kChordRecordSize;
    std::memcpy(r.name, p, 8);
    r.value = get32(p + 8);
    std::memcpy(r.shortName, p + 12, 4);
    return r;
}

std::string CSongData::chordName(int beat) const {
    if (beat < 0 || beat >= static_cast<int>(kMaxBeats)) {
        return {};
    }
    return fieldBytes(image_.data() + kChordTableOffset + static_cast<size_t>(beat) * kChordRecordSize, 8);
}

std::string CSongData::secondChordName(int beat) const {
    if (beat < 0 || beat >= static_cast<int>(kMaxBeats)) {
        return {};
    }
    const uint8_t* p = image_.data() + kChordTableOffset + static_cast<size_t>(beat) * kChordRecordSize + 12;
    if (p[0] == kEmptyShortName) {
        return {};
    }
    return fieldBytes(p, 4);
}

NoteRecord CSongData::noteRecord(int index) const {
    if (index < 0 || index >= static_cast<int>(kNoteRecords)) {
        NoteRecord none;
        none.value[0] = kRest;
        return none;
    }
    return decodeNote(image_.data() + kNoteTableOffset + static_cast<size_t>(index) * kNoteRecordSize);
}

uint8_t CSongData::tableB(int beat) const {
    return beat >= 0 && beat < static_cast<int>(kMaxBeats) ? image_[kTableBOffset + static_cast<size_t>(beat)] : 0;
}

uint8_t CSongData::tableC(int beat) const {
    return beat >= 0 && beat < static_cast<int>(kMaxBeats) ? image_[kTableCOffset + static_cast<size_t>(beat)] : 0;
}

int CSongData::lowestNote() const {
    updateNoteRange();
    return lowest_;
}

int CSongData::highestNote() const {
    updateNoteRange();
    return highest_;
}

// ---- Writing ---------------------------------------------------------------------------------

namespace {

// Bytes of the negative slots, counting no further than `enough`.
size_t negativeSlotBytes(const uint8_t* image, size_t enough) {
    size_t n = 0;
    for (size_t r = 0; r < kNoteRecords && n < enough; ++r) {
        const uint8_t* rec = image + kNoteTableOffset + r * kNoteRecordSize;
        for (int p = 0; p < 3; ++p) {
            n += get32(rec + 4 * p) < 0 ? 8 : 0;
        }
    }
    return n;
}

}  // namespace

size_t CSongData::lyricCapacity() const { return negativeSlotBytes(image_.data(), SIZE_MAX); }

bool CSongData::lyricsFit() const {
    size_t need = 0;
    for (const auto& line : lyrics_) {
        need += line.size() + 1;
    }
    return negativeSlotBytes(image_.data(), need) >= need;
}

std::vector<uint8_t> CSongData::toBytes() const {
    std::vector<uint8_t> out;
    toBytes(out);
    return out;
}

void CSongData::toBytes(std::vector<uint8_t>& out) const {
    out.assign(image_.begin(), image_.end());
    // The lyric lines go back into the negative slots as one stream, each line ended by a
    // zero, so that reading the file collects the same twelve lines.
    size_t line = 0, at = 0;
    forEachLyricByte(out.data(), [&](uint8_t& byte) {
        const std::string& text = lyrics_[line];
        if (at < text.size()) {
            byte = static_cast<uint8_t>(text[at++]);
            return true;
        }
        byte = 0;
        at = 0;
        return ++line < kLyricLines;
    });
}

bool CSongData::saveFile(const std::string& path, std::string* reason) const {
    const std::vector<uint8_t> bytes = toBytes();
    return writeWhole(path, bytes.data(), bytes.size(), reason) == 1;
}

bool CSongData::setTitle(std::string_view bytes) {
    if (bytes.size() >= kTitleCapacity || bytes.find('\0') != std::string_view::npos) {
        return false;
    }
    uint8_t* field = image_.data() + kInfoOffset + kInfoTitle;
    std::memset(field, 0, kTitleCapacity);
    std::memcpy(field, bytes.data(), bytes.size());
    return true;
}

bool CSongData::setSongText(std::string_view bytes) {
    if (bytes.size() >= kTextCapacity || bytes.find('\0') != std::string_view::npos) {
        return false;
    }
    uint8_t* field = image_.data() + kTextOffset;
    std::memset(field, 0, kTextCapacity);
    std::memcpy(field, bytes.data(), bytes.size());
    return true;
}

void CSongData::setTempo(int bpm) { put32(image_.data() + kInfoOffset + kInfoTempo, bpm); }
void CSongData::setProgram(int program) { put32(image_.data() + kInfoOffset + kInfoProgram, program); }

bool CSongData::setKey(int index) {
    if (index < 0 || index >= kSongKeyCount) {
        return false;
    }
    put32(image_.data() + kMeasuresOffset + 8, index);
    setKeyName();
    return true;
}

void CSongData::setMode(int mode) { put16(image_.data() + kMeasuresOffset + 6, mode); }

bool CSongData::setMeasures(int measures) {
    if (measures < 0 || clampMeasures(measures, std::max(beatsPerMeasure(), 1)) != measures) {
        return false;
    }
    put32(image_.data() + kMeasuresOffset, measures);
    rangeStale_ = true;
    return true;
}

bool CSongData::setBeatsPerMeasure(int beats) {
    if (beats < 1 || beats > 8 || clampMeasures(measures(), beats) != measures()) {
        return false;
    }
    put16(image_.data() + kMeasuresOffset + 4, beats);
    rangeStale_ = true;
    return true;
}

bool CSongData::setChordName(int beat, std::string_view name) {
    if (beat < 0 || beat >= static_cast<int>(kMaxBeats) || name.size() > 7 ||
        name.find('\0') != std::string_view::npos) {
        return false;
    }
    uint8_t* p = image_.data() + kChordTableOffset + static_cast<size_t>(beat) * kChordRecordSize;
    std::memset(p, 0, 8);
    std::memcpy(p, name.data(), name.size());
    return true;
}

bool CSongData::setSecondChordName(int beat, std::string_view name) {
    if (beat < 0 || beat >= static_cast<int>(kMaxBeats) || name.size() > 4 ||
        name.find('\0') != std::string_view::npos) {
        return false;
    }
    uint8_t* p = image_.data() + kChordTableOffset + static_cast<size_t>(beat) * kChordRecordSize + 12;
    std::memset(p, 0, 4);
    std::memcpy(p, name.data(), name.size());
    return true;
}

bool CSongData::setNoteRecord(int index, const NoteRecord& record) {
    if (index < 0 || index >= static_cast<int>(kNoteRecords)) {
        return false;
    }
    encodeNote(noteAt(image_.data(), static_cast<size_t>(index)), record);
    rangeStale_ = true;
    return true;
}

bool CSongData::setMelodyFlag(int index, int position, bool melody) {
    if (index < 0 || index >= static_cast<int>(kNoteRecords) || position < 0 || position > 2) {
        return false;
    }
    noteAt(image_.data(), static_cast<size_t>(index))[12 + 8 * position] = melody ? 1 : 0;
    return true;
}

bool CSongData::setTableB(int beat, uint8_t value) {
    if (beat < 0 || beat >= static_cast<int>(kMaxBeats)) {
        return false;
    }
    image_[kTableBOffset + static_cast<size_t>(beat)] = value;
    return true;
}

bool CSongData::setTableC(int beat, uint8_t value) {
    if (beat < 0 || beat >= static_cast<int>(kMaxBeats)) {
        return false;
    }
    image_[kTableCOffset + static_cast<size_t>(beat)] = value;
    return true;
}

bool CSongData::setInfoValue(size_t offset, int32_t value) {
    if (offset + 4 > kInfoSize) {
        return false;
    }
    put32(image_.data() + kInfoOffset + offset, value);
    return true;
}

bool CSongData::setLyricLine(int i, std::string_view bytes) {
    if (i < 0 || i >= static_cast<int>(kLyricLines) || bytes.size() >= kLyricLineCapacity ||
        bytes.find('\0') != std::string_view::npos) {
        return false;
    }
    lyrics_[static_cast<size_t>(i)] = std::string(bytes);
    return true;
}

// ---- Checking a file ---------------------------------------------------------------------------

bool isSongDataSize(size_t size) { return size == kSize92492 || size >= kSize94540; }

namespace {

// 1234567 as "1,234,567".
std::string groupedDigits(uint64_t n) {
    std::string digits = std::to_string(n);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(static_cast<size_t>(at), ",");
    return digits;
}

}  // namespace

std::string songDataFileProblem(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    const std::string notSongData = fillIn(tr("%s is not a song-data file (.mwd): "), path);
    const auto size = static_cast<uint64_t>(st.st_size);
    if (!isSongDataSize(static_cast<size_t>(std::min<uint64_t>(size, SIZE_MAX)))) {
        std::string sizes = fillIn(size == 1 ? tr("a song-data file is %s bytes, or %s bytes or more; this one is %s byte.")
                                             : tr("a song-data file is %s bytes, or %s bytes or more; this one is %s bytes."),
                                   groupedDigits(kSize92492));
        sizes = fillIn(fillIn(sizes, groupedDigits(kSize94540)), groupedDigits(size));
        return notSongData + sizes;
    }
    std::vector<uint8_t> head(kTextOffset);
    if (readExact(path, head.data(), head.size()) != static_cast<int64_t>(head.size())) return {};
    int m = 0, b = 0, k = 0;
    storedMeter(head.data(), m, b, k);
    if (b < 1 || b > 8) {
        return notSongData + fillIn(tr("it gives %s beats to a measure, where a song has 1 to 8."), std::to_string(b));
    }
    return {};
}

}  // namespace tunecase
