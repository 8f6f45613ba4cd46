#include "net/song_store.h"

#include <sqlite3.h>

#include <ctime>
#include <mutex>
#include <random>

#include "net/upload_form.h"

namespace tunecase {

const char* const kSongStoreSchemaVersion1 = R"(
CREATE TABLE songs(
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL UNIQUE,
  stamp TEXT NOT NULL,
  title BLOB NOT NULL,
  music_key TEXT NOT NULL,
  tempo INTEGER NOT NULL,
  bytes BLOB NOT NULL);
CREATE TABLE uploads(
  key TEXT PRIMARY KEY,
  name TEXT NOT NULL,
  bytes BLOB NOT NULL,
  created INTEGER NOT NULL,
  delete_token TEXT NOT NULL UNIQUE);
PRAGMA user_version = 1;
)";

namespace {

// Version 1 to 2: the facts the pages show, the rendered sound, and word search. Library
// rows lose their stamps, so the next import reads every file again for the new facts.
const char* const kMigrationTo2 = R"(
ALTER TABLE songs ADD COLUMN title_text TEXT NOT NULL DEFAULT '';
ALTER TABLE songs ADD COLUMN meter TEXT NOT NULL DEFAULT '';
UPDATE songs SET stamp = '';
ALTER TABLE uploads ADD COLUMN size INTEGER NOT NULL DEFAULT 0;
UPDATE uploads SET size = length(bytes);
ALTER TABLE uploads ADD COLUMN title_text TEXT NOT NULL DEFAULT '';
ALTER TABLE uploads ADD COLUMN music_key TEXT NOT NULL DEFAULT '';
ALTER TABLE uploads ADD COLUMN meter TEXT NOT NULL DEFAULT '';
ALTER TABLE uploads ADD COLUMN tempo INTEGER NOT NULL DEFAULT 0;
ALTER TABLE uploads ADD COLUMN render INTEGER NOT NULL DEFAULT 0;
CREATE TABLE upload_audio(key TEXT PRIMARY KEY, type TEXT NOT NULL, bytes BLOB NOT NULL);
CREATE VIRTUAL TABLE song_words USING fts5(title, name, content='songs', content_rowid='id',
  tokenize="unicode61 remove_diacritics 2");
CREATE TRIGGER songs_added AFTER INSERT ON songs BEGIN
  INSERT INTO song_words(rowid, title, name) VALUES (new.id, new.title_text, new.name);
END;
CREATE TRIGGER songs_removed AFTER DELETE ON songs BEGIN
  INSERT INTO song_words(song_words, rowid, title, name) VALUES ('delete', old.id, old.title_text, old.name);
END;
CREATE TRIGGER songs_changed AFTER UPDATE ON songs BEGIN
  INSERT INTO song_words(song_words, rowid, title, name) VALUES ('delete', old.id, old.title_text, old.name);
  INSERT INTO song_words(rowid, title, name) VALUES (new.id, new.title_text, new.name);
END;
INSERT INTO song_words(song_words) VALUES ('rebuild');
PRAGMA user_version = 2;
)";

constexpr int kTokenLength = 24;
constexpr char kKeyAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

std::string randomWord(int length) {
    static thread_local std::random_device random;
    std::uniform_int_distribution<int> pick(0, 61);
    std::string word;
    for (int i = 0; i < length; ++i) word.push_back(kKeyAlphabet[pick(random)]);
    return word;
}

// One prepared statement; binds are 1-based, as SQLite counts them.
class Statement {
public:
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &s_, nullptr); }
    ~Statement() { sqlite3_finalize(s_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    explicit operator bool() const { return s_ != nullptr; }

    Statement& text(int at, const std::string& v) {
        sqlite3_bind_text(s_, at, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& blob(int at, const std::string& v) {
        sqlite3_bind_blob(s_, at, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement& integer(int at, int64_t v) {
        sqlite3_bind_int64(s_, at, v);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error.
    int step() { return s_ ? sqlite3_step(s_) : SQLITE_ERROR; }
    bool run() { return step() == SQLITE_DONE; }
    void reset() { sqlite3_reset(s_); }

    std::string column(int at) const {
        const void* p = sqlite3_column_blob(s_, at);
        const int n = sqlite3_column_bytes(s_, at);
        return p ? std::string(static_cast<const char*>(p), static_cast<size_t>(n)) : std::string();
    }
    int64_t number(int at) const { return sqlite3_column_int64(s_, at); }

private:
    sqlite3_stmt* s_ = nullptr;
};

bool exec(sqlite3* db, const char* sql, std::string* reason) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
    if (reason) *reason = message ? message : sqlite3_errmsg(db);
    sqlite3_free(message);
    return false;
}

sqlite3* openConnection(const std::string& path, std::string* reason) {
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        if (reason) *reason = path + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        sqlite3_close_v2(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, 10000);
    // NORMAL in WAL mode: a commit is in the log before the upload is answered, so a killed
    // server loses nothing it answered; only a power cut may lose the last commits (FULL would
    // wait for the disk on every upload).
    if (!exec(db, "PRAGMA synchronous = NORMAL", reason)) {
        sqlite3_close_v2(db);
        return nullptr;
    }
    return db;
}

const char* const kSongColumns = "name, stamp, title, title_text, music_key, meter, tempo";
const char* const kUploadColumns = "key, name, size, created, title_text, music_key, meter, tempo, render";

LibrarySong songFrom(const Statement& s, bool withBytes) {
    LibrarySong song;
    song.name = s.column(0);
    song.stamp = s.column(1);
    song.facts.title = s.column(2);
    song.facts.titleText = s.column(3);
    song.facts.key = s.column(4);
    song.facts.meter = s.column(5);
    song.facts.tempo = static_cast<int>(s.number(6));
    if (withBytes) song.bytes = s.column(7);
    return song;
}

}  // namespace

bool isStoredUploadKey(std::string_view key) { return key.size() == kUploadKeyLength && isUploadKey(key); }

// Letters and digits, as a key's.
bool isUploadExtension(std::string_view extension) { return extension.size() <= 8 && isUploadKey(extension); }

std::string searchQuery(const std::string& words) {
    std::string query;
    size_t at = 0;
    while (at < words.size()) {
        while (at < words.size() && std::isspace(static_cast<unsigned char>(words[at]))) ++at;
        size_t end = at;
        while (end < words.size() && !std::isspace(static_cast<unsigned char>(words[end]))) ++end;
        if (end > at) {
            std::string quoted = "\"";
            for (size_t i = at; i < end; ++i) {
                if (words[i] == '"') quoted += '"';
                quoted += words[i];
            }
            // A word is also the start of a longer one: "twin" finds "Twinkle".
            query += (query.empty() ? "" : " ") + quoted + "\"*";
        }
        at = end;
    }
    return query;
}

struct SqliteSongStore::Impl {
    std::string path;
    size_t uploadLimit;
    std::mutex writeMutex;  // the one writer
    sqlite3* writer = nullptr;
    std::mutex poolMutex;
    std::vector<sqlite3*> readers;  // idle reader connections

    ~Impl() {
        for (sqlite3* db : readers) sqlite3_close_v2(db);
        if (writer) sqlite3_close_v2(writer);
    }

    // A reader connection for the time of one call.
    struct Lease {
        Impl& m;
        sqlite3* db;
        explicit Lease(Impl& owner) : m(owner), db(nullptr) {
            {
                std::lock_guard lock(m.poolMutex);
                if (!m.readers.empty()) {
                    db = m.readers.back();
                    m.readers.pop_back();
                }
            }
            if (!db) db = openConnection(m.path, nullptr);
        }
        ~Lease() {
            if (!db) return;
            std::lock_guard lock(m.poolMutex);
            m.readers.push_back(db);
        }
    };

    bool migrate(std::string* reason) {
        int version = 0;
        {
            Statement s(writer, "PRAGMA user_version");
            if (s.step() == SQLITE_ROW) version = static_cast<int>(s.number(0));
        }
        if (version > kSongStoreSchema) {
            *reason = "the database has schema " + std::to_string(version) + ", newer than this program's " +
                      std::to_string(kSongStoreSchema);
            return false;
        }
        const char* const steps[] = {kSongStoreSchemaVersion1, kMigrationTo2};
        for (int v = version; v < kSongStoreSchema; ++v) {
            // Each step whole or not at all: a kill mid-migration leaves the old version.
            if (!exec(writer, "BEGIN IMMEDIATE", reason)) return false;
            if (!exec(writer, steps[v], reason)) {
                exec(writer, "ROLLBACK", nullptr);
                *reason = "migrating to schema " + std::to_string(v + 1) + ": " + *reason;
                return false;
            }
            if (!exec(writer, "COMMIT", reason)) return false;
        }
        return true;
    }
};

SqliteSongStore::SqliteSongStore(std::string path, size_t uploadLimit) : impl_(std::make_unique<Impl>()) {
    impl_->path = std::move(path);
    impl_->uploadLimit = uploadLimit;
    impl_->writer = openConnection(impl_->path, &error_);
    if (!impl_->writer) return;
    std::string reason;
    if (!exec(impl_->writer, "PRAGMA journal_mode = WAL", &reason) || !impl_->migrate(&reason)) error_ = reason;
}

SqliteSongStore::~SqliteSongStore() = default;

int SqliteSongStore::schemaVersion() {
    Impl::Lease lease(*impl_);
    if (!lease.db) return -1;
    Statement s(lease.db, "PRAGMA user_version");
    return s.step() == SQLITE_ROW ? static_cast<int>(s.number(0)) : -1;
}

std::vector<LibrarySong> SqliteSongStore::songs(bool withBytes) {
    std::vector<LibrarySong> found;
    Impl::Lease lease(*impl_);
    if (!lease.db) return found;
    Statement s(lease.db, (std::string("SELECT ") + kSongColumns + (withBytes ? ", bytes" : "") +
                           " FROM songs ORDER BY name").c_str());
    while (s.step() == SQLITE_ROW) found.push_back(songFrom(s, withBytes));
    return found;
}

std::vector<LibrarySong> SqliteSongStore::search(const std::string& words) {
    const std::string query = searchQuery(words);
    if (query.empty()) return songs(false);
    std::vector<LibrarySong> found;
    Impl::Lease lease(*impl_);
    if (!lease.db) return found;
    Statement s(lease.db, (std::string("SELECT ") + kSongColumns +
                           " FROM songs WHERE id IN (SELECT rowid FROM song_words WHERE song_words MATCH ?1)"
                           " ORDER BY name").c_str());
    s.text(1, query);
    while (s.step() == SQLITE_ROW) found.push_back(songFrom(s, false));
    return found;
}

std::optional<LibrarySong> SqliteSongStore::song(const std::string& name, bool withBytes) {
    Impl::Lease lease(*impl_);
    if (!lease.db) return std::nullopt;
    Statement s(lease.db, (std::string("SELECT ") + kSongColumns + (withBytes ? ", bytes" : "") +
                           " FROM songs WHERE name = ?1").c_str());
    s.text(1, name);
    if (s.step() != SQLITE_ROW) return std::nullopt;
    return songFrom(s, withBytes);
}

bool SqliteSongStore::updateLibrary(const std::vector<LibrarySong>& changed, const std::vector<std::string>* kept,
                                    std::string* reason) {
    std::lock_guard lock(impl_->writeMutex);
    sqlite3* db = impl_->writer;
    if (!db) return false;
    std::string why;
    if (!exec(db, "BEGIN IMMEDIATE", &why)) {
        if (reason) *reason = why;
        return false;
    }
    bool ok = true;
    if (kept) {
        ok = exec(db, "CREATE TEMP TABLE IF NOT EXISTS kept(name TEXT PRIMARY KEY); DELETE FROM kept", &why);
        Statement keep(db, "INSERT OR IGNORE INTO kept(name) VALUES (?1)");
        for (size_t i = 0; ok && i < kept->size(); ++i) {
            ok = keep.text(1, (*kept)[i]).run();
            keep.reset();
        }
        ok = ok && exec(db, "DELETE FROM songs WHERE name NOT IN (SELECT name FROM kept)", &why);
    }
    for (size_t i = 0; ok && i < changed.size(); ++i) {
        const LibrarySong& song = changed[i];
        Statement put(db,
                      "INSERT INTO songs(name, stamp, title, title_text, music_key, meter, tempo, bytes) "
                      "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8) ON CONFLICT(name) DO UPDATE SET stamp = ?2, "
                      "title = ?3, title_text = ?4, music_key = ?5, meter = ?6, tempo = ?7, bytes = ?8");
        put.text(1, song.name).text(2, song.stamp).blob(3, song.facts.title).text(4, song.facts.titleText);
        put.text(5, song.facts.key).text(6, song.facts.meter).integer(7, song.facts.tempo).blob(8, song.bytes);
        ok = put.run();
        if (!ok) why = sqlite3_errmsg(db);
    }
    if (ok && exec(db, "COMMIT", &why)) return true;
    exec(db, "ROLLBACK", nullptr);
    if (reason) *reason = why;
    return false;
}

UploadAnswer SqliteSongStore::storeUpload(const std::string& bytes, const std::string& name) {
    std::lock_guard lock(impl_->writeMutex);
    sqlite3* db = impl_->writer;
    UploadAnswer answer;
    if (!db) return answer;
    if (!exec(db, "BEGIN IMMEDIATE", &answer.reason)) return answer;
    {
        Statement count(db, "SELECT count(*) FROM uploads");
        if (count.step() == SQLITE_ROW && static_cast<size_t>(count.number(0)) >= impl_->uploadLimit) {
            exec(db, "ROLLBACK", nullptr);
            return {UploadOutcome::Full, "", "", ""};
        }
    }
    for (int attempt = 0; attempt < 8; ++attempt) {
        const std::string key = randomWord(static_cast<int>(kUploadKeyLength)), token = randomWord(kTokenLength);
        Statement put(db, "INSERT INTO uploads(key, name, bytes, created, delete_token, size) "
                          "VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
        put.text(1, key).text(2, name).blob(3, bytes).integer(4, static_cast<int64_t>(std::time(nullptr)));
        put.text(5, token).integer(6, static_cast<int64_t>(bytes.size()));
        const int rc = put.step();
        if (rc == SQLITE_CONSTRAINT) continue;  // a key or token drawn twice
        if (rc != SQLITE_DONE) break;
        if (!exec(db, "COMMIT", &answer.reason)) break;
        return {UploadOutcome::Stored, key, token, ""};
    }
    if (answer.reason.empty()) answer.reason = sqlite3_errmsg(db);
    exec(db, "ROLLBACK", nullptr);
    return answer;
}

UploadAnswer SqliteSongStore::removeUpload(const std::string& keyOrToken) {
    std::lock_guard lock(impl_->writeMutex);
    sqlite3* db = impl_->writer;
    UploadAnswer answer;
    if (!db) return answer;
    if (!exec(db, "BEGIN IMMEDIATE", &answer.reason)) return answer;
    std::string key;
    {
        Statement find(db, "SELECT key FROM uploads WHERE key = ?1 OR delete_token = ?1");
        find.text(1, keyOrToken);
        if (find.step() == SQLITE_ROW) key = find.column(0);
    }
    if (key.empty()) {
        exec(db, "ROLLBACK", nullptr);
        return {UploadOutcome::NoSuchKey, "", "", ""};
    }
    Statement audio(db, "DELETE FROM upload_audio WHERE key = ?1");
    Statement row(db, "DELETE FROM uploads WHERE key = ?1");
    if (audio.text(1, key).run() && row.text(1, key).run() && exec(db, "COMMIT", &answer.reason))
        return {UploadOutcome::Removed, key, "", ""};
    if (answer.reason.empty()) answer.reason = sqlite3_errmsg(db);
    exec(db, "ROLLBACK", nullptr);
    return answer;
}

std::optional<UploadInfo> SqliteSongStore::upload(const std::string& key) {
    Impl::Lease lease(*impl_);
    if (!lease.db) return std::nullopt;
    Statement s(lease.db, (std::string("SELECT ") + kUploadColumns +
                           ", (SELECT type FROM upload_audio a WHERE a.key = u.key) FROM uploads u WHERE key = ?1")
                              .c_str());
    s.text(1, key);
    if (s.step() != SQLITE_ROW) return std::nullopt;
    UploadInfo info;
    info.key = s.column(0);
    info.name = s.column(1);
    info.size = s.number(2);
    info.createdSeconds = s.number(3);
    info.facts.titleText = s.column(4);
    info.facts.title = info.facts.titleText;
    info.facts.key = s.column(5);
    info.facts.meter = s.column(6);
    info.facts.tempo = static_cast<int>(s.number(7));
    info.render = static_cast<RenderState>(s.number(8));
    info.audioType = s.column(9);
    return info;
}

std::optional<Blob> SqliteSongStore::uploadFile(const std::string& key) {
    Impl::Lease lease(*impl_);
    if (!lease.db) return std::nullopt;
    Statement s(lease.db, "SELECT bytes FROM uploads WHERE key = ?1");
    s.text(1, key);
    if (s.step() != SQLITE_ROW) return std::nullopt;
    return Blob{"audio/midi", s.column(0)};
}

std::optional<Blob> SqliteSongStore::uploadAudio(const std::string& key) {
    Impl::Lease lease(*impl_);
    if (!lease.db) return std::nullopt;
    Statement s(lease.db, "SELECT type, bytes FROM upload_audio WHERE key = ?1");
    s.text(1, key);
    if (s.step() != SQLITE_ROW) return std::nullopt;
    return Blob{s.column(0), s.column(1)};
}

size_t SqliteSongStore::uploadCount() {
    Impl::Lease lease(*impl_);
    if (!lease.db) return 0;
    Statement s(lease.db, "SELECT count(*) FROM uploads");
    return s.step() == SQLITE_ROW ? static_cast<size_t>(s.number(0)) : 0;
}

std::vector<std::string> SqliteSongStore::uploadKeys() {
    std::vector<std::string> keys;
    Impl::Lease lease(*impl_);
    if (!lease.db) return keys;
    Statement s(lease.db, "SELECT key FROM uploads ORDER BY created, rowid");
    while (s.step() == SQLITE_ROW) keys.push_back(s.column(0));
    return keys;
}

std::vector<std::string> SqliteSongStore::uploadsToRender() {
    std::vector<std::string> keys;
    Impl::Lease lease(*impl_);
    if (!lease.db) return keys;
    Statement s(lease.db, "SELECT key FROM uploads WHERE render = 0 ORDER BY created, rowid");
    while (s.step() == SQLITE_ROW) keys.push_back(s.column(0));
    return keys;
}

void SqliteSongStore::setRendered(const std::string& key, const SongFacts& facts, const std::optional<Blob>& audio) {
    std::lock_guard lock(impl_->writeMutex);
    sqlite3* db = impl_->writer;
    if (!db || !exec(db, "BEGIN IMMEDIATE", nullptr)) return;
    Statement set(db, "UPDATE uploads SET title_text = ?2, music_key = ?3, meter = ?4, tempo = ?5, render = ?6 "
                      "WHERE key = ?1");
    set.text(1, key).text(2, facts.titleText).text(3, facts.key).text(4, facts.meter).integer(5, facts.tempo);
    set.integer(6, static_cast<int>(audio ? RenderState::Done : RenderState::Failed));
    bool ok = set.run();
    if (ok && sqlite3_changes(db) > 0 && audio) {
        Statement put(db, "INSERT OR REPLACE INTO upload_audio(key, type, bytes) VALUES (?1, ?2, ?3)");
        ok = put.text(1, key).text(2, audio->type).blob(3, audio->bytes).run();
    }
    exec(db, ok ? "COMMIT" : "ROLLBACK", nullptr);
}

int64_t SqliteSongStore::importUploads(const std::vector<std::string>& keys,
                                       const std::function<bool(const std::string&, KeptUpload&)>& read,
                                       std::string* reason) {
    std::lock_guard lock(impl_->writeMutex);
    sqlite3* db = impl_->writer;
    std::string why = "no database";
    if (db && exec(db, "BEGIN IMMEDIATE", &why)) {
        int64_t added = 0;
        bool ok = true;
        Statement held(db, "SELECT 1 FROM uploads WHERE key = ?1");
        Statement put(db, "INSERT INTO uploads(key, name, bytes, created, delete_token, size) "
                          "VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
        for (size_t i = 0; ok && i < keys.size(); ++i) {
            const std::string& key = keys[i];
            held.text(1, key);
            const bool present = held.step() == SQLITE_ROW;
            held.reset();
            KeptUpload kept;
            if (present || !read(key, kept)) continue;
            int rc = SQLITE_CONSTRAINT;
            for (int attempt = 0; attempt < 8 && rc == SQLITE_CONSTRAINT; ++attempt) {  // a token drawn twice
                put.text(1, key).text(2, kept.name).blob(3, kept.bytes).integer(4, kept.createdSeconds);
                put.text(5, randomWord(kTokenLength)).integer(6, static_cast<int64_t>(kept.bytes.size()));
                rc = put.step();
                put.reset();
            }
            ok = rc == SQLITE_DONE;
            if (ok) ++added;
            else why = sqlite3_errmsg(db);
        }
        if (ok && exec(db, "COMMIT", &why)) return added;
        exec(db, "ROLLBACK", nullptr);
    }
    if (reason) *reason = why;
    return -1;
}

}  // namespace tunecase
