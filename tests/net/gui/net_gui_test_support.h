// The web windows' tests: our own song server in-process on a free port, serving songs made
// from the sample library's sheets, and a wait that keeps the window's thread running.
#pragma once

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/utilities.h"
#include "net/song_server.h"
#include "net/song_store.h"
#include "songs/song_sheet.h"
#include "support/qt_test_app.h"
#include "support/test_support.h"

namespace tunecase::testing {

// The program folder of the source tree: knowledge files and song sheets.
inline std::string programData() { return std::string(TUNECASE_TEST_DATA) + "/../../data"; }

// The song of the sample sheet `sheet` ("frere_jacques"), parsed by our sheet reader.
inline std::unique_ptr<CSongData> sheetSong(const std::string& sheet) {
    std::vector<uint8_t> text;
    readUpTo(programData() + "/songs/" + sheet + ".txt", text, kLargeReadLimit);
    std::vector<SheetError> errors;
    auto song = parseSongSheet(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()), errors);
    EXPECT_TRUE(song) << describeSheetErrors(sheet, errors);
    return song;
}


// Our song server on 127.0.0.1 over a library of sample songs and an uploads folder.
class LoopbackSongServer {
public:
    explicit LoopbackSongServer(const std::vector<std::string>& sheets) {
        std::filesystem::create_directories(library);
        for (const auto& sheet : sheets) {
            auto song = sheetSong(sheet);
            if (song) EXPECT_TRUE(song->saveFile(library + "/" + sheet + ".mwd"));
        }
        SongServerOptions options;
        options.libraryFolder = library;
        options.uploadsFolder = uploads;
        options.port = 0;
        options.log = [](const std::string&) {};
        server = std::make_unique<SongServer>(options);
        std::string error;
        EXPECT_TRUE(server->bind(&error)) << error;
        server->start();
    }
    ServerAddress address() const { return {"http", "127.0.0.1", server->port()}; }
    std::string url(const std::string& path) const { return address().url() + path; }
    std::vector<std::string> uploadedKeys() const { return server->store().uploadKeys(); }
    std::vector<uint8_t> uploadedBytes(const std::string& key) const {
        const auto blob = server->store().uploadFile(key);
        return blob ? std::vector<uint8_t>(blob->bytes.begin(), blob->bytes.end()) : std::vector<uint8_t>();
    }

    TempFolder root;
    const std::string library = root.file("library");
    const std::string uploads = root.file("uploads");
    std::unique_ptr<SongServer> server;
};

// A server that takes connections (the system's backlog does) and never answers.
class SilentServer {
public:
    SilentServer() {
        socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::bind(socket_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        EXPECT_EQ(::listen(socket_, 8), 0);
        socklen_t size = sizeof a;
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&a), &size);
        port_ = ntohs(a.sin_port);
    }
    ~SilentServer() { ::close(socket_); }
    ServerAddress address() const { return {"http", "127.0.0.1", port_}; }

private:
    int socket_ = -1;
    int port_ = 0;
};

}  // namespace tunecase::testing
