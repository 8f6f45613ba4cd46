#include "qr/qr_encoder.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

namespace tunecase {
namespace qr {

// =============================================================================================
// 1. The version table
// =============================================================================================

namespace {

// Error-correction codewords per block, by level (L, M, Q, H), for versions 1..40 (index 0
// unused).
constexpr std::array<std::array<int8_t, 41>, 4> kEccPerBlock = {{
    {-1, 7,  10, 15, 20, 26, 18, 20, 24, 30, 18, 20, 24, 26, 30, 22, 24, 28, 30, 28, 28,
     28, 28, 30, 30, 26, 28, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30},
    {-1, 10, 16, 26, 18, 24, 16, 18, 22, 22, 26, 30, 22, 22, 24, 24, 28, 28, 26, 26, 26,
     26, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28, 28},
    {-1, 13, 22, 18, 26, 18, 24, 18, 22, 20, 24, 28, 26, 24, 20, 30, 24, 28, 28, 26, 30,
     28, 30, 30, 30, 30, 28, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30},
    {-1, 17, 28, 22, 16, 22, 28, 26, 26, 24, 28, 24, 28, 22, 24, 24, 30, 28, 28, 26, 28,
     30, 24, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30, 30},
}};

// Number of error-correction blocks, by level and version.
constexpr std::array<std::array<int8_t, 41>, 4> kBlocks = {{
    {-1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 4, 4, 4, 4, 4, 6, 6, 6, 6, 7, 8,
     8, 9, 9, 10, 12, 12, 12, 13, 14, 15, 16, 17, 18, 19, 19, 20, 21, 22, 24, 25},
    {-1, 1, 1, 1, 2, 2, 4, 4, 4, 5, 5, 5, 8, 9, 9, 10, 10, 11, 13, 14, 16,
     17, 17, 18, 20, 21, 23, 25, 26, 28, 29, 31, 33, 35, 37, 38, 40, 43, 45, 47, 49},
    {-1, 1, 1, 2, 2, 4, 4, 6, 6, 8, 8, 8, 10, 12, 16, 12, 17, 16, 18, 21, 20,
     23, 23, 25, 27, 29, 34, 34, 35, 38, 40, 43, 45, 48, 51, 53, 56, 59, 62, 65, 68},
    {-1, 1, 1, 2, 4, 4, 4, 5, 6, 8, 8, 11, 11, 16, 16, 18, 16, 19, 21, 25, 25,
     25, 34, 30, 32, 35, 37, 40, 42, 45, 48, 51, 54, 57, 60, 63, 66, 70, 74, 77, 81},
}};

constexpr int symbolSize(int version) { return version * 4 + 17; }

// Modules left for codewords once the function patterns and the format and version areas
// are taken: the whole square, less three finders with separators, the format areas and
// the dark module (the 64-module remainder below), the timing lines, the alignment
// patterns not overlapping a finder, and two version blocks from version 7.
constexpr int codewordModules(int version) {
    int modules = (16 * version + 128) * version + 64;
    if (version >= 2) {
        const int perSide = version / 7 + 2;
        modules -= (25 * perSide - 10) * perSide - 55;
        if (version >= 7) modules -= 36;
    }
    return modules;
}

constexpr int totalCodewordsOf(int version) { return codewordModules(version) / 8; }

constexpr int dataCodewordsOf(int version, int level) {
    return totalCodewordsOf(version) - kEccPerBlock[level][version] * kBlocks[level][version];
}

// Spot checks against the standard's capacity table.
static_assert(totalCodewordsOf(1) == 26 && totalCodewordsOf(7) == 196 && totalCodewordsOf(40) == 3706);
static_assert(dataCodewordsOf(1, LevelL) == 19 && dataCodewordsOf(1, LevelM) == 16 &&
              dataCodewordsOf(1, LevelQ) == 13 && dataCodewordsOf(1, LevelH) == 9);
static_assert(dataCodewordsOf(10, LevelM) == 216 && dataCodewordsOf(27, LevelQ) == 808);
static_assert(dataCodewordsOf(40, LevelL) == 2956 && dataCodewordsOf(40, LevelM) == 2334 &&
              dataCodewordsOf(40, LevelQ) == 1666 && dataCodewordsOf(40, LevelH) == 1276);

constexpr bool validVersion(int version) { return version >= MinVersion && version <= MaxVersion; }
constexpr bool validLevel(int level) { return level >= LevelL && level <= LevelH; }

}  // namespace

int versionGroup(int version) { return version <= 9 ? 0 : version <= 26 ? 1 : 2; }

int totalCodewords(int version) { return validVersion(version) ? totalCodewordsOf(version) : 0; }

int dataCodewords(int version, int level) {
    return validVersion(version) && validLevel(level) ? dataCodewordsOf(version, level) : 0;
}

int eccCodewordsPerBlock(int version, int level) {
    return validVersion(version) && validLevel(level) ? kEccPerBlock[level][version] : 0;
}

int blockCount(int version, int level) {
    return validVersion(version) && validLevel(level) ? kBlocks[level][version] : 0;
}

// The centres are spread evenly from 6 to size - 7 on a step of even length, rounded up;
// version 32 is the one exception the standard makes. This gives the standard's table.
std::vector<int> alignmentCentres(int version) {
    if (!validVersion(version) || version == 1) return {};
    const int count = version / 7 + 2;
    const int step = version == 32 ? 26 : (version * 4 + count * 2 + 1) / (count * 2 - 2) * 2;
    std::vector<int> centres(count);
    centres[0] = 6;
    for (int i = count - 1, at = symbolSize(version) - 7; i >= 1; --i, at -= step) centres[i] = at;
    return centres;
}

// =============================================================================================
// 2. Segments: classifying the text and merging the runs
// =============================================================================================

namespace {

// The value of an alphanumeric character (0..44), or -1.
constexpr std::array<int8_t, 256> kAlphanumericValue = [] {
    std::array<int8_t, 256> table{};
    table.fill(-1);
    const char* set = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./:";
    for (int i = 0; set[i] != '\0'; ++i) table[static_cast<unsigned char>(set[i])] = static_cast<int8_t>(i);
    return table;
}();

// A Shift-JIS character of the range the kanji mode carries: 0x8140..0x9FFC, 0xE040..0xEBBF.
constexpr bool isKanjiPair(unsigned char first, unsigned char second) {
    if (second < 0x40) return false;
    if (first >= 0x81 && first <= 0x9F) return first != 0x9F || second < 0xFD;
    if (first >= 0xE0 && first <= 0xEB) return first != 0xEB || second < 0xC0;
    return false;
}

constexpr bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }

int characters(const Segment& s) { return s.mode == Mode::Kanji ? s.bytes / 2 : s.bytes; }

// Data bits of `chars` characters in one mode, without the header.
int64_t dataBits(Mode mode, int64_t chars) {
    switch (mode) {
        case Mode::Numeric: return 10 * (chars / 3) + (chars % 3 == 1 ? 4 : chars % 3 == 2 ? 7 : 0);
        case Mode::Alphanumeric: return 11 * (chars / 2) + 6 * (chars % 2);
        case Mode::Byte: return 8 * chars;
        case Mode::Kanji: return 13 * chars;
    }
    return 0;
}

int maxCount(Mode mode, int group) { return (1 << countFieldBits(mode, group)) - 1; }

// Appends `s` to `out`, joining it to the last segment when their modes agree.
void append(std::vector<Segment>& out, const Segment& s) {
    if (!out.empty() && out.back().mode == s.mode)
        out.back().bytes += s.bytes;
    else
        out.push_back(s);
}

// Step one: a run of digits beside alphanumerics joins them when that is cheaper; when a
// neighbour is an 8-bit run, joining that instead is weighed too, and the larger saving wins.
std::vector<Segment> joinDigitsToAlphanumerics(const std::vector<Segment>& in, int group) {
    std::vector<Segment> out;
    out.reserve(in.size());
    for (size_t k = 0; k < in.size(); ++k) {
        const Segment& digits = in[k];
        const Segment* left = out.empty() ? nullptr : &out.back();
        const Segment* right = k + 1 < in.size() ? &in[k + 1] : nullptr;
        if (digits.mode != Mode::Numeric) {
            append(out, digits);
            continue;
        }
        // The saving of joining the digits with whichever neighbours are in `mode`.
        struct Choice {
            bool left = false, right = false;
            int64_t saving = 0;
        };
        auto weigh = [&](Mode mode) {
            Choice c;
            c.left = left && left->mode == mode;
            c.right = right && right->mode == mode;
            if (!c.left && !c.right) return c;
            int64_t apart = segmentBits(digits, group);
            int joined = digits.bytes;
            if (c.left) apart += segmentBits(*left, group), joined += left->bytes;
            if (c.right) apart += segmentBits(*right, group), joined += right->bytes;
            c.saving = apart - segmentBits({mode, joined}, group);
            return c;
        };
        const Choice asText = weigh(Mode::Alphanumeric);
        if (!asText.left && !asText.right) {
            append(out, digits);
            continue;
        }
        const Choice asBytes = weigh(Mode::Byte);
        const bool bytesWin = asBytes.saving > asText.saving;
        const Choice& best = bytesWin ? asBytes : asText;
        if (best.saving <= 0) {
            append(out, digits);
            continue;
        }
        Segment joined{bytesWin ? Mode::Byte : Mode::Alphanumeric, digits.bytes};
        if (best.left) joined.bytes += out.back().bytes, out.pop_back();
        if (best.right) joined.bytes += in[++k].bytes;
        append(out, joined);
    }
    return out;
}

// Step two, left to right: the last two segments become one 8-bit segment whenever that is
// cheaper, and the new segment is then weighed against its left neighbour in turn. An 8-bit
// segment on either side of the pair joins too, so the pair is credited with the header that
// joining it saves.
std::vector<Segment> joinIntoBytes(const std::vector<Segment>& in, int group) {
    std::vector<Segment> out;
    out.reserve(in.size());
    for (size_t k = 0; k < in.size(); ++k) {
        append(out, in[k]);
        while (out.size() >= 2) {
            const size_t n = out.size();
            const bool takeLeft = n >= 3 && out[n - 3].mode == Mode::Byte;
            const bool takeRight = k + 1 < in.size() && in[k + 1].mode == Mode::Byte;
            int64_t apart = segmentBits(out[n - 2], group) + segmentBits(out[n - 1], group);
            int joined = out[n - 2].bytes + out[n - 1].bytes;
            if (takeLeft) apart += segmentBits(out[n - 3], group), joined += out[n - 3].bytes;
            if (takeRight) apart += segmentBits(in[k + 1], group), joined += in[k + 1].bytes;
            if (segmentBits({Mode::Byte, joined}, group) >= apart) break;
            out.resize(n - (takeLeft ? 3 : 2));
            if (takeRight) ++k;
            append(out, {Mode::Byte, joined});
        }
    }
    return out;
}

}  // namespace

int countFieldBits(Mode mode, int group) {
    static constexpr int widths[4][3] = {{10, 12, 14}, {9, 11, 13}, {8, 16, 16}, {8, 10, 12}};
    const int row = mode == Mode::Numeric ? 0 : mode == Mode::Alphanumeric ? 1 : mode == Mode::Byte ? 2 : 3;
    return widths[row][std::clamp(group, 0, 2)];
}

int64_t segmentBits(const Segment& segment, int group) {
    const int header = 4 + countFieldBits(segment.mode, group);
    const int most = maxCount(segment.mode, group);
    int64_t bits = 0;
    for (int64_t left = characters(segment); left > 0; left -= most)
        bits += header + dataBits(segment.mode, std::min<int64_t>(left, most));
    return bits;
}

std::vector<Segment> classifyText(std::string_view text, bool kanji) {
    std::vector<Segment> out;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        Segment next{Mode::Byte, 1};
        if (kanji && i + 1 < n && isKanjiPair(bytes[i], bytes[i + 1]))
            next = {Mode::Kanji, 2};
        else if (isDigit(bytes[i]))
            next.mode = Mode::Numeric;
        else if (kAlphanumericValue[bytes[i]] >= 0)
            next.mode = Mode::Alphanumeric;
        append(out, next);
        i += static_cast<size_t>(next.bytes);
    }
    return out;
}

std::vector<Segment> mergeSegments(std::vector<Segment> segments, int group) {
    std::vector<Segment> merged = joinIntoBytes(joinDigitsToAlphanumerics(segments, group), group);
    // The two steps look at neighbours only; where the headers are long, several short
    // segments can still cost more than one 8-bit segment for the whole text.
    int64_t bits = 0;
    int bytes = 0;
    for (const Segment& s : merged) bits += segmentBits(s, group), bytes += s.bytes;
    const Segment whole{Mode::Byte, bytes};
    if (merged.size() > 1 && segmentBits(whole, group) < bits) return {whole};
    return merged;
}

std::vector<Segment> segmentText(std::string_view text, int group, bool kanji) {
    return mergeSegments(classifyText(text, kanji), group);
}

// =============================================================================================
// 3. The data bit stream
// =============================================================================================

namespace {

// Writes bits most significant first into a zeroed byte array of fixed length.
class BitWriter final {
public:
    explicit BitWriter(std::vector<uint8_t>& bytes) : bytes_(bytes) {}

    void put(uint32_t value, int bits) {
        for (int i = bits - 1; i >= 0; --i, ++at_)
            if ((value >> i) & 1u) bytes_[at_ >> 3] |= static_cast<uint8_t>(0x80u >> (at_ & 7));
    }
    void skip(size_t bits) { at_ += bits; }
    size_t position() const { return at_; }

private:
    std::vector<uint8_t>& bytes_;
    size_t at_ = 0;
};

// Writes `chars` characters of one mode from `p`, without the header.
void putCharacters(BitWriter& w, Mode mode, const unsigned char* p, int chars) {
    switch (mode) {
        case Mode::Numeric:
            for (int i = 0; i < chars; i += 3) {
                const int take = std::min(3, chars - i);
                uint32_t value = 0;
                for (int j = 0; j < take; ++j) value = value * 10 + static_cast<uint32_t>(p[i + j] - '0');
                w.put(value, take * 3 + 1);  // 10, 7 or 4 bits
            }
            break;
        case Mode::Alphanumeric:
            for (int i = 0; i + 1 < chars; i += 2)
                w.put(static_cast<uint32_t>(kAlphanumericValue[p[i]] * 45 + kAlphanumericValue[p[i + 1]]), 11);
            if (chars % 2) w.put(static_cast<uint32_t>(kAlphanumericValue[p[chars - 1]]), 6);
            break;
        case Mode::Byte:
            for (int i = 0; i < chars; ++i) w.put(p[i], 8);
            break;
        case Mode::Kanji:
            for (int i = 0; i < chars; ++i) {
                uint32_t code = static_cast<uint32_t>(p[2 * i] << 8 | p[2 * i + 1]);
                code -= code >= 0xE040 ? 0xC140 : 0x8140;
                w.put((code >> 8) * 0xC0 + (code & 0xFF), 13);
            }
            break;
    }
}

}  // namespace

std::vector<uint8_t> dataBitStream(std::string_view text, const std::vector<Segment>& segments, int version,
                                   int level) {
    if (!validVersion(version) || !validLevel(level)) return {};
    const int group = versionGroup(version);
    const size_t capacityBits = static_cast<size_t>(dataCodewordsOf(version, level)) * 8;
    int64_t needed = 0;
    size_t covered = 0;
    for (const Segment& s : segments) needed += segmentBits(s, group), covered += static_cast<size_t>(s.bytes);
    if (needed > static_cast<int64_t>(capacityBits) || covered != text.size()) return {};

    std::vector<uint8_t> bytes(capacityBits / 8, 0);
    BitWriter w(bytes);
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    for (const Segment& s : segments) {
        const int bytesPerChar = s.mode == Mode::Kanji ? 2 : 1;
        const int most = maxCount(s.mode, group);
        for (int left = characters(s); left > 0;) {
            const int chars = std::min(left, most);
            w.put(static_cast<uint32_t>(s.mode), 4);
            w.put(static_cast<uint32_t>(chars), countFieldBits(s.mode, group));
            putCharacters(w, s.mode, p, chars);
            p += chars * bytesPerChar;
            left -= chars;
        }
    }
    // Terminator of up to four zero bits, zeros to the byte boundary (the array is zeroed),
    // then the pad codewords.
    w.skip(std::min<size_t>(4, capacityBits - w.position()));
    for (size_t at = (w.position() + 7) / 8, i = 0; at < bytes.size(); ++at, ++i) bytes[at] = i % 2 ? 0x11 : 0xEC;
    return bytes;
}

// =============================================================================================
// 4. Reed-Solomon error correction and block interleaving
// =============================================================================================

namespace {

// GF(256) with the field polynomial x^8 + x^4 + x^3 + x^2 + 1; exp is doubled so a sum of
// two logarithms needs no reduction.
struct Field final {
    std::array<uint8_t, 512> exp{};
    std::array<uint8_t, 256> log{};
};

constexpr Field kField = [] {
    Field f;
    unsigned x = 1;
    for (int i = 0; i < 255; ++i) {
        f.exp[i] = f.exp[i + 255] = static_cast<uint8_t>(x);
        f.log[x] = static_cast<uint8_t>(i);
        x <<= 1;
        if (x & 0x100) x ^= 0x11D;
    }
    f.exp[510] = f.exp[511] = f.exp[0];
    return f;
}();

constexpr uint8_t multiply(uint8_t a, uint8_t b) {
    return a == 0 || b == 0 ? 0 : kField.exp[kField.log[a] + kField.log[b]];
}

constexpr int kMaxEcc = 30;

// The generator polynomials (x - 2^0)(x - 2^1)...(x - 2^(d-1)) for d = 1..30: monic, and
// stored as the coefficients after the leading 1, highest power first.
using Generator = std::array<uint8_t, kMaxEcc>;
constexpr std::array<Generator, kMaxEcc + 1> kGenerators = [] {
    std::array<Generator, kMaxEcc + 1> all{};
    for (int degree = 1; degree <= kMaxEcc; ++degree) {
        std::array<uint8_t, kMaxEcc + 1> poly{};  // poly[0] is the leading coefficient
        poly[0] = 1;
        for (int k = 0; k < degree; ++k)  // multiply by (x - 2^k)
            for (int j = k + 1; j >= 1; --j) poly[j] ^= multiply(poly[j - 1], kField.exp[k]);
        for (int j = 0; j < degree; ++j) all[degree][j] = poly[j + 1];
    }
    return all;
}();

// The generators' coefficients as logarithms (none is zero: each is a product of powers of
// 2), so the division below multiplies by one table look-up.
constexpr std::array<Generator, kMaxEcc + 1> kGeneratorLogs = [] {
    std::array<Generator, kMaxEcc + 1> all{};
    for (int degree = 1; degree <= kMaxEcc; ++degree)
        for (int j = 0; j < degree; ++j) all[degree][j] = kField.log[kGenerators[degree][j]];
    return all;
}();
static_assert([] {
    for (int degree = 1; degree <= kMaxEcc; ++degree)
        for (int j = 0; j < degree; ++j)
            if (kGenerators[degree][j] == 0) return false;
    return true;
}());

// The remainder of data(x) * x^ecc divided by the generator of degree ecc, into `out`:
// the error-correction codewords.
void remainder(const uint8_t* data, int length, int ecc, uint8_t* out) {
    const Generator& g = kGeneratorLogs[ecc];
    std::memset(out, 0, static_cast<size_t>(ecc));
    for (int i = 0; i < length; ++i) {
        const uint8_t factor = data[i] ^ out[0];
        std::memmove(out, out + 1, static_cast<size_t>(ecc - 1));
        out[ecc - 1] = 0;
        if (factor == 0) continue;
        const int logFactor = kField.log[factor];
        for (int j = 0; j < ecc; ++j) out[j] ^= kField.exp[g[j] + logFactor];
    }
}

}  // namespace

std::vector<uint8_t> reedSolomon(const uint8_t* data, int length, int eccLength) {
    if (eccLength < 1 || eccLength > kMaxEcc || length < 0) return {};
    std::vector<uint8_t> out(static_cast<size_t>(eccLength));
    remainder(data, length, eccLength, out.data());
    return out;
}

std::vector<uint8_t> interleaveBlocks(const std::vector<uint8_t>& data, int version, int level) {
    if (!validVersion(version) || !validLevel(level) ||
        data.size() != static_cast<size_t>(dataCodewordsOf(version, level)))
        return {};
    const int blocks = kBlocks[level][version];
    const int ecc = kEccPerBlock[level][version];
    const int total = totalCodewordsOf(version);
    // The last `longBlocks` blocks hold one data codeword more than the others.
    const int longBlocks = total % blocks;
    const int shortData = total / blocks - ecc;

    std::vector<int> start(blocks + 1, 0);  // where each block's data begins
    for (int b = 0; b < blocks; ++b) start[b + 1] = start[b] + shortData + (b >= blocks - longBlocks ? 1 : 0);
    std::vector<uint8_t> eccBytes(blocks * ecc);
    for (int b = 0; b < blocks; ++b) remainder(data.data() + start[b], start[b + 1] - start[b], ecc, &eccBytes[b * ecc]);

    std::vector<uint8_t> out;
    out.reserve(total);
    for (int i = 0; i <= shortData; ++i)
        for (int b = 0; b < blocks; ++b)
            if (start[b] + i < start[b + 1]) out.push_back(data[start[b] + i]);
    for (int i = 0; i < ecc; ++i)
        for (int b = 0; b < blocks; ++b) out.push_back(eccBytes[b * ecc + i]);
    return out;
}

// =============================================================================================
// 5. The matrix and its function patterns
// =============================================================================================

namespace {

// A symbol under construction: module colours, and which modules belong to function
// patterns (finders, separators, timing, alignment, format and version areas, dark module).
struct Grid final {
    int size = 0;
    std::vector<uint8_t> dark;
    std::vector<uint8_t> function;

    explicit Grid(int version)
        : size(symbolSize(version)),
          dark(static_cast<size_t>(size * size), 0),
          function(static_cast<size_t>(size * size), 0) {}

    size_t at(int x, int y) const { return static_cast<size_t>(y * size + x); }
    // Sets a function module.
    void fix(int x, int y, bool isDark) {
        dark[at(x, y)] = isDark ? 1 : 0;
        function[at(x, y)] = 1;
    }
};

// A finder pattern centred on (cx, cy) with its light separator, clipped to the symbol.
void drawFinder(Grid& g, int cx, int cy) {
    for (int dy = -4; dy <= 4; ++dy)
        for (int dx = -4; dx <= 4; ++dx) {
            const int x = cx + dx, y = cy + dy;
            if (x < 0 || y < 0 || x >= g.size || y >= g.size) continue;
            const int ring = std::max(std::abs(dx), std::abs(dy));
            g.fix(x, y, ring != 2 && ring != 4);
        }
}

void drawAlignment(Grid& g, int cx, int cy) {
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx) g.fix(cx + dx, cy + dy, std::max(std::abs(dx), std::abs(dy)) != 1);
}

// Where the 15 format bits go in a symbol of side n: bit `bit` at column x, row y, twice.
struct FormatModule final {
    int x, y, bit;
};

std::array<FormatModule, 30> formatModules(int n) {
    std::array<FormatModule, 30> m{};
    size_t k = 0;
    // Around the top-left finder: down column 8 skipping the timing row, then left along row 8.
    for (int i = 0; i <= 5; ++i) m[k++] = {8, i, i};
    m[k++] = {8, 7, 6};
    m[k++] = {8, 8, 7};
    m[k++] = {7, 8, 8};
    for (int i = 9; i < 15; ++i) m[k++] = {14 - i, 8, i};
    // The second copy: along row 8 under the top-right finder, up column 8 beside the
    // bottom-left one.
    for (int i = 0; i < 8; ++i) m[k++] = {n - 1 - i, 8, i};
    for (int i = 8; i < 15; ++i) m[k++] = {8, n - 15 + i, i};
    return m;
}

// Writes the format bits in both copies, and the dark module beside the lower copy.
void drawFormat(Grid& g, int bits) {
    for (const FormatModule& f : formatModules(g.size)) g.fix(f.x, f.y, ((bits >> f.bit) & 1) != 0);
    g.fix(8, g.size - 8, true);
}

// The 18 version bits in the two 6 x 3 blocks beside the top-right and bottom-left finders.
void drawVersion(Grid& g, int version) {
    if (version < 7) return;
    const int bits = versionBits(version);
    for (int i = 0; i < 18; ++i) {
        const bool on = ((bits >> i) & 1) != 0;
        const int a = g.size - 11 + i % 3, b = i / 3;
        g.fix(a, b, on);
        g.fix(b, a, on);
    }
}

void drawFunctionPatterns(Grid& g, int version) {
    const int n = g.size;
    for (int i = 0; i < n; ++i) {
        g.fix(6, i, i % 2 == 0);
        g.fix(i, 6, i % 2 == 0);
    }
    drawFinder(g, 3, 3);
    drawFinder(g, n - 4, 3);
    drawFinder(g, 3, n - 4);
    const std::vector<int> centres = alignmentCentres(version);
    const size_t last = centres.empty() ? 0 : centres.size() - 1;
    for (size_t i = 0; i < centres.size(); ++i)
        for (size_t j = 0; j < centres.size(); ++j) {
            const bool onFinder = (i == 0 && j == 0) || (i == 0 && j == last) || (i == last && j == 0);
            if (!onFinder) drawAlignment(g, centres[i], centres[j]);
        }
    drawFormat(g, 0);  // reserves the areas, light; the real bits come with the mask
    drawVersion(g, version);
}

// =============================================================================================
// 6. Placing the codewords
// =============================================================================================

// Two columns at a time from the right edge, upwards then downwards in turn, stepping over
// the vertical timing line; within a pair the right module comes first. Function modules are
// skipped; modules left over after the last codeword stay light.
void placeCodewords(Grid& g, const std::vector<uint8_t>& codewords) {
    const size_t bits = codewords.size() * 8;
    size_t i = 0;
    const int n = g.size;
    for (int right = n - 1; right >= 1; right -= 2) {
        if (right == 6) right = 5;
        const bool upward = ((right + 1) & 2) == 0;
        for (int step = 0; step < n; ++step) {
            const int y = upward ? n - 1 - step : step;
            for (int x = right; x >= right - 1; --x) {
                const size_t at = g.at(x, y);
                if (g.function[at]) continue;
                if (i < bits) g.dark[at] = (codewords[i >> 3] >> (7 - (i & 7))) & 1;
                ++i;
            }
        }
    }
}

// =============================================================================================
// 7. Masks and their penalty
// =============================================================================================

// True where mask pattern `mask` inverts the module in column x, row y.
constexpr bool maskInverts(int mask, int x, int y) {
    switch (mask) {
        case 0: return (x + y) % 2 == 0;
        case 1: return y % 2 == 0;
        case 2: return x % 3 == 0;
        case 3: return (x + y) % 3 == 0;
        case 4: return (y / 2 + x / 3) % 2 == 0;
        case 5: return (x * y) % 2 + (x * y) % 3 == 0;
        case 6: return ((x * y) % 2 + (x * y) % 3) % 2 == 0;
        default: return ((x + y) % 2 + (x * y) % 3) % 2 == 0;
    }
}

// Inverts the data modules that `mask` selects, in the finished grid.
void applyMask(Grid& g, int mask) {
    for (int y = 0; y < g.size; ++y)
        for (int x = 0; x < g.size; ++x) {
            const size_t at = g.at(x, y);
            if (!g.function[at] && maskInverts(mask, x, y)) g.dark[at] ^= 1;
        }
}

// While the mask is chosen, the symbol is held as bits, one Line per row and one per column,
// so each penalty rule is a handful of word operations per line. Module i of a line is bit i;
// the bits after the line are 0 and shifts bring in 0 from before it, so the outside of the
// symbol reads as light, as the rules take it. A line has room for 10 bits past its end.
template <int Words>
struct Line final {
    std::array<uint64_t, Words> w{};

    void set(int i) { w[i >> 6] |= uint64_t{1} << (i & 63); }
    friend Line operator&(Line a, const Line& b) {
        for (int i = 0; i < Words; ++i) a.w[i] &= b.w[i];
        return a;
    }
    friend Line operator|(Line a, const Line& b) {
        for (int i = 0; i < Words; ++i) a.w[i] |= b.w[i];
        return a;
    }
    friend Line operator^(Line a, const Line& b) {
        for (int i = 0; i < Words; ++i) a.w[i] ^= b.w[i];
        return a;
    }
    friend Line operator~(Line a) {
        for (int i = 0; i < Words; ++i) a.w[i] = ~a.w[i];
        return a;
    }
    // Bit i takes bit i + k (k 1..63): the module k further along.
    Line ahead(int k) const {
        Line r;
        for (int i = 0; i < Words; ++i) r.w[i] = (w[i] >> k) | (i + 1 < Words ? w[i + 1] << (64 - k) : 0);
        return r;
    }
    // Bit i takes bit i - k (k 1..63): the module k before.
    Line behind(int k) const {
        Line r;
        for (int i = 0; i < Words; ++i) r.w[i] = (w[i] << k) | (i > 0 ? w[i - 1] >> (64 - k) : 0);
        return r;
    }
    bool any() const {
        uint64_t x = 0;
        for (uint64_t v : w) x |= v;
        return x != 0;
    }
    int count() const {
        int n = 0;
        for (uint64_t v : w) {
            // Counted in place: without a popcount instruction the builtin becomes a call.
            v -= (v >> 1) & 0x5555555555555555u;
            v = (v & 0x3333333333333333u) + ((v >> 2) & 0x3333333333333333u);
            v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
            n += static_cast<int>((v * 0x0101010101010101u) >> 56);
        }
        return n;
    }
};

constexpr int kMaxSize = 177;
constexpr int kMaxWords = 3;

// Words a line of a symbol of side n needs, with its 10 light bits past the end.
constexpr int lineWords(int n) { return (n + 10 + 63) / 64; }
static_assert(lineWords(kMaxSize) == kMaxWords);

// The modules each mask inverts along a row y (by y mod 12) and down a column x (by x mod
// 12): every mask pattern repeats every 12 modules both ways.
struct MaskLines final {
    std::array<std::array<Line<kMaxWords>, 12>, 8> row;
    std::array<std::array<Line<kMaxWords>, 12>, 8> column;
};

const MaskLines& maskLines() {
    static const MaskLines lines = [] {
        MaskLines m{};
        for (int mask = 0; mask < 8; ++mask)
            for (int r = 0; r < 12; ++r)
                for (int i = 0; i < kMaxSize; ++i) {
                    if (maskInverts(mask, i, r)) m.row[mask][r].set(i);
                    if (maskInverts(mask, r, i)) m.column[mask][r].set(i);
                }
        return m;
    }();
    return lines;
}

template <int Words>
Line<Words> firstWords(const Line<kMaxWords>& l) {
    Line<Words> r;
    for (int i = 0; i < Words; ++i) r.w[i] = l.w[i];
    return r;
}

constexpr int kRunPenalty = 3;       // a run of 5, and one more per module beyond
constexpr int kBlockPenalty = 3;     // each 2 x 2 block of one colour
constexpr int kFinderPenalty = 40;   // each finder-like pattern
constexpr int kBalancePenalty = 10;  // each 5 % step away from half dark

// A symbol of side n as row and column lines, and the spans the rules look at.
template <int Words>
struct PackedSymbol final {
    int n = 0;
    std::vector<Line<Words>> rows, columns;
    Line<Words> runStarts;   // where a run of five can start: 0 .. n - 5
    Line<Words> pairStarts;  // where two neighbours can start: 0 .. n - 2

    explicit PackedSymbol(int side) : n(side), rows(side), columns(side) {
        for (int i = 0; i + 5 <= side; ++i) runStarts.set(i);
        for (int i = 0; i + 2 <= side; ++i) pairStarts.set(i);
    }

    void setDark(int x, int y) {
        rows[y].set(x);
        columns[x].set(y);
    }
};

// Rules one and three along one line.
template <int Words>
int linePenalty(const Line<Words>& m, const PackedSymbol<Words>& p) {
    // Rule one. A run of length L >= 5 holds L - 4 starts of five modules of one colour:
    // each is one point, and the first of the run brings the rest of the run's base score.
    const Line<Words> change = m ^ m.ahead(1);
    const Line<Words> five = ~(change | change.ahead(1) | change.ahead(2) | change.ahead(3)) & p.runStarts;
    int score = 0;
    if (five.any()) score += five.count() + (kRunPenalty - 1) * (five & ~five.behind(1)).count();

    // Rule three: dark-light-dark-dark-dark-light-dark starting here, with four light
    // modules before it and one after, or one before and four after.
    const Line<Words> pattern = m & ~m.ahead(1) & m.ahead(2) & m.ahead(3) & m.ahead(4) & ~m.ahead(5) & m.ahead(6);
    if (!pattern.any()) return score;
    const Line<Words> darkBefore = m.behind(1);
    const Line<Words> darkFourBefore = darkBefore | m.behind(2) | m.behind(3) | m.behind(4);
    const Line<Words> darkAfter = m.ahead(7);
    const Line<Words> darkFourAfter = darkAfter | m.ahead(8) | m.ahead(9) | m.ahead(10);
    const Line<Words> bounded = (~darkFourBefore & ~darkAfter) | (~darkBefore & ~darkFourAfter);
    return score + kFinderPenalty * (pattern & bounded).count();
}

template <int Words>
int packedPenalty(const PackedSymbol<Words>& p) {
    int score = 0;
    int dark = 0;
    for (int i = 0; i < p.n; ++i) {
        const Line<Words>& row = p.rows[i];
        score += linePenalty(row, p) + linePenalty(p.columns[i], p);
        dark += row.count();
        if (i + 1 < p.n) {
            const Line<Words>& below = p.rows[i + 1];
            const Line<Words> same = ~(row ^ row.ahead(1)) & ~(row ^ below) & ~(below ^ below.ahead(1)) & p.pairStarts;
            if (same.any()) score += kBlockPenalty * same.count();
        }
    }
    const int modules = p.n * p.n;
    const int lightPercent = (modules - dark) * 100 / modules;
    return score + kBalancePenalty * (std::abs(50 - lightPercent) / 5);
}

template <int Words>
PackedSymbol<Words> pack(const uint8_t* modules, int n) {
    PackedSymbol<Words> p(n);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x)
            if (modules[y * n + x]) p.setDark(x, y);
    return p;
}

template <int Words>
int penaltyOf(const uint8_t* modules, int n) {
    return packedPenalty(pack<Words>(modules, n));
}

// The mask with the lowest penalty for the placed grid (format areas still light), each
// tried with its own format bits; the lower number wins a tie.
template <int Words>
int chooseMaskIn(const Grid& g, int level) {
    const int n = g.size;
    const PackedSymbol<Words> placed = pack<Words>(g.dark.data(), n);
    std::vector<uint8_t> isData(g.function.size());
    for (size_t i = 0; i < isData.size(); ++i) isData[i] = g.function[i] ? 0 : 1;
    const PackedSymbol<Words> data = pack<Words>(isData.data(), n);
    const MaskLines& masks = maskLines();
    const auto where = formatModules(n);

    PackedSymbol<Words> trial(n);
    int best = 0, bestScore = 0;
    for (int m = 0; m < 8; ++m) {
        std::array<Line<Words>, 12> rowMask, columnMask;
        for (int r = 0; r < 12; ++r) {
            rowMask[r] = firstWords<Words>(masks.row[m][r]);
            columnMask[r] = firstWords<Words>(masks.column[m][r]);
        }
        for (int k = 0; k < n; ++k) {
            trial.rows[k] = placed.rows[k] ^ (rowMask[k % 12] & data.rows[k]);
            trial.columns[k] = placed.columns[k] ^ (columnMask[k % 12] & data.columns[k]);
        }
        const int bits = formatBits(level, m);
        for (const FormatModule& f : where)
            if ((bits >> f.bit) & 1) trial.setDark(f.x, f.y);
        const int score = packedPenalty(trial);
        if (m == 0 || score < bestScore) best = m, bestScore = score;
    }
    return best;
}

int chooseMask(const Grid& g, int level) {
    switch (lineWords(g.size)) {
        case 1: return chooseMaskIn<1>(g, level);
        case 2: return chooseMaskIn<2>(g, level);
        default: return chooseMaskIn<3>(g, level);
    }
}

// =============================================================================================
// 8. Format and version information
// =============================================================================================

// The level's two format bits: L 01, M 00, Q 11, H 10.
constexpr int kLevelFormatBits[4] = {1, 0, 3, 2};

}  // namespace

int penaltyScore(const Symbol& symbol) {
    if (symbol.size < 21 || symbol.size > kMaxSize ||
        symbol.modules.size() != static_cast<size_t>(symbol.size * symbol.size))
        return 0;
    switch (lineWords(symbol.size)) {
        case 1: return penaltyOf<1>(symbol.modules.data(), symbol.size);
        case 2: return penaltyOf<2>(symbol.modules.data(), symbol.size);
        default: return penaltyOf<3>(symbol.modules.data(), symbol.size);
    }
}

int formatBits(int level, int mask) {
    const int data = kLevelFormatBits[std::clamp(level, 0, 3)] << 3 | (mask & 7);
    int rest = data;
    for (int i = 0; i < 10; ++i) rest = (rest << 1) ^ ((rest >> 9) * 0x537);
    return ((data << 10) | rest) ^ 0x5412;
}

int versionBits(int version) {
    int rest = version;
    for (int i = 0; i < 12; ++i) rest = (rest << 1) ^ ((rest >> 11) * 0x1F25);
    return version << 12 | rest;
}

// =============================================================================================
// 9. The whole encode: version choice, then the symbol
// =============================================================================================

namespace {

constexpr int kGroupFirst[3] = {1, 10, 27};
constexpr int kGroupLast[3] = {9, 26, 40};

// The longest text any symbol holds: digits at version 40, level L.
constexpr size_t kLongestText = 7089;

// The version for the text as the request allows it, with its segments; 0 when none fits.
int chooseVersion(std::string_view text, const Request& request, std::vector<Segment>& segments) {
    const int firstGroup = request.version == 0 ? 0 : versionGroup(request.version);
    const std::vector<Segment> classified = classifyText(text, request.kanji);
    for (int group = firstGroup; group < 3; ++group) {
        segments = mergeSegments(classified, group);
        int64_t bits = 0;
        for (const Segment& s : segments) bits += segmentBits(s, group);
        const int64_t needed = (bits + 7) / 8;
        const int from = group == firstGroup && request.version > 0 ? request.version : kGroupFirst[group];
        for (int v = from; v <= kGroupLast[group]; ++v) {
            if (dataCodewordsOf(v, request.level) < needed) continue;
            if (request.version > 0 && v != request.version && !request.allowLarger) return 0;
            return v;
        }
        if (request.version > 0 && !request.allowLarger) return 0;
    }
    return 0;
}

}  // namespace

std::optional<Symbol> encodeText(std::string_view text, const Request& request, std::vector<Segment>* segmentsOut,
                                 std::vector<uint8_t>* codewordsOut) {
    if (text.empty() || text.size() > kLongestText || !validLevel(request.level) || request.version < 0 ||
        request.version > MaxVersion || request.mask < ChooseMask || request.mask > 7)
        return std::nullopt;

    std::vector<Segment> segments;
    const int version = chooseVersion(text, request, segments);
    if (version == 0) return std::nullopt;
    std::vector<uint8_t> codewords = interleaveBlocks(dataBitStream(text, segments, version, request.level),
                                                      version, request.level);
    if (codewords.empty()) return std::nullopt;

    Grid grid(version);
    drawFunctionPatterns(grid, version);
    placeCodewords(grid, codewords);
    const int mask = request.mask == ChooseMask ? chooseMask(grid, request.level) : request.mask;
    applyMask(grid, mask);
    drawFormat(grid, formatBits(request.level, mask));

    if (segmentsOut) *segmentsOut = std::move(segments);
    if (codewordsOut) *codewordsOut = std::move(codewords);
    return Symbol{version, request.level, mask, grid.size, std::move(grid.dark)};
}

}  // namespace qr

int QrEncoder::encode(int level, int version, int allowLarger, int mask, const char* text, int length) {
    symbol_ = {};
    segments_.clear();
    codewords_.clear();
    if (!text || length < 0) return 0;
    const std::string_view bytes(text, length == 0 ? std::strlen(text) : static_cast<size_t>(length));
    auto symbol = qr::encodeText(bytes, {level, version, allowLarger != 0, mask}, &segments_, &codewords_);
    if (!symbol) {
        segments_.clear();
        codewords_.clear();
        return 0;
    }
    symbol_ = std::move(*symbol);
    return 1;
}

}  // namespace tunecase
