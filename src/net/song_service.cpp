#include "net/song_service.h"

#include <sys/stat.h>

#include <filesystem>

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

// The path part of a request target, without the query.
std::string_view targetPath(std::string_view target) { return target.substr(0, target.find('?')); }

// The raw value of `name` in the target's query, percent-decoded ("+" stays "+").
std::optional<std::string> queryValue(std::string_view target, std::string_view name) {
    const size_t q = target.find('?');
    if (q == std::string::npos) return std::nullopt;
    const auto value = formValue(splitFormBody(target.substr(q + 1)), name);
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

HttpReply text(int status, std::string body) { return {status, kTextType, std::move(body)}; }

}  // namespace

SongService::SongService(std::string library, UploadStore& uploads, std::string fallbackHost,
                         std::function<void(const std::string&)> log)
    : library_(std::move(library)), uploads_(uploads), fallbackHost_(std::move(fallbackHost)), log_(std::move(log)) {}

void SongService::note(const std::string& line) const {
    if (log_) log_(line);
}

HttpReply SongService::answer(const HttpRequestView& request) {
    const std::string_view path = targetPath(request.target);
    const bool get = request.method == "GET" || request.method == "HEAD";
    if (get && path == kSongListPath) return list(request);
    if (get && path == "/music/music_get_file.php") return file(request);
    if (get && path == "/music/song.php") return page(request);
    if (request.method == "POST" && path == kUploadPath) return form(request);
    return text(404, "status 404\n");
}

std::optional<std::string> SongService::songPath(const std::string& name) const {
    if (!isPlainSongName(name)) return std::nullopt;
    std::error_code ec;
    const fs::path path = fs::path(library_) / name;
    if (!fs::is_regular_file(path, ec)) return std::nullopt;
    const fs::path real = fs::canonical(path, ec);
    if (ec || real.parent_path() != fs::path(library_)) return std::nullopt;  // a link out
    return path.string();
}

// Read once per version of the file. Nothing when the file has gone since it was found.
std::optional<SongService::Summary> SongService::summary(const std::string& name, const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    const std::string stamp = std::to_string(st.st_size) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
                              std::to_string(st.st_mtim.tv_nsec);
    {
        std::lock_guard lock(cacheMutex_);
        auto it = cache_.find(name);
        if (it != cache_.end() && it->second.first == stamp) return it->second.second;
    }
    Summary s;
    if (downloadableSize(static_cast<uintmax_t>(st.st_size))) {
        // One read, and the song taken from those bytes: the file may change or go meanwhile.
        std::vector<uint8_t> bytes(static_cast<size_t>(st.st_size));
        const int64_t got = readExact(path, bytes.data(), bytes.size());
        if (got < 0) return std::nullopt;
        if (static_cast<size_t>(got) == bytes.size()) {
            int measures = 4, beats = 4, key = 0, mode = 0;
            const auto song = CSongData::fromFileBytes(bytes.data(), bytes.size(), measures, beats, key, mode, path);
            s.offered = song && song->isLoaded();
            if (s.offered) {
                s.title = song->title();
                s.key = trimmedKeyName(song->keyName());
                s.tempo = song->tempo();
                for (const auto& line : song->lyricLines())
                    if (!line.empty()) s.lyrics.push_back(line);
            }
        }
    }
    if (!s.offered)
        note("library: " + loggable(name) + " is skipped: " + std::to_string(st.st_size) +
             " bytes is not the size of a song a client accepts");
    std::lock_guard lock(cacheMutex_);
    cache_[name] = {stamp, s};
    return s;
}

// The address of this server as the client reached it.
std::string SongService::baseUrl(const HttpRequestView& request) const {
    std::string host = request.host;
    bool sane = !host.empty() && host.size() <= 255;
    for (char c : host)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == ':' || c == '[' || c == ']'))
            sane = false;
    return "http://" + (sane ? host : fallbackHost_);
}

HttpReply SongService::list(const HttpRequestView& request) {
    const CDirectoryFileList files(library_, kLibraryPattern);
    std::vector<SongListRow> rows;
    const std::string base = baseUrl(request);
    for (const auto& name : files.names()) {
        const auto path = songPath(name);
        if (!path) continue;
        const auto s = summary(name, *path);
        if (!s || !s->offered) continue;
        SongListRow row;
        row.cells[kColumnTitle] = s->title;
        row.cells[kColumnKey] = s->key;
        row.cells[kColumnFileName] = name;
        row.cells[kColumnPageUrl] = base + kSongPagePath + percentEncode(name);
        row.cells[kColumnExtra] = std::to_string(s->tempo);
        bool fits = true;
        for (const auto& cell : row.cells) fits = fits && songListField(cell).size() <= kTableCellChars;
        if (!fits) {
            note("library: " + loggable(name) + " is skipped: its name is too long for the list");
            continue;
        }
        rows.push_back(std::move(row));
    }
    std::string listed = songListText(rows);
    if (listed.size() >= kSongListAnswerLimit)
        note("library: the list is " + std::to_string(listed.size()) + " bytes; clients read less than " +
             std::to_string(kSongListAnswerLimit));
    return text(200, std::move(listed));
}

// The song named by the request's "fn", or the refusal saying why not.
std::optional<std::string> SongService::requestedSong(const HttpRequestView& request, HttpReply& refusal) const {
    const auto name = queryValue(request.target, "fn");
    if (!name) {
        refusal = text(400, "give the song as fn=NAME\n");
        return std::nullopt;
    }
    if (!isPlainSongName(*name)) {
        refusal = text(403, "not a song of this library\n");
        return std::nullopt;
    }
    if (!songPath(*name)) {
        refusal = text(404, "no such song\n");
        return std::nullopt;
    }
    return *name;
}

HttpReply SongService::file(const HttpRequestView& request) {
    HttpReply reply;
    const auto name = requestedSong(request, reply);
    if (!name) return reply;
    // Looked up again: the song may have gone since requestedSong saw it.
    const auto path = songPath(*name);
    const int64_t size = path ? fileSize(*path) : -1;
    std::vector<uint8_t> bytes(size > 0 ? static_cast<size_t>(std::min<int64_t>(size, kLargeReadLimit)) : 0);
    const int64_t got = size < 0 ? -1 : readExact(*path, bytes.data(), bytes.size());
    if (got < 0) return text(404, "no such song\n");
    return {200, "application/octet-stream", std::string(reinterpret_cast<const char*>(bytes.data()),
                                                         static_cast<size_t>(got))};
}

HttpReply SongService::page(const HttpRequestView& request) {
    HttpReply reply;
    const auto name = requestedSong(request, reply);
    if (!name) return reply;
    const auto path = songPath(*name);
    const auto s = path ? summary(*name, *path) : std::nullopt;
    if (!s) return text(404, "no such song\n");  // deleted between the two looks
    const std::string title = htmlEscaped(displayText(s->title.empty() ? *name : s->title));
    std::string html = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">\n<title>" + title +
                       "</title>\n<style>body{font-family:sans-serif;margin:1.5em;line-height:1.5}"
                       "th{text-align:left;padding-right:1em}</style>\n</head><body>\n<h1>" + title +
                       "</h1>\n<table>\n";
    if (s->offered) {
        html += "<tr><th>Key</th><td>" + htmlEscaped(s->key) + "</td></tr>\n";
        html += "<tr><th>Tempo</th><td>" + std::to_string(s->tempo) + " BPM</td></tr>\n";
    }
    html += "<tr><th>File</th><td><a href=\"" + htmlEscaped(songFileRequest(*name)) + "\">" +
            htmlEscaped(displayText(*name)) + "</a></td></tr>\n</table>\n<h2>Lyrics</h2>\n";
    if (s->lyrics.empty()) {
        html += "<p>(none)</p>\n";
    } else {
        html += "<p>\n";
        for (const auto& line : s->lyrics) html += htmlEscaped(displayText(line)) + "<br>\n";
        html += "</p>\n";
    }
    html += "</body></html>\n";
    return {200, "text/html; charset=utf-8", html};
}

HttpReply SongService::form(const HttpRequestView& request) {
    const auto fields = splitFormBody(request.body);
    if (const auto key = formValue(fields, "del")) {
        const UploadAnswer removed = uploads_.remove(*key);
        if (removed.outcome == UploadOutcome::Failed) {
            note("uploads: " + removed.reason);
            return text(500, "the upload could not be deleted\n");
        }
        if (removed.outcome != UploadOutcome::Removed) return text(404, "no such key\n");
        if (!removed.reason.empty()) note("uploads: " + removed.reason);
        return text(200, "0," + *key);
    }
    const auto name = formValue(fields, "name");
    const auto data = formValue(fields, "data");
    if (!name || !data) return text(400, "give name=NAME&data=BASE64, or del=KEY\n");
    std::string extension = extensionLower(*name);
    bool plain = !extension.empty() && extension.size() <= 8;
    for (char c : extension) plain = plain && std::isalnum(static_cast<unsigned char>(c));
    if (!plain) return text(400, "the name needs an extension of letters and digits\n");
    // The base64 normally arrives as it is; a client that encoded it is understood too.
    std::string encoded = *data;
    if (encoded.find('%') != std::string::npos && !percentDecode(*data, encoded)) encoded.clear();
    const auto bytes = decodeBase64(encoded);
    if (!bytes || bytes->empty()) return text(400, "the data is not base64\n");
    const UploadAnswer stored = uploads_.store(*bytes, extension);
    switch (stored.outcome) {
        case UploadOutcome::Stored: return text(200, std::to_string(bytes->size()) + "," + stored.key);
        case UploadOutcome::Full: return text(507, "too many uploads are kept; delete some first\n");
        default:
            note("uploads: " + stored.reason);
            return text(500, "the upload could not be stored\n");
    }
}

}  // namespace tunecase
