// Our own song server (`tunecase-cli serve`): the song list and files of a library folder,
// a web page per song, and the upload server's store of uploads under random keys. It
// answers the requests the client of song_server_client.h makes, and nothing else.
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

struct SongServerOptions final {
    std::string libraryFolder;        // the ".mwd" files offered
    std::string uploadsFolder;        // "" keeps uploads in a temporary folder, removed at the end
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
