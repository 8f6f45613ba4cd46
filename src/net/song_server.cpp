#include "net/song_server.h"

#include <httplib.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <mutex>
#include <random>
#include <thread>

#include "base/text_codec.h"
#include "base/utilities.h"
#include "net/internet.h"
#include "net/song_list_table.h"
#include "net/upload_form.h"
#include "songs/directory_file_list.h"
#include "songs/library.h"
#include "songs/song_data.h"

namespace tunecase {

namespace fs = std::filesystem;

namespace {

constexpr const char* kTextType = "text/plain; charset=utf-8";
constexpr int kKeyLength = 12;
constexpr size_t kLoggedTargetChars = 300;

// What the list and the page say about one song, read once per version of its file.
struct SongSummary {
    bool offered = false;  // a size the client accepts
    std::string title;     // bytes as stored
    std::string key;
    int tempo = 0;
    std::vector<std::string> lyrics;
};

// Sizes a client takes as a downloaded song, and that fit its buffer.
bool downloadableSize(uintmax_t size) {
    return (size == songdata::kSize92492 || size >= songdata::kSize94540) &&
           size < static_cast<uintmax_t>(kInternetBufferSize);
}

std::string trimmedKeyName(std::string name) {
    while (!name.empty() && name.back() == ' ') name.pop_back();
    return name;
}

std::string htmlEscaped(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out.push_back(c);
        }
    }
    return out;
}

// Request text as it may go into a log line: printable ASCII, the rest as "?", cut short.
std::string loggable(std::string_view text) {
    std::string out;
    for (char c : text.substr(0, kLoggedTargetChars)) out.push_back(c >= 0x21 && c <= 0x7E ? c : '?');
    if (text.size() > kLoggedTargetChars) out += "...";
    return out;
}

// The raw value of `name` in the target's query, percent-decoded ("+" stays "+").
std::optional<std::string> queryValue(const std::string& target, std::string_view name) {
    const size_t q = target.find('?');
    if (q == std::string::npos) return std::nullopt;
    const auto value = formValue(splitFormBody(std::string_view(target).substr(q + 1)), name);
    std::string decoded;
    if (!value || !percentDecode(*value, decoded)) return std::nullopt;
    return decoded;
}

// A name that stays in the library folder: no separator, no "." or "..", no control bytes.
bool isPlainSongName(const std::string& name) {
    if (name.empty() || name.size() > 255 || name == "." || name == "..") return false;
    for (char c : name)
        if (c == '/' || static_cast<unsigned char>(c) < 0x20) return false;
    return fileNameMatches(kLibraryPattern, name);
}

}  // namespace

struct SongServer::Impl {
    SongServerOptions options;
    httplib::Server http;
    std::string library;  // canonical
    std::string uploads;
    bool temporaryUploads = false;
    int port = 0;
    std::thread thread;
    std::atomic<bool> serving{false};
    std::atomic<bool> stopRequested{false};

    std::mutex cacheMutex;
    std::map<std::string, std::pair<std::string, SongSummary>> cache;  // name -> (file stamp, summary)
    std::mutex uploadMutex;

    explicit Impl(SongServerOptions o) : options(std::move(o)) {}

    void log(const std::string& line) {
        if (options.log)
            options.log(line);
        else
            std::fprintf(stderr, "%s\n", line.c_str());
    }

    // The library file `name`, when it is a plain name of a file directly in the folder.
    std::optional<std::string> songPath(const std::string& name) {
        if (!isPlainSongName(name)) return std::nullopt;
        std::error_code ec;
        const fs::path path = fs::path(library) / name;
        if (!fs::is_regular_file(path, ec)) return std::nullopt;
        const fs::path real = fs::canonical(path, ec);
        if (ec || real.parent_path() != fs::path(library)) return std::nullopt;  // a link out
        return path.string();
    }

    SongSummary summary(const std::string& name, const std::string& path) {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) return {};
        const std::string stamp = std::to_string(st.st_size) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
                                  std::to_string(st.st_mtim.tv_nsec);
        {
            std::lock_guard lock(cacheMutex);
            auto it = cache.find(name);
            if (it != cache.end() && it->second.first == stamp) return it->second.second;
        }
        SongSummary s;
        s.offered = downloadableSize(static_cast<uintmax_t>(st.st_size));
        if (s.offered) {
            const auto song = CSongData::open(path);
            s.title = song->title();
            s.key = trimmedKeyName(song->keyName());
            s.tempo = song->tempo();
            for (const auto& line : song->lyricLines())
                if (!line.empty()) s.lyrics.push_back(line);
        } else {
            log("library: " + loggable(name) + " is skipped: " + std::to_string(st.st_size) +
                " bytes is not the size of a song a client accepts");
        }
        std::lock_guard lock(cacheMutex);
        cache[name] = {stamp, s};
        return s;
    }

    // The address of this server as the client reached it.
    std::string baseUrl(const httplib::Request& req) const {
        std::string host = req.get_header_value("Host");
        bool sane = !host.empty() && host.size() <= 255;
        for (char c : host)
            if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == ':' || c == '[' ||
                  c == ']'))
                sane = false;
        if (!sane) host = options.bindAddress + ":" + std::to_string(port);
        return "http://" + host;
    }

    void list(const httplib::Request& req, httplib::Response& res) {
        const CDirectoryFileList files(library, kLibraryPattern);
        std::vector<SongListRow> rows;
        const std::string base = baseUrl(req);
        for (const auto& name : files.names()) {
            const auto path = songPath(name);
            if (!path) continue;
            const SongSummary s = summary(name, *path);
            if (!s.offered) continue;
            SongListRow row;
            row.cells[kColumnTitle] = s.title;
            row.cells[kColumnKey] = s.key;
            row.cells[kColumnFileName] = name;
            row.cells[kColumnPageUrl] = base + kSongPagePath + percentEncode(name);
            row.cells[kColumnExtra] = std::to_string(s.tempo);
            bool fits = true;
            for (const auto& cell : row.cells) fits = fits && songListField(cell).size() <= kTableCellChars;
            if (!fits) {
                log("library: " + loggable(name) + " is skipped: its name is too long for the list");
                continue;
            }
            rows.push_back(std::move(row));
        }
        const std::string text = songListText(rows);
        if (text.size() >= static_cast<size_t>(kInternetBufferSize))
            log("library: the list is " + std::to_string(text.size()) + " bytes; clients read less than " +
                std::to_string(kInternetBufferSize));
        res.set_content(text, kTextType);
    }

    // The song named by the request's "fn", or an answer saying why not.
    std::optional<std::string> requestedSong(const httplib::Request& req, httplib::Response& res) {
        const auto name = queryValue(req.target, "fn");
        if (!name) {
            res.status = 400;
            res.set_content("give the song as fn=NAME\n", kTextType);
            return std::nullopt;
        }
        if (!isPlainSongName(*name)) {
            res.status = 403;
            res.set_content("not a song of this library\n", kTextType);
            return std::nullopt;
        }
        const auto path = songPath(*name);
        if (!path) {
            res.status = 404;
            res.set_content("no such song\n", kTextType);
            return std::nullopt;
        }
        return *name;
    }

    void file(const httplib::Request& req, httplib::Response& res) {
        const auto name = requestedSong(req, res);
        if (!name) return;
        const auto path = songPath(*name);
        const int64_t size = path ? fileSize(*path) : -1;
        std::vector<uint8_t> bytes(size > 0 ? static_cast<size_t>(std::min<int64_t>(size, kLargeReadLimit)) : 0);
        const int64_t got = size < 0 ? -1 : readExact(*path, bytes.data(), bytes.size());
        if (got < 0) {
            res.status = 404;
            res.set_content("no such song\n", kTextType);
            return;
        }
        res.set_content(reinterpret_cast<const char*>(bytes.data()), static_cast<size_t>(got),
                        "application/octet-stream");
    }

    void page(const httplib::Request& req, httplib::Response& res) {
        const auto name = requestedSong(req, res);
        if (!name) return;
        const SongSummary s = summary(*name, *songPath(*name));
        const std::string title = htmlEscaped(displayText(s.title.empty() ? *name : s.title));
        std::string html = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">\n<title>" + title +
                           "</title>\n<style>body{font-family:sans-serif;margin:1.5em;line-height:1.5}"
                           "th{text-align:left;padding-right:1em}</style>\n</head><body>\n<h1>" + title +
                           "</h1>\n<table>\n";
        if (s.offered) {
            html += "<tr><th>Key</th><td>" + htmlEscaped(s.key) + "</td></tr>\n";
            html += "<tr><th>Tempo</th><td>" + std::to_string(s.tempo) + " BPM</td></tr>\n";
        }
        html += "<tr><th>File</th><td><a href=\"" + htmlEscaped(songFileRequest(*name)) + "\">" +
                htmlEscaped(displayText(*name)) + "</a></td></tr>\n</table>\n<h2>Lyrics</h2>\n";
        if (s.lyrics.empty()) {
            html += "<p>(none)</p>\n";
        } else {
            html += "<p>\n";
            for (const auto& line : s.lyrics) html += htmlEscaped(displayText(line)) + "<br>\n";
            html += "</p>\n";
        }
        html += "</body></html>\n";
        res.set_content(html, "text/html; charset=utf-8");
    }

    void form(const httplib::Request& req, httplib::Response& res) {
        const auto fields = splitFormBody(req.body);
        if (const auto key = formValue(fields, "del")) {
            remove(*key, res);
            return;
        }
        const auto name = formValue(fields, "name");
        const auto data = formValue(fields, "data");
        if (!name || !data) {
            res.status = 400;
            res.set_content("give name=NAME&data=BASE64, or del=KEY\n", kTextType);
            return;
        }
        std::string extension = extensionLower(*name);
        bool plain = !extension.empty() && extension.size() <= 8;
        for (char c : extension) plain = plain && std::isalnum(static_cast<unsigned char>(c));
        if (!plain) {
            res.status = 400;
            res.set_content("the name needs an extension of letters and digits\n", kTextType);
            return;
        }
        // The base64 normally arrives as it is; a client that encoded it is understood too.
        std::string text = *data;
        if (text.find('%') != std::string::npos && !percentDecode(*data, text)) text.clear();
        const auto bytes = decodeBase64(text);
        if (!bytes || bytes->empty()) {
            res.status = 400;
            res.set_content("the data is not base64\n", kTextType);
            return;
        }
        store(*bytes, extension, res);
    }

    // The stored upload of `key`, if there is one.
    std::optional<fs::path> uploadOf(const std::string& key) {
        if (!isUploadKey(key)) return std::nullopt;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(uploads, ec))
            if (entry.path().stem() == key && entry.is_regular_file(ec)) return entry.path();
        return std::nullopt;
    }

    void store(const std::vector<uint8_t>& bytes, const std::string& extension, httplib::Response& res) {
        std::lock_guard lock(uploadMutex);
        std::error_code ec;
        size_t count = 0;
        for (auto it = fs::directory_iterator(uploads, ec); !ec && it != fs::directory_iterator(); it.increment(ec))
            ++count;
        if (count >= options.uploadLimit) {
            res.status = 507;
            res.set_content("too many uploads are kept; delete some first\n", kTextType);
            return;
        }
        static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
        std::random_device random;
        std::uniform_int_distribution<int> pick(0, 61);
        std::string key;
        do {
            key.clear();
            for (int i = 0; i < kKeyLength; ++i) key.push_back(alphabet[pick(random)]);
        } while (uploadOf(key));
        const std::string path = joinPath(uploads, key + "." + extension);
        std::string reason;
        if (!writeWhole(path, bytes.data(), bytes.size(), &reason)) {
            log("uploads: " + reason);
            res.status = 500;
            res.set_content("the upload could not be stored\n", kTextType);
            return;
        }
        res.set_content(std::to_string(bytes.size()) + "," + key, kTextType);
    }

    void remove(const std::string& key, httplib::Response& res) {
        std::lock_guard lock(uploadMutex);
        const auto path = uploadOf(key);
        std::error_code ec;
        if (!path || !fs::remove(*path, ec)) {
            res.status = 404;
            res.set_content("no such key\n", kTextType);
            return;
        }
        res.set_content("0," + key, kTextType);
    }

    void logRequest(const httplib::Request& req, const httplib::Response& res) {
        char when[32];
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &local);
        log(std::string(when) + " " + loggable(req.remote_addr) + " " + loggable(req.method) + " " +
            loggable(req.target) + " " + std::to_string(res.status) + " " + std::to_string(res.body.size()));
    }
};

SongServer::SongServer(SongServerOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}

SongServer::~SongServer() {
    stop();
    if (impl_->thread.joinable()) impl_->thread.join();
    if (impl_->temporaryUploads) {
        std::error_code ec;
        fs::remove_all(impl_->uploads, ec);
    }
}

bool SongServer::bind(std::string* error) {
    Impl& m = *impl_;
    auto failWith = [error](std::string why) {
        if (error) *error = std::move(why);
        return false;
    };
    std::error_code ec;
    if (!fs::is_directory(m.options.libraryFolder, ec))
        return failWith("the library folder " + m.options.libraryFolder + " does not exist");
    m.library = fs::canonical(m.options.libraryFolder, ec).string();
    if (ec) return failWith("the library folder " + m.options.libraryFolder + ": " + ec.message());
    if (m.options.uploadsFolder.empty()) {
        std::string pattern = (fs::temp_directory_path(ec) / "tunecase-uploads-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) return failWith("no temporary folder for the uploads");
        m.uploads = pattern;
        m.temporaryUploads = true;
    } else {
        m.uploads = m.options.uploadsFolder;
        if (!makeFolders(m.uploads) || !fs::is_directory(m.uploads, ec))
            return failWith("the uploads folder " + m.uploads + " cannot be made");
    }

    auto& http = m.http;
    http.set_payload_max_length(m.options.bodyLimit);
    http.set_read_timeout(5, 0);
    http.set_write_timeout(5, 0);
    http.set_keep_alive_timeout(5);
    http.Get(kSongListPath, [&m](const httplib::Request& req, httplib::Response& res) { m.list(req, res); });
    http.Get("/music/music_get_file.php",
             [&m](const httplib::Request& req, httplib::Response& res) { m.file(req, res); });
    http.Get("/music/song.php", [&m](const httplib::Request& req, httplib::Response& res) { m.page(req, res); });
    http.Post(kUploadPath, [&m](const httplib::Request& req, httplib::Response& res) { m.form(req, res); });
    http.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty()) res.set_content("status " + std::to_string(res.status) + "\n", kTextType);
    });
    http.set_exception_handler([&m](const httplib::Request&, httplib::Response& res, std::exception_ptr e) {
        try {
            if (e) std::rethrow_exception(e);
        } catch (const std::exception& x) {
            m.log(std::string("error: ") + x.what());
        } catch (...) {
            m.log("error: an unknown exception");
        }
        res.status = 500;
        res.set_content("the server failed\n", kTextType);
    });
    http.set_logger([&m](const httplib::Request& req, const httplib::Response& res) { m.logRequest(req, res); });

    const std::string where = m.options.bindAddress + ":" + std::to_string(m.options.port);
    if (m.options.port == 0) {
        m.port = http.bind_to_any_port(m.options.bindAddress);
        if (m.port <= 0) {
            m.port = 0;
            return failWith("cannot listen on " + m.options.bindAddress + " (not an address of this computer?)");
        }
    } else {
        if (!http.bind_to_port(m.options.bindAddress, m.options.port))
            return failWith("cannot listen on " + where + " (in use, or not an address of this computer)");
        m.port = m.options.port;
    }
    return true;
}

int SongServer::port() const { return impl_->port; }

const std::string& SongServer::uploadsFolder() const { return impl_->uploads; }

void SongServer::serve() {
    // Marked as serving before the stop flag is looked at, so a stop() racing with this
    // either sees serving and waits for the listener, or is seen here.
    impl_->serving = true;
    if (!impl_->stopRequested) impl_->http.listen_after_bind();
    impl_->serving = false;
}

void SongServer::start() {
    if (impl_->thread.joinable()) return;
    impl_->thread = std::thread([this] { serve(); });
}

void SongServer::stop() {
    impl_->stopRequested = true;
    while (impl_->serving && !impl_->http.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    impl_->http.stop();
}

}  // namespace tunecase
