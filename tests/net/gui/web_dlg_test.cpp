// The web site dialog against our own song server on loopback: the list arrives off the
// window's thread, search and clear, the download into the preview page, and a server that
// never answers (CLOSE waits for the attempt, then the failure box).
#include <gtest/gtest.h>

#include <QTest>
#include <thread>

#include "base/reporter.h"
#include "base/text_codec.h"
#include "net/gui/web_dlg.h"
#include "net/gui/net_gui_test_support.h"
#include "songs/song_data.h"
#include "support/qt_test_app.h"

namespace tunecase {
namespace {

using testing::pumpUntil;

struct PreviewCall {
    std::string title, page, dataFolder, libraryFolder;
    bool loaded = false;
    std::thread::id thread;
};

class WebDlgTest : public ::testing::Test {
protected:
    WebDlgTest() { testing::qtTestApp(); }

    std::unique_ptr<CWebDlg> open(ServerAddress server, NetTimeouts timeouts = {}) {
        CWebDlg::Options options;
        options.server = server;
        options.timeouts = timeouts;
        options.folders = singleFolderLayout("/program");
        options.askSearch = [this](QWidget*, std::string& text) {
            ++asked;
            text = nextSearch;
            return true;
        };
        options.openPreview = [this](QWidget*, const CSongData& song, const std::string& page,
                                     const std::string& dataFolder, const ProgramFolders& folders) {
            previews.push_back({song.title(), page, dataFolder, folders.library, song.isLoaded(),
                                std::this_thread::get_id()});
        };
        auto dialog = std::make_unique<CWebDlg>("/data", nullptr, std::move(options));
        dialog->show();
        return dialog;
    }
    static void press(CWebDlg& dialog, int button) { testing::clickPicture(dialog.buttonControl(button)); }
    static std::vector<std::string> lines(const CWebDlg& dialog) {
        std::vector<std::string> out;
        for (int i = 0; i < dialog.listBox()->count(); ++i) out.push_back(dialog.listBox()->item(i)->text().toStdString());
        return out;
    }

    ScopedCapture boxes;
    std::string nextSearch;
    int asked = 0;
    std::vector<PreviewCall> previews;
};

TEST_F(WebDlgTest, ListsTheServersSongsThenSearchesAndClears) {
    testing::LoopbackSongServer server({"ode_to_joy", "frere_jacques", "jingle_bells"});
    auto dialog = open(server.address());
    EXPECT_EQ(dialog->windowTitle(), "Web Site");
    EXPECT_EQ(lines(*dialog), std::vector<std::string>{"Loading..."});
    ASSERT_TRUE(pumpUntil([&] { return dialog->listAttemptDone(); }));

    // The server lists by file name; the list shows the titles with their row numbers.
    const std::vector<std::string> all = {"Frère Jacques", "Jingle Bells", "Ode to Joy"};
    EXPECT_EQ(lines(*dialog), all);
    EXPECT_EQ(dialog->listBox()->currentRow(), 0);
    EXPECT_EQ(dialog->listBox()->item(2)->data(Qt::UserRole).toInt(), 2);
    EXPECT_EQ(dialog->table().cell(1, kColumnFileName), "jingle_bells.mwd");
    EXPECT_EQ(dialog->buttons().label(webbutton::Search), "Search input");

    nextSearch = "Jac";
    press(*dialog, webbutton::Search);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(lines(*dialog), std::vector<std::string>{"Frère Jacques"});
    EXPECT_EQ(dialog->listBox()->item(0)->data(Qt::UserRole).toInt(), 0);
    EXPECT_EQ(dialog->searchText(), "Jac");
    EXPECT_EQ(dialog->buttons().label(webbutton::Search), "Search clear");

    press(*dialog, webbutton::Search);  // clears without asking
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(lines(*dialog), all);
    EXPECT_EQ(dialog->searchText(), "");
    EXPECT_EQ(dialog->buttons().label(webbutton::Search), "Search input");

    nextSearch = "jingle";  // case-sensitive: nothing
    press(*dialog, webbutton::Search);
    EXPECT_TRUE(lines(*dialog).empty());
    EXPECT_EQ(dialog->searchText(), "jingle");
    EXPECT_EQ(dialog->buttons().label(webbutton::Search), "Search clear");
    // Web Page with nothing listed only beeps.
    press(*dialog, webbutton::WebPage);
    ASSERT_EQ(boxes->count(), 1u);
    EXPECT_EQ(boxes->reports()[0].kind, BoxKind::Beep);
    EXPECT_TRUE(previews.empty());
}

TEST_F(WebDlgTest, WebPageDownloadsOffTheWindowsThreadIntoThePreview) {
    testing::LoopbackSongServer server({"frere_jacques", "ode_to_joy"});
    auto dialog = open(server.address());
    ASSERT_TRUE(pumpUntil([&] { return dialog->listAttemptDone(); }));
    dialog->listBox()->setCurrentRow(1);
    press(*dialog, webbutton::WebPage);
    // The press returns at once; the download runs on.
    EXPECT_TRUE(dialog->isDownloading());
    EXPECT_FALSE(dialog->buttonControl(webbutton::Close)->isEnabled());
    ASSERT_TRUE(pumpUntil([&] { return !previews.empty(); }));
    EXPECT_FALSE(dialog->isDownloading());
    EXPECT_TRUE(dialog->buttonControl(webbutton::Close)->isEnabled());

    const PreviewCall& call = previews[0];
    EXPECT_EQ(call.title, "Ode to Joy");
    EXPECT_TRUE(call.loaded);
    EXPECT_EQ(call.page, server.url("/music/song.php?fn=ode_to_joy.mwd"));
    EXPECT_EQ(call.dataFolder, "/data");
    EXPECT_EQ(call.libraryFolder, "/program/Archive");
    EXPECT_EQ(call.thread, std::this_thread::get_id());
    EXPECT_EQ(boxes->count(), 0u);

    // CLOSE waits its moment, then closes.
    press(*dialog, webbutton::Close);
    ASSERT_TRUE(pumpUntil([&] { return !dialog->isVisible(); }));

    // The server gone, a download says so and opens no preview.
    auto again = open(server.address());
    ASSERT_TRUE(pumpUntil([&] { return again->listAttemptDone(); }));
    server.server.reset();
    press(*again, webbutton::WebPage);
    ASSERT_TRUE(pumpUntil([&] { return !again->isDownloading(); }));
    EXPECT_EQ(boxes->visibleTexts(), std::vector<std::string>{"Could not connect to the internet."});
    EXPECT_EQ(previews.size(), 1u);
}

TEST_F(WebDlgTest, CloseWaitsForTheListAttemptOfAServerThatNeverAnswers) {
    testing::SilentServer silent;
    auto dialog = open(silent.address(), {.connectMs = 1000, .totalMs = 1500});
    testing::pumpFor(200);
    EXPECT_EQ(lines(*dialog), std::vector<std::string>{"Loading..."});
    press(*dialog, webbutton::WebPage);
    press(*dialog, webbutton::Close);
    testing::pumpFor(300);
    EXPECT_TRUE(dialog->isVisible());
    const std::vector<std::string> loading = {"The song list is still loading.", "The song list is still loading."};
    EXPECT_EQ(boxes->visibleTexts(), loading);
    // A search typed meanwhile waits for the list.
    nextSearch = "Ode";
    press(*dialog, webbutton::Search);
    EXPECT_EQ(dialog->buttons().label(webbutton::Search), "Search clear");

    // The failure is said, and no empty list is left standing.
    ASSERT_TRUE(pumpUntil([&] { return dialog->listAttemptDone(); }, 10));
    auto texts = boxes->visibleTexts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[2], "Could not connect to the internet.");
    ASSERT_TRUE(pumpUntil([&] { return !dialog->isVisible(); }));
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
}

TEST(WebSearchDlg, KeepsAtMost1023BytesWithoutSplittingACharacter) {
    testing::qtTestApp();
    CWebSearchDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), "Search");
    EXPECT_EQ(dialog.buttons().label(0), "  SEARCH");
    dialog.field()->setText(QString(400, QChar(0x3042)));  // "あ", three bytes each
    const std::string text = dialog.text();
    EXPECT_EQ(text.size(), 1023u);
    EXPECT_EQ(QString::fromStdString(text), QString(341, QChar(0x3042)));
    dialog.show();
    QTest::keyClick(dialog.field(), Qt::Key_Return);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

}  // namespace
}  // namespace tunecase
