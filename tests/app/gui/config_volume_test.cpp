// CONFIG's volume: read from the preferences file, kept there and given to the synthesizer
// by SET, left alone by Escape.
#include <gtest/gtest.h>

#include <QTest>

#include "app/compose_preferences.h"
#include "app/gui/config_dlg.h"
#include "support/qt_test_app.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

class NoBrowser final : public FolderBrowser {
public:
    Result browseForFolder(const std::string&, std::string&, const std::string&) override { return Cancelled; }
};

TEST(ConfigVolume, SetKeepsTheVolumeAndEscapeDoesNot) {
    testing::qtTestApp();
    testing::TempFolder dir;
    const std::string prefs = dir.file("compose.ini");
    PlayerSettings settings = defaultPlayerSettings();
    NoBrowser browser;
    {
        CConfigDlg dialog(&settings, &browser, nullptr, prefs);
        dialog.show();
        EXPECT_DOUBLE_EQ(dialog.volumeBox()->value(), kDefaultPlayerGain);
        EXPECT_DOUBLE_EQ(dialog.volumeBox()->maximum(), kMaxPlayerGain);
        dialog.commit();
        EXPECT_FALSE(std::filesystem::exists(prefs));  // unchanged: nothing written
    }
    {
        CConfigDlg dialog(&settings, &browser, nullptr, prefs);
        dialog.show();
        dialog.volumeBox()->setValue(5.5);
        QTest::mousePress(dialog.setControl(), Qt::LeftButton, {}, QPoint(10, 10));
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        QTest::mouseRelease(dialog.setControl(), Qt::LeftButton, {}, QPoint(10, 10));
        EXPECT_DOUBLE_EQ(readVolume(prefs), 5.5);
        EXPECT_DOUBLE_EQ(playerSynthGain(), 5.5);
    }
    {
        CConfigDlg dialog(&settings, &browser, nullptr, prefs);
        dialog.show();
        EXPECT_DOUBLE_EQ(dialog.volumeBox()->value(), 5.5);
        dialog.volumeBox()->setValue(1.0);
        QTest::keyClick(&dialog, Qt::Key_Escape);
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        EXPECT_DOUBLE_EQ(readVolume(prefs), 5.5);
        EXPECT_DOUBLE_EQ(playerSynthGain(), 5.5);
    }
    setPlayerSynthGain(kDefaultPlayerGain);
}

}  // namespace
}  // namespace tunecase
