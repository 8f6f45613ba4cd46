// An event-driven HTTP/1.1 listener: a few threads wait on every connection at once, so a
// client that sends its request a byte at a time costs a socket and a timer, never a thread.
// Each connection has a deadline for its whole request head and another for its body (not
// only for each read); connections are limited per client address and in all; the backlog
// is the system's largest. Complete requests go to one handler, on a pool of workers of its
// own, so an answer that waits (a database's commit) never holds up the other connections.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "net/http_message.h"

namespace tunecase {

struct HttpListenerLimits final {
    size_t bodyLimit = 1 << 20;         // larger bodies get 413
    size_t headLimit = 16 << 10;        // larger request heads get 431
    int headDeadlineMs = 10000;         // from the first byte awaited to the end of the head
    int bodyDeadlineMs = 30000;         // the whole body
    int idleMs = 5000;                  // a kept-alive connection waiting for its next request
    int writeDeadlineMs = 30000;        // the whole answer
    size_t connectionsPerClient = 256;  // open at once from one address; more are closed at once
    size_t connections = 10000;         // open at once in all (and never past the open-file limit)
    int threads = 2;                    // waiting on the sockets
    int workers = 4;                    // running the handler, so a slow answer holds up no socket
};

class HttpListener final {
public:
    using Handler = std::function<HttpReply(const HttpRequestView&)>;
    // One line per answer: "TIME ADDRESS METHOD TARGET STATUS SIZE", printable ASCII only.
    using Log = std::function<void(const std::string&)>;

    HttpListener(HttpListenerLimits limits, Handler handler, Log log);
    ~HttpListener();
    HttpListener(const HttpListener&) = delete;
    HttpListener& operator=(const HttpListener&) = delete;

    // Binds and listens on `address` ("127.0.0.1", "::1", "0.0.0.0", a host name) and `port`
    // (0: any free port). False with the reason in `error`, naming the address and port.
    bool bind(const std::string& address, int port, std::string* error);
    // The port bound; 0 before bind.
    int port() const;
    // Answers on the calling thread and `threads - 1` more until stop(). Only after bind.
    void run();
    // Ends run() from any thread, also before run() has begun.
    void stop();

    struct Impl;  // the listener's state, shared with its connections

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace tunecase
