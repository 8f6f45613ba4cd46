// The export dialog on the offscreen platform: its range, its four picture buttons and the
// upload mode, in which neither the toy piano nor the strip can be chosen.
#include <gtest/gtest.h>

#include <QTest>

#include "base/reporter.h"
#include "songs/gui/export_dlg.h"
#include "support/qt_test_app.h"

namespace tunecase {
namespace {

class ExportDlgTest : public ::testing::Test {
protected:
    void SetUp() override { testing::qtTestApp(); }
    static void press(CExportDlg& dialog, int button) { testing::clickPicture(dialog.buttonControl(button)); }
    ScopedCapture boxes;
};

TEST_F(ExportDlgTest, ShowsTheRangeAndTheButtonsAtTheirPlaces) {
    CExportDlg dialog(exportmode::Export);
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), "Export");
    EXPECT_EQ(dialog.rangeGroup()->title(), "Range");
    for (QSpinBox* spin : {dialog.lowSpin(), dialog.highSpin()}) {
        EXPECT_EQ(spin->minimum(), 0);
        EXPECT_EQ(spin->maximum(), 127);
        EXPECT_EQ(spin->parentWidget(), dialog.rangeGroup());
    }
    EXPECT_EQ(dialog.lowSpin()->value(), 21);
    EXPECT_EQ(dialog.highSpin()->value(), 108);
    EXPECT_EQ(dialog.choice(), exportchoice::Cancelled);
    const QRect rects[] = {{20, 60, 88, 27}, {120, 60, 88, 27}, {220, 60, 88, 27}, {320, 60, 88, 27}, {320, 20, 88, 27}};
    const char* labels[] = {"  TUNECASE", "  TOYPIANO", "    STRIP", "   CANCEL", "    AUDIO"};
    for (int i = 0; i < exportchoice::Count; ++i) {
        EXPECT_EQ(dialog.buttonControl(i)->geometry(), rects[i]);
        EXPECT_EQ(dialog.buttons().label(i), labels[i]);
        EXPECT_TRUE(dialog.buttonControl(i)->isEnabled());
    }
}

TEST_F(ExportDlgTest, EachKindReadsTheRangeAsItIsEvenBackwards) {
    for (int kind : {exportchoice::MusicBox, exportchoice::ToyPiano, exportchoice::Strip, exportchoice::Audio}) {
        CExportDlg dialog(exportmode::Export);
        dialog.show();
        dialog.lowSpin()->setValue(70);
        dialog.highSpin()->setValue(60);
        press(dialog, kind);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(dialog.choice(), kind);
        EXPECT_EQ(dialog.lowNote(), 70);
        EXPECT_EQ(dialog.highNote(), 60);
    }
    CExportDlg dialog(exportmode::Export);
    dialog.show();
    press(dialog, exportchoice::Cancelled);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(dialog.choice(), exportchoice::Cancelled);
}

TEST_F(ExportDlgTest, AnUploadOffersOnlyTheMusicBoxAndClosingOtherwiseCancels) {
    CExportDlg dialog(exportmode::Upload);
    dialog.show();
    for (int refused : {exportchoice::ToyPiano, exportchoice::Strip, exportchoice::Audio}) {
        EXPECT_FALSE(dialog.buttonControl(refused)->isEnabled());
        dialog.choose(refused);  // as a press that got through would
        EXPECT_TRUE(dialog.isVisible());
    }
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.choice(), exportchoice::Cancelled);

    CExportDlg upload(exportmode::Upload);
    upload.show();
    press(upload, exportchoice::MusicBox);
    EXPECT_EQ(upload.choice(), exportchoice::MusicBox);
    EXPECT_EQ(upload.lowNote(), 21);
    EXPECT_EQ(upload.highNote(), 108);
    EXPECT_EQ(boxes->count(), 0u);
}

}  // namespace
}  // namespace tunecase
