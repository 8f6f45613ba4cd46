#include "cli/server_options.h"
#include "base/reporter.h"
#include "base/translation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/text_codec.h"

namespace tunecase::cli {

void declareServerOptions(CLI::App& sub, ServerOptions& o) {
    sub.add_option("--server", o.url,
                   fillIn(tr("the server's address, http://HOST:PORT (default: the servers.conf file in the settings "
                             "folder, else http://127.0.0.1:%s)"),
                          std::to_string(kDefaultServerPort)));

    sub.add_option("--timeout", o.timeoutSeconds, tr("seconds a request may take in all (default 30)"))
        ->check(CLI::Range(0.05, 3600.0));
}

std::optional<ServerAddress> chosenServer(const ServerOptions& o, bool upload, const char* command) {
    if (!o.url.empty()) {
        std::string why;
        auto address = parseServerAddress(o.url, &why);
        if (!address) std::fprintf(stderr, tr("tunecase-cli %s: --server %s: %s\n"), command, escapeControls(o.url).c_str(),
                                   escapeControls(why).c_str());
        return address;
    }
    const ServerSettingsLoad load = loadServerSettings();
    for (const auto& line : load.ignored)
        std::fprintf(stderr, tr("tunecase-cli %s: %s\n"), command, escapeControls(line).c_str());
    return upload ? load.settings.uploadServer : load.settings.songServer;
}

NetTimeouts timeoutsFor(const ServerOptions& o) {
    const int total = static_cast<int>(std::lround(o.timeoutSeconds * 1000));
    return {std::min(total, 5000), total};
}

int netFailure(const char* command, const NetResult& result) {
    std::fprintf(stderr, tr("tunecase-cli %s: %s\n"), command, escapeControls(result.detail).c_str());
    return 1;
}

}  // namespace tunecase::cli
