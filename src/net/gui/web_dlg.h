// CWebDlg ("Web Site"): the song server's songs by title, narrowed by a search text
// (CWebSearchDlg), and the download of the chosen song into its preview page (CTrialDlg).
// The list and the song are both fetched off the window's thread.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/user_folders.h"
#include "controls/gui/button_picture.h"
#include "base/job_runner.h"
#include "controls/gui/window_post.h"
#include "net/song_server_client.h"
#include "base/translation.h"

namespace tunecase {

class CSongData;

inline constexpr const char* kWebSiteCaption = N_("Web Site");
inline constexpr const char* kWebSearchCaption = N_("Search");
inline constexpr const char* kSearchInputLabel = N_("Search input");
inline constexpr const char* kSearchClearLabel = N_("Search clear");
// The longest search text, in bytes.
inline constexpr int kMaxSearchText = 1023;

// The private message on which the dialog starts loading the list.
inline constexpr int kListLoadedMessage = 0x81F9;

// Picture buttons of the web site dialog .
namespace webbutton {
inline constexpr int WebPage = 0;
inline constexpr int Search = 1;
inline constexpr int Close = 2;
inline constexpr int Count = 3;
}  // namespace webbutton

// CWebSearchDlg: one edit field and "  SEARCH".
class CWebSearchDlg : public QDialog {
    Q_OBJECT
public:
    explicit CWebSearchDlg(QWidget* parent = nullptr);
    ~CWebSearchDlg() override;

    // The modal dialog; true with the text entered when SEARCH was pressed.
    static bool ask(QWidget* parent, std::string& text);

    // The field's text as UTF-8, cut to kMaxSearchText bytes on a character boundary.
    std::string text() const;
    QLineEdit* field() const { return field_; }
    COffScreenControl* buttonControl() const { return control_; }
    const CButtonPicture& buttons() const { return button_; }

private:
    QLineEdit* field_ = nullptr;
    COffScreenControl* control_ = nullptr;
    CButtonPicture button_;
};

class CWebDlg : public QDialog {
    Q_OBJECT
public:
    // Asks for a search text; false when nothing was entered.
    using SearchAsker = std::function<bool(QWidget* parent, std::string& text)>;
    // Shows the preview page of a downloaded song (modal).
    using PreviewOpener = std::function<void(QWidget* parent, const CSongData& song, const std::string& pageAddress,
                                             const std::string& dataFolder, const ProgramFolders& folders)>;

    struct Options {
        std::optional<ServerAddress> server;  // from the server settings file when not set
        NetTimeouts timeouts;
        std::optional<ProgramFolders> folders;  // library and work files; the located folders when empty
        SearchAsker askSearch;                // CWebSearchDlg when not set
        PreviewOpener openPreview;            // CTrialDlg in its own program when not set
    };

    // Milliseconds CLOSE waits so that the pressed button shows.
    static constexpr int kCloseDelayMs = 100;

    explicit CWebDlg(std::string dataFolder, QWidget* parent = nullptr, Options options = {});
    ~CWebDlg() override;

    // The modal dialog.
    static void run(const std::string& dataFolder, QWidget* parent = nullptr);

    bool listAttemptDone() const { return listAttemptDone_; }
    bool isDownloading() const { return download_.busy(); }
    const std::string& searchText() const { return searchText_; }
    const SongListTable& table() const { return table_; }
    QListWidget* listBox() const { return list_; }
    COffScreenControl* buttonControl(int index) const;
    const CButtonPicture& buttons() const { return buttons_; }

    // The buttons' actions, as pressing them does (CLOSE after its short wait).
    void openSelectedSong();
    void searchOrClear();
    void closeWhenLoaded();
    // Lists the loaded rows whose title holds the search text.
    void fillList();

    // Escape and the window's close button follow CLOSE's rule.
    void reject() override;

protected:
    bool event(QEvent* event) override;

private:
    void onButton(int index);
    void listLoaded();
    void songDownloaded(const NetResult& result, std::vector<uint8_t> bytes, int row);
    void setDownloading(bool on);

    std::string dataFolder_;
    ProgramFolders folders_;
    ServerAddress server_;
    NetTimeouts timeouts_;
    SearchAsker askSearch_;
    PreviewOpener openPreview_;
    std::string searchText_;
    bool listAttemptDone_ = false;
    bool closePending_ = false;

    QListWidget* list_ = nullptr;
    std::array<COffScreenControl*, webbutton::Count> controls_{};
    CButtonPicture buttons_;
    // Filled by the list job; read on the window's thread only once that job has ended.
    SongListTable table_;
    bool listFailed_ = false;  // written by the list's job, read once it has ended
    // Last: their workers end before anything they use goes.
    JobRunner listJob_{windowPost(this)};
    JobRunner download_{windowPost(this)};
};

}  // namespace tunecase
