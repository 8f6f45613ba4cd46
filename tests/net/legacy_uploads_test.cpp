// A server started on a folder where the earlier version kept its uploads: every upload its
// index lists comes back under its own key, nothing else comes in, a second start adds nothing.
#include <gtest/gtest.h>

#include <utime.h>

#include <algorithm>
#include <filesystem>
#include <mutex>

#include "base/reporter.h"
#include "net/internet.h"
#include "net/legacy_uploads.h"
#include "net/song_server.h"
#include "net/song_store.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

namespace fs = std::filesystem;

TEST(LegacyUploads, ListedUploadsKeepTheirKeysOnceAndNothingElseComesIn) {
    ScopedCapture cap;
    testing::TempFolder dir;
    const std::string uploads = dir.file("uploads"), index = uploads + "/" + kLegacyUploadIndexName;
    fs::create_directory(dir.file("library"));
    fs::create_directory(uploads);
    constexpr size_t kBodyLimit = 4096;
    struct Case {
        std::string key, file, bytes;  // no bytes: no file
        bool listed, imported;
    } const cases[] = {
        {"AAAAAAAAAAAA", "AAAAAAAAAAAA.mid", std::string("MThd\0\0\0\6\0\0\0\1\0\x60", 14), true, true},
        {"Bb0Bb0Bb0Bb0", "Bb0Bb0Bb0Bb0.mwd", std::string("\0\xFF\r\n binary", 11), true, true},
        {"CCCCCCCCCCCC", "CCCCCCCCCCCC.mid", "", true, false},
        {"DDDDDDDDDDDD", "DDDDDDDDDDDD.mid", std::string(kBodyLimit + 1, 'x'), true, false},
        {"EEEEEEEEEEEE", "EEEEEEEEEEEE.mid", "never listed", false, false},
    };
    std::string lines = "not a line\nFFFFFFFFFFFF GGGGGGGGGGGG.mid\nHHHHHHHHHHHH HHHHHHHHHHHH./x\n\n";
    const utimbuf when{1500000000, 1500000000};
    for (const Case& c : cases) {
        if (c.listed) lines += c.key + " " + c.file + "\n";
        if (c.bytes.empty()) continue;
        testing::writeFileText(uploads + "/" + c.file, c.bytes);
        ASSERT_EQ(::utime((uploads + "/" + c.file).c_str(), &when), 0);
    }
    testing::writeFileText(index, lines);

    std::vector<std::string> log;
    std::mutex logMutex;
    auto startAndCheck = [&] {
        SongServerOptions options;
        options.libraryFolder = dir.file("library");
        options.uploadsFolder = uploads;
        options.port = 0;
        options.bodyLimit = kBodyLimit;
        options.soundfont = "";
        options.log = [&](const std::string& line) {
            std::lock_guard lock(logMutex);
            log.push_back(line);
        };
        SongServer server(options);
        std::string error;
        ASSERT_TRUE(server.bind(&error)) << error;
        server.start();
        server.waitForRenders();
        EXPECT_EQ(server.store().uploadCount(), 2u);
        CInternet net(kInternetBufferSize);
        for (const Case& c : cases) {
            const std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/s/" + c.key + ".mid";
            EXPECT_EQ(net.getHtml(url, 0), c.imported ? 1 : 0) << c.key;
            const auto info = server.store().upload(c.key);
            if (!c.imported || !info) continue;
            EXPECT_EQ(std::string(net.body()), c.bytes) << c.key;
            EXPECT_EQ(info->name, c.file);
            EXPECT_EQ(info->createdSeconds, 1500000000);
            EXPECT_NE(info->render, RenderState::Pending) << "the renderer took it up";
        }
        EXPECT_FALSE(fs::exists(index));
        EXPECT_TRUE(fs::exists(uploads + "/" + kLegacyUploadIndexImported));
    };
    auto logged = [&](const std::string& line) { return std::count(log.begin(), log.end(), line); };

    startAndCheck();
    EXPECT_EQ(logged("uploads: imported 2 uploads kept by an earlier version"), 1);
    EXPECT_TRUE(fs::exists(uploads + "/AAAAAAAAAAAA.mid")) << "the loose files stay";

    // The index back in place and a file changed meanwhile: the store keeps what it has.
    fs::copy_file(uploads + "/" + kLegacyUploadIndexImported, index);
    testing::writeFileText(uploads + "/AAAAAAAAAAAA.mid", "changed");
    startAndCheck();
    EXPECT_EQ(logged("uploads: imported 0 uploads kept by an earlier version"), 1);
}

}  // namespace
}  // namespace tunecase
