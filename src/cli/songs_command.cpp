// tunecase-cli songs: the song server's list, one "INDEX<TAB>title" line per song, as the
// web site window lists it (optionally narrowed by a search text).
#include <cstdio>
#include <memory>
#include <string>

#include "base/text_codec.h"
#include "base/translation.h"
#include "cli/server_options.h"

namespace tunecase::cli {

namespace {

struct SongsOptions {
    ServerOptions server;
    std::string search;
};

int listSongs(const SongsOptions& o) {
    const auto server = chosenServer(o.server, false, "songs");
    if (!server) return 2;
    SongServerClient client(*server, timeoutsFor(o.server));
    SongListTable table;
    if (const NetResult result = client.fetchList(table); !result) return netFailure("songs", result);
    const auto rows = table.search(o.search);
    for (int row : rows) std::printf("%d\t%s\n", row, escapeControls(table.cell(row, kColumnTitle)).c_str());
    if (rows.empty())
        std::fprintf(stderr, tr("tunecase-cli songs: no title contains \"%s\"\n"), escapeControls(o.search).c_str());
    return 0;
}

}  // namespace

Action declareSongs(CLI::App& sub) {
    auto o = std::make_shared<SongsOptions>();
    declareServerOptions(sub, o->server);
    sub.add_option("--search", o->search, tr("list only the songs whose title contains TEXT (case-sensitive)"));
    sub.footer(tr("Prints 'INDEX<TAB>title' per song; INDEX is the row that 'download' takes. A server that cannot be "
               "reached, a status other than 200, an empty list or an answer that is too large fail with exit "
               "status 1."));
    return [o] { return listSongs(*o); };
}

}  // namespace tunecase::cli
