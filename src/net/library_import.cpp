#include "net/library_import.h"

#include <sys/stat.h>

#include <filesystem>
#include <map>

#include "base/text_codec.h"
#include "base/utilities.h"
#include "net/http_message.h"
#include "net/internet.h"
#include "songs/directory_file_list.h"
#include "songs/library.h"
#include "songs/song_data.h"

namespace tunecase {

namespace fs = std::filesystem;

namespace {

constexpr size_t kBatch = 64;

// Sizes a client takes as a downloaded song, and that fit its buffer.
bool downloadableSize(uintmax_t size) {
    return (size == songdata::kSize92492 || size >= songdata::kSize94540) &&
           size < static_cast<uintmax_t>(kInternetBufferSize);
}

std::string trimmed(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

}  // namespace

ImportCounts importLibrary(const std::string& library, SongStore& store,
                           const std::function<void(const std::string&)>& log) {
    ImportCounts counts;
    auto skip = [&](const std::string& name, const std::string& why) {
        ++counts.skipped;
        if (log) log("library: " + loggable(name) + " is skipped: " + why);
    };
    std::map<std::string, std::string> known;  // name -> stamp
    for (const auto& song : store.songs(false)) known[song.name] = song.stamp;

    std::vector<LibrarySong> changed;
    std::vector<std::string> kept;
    const CDirectoryFileList files(library, kLibraryPattern);
    for (const auto& name : files.names()) {
        std::error_code ec;
        const fs::path path = fs::path(library) / name;
        const fs::path real = fs::canonical(path, ec);
        if (ec || real.parent_path() != fs::path(library) || !fs::is_regular_file(real, ec)) {
            skip(name, "it is not a file of the folder");
            continue;
        }
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) continue;
        const std::string stamp = std::to_string(st.st_size) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
                                  std::to_string(st.st_mtim.tv_nsec);
        if (const auto it = known.find(name); it != known.end() && it->second == stamp) {
            kept.push_back(name);
            ++counts.kept;
            continue;
        }
        if (!downloadableSize(static_cast<uintmax_t>(st.st_size))) {
            skip(name, std::to_string(st.st_size) + " bytes is not the size of a song a client accepts");
            continue;
        }
        // One read, and the song taken from those bytes: the file may change meanwhile.
        LibrarySong song;
        song.name = name;
        song.stamp = stamp;
        song.bytes.resize(static_cast<size_t>(st.st_size));
        const int64_t got = readExact(path.string(), song.bytes.data(), song.bytes.size());
        if (got != static_cast<int64_t>(song.bytes.size())) {
            skip(name, "it does not read whole");
            continue;
        }
        int measures = 4, beats = 4, key = 0, mode = 0;
        const auto* data = reinterpret_cast<const uint8_t*>(song.bytes.data());
        const auto read = CSongData::fromFileBytes(data, song.bytes.size(), measures, beats, key, mode, path.string());
        if (!read || !read->isLoaded()) {
            skip(name, "it does not read as song data");
            continue;
        }
        song.facts.title = read->title();
        song.facts.titleText = displayText(song.facts.title.empty() ? name : song.facts.title);
        song.facts.key = trimmed(read->keyName());
        song.facts.meter = std::to_string(read->beatsPerMeasure()) + "/4";
        song.facts.tempo = read->tempo();
        kept.push_back(name);
        changed.push_back(std::move(song));
        ++counts.read;
        // In batches: a large library never sits in memory whole.
        if (changed.size() >= kBatch) {
            if (!store.updateLibrary(changed, nullptr, &counts.error)) return counts;
            changed.clear();
        }
    }
    counts.ok = store.updateLibrary(changed, &kept, &counts.error);
    return counts;
}

}  // namespace tunecase
