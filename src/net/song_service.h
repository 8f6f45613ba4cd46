// What our song server answers: the song list and files of its library, a web page per song,
// the index page with search, the uploads kept under keys with a page and sound each.
// Requests come in as plain values (http_message.h), so the answers can be checked, and
// fuzzed, without a socket. Every answer says the server is ours (kOurServerHeader).
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "net/http_message.h"
#include "net/song_store.h"

namespace tunecase {

inline constexpr const char* kOurServerHeader = "X-Tunecase-Server";
inline constexpr const char* kUploadPageHeader = "X-Tunecase-Page";
inline constexpr const char* kDeleteTokenHeader = "X-Tunecase-Delete-Token";
inline constexpr const char* kUploadPagePath = "/s/";

struct SongServiceSettings final {
    // "http(s)://HOST[:PORT]" the pages are reached at; "" takes each request's Host header.
    std::string publicUrl;
    // "ADDRESS:PORT" for links when a request's Host header is unusable.
    std::string fallbackHost = "127.0.0.1:8391";
    // Uploads one client address may make per minute; 0: no limit.
    int uploadsPerMinute = 0;
};

class SongService final {
public:
    // `log` receives notes (may be empty); `uploaded` is told of every upload stored.
    SongService(SongStore& store, SongServiceSettings settings, std::function<void(const std::string&)> log,
                std::function<void()> uploaded = {});

    // Safe to call from several threads at once.
    HttpReply answer(const HttpRequestView& request);

private:
    std::string baseUrl(const HttpRequestView& request) const;
    HttpReply route(const HttpRequestView& request);
    HttpReply list(const HttpRequestView& request);
    HttpReply file(const HttpRequestView& request);
    HttpReply page(const HttpRequestView& request);
    HttpReply index(const HttpRequestView& request);
    HttpReply uploadAnswer(std::string_view rest);
    HttpReply form(const HttpRequestView& request);
    bool admitUpload(const std::string& client);
    std::optional<LibrarySong> requestedSong(const HttpRequestView& request, bool withBytes, HttpReply& refusal);
    void note(const std::string& line) const;

    SongStore& store_;
    SongServiceSettings settings_;
    std::function<void(const std::string&)> log_;
    std::function<void()> uploaded_;
    std::mutex rateMutex_;
    // client -> (start of its minute, uploads in it)
    std::map<std::string, std::pair<std::chrono::steady_clock::time_point, int>> rate_;
};

}  // namespace tunecase
