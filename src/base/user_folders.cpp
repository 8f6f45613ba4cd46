#include "base/user_folders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "base/atomic_file.h"
#include "base/utilities.h"

namespace tunecase {

namespace {

std::string homeFolder() {
    const char* home = std::getenv("HOME");
    if (home && *home) return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return {};
}

// $`variable` when it is an absolute path (relative values are invalid by the XDG rules and
// are ignored), else `fallback` under the home folder.
std::string xdgFolder(const char* variable, const char* fallback) {
    const char* xdg = std::getenv(variable);
    if (xdg && *xdg == '/') return xdg;
    std::string home = homeFolder();
    return home.empty() ? std::string() : joinPath(home, fallback);
}

std::string configHome() { return xdgFolder("XDG_CONFIG_HOME", ".config"); }

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

namespace fs = std::filesystem;

// A file every program folder holds: the first knowledge file the composer reads.
constexpr const char* kProgramFolderMarker = "PATTERN.DB";

bool holdsProgramFiles(const fs::path& folder) {
    std::error_code ec;
    return fs::is_regular_file(folder / kProgramFolderMarker, ec);
}

// The installed data folder as seen from the folders of the installed programs (bin/, and
// libexec/tunecase/ for the one tunecase-cli hands commands to); set by the build from its
// install folders, so a relocated prefix still finds its files.
#ifdef TUNECASE_DATA_FROM_BIN
constexpr const char* kDataFromBin = TUNECASE_DATA_FROM_BIN;
constexpr const char* kDataFromLibexec = TUNECASE_DATA_FROM_LIBEXEC;
#else
constexpr const char* kDataFromBin = "../share/tunecase";
constexpr const char* kDataFromLibexec = "../../share/tunecase";
#endif

// Staging folders of seedings that were cut short by a kill: "Archive.new-PID" beside the
// library whose process is gone.
void removeAbandonedStaging(const fs::path& library) {
    std::error_code ec;
    const std::string prefix = library.filename().string() + ".new-";
    for (fs::directory_iterator it(library.parent_path(), ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(prefix, 0) != 0) continue;
        const std::string pid = name.substr(prefix.size());
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
        std::error_code gone;
        if (!fs::exists(fs::path("/proc") / pid, gone)) fs::remove_all(it->path(), gone);
    }
}

// Copies the sample songs of `samples` into a fresh folder that then becomes `library` in one
// rename, so a library is either complete or not there: a sample that cannot be copied whole
// (a full disk) leaves no library, and the next start tries again. When another process made
// the library meanwhile, its library stays and ours goes. True when the library is there.
bool seedLibrary(const fs::path& samples, const fs::path& library) {
    std::error_code ec;
    removeAbandonedStaging(library);
    fs::path staging = library;
    staging += ".new-" + std::to_string(::getpid());
    fs::remove_all(staging, ec);
    if (!fs::create_directories(staging, ec)) return false;
    bool complete = true;
    for (fs::directory_iterator it(samples, ec); complete && !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code kind;
        if (!it->is_regular_file(kind) || extensionLower(it->path().string()) != "mwd") continue;
        complete = copyFileAtomically(it->path().string(), (staging / it->path().filename()).string());
    }
    if (complete && !ec) {
        fs::rename(staging, library, ec);
        if (!ec) return true;
    }
    fs::remove_all(staging, ec);
    return fs::is_directory(library, ec);
}

}  // namespace

std::string findProgramFolder() {
    if (const char* given = std::getenv(kProgramFolderVariable); given && *given) return given;
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    const fs::path installed = (self.parent_path() / kDataFromBin).lexically_normal();
    if (ec) return installed.string();
    if (holdsProgramFiles(installed)) return installed.string();
    if (const fs::path helper = (self.parent_path() / kDataFromLibexec).lexically_normal(); holdsProgramFiles(helper))
        return helper.string();
    const fs::path buildTree = self.parent_path() / "data";
    if (holdsProgramFiles(buildTree)) return buildTree.string();
    return installed.string();
}

std::string findLocaleFolder() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    // share/tunecase/.. is share/, whose "locale" holds the installed catalogues.
    const fs::path installed = (self.parent_path() / kDataFromBin / ".." / "locale").lexically_normal();
    if (ec) return installed.string();
    const fs::path candidates[] = {
        self.parent_path() / "locale",                // build/ (the programs)
        self.parent_path().parent_path() / "locale",  // build/tests/ (the test programs)
        installed,
        (self.parent_path() / kDataFromLibexec / ".." / "locale").lexically_normal(),
    };
    for (const fs::path& folder : candidates)
        if (fs::is_directory(folder / "en" / "LC_MESSAGES", ec)) return folder.string();
    return installed.string();
}

ProgramFolders singleFolderLayout(std::string_view folder) {
    return {std::string(folder), joinPath(folder, kLibraryFolderName), std::string(folder)};
}

ProgramFolders locateProgramFolders() {
    if (const char* given = std::getenv(kProgramFolderVariable); given && *given) return singleFolderLayout(given);
    ProgramFolders folders;
    folders.program = findProgramFolder();
    const std::string data = xdgFolder("XDG_DATA_HOME", ".local/share");
    if (!data.empty()) folders.library = joinPath(joinPath(data, kDataFolderName), kLibraryFolderName);
    // The runtime folder is the user's own and emptied at logout: right for scratch files.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::error_code ec;
    if (runtime && *runtime == '/' && fs::is_directory(runtime, ec)) folders.work = joinPath(runtime, kDataFolderName);
    else if (const std::string cache = xdgFolder("XDG_CACHE_HOME", ".cache"); !cache.empty())
        folders.work = joinPath(cache, kDataFolderName);
    return folders;
}

int prepareLibraryFolder(const ProgramFolders& folders) {
    if (folders.library.empty()) return 0;
    const fs::path library(folders.library);
    std::error_code ec;
    if (fs::is_directory(library, ec)) return 1;
    const fs::path samples = fs::path(folders.program) / kLibraryFolderName;
    if (library != samples && fs::is_directory(samples, ec)) {
        fs::create_directories(library.parent_path(), ec);
        // A seeding that failed makes no empty library either, or it would never be seeded.
        return seedLibrary(samples, library) ? 1 : 0;
    }
    return makeFolders(folders.library);
}

int prepareWorkFolder(const ProgramFolders& folders) {
    if (folders.work.empty()) return 0;
    std::error_code ec;
    if (fs::is_directory(folders.work, ec)) return 1;
    if (!makeFolders(folders.work)) return 0;
    ::chmod(folders.work.c_str(), 0700);
    return 1;
}

std::string specialFolder(int id) {
    std::string folder;
    if (id == kFolderAppData) folder = configHome();
    else if (id == kFolderMyMusic) folder = musicFolder();
    if (folder.empty()) return {};
    return makeFolders(folder) ? folder : std::string();
}

}  // namespace tunecase
