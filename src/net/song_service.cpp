#include "net/song_service.h"

#include "base/text_codec.h"
#include "base/utilities.h"
#include "net/internet.h"
#include "net/song_list_table.h"
#include "net/song_pages.h"
#include "net/upload_form.h"
#include "songs/directory_file_list.h"
#include "songs/library.h"
#include "songs/song_data.h"

namespace tunecase {

namespace {

constexpr const char* kTextType = "text/plain; charset=utf-8";
constexpr const char* kHtmlType = "text/html; charset=utf-8";
constexpr size_t kLongestSearch = 200;

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

// A search form sends blanks as "+".
std::string searchWords(std::string_view target) {
    auto value = queryValue(target, "q").value_or("");
    for (char& c : value)
        if (c == '+' || static_cast<unsigned char>(c) < 0x20) c = ' ';
    if (value.size() > kLongestSearch) value.resize(kLongestSearch);
    return value;
}

// A name that stays in the library folder: no separator, no "." or "..", no control bytes.
bool isPlainSongName(const std::string& name) {
    if (name.empty() || name.size() > 255 || name == "." || name == "..") return false;
    for (char c : name)
        if (c == '/' || static_cast<unsigned char>(c) < 0x20) return false;
    return fileNameMatches(kLibraryPattern, name);
}

HttpReply text(int status, std::string body) { return {status, kTextType, std::move(body), {}}; }

HttpReply html(int status, std::string body) {
    return {status, kHtmlType, std::move(body), {{"Content-Security-Policy", kPageSecurityPolicy}}};
}

}  // namespace

SongService::SongService(SongStore& store, SongServiceSettings settings, std::function<void(const std::string&)> log,
                         std::function<void()> uploaded)
    : store_(store), settings_(std::move(settings)), log_(std::move(log)), uploaded_(std::move(uploaded)) {}

void SongService::note(const std::string& line) const {
    if (log_) log_(line);
}

HttpReply SongService::answer(const HttpRequestView& request) {
    HttpReply reply = route(request);
    reply.headers.emplace_back(kOurServerHeader, "1");
    reply.headers.emplace_back("X-Content-Type-Options", "nosniff");
    return reply;
}

HttpReply SongService::route(const HttpRequestView& request) {
    const std::string_view path = targetPath(request.target);
    const bool get = request.method == "GET" || request.method == "HEAD";
    if (get && path == kSongListPath) return list(request);
    if (get && path == "/music/music_get_file.php") return file(request);
    if (get && path == "/music/song.php") return page(request);
    if (get && path == "/") return index(request);
    if (get && path.substr(0, 3) == kUploadPagePath) return uploadAnswer(path.substr(3));
    if (request.method == "POST" && path == kUploadPath) return form(request);
    return text(404, "status 404\n");
}

// The address of this server as the pages are reached: the public address when one is set,
// else as the client reached it.
std::string SongService::baseUrl(const HttpRequestView& request) const {
    if (!settings_.publicUrl.empty()) return settings_.publicUrl;
    const std::string& host = request.host;
    bool sane = !host.empty() && host.size() <= 255;
    for (char c : host)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == ':' || c == '[' || c == ']'))
            sane = false;
    return "http://" + (sane ? host : settings_.fallbackHost);
}

HttpReply SongService::list(const HttpRequestView& request) {
    const std::string words = searchWords(request.target);
    const auto songs = words.empty() ? store_.songs(false) : store_.search(words);
    std::vector<SongListRow> rows;
    const std::string base = baseUrl(request);
    for (const auto& song : songs) {
        SongListRow row;
        row.cells[kColumnTitle] = song.facts.title;
        row.cells[kColumnKey] = song.facts.key;
        row.cells[kColumnFileName] = song.name;
        row.cells[kColumnPageUrl] = base + kSongPagePath + percentEncode(song.name);
        row.cells[kColumnExtra] = std::to_string(song.facts.tempo);
        bool fits = true;
        for (const auto& cell : row.cells) fits = fits && songListField(cell).size() <= kTableCellChars;
        if (!fits) {
            note("library: " + loggable(song.name) + " is skipped: its name is too long for the list");
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
std::optional<LibrarySong> SongService::requestedSong(const HttpRequestView& request, bool withBytes,
                                                      HttpReply& refusal) {
    const auto name = queryValue(request.target, "fn");
    if (!name) {
        refusal = text(400, "give the song as fn=NAME\n");
        return std::nullopt;
    }
    if (!isPlainSongName(*name)) {
        refusal = text(403, "not a song of this library\n");
        return std::nullopt;
    }
    auto song = store_.song(*name, withBytes);
    if (!song) refusal = text(404, "no such song\n");
    return song;
}

HttpReply SongService::file(const HttpRequestView& request) {
    HttpReply reply;
    auto song = requestedSong(request, true, reply);
    if (!song) return reply;
    return {200, "application/octet-stream", std::move(song->bytes), {}};
}

HttpReply SongService::page(const HttpRequestView& request) {
    HttpReply reply;
    const auto song = requestedSong(request, true, reply);
    if (!song) return reply;
    std::vector<std::string> lyrics;
    int measures = 4, beats = 4, key = 0, mode = 0;
    const auto read = CSongData::fromFileBytes(reinterpret_cast<const uint8_t*>(song->bytes.data()), song->bytes.size(),
                                               measures, beats, key, mode, song->name);
    if (read && read->isLoaded())
        for (const auto& line : read->lyricLines())
            if (!line.empty()) lyrics.push_back(displayText(line));
    return html(200, songPage(song->facts, displayText(song->name), songFileRequest(song->name), lyrics));
}

HttpReply SongService::index(const HttpRequestView& request) {
    const std::string words = searchWords(request.target);
    const auto songs = words.empty() ? store_.songs(false) : store_.search(words);
    std::vector<std::string> links;
    for (const auto& song : songs) links.push_back(kSongPagePath + percentEncode(song.name));
    return html(200, indexPage(songs, links, words));
}

// "/s/KEY" the page, "/s/KEY.ogg" its sound, "/s/KEY.mid" the file.
HttpReply SongService::uploadAnswer(std::string_view rest) {
    const size_t dot = rest.find('.');
    const std::string key(rest.substr(0, dot));
    const std::string_view kind = dot == std::string_view::npos ? "" : rest.substr(dot + 1);
    if (!isStoredUploadKey(key) || (kind != "" && kind != "ogg" && kind != "mid")) return html(404, notFoundPage());
    if (kind == "mid" || kind == "ogg") {
        auto blob = kind == "mid" ? store_.uploadFile(key) : store_.uploadAudio(key);
        if (!blob) return text(404, "no such song\n");
        return {200, blob->type, std::move(blob->bytes), {{"Cache-Control", "public, max-age=86400"}}};
    }
    const auto upload = store_.upload(key);
    if (!upload) return html(404, notFoundPage());
    return html(200, uploadPage(*upload));
}

bool SongService::admitUpload(const std::string& client) {
    if (settings_.uploadsPerMinute <= 0) return true;
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard lock(rateMutex_);
    if (rate_.size() > 10000)
        std::erase_if(rate_, [now](const auto& e) { return now - e.second.first > std::chrono::minutes(1); });
    auto& [start, count] = rate_[client];
    if (now - start > std::chrono::minutes(1)) {
        start = now;
        count = 0;
    }
    return ++count <= settings_.uploadsPerMinute;
}

HttpReply SongService::form(const HttpRequestView& request) {
    const auto fields = splitFormBody(request.body);
    const auto key = formValue(fields, "del");
    const auto token = formValue(fields, "token");
    if (key || token) {
        const UploadAnswer removed = store_.removeUpload(key ? *key : *token);
        if (removed.outcome == UploadOutcome::Failed) {
            note("uploads: " + removed.reason);
            return text(500, "the upload could not be deleted\n");
        }
        if (removed.outcome != UploadOutcome::Removed) return text(404, "no such key\n");
        return text(200, "0," + removed.key);
    }
    const auto name = formValue(fields, "name");
    const auto data = formValue(fields, "data");
    if (!name || !data) return text(400, "give name=NAME&data=BASE64, or del=KEY\n");
    std::string extension = extensionLower(*name);
    if (!isUploadExtension(extension)) return text(400, "the name needs an extension of letters and digits\n");
    // The base64 normally arrives as it is; a client that encoded it is understood too.
    std::string encoded = *data;
    if (encoded.find('%') != std::string::npos && !percentDecode(*data, encoded)) encoded.clear();
    const auto bytes = decodeBase64(encoded);
    if (!bytes || bytes->empty()) return text(400, "the data is not base64\n");
    if (!admitUpload(request.client)) return text(429, "too many uploads from this address; wait a minute\n");
    const UploadAnswer stored =
        store_.storeUpload(std::string(bytes->begin(), bytes->end()), loggable(name->substr(0, 64)));
    switch (stored.outcome) {
        case UploadOutcome::Stored: {
            if (uploaded_) uploaded_();
            HttpReply reply = text(200, std::to_string(bytes->size()) + "," + stored.key);
            reply.headers.emplace_back(kUploadPageHeader, baseUrl(request) + kUploadPagePath + stored.key);
            reply.headers.emplace_back(kDeleteTokenHeader, stored.deleteToken);
            return reply;
        }
        case UploadOutcome::Full: return text(507, "too many uploads are kept; delete some first\n");
        default:
            note("uploads: " + stored.reason);
            return text(500, "the upload could not be stored\n");
    }
}

}  // namespace tunecase
