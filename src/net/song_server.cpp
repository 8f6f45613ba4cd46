#include "net/song_server.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "base/utilities.h"
#include "net/song_service.h"
#include "net/upload_store.h"

namespace tunecase {

namespace fs = std::filesystem;

struct SongServer::Impl {
    SongServerOptions options;
    std::string uploadsFolder;
    bool temporaryUploads = false;
    std::unique_ptr<UploadStore> uploads;
    std::unique_ptr<SongService> service;
    std::unique_ptr<HttpListener> listener;
    std::thread thread;

    explicit Impl(SongServerOptions o) : options(std::move(o)) {}

    void log(const std::string& line) const {
        if (options.log)
            options.log(line);
        else
            std::fprintf(stderr, "%s\n", line.c_str());
    }
};

SongServer::SongServer(SongServerOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}

SongServer::~SongServer() {
    stop();
    if (impl_->thread.joinable()) impl_->thread.join();
    impl_->listener.reset();
    if (impl_->temporaryUploads) {
        std::error_code ec;
        fs::remove_all(impl_->uploadsFolder, ec);
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
    const std::string library = fs::canonical(m.options.libraryFolder, ec).string();
    if (ec) return failWith("the library folder " + m.options.libraryFolder + ": " + ec.message());
    if (m.options.uploadsFolder.empty()) {
        std::string pattern = (fs::temp_directory_path(ec) / "tunecase-uploads-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) return failWith("no temporary folder for the uploads");
        m.uploadsFolder = pattern;
        m.temporaryUploads = true;
    } else {
        m.uploadsFolder = m.options.uploadsFolder;
        if (!makeFolders(m.uploadsFolder) || !fs::is_directory(m.uploadsFolder, ec))
            return failWith("the uploads folder " + m.uploadsFolder + " cannot be made");
    }

    HttpListenerLimits limits = m.options.connections;
    limits.bodyLimit = m.options.bodyLimit;
    m.listener = std::make_unique<HttpListener>(
        limits, [&m](const HttpRequestView& request) { return m.service->answer(request); },
        [&m](const std::string& line) { m.log(line); });
    if (!m.listener->bind(m.options.bindAddress, m.options.port, error)) return false;
    const bool ipv6 = m.options.bindAddress.find(':') != std::string::npos;
    const std::string fallbackHost = (ipv6 ? "[" + m.options.bindAddress + "]" : m.options.bindAddress) + ":" +
                                     std::to_string(m.listener->port());
    m.uploads = std::make_unique<UploadStore>(m.uploadsFolder, m.options.uploadLimit);
    m.service = std::make_unique<SongService>(library, *m.uploads, fallbackHost,
                                              [&m](const std::string& line) { m.log(line); });
    return true;
}

int SongServer::port() const { return impl_->listener ? impl_->listener->port() : 0; }

const std::string& SongServer::uploadsFolder() const { return impl_->uploadsFolder; }

void SongServer::serve() {
    if (impl_->listener && impl_->service) impl_->listener->run();
}

void SongServer::start() {
    if (impl_->thread.joinable()) return;
    impl_->thread = std::thread([this] { serve(); });
}

void SongServer::stop() {
    if (impl_->listener) impl_->listener->stop();
}

}  // namespace tunecase
