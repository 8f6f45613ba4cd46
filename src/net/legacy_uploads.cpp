#include "net/legacy_uploads.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <string_view>

#include "base/utilities.h"
#include "net/song_store.h"

namespace tunecase {

namespace {

// "KEY KEY.EXT" as the earlier version wrote it: a key, then the file named after it with an
// upload's extension. Nothing else may name a file to read.
bool parseIndexLine(std::string_view line, std::string* key, std::string* name) {
    const std::string_view k = line.substr(0, kUploadKeyLength);
    if (!isStoredUploadKey(k) || line.size() < 2 * kUploadKeyLength + 2 || line[kUploadKeyLength] != ' ') return false;
    const std::string_view file = line.substr(kUploadKeyLength + 1);
    if (file.substr(0, kUploadKeyLength) != k || file[kUploadKeyLength] != '.' ||
        !isUploadExtension(file.substr(kUploadKeyLength + 1)))
        return false;
    *key = k;
    *name = file;
    return true;
}

}  // namespace

LegacyImport importLegacyUploads(const std::string& folder, SongStore& store, size_t maxBytes,
                                 const std::function<void(const std::string&)>& log) {
    namespace fs = std::filesystem;
    LegacyImport result;
    const std::string indexPath = joinPath(folder, kLegacyUploadIndexName);
    struct stat info {};
    if (::lstat(indexPath.c_str(), &info) != 0) return result;
    auto fail = [&](std::string why) {
        result.ok = false;
        result.error = std::move(why);
        log("uploads: the earlier version's index " + indexPath + " was not imported: " + result.error);
        return result;
    };
    if (!S_ISREG(info.st_mode)) return fail("not a regular file");
    if (info.st_size > kLegacyUploadIndexLimit)
        return fail("larger than " + std::to_string(kLegacyUploadIndexLimit) + " bytes");
    std::string text(static_cast<size_t>(info.st_size), '\0');
    const int64_t got = readExact(indexPath, text.data(), text.size());
    if (got < 0) return fail(std::strerror(errno));
    text.resize(static_cast<size_t>(got));

    std::map<std::string, std::string> listed;  // key -> file name; the first line of a key holds
    int64_t badLines = 0;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string key, name;
        if (parseIndexLine(std::string_view(text).substr(at, end - at), &key, &name))
            listed.emplace(std::move(key), std::move(name));
        else if (end > at)
            ++badLines;
        at = end + 1;
    }
    if (badLines) log("uploads: " + std::to_string(badLines) + " bad lines in " + indexPath + " skipped");

    std::vector<std::string> keys;
    for (const auto& entry : listed) keys.push_back(entry.first);
    // Read one file at a time, inside the store's transaction, so a large folder never sits
    // in memory whole. These uploads were kept already: the uploads cap does not apply.
    auto read = [&](const std::string& key, KeptUpload& upload) {
        const std::string& name = listed.at(key);
        const std::string path = joinPath(folder, name);
        struct stat file {};
        std::string why;
        if (::lstat(path.c_str(), &file) != 0)
            why = std::strerror(errno);
        else if (!S_ISREG(file.st_mode))
            why = "not a regular file";
        else if (static_cast<uint64_t>(file.st_size) > maxBytes)
            why = "larger than an upload may be (" + std::to_string(maxBytes) + " bytes)";
        if (why.empty()) {
            upload.bytes.resize(static_cast<size_t>(file.st_size));
            const int64_t n = readExact(path, upload.bytes.data(), upload.bytes.size());
            if (n != file.st_size) why = n < 0 ? std::strerror(errno) : "changed while read";
        }
        if (!why.empty()) {
            log("uploads: " + path + " skipped: " + why);
            return false;
        }
        upload.name = name;
        upload.createdSeconds = static_cast<int64_t>(file.st_mtime);
        return true;
    };
    std::string why;
    result.imported = store.importUploads(keys, read, &why);
    if (result.imported < 0) {
        result.imported = 0;
        return fail(why);
    }
    std::error_code ec;
    fs::rename(indexPath, joinPath(folder, kLegacyUploadIndexImported), ec);
    if (ec) log("uploads: " + indexPath + " could not be renamed: " + ec.message());
    log("uploads: imported " + std::to_string(result.imported) + " uploads kept by an earlier version");
    return result;
}

}  // namespace tunecase
