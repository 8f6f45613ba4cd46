#include "net/song_server.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "base/reporter.h"
#include "base/translation.h"
#include "base/utilities.h"
#include "net/legacy_uploads.h"
#include "net/library_import.h"
#include "net/song_service.h"
#include "net/song_store.h"
#include "net/upload_render.h"

namespace tunecase {

namespace fs = std::filesystem;

struct SongServer::Impl {
    SongServerOptions options;
    std::string library;
    std::string uploadsFolder;
    std::string database;
    bool temporaryUploads = false;
    std::unique_ptr<SqliteSongStore> store;
    std::unique_ptr<UploadRenderer> renderer;
    std::unique_ptr<SongService> service;
    std::unique_ptr<HttpListener> listener;
    std::mutex importMutex;
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
    impl_->renderer.reset();
    impl_->service.reset();
    impl_->store.reset();
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
        return failWith(fillIn(tr("the library folder %s does not exist"), m.options.libraryFolder));
    m.library = fs::canonical(m.options.libraryFolder, ec).string();
    if (ec) return failWith(fillIn(tr("the library folder %s: %s"), {m.options.libraryFolder, ec.message()}));
    if (m.options.uploadsFolder.empty()) {
        std::string pattern = (fs::temp_directory_path(ec) / "tunecase-uploads-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) return failWith(tr("no temporary folder for the uploads"));
        m.uploadsFolder = pattern;
        m.temporaryUploads = true;
    } else {
        m.uploadsFolder = m.options.uploadsFolder;
        if (!makeFolders(m.uploadsFolder) || !fs::is_directory(m.uploadsFolder, ec))
            return failWith(fillIn(tr("the uploads folder %s cannot be made"), m.uploadsFolder));
    }
    m.database = m.options.database.empty() ? joinPath(m.uploadsFolder, kDefaultDatabaseName) : m.options.database;
    const fs::path databaseFolder = fs::path(m.database).parent_path();
    if (!databaseFolder.empty() && !makeFolders(databaseFolder.string()))
        return failWith(fillIn(tr("the database's folder %s cannot be made"), databaseFolder.string()));

    HttpListenerLimits limits = m.options.connections;
    limits.bodyLimit = m.options.bodyLimit;
    m.listener = std::make_unique<HttpListener>(
        limits, [&m](const HttpRequestView& request) { return m.service->answer(request); },
        [&m](const std::string& line) { m.log(line); });
    if (!m.listener->bind(m.options.bindAddress, m.options.port, error)) return false;
    const bool ipv6 = m.options.bindAddress.find(':') != std::string::npos;
    SongServiceSettings settings;
    settings.fallbackHost = (ipv6 ? "[" + m.options.bindAddress + "]" : m.options.bindAddress) + ":" +
                            std::to_string(m.listener->port());
    settings.publicUrl = m.options.publicUrl;
    settings.uploadsPerMinute = m.options.uploadsPerMinute;

    m.store = std::make_unique<SqliteSongStore>(m.database, m.options.uploadLimit);
    if (!m.store->ok()) return failWith(fillIn(tr("the database %s: %s"), {m.database, m.store->error()}));
    if (!reimport(error)) return false;
    // Uploads an earlier version kept as loose files; a failed import keeps its index for the
    // next start and does not stop this one. Their sound is made below like any pending upload.
    importLegacyUploads(m.uploadsFolder, *m.store, m.options.bodyLimit,
                        [&m](const std::string& line) { m.log(line); });
    m.renderer = std::make_unique<UploadRenderer>(*m.store, m.uploadsFolder, m.options.soundfont,
                                                  [&m](const std::string& line) { m.log(line); });
    m.service = std::make_unique<SongService>(*m.store, settings, [&m](const std::string& line) { m.log(line); },
                                              [&m] { m.renderer->wake(); });
    return true;
}

bool SongServer::reimport(std::string* error) {
    Impl& m = *impl_;
    if (!m.store) return false;
    std::lock_guard lock(m.importMutex);
    const ImportCounts counts = importLibrary(m.library, *m.store, [&m](const std::string& line) { m.log(line); });
    if (!counts.ok) {
        if (error) *error = fillIn(tr("the library could not be stored: %s"), counts.error);
        return false;
    }
    m.log("library: " + std::to_string(counts.read) + " read, " + std::to_string(counts.kept) + " unchanged, " +
          std::to_string(counts.skipped) + " skipped");
    return true;
}

void SongServer::waitForRenders() {
    if (!impl_->renderer) return;
    impl_->renderer->wake();
    impl_->renderer->drain();
}

SongStore& SongServer::store() { return *impl_->store; }

int SongServer::port() const { return impl_->listener ? impl_->listener->port() : 0; }

const std::string& SongServer::uploadsFolder() const { return impl_->uploadsFolder; }

const std::string& SongServer::databasePath() const { return impl_->database; }

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
