// Uploads kept by the server before it had a database: loose "KEY.EXT" files in the uploads
// folder, the keys it made listed in an index file there. A server started on such a folder
// brings them into its store under their own keys, so old keys and their QR codes still work.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace tunecase {

class SongStore;

// The earlier version's index: one "KEY KEY.EXT" line per upload.
inline constexpr const char* kLegacyUploadIndexName = ".tunecase-upload-keys";
// What the index is renamed to once its uploads are in the store.
inline constexpr const char* kLegacyUploadIndexImported = ".tunecase-upload-keys.imported";
// An index larger than this is not read (it is outside input).
inline constexpr int64_t kLegacyUploadIndexLimit = 16 << 20;

struct LegacyImport final {
    bool ok = true;      // false: nothing was imported and the index stays for the next start
    int64_t imported = 0;
    std::string error;
};

// When `folder` holds the earlier version's index, puts every upload it lists whose file is
// there into `store` under the same key (name: the file's name; time: its modification time),
// in one transaction. Keys the store holds already are left alone, so a second start imports
// nothing twice. Bad index lines, missing or unreadable files, anything but a regular file and
// files over `maxBytes` are skipped (with a line in `log` each, bad lines counted in one);
// files the index does not list are never looked at. After the commit the index is renamed to
// kLegacyUploadIndexImported and one summary line is logged; the files themselves stay.
// No index: nothing happens.
LegacyImport importLegacyUploads(const std::string& folder, SongStore& store, size_t maxBytes,
                                 const std::function<void(const std::string&)>& log);

}  // namespace tunecase
