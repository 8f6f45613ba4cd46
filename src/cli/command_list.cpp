// The subcommands. Each lives in its own file and is listed here. Built into tunecase-cli
// (TUNECASE_CLI_HANDS_ON), the commands that talk to servers or draw strips are declared for
// the help only and handed on to tunecase-cli-full, which has them all.
#include <algorithm>
#include <string_view>

#include "base/translation.h"
#include "cli/commands.h"

namespace tunecase::cli {

namespace {

// "strip,songs,...": the build names them once, beside the sources it leaves to tunecase-cli-full.
constexpr std::string_view kHandedOn = TUNECASE_HANDED_ON_COMMANDS;

#ifdef TUNECASE_CLI_HANDS_ON
// Never runs: the command line is handed on before it is parsed.
Action declareHandedOn(CLI::App& sub) {
    sub.allow_extras();
    return [] { return 2; };
}
#endif

}  // namespace

bool handedOn(std::string_view name) {
#ifdef TUNECASE_CLI_HANDS_ON
    for (size_t at = 0; at <= kHandedOn.size();) {
        const size_t comma = std::min(kHandedOn.find(',', at), kHandedOn.size());
        if (!name.empty() && kHandedOn.substr(at, comma - at) == name) return true;
        at = comma + 1;
    }
    return false;
#else
    (void)name;
    (void)kHandedOn;
    return false;
#endif
}

#ifdef TUNECASE_CLI_HANDS_ON
#define TUNECASE_HEAVY(declare) declareHandedOn
#else
#define TUNECASE_HEAVY(declare) declare
#endif

Action declareDevices(CLI::App& sub);
Action declareInfo(CLI::App& sub);
Action declareConvert(CLI::App& sub);
Action declarePrepare(CLI::App& sub);
Action declarePlay(CLI::App& sub);
Action declareRender(CLI::App& sub);
Action declareQr(CLI::App& sub);
Action declareCompose(CLI::App& sub);
Action declareArrange(CLI::App& sub);
Action declareExport(CLI::App& sub);
Action declareLibrary(CLI::App& sub);
#ifndef TUNECASE_CLI_HANDS_ON
Action declareStrip(CLI::App& sub);
#ifndef TUNECASE_WITHOUT_HTTP
Action declareSongs(CLI::App& sub);
Action declareDownload(CLI::App& sub);
Action declareUpload(CLI::App& sub);
Action declareServe(CLI::App& sub);
#endif
#endif

const std::vector<Command>& commands() {
    static const std::vector<Command> list = {
        {"devices", N_("list the MIDI output devices"), declareDevices},
        {"info", N_("show the format, tracks and notes of a MIDI file"), declareInfo},
        {"convert", N_("save a MIDI file as format 0 (or split, format 1)"), declareConvert},
        {"prepare", N_("turn a MIDI file into music-box playing and save it as format 0"), declarePrepare},
        {"play", N_("prepare a MIDI file and play it in real time"), declarePlay},
        {"render", N_("prepare a MIDI file and render it offline to an audio file (WAV, FLAC, Ogg, Opus, MP3)"), declareRender},
        {"qr", N_("encode a text as a QR code: PNG, SVG or drawn in the terminal"), declareQr},
        {"compose", N_("compose a song in the music-box style and write it as a MIDI file"), declareCompose},
        {"arrange", N_("arrange a song-data file (.mwd) into a MIDI file and print its title"), declareArrange},
        {"export", N_("write a song for a music box (key range, program, title) or a toy piano (.fem)"), declareExport},
        {"library", N_("list the song data library or add a song data file to it"), declareLibrary},
        {"strip", N_("fit a song to a paper-strip music box and draw its punch strip (PDF pages or SVG)"), TUNECASE_HEAVY(declareStrip)},
#ifndef TUNECASE_WITHOUT_HTTP
        {"songs", N_("list the songs the song server offers"), TUNECASE_HEAVY(declareSongs)},
        {"download", N_("download one song of the song server's list as a song data file"), TUNECASE_HEAVY(declareDownload)},
        {"upload", N_("upload a MIDI file and show its key as a QR code, or delete an upload"), TUNECASE_HEAVY(declareUpload)},
        {"serve", N_("run our own song and upload server for a library folder"), TUNECASE_HEAVY(declareServe)},
#endif
    };
    return list;
}

}  // namespace tunecase::cli
