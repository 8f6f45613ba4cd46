#include <gtest/gtest.h>

#include <chrono>
#include <set>

#include "base/reporter.h"
#include "compose/compose_errors.h"

namespace tunecase {
namespace {

TEST(ComposeErrors, BoxesShowTagCodeAndTextAndUnlistedCodesTheGeneralText) {
    ScopedCapture cap;
    EXPECT_EQ(ReportComposeError(zemc::PatternFile), 0);
    ReportComposeError(0);
    ReportComposeError(zemc::Adjustment);
    ReportComposeError(zemc::Adjustment2);
    ReportComposeError(0xff010049);  // a gap in the table
    ReportComposeError(0xff0101eb);  // past its end
    ReportComposeError(0xff010110);  // a text that ends with a blank
    const auto texts = cap->visibleTexts();
    ASSERT_EQ(texts.size(), 7u);
    EXPECT_EQ(texts[0], "ZEMCFF010035 error in pattern file!");
    EXPECT_EQ(texts[1], "ZEMC00000000 Error occured in MobileDialogSelectChanel!");
    EXPECT_EQ(texts[2], "ZEMCFF0101B0 Error occured in Algorithm of adjustment!");
    EXPECT_EQ(texts[3], "ZEMCFF0101B1 Error occured in Algorithm of adjustment!");
    EXPECT_EQ(texts[4], "ZEMCFF010049 Error occured in MobileDialogSelectChanel!");
    EXPECT_EQ(texts[5], "ZEMCFF0101EB Error occured in MobileDialogSelectChanel!");
    EXPECT_EQ(texts[6], "ZEMCFF010110 Chord information is not included! Turn on Display switch! ");
    const auto reports = cap->reports();
    EXPECT_EQ(reports[0].tag, "ZEMC");
    EXPECT_EQ(reports[0].code, 0xff010035u);
    EXPECT_EQ(reports[0].kind, BoxKind::SystemModalOk);
}

TEST(ComposeErrors, TheTableHoldsEachCodeOnceInsideItsRangeWithAText) {
    std::set<uint32_t> codes;
    for (const auto& [code, text] : kComposeErrors.entries) {
        EXPECT_TRUE(codes.insert(code).second) << std::hex << code;
        EXPECT_GE(code, 0xff010001u);
        EXPECT_LE(code, 0xff0101eau);
        EXPECT_NE(std::string(text), "");
    }
    EXPECT_EQ(codes.size(), 319u);
    EXPECT_STREQ(kComposeErrors.textFor(zemc::ReadDatabase), "can't read database file!");
    EXPECT_STREQ(kComposeErrors.textFor(zemc::PitchBend), "Pitch Bend data is wrong!");
    EXPECT_STREQ(kComposeErrors.textFor(0xff0101ea), "Display scale is more than 200%!");
}

// A sink standing for the desktop player's real boxes.
class BoxOnScreen final : public ReportSink {
public:
    Answer show(const Report&) override {
        ++shown;
        return Answer::Ok;
    }
    int shown = 0;
};

TEST(ComposeErrors, ThePauseAfterABoxWaitsOnlyForSinksThatShowRealBoxes) {
    EXPECT_FALSE(CaptureSink().pausesAfterBox());
    EXPECT_FALSE(StderrSink().pausesAfterBox());
    EXPECT_FALSE(SilentSink().pausesAfterBox());

    BoxOnScreen screen;
    ReportSink* previous = setReportSink(&screen);
    EXPECT_TRUE(screen.pausesAfterBox());
    const auto start = std::chrono::steady_clock::now();
    pauseAfterBox(40);
    const auto waited = std::chrono::steady_clock::now() - start;
    setReportSink(previous);
    EXPECT_GE(waited, std::chrono::milliseconds(40));
}

}  // namespace
}  // namespace tunecase
