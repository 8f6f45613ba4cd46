// CDirectoryFileList: the files of one folder that match a pattern, optionally with those of
// its subfolders, named relative to the folder. The library and the automatic selection list
// their song data files with it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tunecase {

// Room for this many names; a listing stops adding when it is full.
inline constexpr int kMaxListedNames = 29000;

// True when `name` matches `pattern` ('*' any run, '?' one byte), A..Z and a..z taken as
// equal, as the file search of the system the song files come from does: "*.mwd" also finds
// "SONG.MWD", and "*.*" finds every name, with or without a dot.
bool fileNameMatches(std::string_view pattern, std::string_view name);

class CDirectoryFileList {
public:
    // Lists at construction. `recursive`: also the matching files of every subfolder (and
    // theirs), through the same class; `prefixSubfolder`: those names keep the subfolder
    // path in front ("sub/x.mwd"), else they are bare file names. Only files are listed,
    // sorted by name within each folder so that the order is the same on every run;
    // subfolders that are links are not entered, so a link loop cannot recurse forever.
    // A missing or unreadable folder lists nothing.
    CDirectoryFileList(std::string_view folder, std::string_view pattern, bool recursive = false,
                       bool prefixSubfolder = false);

    const std::string& folder() const { return folder_; }
    bool recursive() const { return recursive_; }
    bool prefixSubfolder() const { return prefixSubfolder_; }
    int count() const { return static_cast<int>(names_.size()); }
    const std::vector<std::string>& names() const { return names_; }
    const std::string& name(int index) const { return names_.at(static_cast<size_t>(index)); }

private:
    // Adds the matching names of `folder` (and below), each after `prefix`.
    void listFolder(const std::string& folder, const std::string& prefix, std::string_view pattern);

    std::string folder_;
    bool recursive_;
    bool prefixSubfolder_;
    std::vector<std::string> names_;
};

}  // namespace tunecase
