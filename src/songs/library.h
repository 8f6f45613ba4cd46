// The library: the song data files (".mwd") kept in the user's library folder (see
// user_folders.h for where it is). Listing by title, adding a file, reading a title without loading the song, and
// LOAD, which arranges a library song into a MIDI file. The library dialog and tunecase-cli
// both work through these functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/translation.h"

namespace tunecase {

inline constexpr const char* kLibraryPattern = "*.mwd";
// The list shows at most this many songs.
inline constexpr int kMaxLibraryTitles = 2000;

inline constexpr const char* kNameClashText = N_("A song-data file with the same name is already in the library.");
// Shown when more than one file is dropped on the library at once.
inline constexpr const char* kLibraryOwnerText = N_("Drop one song-data file at a time.");

// Where a song data file keeps its information block, and the two texts in it.
inline constexpr size_t kInfoBlockOffset = 90112;
inline constexpr size_t kInfoBlockSize = 320;
inline constexpr size_t kTitlePosition = 289;
inline constexpr size_t kOtherTextPosition = 33;

// The two texts of an information block of `size` bytes (fewer than 320 when the file is
// short): each up to its NUL, its end of field or the end of the bytes. Never reads past
// `size`.
struct SongTitleTexts {
    std::string title;      // at 289
    std::string otherText;  // at 33
};
SongTitleTexts songTitleTexts(const uint8_t* block, size_t size);

// The title of a song data file, from its information block alone; the text at 33 goes to
// `otherText` when given. A file that does not open, or is too short to reach the title,
// gives what it holds of it (often ""). The file is closed at once.
std::string readSongTitle(std::string_view path, std::string* otherText = nullptr);

// Copies the song data file at `path` into the library `libraryFolder`, creating the library folder when it
// is missing. A file of the same name already there shows "同じ名前のMWDファイルが既にあります。"
// whatever its content; a file that is not a song-data file named ".mwd" shows why (see
// songDataFileProblem). That, or a copy that fails (nothing shown, `failure` gets the file
// and the system's reason; no partial file left, even when the copy is killed), empties
// `path` and returns 0. On success `path` becomes the copy's path and 1 is returned.
int addToArchive(std::string_view libraryFolder, std::string& path, std::string* failure = nullptr);

struct LibraryEntry {
    std::string fileName;  // relative to the library folder
    std::string title;     // as stored (Shift-JIS or UTF-8 bytes)
};

// The library's songs in listing order, at most kMaxLibraryTitles. A missing or empty
// library gives none.
std::vector<LibraryEntry> listLibrary(std::string_view libraryFolder);

// The index of the entry named `fileName`, or -1.
int findLibraryEntry(const std::vector<LibraryEntry>& entries, std::string_view fileName);

// Files dropped on the library: one ".mwd" file (extension compared without case) is
// added with addToArchive and its file name returned; one file of another kind is ignored;
// more than one shows "CLibraryDlg::ErrorMsg". Returns "" whenever nothing was added.
std::string addDroppedToLibrary(std::string_view libraryFolder, const std::vector<std::string>& paths);

// Arranges a song data file into a MIDI file and gives its title; true on success.
using SongArranger =
    std::function<bool(const std::string& songDataPath, const std::string& outputPath, std::string& title)>;

// The arranger of this program (the composition engine's free-progression mode).
SongArranger defaultSongArranger();

// LOAD: arranges the library song `fileName` into `outputPath` with `arranger`. The title
// is set only when the arrangement succeeds.
bool loadLibrarySong(std::string_view libraryFolder, std::string_view fileName, const std::string& outputPath,
                     std::string& title, const SongArranger& arranger);

}  // namespace tunecase
