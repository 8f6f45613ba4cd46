#include <gtest/gtest.h>

#include "base/general_errors.h"
#include "base/reporter.h"

namespace tunecase {
namespace {

TEST(ReporterFormat, CodedTextsUseEightUpperCaseHexDigitsAndOptionalPath) {
    EXPECT_EQ(formatCoded("GENE", 0x0100000A, "data size is too large!"),
              "GENE0100000A data size is too large!");
    EXPECT_EQ(formatCoded("GENE", 0x01000007, "Cant open file!", "/tmp/a b.ini"),
              "GENE01000007 Cant open file! [/tmp/a b.ini]");
    EXPECT_EQ(formatCoded("MDTK", 0xd000001, "x"), "MDTK0D000001 x");
    EXPECT_EQ(fillIn("%sを削除すると問題が解決することがあります。", "/p/setup.ini"),
              "/p/setup.iniを削除すると問題が解決することがあります。");
    EXPECT_EQ(fillIn("no placeholder", "x"), "no placeholder");
}

TEST(ReporterGeneralTable, ListedCodesShowTheirTextAndOthersTheGeneralText) {
    ScopedCapture cap;
    generalError(gene::FileSizeError);
    generalError(gene::BpmZeroDivisor);
    generalError(gene::CantOpenFile, "/x/mbox.lst");
    auto texts = cap->visibleTexts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0], "GENE0100000D file size error!(2)");
    EXPECT_EQ(texts[1], "GENE01000012 General Error");
    EXPECT_EQ(texts[2], "GENE01000007 Cant open file! [/x/mbox.lst]");
    auto reports = cap->reports();
    EXPECT_EQ(reports[2].tag, "GENE");
    EXPECT_EQ(reports[2].code, 0x01000007u);
    EXPECT_EQ(reports[2].path, "/x/mbox.lst");
    EXPECT_EQ(reports[2].kind, BoxKind::SystemModalOk);
}

TEST(ReporterQuestions, CaptureAnswersQueuedAnswersThenTheDefault) {
    ScopedCapture cap;
    cap->queueAnswer(Answer::Cancel);
    EXPECT_EQ(reportText("Continue?", BoxKind::OkCancel), Answer::Cancel);
    EXPECT_EQ(reportText("Continue?", BoxKind::OkCancel), Answer::Ok);
    cap->defaultAnswer = Answer::Cancel;
    EXPECT_EQ(reportText("Continue?", BoxKind::OkCancel), Answer::Cancel);
    // An information box never returns Cancel, whatever the sink says.
    EXPECT_EQ(reportText("Note", BoxKind::Ok), Answer::Ok);
    EXPECT_EQ(cap->count(), 4u);
}

TEST(ReporterSinks, ScopedCaptureRestoresThePreviousSink) {
    ScopedCapture outer;
    {
        ScopedCapture inner;
        reportText("inner");
        EXPECT_EQ(inner->count(), 1u);
    }
    reportText("outer");
    ASSERT_EQ(outer->count(), 1u);
    EXPECT_EQ(outer->visibleTexts()[0], "outer");
}

TEST(ReporterSinks, StderrSinkDeclinesQuestionsByDefault) {
    StderrSink sink;
    Report r;
    r.kind = BoxKind::OkCancel;
    r.visible = "Song list is empty.";
    testing::internal::CaptureStderr();
    EXPECT_EQ(sink.show(r), Answer::Cancel);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Song list is empty.\n");
}

}  // namespace
}  // namespace tunecase
