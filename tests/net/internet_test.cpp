// CInternet against a local server the test starts (never the outside network): bodies of
// every size up to and past the buffer, redirects, HTTPS, the exact failure texts and why
// each failure happened, the receive timeout, and the proxy rule.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "base/reporter.h"
#include "net/internet.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

bool isPattern(const CInternet& net, int n) {
    for (int i = 0; i < n; ++i)
        if (net.buffer()[i] != i % 251) return false;
    return true;
}

// tests/net/http_test_server.py as a child process; it ends when its standard input closes.
class LocalServer {
public:
    // With `secure`, HTTPS too, with a fresh self-signed certificate for 127.0.0.1.
    explicit LocalServer(bool secure = false) {
        std::string command = "exec python3 '" + std::string(TUNECASE_TEST_DATA) + "/../net/http_test_server.py'";
        if (secure) {
            certificate_ = folder_.file("cert.pem");
            const std::string key = folder_.file("key.pem"), make =
                "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 -subj /CN=127.0.0.1"
                " -addext subjectAltName=IP:127.0.0.1 -keyout '" + key + "' -out '" + certificate_ + "'";
            std::string out;
            if (testing::runCommand(make, out) != 0) error_ = "openssl failed: " + out;
            command += " '" + certificate_ + "' '" + key + "'";
        }
        int in[2], out[2];
        if (!error_.empty() || pipe(in) != 0 || pipe(out) != 0) return;
        if ((pid_ = fork()) == 0) {
            dup2(in[0], 0), dup2(out[1], 1), close(in[1]), close(out[0]);
            execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(in[0]), close(out[1]);
        input_ = in[1];
        std::string line;
        pollfd p{out[0], POLLIN, 0};
        for (char c; poll(&p, 1, 20000) > 0 && read(out[0], &c, 1) == 1 && c != '\n';) line += c;
        close(out[0]);
        if (std::sscanf(line.c_str(), "PORTS %d %d", &http_, &https_) != 2) error_ = "no server: '" + line + "'";
    }
    ~LocalServer() {
        if (input_ >= 0) close(input_);
        if (pid_ > 0) waitpid(pid_, nullptr, 0);
    }
    const std::string& error() const { return error_; }
    std::string http(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(http_) + path; }
    std::string https(const std::string& path) const { return "https://127.0.0.1:" + std::to_string(https_) + path; }
    const std::string& certificate() const { return certificate_; }

private:
    testing::TempFolder folder_;
    std::string certificate_, error_;
    pid_t pid_ = -1;
    int input_ = -1, http_ = 0, https_ = 0;
};

// A port on 127.0.0.1 where nothing listens: bound, then let go.
std::string closedPort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    close(s);
    return "127.0.0.1:" + std::to_string(ntohs(a.sin_port));
}

class InternetTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server_.error().empty()) << server_.error(); }
    LocalServer server_;
};

TEST_F(InternetTest, FetchesWholeBodiesIntoTheBufferFollowingRedirects) {
    ScopedCapture cap;
    CInternet net(kInternetBufferSize);
    ASSERT_EQ(net.getHtml(server_.http("/redirect/4"), 0), 1) << net.failureDetail();
    EXPECT_EQ(net.body(), "Hello from the song server\n");
    EXPECT_EQ(net.buffer()[net.received()], 0);  // the rest of the buffer is cleared
    EXPECT_EQ(net.httpStatus(), 200);
    ASSERT_EQ(net.getHtml(server_.http("/agent"), 2000), 1);
    EXPECT_EQ(net.body(), "GetHtml");
    ASSERT_EQ(net.getHtml(server_.http("/empty"), 0), 1);  // an empty body succeeds with nothing
    EXPECT_EQ(net.received(), 0);
    EXPECT_EQ(net.buffer()[0], 0);
    for (const char* path : {"/bytes/200000", "/chunked/200000"}) {  // many reads, with and without a length
        ASSERT_EQ(net.getHtml(server_.http(path), 5000), 1) << path;
        EXPECT_EQ(net.received(), 200000) << path;
        EXPECT_TRUE(isPattern(net, 200000)) << path;
    }
    EXPECT_EQ(cap->count(), 0u);
}

TEST_F(InternetTest, ABodyReachingTheBufferEndShowsTheReadErrorAndStopsThere) {
    ScopedCapture cap;
    CInternet net(1000);
    ASSERT_EQ(net.getHtml(server_.http("/bytes/999"), 0), 1);  // one short of the buffer: no box
    EXPECT_EQ(cap->count(), 0u);
    for (const char* path : {"/bytes/1000", "/bytes/5000", "/chunked/5000"}) {
        cap->clear();
        ASSERT_EQ(net.getHtml(server_.http(path), 0), 1) << path;
        EXPECT_EQ(net.received(), 1000) << path;
        EXPECT_TRUE(isPattern(net, 1000)) << path;
        EXPECT_EQ(net.buffer()[1000], 0) << path;  // the guard byte after the end is untouched
        EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{"Could not read from the internet."}) << path;
    }
}

TEST_F(InternetTest, FailuresLeaveTheUrlTextAndSayWhy) {
    ScopedCapture cap;
    CInternet net(kInternetBufferSize);
    const std::vector<std::pair<std::string, FetchFailure>> cases = {
        {"http://" + closedPort() + "/text", FetchFailure::Refused},
        {"http://no-such-host.invalid/list.txt", FetchFailure::UnknownHost},
        {server_.http("/status/404"), FetchFailure::HttpStatus},
        {server_.http("/status/500"), FetchFailure::HttpStatus},
        {server_.http("/redirect-loop"), FetchFailure::Transfer},
        {"ftp://127.0.0.1/song.mid", FetchFailure::BadUrl},
        {"file:///etc/hostname", FetchFailure::BadUrl},
        {"not a url at all", FetchFailure::BadUrl},
    };
    for (const auto& [url, why] : cases) {
        ASSERT_EQ(net.getHtml(server_.http("/text"), 0), 1);  // something in the buffer first
        EXPECT_EQ(net.getHtml(url, 0), 0) << url;
        EXPECT_EQ(net.errorText(), url + " could not be read.");
        EXPECT_EQ(net.failure(), why) << url << ": " << net.failureDetail();
        EXPECT_EQ(net.received(), 0) << url;
        EXPECT_FALSE(net.failureDetail().empty()) << url;
    }
    EXPECT_EQ(net.getHtml(server_.http("/status/404"), 0), 0);
    EXPECT_EQ(net.failureDetail(), "HTTP status 404");
    EXPECT_EQ(cap->count(), 0u);  // the caller decides what to show
}

TEST_F(InternetTest, SilenceLongerThanTheReceiveTimeoutEndsTheFetch) {
    // The server sends 300 bytes of 400, then waits 5 s; without the timeout this succeeds.
    CInternet net(kInternetBufferSize);
    const std::string stall = server_.http("/stall/300");
    EXPECT_EQ(net.getHtml(stall, 300), 0);
    EXPECT_EQ(net.failure(), FetchFailure::TimedOut) << net.failureDetail();
    EXPECT_EQ(net.errorText(), stall + " could not be read.");
    EXPECT_EQ(net.failureDetail(), "no data for 300 ms");
    EXPECT_EQ(net.received(), 300);
    EXPECT_EQ(net.getHtml(server_.http("/silent"), 300), 0);  // no answer at all
    EXPECT_EQ(net.failure(), FetchFailure::TimedOut);
}

TEST_F(InternetTest, ATimeoutGoesThroughTheProxySettingsAndNoTimeoutConnectsDirectly) {
    setenv("http_proxy", ("http://" + closedPort()).c_str(), 1);  // a proxy that refuses everything
    unsetenv("no_proxy");
    unsetenv("NO_PROXY");
    CInternet net(kInternetBufferSize);
    const int direct = net.getHtml(server_.http("/text"), 0);
    const int proxied = net.getHtml(server_.http("/text"), 2000);
    unsetenv("http_proxy");
    EXPECT_EQ(direct, 1);
    EXPECT_EQ(proxied, 0);
    EXPECT_EQ(net.failure(), FetchFailure::Refused);
}

TEST(Internet, HttpsWorksWithATrustedCertificateAndFailsClearlyWithout) {
    LocalServer server(true);
    ASSERT_TRUE(server.error().empty()) << server.error();
    CInternet net(kInternetBufferSize);
    const std::string url = server.https("/bytes/3000");
    EXPECT_EQ(net.getHtml(url, 5000), 0);
    EXPECT_EQ(net.failure(), FetchFailure::Tls) << net.failureDetail();
    EXPECT_EQ(net.errorText(), url + " could not be read.");
    net.setTrustedCertificates(server.certificate());
    ASSERT_EQ(net.getHtml(url, 5000), 1) << net.failureDetail();
    EXPECT_EQ(net.received(), 3000);
    EXPECT_TRUE(isPattern(net, 3000));
}

TEST(Internet, ErrorMessageBoxes) {
    ScopedCapture cap;
    CInternet net(16);
    for (int code : {1, 0, 2}) net.errorMessage(code);
    EXPECT_EQ(cap->visibleTexts(),
              (std::vector<std::string>{"Could not read from the internet.", "A request over the internet failed.", "A request over the internet failed."}));
    EXPECT_EQ(cap->reports()[0].kind, BoxKind::Ok);
}

}  // namespace
}  // namespace tunecase
