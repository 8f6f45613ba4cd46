// The song server's store: its schema made from nothing and migrated from the first version,
// word search with case and accents aside, the pages' escaping of hostile titles, the sound
// and facts an upload gets, and a server killed with SIGKILL in the middle of uploads.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <regex>
#include <thread>

#include <sqlite3.h>

#include "base/reporter.h"
#include "base/text_codec.h"
#include "base/utilities.h"
#include "net/internet.h"
#include "net/library_import.h"
#include "net/song_pages.h"
#include "net/song_server.h"
#include "net/song_store.h"
#include "net/upload_render.h"
#include "songs/song_data.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

namespace fs = std::filesystem;

void writeSong(const std::string& path, std::string_view title, int tempo) {
    CSongData song;
    song.newSong(8, 3, 0, 0);
    ASSERT_TRUE(song.setTitle(title));
    song.setTempo(tempo);
    ASSERT_TRUE(song.saveFile(path));
}

void execAll(const std::string& path, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    char* message = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &message), SQLITE_OK) << (message ? message : "");
    sqlite3_free(message);
    sqlite3_close(db);
}

std::vector<std::string> titlesOf(const std::vector<LibrarySong>& songs) {
    std::vector<std::string> titles;
    for (const auto& s : songs) titles.push_back(s.facts.titleText);
    return titles;
}

TEST(SongStore, AnEmptyDatabaseGetsTheWholeSchemaAndANewerOneIsRefused) {
    testing::TempFolder dir;
    {
        SqliteSongStore store(dir.file("new.db"), 10);
        ASSERT_TRUE(store.ok()) << store.error();
        EXPECT_EQ(store.schemaVersion(), kSongStoreSchema);
        const UploadAnswer stored = store.storeUpload("MThd", "Chimeline.mid");
        ASSERT_EQ(stored.outcome, UploadOutcome::Stored);
        EXPECT_EQ(store.upload(stored.key)->render, RenderState::Pending);
    }
    SqliteSongStore again(dir.file("new.db"), 10);  // opening once more migrates nothing
    ASSERT_TRUE(again.ok()) << again.error();
    EXPECT_EQ(again.uploadCount(), 1u);

    execAll(dir.file("future.db"), "CREATE TABLE x(y); PRAGMA user_version = 9;");
    SqliteSongStore future(dir.file("future.db"), 10);
    EXPECT_FALSE(future.ok());
    EXPECT_EQ(future.error(), "the database has schema 9, newer than this program's 2");
}

// A database of the first version, with a song and an upload in it, keeps both: the upload
// is sized and waits for its sound, the song is read again by the next import and then found.
TEST(SongStore, TheFirstVersionIsMigratedKeepingSongsAndUploads) {
    testing::TempFolder dir;
    const std::string path = dir.file("v1.db");
    fs::create_directory(dir.file("library"));
    writeSong(dir.file("library/noel.mwd"), "Noël", 90);
    execAll(path, kSongStoreSchemaVersion1);
    execAll(path,
            "INSERT INTO songs(name, stamp, title, music_key, tempo, bytes) VALUES ('noel.mwd', '1:2', 'Noël', 'C', 90, "
            "x'00');"
            "INSERT INTO uploads(key, name, bytes, created, delete_token) VALUES ('AbCdEfGhIjKl', 'Chimeline.mid', "
            "x'4D546864', 1700000000, 'TTTTTTTTTTTTTTTTTTTTTTTT');");

    SqliteSongStore store(path, 10);
    ASSERT_TRUE(store.ok()) << store.error();
    EXPECT_EQ(store.schemaVersion(), 2);
    const auto upload = store.upload("AbCdEfGhIjKl");
    ASSERT_TRUE(upload);
    EXPECT_EQ(upload->size, 4);
    EXPECT_EQ(upload->createdSeconds, 1700000000);
    EXPECT_EQ(store.uploadFile("AbCdEfGhIjKl")->bytes, "MThd");
    EXPECT_EQ(store.uploadsToRender(), std::vector<std::string>{"AbCdEfGhIjKl"});
    EXPECT_EQ(store.removeUpload("TTTTTTTTTTTTTTTTTTTTTTTT").outcome, UploadOutcome::Removed);

    const ImportCounts counts = importLibrary(fs::canonical(dir.file("library")).string(), store, nullptr);
    ASSERT_TRUE(counts.ok) << counts.error;
    EXPECT_EQ(counts.read, 1);  // its stamp was cleared by the migration
    EXPECT_EQ(titlesOf(store.search("noel")), std::vector<std::string>{"Noël"});
    const auto song = store.song("noel.mwd", true);
    ASSERT_TRUE(song);
    EXPECT_EQ(song->facts.meter, "3/4");
    EXPECT_EQ(song->bytes.size(), songdata::kFileSize);
}

TEST(SongStore, SearchIsByWordsWithCaseAndAccentsAside) {
    testing::TempFolder dir;
    const std::string library = dir.file("library");
    fs::create_directory(library);
    const std::vector<std::pair<std::string, std::string>> songs = {
        {"a.mwd", "Noël"},           {"b.mwd", "Silent Night"}, {"c.mwd", "Twinkle, Twinkle Little Star"},
        {"d.mwd", "ÇA PLANE"},       {"e.mwd", "Night & Day"},  {"f.mwd", utf8ToCp932("星に願いを")},
        {"g.mwd", "Say \"hi\", now"}};
    for (const auto& [name, title] : songs) writeSong(library + "/" + name, title, 100);
    SqliteSongStore store(dir.file("s.db"), 10);
    ASSERT_TRUE(importLibrary(fs::canonical(library).string(), store, nullptr).ok);

    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"noel", {"Noël"}},
        {"NOËL", {"Noël"}},
        {"NIGHT", {"Silent Night", "Night & Day"}},
        {"night silent", {"Silent Night"}},       // every word, in any order
        {"  silent   night ", {"Silent Night"}},
        {"twin", {"Twinkle, Twinkle Little Star"}},  // the start of a word
        {"ca plane", {"ÇA PLANE"}},
        {"星に願いを", {"星に願いを"}},
        {"noel night", {}},
        {"\"hi\"", {"Say \"hi\", now"}},
        {"NEAR(a b) OR *", {}},  // query syntax is only words
        {"e.mwd", {"Night & Day"}},  // the file name counts too
    };
    for (const auto& [words, titles] : cases) EXPECT_EQ(titlesOf(store.search(words)), titles) << words;
    EXPECT_EQ(store.search("").size(), songs.size());

    // A song changed on disk is found by its new title only, one gone is not found.
    writeSong(library + "/b.mwd", "Stille Nacht", 100);
    fs::remove(library + "/e.mwd");
    const ImportCounts counts = importLibrary(fs::canonical(library).string(), store, nullptr);
    EXPECT_EQ(counts.read, 1);
    EXPECT_EQ(counts.kept, 5);
    EXPECT_EQ(titlesOf(store.search("night")), std::vector<std::string>{});
    EXPECT_EQ(titlesOf(store.search("nacht")), std::vector<std::string>{"Stille Nacht"});
}

TEST(SongPages, HostileTitlesAndWordsAreEscapedEverywhere) {
    const std::vector<std::string> hostile = {"<script>alert(1)</script>", "\"><img src=x onerror=alert(1)>",
                                              "' onmouseover='x", "&lt;b&gt; & <b>bold</b>"};
    for (const auto& title : hostile) {
        UploadInfo upload;
        upload.key = "AbCdEfGhIjKl";
        upload.facts.titleText = title;
        upload.facts.key = title;
        upload.audioType = "audio/ogg";
        LibrarySong song;
        song.name = title + ".mwd";
        song.facts.titleText = title;
        song.facts.key = "C";
        for (const std::string& page :
             {uploadPage(upload), indexPage({song}, {"/music/song.php?fn=" + title}, title),
              songPage(song.facts, title, title, {title})}) {
            EXPECT_EQ(page.find(title), std::string::npos) << title << "\n" << page;
            EXPECT_NE(page.find(htmlEscaped(title)), std::string::npos) << title;
            EXPECT_EQ(page.find("<script"), std::string::npos);
            EXPECT_EQ(page.find("<img"), std::string::npos);
            EXPECT_EQ(page.find("<b>"), std::string::npos);
        }
    }
    EXPECT_EQ(htmlEscaped("<a href=\"x\">'&'</a>"), "&lt;a href=&quot;x&quot;&gt;&#39;&amp;&#39;&lt;/a&gt;");
}

TEST(UploadRender, KeyNamesFromSignatures) {
    const std::vector<std::tuple<int, int, std::string>> cases = {
        {0, 0, "C"}, {0, 1, "Am"}, {1, 0, "G"}, {-1, 0, "F"}, {-1, 1, "Dm"}, {6, 0, "F#"},
        {-7, 0, "Cb"}, {7, 1, "A#m"}, {8, 0, ""}, {-8, 1, ""}};
    for (const auto& [sharps, minor, name] : cases) EXPECT_EQ(keyNameOf(sharps, minor), name) << sharps << minor;
}

// A format 0 file with a title, tempo, meter and key of its own and a few notes.
std::string smallMidi(const std::string& title) {
    std::string track;
    auto meta = [&track](uint8_t type, const std::string& data) {
        track += std::string("\x00\xFF", 2) + static_cast<char>(type) + static_cast<char>(data.size()) + data;
    };
    meta(0x03, title);
    meta(0x51, std::string("\x07\xA1\x20", 3));  // 500,000 us: 120 BPM
    meta(0x58, std::string("\x03\x02\x18\x08", 4));
    meta(0x59, std::string("\x02\x00", 2));  // D major
    for (int n = 0; n < 8; ++n) {
        track += std::string("\x00\x90", 2) + static_cast<char>(60 + n) + "\x60";
        track += std::string("\x60\x80", 2) + static_cast<char>(60 + n) + std::string("\x00", 1);
    }
    track += std::string("\x00\xFF\x2F\x00", 4);
    std::string file = std::string("MThd\x00\x00\x00\x06\x00\x00\x00\x01\x00\x60", 14) + "MTrk";
    for (int shift = 24; shift >= 0; shift -= 8) file += static_cast<char>((track.size() >> shift) & 0xFF);
    return file + track;
}

// Against the server: an upload's page shows what its file says (escaped) and plays the sound
// made from it; the bare key's other forms and unknown keys are 404.
TEST(SongServerPages, AnUploadGetsAPageWithItsFactsAndSound) {
    ScopedCapture cap;
    testing::TempFolder dir;
    fs::create_directory(dir.file("library"));
    SongServerOptions options;
    options.libraryFolder = dir.file("library");
    options.uploadsFolder = dir.file("uploads");
    options.port = 0;
    options.log = [](const std::string&) {};
    SongServer server(options);
    std::string error;
    ASSERT_TRUE(server.bind(&error)) << error;
    server.start();
    const std::string base = "http://127.0.0.1:" + std::to_string(server.port());

    const std::string hostile = "<script>x</script> & Noël";
    const UploadAnswer stored = server.store().storeUpload(smallMidi(hostile), "Chimeline.mid");
    ASSERT_EQ(stored.outcome, UploadOutcome::Stored);
    CInternet net(kInternetBufferSize);
    ASSERT_EQ(net.getHtml(base + "/s/" + stored.key, 0), 1);
    server.waitForRenders();  // the first look may come before or after the sound
    ASSERT_EQ(net.getHtml(base + "/s/" + stored.key, 0), 1);
    const std::string page(net.body());
    EXPECT_EQ(net.header("Content-Security-Policy"), kPageSecurityPolicy);
    EXPECT_NE(page.find("<h1>&lt;script&gt;x&lt;/script&gt; &amp; Noël</h1>"), std::string::npos) << page;
    EXPECT_NE(page.find("<td>D</td>"), std::string::npos) << page;
    EXPECT_NE(page.find("<td>3/4</td>"), std::string::npos);
    EXPECT_NE(page.find("<td>120 BPM</td>"), std::string::npos);
    EXPECT_NE(page.find("href=\"" + stored.key + ".mid\""), std::string::npos);
    EXPECT_NE(page.find("Made with Tunecase"), std::string::npos);
    ASSERT_EQ(net.getHtml(base + "/s/" + stored.key + ".mid", 0), 1);
    EXPECT_EQ(std::string(net.body()), smallMidi(hostile));
    if (fs::exists(kServerSoundfont)) {
        EXPECT_NE(page.find("<audio controls"), std::string::npos) << page;
        CInternet audio(4 << 20);
        ASSERT_EQ(audio.getHtml(base + "/s/" + stored.key + ".ogg", 0), 1);
        EXPECT_EQ(audio.header("Content-Type"), "audio/ogg");
        EXPECT_EQ(std::string(audio.body().substr(0, 4)), "OggS");
    }
    for (const std::string& path : {"/s/" + stored.key + ".wav", std::string("/s/ABCDEFGHIJKL"),
                                    "/s/" + stored.key + "/x", std::string("/s/")}) {
        EXPECT_EQ(net.getHtml(base + path, 0), 0) << path;
        EXPECT_EQ(net.httpStatus(), 404) << path;
    }
}

// The real server process killed with SIGKILL while four clients upload: after a restart
// every answered upload is there byte for byte, every stored one is whole, and nothing but
// the database is left in its folder.
TEST(SongServerProcess, KillNineDuringUploadsLosesNothingAnswered) {
    testing::TempFolder dir;
    fs::create_directory(dir.file("library"));
    const std::string db = dir.file("state/tunecase.db");
    auto launch = [&](int& port) -> pid_t {
        int out[2];
        if (pipe(out) != 0) return -1;
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(out[1], 1);
            close(out[0]);
            const int err = ::open(dir.file("serve.err").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            dup2(err, 2);
            execl(TUNECASE_CLI, TUNECASE_CLI, "serve", "--library", dir.file("library").c_str(), "--db", db.c_str(),
                  "--port", "0", "--uploads-per-minute", "0", "--soundfont", "/nonexistent.sf2", nullptr);
            _exit(127);
        }
        close(out[1]);
        std::string line;
        char c;
        while (read(out[0], &c, 1) == 1 && c != '\n') line += c;
        close(out[0]);
        std::smatch m;
        port = std::regex_search(line, m, std::regex(R"(127\.0\.0\.1:(\d+))")) ? std::stoi(m[1]) : 0;
        return pid;
    };
    int port = 0;
    const pid_t first = launch(port);
    ASSERT_GT(port, 0) << [&] { const auto b = testing::readFileBytes(dir.file("serve.err")); return std::string(b.begin(), b.end()); }();

    std::mutex mutex;
    std::map<std::string, std::string> answered;  // key -> bytes
    std::vector<std::string> sent;
    std::atomic<bool> stop{false};
    std::vector<std::thread> clients;
    for (int c = 0; c < 4; ++c)
        clients.emplace_back([&, c] {
            ScopedCapture quiet;
            uint32_t state = 12345u + static_cast<uint32_t>(c);
            for (int i = 0; !stop; ++i) {
                std::string bytes = "client " + std::to_string(c) + " upload " + std::to_string(i) + " ";
                bytes.resize(bytes.size() + ((state = state * 1664525u + 1013904223u) >> 16) % 150000, 'x');
                for (auto& b : bytes) b = static_cast<char>(b ^ ((state = state * 1664525u + 1013904223u) >> 24));
                {
                    std::lock_guard lock(mutex);
                    sent.push_back(bytes);
                }
                CInternet net(kInternetBufferSize);
                net.setTimeouts(2000, 5000);
                const std::string body = "name=Chimeline.mid&data=" +
                                         base64(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
                if (net.postForm("http://127.0.0.1:" + std::to_string(port) + "/work/get_file.php", body,
                                 "application/x-www-form-urlencoded", 0) != 1)
                    continue;
                const std::string answer(net.body());
                std::lock_guard lock(mutex);
                answered[answer.substr(answer.find(',') + 1)] = bytes;
            }
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    kill(first, SIGKILL);
    int status = 0;
    waitpid(first, &status, 0);
    stop = true;
    for (auto& t : clients) t.join();
    ASSERT_GT(answered.size(), 10u);

    const pid_t second = launch(port);
    ASSERT_GT(port, 0) << [&] { const auto b = testing::readFileBytes(dir.file("serve.err")); return std::string(b.begin(), b.end()); }();
    for (const auto& [key, bytes] : answered) {
        CInternet net(1 << 20);
        ASSERT_EQ(net.getHtml("http://127.0.0.1:" + std::to_string(port) + "/s/" + key + ".mid", 0), 1) << key;
        EXPECT_EQ(std::string(net.body()), bytes) << key;
    }
    kill(second, SIGTERM);
    waitpid(second, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    SqliteSongStore store(db, 100000);
    ASSERT_TRUE(store.ok()) << store.error();
    const auto keys = store.uploadKeys();
    EXPECT_GE(keys.size(), answered.size());
    EXPECT_LE(keys.size(), answered.size() + 4);  // at most one committed, unanswered, per client
    for (const auto& key : keys) {
        const auto file = store.uploadFile(key);
        ASSERT_TRUE(file);
        EXPECT_NE(std::find(sent.begin(), sent.end(), file->bytes), sent.end()) << key << " is not whole";
        EXPECT_EQ(store.upload(key)->size, static_cast<int64_t>(file->bytes.size()));
    }
    for (const auto& e : fs::directory_iterator(dir.file("state"))) {
        const std::string name = e.path().filename().string();
        EXPECT_TRUE(name == "tunecase.db" || name == "tunecase.db-wal" || name == "tunecase.db-shm") << name;
    }
}

}  // namespace
}  // namespace tunecase
