// The song server client against servers that misbehave (cpp-httplib in the test): slow
// answers past the timeout, statuses other than 200, empty lists, answers without a key,
// bodies larger than the buffer. And what the client sends, byte for byte.
#include <gtest/gtest.h>
#include <httplib.h>

#include <arpa/inet.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <tuple>

#include "base/reporter.h"
#include "net/internet.h"
#include "net/song_server_client.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

const std::string kGoodList = "Twinkle,C,twinkle.mwd,http://x/1,120\r\nodd name,C,my song & more+#1.mwd,http://x/2,90\r\n";

// A server whose answers the test sets; it remembers the last request.
class FaultyServer {
public:
    FaultyServer() {
        auto remember = [this](const httplib::Request& req) {
            std::lock_guard lock(mutex_);
            target_ = req.target;
            body_ = req.body;
            bodies_.push_back(req.body);
            contentType_ = req.get_header_value("Content-Type");
        };
        http_.Get(".*", [this, remember](const httplib::Request& req, httplib::Response& res) {
            remember(req);
            answer(res);
        });
        http_.Post(".*", [this, remember](const httplib::Request& req, httplib::Response& res) {
            remember(req);
            answer(res);
        });
        port_ = http_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { http_.listen_after_bind(); });
        while (!http_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~FaultyServer() {
        {
            std::lock_guard lock(mutex_);
            closing_ = true;
        }
        wake_.notify_all();  // slow answers end now rather than hold the test
        http_.stop();
        thread_.join();
    }
    void set(int status, std::string body, int delayMs = 0) {
        std::lock_guard lock(mutex_);
        status_ = status, body_out_ = std::move(body), delayMs_ = delayMs;
    }
    // Header fields every later answer carries.
    void setHeaders(std::vector<std::pair<std::string, std::string>> headers) {
        std::lock_guard lock(mutex_);
        headers_ = std::move(headers);
    }
    ServerAddress address() const { return {"http", "127.0.0.1", port_}; }
    std::string target() {
        std::lock_guard lock(mutex_);
        return target_;
    }
    std::string body() {
        std::lock_guard lock(mutex_);
        return body_;
    }
    std::vector<std::string> bodies() {
        std::lock_guard lock(mutex_);
        return bodies_;
    }
    std::string contentType() {
        std::lock_guard lock(mutex_);
        return contentType_;
    }

private:
    void answer(httplib::Response& res) {
        int status, delay;
        std::string body;
        {
            std::lock_guard lock(mutex_);
            status = status_, delay = delayMs_, body = body_out_;
            for (const auto& [name, value] : headers_) res.set_header(name, value);
        }
        {
            std::unique_lock lock(mutex_);
            wake_.wait_for(lock, std::chrono::milliseconds(delay), [this] { return closing_; });
        }
        res.status = status;
        res.set_content(body, "application/octet-stream");
    }

    httplib::Server http_;
    std::thread thread_;
    int port_ = 0;
    std::mutex mutex_;
    int status_ = 200, delayMs_ = 0;
    std::string body_out_, target_, body_, contentType_;
    std::vector<std::string> bodies_;
    std::vector<std::pair<std::string, std::string>> headers_;
    std::condition_variable wake_;
    bool closing_ = false;
};

// A port on 127.0.0.1 where nothing listens.
int closedPort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    close(s);
    return ntohs(a.sin_port);
}

TEST(SongClientFaults, ListFailuresShowTheConnectionBoxAndSayWhy) {
    FaultyServer server;
    SongServerClient client(server.address());
    SongListTable table;
    struct Case {
        int status;
        std::string body;
        NetFailure failure;
        std::string detail;
        std::vector<std::string> boxes;
    };
    const std::string connect = "Could not connect to the internet.";
    const std::vector<Case> cases = {
        {500, "oops", NetFailure::Status, "the song list: the server answered with status 500", {connect}},
        {203, kGoodList, NetFailure::Status, "the song list: the server answered with status 203", {connect}},
        {200, "", NetFailure::Empty, "the song list is empty", {connect}},
        // The list alone may be larger than other answers, but not without bound.
        {200, std::string(kSongListAnswerLimit + 1000, 'a'), NetFailure::TooLarge,
         "the song list: the answer is larger than the 8388608-byte buffer", {"Could not read from the internet."}},
        {200, "a,b,c\r\nunended", NetFailure::BadList, "the song list does not read as a table (1 rows before the fault)",
         {"GNLL1E000002 List file data contains error value.", "1line error occrued!"}},
    };
    for (const auto& c : cases) {
        ScopedCapture cap;
        server.set(c.status, c.body);
        const NetResult result = client.fetchList(table);
        EXPECT_EQ(result.failure, c.failure) << c.detail;
        EXPECT_EQ(result.detail, c.detail);
        EXPECT_EQ(cap->visibleTexts(), c.boxes) << c.detail;
    }
    EXPECT_EQ(table.rows(), 1);  // a list that breaks off keeps the rows before the fault

    ScopedCapture cap;
    const NetResult refused = SongServerClient({"http", "127.0.0.1", closedPort()}).fetchList(table);
    EXPECT_EQ(refused.failure, NetFailure::Refused);
    EXPECT_EQ(table.rows(), 0);
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{connect});
}

TEST(SongClientFaults, FileNamesArePercentEncodedAndBodiesChecked) {
    FaultyServer server;
    SongServerClient client(server.address());
    SongListTable table;
    server.set(200, kGoodList);
    ASSERT_TRUE(client.fetchList(table));
    EXPECT_EQ(server.target(), "/music/music_get_list.php");

    std::vector<uint8_t> bytes;
    server.set(200, "abc");
    ASSERT_TRUE(client.fetchSong(table, 1, bytes));
    EXPECT_EQ(server.target(), "/music/music_get_file.php?fn=my%20song%20%26%20more%2B%231.mwd");
    EXPECT_EQ(bytes, (std::vector<uint8_t>{'a', 'b', 'c'}));

    ScopedCapture cap;
    server.set(200, std::string(kInternetBufferSize, 's'));  // as large as the buffer: cut, so refused
    EXPECT_EQ(client.fetchSong(table, 0, bytes).failure, NetFailure::TooLarge);
    EXPECT_TRUE(bytes.empty());
    server.set(404, "gone");
    EXPECT_EQ(client.fetchSong(table, 0, bytes).failure, NetFailure::Status);
    server.set(200, "");
    EXPECT_EQ(client.fetchSong(table, 0, bytes).failure, NetFailure::Empty);
}

TEST(SongClientFaults, ASlowServerEndsInTheTimeout) {
    FaultyServer server;
    server.set(200, kGoodList, 5000);  // within the default limits this would succeed
    const NetTimeouts quick{500, 800};
    SongListTable table;
    ScopedCapture cap;
    const NetResult list = SongServerClient(server.address(), quick).fetchList(table);
    EXPECT_EQ(list.failure, NetFailure::TimedOut) << list.detail;
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{"Could not connect to the internet."});

    cap->clear();
    testing::TempFolder dir;
    testing::writeFileText(dir.file("a.mid"), "MThd");
    SongUploader uploader(server.address(), quick);
    EXPECT_EQ(uploader.upload(dir.file("a.mid")).failure, NetFailure::TimedOut);
    EXPECT_EQ(uploader.key(), "");
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{"Communication with the server failed."});
}

TEST(SongClientFaults, UploadSendsTheExactFormAndReadsTheKey) {
    FaultyServer server;
    testing::TempFolder dir;
    const std::string midi = std::string(TUNECASE_TEST_DATA) + "/midi/mido_eight_parts.mid";
    SongUploader uploader(server.address());
    ScopedCapture cap;

    server.set(200, std::string("12,ABC\0junk", 11));
    ASSERT_TRUE(uploader.upload(midi));
    EXPECT_EQ(uploader.key(), "ABC");  // the number is ignored, the key ends at a zero byte
    // Python's base64 as the outside reader of what went out.
    std::string expected;
    ASSERT_EQ(testing::runCommand("python3 -c \"import base64,sys; sys.stdout.write(base64.b64encode(open('" + midi +
                                      "','rb').read()).decode())\"",
                                  expected),
              0);
    EXPECT_EQ(server.body(), "name=Chimeline.mid&data=" + expected);  // "+" and "/" unencoded
    EXPECT_EQ(server.contentType(), "application/x-www-form-urlencoded");
    EXPECT_EQ(server.target(), "/work/get_file.php");

    server.set(200, "7,SECOND");
    ASSERT_TRUE(uploader.upload(midi));  // the key held is deleted first
    EXPECT_EQ(uploader.key(), "SECOND");
    ASSERT_TRUE(uploader.release());
    EXPECT_TRUE(uploader.release());  // nothing held: nothing sent
    const std::string form = "name=Chimeline.mid&data=" + expected;
    EXPECT_EQ(server.bodies(), (std::vector<std::string>{form, "del=ABC", form, "del=SECOND"}));

    // The QR code carries a page's address only from a server that says it is ours, and only
    // an address that leads to this key's page.
    const std::string page = "https://songs.example.org/s/THIRD";
    const std::vector<std::tuple<std::string, std::string, std::string>> answers = {
        {"1", page, page},
        {"", page, "THIRD"},                                  // another server: the bare key
        {"0", page, "THIRD"},
        {"1", "", "THIRD"},                                   // ours, but no page given
        {"1", "https://songs.example.org/s/OTHER", "THIRD"},  // another key's page
        {"1", "javascript:alert(1)//s/THIRD", "THIRD"},
        {"1", "http://x\x01/s/THIRD", "THIRD"},
        {"1", "http://a b/s/THIRD", "THIRD"},
    };
    for (const auto& [ours, header, code] : answers) {
        std::vector<std::pair<std::string, std::string>> fields;
        if (!ours.empty()) fields.emplace_back("X-Tunecase-Server", ours);
        if (!header.empty()) fields.emplace_back("X-Tunecase-Page", header);
        server.setHeaders(fields);
        server.set(200, "9,THIRD");
        ASSERT_TRUE(uploader.upload(midi)) << header;
        EXPECT_EQ(uploader.qrText(), code) << ours << " " << header;
        EXPECT_EQ(uploader.pageUrl(), code == page ? page : "") << header;
    }
    server.setHeaders({});

    server.set(200, "no comma");
    const NetResult noKey = uploader.upload(midi);
    EXPECT_EQ(noKey.failure, NetFailure::NoKey);
    EXPECT_EQ(uploader.key(), "");
    EXPECT_EQ(uploader.qrText(), "");
    server.set(200, "");
    EXPECT_EQ(uploader.upload(midi).failure, NetFailure::Empty);
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{"Communication with the server failed."});

    cap->clear();
    server.set(500, "1,KEY");
    EXPECT_EQ(uploader.upload(midi).failure, NetFailure::Status);
    EXPECT_EQ(uploader.key(), "");
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{"Communication with the server failed."});
    cap->clear();
    server.set(200, std::string(kInternetBufferSize + 1, '1'));
    EXPECT_EQ(uploader.upload(midi).failure, NetFailure::TooLarge);
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{"Could not read from the internet."});
}

}  // namespace
}  // namespace tunecase
