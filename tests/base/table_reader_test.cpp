#include <gtest/gtest.h>

#include <string>

#include "base/table_reader.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

int parseText(TableReader& t, const std::string& text, int columns, char delimiter = ',',
              const TableReader::RowFilter& filter = {}) {
    return t.parse(reinterpret_cast<const uint8_t*>(text.data()), text.size(), columns, delimiter, filter);
}

TEST(TableReaderFields, QuotedFieldsKeepDelimitersAndShortRowsLeaveEmptyCells) {
    ScopedCapture cap;
    TableReader t;
    ASSERT_EQ(parseText(t, "a,\"b,c\",d\r\nshort\r\n", 3), 1);
    ASSERT_EQ(t.rows(), 2);
    EXPECT_EQ(t.cell(0, 0), "a");
    EXPECT_EQ(t.cell(0, 1), "b,c");
    EXPECT_EQ(t.cell(0, 2), "d");
    EXPECT_EQ(t.cell(1, 0), "short");
    EXPECT_EQ(t.cell(1, 1), "");
    EXPECT_EQ(t.cell(1, 2), "");
    EXPECT_EQ(t.cell(5, 0), "");
    EXPECT_EQ(t.cell(0, 3), "");
    EXPECT_EQ(t.width(1), 3);
    EXPECT_EQ(cap->count(), 0u);
}

TEST(TableReaderFields, CrLfAndBareLfBothEndRowsAndShortLfRowsDoNotMerge) {
    ScopedCapture cap;
    TableReader t;
    ASSERT_EQ(parseText(t, "a\tb\nc\td\r\ne\nf\tg\n", 2, '\t'), 1);
    ASSERT_EQ(t.rows(), 4);
    EXPECT_EQ(t.cell(0, 1), "b");
    EXPECT_EQ(t.cell(1, 0), "c");
    EXPECT_EQ(t.cell(1, 1), "d");
    EXPECT_EQ(t.cell(2, 0), "e");
    EXPECT_EQ(t.cell(2, 1), "");
    EXPECT_EQ(t.cell(3, 0), "f");
}

TEST(TableReaderFields, BackslashPairsBecomeCommasWithoutOverlap) {
    ScopedCapture cap;
    TableReader t;
    ASSERT_EQ(parseText(t, "x\\\\y,\\\\\\z\n", 2), 1);
    EXPECT_EQ(t.cell(0, 0), "x,y");
    EXPECT_EQ(t.cell(0, 1), ",\\z");
}

TEST(TableReaderLimits, A254CharacterFieldIsKeptAnd255StopsWithTheTitleMessage) {
    ScopedCapture cap;
    TableReader t;
    const std::string ok(254, 'k');
    ASSERT_EQ(parseText(t, "first\n" + ok + "\n", 1), 1);
    EXPECT_EQ(t.cell(1, 0), ok);

    const std::string tooLong(255, 'L');
    EXPECT_EQ(parseText(t, "first\n" + tooLong + "\nnever\n", 1), 0);
    EXPECT_EQ(t.rows(), 1);  // the rows before the failure stay
    EXPECT_EQ(t.cell(0, 0), "first");
    ASSERT_EQ(cap->count(), 1u);
    EXPECT_EQ(cap->visibleTexts()[0], "GNLL1E000006 Song title is too long!");

    // A very long field is bounded, never copied whole into a cell.
    cap->clear();
    EXPECT_EQ(parseText(t, std::string(100000, 'z') + "\n", 1), 0);
    EXPECT_EQ(t.width(0), 100000);
    EXPECT_EQ(cap->visibleTexts()[0], "GNLL1E000006 Song title is too long!");
}

TEST(TableReaderLimits, TooManyRowsStopAtTheLimit) {
    ScopedCapture cap;
    std::string text;
    for (int i = 0; i < 40005; ++i) text += "r\n";
    TableReader t;
    EXPECT_EQ(parseText(t, text, 1), 0);
    EXPECT_EQ(t.rows(), 40000);
    ASSERT_EQ(cap->count(), 1u);
    EXPECT_EQ(cap->visibleTexts()[0], "GNLL1E000003 Too many items in list!");
}

TEST(TableReaderErrors, UnterminatedLastLineShowsTheDataErrorAndTheRowCount) {
    ScopedCapture cap;
    TableReader t;
    EXPECT_EQ(parseText(t, "a,b\nc,d\ne,f", 2), 0);
    EXPECT_EQ(t.rows(), 2);
    auto texts = cap->visibleTexts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], "GNLL1E000002 List file data contains error value.");
    EXPECT_EQ(texts[1], "2line error occrued!");

    cap->clear();
    EXPECT_EQ(parseText(t, "\"open quote\n", 1), 0);
    ASSERT_EQ(cap->count(), 1u);
    EXPECT_EQ(cap->visibleTexts()[0], "GNLL1E000002 List file data contains error value.");
}

TEST(TableReaderFilter, OnlyAcceptedRowsAreStored) {
    ScopedCapture cap;
    TableReader t;
    auto keepMid = [](const std::vector<std::string>& row) { return row[1] == "mid" ? 1 : 0; };
    ASSERT_EQ(parseText(t, "a,mid\nb,mwd\nc,mid\n", 2, ',', keepMid), 1);
    ASSERT_EQ(t.rows(), 2);
    EXPECT_EQ(t.cell(1, 0), "c");
}

TEST(TableReaderFiles, ReadsFromDiskAndReportsAMissingFileWithItsPath) {
    testing::TempFolder dir;
    const auto path = dir.file("list.csv");
    testing::writeFileText(path, "t1,p1\r\nt2,p2\r\n");
    ScopedCapture cap;
    TableReader t;
    ASSERT_EQ(t.readTable(path, 2, ','), 1);
    EXPECT_EQ(t.rows(), 2);
    EXPECT_EQ(t.cell(1, 1), "p2");
    EXPECT_EQ(t.path(), path);

    EXPECT_EQ(t.readTable(dir.file("missing.csv"), 2, ','), 0);
    EXPECT_EQ(t.rows(), 0);
    auto texts = cap->visibleTexts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], "GNLL1E000001 Can not open list file. Do not drag & drop for copy. Do it for sohrt cut.");
    EXPECT_EQ(texts[1], dir.file("missing.csv"));

    cap->clear();
    EXPECT_EQ(t.parse(nullptr, 0, 131, ','), 0);
    EXPECT_EQ(cap->visibleTexts()[0], "GNLL1E000000 Error occured during list loading!");
}

}  // namespace
}  // namespace tunecase
