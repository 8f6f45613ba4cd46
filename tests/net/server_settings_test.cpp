// The servers file: addresses a person writes, what is ignored and why, and where it lives.
#include <gtest/gtest.h>

#include <cstdlib>

#include "net/server_settings.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

TEST(ServerSettings, AddressesAsPeopleWriteThem) {
    const std::vector<std::pair<std::string, std::string>> good = {
        {"http://127.0.0.1:8391", "http://127.0.0.1:8391"},
        {" HTTP://Songs.Example.org/ ", "http://songs.example.org:80"},
        {"https://songs.example.org", "https://songs.example.org:443"},
        {"localhost:9000", "http://localhost:9000"},
        {"http://[::1]:8391", "http://[::1]:8391"},
    };
    for (const auto& [text, url] : good) {
        const auto a = parseServerAddress(text);
        ASSERT_TRUE(a) << text;
        EXPECT_EQ(a->url(), url);
    }
    for (const std::string text : {"ftp://h", "http://h:0", "http://h:65536", "http://h:80x", "http://h/music",
                                   "http://user@h", "http://", "http://h:", "http://[::1", "http://h h"})
        EXPECT_FALSE(parseServerAddress(text)) << text;
}

TEST(ServerSettings, TheFileOverridesTheDefaultsAndBadLinesAreNamed) {
    const ServerSettingsLoad none = parseServerSettings("");
    EXPECT_EQ(none.settings.songServer.url(), "http://127.0.0.1:8391");
    EXPECT_EQ(none.settings.uploadServer.url(), "http://127.0.0.1:8391");

    const ServerSettingsLoad load = parseServerSettings(
        "# ours\r\n"
        "song_server = http://10.0.0.5:8000\r\n"
        "upload_server=http://up.example:81\n"
        "\n"
        "song_server=gopher://x\n"
        "songserver=http://y\n"
        "just words\n");
    EXPECT_EQ(load.settings.songServer.url(), "http://10.0.0.5:8000");  // a bad line keeps what came before
    EXPECT_EQ(load.settings.uploadServer.url(), "http://up.example:81");
    EXPECT_EQ(load.ignored,
              (std::vector<std::string>{
                  "servers.conf line 5: the scheme is neither http nor https, ignored",
                  "servers.conf line 6: unknown name \"songserver\" (song_server or upload_server), ignored",
                  "servers.conf line 7: no \"name=address\", ignored"}));
}

TEST(ServerSettings, LivesInTheSettingsFolder) {
    testing::TempFolder home;
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);
    const std::string path = serverSettingsPath();
    EXPECT_EQ(path, home.file("TNC/servers.conf"));
    EXPECT_EQ(loadServerSettings().settings.songServer.port, kDefaultServerPort);  // no file: defaults
    std::filesystem::create_directories(home.file("TNC"));
    testing::writeFileText(path, "song_server=http://127.0.0.1:1234\n");
    EXPECT_EQ(loadServerSettings().settings.songServer.port, 1234);
    if (old)
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace tunecase
