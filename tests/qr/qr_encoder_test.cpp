// The QR encoder against outside references: the standard's published examples and tables,
// and zbarimg reading back the PNG files we write for every version at every level, with
// texts at exactly a version's capacity. Segment merging and the penalty score are checked
// as properties over many random inputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "base/text_codec.h"
#include "qr/qr_drawing.h"
#include "qr/qr_encoder.h"
#include "qr/qr_png.h"
#include "qr/qr_test_util.h"

namespace tunecase {
namespace {

using qr::Mode;
using Segments = std::vector<qr::Segment>;

int64_t totalBits(const Segments& segments, int group) {
    int64_t bits = 0;
    for (const auto& s : segments) bits += qr::segmentBits(s, group);
    return bits;
}

// Writes the symbol as a PNG at two pixels per module with four light modules around.
std::string writeSymbol(const qr::Symbol& s, const std::string& path) {
    EXPECT_TRUE(writeQrPng(path, drawQrSymbol(&s, (s.size + 8) * 2, (s.size + 8) * 2, 8)));
    return path;
}

std::string randomText(std::mt19937& rng, const char* alphabet, size_t n) {
    std::string out(n, ' ');
    for (char& c : out) c = alphabet[rng() % std::strlen(alphabet)];
    return out;
}

TEST(QrSegments, DigitsCapitalsAndKanjiTakeTheirModesAndShortRunsJoinNeighbours) {
    QrEncoder e;
    ASSERT_EQ(e.encode(qr::LevelM, 0, 1, qr::ChooseMask, "01234567"), 1);
    EXPECT_EQ(e.segments(), (Segments{{Mode::Numeric, 8}}));
    EXPECT_EQ(totalBits(e.segments(), 0), 41);
    EXPECT_EQ(e.moduleCount(), 21);
    ASSERT_EQ(e.encode(qr::LevelM, 0, 1, qr::ChooseMask, "AB12"), 1);
    EXPECT_EQ(e.segments(), (Segments{{Mode::Alphanumeric, 4}}));
    ASSERT_EQ(e.encode(qr::LevelM, 0, 1, qr::ChooseMask, utf8ToCp932("音楽箱の歌").c_str()), 1);
    EXPECT_EQ(e.segments(), (Segments{{Mode::Kanji, 10}}));
    EXPECT_EQ(totalBits(e.segments(), 0), 4 + 8 + 5 * 13);

    for (const char* pair : {"\x81\x40", "\x9F\xFC", "\xE0\x40", "\xEB\xBF"})
        EXPECT_EQ(qr::classifyText(pair), (Segments{{Mode::Kanji, 2}})) << int(pair[0] & 0xFF);
    for (const char* pair : {"\x9F\xFD", "\xEB\xC0", "\x81\x3F", "\xA0\x40"})
        EXPECT_EQ(qr::classifyText(pair), (Segments{{Mode::Byte, 2}})) << int(pair[0] & 0xFF);

    EXPECT_EQ(qr::segmentText("abc123def", 0), (Segments{{Mode::Byte, 9}}));
    EXPECT_EQ(qr::segmentText("abc" + std::string(20, '7') + "def", 0),
              (Segments{{Mode::Byte, 3}, {Mode::Numeric, 20}, {Mode::Byte, 3}}));
    EXPECT_EQ(qr::segmentText("KEY 12345678901234567890", 0), (Segments{{Mode::Alphanumeric, 4}, {Mode::Numeric, 20}}));
}

TEST(QrSegments, MergingNeverCostsMoreThanTheRunsOrAllBytesAndKeepsEachModesCharacters) {
    std::mt19937 rng(2024);
    const std::vector<std::string> pieces = {"0", "12345", "A", "XYZ", " ", ":", "a", "hello", "\x88\x9F",
                                             "\x8A\x79\x94\xA0", "~", "\xE3\x81\x82", "7A"};
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        for (int i = 1 + static_cast<int>(rng() % 25); i > 0; --i) text += pieces[rng() % pieces.size()];
        for (int group = 0; group < 3; ++group) {
            const Segments runs = qr::classifyText(text), merged = qr::mergeSegments(runs, group);
            EXPECT_LE(totalBits(merged, group), totalBits(runs, group)) << text;
            EXPECT_LE(totalBits(merged, group), qr::segmentBits({Mode::Byte, int(text.size())}, group)) << text;
            size_t at = 0;
            for (const auto& s : merged) {
                const std::string part = text.substr(at, static_cast<size_t>(s.bytes));
                at += static_cast<size_t>(s.bytes);
                const char* allowed = s.mode == Mode::Numeric        ? "0123456789"
                                      : s.mode == Mode::Alphanumeric ? "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ $%*+-./:"
                                                                     : nullptr;
                EXPECT_TRUE(!allowed || part.find_first_not_of(allowed) == std::string::npos) << text;
                EXPECT_TRUE(s.mode != Mode::Kanji || qr::classifyText(part) == Segments{s}) << text;
            }
            EXPECT_EQ(at, text.size());
        }
    }
}

TEST(QrStandard, PublishedCodewordsAndTables) {
    QrEncoder e;
    ASSERT_EQ(e.encode(qr::LevelM, 0, 1, qr::ChooseMask, "01234567"), 1);
    EXPECT_EQ(e.codewords(), (std::vector<uint8_t>{0x10, 0x20, 0x0C, 0x56, 0x61, 0x80, 0xEC, 0x11, 0xEC, 0x11, 0xEC,
                                                   0x11, 0xEC, 0x11, 0xEC, 0x11, 0xA5, 0x24, 0xD4, 0xC1, 0xED, 0x36,
                                                   0xC7, 0x87, 0x2C, 0x55}));
    const std::vector<uint8_t> hello = {0x20, 0x5B, 0x0B, 0x78, 0xD1, 0x72, 0xDC, 0x4D, 0x43, 0x40, 0xEC, 0x11, 0xEC};
    ASSERT_EQ(e.encode(qr::LevelM, 0, 1, qr::ChooseMask, "HELLO WORLD"), 1);
    std::vector<uint8_t> want = hello;
    want.insert(want.end(), {0x11, 0xEC, 0x11, 196, 35, 39, 119, 235, 215, 231, 226, 93, 23});
    EXPECT_EQ(e.codewords(), want);
    ASSERT_EQ(e.encode(qr::LevelQ, 0, 1, qr::ChooseMask, "HELLO WORLD"), 1);
    want = hello;
    want.insert(want.end(), {168, 72, 22, 82, 217, 54, 156, 0, 46, 15, 180, 122, 16});
    EXPECT_EQ(e.codewords(), want);

    EXPECT_EQ(qr::formatBits(qr::LevelL, 0), 0b111011111000100);
    EXPECT_EQ(qr::formatBits(qr::LevelM, 0), 0b101010000010010);
    EXPECT_EQ(qr::formatBits(qr::LevelQ, 0), 0b011010101011111);
    EXPECT_EQ(qr::formatBits(qr::LevelH, 7), 0b000100000111011);
    EXPECT_EQ(qr::versionBits(7), 0b000111110010010100);
    EXPECT_EQ(qr::versionBits(40), 0b101000110001101001);
    EXPECT_EQ(qr::alignmentCentres(32), (std::vector<int>{6, 34, 60, 86, 112, 138}));
    EXPECT_EQ(qr::alignmentCentres(40), (std::vector<int>{6, 30, 58, 86, 114, 142, 170}));
}

// Byte or digit texts that fill each version exactly; one more character moves up a version.
TEST(QrSymbols, EveryVersionAndLevelAtCapacityDecodesAndOneMoreMovesUp) {
    if (!testing::haveZbarimg()) GTEST_SKIP() << "zbarimg is not installed";
    testing::TempFolder dir;
    std::mt19937 rng(40);
    std::vector<std::string> files;
    std::map<std::string, std::string> texts;
    for (int version = 1; version <= 40; ++version)
        for (int level = 0; level < 4; ++level) {
            const bool digits = (version + level) % 2 == 0;
            const int room = qr::dataCodewords(version, level) * 8 - 4 -
                             qr::countFieldBits(digits ? Mode::Numeric : Mode::Byte, qr::versionGroup(version));
            const int capacity = digits ? room / 10 * 3 + (room % 10 >= 7 ? 2 : room % 10 >= 4 ? 1 : 0) : room / 8;
            const std::string text = randomText(rng, digits ? "0123456789" : "abcdefghijklmnopqrstuvwxyz", size_t(capacity));
            const auto symbol = qr::encodeText(text, {level, 0, true, qr::ChooseMask});
            ASSERT_TRUE(symbol && symbol->version == version) << version << "/" << level;
            const std::string more = text + (digits ? "1" : "x");
            const auto larger = qr::encodeText(more, {level, 0, true, qr::ChooseMask});
            EXPECT_EQ(larger ? larger->version : 41, version + 1) << version << "/" << level;
            EXPECT_FALSE(qr::encodeText(more, {level, version, false, qr::ChooseMask}));
            const std::string path = dir.file("v" + std::to_string(version) + "LMQH"[level] + ".png");
            files.push_back(writeSymbol(*symbol, path));
            texts[path] = text;
        }
    // Short texts end the data at every bit position before a byte boundary.
    for (size_t n = 1; n <= 16; ++n)
        for (const std::string& text : {std::string("31415926535897932384").substr(0, n), std::string("QR CODE $%*+-./:AB").substr(0, n)}) {
            const std::string path = dir.file("short" + std::to_string(files.size()) + ".png");
            files.push_back(writeSymbol(*qr::encodeText(text, {qr::LevelM, 0, true, qr::ChooseMask}), path));
            texts[path] = text;
        }
    const auto decoded = testing::zbarTexts(files);
    for (const std::string& f : files) EXPECT_EQ(decoded.count(f) ? decoded.at(f) : "(nothing)", texts[f]) << f;
}

TEST(QrSymbols, MixedAndKanjiTextsDecodeToTheirExactBytes) {
    if (!testing::haveZbarimg()) GTEST_SKIP() << "zbarimg is not installed";
    testing::TempFolder dir;
    const std::vector<std::string> texts = {
        utf8ToCp932("オルゴールの曲 No.17"),
        utf8ToCp932("音楽箱") + "abc" + std::string(40, '5') + "HELLO WORLD:" + utf8ToCp932("終わり"),
        utf8ToCp932("漾瀉犇疆翔臀凜熙遙堯"),  // kanji from 0xE040 up
        std::string("binary\x01\x02\xff\xfe bytes", 16),
    };
    for (size_t i = 0; i < texts.size(); ++i)
        for (int level : {qr::LevelL, qr::LevelH}) {
            const auto symbol = qr::encodeText(texts[i], {level, 0, true, qr::ChooseMask});
            ASSERT_TRUE(symbol) << i;
            EXPECT_EQ(testing::zbarBytes(writeSymbol(*symbol, dir.file(std::to_string(i * 4 + level) + ".png"))), texts[i])
                << "text " << i << " level " << level;
        }
}

TEST(QrVersions, RequestsAreKeptRaisedOnlyWhenAllowedAndOutOfRangeOnesFail) {
    const std::string twenty(20, 'a');  // version 1 at M holds 14 bytes, version 2 holds 26
    QrEncoder e;
    auto versionOf = [&e](int level, int version, int allowLarger, int mask, const std::string& text) {
        return e.encode(level, version, allowLarger, mask, text.c_str()) ? e.version() : 0;
    };
    EXPECT_EQ(versionOf(qr::LevelM, 1, 1, qr::ChooseMask, twenty), 2);
    EXPECT_EQ(versionOf(qr::LevelM, 1, 0, qr::ChooseMask, twenty), 0);
    EXPECT_EQ(e.moduleCount(), 0);
    EXPECT_EQ(versionOf(qr::LevelM, 9, 0, 4, twenty), 9);
    EXPECT_EQ(e.mask(), 4);
    // Version 9 is the last with the short count fields; 231 bytes need version 10's.
    EXPECT_EQ(versionOf(qr::LevelL, 9, 1, qr::ChooseMask, std::string(231, 'q')), 10);
    EXPECT_EQ(versionOf(qr::LevelM, 0, 1, qr::ChooseMask, std::string(2331, 'a')), 40);
    EXPECT_EQ(versionOf(qr::LevelL, 0, 1, qr::ChooseMask, std::string(7089, '9')), 40);
    for (auto [level, version, mask, text] :
         std::vector<std::tuple<int, int, int, std::string>>{{1, 0, -1, ""}, {1, 0, -1, std::string(2332, 'a')},
                                                             {0, 0, -1, std::string(7090, '9')}, {4, 0, -1, "A"},
                                                             {-1, 0, -1, "A"}, {1, 41, -1, "A"}, {1, 0, 8, "A"}, {1, 0, -2, "A"}})
        EXPECT_EQ(e.encode(level, version, 1, mask, text.c_str()), 0) << level << " " << version << " " << mask;
    EXPECT_EQ(e.encode(qr::LevelM, 0, 1, qr::ChooseMask, "A", -1), 0);
    ASSERT_EQ(e.encode(qr::LevelM, 0, 1, qr::ChooseMask, "ab\0cd", 5), 1);  // a length counts past a NUL
    EXPECT_EQ(e.segments(), (Segments{{Mode::Byte, 5}}));
    ASSERT_EQ(e.encode(qr::LevelM, 0, 1, qr::ChooseMask, "ab\0cd", 0), 1);  // 0 stops at it
    EXPECT_EQ(e.segments(), (Segments{{Mode::Byte, 2}}));
}

// The four penalty rules, module by module, as they are stated.
int plainPenalty(const qr::Symbol& s) {
    const int n = s.size;
    int score = 0, dark = 0;
    for (int columns = 0; columns < 2; ++columns)
        for (int line = 0; line < n; ++line) {
            auto dk = [&](int i) { return columns ? s.isDark(line, i) : s.isDark(i, line); };  // outside is light
            for (int i = 0, j = 0; i < n; i = j) {
                while (j < n && dk(j) == dk(i)) ++j;
                if (j - i >= 5) score += j - i - 2;
            }
            for (int i = 0; i + 7 <= n; ++i) {
                if (!(dk(i) && !dk(i + 1) && dk(i + 2) && dk(i + 3) && dk(i + 4) && !dk(i + 5) && dk(i + 6))) continue;
                const bool before4 = !dk(i - 1) && !dk(i - 2) && !dk(i - 3) && !dk(i - 4);
                const bool after4 = !dk(i + 7) && !dk(i + 8) && !dk(i + 9) && !dk(i + 10);
                if ((before4 && !dk(i + 7)) || (after4 && !dk(i - 1))) score += 40;
            }
        }
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            dark += s.isDark(x, y);
            const bool c = s.isDark(x, y);
            if (x + 1 < n && y + 1 < n && s.isDark(x + 1, y) == c && s.isDark(x, y + 1) == c && s.isDark(x + 1, y + 1) == c)
                score += 3;
        }
    return score + 10 * (std::abs(50 - (n * n - dark) * 100 / (n * n)) / 5);
}

TEST(QrMasks, PenaltyFollowsTheFourRulesOnRandomAndRealSymbols) {
    std::mt19937 rng(17);
    for (int version : {1, 2, 8, 9, 10, 24, 25, 26, 40}) {
        for (int density : {2, 50, 98}) {
            qr::Symbol s{version, 0, 0, version * 4 + 17, {}};
            for (int i = 0; i < s.size * s.size; ++i) s.modules.push_back(int(rng() % 100) < density);
            for (int i = 0; i < 7; ++i) s.modules[size_t(i)] = s.modules[size_t((s.size - 7 + i) * s.size)] = 0x5D >> (6 - i) & 1;
            EXPECT_EQ(qr::penaltyScore(s), plainPenalty(s)) << "version " << version << " density " << density;
        }
        const auto real = qr::encodeText(randomText(rng, "abc0123XYZ", size_t(version * 12)), {1, version, false, 3});
        EXPECT_EQ(qr::penaltyScore(*real), plainPenalty(*real)) << version;
    }
    // Just past 45 % light (200 of 441) is one step from half; just under 55 % dark would be none.
    for (int round = 0; round < 20; ++round) {
        qr::Symbol s{1, 0, 0, 21, std::vector<uint8_t>(441, 1)};
        std::fill_n(s.modules.begin(), 200, 0);
        std::shuffle(s.modules.begin(), s.modules.end(), rng);
        EXPECT_EQ(qr::penaltyScore(s), plainPenalty(s));
    }
}

TEST(QrMasks, TheChosenMaskHasTheLowestPenaltyAndEveryFixedMaskDecodes) {
    const bool zbar = testing::haveZbarimg();
    testing::TempFolder dir;
    std::mt19937 rng(8);
    // "KBF" at H scores the same lowest penalty with masks 2 and 7; the lower number wins.
    const std::vector<std::pair<std::string, int>> cases = {{"https://songs.tunecase.example/k/a7c3f09e2b", qr::LevelQ},
                                                            {randomText(rng, "abcdefgh 0123", 600), qr::LevelQ},
                                                            {"KBF", qr::LevelH}};
    for (const auto& [text, level] : cases) {
        const auto chosen = qr::encodeText(text, {level, 0, true, qr::ChooseMask});
        std::vector<int> penalties;
        for (int mask = 0; mask < 8; ++mask) {
            const auto fixed = qr::encodeText(text, {level, chosen->version, false, mask});
            ASSERT_TRUE(fixed && fixed->mask == mask);
            penalties.push_back(qr::penaltyScore(*fixed));
            EXPECT_TRUE(mask != chosen->mask || fixed->modules == chosen->modules);
            if (zbar) {
                EXPECT_EQ(testing::zbarBytes(writeSymbol(*fixed, dir.file(std::to_string(mask) + ".png"))), text);
            }
        }
        EXPECT_EQ(chosen->mask, std::min_element(penalties.begin(), penalties.end()) - penalties.begin()) << text;
        EXPECT_TRUE(text != "KBF" || (penalties[2] == penalties[7] && chosen->mask == 2));
    }
}

}  // namespace
}  // namespace tunecase
