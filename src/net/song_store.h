// Where the song server keeps what it serves: the songs of its library and the uploads, each
// upload with its page's facts and its rendered sound. A small interface, so that a server
// for many users could put it on a shared database; SqliteSongStore is the one we have.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tunecase {

// What a song reads as: the facts the list and the pages show.
struct SongFacts final {
    std::string title;      // bytes as the file stores them (a song-data title may be CP932)
    std::string titleText;  // the same as UTF-8, for pages and search
    std::string key;        // "Am", "C", "" when unknown
    std::string meter;      // "3/4", "" when unknown
    int tempo = 0;          // beats per minute, 0 when unknown
};

struct LibrarySong final {
    std::string name;   // the file name in the library folder
    std::string stamp;  // size and modification time when it was read
    SongFacts facts;
    std::string bytes;
};

enum class UploadOutcome { Stored, Full, Failed, Removed, NoSuchKey };

struct UploadAnswer final {
    UploadOutcome outcome = UploadOutcome::Failed;
    std::string key;          // the key made, with Stored
    std::string deleteToken;  // with Stored: deletes the upload as its key does
    std::string reason;       // with Failed: what went wrong, for the log
};

enum class RenderState { Pending = 0, Done = 1, Failed = 2 };

struct UploadInfo final {
    std::string key;
    std::string name;  // as uploaded ("Chimeline.mid")
    int64_t size = 0;
    int64_t createdSeconds = 0;  // since 1970
    SongFacts facts;             // once read (after the render)
    RenderState render = RenderState::Pending;
    std::string audioType;       // "audio/ogg" with audio, else ""
};

// An upload kept by an earlier version of the server, to be brought in under its own key.
struct KeptUpload final {
    std::string name;
    std::string bytes;
    int64_t createdSeconds = 0;
};

struct Blob final {
    std::string type;
    std::string bytes;
};

class SongStore {
public:
    virtual ~SongStore() = default;

    // The library, sorted by file name.
    virtual std::vector<LibrarySong> songs(bool withBytes = false) = 0;
    // Songs whose title or name holds every word of `words` (case and accents aside).
    virtual std::vector<LibrarySong> search(const std::string& words) = 0;
    virtual std::optional<LibrarySong> song(const std::string& name, bool withBytes) = 0;
    // Puts `changed` in and, with `kept`, removes every song whose name is not in it. One
    // transaction; false with the reason.
    virtual bool updateLibrary(const std::vector<LibrarySong>& changed, const std::vector<std::string>* kept,
                               std::string* reason) = 0;

    // Stores an upload under a new key; answered only once it is committed.
    virtual UploadAnswer storeUpload(const std::string& bytes, const std::string& name) = 0;
    // Removes the upload whose key or delete token is `keyOrToken`.
    virtual UploadAnswer removeUpload(const std::string& keyOrToken) = 0;
    virtual std::optional<UploadInfo> upload(const std::string& key) = 0;
    virtual std::optional<Blob> uploadFile(const std::string& key) = 0;
    virtual std::optional<Blob> uploadAudio(const std::string& key) = 0;
    virtual size_t uploadCount() = 0;
    // Every upload's key, oldest first.
    virtual std::vector<std::string> uploadKeys() = 0;
    // Uploads whose sound is still to be made, oldest first.
    virtual std::vector<std::string> uploadsToRender() = 0;
    // The render's outcome; the upload may have gone meanwhile (then nothing happens).
    virtual void setRendered(const std::string& key, const SongFacts& facts, const std::optional<Blob>& audio) = 0;
    // Brings in uploads kept before this store, each under its own key. `read(key, upload)`
    // is asked only for keys the store does not hold yet and fills the upload in (false skips
    // it). One transaction; the uploads cap does not apply. Each gets a new delete token and
    // waits for its sound like a new upload. The number brought in, or -1 with the reason.
    virtual int64_t importUploads(const std::vector<std::string>& keys,
                                  const std::function<bool(const std::string&, KeptUpload&)>& read,
                                  std::string* reason) = 0;
};

// The schema version this program writes (PRAGMA user_version).
inline constexpr int kSongStoreSchema = 2;

class SqliteSongStore final : public SongStore {
public:
    // Opens (making it when missing) and migrates the database at `path`. Check ok().
    SqliteSongStore(std::string path, size_t uploadLimit);
    ~SqliteSongStore() override;

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    int schemaVersion();

    std::vector<LibrarySong> songs(bool withBytes) override;
    std::vector<LibrarySong> search(const std::string& words) override;
    std::optional<LibrarySong> song(const std::string& name, bool withBytes) override;
    bool updateLibrary(const std::vector<LibrarySong>& changed, const std::vector<std::string>* kept,
                       std::string* reason) override;
    UploadAnswer storeUpload(const std::string& bytes, const std::string& name) override;
    UploadAnswer removeUpload(const std::string& keyOrToken) override;
    std::optional<UploadInfo> upload(const std::string& key) override;
    std::optional<Blob> uploadFile(const std::string& key) override;
    std::optional<Blob> uploadAudio(const std::string& key) override;
    size_t uploadCount() override;
    std::vector<std::string> uploadKeys() override;
    std::vector<std::string> uploadsToRender() override;
    void setRendered(const std::string& key, const SongFacts& facts, const std::optional<Blob>& audio) override;
    int64_t importUploads(const std::vector<std::string>& keys,
                          const std::function<bool(const std::string&, KeptUpload&)>& read,
                          std::string* reason) override;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
    std::string error_;
};

// The schema of the first version, for the migration's tests.
extern const char* const kSongStoreSchemaVersion1;

// An upload's key as this store makes them: kUploadKeyLength letters and digits.
inline constexpr size_t kUploadKeyLength = 12;
bool isStoredUploadKey(std::string_view key);
// An upload's file extension: 1 to 8 letters and digits.
bool isUploadExtension(std::string_view extension);

// A full-text query from the words a person typed: each word quoted, so nothing in it is
// read as query syntax. "" when no word is left.
std::string searchQuery(const std::string& words);

}  // namespace tunecase
