// Our own song server (`tunecase-cli serve`): the song list and files of a library folder,
// a web page per song and an index with search, and the upload server's store of uploads
// under random keys, each with a page and its sound. Everything is kept in one SQLite
// database; the library folder is read into it on start and on reimport().
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "net/http_listener.h"
#include "net/server_settings.h"

namespace tunecase {

inline constexpr size_t kSongServerBodyLimit = 1 << 20;
inline constexpr size_t kSongServerUploadLimit = 1000;
inline constexpr const char* kDefaultDatabaseName = "tunecase.db";
inline constexpr const char* kServerSoundfont = "/usr/share/sounds/sf2/default-GM.sf2";

class SongStore;

struct SongServerOptions final {
    std::string libraryFolder;        // the ".mwd" files offered
    // The database; "" puts it in uploadsFolder as kDefaultDatabaseName.
    std::string database;
    std::string uploadsFolder;        // "" keeps the database in a temporary folder, removed at the end
    std::string publicUrl;            // see SongServiceSettings
    int uploadsPerMinute = 0;         // per client address; 0: no limit
    std::string soundfont = kServerSoundfont;  // for the uploads' sound; missing: pages without sound
    std::string bindAddress = kDefaultServerHost;
    int port = kDefaultServerPort;    // 0: any free port (see SongServer::port)
    size_t bodyLimit = kSongServerBodyLimit;       // larger requests get 413
    size_t uploadLimit = kSongServerUploadLimit;   // uploads kept at once; more get 507
    // Deadlines and connection limits; bodyLimit above overrides the one in here.
    HttpListenerLimits connections;
    // One line per request ("TIME 127.0.0.1 GET /music/music_get_list.php 200 1234") and
    // notes on skipped songs; stderr when empty. Called from the server's threads.
    std::function<void(const std::string&)> log;
};

class SongServer final {
public:
    explicit SongServer(SongServerOptions options);
    ~SongServer();  // stops and waits
    SongServer(const SongServer&) = delete;
    SongServer& operator=(const SongServer&) = delete;

    // Checks the folders, tidies the uploads folder and binds the address. False with the
    // reason in `error` (a port in use is named).
    bool bind(std::string* error);
    // The port bound (the one chosen when 0 was asked for); 0 before bind.
    int port() const;
    // The folder where uploads are kept.
    const std::string& uploadsFolder() const;
    const std::string& databasePath() const;
    // Reads the library folder again (new and changed files in, gone ones out); from any
    // thread. False with the reason.
    bool reimport(std::string* error);
    // Waits until every upload's sound is made (tests).
    void waitForRenders();
    SongStore& store();

    // Serves on the calling thread until stop(). Only after bind.
    void serve();
    // Serves on a thread of its own (tests); stop() or the destructor ends it.
    void start();
    // Ends serve(); from any thread.
    void stop();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tunecase
