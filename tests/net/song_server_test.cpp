// Our song server on loopback, started in-process on a free port: the client's list, search,
// download and upload against it, and the server against requests no client of ours makes.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <regex>
#include <thread>

#include "base/reporter.h"
#include "base/text_codec.h"
#include "net/internet.h"
#include "net/song_server.h"
#include "net/song_server_client.h"
#include "net/song_store.h"
#include "songs/song_data.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

namespace fs = std::filesystem;
using testing::readFileBytes;

// A song data file as the program writes it, with the values the list and page show.
void writeSong(const std::string& path, std::string_view title, int key, int tempo, std::string_view lyric = {}) {
    CSongData song;
    song.newSong(8, 4, key, 0);
    ASSERT_TRUE(song.setTitle(title));
    ASSERT_TRUE(song.setKey(key));
    song.setTempo(tempo);
    if (!lyric.empty()) ASSERT_TRUE(song.setLyricLine(0, lyric));
    ASSERT_TRUE(song.saveFile(path));
}

// One request as bytes on a socket, so nothing tidies the path or the body on the way.
struct RawAnswer {
    int status = 0;
    std::string body;
};
// A connection to the server from `from` (any loopback address: 127.0.0.2 is another client
// than 127.0.0.1), or -1.
int connectFrom(int port, const char* from = "127.0.0.1") {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, from, &local.sin_addr);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(s);
        return -1;
    }
    timeval limit{10, 0};  // no test waits forever for a server that never answers
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    return s;
}

RawAnswer rawRequest(int port, const std::string& request) {
    RawAnswer answer;
    const int s = connectFrom(port);
    if (s < 0) return answer;
    send(s, request.data(), request.size(), MSG_NOSIGNAL);
    std::string all;
    char buffer[4096];
    for (ssize_t n; (n = recv(s, buffer, sizeof buffer, 0)) > 0;) all.append(buffer, static_cast<size_t>(n));
    close(s);
    std::sscanf(all.c_str(), "HTTP/1.%*d %d", &answer.status);
    const size_t bodyAt = all.find("\r\n\r\n");
    if (bodyAt != std::string::npos) answer.body = all.substr(bodyAt + 4);
    return answer;
}
RawAnswer rawGet(int port, const std::string& target) {
    return rawRequest(port, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
}
RawAnswer rawPost(int port, const std::string& body) {
    return rawRequest(port, "POST /work/get_file.php HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n"
                            "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                                std::to_string(body.size()) + "\r\n\r\n" + body);
}

const std::string kCommaTitle = "Twinkle, Twinkle";
const std::string kQuoteTitle = "Say \"hi\", now";
const std::string kJapaneseTitle = utf8ToCp932("星に願いを");
const std::string kAmpersandName = "my song & more+.mwd";

class SongServerLoopback : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(library_);
        writeSong(library_ + "/twinkle.mwd", kCommaTitle, 0, 120);
        writeSong(library_ + "/" + kAmpersandName, kJapaneseTitle, 15, 96, "<b>hoshi</b> & yume");
        writeSong(library_ + "/say.mwd", kQuoteTitle, 9, 80);
        writeSong(root_.file("secret.mwd"), "Secret", 0, 120);  // beside the library, never served
        fs::create_symlink("../secret.mwd", library_ + "/link.mwd");
        testing::writeFileBytes(library_ + "/old.mwd", std::vector<uint8_t>(32780, 0));  // a size clients refuse
        testing::writeFileText(library_ + "/notes.txt", "not a song");
        start({});
    }
    void start(SongServerOptions options) {
        options.libraryFolder = library_;
        options.uploadsFolder = uploads_;
        options.port = 0;
        options.log = [this](const std::string& line) {
            std::lock_guard lock(logMutex_);
            log_.push_back(line);
        };
        server_ = std::make_unique<SongServer>(options);
        std::string error;
        ASSERT_TRUE(server_->bind(&error)) << error;
        server_->start();
    }
    ServerAddress address() const { return {"http", "127.0.0.1", server_->port()}; }
    int port() const { return server_->port(); }
    std::vector<std::string> log() {
        std::lock_guard lock(logMutex_);
        return log_;
    }
    std::vector<std::string> uploadedKeys() const { return server_->store().uploadKeys(); }
    std::vector<uint8_t> uploadedBytes(const std::string& key) const {
        const auto blob = server_->store().uploadFile(key);
        return blob ? std::vector<uint8_t>(blob->bytes.begin(), blob->bytes.end()) : std::vector<uint8_t>();
    }

    testing::TempFolder root_;
    const std::string library_ = root_.file("library");
    const std::string uploads_ = root_.file("uploads");
    std::mutex logMutex_;
    std::vector<std::string> log_;
    // Last, so it goes first: its threads log until it has gone.
    std::unique_ptr<SongServer> server_;
};

TEST_F(SongServerLoopback, ListSearchAndDownloadGiveTheLibraryBack) {
    ScopedCapture cap;
    SongServerClient client(address());
    SongListTable table;
    ASSERT_TRUE(client.fetchList(table));
    // Sorted by file name; the link out of the folder and the refused size are not offered.
    ASSERT_EQ(table.rows(), 3);
    const std::vector<std::vector<std::string>> expected = {
        {kJapaneseTitle, "Am", kAmpersandName, "http://127.0.0.1:" + std::to_string(port()) +
                                                   "/music/song.php?fn=my%20song%20%26%20more%2B.mwd", "96"},
        {kQuoteTitle, "Bb", "say.mwd", "http://127.0.0.1:" + std::to_string(port()) + "/music/song.php?fn=say.mwd", "80"},
        {kCommaTitle, "C", "twinkle.mwd", "http://127.0.0.1:" + std::to_string(port()) + "/music/song.php?fn=twinkle.mwd", "120"},
    };
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < kSongListColumns; ++column)
            EXPECT_EQ(table.cell(row, column), expected[static_cast<size_t>(row)][static_cast<size_t>(column)])
                << row << "," << column;

    EXPECT_EQ(table.search(""), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(table.search("Twinkle,"), std::vector<int>{2});
    EXPECT_EQ(table.search("twinkle"), std::vector<int>{});  // case-sensitive
    EXPECT_EQ(table.search("\"hi\""), std::vector<int>{1});
    EXPECT_EQ(table.search("願い"), std::vector<int>{0});     // typed UTF-8, stored Shift-JIS
    EXPECT_EQ(table.search(utf8ToCp932("願い")), std::vector<int>{0});

    for (int row = 0; row < 3; ++row) {
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(client.fetchSong(table, row, bytes)) << row;
        EXPECT_EQ(bytes, readFileBytes(library_ + "/" + table.cell(row, kColumnFileName))) << row;
        EXPECT_EQ(CSongData(bytes.data(), bytes.size()).title(), table.cell(row, kColumnTitle));
    }
    std::vector<uint8_t> bytes;
    EXPECT_EQ(client.fetchSong(table, 3, bytes).failure, NetFailure::NoSuchRow);
    EXPECT_EQ(cap->count(), 0u);
}

TEST_F(SongServerLoopback, SongPageShowsTitleKeyTempoAndLyricsEscaped) {
    CInternet net(kInternetBufferSize);
    SongListTable table;
    ASSERT_TRUE(SongServerClient(address()).fetchList(table));
    ASSERT_EQ(net.getHtml(table.cell(0, kColumnPageUrl), 0), 1) << net.failureDetail();
    const std::string page(net.body());
    EXPECT_NE(page.find("<h1>星に願いを</h1>"), std::string::npos) << page;  // UTF-8 on the page
    EXPECT_NE(page.find("<td>Am</td>"), std::string::npos);
    EXPECT_NE(page.find("<td>96 BPM</td>"), std::string::npos);
    EXPECT_NE(page.find("&lt;b&gt;hoshi&lt;/b&gt; &amp; yume"), std::string::npos) << page;
    EXPECT_EQ(page.find("<b>"), std::string::npos);
    ASSERT_EQ(net.getHtml(table.cell(1, kColumnPageUrl), 0), 1);
    EXPECT_NE(std::string(net.body()).find("<h1>Say &quot;hi&quot;, now</h1>"), std::string::npos);
}

TEST_F(SongServerLoopback, UploadThenDeleteAndAnUploaderHoldsOneKeyAtATime) {
    ScopedCapture cap;
    const std::string midi = std::string(TUNECASE_TEST_DATA) + "/midi/mido_three_tracks.mid";
    const std::string upper = root_.file("SONG.MID");
    fs::copy_file(midi, upper);
    SongUploader uploader(address());
    ASSERT_TRUE(uploader.upload(upper));
    const std::string first = uploader.key();
    EXPECT_TRUE(std::regex_match(first, std::regex("[A-Za-z0-9]{12}"))) << first;
    ASSERT_EQ(uploadedKeys(), std::vector<std::string>{first});
    EXPECT_EQ(uploadedBytes(first), readFileBytes(midi));
    EXPECT_EQ(uploader.pageUrl(), "http://127.0.0.1:" + std::to_string(port()) + "/s/" + first);
    EXPECT_EQ(uploader.qrText(), uploader.pageUrl());

    ASSERT_TRUE(uploader.upload(midi));  // the song held is deleted first
    const std::string second = uploader.key();
    EXPECT_NE(second, first);
    EXPECT_EQ(uploadedKeys(), std::vector<std::string>{second});

    EXPECT_TRUE(uploader.release());
    EXPECT_EQ(uploader.key(), "");
    EXPECT_EQ(uploader.qrText(), "");
    EXPECT_TRUE(uploadedKeys().empty());
    const NetResult again = uploader.deleteKey(second);
    EXPECT_EQ(again.failure, NetFailure::Status);
    EXPECT_EQ(again.detail, "the delete: the server answered with status 404");
    EXPECT_EQ(cap->count(), 0u);  // an answered delete shows nothing

    // Only ".mid" goes, whatever the case; nothing is sent otherwise.
    testing::writeFileText(root_.file("notes.txt"), "text");
    EXPECT_EQ(uploader.upload(root_.file("notes.txt")).failure, NetFailure::NotMidi);
    EXPECT_EQ(cap->visibleTexts(), std::vector<std::string>{"Only a MIDI file (.mid) can be uploaded."});
    EXPECT_TRUE(uploadedKeys().empty());
}

TEST_F(SongServerLoopback, NamesThatLeaveTheLibraryAreRefused) {
    const std::string file = "/music/music_get_file.php?fn=";
    for (const std::string name : {"..%2Fsecret.mwd", "../secret.mwd", "%2E%2E%2Fsecret.mwd", "%2Fetc%2Fpasswd",
                                   "sub%2Ftwinkle.mwd", "..", "twinkle.mwd%00.txt", "notes.txt"}) {
        EXPECT_EQ(rawGet(port(), file + name).status, 403) << name;
        EXPECT_EQ(rawGet(port(), "/music/song.php?fn=" + name).status, 403) << name;
    }
    EXPECT_EQ(rawGet(port(), file + "link.mwd").status, 404);  // a link out of the folder
    EXPECT_EQ(rawGet(port(), file + "missing.mwd").status, 404);
    EXPECT_EQ(rawGet(port(), file + "%zz.mwd").status, 400);
    EXPECT_EQ(rawGet(port(), "/music/music_get_file.php").status, 400);
    EXPECT_EQ(rawGet(port(), "/music/../../etc/passwd").status, 404);
    const RawAnswer plus = rawGet(port(), file + "my%20song%20%26%20more+.mwd");  // "+" is not a blank
    EXPECT_EQ(plus.status, 200);
    EXPECT_EQ(plus.body.size(), songdata::kFileSize);
}

TEST_F(SongServerLoopback, HugeBodiesBadBase64AndUnknownKeys) {
    EXPECT_EQ(rawPost(port(), "name=Chimeline.mid&data=" + std::string(2 << 20, 'A')).status, 413);
    // A whole body one byte over the limit, as a client sends it.
    CInternet net(kInternetBufferSize);
    const std::string over = "name=Chimeline.mid&data=" + std::string(kSongServerBodyLimit - 23, 'A');
    EXPECT_EQ(net.postForm("http://127.0.0.1:" + std::to_string(port()) + "/work/get_file.php", over,
                           "application/x-www-form-urlencoded", 0),
              0);
    EXPECT_EQ(net.httpStatus(), 413);

    for (const std::string body : {"name=Chimeline.mid&data=@@@@", "name=Chimeline.mid&data=TWF",
                                   "name=Chimeline.mid&data=TQ==TQ==", "name=Chimeline.mid&data=",
                                   "name=Chimeline.mid", "data=TWFu", "name=Chimeline&data=TWFu",
                                   "name=x.m/d&data=TWFu", "something else"})
        EXPECT_EQ(rawPost(port(), body).status, 400) << body;
    EXPECT_TRUE(uploadedKeys().empty());

    for (const std::string key : {"NOSUCHKEY123", "..%2F..%2Fsecret", "../library/twinkle", ""})
        EXPECT_EQ(rawPost(port(), "del=" + key).status, 404) << key;
    EXPECT_TRUE(fs::exists(library_ + "/twinkle.mwd"));

    // A percent-encoded upload is understood too, and the answer is "number,key".
    const RawAnswer stored = rawPost(port(), "name=Chimeline.mid&data=TWFu%3D%3D%3D%3D");
    EXPECT_EQ(stored.status, 400);  // "Man====" is not base64 either
    const RawAnswer ok = rawPost(port(), "name=Chimeline.mid&data=TWE%3D");
    EXPECT_EQ(ok.status, 200);
    EXPECT_TRUE(std::regex_match(ok.body, std::regex("2,[A-Za-z0-9]{12}"))) << ok.body;

    // Each request is one log line: time, address, method, target, status, size.
    const auto lines = log();
    ASSERT_GE(lines.size(), 17u);
    EXPECT_TRUE(std::regex_match(lines.back(), std::regex(R"(\S+ \S+ 127\.0\.0\.1 POST /work/get_file\.php 200 \d+)")))
        << lines.back();
    for (const auto& line : lines) EXPECT_EQ(line.find('\n'), std::string::npos);
}

TEST_F(SongServerLoopback, UploadsBeyondTheLimitAreRefused) {
    server_.reset();
    start({.uploadLimit = 2});
    EXPECT_EQ(rawPost(port(), "name=Chimeline.mid&data=TWFu").status, 200);
    EXPECT_EQ(rawPost(port(), "name=Chimeline.mid&data=TWFu").status, 200);
    EXPECT_EQ(rawPost(port(), "name=Chimeline.mid&data=TWFu").status, 507);
    EXPECT_EQ(uploadedKeys().size(), 2u);
}

// One address may upload so many songs a minute; another address is counted apart.
TEST_F(SongServerLoopback, UploadsPerMinuteAreCountedPerClient) {
    server_.reset();
    start({.uploadsPerMinute = 3});
    for (int i = 0; i < 3; ++i) EXPECT_EQ(rawPost(port(), "name=Chimeline.mid&data=TWFu").status, 200) << i;
    EXPECT_EQ(rawPost(port(), "name=Chimeline.mid&data=TWFu").status, 429);
    EXPECT_EQ(rawPost(port(), "del=" + uploadedKeys().front()).status, 200);  // deletes are not counted
    const std::string body = "name=Chimeline.mid&data=TWFu";
    const int s = connectFrom(port(), "127.0.0.5");
    ASSERT_GE(s, 0);
    const std::string request = "POST /work/get_file.php HTTP/1.1\r\nHost: x\r\nConnection: close\r\n"
                                "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    send(s, request.data(), request.size(), MSG_NOSIGNAL);
    char answer[16] = {};
    EXPECT_GT(recv(s, answer, sizeof answer - 1, 0), 12);
    close(s);
    EXPECT_EQ(std::string(answer).substr(0, 12), "HTTP/1.1 200");
}

// Only an upload this server stored, under its exact key (or the delete token it handed out
// with it), can be deleted; the keys outlive a restart.
TEST_F(SongServerLoopback, DeletesNeedAKeyOrTokenTheServerMade) {
    const RawAnswer first = rawPost(port(), "name=Chimeline.mid&data=TWFu");
    const std::string key = first.body.substr(2);
    ASSERT_EQ(key.size(), 12u);
    std::string flipped = key;
    flipped[0] = static_cast<char>(std::islower(static_cast<unsigned char>(key[0])) ? std::toupper(key[0])
                                                                                     : std::tolower(key[0]));
    for (const std::string& other : {std::string("ABCDEFGHIJKL"), key + "x", flipped, key.substr(0, 11),
                                     std::string("%25"), std::string("' OR 1=1 --")})
        if (other != key) EXPECT_EQ(rawPost(port(), "del=" + other).status, 404) << other;
    EXPECT_EQ(uploadedKeys(), std::vector<std::string>{key});

    server_.reset();
    start({.uploadLimit = 2});
    EXPECT_EQ(rawPost(port(), "name=Chimeline.mid&data=TWFu").status, 200);
    EXPECT_EQ(rawPost(port(), "name=Chimeline.mid&data=TWFu").status, 507);
    EXPECT_EQ(rawPost(port(), "del=" + key).status, 200);  // remembered across the restart
    EXPECT_EQ(rawPost(port(), "del=" + key).status, 404);
    ASSERT_EQ(uploadedKeys().size(), 1u);
    const std::string other = uploadedKeys().front();

    // The token the upload's answer carries deletes it too; the key's page is gone then.
    EXPECT_EQ(rawGet(port(), "/s/" + other).status, 200);
    EXPECT_EQ(rawPost(port(), "del=" + other).status, 200);
    CInternet net(kInternetBufferSize);
    ASSERT_EQ(net.postForm("http://127.0.0.1:" + std::to_string(port()) + "/work/get_file.php",
                           "name=Chimeline.mid&data=TWFu", "application/x-www-form-urlencoded", 0),
              1);
    EXPECT_EQ(net.header("x-tunecase-server"), "1");
    const std::string token = net.header("X-Tunecase-Delete-Token");
    EXPECT_TRUE(std::regex_match(token, std::regex("[A-Za-z0-9]{24}"))) << token;
    const std::string third = std::string(net.body()).substr(2);
    EXPECT_EQ(rawPost(port(), "token=" + token).status, 200);
    EXPECT_EQ(rawGet(port(), "/s/" + third).status, 404);
    EXPECT_TRUE(uploadedKeys().empty());

    // Served from the library folder itself, its songs cannot be deleted as uploads.
    server_.reset();
    SongServerOptions same;
    same.libraryFolder = library_;
    same.uploadsFolder = library_;
    same.port = 0;
    same.log = [](const std::string&) {};
    testing::writeFileText(library_ + "/QWERTYUIOPAS.mwd", "a song named like a key");
    SongServer onLibrary(same);
    std::string error;
    ASSERT_TRUE(onLibrary.bind(&error)) << error;
    onLibrary.start();
    for (const std::string name : {"QWERTYUIOPAS", "twinkle", "say", "tunecase.db"})
        EXPECT_EQ(rawPost(onLibrary.port(), "del=" + name).status, 404) << name;
    EXPECT_TRUE(fs::exists(library_ + "/QWERTYUIOPAS.mwd"));
    EXPECT_TRUE(fs::exists(library_ + "/twinkle.mwd"));
}

// Real songs are larger than a form-encoded body of 8 KB: they upload whole and come back
// byte for byte.
TEST_F(SongServerLoopback, SongsOfTwelveAndTwoHundredKilobytesUploadWhole) {
    ScopedCapture cap;
    for (const size_t size : {size_t{12} << 10, size_t{200} << 10}) {
        std::vector<uint8_t> bytes(size);
        uint32_t state = static_cast<uint32_t>(size);
        for (auto& b : bytes) b = static_cast<uint8_t>((state = state * 1664525u + 1013904223u) >> 24);
        const std::string path = root_.file("song" + std::to_string(size) + ".mid");
        testing::writeFileBytes(path, bytes);
        SongUploader uploader(address());
        ASSERT_TRUE(uploader.upload(path)) << size;
        EXPECT_EQ(uploadedBytes(uploader.key()), bytes) << size;
        EXPECT_EQ(rawGet(port(), "/s/" + uploader.key() + ".mid").body.size(), size) << size;
        ASSERT_TRUE(uploader.release()) << size;
        EXPECT_TRUE(uploadedKeys().empty()) << size;
    }
    EXPECT_EQ(cap->count(), 0u);
}

// A burst of 200 connections at once is queued, not reset, and each gets its list.
TEST_F(SongServerLoopback, TwoHundredSimultaneousListRequestsAreAllAnswered) {
    constexpr int kClients = 200;
    std::vector<int> sockets;
    for (int i = 0; i < kClients; ++i) sockets.push_back(connectFrom(port()));
    const std::string request = "GET /music/music_get_list.php HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
    for (int s : sockets) ASSERT_GE(s, 0);
    for (int s : sockets) send(s, request.data(), request.size(), MSG_NOSIGNAL);
    int answered = 0;
    for (int s : sockets) {
        std::string all;
        char buffer[4096];
        for (ssize_t n; (n = recv(s, buffer, sizeof buffer, 0)) > 0;) all.append(buffer, static_cast<size_t>(n));
        close(s);
        answered += all.rfind("HTTP/1.1 200", 0) == 0 && all.find("twinkle.mwd") != std::string::npos;
    }
    EXPECT_EQ(answered, kClients);
}

// Slow clients hold a socket each, not a worker: with a thousand of them trickling their
// heads, a request is still answered; a head that takes too long is cut off even while
// bytes keep coming; one address cannot take more than its share of connections.
TEST_F(SongServerLoopback, SlowClientsLockNobodyOut) {
    server_.reset();
    SongServerOptions options;
    options.connections.headDeadlineMs = 1500;
    options.connections.connectionsPerClient = 300;
    start(options);
    std::vector<int> slow;
    for (int i = 0; i < 1000; ++i) {
        const std::string from = "127.0.0." + std::to_string(2 + i / 250);
        const int s = connectFrom(port(), from.c_str());
        ASSERT_GE(s, 0) << i;
        send(s, "G", 1, MSG_NOSIGNAL);
        slow.push_back(s);
    }
    CInternet net(kInternetBufferSize);
    net.setTimeouts(1000, 3000);  // the old server made this wait for its workers: 30 s
    ASSERT_EQ(net.getHtml("http://127.0.0.1:" + std::to_string(port()) + kSongListPath, 0), 1) << net.failureDetail();
    EXPECT_EQ(net.httpStatus(), 200);

    // Past the per-client limit a connection is closed at once.
    std::vector<int> crowd;
    for (int i = 0; i < 300; ++i) crowd.push_back(connectFrom(port(), "127.0.0.9"));
    const int extra = connectFrom(port(), "127.0.0.9");
    ASSERT_GE(extra, 0);
    char byte;
    EXPECT_EQ(recv(extra, &byte, 1, 0), 0);  // closed without an answer
    close(extra);
    for (int s : crowd) close(s);

    // A head trickled a byte every 100 ms is cut at its deadline although it never pauses.
    const int trickle = connectFrom(port());
    const std::string head = "GET /music/music_get_list.php HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Pad: " +
                             std::string(60, 'a') + "\r\n\r\n";
    size_t sent = 0;
    while (sent < head.size() && send(trickle, head.data() + sent, 1, MSG_NOSIGNAL) == 1) {
        ++sent;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_LT(sent, head.size()) << "the whole head went through in " << sent / 10.0 << " s";
    close(trickle);
    for (int s : slow) close(s);
}

TEST_F(SongServerLoopback, ASecondServerOnAPortInUseFailsNamingIt) {
    SongServerOptions options;
    options.libraryFolder = library_;
    options.port = port();
    SongServer second(options);
    std::string error;
    EXPECT_FALSE(second.bind(&error));
    EXPECT_EQ(error, "cannot listen on 127.0.0.1:" + std::to_string(port()) +
                         ": the port is in use by another program (Address already in use)");
    EXPECT_EQ(rawGet(port(), kSongListPath).status, 200);
}

// A song that goes while its page is read, and the library read again meanwhile, is a 404,
// never a crash or a half answer.
TEST_F(SongServerLoopback, SongsDeletedWhilePagesAreReadGive404) {
    std::atomic<bool> done{false};
    std::thread churn([&] {
        const auto bytes = readFileBytes(library_ + "/say.mwd");
        while (!done) {
            fs::remove(library_ + "/say.mwd");
            EXPECT_TRUE(server_->reimport(nullptr));
            testing::writeFileBytes(library_ + "/say.mwd", bytes);
            EXPECT_TRUE(server_->reimport(nullptr));
        }
    });
    std::vector<std::thread> clients;
    std::atomic<int> other{0};
    for (int c = 0; c < 8; ++c)
        clients.emplace_back([&] {
            for (int i = 0; i < 40; ++i) {
                const int status = rawGet(port(), "/music/song.php?fn=say.mwd").status;
                other += status != 200 && status != 404;
                const RawAnswer file = rawGet(port(), "/music/music_get_file.php?fn=say.mwd");
                other += file.status != 200 && file.status != 404;
                other += file.status == 200 && file.body.size() != songdata::kFileSize;
            }
        });
    for (auto& t : clients) t.join();
    done = true;
    churn.join();
    EXPECT_EQ(other, 0);
}

// A library of 3,000 songs lists in full (it is larger than the 256 KB other answers may be).
TEST_F(SongServerLoopback, ALibraryOfThreeThousandSongsListsInFull) {
    SongListTable table;
    for (int i = 0; i < 3000; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "/song %04d with a longer name.mwd", i);
        fs::create_hard_link(library_ + "/twinkle.mwd", library_ + name);  // same song, less disk
    }
    EXPECT_EQ(SongServerClient(address()).fetchList(table).failure, NetFailure::None);
    EXPECT_EQ(table.rows(), 3);  // read on start and on reimport (SIGHUP) only
    std::string error;
    ASSERT_TRUE(server_->reimport(&error)) << error;
    ASSERT_TRUE(SongServerClient(address()).fetchList(table));
    EXPECT_EQ(table.rows(), 3003);
    EXPECT_EQ(table.cell(3002, kColumnFileName), "twinkle.mwd");
    EXPECT_GT(rawGet(port(), kSongListPath).body.size(), static_cast<size_t>(kInternetBufferSize));
}

}  // namespace
}  // namespace tunecase
