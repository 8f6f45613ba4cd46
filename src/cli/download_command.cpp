// tunecase-cli download: one song of the song server's list, saved as a song data file.
#include <cstdio>
#include <memory>
#include <string>

#include "base/text_codec.h"
#include "base/translation.h"
#include "base/utilities.h"
#include "cli/server_options.h"
#include "songs/song_data.h"

namespace tunecase::cli {

namespace {

struct DownloadOptions {
    ServerOptions server;
    int index = -1;
    std::string out;
};

int download(const DownloadOptions& o) {
    const auto server = chosenServer(o.server, false, "download");
    if (!server) return 2;
    SongServerClient client(*server, timeoutsFor(o.server));
    SongListTable table;
    if (const NetResult result = client.fetchList(table); !result) return netFailure("download", result);
    std::vector<uint8_t> bytes;
    if (const NetResult result = client.fetchSong(table, o.index, bytes); !result) return netFailure("download", result);
    // What the preview would refuse is not saved either (the song data shows its box).
    const CSongData song(bytes.data(), bytes.size());
    if (!song.isLoaded()) {
        std::fprintf(stderr, tr("tunecase-cli download: row %d (\"%s\") is not a song-data file: %s; %s was not written\n"),
                     o.index, escapeControls(table.cell(o.index, kColumnTitle)).c_str(), song.refusal().c_str(),
                     escapeControls(o.out).c_str());
        return 1;
    }
    std::string reason;
    if (!writeWhole(o.out, bytes.data(), bytes.size(), &reason)) {
        std::fprintf(stderr, tr("tunecase-cli download: cannot write %s\n"), escapeControls(reason).c_str());
        return 1;
    }
    std::printf("%d\t%s\t%zu bytes\n", o.index, escapeControls(table.cell(o.index, kColumnTitle)).c_str(), bytes.size());
    return 0;
}

}  // namespace

Action declareDownload(CLI::App& sub) {
    auto o = std::make_shared<DownloadOptions>();
    declareServerOptions(sub, o->server);
    sub.add_option("INDEX", o->index, tr("the song's row, as 'songs' prints it"))->required()->check(CLI::NonNegativeNumber);
    sub.add_option("OUT", o->out, tr("the song data file to write (.mwd)"))->required();
    sub.footer(tr("Prints 'INDEX<TAB>title<TAB>N bytes'. A row that is not in the list, a failed request or a file "
               "that is not a song's size fail with exit status 1."));
    return [o] { return download(*o); };
}

}  // namespace tunecase::cli
