#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <set>

#include "base/reporter.h"
#include "base/text_codec.h"
#include "base/utilities.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

TEST(FileNames, NamePartHonoursBothSeparatorsAndShiftJisTrailBytes) {
    EXPECT_EQ(fileNamePart("/home/u/song.mid"), "song.mid");
    EXPECT_EQ(fileNamePart("C:\\music\\song.MID"), "song.MID");
    EXPECT_EQ(fileNamePart("song.mid"), "song.mid");
    EXPECT_EQ(fileNamePart("/folder/"), "");
    // 0x95 0x5C is one Shift-JIS character whose second byte equals a backslash.
    const std::string sjis = "C:\\\x95\x5C.mid";
    EXPECT_EQ(fileNamePart(sjis), "\x95\x5C.mid");
    // In UTF-8 a continuation byte in the lead-byte range must not hide a separator.
    EXPECT_EQ(fileNamePart("/m/\xC4\x81/x.mid"), "x.mid");
}

TEST(FileNames, ExtensionIsLowerCasedAfterTheLastDot) {
    EXPECT_EQ(extensionLower("/a/b/Song.MID"), "mid");
    EXPECT_EQ(extensionLower("x.tar.GZ"), "gz");
    EXPECT_EQ(extensionLower("/a.b/noext"), "");
    EXPECT_EQ(extensionLower("trailing."), "");
}

TEST(Numbers, RandomBetweenStaysInTheClosedRangeInEitherOrder) {
    std::srand(7);
    std::set<int> seen;
    for (int i = 0; i < 2000; ++i) {
        int v = randomBetween(5, 2);
        ASSERT_GE(v, 2);
        ASSERT_LE(v, 5);
        seen.insert(v);
    }
    EXPECT_EQ(seen.size(), 4u);
    EXPECT_EQ(randomBetween(9, 9), 9);
    // A span wider than an int holds: computed in 32 bits it would wrap out of the range.
    bool negative = false, positive = false;
    for (int i = 0; i < 1000; ++i) {
        const int v = randomBetween(2000000000, -2000000000);
        ASSERT_GE(v, -2000000000);
        ASSERT_LE(v, 2000000000);
        negative |= v < 0;
        positive |= v > 0;
    }
    EXPECT_TRUE(negative && positive);
}

TEST(Numbers, TempoConversionsUseIntegerDivisionAndReportZeroDivisors) {
    ScopedCapture cap;
    EXPECT_EQ(bpmFromMicroseconds(500000), 120);
    EXPECT_EQ(bpmFromMicroseconds(600000), 100);
    EXPECT_EQ(microsecondsFromBpm(120), 500000);
    EXPECT_EQ(microsecondsFromBpm(70), 857000);
    EXPECT_EQ(cap->count(), 0u);
    EXPECT_EQ(bpmFromMicroseconds(999), 0);
    EXPECT_EQ(microsecondsFromBpm(0), 0);
    auto texts = cap->visibleTexts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], "GENE01000012 General Error");
    EXPECT_EQ(texts[1], "GENE01000013 General Error");
}

TEST(Encoding, Base64MatchesTheStandardVectors) {
    auto b64 = [](const std::string& s) { return base64(reinterpret_cast<const uint8_t*>(s.data()), s.size()); };
    EXPECT_EQ(b64(""), "");
    EXPECT_EQ(b64("f"), "Zg==");
    EXPECT_EQ(b64("fo"), "Zm8=");
    EXPECT_EQ(b64("foo"), "Zm9v");
    EXPECT_EQ(b64("foob"), "Zm9vYg==");
    EXPECT_EQ(b64("fooba"), "Zm9vYmE=");
    EXPECT_EQ(b64("foobar"), "Zm9vYmFy");
    const uint8_t high[] = {0xFB, 0xFF, 0xFE};
    EXPECT_EQ(base64(high, 3), "+//+");
}

TEST(Encoding, ShiftJisAndUtf8ConvertBothWaysAndDisplayPicksTheRightOne) {
    const std::string sjis = "\x83\x49\x83\x8B\x83\x53\x81\x5B\x83\x8B";  // "オルゴール"
    const std::string utf8 = "オルゴール";
    EXPECT_EQ(cp932ToUtf8(sjis), utf8);
    EXPECT_EQ(utf8ToCp932(utf8), sjis);
    EXPECT_EQ(displayText(utf8), utf8);
    EXPECT_EQ(displayText(sjis), utf8);
    EXPECT_EQ(displayText("plain"), "plain");
    // CP932 maps 0x5C to a backslash (not a yen sign) and has the NEC extensions.
    EXPECT_EQ(cp932ToUtf8("\\"), "\\");
    EXPECT_EQ(cp932ToUtf8("\x87\x40"), "\xE2\x91\xA0");  // circled digit one
    // A lone lead byte at the end does not crash and gives a replacement character.
    EXPECT_EQ(cp932ToUtf8("A\x83"), "A\xEF\xBF\xBD");
    EXPECT_FALSE(isValidUtf8("\xC0\x80"));    // overlong
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));  // surrogate
    EXPECT_FALSE(isValidUtf8("\xE3\x82"));    // truncated
    EXPECT_TRUE(isValidUtf8("\xF0\x9F\x8E\xB5"));
}

TEST(Encoding, ControlCharactersAreShownVisiblyAndPrintableTextIsKept) {
    struct Case {
        std::string stored;
        ControlEscape style;
        std::string shown;
    };
    const std::string sjis = "\x83\x49\x83\x8B";  // "オル"
    const Case cases[] = {
        // A title that retitles the terminal, rings the bell and clears the screen.
        {"\x1b]0;owned\x07\x1b[2J", ControlEscape::Terminal, "\\x1b]0;owned\\x07\\x1b[2J"},
        {std::string("a\0b\tc\nd\re\x7f", 10), ControlEscape::Terminal, "a\\x00b\\x09c\\x0ad\\x0de\\x7f"},
        // C1 controls in UTF-8 (CSI U+009B, U+0080, U+009F); U+00A0 and U+00FF are printable.
        {"\xC2\x9B" "2J\xC2\x80\xC2\x9F\xC2\xA0\xC3\xBF", ControlEscape::Terminal,
         "\\u009b2J\\u0080\\u009f\xC2\xA0\xC3\xBF"},
        {"オルゴール 星に願いを", ControlEscape::Terminal, "オルゴール 星に願いを"},
        {"", ControlEscape::Terminal, ""},
        // Shift-JIS is decoded first, as titles are shown; its control bytes still escaped.
        {sjis + "\x1b", ControlEscape::Terminal, "オル\\x1b"},
        // Inside JSON every escape is a \u one; quotes and backslashes are the JSON writer's.
        {"\x7f\xC2\x9B\x1b\"\\", ControlEscape::Json, "\\u007f\\u009b\\u001b\"\\"},
        // A message with a Shift-JIS path keeps the path's bytes; only C0 and DEL are touched.
        {"曲 [" + sjis + "\x1b\x7f]", ControlEscape::KeepBytes, "曲 [" + sjis + "\\x1b\\x7f]"},
        {"\xC2\x9B" "x", ControlEscape::KeepBytes, "\\u009bx"},
    };
    for (const Case& c : cases) EXPECT_EQ(escapeControls(c.stored, c.style), c.shown) << c.shown;

    // Whatever the bytes, nothing a terminal acts on survives: no C0, no DEL, no UTF-8 C1.
    std::string every;
    for (int b = 0; b < 256; ++b) every += static_cast<char>(b);
    for (const std::string& text : {every, std::string("\xC2\x85\xC2\x9B[31m")}) {
        const std::string shown = escapeControls(text);
        EXPECT_TRUE(isValidUtf8(shown));
        for (size_t i = 0; i < shown.size(); ++i) {
            const auto c = static_cast<unsigned char>(shown[i]);
            ASSERT_FALSE(c < 0x20 || c == 0x7F) << "byte " << int(c) << " at " << i;
            ASSERT_FALSE(c == 0xC2 && i + 1 < shown.size() && static_cast<unsigned char>(shown[i + 1]) < 0xA0);
        }
    }
}

TEST(Files, ReadUpToReportsMissingFilesAndTheTooLargeLimit) {
    testing::TempFolder dir;
    ScopedCapture cap;
    std::vector<uint8_t> out{1, 2, 3};
    const auto missing = dir.file("nope.mid");
    EXPECT_EQ(readUpTo(missing, out, 100), 0);
    EXPECT_TRUE(out.empty());
    auto texts = cap->visibleTexts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], missing);
    EXPECT_EQ(texts[1], "GENE01000007 Cant open file! [" + missing + "]");

    cap->clear();
    const auto big = dir.file("big.bin");
    testing::writeFileBytes(big, std::vector<uint8_t>(kLargeReadLimit + 10, 0x5A));
    EXPECT_EQ(readUpTo(big, out, kLargeReadLimit), 1);
    EXPECT_EQ(out.size(), kLargeReadLimit);
    texts = cap->visibleTexts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], "GENE0100000A data size is too large!");
    EXPECT_EQ(texts[1], "Deleting " + big + " may solve the problem.");

    cap->clear();
    EXPECT_EQ(readUpTo(big, out, 16), 1);
    EXPECT_EQ(out.size(), 16u);
    EXPECT_EQ(cap->count(), 0u);
}

TEST(Files, SizesFoldersAndFolderCreation) {
    testing::TempFolder dir;
    const auto nested = dir.file("a/b/c");
    EXPECT_EQ(folderExists(nested), 0);
    EXPECT_EQ(makeFolders(nested), 1);
    EXPECT_EQ(makeFolders(nested), 1);  // existing levels are fine
    EXPECT_EQ(folderExists(nested), 1);
    EXPECT_EQ(fileSize(nested), 0);
    EXPECT_EQ(fileCanBeOpened(nested), 0);
    const auto file = dir.file("a/data.bin");
    EXPECT_EQ(writeWhole(file, "12345", 5), 1);
    EXPECT_EQ(fileSize(file), 5);
    EXPECT_EQ(fileCanBeOpened(file), 1);
    EXPECT_EQ(fileSize(dir.file("none")), -1);
    EXPECT_EQ(joinPath("/a/", "b"), "/a/b");
    EXPECT_EQ(joinPath("/", "TNC"), "/TNC");

    // A sparse file reports its full size without using the disk.
    const auto huge = dir.file("huge.bin");
    ASSERT_EQ(::truncate((testing::writeFileText(huge, ""), huge.c_str()), int64_t{1} << 32), 0);
    ScopedCapture cap;
    EXPECT_EQ(fileSize(huge), -1);
    ASSERT_EQ(cap->count(), 1u);
    EXPECT_EQ(cap->visibleTexts()[0], "GENE0100000D file size error!(2)");
    ASSERT_EQ(::truncate(huge.c_str(), (int64_t{1} << 32) - 1), 0);
    EXPECT_EQ(fileSize(huge), (int64_t{1} << 32) - 1);

    char field[8];
    EXPECT_TRUE(setFieldText(field, sizeof field, "1234567"));
    EXPECT_FALSE(setFieldText(field, sizeof field, "12345678"));
    EXPECT_EQ(fieldText(field, sizeof field), "1234567");
    auto block = allocZeroed(1000);
    ASSERT_TRUE(block);
    EXPECT_EQ(block[999], 0);
}

}  // namespace
}  // namespace tunecase
