// Where the program keeps its files on Linux: settings under the XDG config folder, the
// user's music folder for songs, the read-only program files found from the executable's
// own location, the song library under the XDG data folder and work files in the runtime or
// cache folder. Every layer that finds files uses it.
#pragma once

#include <string>
#include <string_view>

namespace tunecase {

// Shell folder ids as the rest of the program names them.
inline constexpr int kFolderAppData = 26;  // $XDG_CONFIG_HOME, default ~/.config
// The program's folder inside the application-data folder (settings, song list, servers).
inline constexpr const char* kSettingsFolderName = "TNC";

inline constexpr int kFolderMyMusic = 13;  // XDG_MUSIC_DIR from user-dirs.dirs, default ~/Music

// The folder for `id`, created when missing. "" when the id is unknown, the home folder
// cannot be found, or the folder cannot be created.
std::string specialFolder(int id);

// ---- Program files, library and work files ---------------------------------------------

// Names the program folder explicitly: program files, the library (its "Archive") and the
// work files all live in that one folder. Tests and source-tree runs use it.
inline constexpr const char* kProgramFolderVariable = "TUNECASE_PROGRAM_FOLDER";
// The library folder's name, under the program folder and under the XDG data folder.
inline constexpr const char* kLibraryFolderName = "Archive";
// The program's folder under $XDG_DATA_HOME, $XDG_RUNTIME_DIR and $XDG_CACHE_HOME.
inline constexpr const char* kDataFolderName = "tunecase";

// The folders the program works with.
struct ProgramFolders {
    std::string program;  // read-only: knowledge files, help pages, the sample library
    std::string library;  // the user's song library, writable
    std::string work;     // scratch files: the upload file, the preview files
};

// The read-only program folder: $TUNECASE_PROGRAM_FOLDER when set; otherwise found from the
// executable's own location, never from the current folder: the installed data folder
// (share/tunecase beside bin/, or seen from libexec/tunecase), or, in a build tree, "data"
// beside the executable. The first
// that holds the knowledge files wins; the installed data folder when none does, so that
// messages name the place the files were looked for.
std::string findProgramFolder();

// The folder of the compiled translation catalogues (<lang>/LC_MESSAGES/tunecase.mo), found
// from the executable's own location like the program folder: "locale" beside it (or beside
// its parent folder) in a build tree, else share/locale of the installed prefix.
std::string findLocaleFolder();

// Every folder at once. With $TUNECASE_PROGRAM_FOLDER set, the single-folder layout of
// `singleFolderLayout`; otherwise the library is $XDG_DATA_HOME/tunecase/Archive (default
// ~/.local/share) and the work folder $XDG_RUNTIME_DIR/tunecase, or $XDG_CACHE_HOME/tunecase
// (default ~/.cache) when there is no runtime folder. Nothing is created here.
ProgramFolders locateProgramFolders();

// Program files, library (`folder`/Archive) and work files all in `folder`.
ProgramFolders singleFolderLayout(std::string_view folder);

// Makes sure the library folder exists. When it has to be created, the sample songs of the
// program folder's "Archive" are copied into it, so a first start finds songs to play; a
// library that exists is left as it is, even when the user has emptied it. The library
// appears only with every sample copied whole: a seeding that fails (a full disk) leaves no
// library folder, so the next start seeds again. Returns 1 when the folder exists afterwards. Single-folder layouts, whose library is the sample library
// itself, are not seeded.
int prepareLibraryFolder(const ProgramFolders& folders);

// Makes sure the work folder exists (private to the user). Returns 1 when it does.
int prepareWorkFolder(const ProgramFolders& folders);

}  // namespace tunecase
