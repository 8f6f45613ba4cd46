// Brings a library folder's song data files (".mwd") into the song store: new and changed
// files are read, files gone are dropped, unchanged ones are left alone (compared by size and
// modification time). The server runs it on start and on SIGHUP.
#pragma once

#include <functional>
#include <string>

#include "net/song_store.h"

namespace tunecase {

struct ImportCounts final {
    int read = 0;     // new or changed, now in the store
    int kept = 0;     // unchanged
    int skipped = 0;  // not offered: a size clients refuse, unreadable, a link out
    bool ok = false;
    std::string error;
};

// `library`: the folder's canonical path. `log` hears of every skipped file.
ImportCounts importLibrary(const std::string& library, SongStore& store,
                           const std::function<void(const std::string&)>& log);

}  // namespace tunecase
