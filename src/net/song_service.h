// What our song server answers: the song list and files of a library folder, a web page per
// song, and the uploads kept under keys. Requests come in as plain values (http_message.h),
// so the answers can be checked, and fuzzed, without a socket.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "net/http_message.h"
#include "net/upload_store.h"

namespace tunecase {

class SongService final {
public:
    // `library`: the canonical path of the folder whose ".mwd" files are offered.
    // `fallbackHost`: "ADDRESS:PORT" for links when a request's Host header is unusable.
    // `log` receives notes about skipped songs (may be empty).
    SongService(std::string library, UploadStore& uploads, std::string fallbackHost,
                std::function<void(const std::string&)> log);

    // Safe to call from several threads at once.
    HttpReply answer(const HttpRequestView& request);

private:
    struct Summary {
        bool offered = false;  // a size the client accepts, and it reads as song data
        std::string title;     // bytes as stored
        std::string key;
        int tempo = 0;
        std::vector<std::string> lyrics;
    };

    std::optional<std::string> songPath(const std::string& name) const;
    std::optional<Summary> summary(const std::string& name, const std::string& path);
    std::string baseUrl(const HttpRequestView& request) const;
    HttpReply list(const HttpRequestView& request);
    HttpReply file(const HttpRequestView& request);
    HttpReply page(const HttpRequestView& request);
    HttpReply form(const HttpRequestView& request);
    std::optional<std::string> requestedSong(const HttpRequestView& request, HttpReply& refusal) const;
    void note(const std::string& line) const;

    std::string library_;
    UploadStore& uploads_;
    std::string fallbackHost_;
    std::function<void(const std::string&)> log_;
    std::mutex cacheMutex_;
    std::map<std::string, std::pair<std::string, Summary>> cache_;  // name -> (file stamp, summary)
};

}  // namespace tunecase
