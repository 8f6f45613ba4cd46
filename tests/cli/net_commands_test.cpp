// tunecase-cli serve, songs, download and upload as a user runs them: our server as a child
// process on a free port, stopped by SIGTERM; the client commands against it and against a
// server that sends what ours never would.
#include <gtest/gtest.h>
#include <httplib.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <regex>
#include <thread>

#include "base/text_codec.h"
#include "net/internet.h"
#include "songs/song_data.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

using testing::runCommand;

std::string cli(const std::string& args) { return std::string(TUNECASE_CLI) + " " + args; }
std::string quoted(const std::string& s) { return "'" + s + "'"; }

void writeSong(const std::string& path, std::string_view title) {
    CSongData song;
    song.newSong(4, 4, 0, 0);
    ASSERT_TRUE(song.setTitle(title));
    ASSERT_TRUE(song.saveFile(path));
}

// `tunecase-cli serve` as a child: the first line it prints names the port.
class ServeProcess {
public:
    ServeProcess(const std::string& library, const std::string& uploads, const std::string& errors) {
        int out[2];
        if (pipe(out) != 0) return;
        if ((pid_ = fork()) == 0) {
            dup2(out[1], 1);
            close(out[0]);
            const std::string redirect = "exec " + cli("serve --port 0 --library " + quoted(library) + " --uploads " +
                                                       quoted(uploads)) + " 2>" + quoted(errors);
            execl("/bin/sh", "sh", "-c", redirect.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        pollfd p{out[0], POLLIN, 0};
        for (char c; poll(&p, 1, 20000) > 0 && read(out[0], &c, 1) == 1 && c != '\n';) line_ += c;
        close(out[0]);
        std::smatch m;
        if (std::regex_search(line_, m, std::regex("http://127\\.0\\.0\\.1:(\\d+)"))) port_ = std::stoi(m[1]);
    }
    ~ServeProcess() { stop(SIGKILL); }
    // Sends `signal` and returns the exit status (-1 when it did not exit normally).
    int stop(int signal) {
        if (pid_ <= 0) return -1;
        kill(pid_, signal);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    int port() const { return port_; }
    const std::string& line() const { return line_; }

private:
    pid_t pid_ = -1;
    int port_ = 0;
    std::string line_;
};

TEST(CliNet, ServeSongsDownloadUploadAndStop) {
    testing::TempFolder dir;
    std::filesystem::create_directory(dir.file("lib"));
    writeSong(dir.file("lib/a.mwd"), utf8ToCp932("星に願いを"));
    writeSong(dir.file("lib/b c.mwd"), "Twinkle, Twinkle");
    ServeProcess serve(dir.file("lib"), dir.file("up"), dir.file("serve.err"));
    ASSERT_GT(serve.port(), 0) << serve.line();
    const std::string server = " --server http://127.0.0.1:" + std::to_string(serve.port()) + " ";
    int requests = 0;

    std::string out;
    ASSERT_EQ(runCommand(cli("songs" + server), out), 0) << out;
    ++requests;
    EXPECT_EQ(out, "0\t星に願いを\n1\tTwinkle, Twinkle\n");
    ASSERT_EQ(runCommand(cli("songs" + server + "--search Twinkle"), out), 0);
    ++requests;
    EXPECT_EQ(out, "1\tTwinkle, Twinkle\n");

    ASSERT_EQ(runCommand(cli("download" + server + "1 " + quoted(dir.file("got.mwd"))), out), 0) << out;
    requests += 2;
    EXPECT_EQ(out, "1\tTwinkle, Twinkle\t121880 bytes\n");
    EXPECT_EQ(testing::readFileBytes(dir.file("got.mwd")), testing::readFileBytes(dir.file("lib/b c.mwd")));
    EXPECT_EQ(runCommand(cli("download" + server + "2 " + quoted(dir.file("no.mwd"))), out), 1);
    ++requests;
    EXPECT_EQ(out, "tunecase-cli download: there is no row 2 in the list of 2\n");

    // The key and, from our own server, the page's address, then the page's QR code drawn as
    // `qr --terminal` draws it.
    const std::string midi = std::string(TUNECASE_TEST_DATA) + "/midi/mido_three_tracks.mid";
    ASSERT_EQ(runCommand(cli("upload" + server + quoted(midi) + " 2>/dev/null"), out), 0) << out;
    ++requests;
    std::smatch m;
    const std::string base = "http://127.0.0.1:" + std::to_string(serve.port());
    ASSERT_TRUE(std::regex_search(out, m, std::regex("^key ([A-Za-z0-9]{12})\npage (\\S+)\n"))) << out;
    const std::string key = m[1];
    EXPECT_EQ(m[2], base + "/s/" + key);
    std::string drawing;
    ASSERT_EQ(runCommand(cli("qr --terminal --level M " + base + "/s/" + key + " 2>/dev/null"), drawing), 0);
    EXPECT_EQ(out.substr(m[0].length() - 1), drawing.substr(drawing.find('\n')));
    CInternet net(kInternetBufferSize);
    ASSERT_EQ(net.getHtml(base + "/s/" + key + ".mid", 0), 1);
    ++requests;
    EXPECT_EQ(std::vector<uint8_t>(net.buffer(), net.buffer() + net.received()), testing::readFileBytes(midi));

    ASSERT_EQ(runCommand(cli("upload" + server + "--delete " + key), out), 0) << out;
    ++requests;
    EXPECT_EQ(out, "deleted " + key + "\n");
    EXPECT_EQ(runCommand(cli("upload" + server + "--delete " + key), out), 1);
    ++requests;
    EXPECT_EQ(out, "tunecase-cli upload: the delete: the server answered with status 404\n");
    EXPECT_EQ(runCommand(cli("upload" + server + quoted(dir.file("lib/a.mwd"))), out), 1);
    EXPECT_EQ(out, "Only a MIDI file (.mid) can be uploaded.\ntunecase-cli upload: " + dir.file("lib/a.mwd") + ": only a \".mid\" file is uploaded\n");

    // Without --server the settings file's address is used; its bad lines are named.
    testing::TempFolder config;
    std::filesystem::create_directory(config.file("TNC"));
    testing::writeFileText(config.file("TNC/servers.conf"),
                           "song_server=http://127.0.0.1:" + std::to_string(serve.port()) + "\nsong_server=nonsense:x\n");
    ASSERT_EQ(runCommand("XDG_CONFIG_HOME=" + quoted(config.path().string()) + " " + cli("songs --search 星"), out), 0);
    ++requests;
    EXPECT_EQ(out, "tunecase-cli songs: servers.conf line 2: the port is not a number from 1 to 65535, ignored\n"
                   "0\t星に願いを\n");

    EXPECT_EQ(net.getHtml(base + "/s/" + key + ".mid", 0), 0);  // deleted
    EXPECT_EQ(net.httpStatus(), 404);
    ++requests;
    EXPECT_EQ(serve.stop(SIGTERM), 0);
    const auto log = testing::readFileBytes(dir.file("serve.err"));
    const std::string text(log.begin(), log.end());
    // A line per request, the library's import and the stop.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), requests + 2) << text;
    EXPECT_NE(text.find("library: 2 read, 0 unchanged, 0 skipped\n"), std::string::npos) << text;
    EXPECT_NE(text.find("GET /music/music_get_file.php?fn=b%20c.mwd 200 121880\n"), std::string::npos) << text;
    EXPECT_NE(text.find("tunecase-cli serve: stopped (SIGTERM)\n"), std::string::npos);
}

TEST(CliNet, ClearFailuresAndNoHang) {
    testing::TempFolder dir;
    httplib::Server http;
    std::atomic<int> delayMs{0};
    std::mutex mutex;
    std::condition_variable wake;
    bool closing = false;
    http.Get("/music/music_get_list.php", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("Old song,C,old.mwd,http://x/old,120\r\n", "text/plain");
    });
    http.Get("/music/music_get_file.php", [&](const httplib::Request&, httplib::Response& res) {
        std::unique_lock lock(mutex);
        wake.wait_for(lock, std::chrono::milliseconds(delayMs.load()), [&] { return closing; });
        res.set_content(std::string(93000, 'x'), "application/octet-stream");  // a size no song has
    });
    http.Post("/work/get_file.php", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("stored", "text/plain");  // no comma, so no key
    });
    const int port = http.bind_to_any_port("127.0.0.1");
    std::thread thread([&] { http.listen_after_bind(); });
    const std::string server = " --server http://127.0.0.1:" + std::to_string(port) + " ";

    std::string out;
    EXPECT_EQ(runCommand(cli("download" + server + "0 " + quoted(dir.file("old.mwd"))), out), 1);
    EXPECT_EQ(out, "SGDT00000004 This song data is in an old format and cannot be used here.\n"
                   "tunecase-cli download: row 0 (\"Old song\") is not a song-data file: it is 93000 bytes, and a "
                   "song is exactly 92492 bytes or at least 94540; " +
                       dir.file("old.mwd") + " was not written\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("old.mwd")));

    delayMs = 5000;
    EXPECT_EQ(runCommand(cli("download" + server + "--timeout 0.5 0 " + quoted(dir.file("old.mwd"))), out), 1);
    EXPECT_NE(out.find("tunecase-cli download: the song file: no complete answer in time"), std::string::npos) << out;

    EXPECT_EQ(runCommand(cli("upload" + server + quoted(std::string(TUNECASE_TEST_DATA) + "/midi/mido_three_tracks.mid")), out), 1);
    EXPECT_EQ(out, "tunecase-cli upload: the upload's answer holds no key (\"NUMBER,KEY\")\n");
    EXPECT_EQ(runCommand(cli("songs --server ftp://127.0.0.1"), out), 2);
    EXPECT_EQ(out, "tunecase-cli songs: --server ftp://127.0.0.1: the scheme is neither http nor https\n");
    EXPECT_EQ(runCommand(cli("serve --port 0 --library " + quoted(dir.file("none"))), out), 1);
    EXPECT_EQ(out, "tunecase-cli serve: the library folder " + dir.file("none") + " does not exist\n");

    {
        std::lock_guard lock(mutex);
        closing = true;
    }
    wake.notify_all();  // the slow answer ends now rather than hold the test
    http.stop();
    thread.join();
    // Nothing listens any more.
    EXPECT_EQ(runCommand(cli("songs" + server), out), 1);
    EXPECT_NE(out.find("Could not connect to the internet.\ntunecase-cli songs: the song list: the connection was refused"),
              std::string::npos)
        << out;
}

// A server whose titles, keys and files carry control bytes, and a file of a song's size
// that is not a song.
TEST(CliNet, HostileAnswersArePrintedEscapedAndANonSongSaysWhy) {
    testing::TempFolder dir;
    writeSong(dir.file("real.mwd"), "Real");
    const auto realSong = testing::readFileBytes(dir.file("real.mwd"));
    httplib::Server http;
    http.Get("/music/music_get_list.php", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("Evil\x1b]0;owned\x07\x1b[2J,C,evil.mwd,http://x/evil,120\r\n"
                        "Fake\xC2\x9B" "1m,C,fake.mwd,http://x/fake,120\r\n",
                        "text/plain");
    });
    http.Get("/music/music_get_file.php", [&](const httplib::Request& req, httplib::Response& res) {
        if (req.get_param_value("fn") == "evil.mwd")
            res.set_content(std::string(realSong.begin(), realSong.end()), "application/octet-stream");
        else
            res.set_content(std::string(94540, 'x'), "application/octet-stream");  // 'xx' beats to a measure
    });
    http.Post("/work/get_file.php", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("1,ab\x1b[2Jcd", "text/plain");
    });
    const int port = http.bind_to_any_port("127.0.0.1");
    std::thread thread([&] { http.listen_after_bind(); });
    const std::string server = " --server http://127.0.0.1:" + std::to_string(port) + " ";

    std::string out;
    EXPECT_EQ(runCommand(cli("songs" + server), out), 0) << out;
    EXPECT_EQ(out, "0\tEvil\\x1b]0;owned\\x07\\x1b[2J\n1\tFake\\u009b1m\n");
    EXPECT_EQ(runCommand(cli("download" + server + "0 " + quoted(dir.file("evil.mwd"))), out), 0) << out;
    EXPECT_EQ(out, "0\tEvil\\x1b]0;owned\\x07\\x1b[2J\t121880 bytes\n");
    EXPECT_EQ(runCommand(cli("upload" + server + quoted(std::string(TUNECASE_TEST_DATA) + "/midi/mido_three_tracks.mid")),
                         out),
              0);
    EXPECT_EQ(out.substr(0, out.find('\n') + 1), "key ab\\x1b[2Jcd\n");  // the QR code after it is ours

    // Its size is a song's; its meter is not. The message says so, not the size rule.
    EXPECT_EQ(runCommand(cli("download" + server + "1 " + quoted(dir.file("fake.mwd")) + " 2>&1"), out), 1);
    EXPECT_NE(out.find("tunecase-cli download: row 1 (\"Fake\\u009b1m\") is not a song-data file: its meter has 30840 "
                       "beats per measure, and a song has 1 to 8; " +
                       dir.file("fake.mwd") + " was not written\n"),
              std::string::npos)
        << out;
    EXPECT_FALSE(std::filesystem::exists(dir.file("fake.mwd")));
    http.stop();
    thread.join();
}

}  // namespace
}  // namespace tunecase
