// CInternet: fetches the whole body of one URL, over HTTP or HTTPS, into a buffer of fixed
// size. It works on the calling thread; callers that must stay responsive call it from a
// worker thread. One object per download, used by one thread.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/translation.h"

namespace tunecase {

// The buffer size the song server's callers use.
inline constexpr int kInternetBufferSize = 0x40000;

// The texts of the fetch: the two boxes, and the error texts a failed fetch leaves.
inline constexpr const char* kInternetReadErrorText = N_("Could not read from the internet.");
inline constexpr const char* kInternetGeneralErrorText = N_("A request over the internet failed.");
inline constexpr const char* kInternetConnectFailedText = N_("Could not connect to the internet.");
inline constexpr const char* kUrlReadFailedText = N_(" could not be read.");  // after the URL

// With a receive timeout of 0, a server that sends nothing for this long still ends the fetch.
inline constexpr int kDefaultReceiveTimeoutMs = 60000;

// Why the last fetch failed, for logs and tools; the error text stays the user's text.
enum class FetchFailure {
    None,
    NoSession,    // the HTTP library could not start a session
    BadUrl,       // not an http:// or https:// URL, or malformed
    UnknownHost,  // the host name did not resolve
    Refused,      // nothing accepted the connection
    TimedOut,     // no data arrived within the receive timeout
    Tls,          // the secure connection failed (an untrusted certificate among others)
    HttpStatus,   // the server answered with status 400 or above
    Transfer,     // the connection broke, too many redirects, or another transfer error
};

class CInternet {
public:
    // A receive buffer of `bufferSize` bytes (negative counts as 0).
    explicit CInternet(int bufferSize);
    virtual ~CInternet();
    CInternet(const CInternet&) = delete;
    CInternet& operator=(const CInternet&) = delete;

    // Fetches `url`, following redirects. With a receive timeout in milliseconds, the fetch
    // goes through the system's proxy settings and fails when no data arrives for that long;
    // with 0 it connects directly and waits up to kDefaultReceiveTimeoutMs.
    // Returns 1 with the body at buffer() and its length in received(), or 0 with the error
    // text set: kInternetConnectFailedText when no session could start, otherwise the URL
    // followed directly by kUrlReadFailedText. A body that reaches the buffer's end shows
    // errorMessage(1); the rest of the body is dropped and the result is still 1.
    int getHtml(const std::string& url, int receiveTimeoutMs);

    // The same as getHtml, but a POST of `body` with the header "Content-Type: `contentType`".
    // The body goes as it is, without "Expect: 100-continue".
    int postForm(const std::string& url, std::string_view body, const std::string& contentType,
                 int receiveTimeoutMs);

    // Limits on top of the receive timeout, in milliseconds, for every later fetch: how long
    // connecting may take and how long the whole fetch may take. 0 leaves that limit off.
    // A fetch past either fails as FetchFailure::TimedOut.
    void setTimeouts(int connectMs, int totalMs) {
        connectTimeoutMs_ = std::max(connectMs, 0);
        totalTimeoutMs_ = std::max(totalMs, 0);
    }

    // Whether the last fetch's body reached the buffer's end (and the rest was dropped).
    bool bodyCut() const { return bodyCut_; }

    // Shows a box: code 1 the read error text, any other code the class's general text.
    void errorMessage(int code) const;

    // The buffer holds received() bytes and is zeroed past them; one extra zero byte after
    // its end keeps a full buffer terminated too.
    const uint8_t* buffer() const { return buffer_.get(); }
    int bufferSize() const { return bufferSize_; }
    int received() const { return received_; }
    std::string_view body() const {
        return {reinterpret_cast<const char*>(buffer_.get()), static_cast<size_t>(received_)};
    }
    const std::string& errorText() const { return errorText_; }

    FetchFailure failure() const { return failure_; }
    // What went wrong, in the HTTP library's words ("Could not resolve host: ...").
    const std::string& failureDetail() const { return failureDetail_; }
    // The last HTTP status seen, 0 when none arrived.
    long httpStatus() const { return httpStatus_; }
    // The value of the last answer's header field `name` (any case), "" when it has none.
    std::string header(std::string_view name) const;

    // Trusts the certificate authorities in the PEM file `path` instead of the system's,
    // for servers with a private authority. An empty path returns to the system's.
    void setTrustedCertificates(std::string path) { trustedCertificates_ = std::move(path); }

private:
    struct Transfer;
    static size_t onBody(char* data, size_t size, size_t count, void* transfer);
    static size_t onHeader(char* data, size_t size, size_t count, void* transfer);
    int fail(FetchFailure why, std::string text, std::string detail);
    int fetch(const std::string& url, int receiveTimeoutMs, const std::string_view* postBody,
              const std::string* contentType);

    int bufferSize_;
    std::unique_ptr<uint8_t[]> buffer_;
    std::string errorText_;
    int received_ = 0;
    FetchFailure failure_ = FetchFailure::None;
    std::string failureDetail_;
    long httpStatus_ = 0;
    std::vector<std::pair<std::string, std::string>> headers_;
    std::string trustedCertificates_;
    int connectTimeoutMs_ = 0;
    int totalTimeoutMs_ = 0;
    bool bodyCut_ = false;
};

}  // namespace tunecase
