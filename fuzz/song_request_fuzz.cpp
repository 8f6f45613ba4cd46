// Arbitrary bytes as a request to our song server: read by the same HTTP parser the server
// reads with, then answered by its routes over a library of one song and a store in a
// database. Every answer must be one the routes give, and uploads made are deleted with their
// keys.
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "base/reporter.h"
#include "net/song_service.h"
#include "net/library_import.h"
#include "net/song_store.h"
#include "songs/song_data.h"

using namespace tunecase;
namespace http = boost::beast::http;

namespace {

struct Served {
    std::string root;
    std::unique_ptr<SqliteSongStore> uploads;
    std::unique_ptr<SongService> service;

    Served() {
        std::string pattern = (std::filesystem::temp_directory_path() / "song-request-fuzz-XXXXXX").string();
        root = ::mkdtemp(pattern.data());
        std::filesystem::create_directory(root + "/library");
        std::filesystem::create_directory(root + "/uploads");
        CSongData song;
        song.setTitle("Fuzz & <song>");
        song.saveFile(root + "/library/one.mwd");
        uploads = std::make_unique<SqliteSongStore>(root + "/uploads/fuzz.db", 4);
        importLibrary(std::filesystem::canonical(root + "/library").string(), *uploads, nullptr);
        service = std::make_unique<SongService>(*uploads, SongServiceSettings{}, nullptr);
    }
    ~Served() {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SilentSink sink;
    setReportSink(&sink);
    static Served served;

    http::request_parser<http::string_body> parser;
    parser.eager(true);
    parser.header_limit(16 << 10);
    parser.body_limit(1 << 20);
    boost::beast::error_code ec;
    size_t at = 0;
    while (at < size && !parser.is_done()) {
        const size_t used = parser.put(boost::asio::buffer(data + at, size - at), ec);
        if (ec) break;
        at += used;
        if (used == 0) break;
    }
    if (!ec && !parser.is_done()) parser.put_eof(ec);
    if (ec || !parser.is_done()) return 0;

    const auto& request = parser.get();
    HttpRequestView view{std::string(request.method_string()), std::string(request.target()),
                         std::string(request[http::field::host]), request.body()};
    const HttpReply reply = served.service->answer(view);
    switch (reply.status) {
        case 200: case 400: case 403: case 404: case 429: case 500: case 507: break;
        default: __builtin_trap();
    }
    if (served.uploads->uploadCount() > 4) __builtin_trap();
    bool ours = false;
    for (const auto& [name, value] : reply.headers) ours = ours || (name == kOurServerHeader && value == "1");
    if (!ours) __builtin_trap();
    // Keep the folder small: what was stored goes again under the key the answer gave.
    const size_t comma = reply.body.find(',');
    if (reply.status == 200 && view.method == "POST" && comma != std::string::npos && reply.body[0] != '0')
        if (served.uploads->removeUpload(reply.body.substr(comma + 1)).outcome != UploadOutcome::Removed) __builtin_trap();
    return 0;
}
