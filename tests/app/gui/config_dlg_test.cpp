#include <gtest/gtest.h>

#include <QGroupBox>
#include <QTest>
#include <cstring>

#include "app/gui/config_dlg.h"
#include "base/reporter.h"
#include "support/qt_test_app.h"

namespace tunecase {
namespace {

// Answers the "..." button with a fixed choice and remembers what it was asked.
class FakeBrowser final : public FolderBrowser {
public:
    Result browseForFolder(const std::string& initial, std::string& out, const std::string& title) override {
        ++calls;
        lastInitial = initial;
        lastTitle = title;
        if (answer.empty()) return Cancelled;
        out = answer;
        return Picked;
    }
    std::string answer;
    std::string lastInitial, lastTitle;
    int calls = 0;
};

class ConfigDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::qtTestApp();
        settings = defaultPlayerSettings();
        std::strcpy(settings.dataFolder, "/home/u/Music");
        dialog = std::make_unique<CConfigDlg>(&settings, &browser);
        dialog->show();
    }
    PlayerSettings settings;
    FakeBrowser browser;
    std::unique_ptr<CConfigDlg> dialog;
};

TEST_F(ConfigDlgTest, StartsFromTheSettingsWithItsEnglishTexts) {
    EXPECT_EQ(dialog->windowTitle(), "Configuration");
    EXPECT_EQ(dialog->shortNoteBox()->text(), "Delete Short Note Channel");
    EXPECT_EQ(dialog->longNoteBox()->text(), "Delete Long Note Channel");
    EXPECT_TRUE(dialog->shortNoteBox()->isChecked());
    EXPECT_TRUE(dialog->longNoteBox()->isChecked());
    EXPECT_EQ(dialog->folderEdit()->text(), "/home/u/Music");
    EXPECT_TRUE(dialog->folderEdit()->isReadOnly());
    EXPECT_EQ(dialog->browseButton()->text(), "...");
    QStringList groups;
    for (auto* g : dialog->findChildren<QGroupBox*>()) groups << g->title();
    EXPECT_EQ(groups, (QStringList{"About Play", "Data Folder"}));
    EXPECT_EQ(dialog->setControl()->geometry(), QRect(10, 200, 88, 27));
    EXPECT_FALSE(dialog->windowFlags() & Qt::WindowSystemMenuHint);

    PlayerSettings mixed = defaultPlayerSettings();
    mixed.deleteShortNoteChannel = 0;
    CConfigDlg other(&mixed, &browser);
    EXPECT_FALSE(other.shortNoteBox()->isChecked());
    EXPECT_TRUE(other.longNoteBox()->isChecked());
}

TEST_F(ConfigDlgTest, SetWritesBothCheckBoxesAndCloses) {
    dialog->shortNoteBox()->setChecked(false);
    dialog->longNoteBox()->setChecked(false);
    EXPECT_EQ(settings.deleteShortNoteChannel, 1);  // nothing written before SET
    QTest::mousePress(dialog->setControl(), Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(settings.deleteShortNoteChannel, 0);
    EXPECT_EQ(settings.deleteLongNoteChannel, 0);
    QTest::mouseRelease(dialog->setControl(), Qt::LeftButton, {}, QPoint(10, 10));
}

TEST_F(ConfigDlgTest, EscapeKeepsTheCheckBoxesButAPickedFolderStays) {
    browser.answer = "/srv/songs/";
    dialog->shortNoteBox()->setChecked(false);
    QTest::mouseClick(dialog->browseButton(), Qt::LeftButton);
    EXPECT_EQ(browser.calls, 1);
    EXPECT_EQ(browser.lastInitial, "/home/u/Music");
    EXPECT_EQ(browser.lastTitle, "Choose a folder to keep your songs in.");
    EXPECT_STREQ(settings.dataFolder, "/srv/songs");
    EXPECT_EQ(dialog->folderEdit()->text(), "/srv/songs");

    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(settings.deleteShortNoteChannel, 1);
    EXPECT_EQ(settings.deleteLongNoteChannel, 1);
    EXPECT_STREQ(settings.dataFolder, "/srv/songs");
}

TEST_F(ConfigDlgTest, RootIsKeptWithItsSeparatorAndACancelledBrowserChangesNothing) {
    browser.answer = "/";
    dialog->browse();
    EXPECT_STREQ(settings.dataFolder, "/");
    EXPECT_EQ(dialog->folderEdit()->text(), "/");

    browser.answer.clear();
    dialog->browse();
    EXPECT_STREQ(settings.dataFolder, "/");

    // Typing into the box is never read back.
    dialog->folderEdit()->setText("/typed");
    dialog->commit();
    EXPECT_STREQ(settings.dataFolder, "/");
}

TEST_F(ConfigDlgTest, FolderTooLongForTheRecordIsRefused) {
    ScopedCapture cap;
    browser.answer = "/" + std::string(300, 'x');
    dialog->browse();
    EXPECT_STREQ(settings.dataFolder, "/home/u/Music");
    EXPECT_EQ(dialog->folderEdit()->text(), "/home/u/Music");
    EXPECT_EQ(cap->count(), 1u);
}

}  // namespace
}  // namespace tunecase
