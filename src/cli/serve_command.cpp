// tunecase-cli serve: our own song server, for the web site and upload windows and the
// songs/download/upload commands. It runs until SIGINT or SIGTERM; SIGHUP reads the library
// folder again.
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "cli/commands.h"
#include "base/reporter.h"
#include "base/translation.h"
#include "net/song_server.h"

namespace tunecase::cli {

namespace {

struct ServeOptions {
    std::string library;
    std::string uploads;
    std::string database;
    std::string publicUrl;
    std::string soundfont = kServerSoundfont;
    size_t maxUploads = kSongServerUploadLimit;
    int uploadsPerMinute = 30;
    std::string bind = kDefaultServerHost;
    int port = kDefaultServerPort;
    size_t perClient = HttpListenerLimits{}.connectionsPerClient;
};

// "http(s)://HOST[:PORT]", the port left out when it is the scheme's own.
std::optional<std::string> publicAddress(const std::string& text) {
    std::string why;
    const auto address = parseServerAddress(text, &why);
    if (!address) {
        std::fprintf(stderr, tr("tunecase-cli serve: --public-url %s: %s\n"), text.c_str(), why.c_str());
        return std::nullopt;
    }
    const bool usual = (address->scheme == "http" && address->port == 80) ||
                       (address->scheme == "https" && address->port == 443);
    const bool ipv6 = address->host.find(':') != std::string::npos;
    return address->scheme + "://" + (ipv6 ? "[" + address->host + "]" : address->host) +
           (usual ? "" : ":" + std::to_string(address->port));
}

int serve(const ServeOptions& o) {
    std::string publicUrl;
    if (!o.publicUrl.empty()) {
        const auto url = publicAddress(o.publicUrl);
        if (!url) return 2;
        publicUrl = *url;
    }
    // The signals wait for one thread of ours; every thread started later inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    SongServerOptions options;
    options.libraryFolder = o.library;
    options.uploadsFolder = o.uploads;
    options.database = o.database;
    options.publicUrl = publicUrl;
    options.soundfont = o.soundfont;
    options.uploadLimit = o.maxUploads;
    options.uploadsPerMinute = o.uploadsPerMinute;
    options.bindAddress = o.bind;
    options.port = o.port;
    options.connections.connectionsPerClient = o.perClient;
    SongServer server(options);
    std::string error;
    if (!server.bind(&error)) {
        std::fprintf(stderr, tr("tunecase-cli serve: %s\n"), error.c_str());
        return 1;
    }
    const bool ipv6 = o.bind.find(':') != std::string::npos;
    std::printf("serving %s on http://%s%s%s:%d (database %s)\n", o.library.c_str(), ipv6 ? "[" : "",
                o.bind.c_str(), ipv6 ? "]" : "", server.port(), server.databasePath().c_str());
    std::fflush(stdout);

    int received = 0;
    std::thread watcher([&] {
        for (;;) {
            sigwait(&stopSignals, &received);
            if (received != SIGHUP) break;
            std::string why;
            if (!server.reimport(&why)) std::fprintf(stderr, tr("tunecase-cli serve: %s\n"), why.c_str());
        }
        server.stop();
    });
    server.serve();
    if (received == 0) pthread_kill(watcher.native_handle(), SIGTERM);  // the server ended on its own
    watcher.join();
    std::fprintf(stderr, tr("tunecase-cli serve: stopped (%s)\n"), received == SIGINT ? "SIGINT" : "SIGTERM");
    return 0;
}

}  // namespace

Action declareServe(CLI::App& sub) {
    auto o = std::make_shared<ServeOptions>();
    sub.add_option("--library", o->library, tr("the folder whose .mwd files are offered"))->required();
    sub.add_option("--uploads", o->uploads,
                   tr("the folder of the database when --db is not given (default: a temporary one, removed at the end)"));
    sub.add_option("--db", o->database,
                   fillIn(tr("the SQLite database of the library and the uploads (default: %s in the --uploads folder)"),
                          kDefaultDatabaseName));
    sub.add_option("--public-url", o->publicUrl,
                   tr("the address phones reach the server at, http(s)://HOST[:PORT], for the upload pages' links "
                   "(default: the address each request was sent to)"));
    sub.add_option("--max-uploads", o->maxUploads,
                   fillIn(tr("uploads kept at once; more are refused (default %s)"), std::to_string(o->maxUploads)))
        ->check(CLI::Range(size_t{1}, size_t{10000000}));
    sub.add_option("--uploads-per-minute", o->uploadsPerMinute,
                   fillIn(tr("uploads one address may make per minute; 0: no limit (default %s)"),
                          std::to_string(o->uploadsPerMinute)))
        ->check(CLI::Range(0, 1000000));
    sub.add_option("--soundfont", o->soundfont,
                   fillIn(tr("the soundfont the uploads' sound is made with (default %s; without it the pages have no "
                             "sound)"),
                          kServerSoundfont));
    sub.add_option("--port", o->port,
                   fillIn(tr("the port (default %s; 0 picks a free one)"), std::to_string(kDefaultServerPort)))
        ->check(CLI::Range(0, 65535));
    sub.add_option("--bind", o->bind, tr("the address to listen on (default 127.0.0.1: this computer only)"));
    sub.add_option("--per-client", o->perClient,
                   fillIn(tr("connections one address may hold open at once (default %s)"),
                          std::to_string(o->perClient)))
        ->check(CLI::Range(size_t{1}, size_t{100000}));
    sub.footer(tr("Prints 'serving DIR on http://ADDR:PORT ...' and logs one line per request on stderr. SIGINT or "
               "SIGTERM stops it with exit status 0; SIGHUP reads the library folder again."));
    return [o] { return serve(*o); };
}

}  // namespace tunecase::cli
