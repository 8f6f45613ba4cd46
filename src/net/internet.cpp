#include "net/internet.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>

#include "base/reporter.h"

namespace tunecase {

namespace {

using Clock = std::chrono::steady_clock;

// libcurl's process-wide set-up, once, before the first session.
bool curlReady() {
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] { ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    return ready;
}

// How long the multi loop sleeps at most between looks at the clock.
constexpr int kPollStepMs = 50;

FetchFailure failureFor(CURLcode code) {
    switch (code) {
        case CURLE_UNSUPPORTED_PROTOCOL:
        case CURLE_URL_MALFORMAT:
            return FetchFailure::BadUrl;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return FetchFailure::UnknownHost;
        case CURLE_COULDNT_CONNECT:
            return FetchFailure::Refused;
        case CURLE_OPERATION_TIMEDOUT:
            return FetchFailure::TimedOut;
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_CERTPROBLEM:
            return FetchFailure::Tls;
        default:
            return FetchFailure::Transfer;
    }
}

// A session handle of each kind, released however the fetch ends.
struct EasyHandle {
    CURL* p = curl_easy_init();
    ~EasyHandle() {
        if (p) curl_easy_cleanup(p);
    }
};
struct HeaderList {
    curl_slist* p = nullptr;
    ~HeaderList() { curl_slist_free_all(p); }
};
struct MultiHandle {
    CURLM* p = curl_multi_init();
    ~MultiHandle() {
        if (p) curl_multi_cleanup(p);
    }
};

}  // namespace

// What the callbacks of one fetch share with getHtml.
struct CInternet::Transfer {
    CInternet* owner;
    CURL* easy;
    Clock::time_point lastData;
    bool full = false;        // the body reached the buffer's end
    bool badStatus = false;   // the answer's status is 400 or above; its body is not kept
};

CInternet::CInternet(int bufferSize)
    : bufferSize_(std::max(bufferSize, 0)), buffer_(new uint8_t[static_cast<size_t>(bufferSize_) + 1]()) {}

CInternet::~CInternet() = default;

size_t CInternet::onHeader(char* data, size_t size, size_t count, void* transfer) {
    auto* t = static_cast<Transfer*>(transfer);
    t->lastData = Clock::now();
    const size_t n = size * count;
    std::string_view line(data, n);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    auto& fields = t->owner->headers_;
    if (line.substr(0, 5) == "HTTP/") {
        fields.clear();  // a redirect's or a 100's fields are not the answer's
    } else if (const size_t colon = line.find(':'); colon != std::string_view::npos && fields.size() < 100) {
        std::string_view value = line.substr(colon + 1);
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
        fields.emplace_back(std::string(line.substr(0, colon)), std::string(value.substr(0, 2048)));
    }
    return n;
}

std::string CInternet::header(std::string_view name) const {
    for (const auto& [field, value] : headers_)
        if (field.size() == name.size() &&
            std::equal(field.begin(), field.end(), name.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
            }))
            return value;
    return "";
}

size_t CInternet::onBody(char* data, size_t size, size_t count, void* transfer) {
    auto* t = static_cast<Transfer*>(transfer);
    CInternet& self = *t->owner;
    t->lastData = Clock::now();
    const size_t n = size * count;
    long status = 0;
    curl_easy_getinfo(t->easy, CURLINFO_RESPONSE_CODE, &status);
    if (status >= 400) {
        t->badStatus = true;
        return 0;  // stops the transfer
    }
    const size_t room = static_cast<size_t>(self.bufferSize_ - self.received_);
    const size_t take = std::min(room, n);
    std::memcpy(self.buffer_.get() + self.received_, data, take);
    self.received_ += static_cast<int>(take);
    if (self.received_ == self.bufferSize_ && n > 0) t->full = true;
    return take == n ? n : 0;  // anything short of n stops the transfer at the buffer's end
}

int CInternet::fail(FetchFailure why, std::string text, std::string detail) {
    failure_ = why;
    errorText_ = std::move(text);
    failureDetail_ = std::move(detail);
    return 0;
}

int CInternet::getHtml(const std::string& url, int receiveTimeoutMs) {
    return fetch(url, receiveTimeoutMs, nullptr, nullptr);
}

int CInternet::postForm(const std::string& url, std::string_view body, const std::string& contentType,
                        int receiveTimeoutMs) {
    return fetch(url, receiveTimeoutMs, &body, &contentType);
}

int CInternet::fetch(const std::string& url, int receiveTimeoutMs, const std::string_view* postBody,
                     const std::string* contentType) {
    received_ = 0;
    headers_.clear();
    bodyCut_ = false;
    failure_ = FetchFailure::None;
    failureDetail_.clear();
    httpStatus_ = 0;

    if (!curlReady()) return fail(FetchFailure::NoSession, kInternetConnectFailedText, tr("libcurl did not start"));
    EasyHandle easy;
    MultiHandle multi;
    if (!easy.p || !multi.p) return fail(FetchFailure::NoSession, kInternetConnectFailedText, tr("no libcurl session"));

    std::memset(buffer_.get(), 0, static_cast<size_t>(bufferSize_) + 1);
    Transfer transfer{this, easy.p, Clock::now()};
    char curlError[CURL_ERROR_SIZE] = "";
    curl_easy_setopt(easy.p, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy.p, CURLOPT_USERAGENT, "GetHtml");
    curl_easy_setopt(easy.p, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy.p, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy.p, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy.p, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(easy.p, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(easy.p, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy.p, CURLOPT_ERRORBUFFER, curlError);
    curl_easy_setopt(easy.p, CURLOPT_WRITEFUNCTION, &CInternet::onBody);
    curl_easy_setopt(easy.p, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(easy.p, CURLOPT_HEADERFUNCTION, &CInternet::onHeader);
    curl_easy_setopt(easy.p, CURLOPT_HEADERDATA, &transfer);
    if (receiveTimeoutMs == 0) curl_easy_setopt(easy.p, CURLOPT_PROXY, "");  // direct, whatever the settings say
    if (!trustedCertificates_.empty()) curl_easy_setopt(easy.p, CURLOPT_CAINFO, trustedCertificates_.c_str());
    if (connectTimeoutMs_ > 0) curl_easy_setopt(easy.p, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connectTimeoutMs_));
    if (totalTimeoutMs_ > 0) curl_easy_setopt(easy.p, CURLOPT_TIMEOUT_MS, static_cast<long>(totalTimeoutMs_));
    HeaderList headers;
    if (postBody) {
        curl_easy_setopt(easy.p, CURLOPT_POST, 1L);
        curl_easy_setopt(easy.p, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(postBody->size()));
        curl_easy_setopt(easy.p, CURLOPT_POSTFIELDS, postBody->data());
        // No "Expect: 100-continue": a server that does not answer it would cost a second.
        headers.p = curl_slist_append(headers.p, ("Content-Type: " + *contentType).c_str());
        if (headers.p) headers.p = curl_slist_append(headers.p, "Expect:");
        curl_easy_setopt(easy.p, CURLOPT_HTTPHEADER, headers.p);
    }

    // Drive the transfer ourselves, so that a silence longer than the receive timeout ends
    // it however far it got: connecting, waiting for the answer, or in the middle of the body.
    const auto silenceLimit = std::chrono::milliseconds(receiveTimeoutMs > 0 ? receiveTimeoutMs : kDefaultReceiveTimeoutMs);
    curl_multi_add_handle(multi.p, easy.p);
    bool timedOut = false;
    for (int running = 1;;) {
        if (curl_multi_perform(multi.p, &running) != CURLM_OK || running == 0) break;
        const auto silent = Clock::now() - transfer.lastData;
        if (silent >= silenceLimit) {
            timedOut = true;
            break;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(silenceLimit - silent).count();
        curl_multi_poll(multi.p, nullptr, 0, static_cast<int>(std::clamp<long long>(left, 1, kPollStepMs)), nullptr);
    }
    CURLcode result = CURLE_OK;
    int queued = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi.p, &queued))
        if (msg->msg == CURLMSG_DONE) result = msg->data.result;
    curl_easy_getinfo(easy.p, CURLINFO_RESPONSE_CODE, &httpStatus_);
    curl_multi_remove_handle(multi.p, easy.p);

    const std::string readFailed = url + tr(kUrlReadFailedText);
    if (timedOut)
        return fail(FetchFailure::TimedOut, readFailed,
                    fillIn(tr("no data for %s ms"), std::to_string(silenceLimit.count())));
    if (transfer.badStatus || (result == CURLE_OK && httpStatus_ >= 400)) {
        received_ = 0;
        std::memset(buffer_.get(), 0, static_cast<size_t>(bufferSize_));
        return fail(FetchFailure::HttpStatus, readFailed, fillIn(tr("HTTP status %s"), std::to_string(httpStatus_)));

    }
    if (result != CURLE_OK && !(result == CURLE_WRITE_ERROR && transfer.full))
        return fail(failureFor(result), readFailed, curlError[0] ? curlError : curl_easy_strerror(result));

    if (transfer.full) {
        bodyCut_ = true;
        errorMessage(1);
    }
    return 1;
}

void CInternet::errorMessage(int code) const {
    reportText(code == 1 ? kInternetReadErrorText : kInternetGeneralErrorText, BoxKind::Ok);
}

}  // namespace tunecase
