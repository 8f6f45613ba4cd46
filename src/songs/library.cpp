#include "songs/library.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "base/atomic_file.h"
#include "base/reporter.h"
#include "base/utilities.h"
#include "songs/directory_file_list.h"
#include "songs/song_data.h"

namespace tunecase {

namespace fs = std::filesystem;

namespace {

// The text at `position` of the block, up to its NUL, `fieldEnd` or the end of the bytes.
std::string textAt(const uint8_t* block, size_t size, size_t position, size_t fieldEnd) {
    const size_t end = std::min(size, fieldEnd);
    if (!block || position >= end) return {};
    const char* start = reinterpret_cast<const char*>(block + position);
    const size_t available = end - position;
    size_t n = 0;
    while (n < available && start[n] != '\0') ++n;
    return std::string(start, n);
}

}  // namespace

SongTitleTexts songTitleTexts(const uint8_t* block, size_t size) {
    SongTitleTexts texts;
    texts.title = textAt(block, size, kTitlePosition, kInfoBlockSize);
    texts.otherText = textAt(block, size, kOtherTextPosition, kTitlePosition);
    return texts;
}

std::string readSongTitle(std::string_view path, std::string* otherText) {
    uint8_t block[kInfoBlockSize] = {};
    size_t got = 0;
    if (std::FILE* f = std::fopen(std::string(path).c_str(), "rb")) {
        if (std::fseek(f, static_cast<long>(kInfoBlockOffset), SEEK_SET) == 0) got = std::fread(block, 1, sizeof block, f);
        std::fclose(f);
    }
    SongTitleTexts texts = songTitleTexts(block, got);
    if (otherText) *otherText = std::move(texts.otherText);
    return std::move(texts.title);
}

int addToArchive(std::string_view libraryFolder, std::string& path, std::string* failure) {
    const std::string source = path;
    const std::string folder(libraryFolder);
    const std::string destination = joinPath(folder, fileNamePart(source));
    if (failure) failure->clear();
    std::error_code ec;
    if (fs::exists(fs::symlink_status(destination, ec))) {
        ScopedReason why(fillIn(tr("%s is already there: rename the file to add it as another song"), destination));
        reportText(kNameClashText, BoxKind::Ok);
        path.clear();
        return 0;
    }
    if (fileNamePart(source).empty() || !fs::is_regular_file(source, ec)) {
        if (failure) *failure = source + ": " + (ec ? ec.message() : std::string(tr("not a file")));
        path.clear();
        return 0;
    }
    // Only songs join: anything else would list as a blank line and load as no song at all.
    std::string problem = songDataFileProblem(source);
    if (problem.empty() && extensionLower(source) != "mwd")
        problem = fillIn(tr("%s is not named as a song-data file: the library takes only names ending in .mwd."), source);
    if (!problem.empty()) {
        reportText(problem, BoxKind::Ok);
        path.clear();
        return 0;
    }
    // A fresh install has no library folder yet: make it, so that adding works at once.
    fs::create_directories(folder, ec);
    // The copy appears whole or not at all, and never over a file that appeared meanwhile.
    std::string reason;
    if (!copyFileAtomically(source, destination, &reason, AtomicFile::KeepExisting)) {
        if (failure) *failure = reason;
        path.clear();
        return 0;
    }
    path = destination;
    return 1;
}

std::vector<LibraryEntry> listLibrary(std::string_view libraryFolder) {
    const std::string folder(libraryFolder);
    CDirectoryFileList files(folder, kLibraryPattern);
    std::vector<LibraryEntry> entries;
    const int n = std::min(files.count(), kMaxLibraryTitles);
    entries.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) entries.push_back({files.name(i), readSongTitle(joinPath(folder, files.name(i)))});
    return entries;
}

int findLibraryEntry(const std::vector<LibraryEntry>& entries, std::string_view fileName) {
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].fileName == fileName) return static_cast<int>(i);
    return -1;
}

std::string addDroppedToLibrary(std::string_view libraryFolder, const std::vector<std::string>& paths) {
    if (paths.size() > 1) {
        reportText(kLibraryOwnerText, BoxKind::Ok);
        return {};
    }
    if (paths.empty() || extensionLower(paths[0]) != "mwd") return {};
    std::string path = paths[0];
    if (!addToArchive(libraryFolder, path)) return {};
    return fileNamePart(path);
}

bool loadLibrarySong(std::string_view libraryFolder, std::string_view fileName, const std::string& outputPath,
                     std::string& title, const SongArranger& arranger) {
    const std::string source = joinPath(libraryFolder, fileName);
    std::string arranged;
    if (!arranger || !arranger(source, outputPath, arranged)) return false;
    title = std::move(arranged);
    return true;
}

}  // namespace tunecase
