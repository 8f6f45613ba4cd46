#include "net/http_listener.h"

#include <sys/resource.h>

#include <array>
#include <atomic>
#include <utility>  // before Asio: its coroutine header needs std::exchange

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "base/reporter.h"
#include "base/translation.h"

namespace tunecase {


namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using std::chrono::milliseconds;

namespace {

// Descriptors kept back from connections, for the files the handler opens and the listener.
constexpr size_t kSpareDescriptors = 64;
// How long a refused request's remaining bytes are read before the connection is closed.
constexpr int kDrainMs = 2000;

std::string timeNow() {
    char when[32];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &local);
    return when;
}

// Raises this process's open-file limit to its hard limit (a server holds a descriptor per
// connection) and gives the number of descriptors it may open.
size_t openFileLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1024;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
    }
    return limit.rlim_cur == RLIM_INFINITY ? size_t{1} << 20 : static_cast<size_t>(limit.rlim_cur);
}

}  // namespace

struct HttpListener::Impl {
    HttpListenerLimits limits;
    Handler handler;
    Log log;
    // Before the io_context: connections still pending when it is destroyed release their
    // counts from their destructors.
    std::mutex countMutex;
    size_t open = 0;
    std::map<std::string, size_t> openPerClient;
    asio::io_context io;
    // After the io_context: destroyed first, it joins its threads while connections can
    // still post their answers.
    std::unique_ptr<asio::thread_pool> work;
    tcp::acceptor acceptor{io};
    asio::steady_timer acceptRetry{io};
    int port = 0;
    std::atomic<bool> stopped{false};

    Impl(HttpListenerLimits l, Handler h, Log g)
        : limits(l), handler(std::move(h)), log(std::move(g)),
          work(std::make_unique<asio::thread_pool>(static_cast<size_t>(std::max(l.workers, 1)))) {}
    ~Impl() {
        if (work) work->join();
    }

    void logAnswer(const std::string& client, std::string_view method, std::string_view target, int status,
                   size_t size) {
        if (!log) return;
        log(timeNow() + " " + loggable(client) + " " + loggable(method) + " " + loggable(target) + " " +
            std::to_string(status) + " " + std::to_string(size));
    }

    // Counts a new connection from `client`; false when it is over a limit.
    bool admit(const std::string& client) {
        std::lock_guard lock(countMutex);
        size_t& mine = openPerClient[client];
        if (open >= limits.connections || mine >= limits.connectionsPerClient) {
            if (mine == 0) openPerClient.erase(client);
            return false;
        }
        ++open;
        ++mine;
        return true;
    }

    void release(const std::string& client) {
        std::lock_guard lock(countMutex);
        --open;
        auto it = openPerClient.find(client);
        if (it != openPerClient.end() && --it->second == 0) openPerClient.erase(it);
    }

    void accept();
};

namespace {

// One connection: reads requests one after another, each under its deadlines, and answers
// them in order. It lives as long as an operation of its own is pending.
class Connection final : public std::enable_shared_from_this<Connection> {
public:
    Connection(HttpListener::Impl* owner, tcp::socket socket, std::string client)
        : owner_(owner), stream_(std::move(socket)), client_(std::move(client)) {}
    ~Connection() { owner_->release(client_); }

    void start() { readHead(owner_->limits.headDeadlineMs); }

private:
    // `waitMs`: how long the client may take from now to the end of the head.
    void readHead(int waitMs) {
        parser_.emplace();
        parser_->header_limit(static_cast<std::uint32_t>(owner_->limits.headLimit));
        parser_->body_limit(owner_->limits.bodyLimit);
        stream_.expires_after(milliseconds(waitMs));
        http::async_read_header(stream_, buffer_, *parser_,
                                [self = shared_from_this()](beast::error_code ec, size_t) { self->onHead(ec); });
    }

    void onHead(beast::error_code ec) {
        if (ec) return failed(ec);
        const auto& request = parser_->get();
        if (request[http::field::expect] == "100-continue" && !parser_->is_done()) {
            auto proceed = std::make_shared<http::response<http::empty_body>>(http::status::continue_,
                                                                               request.version());
            stream_.expires_after(milliseconds(owner_->limits.writeDeadlineMs));
            http::async_write(stream_, *proceed,
                              [self = shared_from_this(), proceed](beast::error_code e, size_t) {
                                  if (e) return self->close();
                                  self->readBody();
                              });
            return;
        }
        readBody();
    }

    void readBody() {
        stream_.expires_after(milliseconds(owner_->limits.bodyDeadlineMs));
        http::async_read(stream_, buffer_, *parser_,
                         [self = shared_from_this()](beast::error_code ec, size_t) { self->onRequest(ec); });
    }

    void onRequest(beast::error_code ec) {
        if (ec) return failed(ec);
        auto& request = parser_->get();
        HttpRequestView view;
        view.method = std::string(request.method_string());
        view.target = std::string(request.target());
        view.host = std::string(request[http::field::host]);
        view.body = std::move(request.body());
        view.client = client_;
        const unsigned version = request.version();
        const bool keepAlive = request.keep_alive();
        // The handler on a worker; the answer back on this connection's strand.
        asio::post(*owner_->work, [self = shared_from_this(), view = std::move(view), version, keepAlive]() mutable {
            auto reply = std::make_shared<HttpReply>();
            try {
                *reply = self->owner_->handler(view);
            } catch (const std::exception& e) {
                if (self->owner_->log) self->owner_->log(std::string("error: ") + loggable(e.what()));
                *reply = {500, "text/plain; charset=utf-8", "the server failed\n", {}};
            }
            auto executor = self->stream_.get_executor();
            asio::post(executor, [self = std::move(self), reply, view = std::move(view), version, keepAlive] {
                self->answer(*reply, view.method, view.target, version, keepAlive);
            });
        });
    }

    // `unread`: the client may still be sending a body that was not read (a refused request).
    void answer(const HttpReply& reply, std::string_view method, std::string_view target, unsigned version,
                bool keepAlive, bool unread = false) {
        owner_->logAnswer(client_, method, target, reply.status, reply.body.size());
        auto response = std::make_shared<http::response<http::string_body>>();
        response->version(version);
        response->result(static_cast<unsigned>(reply.status));
        response->set(http::field::content_type, reply.contentType);
        for (const auto& [name, value] : reply.headers) response->set(name, value);
        response->body() = method == "HEAD" ? std::string() : reply.body;
        response->keep_alive(keepAlive && !owner_->stopped);
        response->prepare_payload();
        if (method == "HEAD") response->content_length(reply.body.size());
        const bool again = response->keep_alive();
        stream_.expires_after(milliseconds(owner_->limits.writeDeadlineMs));
        http::async_write(stream_, *response,
                          [self = shared_from_this(), response, again, unread](beast::error_code ec, size_t) {
            if (!ec && unread) return self->drainThenClose();
            if (ec || !again) return self->close();
            self->readHead(self->owner_->limits.idleMs + self->owner_->limits.headDeadlineMs);
        });
    }

    // A request that could not be read: answered when the client can be told why, else the
    // connection is closed (a timeout, a client that went away).
    void failed(beast::error_code ec) {
        int status = 0;
        std::string text;
        if (ec == http::error::body_limit) {
            status = 413;
            text = "the request is larger than " + std::to_string(owner_->limits.bodyLimit) + " bytes\n";
        } else if (ec == http::error::header_limit) {
            status = 431;
            text = "the request head is larger than " + std::to_string(owner_->limits.headLimit) + " bytes\n";
        } else if (ec.category() == http::make_error_code(http::error::end_of_stream).category() && ec != http::error::end_of_stream &&
                   ec != http::error::partial_message) {
            status = 400;
            text = "the request does not read as HTTP\n";
        }
        if (status == 0) return close();
        std::string method, target;
        if (parser_ && parser_->is_header_done()) {
            method = std::string(parser_->get().method_string());
            target = std::string(parser_->get().target());
        }
        answer({status, "text/plain; charset=utf-8", text, {}}, method.empty() ? "-" : method,
               target.empty() ? "-" : target, 11, false, true);
    }

    // Closing a socket with unread bytes makes the system reset the connection, and a client
    // still sending would lose the answer before reading it. So the rest is read and thrown
    // away, for a short while, first.
    void drainThenClose() {
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
        stream_.expires_after(milliseconds(kDrainMs));
        drain();
    }

    void drain() {
        stream_.async_read_some(asio::buffer(drainBuffer_), [self = shared_from_this()](beast::error_code ec, size_t) {
            if (ec) return self->close();
            self->drain();
        });
    }

    void close() {
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
        stream_.close();
    }

    HttpListener::Impl* owner_;
    beast::tcp_stream stream_;
    std::string client_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    std::array<char, 16384> drainBuffer_{};
};

}  // namespace

void HttpListener::Impl::accept() {
    acceptor.async_accept(asio::make_strand(io), [self = this](beast::error_code ec, tcp::socket socket) {
        if (self->stopped || !self->acceptor.is_open()) return;
        if (ec) {
            // Out of descriptors and the like: wait a moment instead of spinning on the error.
            self->acceptRetry.expires_after(milliseconds(50));
            self->acceptRetry.async_wait([self](beast::error_code) {
                if (!self->stopped) self->accept();
            });
            return;
        }
        beast::error_code peerError;
        const auto peer = socket.remote_endpoint(peerError);
        const std::string client = peerError ? std::string("?") : peer.address().to_string();
        if (self->admit(client))
            std::make_shared<Connection>(self, std::move(socket), client)->start();
        else
            socket.close(peerError);  // over a limit: closed at once, costing nothing more
        self->accept();
    });
}

HttpListener::HttpListener(HttpListenerLimits limits, Handler handler, Log log)
    : impl_(std::make_unique<Impl>(limits, std::move(handler), std::move(log))) {}

HttpListener::~HttpListener() { stop(); }

bool HttpListener::bind(const std::string& address, int port, std::string* error) {
    Impl& m = *impl_;
    const std::string where = (address.find(':') != std::string::npos ? "[" + address + "]" : address) + ":" +
                              std::to_string(port);
    auto failWith = [&](const std::string& why) {
        if (error) *error = fillIn(tr("cannot listen on %s: %s"), {where, why});
        return false;
    };
    const size_t files = openFileLimit();
    m.limits.connections = std::min(m.limits.connections, files > kSpareDescriptors * 2 ? files - kSpareDescriptors : 1);

    beast::error_code ec;
    std::vector<tcp::endpoint> endpoints;
    const auto ip = asio::ip::make_address(address, ec);
    if (!ec) {
        endpoints.emplace_back(ip, static_cast<unsigned short>(port));
    } else {
        tcp::resolver resolver(m.io);
        const auto found = resolver.resolve(address, std::to_string(port), ec);
        if (ec) return failWith(fillIn(tr("the address does not resolve (%s)"), ec.message()));
        for (const auto& entry : found) endpoints.push_back(entry.endpoint());
    }
    std::string why = tr("no address");
    for (const auto& endpoint : endpoints) {
        beast::error_code e;
        tcp::acceptor acceptor(m.io);
        acceptor.open(endpoint.protocol(), e);
        // Reuse lets a restarted server take its port back from connections in TIME_WAIT; it
        // does not let two servers listen on one port (that would take SO_REUSEPORT).
        if (!e) acceptor.set_option(asio::socket_base::reuse_address(true), e);
        if (!e) acceptor.bind(endpoint, e);
        if (!e) acceptor.listen(asio::socket_base::max_listen_connections, e);
        if (e) {
            if (e == asio::error::address_in_use)
                why = fillIn(tr("the port is in use by another program (%s)"), e.message());
            else if (e == boost::system::errc::address_not_available)
                why = fillIn(tr("it is not an address of this computer (%s)"), e.message());
            else if (e == asio::error::access_denied)
                why = fillIn(tr("ports below 1024 need administrator rights (%s)"), e.message());

            else
                why = e.message();
            continue;
        }
        m.port = acceptor.local_endpoint().port();
        m.acceptor = std::move(acceptor);
        return true;
    }
    return failWith(why);
}

int HttpListener::port() const { return impl_->port; }

void HttpListener::run() {
    Impl& m = *impl_;
    if (m.stopped || !m.acceptor.is_open()) return;
    m.accept();
    // The other socket threads come from a pool, as the handler's workers do.
    asio::thread_pool helpers(static_cast<size_t>(std::max(m.limits.threads - 1, 0)));
    for (int i = 1; i < m.limits.threads; ++i) asio::post(helpers, [&m] { m.io.run(); });
    m.io.run();
    helpers.join();
}

void HttpListener::stop() {
    Impl& m = *impl_;
    m.stopped = true;
    asio::post(m.io, [&m] {
        beast::error_code ignored;
        m.acceptor.close(ignored);
    });
    m.io.stop();
}

}  // namespace tunecase
