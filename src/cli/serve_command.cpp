// tunecase-cli serve: our own song server, for the web site and upload windows and the
// songs/download/upload commands. It runs until SIGINT or SIGTERM.
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "cli/commands.h"
#include "net/song_server.h"

namespace tunecase::cli {

namespace {

struct ServeOptions {
    std::string library;
    std::string uploads;
    std::string bind = kDefaultServerHost;
    int port = kDefaultServerPort;
    size_t perClient = HttpListenerLimits{}.connectionsPerClient;
};

int serve(const ServeOptions& o) {
    // The signals wait for one thread of ours; every thread started later inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    SongServerOptions options;
    options.libraryFolder = o.library;
    options.uploadsFolder = o.uploads;
    options.bindAddress = o.bind;
    options.port = o.port;
    options.connections.connectionsPerClient = o.perClient;
    SongServer server(options);
    std::string error;
    if (!server.bind(&error)) {
        std::fprintf(stderr, "tunecase-cli serve: %s\n", error.c_str());
        return 1;
    }
    const bool ipv6 = o.bind.find(':') != std::string::npos;
    std::printf("serving %s on http://%s%s%s:%d (uploads in %s)\n", o.library.c_str(), ipv6 ? "[" : "",
                o.bind.c_str(), ipv6 ? "]" : "", server.port(), server.uploadsFolder().c_str());
    std::fflush(stdout);

    int received = 0;
    std::thread watcher([&] {
        sigwait(&stopSignals, &received);
        server.stop();
    });
    server.serve();
    if (received == 0) pthread_kill(watcher.native_handle(), SIGTERM);  // the server ended on its own
    watcher.join();
    std::fprintf(stderr, "tunecase-cli serve: stopped (%s)\n", received == SIGINT ? "SIGINT" : "SIGTERM");
    return 0;
}

}  // namespace

Action declareServe(CLI::App& sub) {
    auto o = std::make_shared<ServeOptions>();
    sub.add_option("--library", o->library, "the folder whose .mwd files are offered")->required();
    sub.add_option("--uploads", o->uploads, "the folder that keeps uploads (default: a temporary one, removed at the end)");
    sub.add_option("--port", o->port, "the port (default " + std::to_string(kDefaultServerPort) + "; 0 picks a free one)")
        ->check(CLI::Range(0, 65535));
    sub.add_option("--bind", o->bind, "the address to listen on (default 127.0.0.1: this computer only)");
    sub.add_option("--per-client", o->perClient,
                   "connections one address may hold open at once (default " + std::to_string(o->perClient) + ")")
        ->check(CLI::Range(size_t{1}, size_t{100000}));
    sub.footer("Prints 'serving DIR on http://ADDR:PORT ...' and logs one line per request on stderr. SIGINT or "
               "SIGTERM stops it with exit status 0.");
    return [o] { return serve(*o); };
}

}  // namespace tunecase::cli
