#include "songs/directory_file_list.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace tunecase {

namespace fs = std::filesystem;

namespace {

char foldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool fileNameMatches(std::string_view pattern, std::string_view name) {
    // "*.*" is every name, dotted or not, as on the system the pattern comes from.
    if (pattern == "*.*" || pattern == "*") return true;
    // Iterative glob with one backtrack point: linear in practice, never exponential.
    size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || foldCase(pattern[p]) == foldCase(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

CDirectoryFileList::CDirectoryFileList(std::string_view folder, std::string_view pattern, bool recursive,
                                       bool prefixSubfolder)
    : folder_(folder), recursive_(recursive), prefixSubfolder_(prefixSubfolder) {
    listFolder(folder_, "", pattern);
}

void CDirectoryFileList::listFolder(const std::string& folder, const std::string& prefix, std::string_view pattern) {
    std::vector<std::string> files, subfolders;
    std::error_code ec;
    fs::directory_iterator it(folder.empty() ? fs::path(".") : fs::path(folder), ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const fs::directory_entry& entry = *it;
        std::string name = entry.path().filename().string();
        std::error_code typeError;
        if (entry.is_directory(typeError)) {
            if (recursive_ && !entry.is_symlink(typeError)) subfolders.push_back(std::move(name));
        } else if (fileNameMatches(pattern, name)) {
            files.push_back(std::move(name));
        }
    }
    std::sort(files.begin(), files.end());
    for (auto& name : files) {
        if (names_.size() >= static_cast<size_t>(kMaxListedNames)) return;
        names_.push_back(prefix + name);
    }
    std::sort(subfolders.begin(), subfolders.end());
    for (const auto& sub : subfolders) {
        if (names_.size() >= static_cast<size_t>(kMaxListedNames)) return;
        const std::string path = (fs::path(folder) / sub).string();
        listFolder(path, prefixSubfolder_ ? prefix + sub + "/" : std::string(), pattern);
    }
}

}  // namespace tunecase
