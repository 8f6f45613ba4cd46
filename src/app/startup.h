// Start-up of the player without its windows: the settings folder, the two records and
// the first-run question for the data folder.
#pragma once

#include <memory>
#include <string>

#include "base/config_control.h"
#include "base/records.h"
#include "base/user_folders.h"
#include "base/translation.h"

namespace tunecase {

// Asks the user for a folder. The desktop player answers with a folder browser; tests and
// the command line answer with fixed choices.
class FolderBrowser {
public:
    enum Result { Picked = 1, Cancelled = 2 };
    virtual ~FolderBrowser() = default;
    // Shows a folder browser titled `title` with `initial` preselected. On Picked, `out`
    // holds the chosen folder's full path.
    virtual Result browseForFolder(const std::string& initial, std::string& out,
                                   const std::string& title) = 0;
};

inline constexpr const char* kDataFolderPromptTitle = N_("Choose a folder to keep your songs in.");
inline constexpr const char* kDataFolderUsedText = N_("%s will be used as the data folder.");
inline constexpr const char* kDataFolderTooLongText =
    N_("The folder path \"%s\" is too long to be kept (at most 259 bytes). Please choose a folder with a shorter path.");
inline constexpr const char* kSettingsFileName = "setup.ini";
inline constexpr const char* kSongListFileName = "mbox.lst";

// The settings folder: the application-data folder joined with "TNC", created when a
// search does not find it. "" when no application-data folder exists.
std::string prepareSettingsFolder();

// Asks for the data folder on the first run. The answer has no trailing "/" (except the
// root itself). A path that does not fit the 260-byte field is refused with a message and
// the question is asked again; cancelling uses the music folder and says so.
std::string askDataFolder(FolderBrowser& browser);

// The two records bound to their files in the settings folder.
struct StartupRecords {
    std::unique_ptr<CConfigControl> settingsControl;
    std::unique_ptr<CConfigControl> listControl;
};

// Loads setup.ini into `settings` and mbox.lst into `list` (both owned by the caller and
// outliving the result). When setup.ini cannot be opened this is the first run: the data
// folder is asked for through `browser` and written into the defaults. A loaded list is
// brought back inside its invariants.
StartupRecords openSettingsAndList(const std::string& settingsFolder, PlayerSettings& settings,
                                   SongList& list, FolderBrowser& browser);

// TRANSLATORS: the folder of the help pages in this language, under the program folder
// ("help/ja" holds the Japanese pages).
inline constexpr const char* kHelpFolder = N_("help");

// A help page under the program folder: "top.htm", shown by HELP, in the user's language when
// the pages come in it ("help/ja/top.htm"), else the English one ("help/top.htm").
std::string helpPagePath(const std::string& programFolder, const std::string& page = "top.htm");

}  // namespace tunecase
