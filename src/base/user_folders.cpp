#include "base/user_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "base/utilities.h"

namespace tunecase {

namespace {

std::string homeFolder() {
    const char* home = std::getenv("HOME");
    if (home && *home) return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return {};
}

std::string configHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    // Relative values are invalid by the XDG rules and are ignored.
    if (xdg && *xdg == '/') return xdg;
    std::string home = homeFolder();
    return home.empty() ? std::string() : joinPath(home, ".config");
}

// XDG_MUSIC_DIR from user-dirs.dirs: a line XDG_MUSIC_DIR="$HOME/Music" or an absolute path.
std::string musicFolder() {
    std::string home = homeFolder();
    std::string config = configHome();
    if (!config.empty()) {
        std::ifstream in(joinPath(config, "user-dirs.dirs"));
        std::string line;
        while (std::getline(in, line)) {
            const std::string key = "XDG_MUSIC_DIR=";
            if (line.rfind(key, 0) != 0) continue;
            std::string value = line.substr(key.size());
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                value = value.substr(1, value.size() - 2);
            if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
            // A music folder equal to home means "not set" in the XDG rules.
            if (!value.empty() && value.front() == '/' && value != home && value != home + "/")
                return value;
        }
    }
    return home.empty() ? std::string() : joinPath(home, "Music");
}

}  // namespace

std::string specialFolder(int id) {
    std::string folder;
    if (id == kFolderAppData) folder = configHome();
    else if (id == kFolderMyMusic) folder = musicFolder();
    if (folder.empty()) return {};
    return makeFolders(folder) ? folder : std::string();
}

}  // namespace tunecase
