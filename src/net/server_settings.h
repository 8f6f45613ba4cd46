// Where the song server and the upload server are: a small text file in the settings folder
// that the user may edit, one "name=URL" a line:
//
//     # Tunecase servers
//     song_server=http://127.0.0.1:8391
//     upload_server=http://127.0.0.1:8391
//
// Missing names keep the default, our own server (`tunecase-cli serve`) on this computer.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tunecase {

inline constexpr const char* kServerSettingsFileName = "servers.conf";
inline constexpr int kDefaultServerPort = 8391;
inline constexpr const char* kDefaultServerHost = "127.0.0.1";

// A server's base address: scheme, host and port, no path.
struct ServerAddress final {
    std::string scheme = "http";
    std::string host = kDefaultServerHost;
    int port = kDefaultServerPort;

    // "scheme://host:port", the prefix of every request URL.
    std::string url() const;
    bool operator==(const ServerAddress&) const = default;
};

// Reads "http://host[:port][/]" or "https://..." (the scheme's own port when none is given;
// a bare "host[:port]" is taken as http). An IPv6 host goes in brackets. Nothing, with the
// reason in `why`, for anything else: another scheme, a path, a user, a bad port.
std::optional<ServerAddress> parseServerAddress(std::string_view text, std::string* why = nullptr);

struct ServerSettings final {
    ServerAddress songServer;
    ServerAddress uploadServer;
};

// What loading the file found: the settings, and one line per line of the file that was
// ignored ("servers.conf line 3: ...").
struct ServerSettingsLoad final {
    ServerSettings settings;
    std::vector<std::string> ignored;
};

// Reads the settings text; unknown names and bad addresses are ignored and listed.
ServerSettingsLoad parseServerSettings(std::string_view text, std::string_view fileName = kServerSettingsFileName);

// The file in the settings folder ($XDG_CONFIG_HOME/TNC); "" when there is no such folder.
std::string serverSettingsPath();

// Loads `path` (the settings folder's file when empty). A missing file gives the defaults
// with nothing ignored.
ServerSettingsLoad loadServerSettings(const std::string& path = {});

}  // namespace tunecase
