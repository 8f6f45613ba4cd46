// The strip dialog on the offscreen platform: the report follows the box chosen, SAVE gives
// the box and paper, CANCEL and Escape give nothing; without boxes nothing can be saved.
#include "strips/gui/strip_dlg.h"

#include <gtest/gtest.h>

#include <QTest>
#include <cmath>

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

// The drawn strip beside the report: the first page at the dialog's scale, its width the
// paper's; zoom redraws it larger and smaller within limits; the box and paper chosen are
// the ones drawn, and a strip that cannot be drawn says so instead.
TEST_F(StripDlgTest, ThePreviewShowsTheFirstPageAtTheChosenScaleAndZooms) {
    BoxModel box;
    box.name = "20-note";
    for (int i = 0; i < 20; ++i) box.comb.push_back(60 + i);
    box.stripWidthMm = 70;
    box.lineSpacingMm = 2.4;
    box.firstLineMm = (70 - 19 * 2.4) / 2;
    box.mmPerBeat = 8;
    box.minRepeatMm = 2.5;
    StripSong song;
    song.title = "Scale";
    for (int i = 0; i < 20; ++i) song.notes.push_back({int64_t{i} * 480, 60 + i});
    std::vector<std::pair<std::string, bool>> drawn;
    const StripPreviewer preview = [&](const std::string& name, bool letter, double pxPerMm) {
        drawn.emplace_back(name, letter);
        std::string error;
        if (name != box.name) return StripImage{};
        StripDrawingOptions options;
        options.paper = letter ? PaperSize::Letter : PaperSize::A4;
        return renderStripFirstPage(fitSongToBox(song, box), box, options, pxPerMm, error);
    };
    CStripDlg dialog({"20-note", "none"}, reporter, nullptr, preview);
    dialog.show();
    ASSERT_NE(dialog.previewLabel(), nullptr);
    const auto width = [&] { return dialog.previewLabel()->pixmap().width(); };
    const double a4 = paperSizeMm(PaperSize::A4).x, letter = paperSizeMm(PaperSize::Letter).x;
    EXPECT_EQ(width(), static_cast<int>(std::ceil(a4 * CStripDlg::kPreviewScale)));
    // Not a blank page: the strip's outline and holes are drawn in dark ink.
    const QImage shown = dialog.previewLabel()->pixmap().toImage();
    int dark = 0;
    for (int y = 0; y < shown.height(); y += 2)
        for (int x = 0; x < shown.width(); x += 2) dark += qGray(shown.pixel(x, y)) < 100;
    EXPECT_GT(dark, 20);

    dialog.zoomInButton()->click();
    EXPECT_EQ(width(), static_cast<int>(std::ceil(a4 * CStripDlg::kPreviewScale * 1.5)));
    dialog.paperCombo()->setCurrentIndex(1);
    EXPECT_EQ(width(), static_cast<int>(std::ceil(letter * CStripDlg::kPreviewScale * 1.5)));
    EXPECT_EQ(drawn.back(), std::make_pair(std::string("20-note"), true));
    for (int i = 0; i < 20; ++i) dialog.zoomOutButton()->click();
    EXPECT_EQ(dialog.previewScale(), CStripDlg::kPreviewScaleMin);
    EXPECT_FALSE(dialog.zoomOutButton()->isEnabled());
    EXPECT_TRUE(dialog.zoomInButton()->isEnabled());

    dialog.boxCombo()->setCurrentIndex(1);
    EXPECT_TRUE(dialog.previewLabel()->pixmap().isNull());
    EXPECT_FALSE(dialog.previewLabel()->text().isEmpty());

    // Without a previewer the dialog keeps its old size and shows no preview.
    CStripDlg plain({"20-note"}, reporter);
    EXPECT_EQ(plain.previewLabel(), nullptr);
    EXPECT_EQ(plain.width(), 458);
}

}  // namespace
}  // namespace tunecase
