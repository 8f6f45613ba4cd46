// One HTTP request and its answer as the song server's routes see them: plain values,
// with no trace of the library that carried them over the socket.
#pragma once

#include <string>

namespace tunecase {

struct HttpRequestView final {
    std::string method;  // "GET", "POST", ...
    std::string target;  // as sent: path and query, still percent-encoded
    std::string host;    // the Host header, "" when none
    std::string body;
};

struct HttpReply final {
    int status = 200;
    std::string contentType = "text/plain; charset=utf-8";
    std::string body;
};

}  // namespace tunecase
