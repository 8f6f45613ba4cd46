// The preview page of a downloaded song runs as a program of its own (tunecase-web-page): the
// embedded browser is by far the largest thing the window could load, and only this page
// needs it, so it is loaded when the page opens and leaves with it.
#pragma once

#include <QStringList>
#include <string>

#include "base/user_folders.h"

class QWidget;

namespace tunecase {

class CSongData;

inline constexpr const char* kWebPageProgramName = "tunecase-web-page";
// The song handed to the program, in the work folder while the page is open.
inline constexpr const char* kWebPageSongName = "web-page.mwd";
// The line the program writes on its standard output as its window closes: the embedded
// browser takes a second or so more to wind down, and the opener should not wait for that.
inline constexpr const char* kWebPageClosedLine = "page closed";

// Installed: libexec/tunecase as seen from bin/; in a build tree: beside this program or
// one folder up (the test programs sit in tests/).
std::string webPageProgramPath();

// The program's arguments: PAGE_ADDRESS SONG_FILE DATA_FOLDER PROGRAM_FOLDER LIBRARY WORK_FOLDER.
QStringList webPageArguments(const std::string& pageAddress, const std::string& songFile,
                             const std::string& dataFolder, const ProgramFolders& folders);

// Shows the page as the dialog did: `parent` takes no input until the page's window closes
// (the program may still be ending then; it is waited for, briefly, when the window's
// program ends). A program that cannot start shows GENE 0x01000005 with its path.
void openWebPageProgram(QWidget* parent, const CSongData& song, const std::string& pageAddress,
                        const std::string& dataFolder, const ProgramFolders& folders);

}  // namespace tunecase
