// QR code encoder: turns a text (bytes; Shift-JIS kanji pairs allowed) into a model 2 QR
// code symbol, any version 1..40 at level L, M, Q or H.
//
// The work goes in the order the symbol is built, and qr_encoder.cpp is laid out the same
// way: the version table, splitting the text into segments, the data bit stream, the
// Reed-Solomon error correction and block interleaving, the function patterns, the
// codeword placement, the masks with their penalty score, and the format information.
//
// QrEncoder keeps the result of its last encode() for the picture and the command line;
// the free functions in namespace qr are the steps, there for the tests and the tools.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace tunecase {

namespace qr {

// Error-correction levels, numbered as the callers pass them.
inline constexpr int LevelL = 0;
inline constexpr int LevelM = 1;
inline constexpr int LevelQ = 2;
inline constexpr int LevelH = 3;

inline constexpr int MinVersion = 1;
inline constexpr int MaxVersion = 40;
inline constexpr int ChooseMask = -1;

// The ways a segment packs its characters, valued as their 4-bit mode indicators.
enum class Mode : uint8_t { Numeric = 1, Alphanumeric = 2, Byte = 4, Kanji = 8 };

// A run of the text written in one mode: `bytes` bytes of the source text, starting where
// the previous segment ended. A kanji segment holds two bytes per character.
struct Segment final {
    Mode mode = Mode::Byte;
    int bytes = 0;
    bool operator==(const Segment&) const = default;
};

// A finished symbol: how it was made and its modules row by row, 1 for dark.
struct Symbol final {
    int version = 0;
    int level = 0;
    int mask = 0;
    int size = 0;  // modules per side: version * 4 + 17
    std::vector<uint8_t> modules;

    // Module at column x, row y; outside the symbol counts as light.
    bool isDark(int x, int y) const {
        return x >= 0 && y >= 0 && x < size && y < size && modules[static_cast<size_t>(y * size + x)] != 0;
    }
};

// ---- Version table ------------------------------------------------------------------------

// Which group of character-count widths a version uses: 0 for 1..9, 1 for 10..26, 2 for 27..40.
int versionGroup(int version);

// All codewords of a version (data and error correction). Version must be 1..40.
int totalCodewords(int version);

// Data codewords of a version at a level: the capacity for the bit stream.
int dataCodewords(int version, int level);

// Error-correction codewords of each block, and the number of blocks.
int eccCodewordsPerBlock(int version, int level);
int blockCount(int version, int level);

// Row and column centres of the alignment patterns, ascending; empty for version 1.
std::vector<int> alignmentCentres(int version);

// ---- Segments -----------------------------------------------------------------------------

// Width in bits of a segment's character-count field in a version group.
int countFieldBits(Mode mode, int group);

// Bits a segment takes in a version group: mode indicator, count field and data. A segment
// with more characters than its count field holds is written as several, and costs so.
int64_t segmentBits(const Segment& segment, int group);

// The text cut into maximal runs of one class: kanji pairs (unless `kanji` is false),
// digits, the 45 alphanumeric characters, and everything else as bytes.
std::vector<Segment> classifyText(std::string_view text, bool kanji = true);

// The runs joined where that saves bits in `group`: digits into neighbouring alphanumerics
// (or 8-bit runs, whichever saves more), then neighbours into 8-bit segments left to right;
// and the whole text as one 8-bit segment when that is cheaper still.
std::vector<Segment> mergeSegments(std::vector<Segment> segments, int group);

// classifyText then mergeSegments.
std::vector<Segment> segmentText(std::string_view text, int group, bool kanji = true);

// ---- Data and error correction --------------------------------------------------------------

// The data codewords of `text` cut into `segments`: each segment's header and data, the
// terminator, zero bits to a byte boundary and the alternating pad codewords, exactly
// dataCodewords(version, level) long. Empty when the segments do not fit.
std::vector<uint8_t> dataBitStream(std::string_view text, const std::vector<Segment>& segments, int version,
                                   int level);

// The Reed-Solomon error-correction codewords of `data` over GF(256) (x^8+x^4+x^3+x^2+1),
// `eccLength` of them, for a generator with roots 2^0 .. 2^(eccLength-1). eccLength 1..30.
std::vector<uint8_t> reedSolomon(const uint8_t* data, int length, int eccLength);

// The final codeword sequence: the data split into the version's blocks, each given its
// error correction, then the data interleaved block by block, then the error correction.
std::vector<uint8_t> interleaveBlocks(const std::vector<uint8_t>& data, int version, int level);

// ---- Matrix and masks ------------------------------------------------------------------------

// The standard's penalty of a finished symbol: long runs, 2 x 2 blocks, finder-like
// patterns and the balance of dark and light.
int penaltyScore(const Symbol& symbol);

// The 15 format bits (level and mask with their BCH code, masked) and the 18 version bits.
int formatBits(int level, int mask);
int versionBits(int version);

// What the encoder was asked for.
struct Request final {
    int level = LevelM;
    int version = 0;           // 0: the smallest that fits
    bool allowLarger = true;   // a requested version too small becomes the smallest that fits
    int mask = ChooseMask;     // 0..7, or ChooseMask for the lowest penalty
    // Shift-JIS pairs in kanji mode. A reader turns kanji mode back into Shift-JIS text, so
    // text in another encoding (UTF-8 Japanese) must go as bytes or it reads back garbled.
    bool kanji = true;
};

// Encodes `text` as asked; nothing when the text is empty or too long, or the request is
// out of range. `segmentsOut`, when given, receives the segments used.
std::optional<Symbol> encodeText(std::string_view text, const Request& request,
                                 std::vector<Segment>* segmentsOut = nullptr,
                                 std::vector<uint8_t>* codewordsOut = nullptr);

}  // namespace qr

// The encoder as the picture and the upload dialog use it: one encode, then its modules.
class QrEncoder final {
public:
    // Encodes `length` bytes of `text` (0: up to its terminating NUL) at `level` 0..3.
    // `version` 0 takes the smallest that fits; with allowLarger 1 a version that is too
    // small is replaced by the smallest that fits, otherwise that fails. `mask` -1 picks the
    // mask with the lowest penalty. Returns 1 on success, 0 on failure (an empty text,
    // a text too long for version 40, or a setting out of range); a failure leaves no symbol.
    int encode(int level, int version, int allowLarger, int mask, const char* text, int length = 0);

    // version * 4 + 17 after a successful encode, 0 otherwise.
    int moduleCount() const { return symbol_.size; }
    // The module at column x, row y; false outside the symbol or when nothing is encoded.
    bool isDark(int x, int y) const { return symbol_.isDark(x, y); }

    int level() const { return symbol_.level; }
    int version() const { return symbol_.version; }
    int mask() const { return symbol_.mask; }
    const qr::Symbol& symbol() const { return symbol_; }
    const std::vector<qr::Segment>& segments() const { return segments_; }
    // The interleaved data and error-correction codewords, in placement order.
    const std::vector<uint8_t>& codewords() const { return codewords_; }

private:
    qr::Symbol symbol_;
    std::vector<qr::Segment> segments_;
    std::vector<uint8_t> codewords_;
};

}  // namespace tunecase
