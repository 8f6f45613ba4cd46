// Where the program keeps its files on Linux: application data under the XDG config
// folder, and the user's music folder for songs. Every layer that finds user files uses it.
#pragma once

#include <string>

namespace tunecase {

// Shell folder ids as the rest of the program names them.
inline constexpr int kFolderAppData = 26;  // $XDG_CONFIG_HOME, default ~/.config
// The program's folder inside the application-data folder (settings, song list, servers).
inline constexpr const char* kSettingsFolderName = "TNC";

inline constexpr int kFolderMyMusic = 13;  // XDG_MUSIC_DIR from user-dirs.dirs, default ~/Music

// The folder for `id`, created when missing. "" when the id is unknown, the home folder
// cannot be found, or the folder cannot be created.
std::string specialFolder(int id);

}  // namespace tunecase
