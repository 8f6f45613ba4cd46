// The song server's uploads: files in one folder, each under a key the store made itself.
// The keys it made are listed in an index file in the folder, so that a delete can only
// ever remove an upload, never another file that happens to look like one (a song of the
// library when both folders are the same, a file put there by hand).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace tunecase {

// The index's name inside the uploads folder; a dot file, so listings pass it by.
inline constexpr const char* kUploadIndexName = ".tunecase-upload-keys";

enum class UploadOutcome { Stored, Full, Failed, Removed, NoSuchKey };

struct UploadAnswer final {
    UploadOutcome outcome = UploadOutcome::Failed;
    std::string key;     // the key made, with Stored
    std::string reason;  // with Failed: what went wrong, for the log
};

class UploadStore final {
public:
    // `folder` must exist. Reads the index (keys whose file has gone are forgotten) and
    // removes the scraps of writes that never finished (a server killed mid-upload).
    UploadStore(std::string folder, size_t limit);

    // Stores `bytes` as "KEY.EXTENSION" under a new random key. `extension` is letters and
    // digits (the caller checks it). Full when `limit` uploads are kept already.
    UploadAnswer store(const std::vector<uint8_t>& bytes, const std::string& extension);

    // Removes the upload stored under exactly `key`. NoSuchKey for any other key.
    UploadAnswer remove(const std::string& key);

    size_t count() const;
    const std::string& folder() const { return folder_; }

private:
    bool saveIndex(const std::map<std::string, std::string>& keys, std::string* reason) const;

    std::string folder_;
    size_t limit_;
    mutable std::mutex mutex_;
    std::map<std::string, std::string> files_;  // key -> file name in the folder
};

}  // namespace tunecase
