// The options every song-server command shares: which server and how long to wait.
#pragma once

#include <optional>
#include <string>

#include "cli/commands.h"
#include "net/server_settings.h"
#include "net/song_server_client.h"

namespace tunecase::cli {

struct ServerOptions {
    std::string url;              // --server; "" takes the settings file's address
    double timeoutSeconds = 30;   // --timeout
};

// Declares --server and --timeout on `sub`.
void declareServerOptions(CLI::App& sub, ServerOptions& o);

// The server to use: --server when given, else the settings file's song server (or upload
// server with `upload`). Ignored lines of the settings file are told on stderr. Nothing,
// after a message, for a bad --server.
std::optional<ServerAddress> chosenServer(const ServerOptions& o, bool upload, const char* command);

// The request limits for --timeout: the whole request, and at most 5 s to connect.
NetTimeouts timeoutsFor(const ServerOptions& o);

// Tells why a request failed ("tunecase-cli songs: the song list: ...") and returns 1.
int netFailure(const char* command, const NetResult& result);

}  // namespace tunecase::cli
