// One HTTP request and its answer as the song server's routes see them: plain values,
// with no trace of the library that carried them over the socket.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tunecase {

struct HttpRequestView final {
    std::string method;  // "GET", "POST", ...
    std::string target;  // as sent: path and query, still percent-encoded
    std::string host;    // the Host header, "" when none
    std::string body;
    std::string client;  // the peer's address, "" when unknown
};

struct HttpReply final {
    int status = 200;
    std::string contentType = "text/plain; charset=utf-8";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;  // more header fields
};

// Outside text (an address, a target, a file name) as it may go into a log line: printable
// ASCII only, the rest as "?", cut after 300 characters.
inline std::string loggable(std::string_view text) {
    constexpr size_t kLoggedChars = 300;
    std::string out;
    for (char c : text.substr(0, kLoggedChars)) out.push_back(c >= 0x21 && c <= 0x7E ? c : '?');
    if (text.size() > kLoggedChars) out += "...";
    return out;
}

}  // namespace tunecase
