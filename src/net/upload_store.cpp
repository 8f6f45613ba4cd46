#include "net/upload_store.h"

#include <filesystem>
#include <random>

#include "base/atomic_file.h"
#include "base/utilities.h"

namespace tunecase {

namespace fs = std::filesystem;

namespace {

constexpr int kKeyLength = 12;
constexpr size_t kLongestExtension = 8;
constexpr char kKeyAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

bool isKeyOfOurs(std::string_view key) {
    if (key.size() != kKeyLength) return false;
    for (char c : key)
        if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    return true;
}

bool isPlainExtension(std::string_view extension) {
    if (extension.empty() || extension.size() > kLongestExtension) return false;
    for (char c : extension)
        if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    return true;
}

// "KEY.EXT" as the store names an upload.
bool isUploadFileName(std::string_view name) {
    const size_t dot = name.find('.');
    return dot != std::string_view::npos && isKeyOfOurs(name.substr(0, dot)) &&
           isPlainExtension(name.substr(dot + 1));
}

// What a write of an upload or of the index leaves behind when the process dies before
// the rename.
bool isUploadScrap(std::string_view name) {
    std::string target;
    return isAtomicFileScrap(name, &target) && (isUploadFileName(target) || target == kUploadIndexName);
}

// The index: one "KEY FILENAME" line per upload.
std::map<std::string, std::string> readIndex(const std::string& path) {
    std::map<std::string, std::string> keys;
    const int64_t size = fileSize(path);
    if (size <= 0 || size > (1 << 24)) return keys;
    std::string text(static_cast<size_t>(size), '\0');
    const int64_t got = readExact(path, text.data(), text.size());
    if (got < 0) return keys;
    text.resize(static_cast<size_t>(got));
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string_view line(text.data() + at, end - at);
        const size_t space = line.find(' ');
        if (space != std::string_view::npos) {
            const std::string_view key = line.substr(0, space), name = line.substr(space + 1);
            if (isKeyOfOurs(key) && isUploadFileName(name) && name.substr(0, key.size()) == key &&
                name[key.size()] == '.')
                keys.emplace(std::string(key), std::string(name));
        }
        at = end + 1;
    }
    return keys;
}

}  // namespace

UploadStore::UploadStore(std::string folder, size_t limit) : folder_(std::move(folder)), limit_(limit) {
    files_ = readIndex(joinPath(folder_, kUploadIndexName));
    std::error_code ec;
    for (auto it = files_.begin(); it != files_.end();) {
        if (fs::is_regular_file(fs::path(folder_) / it->second, ec))
            ++it;
        else
            it = files_.erase(it);
    }
    std::vector<fs::path> scraps;
    for (auto it = fs::directory_iterator(folder_, ec); !ec && it != fs::directory_iterator(); it.increment(ec))
        if (isUploadScrap(it->path().filename().string())) scraps.push_back(it->path());
    for (const auto& scrap : scraps) fs::remove(scrap, ec);
}

bool UploadStore::saveIndex(const std::map<std::string, std::string>& keys, std::string* reason) const {
    std::string text;
    for (const auto& [key, name] : keys) text += key + " " + name + "\n";
    return writeWhole(joinPath(folder_, kUploadIndexName), text.data(), text.size(), reason) == 1;
}

UploadAnswer UploadStore::store(const std::vector<uint8_t>& bytes, const std::string& extension) {
    std::lock_guard lock(mutex_);
    if (files_.size() >= limit_) return {UploadOutcome::Full, "", ""};
    if (!isPlainExtension(extension)) return {UploadOutcome::Failed, "", "the extension is not letters and digits"};
    std::random_device random;
    std::uniform_int_distribution<int> pick(0, 61);
    std::string key;
    std::error_code ec;
    do {
        key.clear();
        for (int i = 0; i < kKeyLength; ++i) key.push_back(kKeyAlphabet[pick(random)]);
    } while (files_.count(key) || fs::exists(fs::path(folder_) / (key + "." + extension), ec));

    // The key is listed before the file is written: a crash in between leaves a listed key
    // without a file, which the next start forgets, never a file nobody may delete.
    auto keys = files_;
    keys[key] = key + "." + extension;
    UploadAnswer answer{UploadOutcome::Failed, "", ""};
    if (!saveIndex(keys, &answer.reason)) return answer;
    if (!writeWhole(joinPath(folder_, keys[key]), bytes.data(), bytes.size(), &answer.reason)) {
        saveIndex(files_, nullptr);
        return answer;
    }
    files_ = std::move(keys);
    return {UploadOutcome::Stored, key, ""};
}

UploadAnswer UploadStore::remove(const std::string& key) {
    std::lock_guard lock(mutex_);
    const auto it = files_.find(key);
    if (it == files_.end()) return {UploadOutcome::NoSuchKey, "", ""};
    std::error_code ec;
    const fs::path path = fs::path(folder_) / it->second;
    if (!fs::remove(path, ec) && ec) return {UploadOutcome::Failed, "", path.string() + ": " + ec.message()};
    auto keys = files_;
    keys.erase(key);
    std::string reason;
    // The file is gone either way; an index that could not be rewritten still lists the
    // key, which the next start drops because its file is missing.
    saveIndex(keys, &reason);
    files_ = std::move(keys);
    return {UploadOutcome::Removed, key, reason};
}

size_t UploadStore::count() const {
    std::lock_guard lock(mutex_);
    return files_.size();
}

}  // namespace tunecase
