// The strip dialog on the offscreen platform: the report follows the box chosen, SAVE gives
// the box and paper, CANCEL and Escape give nothing; without boxes nothing can be saved.
#include "strips/gui/strip_dlg.h"

#include <gtest/gtest.h>

#include <QTest>

#include "support/qt_test_app.h"

namespace tunecase {
namespace {

class StripDlgTest : public ::testing::Test {
protected:
    void SetUp() override { testing::qtTestApp(); }
    static void press(CStripDlg& dialog, int button) { testing::clickPicture(dialog.buttonControl(button)); }
    std::vector<std::string> asked;
    StripReporter reporter = [this](const std::string& box) {
        asked.push_back(box);
        return "Report for " + box + "\nkept 12";
    };
};

TEST_F(StripDlgTest, TheReportFollowsTheBoxAndSaveGivesBoxAndPaper) {
    CStripDlg dialog({"15-note", "30-note"}, reporter);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "Strip");
    EXPECT_EQ(dialog.reportView()->toPlainText(), "Report for 15-note\nkept 12");
    dialog.boxCombo()->setCurrentIndex(1);
    EXPECT_EQ(dialog.reportView()->toPlainText(), "Report for 30-note\nkept 12");
    EXPECT_EQ(asked, (std::vector<std::string>{"15-note", "30-note"}));
    dialog.paperCombo()->setCurrentIndex(1);
    press(dialog, stripbutton::Save);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    ASSERT_TRUE(dialog.choice());
    EXPECT_EQ(dialog.choice()->box, "30-note");
    EXPECT_TRUE(dialog.choice()->letter);
}

TEST_F(StripDlgTest, CancelEscapeAndAnEmptyBoxListGiveNothing) {
    CStripDlg cancelled({"15-note"}, reporter);
    cancelled.show();
    press(cancelled, stripbutton::Cancel);
    EXPECT_EQ(cancelled.result(), QDialog::Rejected);
    EXPECT_FALSE(cancelled.choice());

    CStripDlg escaped({"15-note"}, reporter);
    escaped.show();
    QTest::keyClick(&escaped, Qt::Key_Escape);
    EXPECT_FALSE(escaped.isVisible());
    EXPECT_FALSE(escaped.choice());

    CStripDlg empty({}, reporter);
    empty.show();
    EXPECT_FALSE(empty.buttonControl(stripbutton::Save)->isEnabled());
    empty.onButton(stripbutton::Save);  // as a press that got through would
    EXPECT_FALSE(empty.choice());
    EXPECT_TRUE(empty.reportView()->toPlainText().isEmpty());
}

}  // namespace
}  // namespace tunecase
