// tunecase-cli convert: opens any Standard MIDI File as one song, as the player does, and
// writes it as format 0 or, with --format1, split into one track per channel.
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "midi/midi_f0_data.h"
#include "midi/midi_f1_data.h"

namespace tunecase::cli {

int convertMain(const Args& args) {
    bool format1 = false;
    std::string in, out;
    for (const auto& a : args) {
        if (a == "--format1") {
            format1 = true;
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "tunecase-cli convert: unknown option '%s'\n", a.c_str());
            return 2;
        } else if (in.empty()) {
            in = a;
        } else if (out.empty()) {
            out = a;
        } else {
            std::fprintf(stderr, "tunecase-cli convert: unexpected argument '%s'\n", a.c_str());
            return 2;
        }
    }
    if (in.empty() || out.empty()) {
        std::fprintf(stderr, "usage: tunecase-cli convert [--format1] IN OUT\n");
        return 2;
    }
    auto song = MidiF0Data::openFile(in);
    if (!song->isLoaded()) return 1;  // the readers have said why
    if (format1) {
        auto file = MidiF1Data::fromFormat0(*song);
        if (!file->saveFile(out)) return 1;
        std::printf("%s: format 1, %d tracks, division %d\n", out.c_str(), file->trackCount(), file->division());
    } else {
        if (!song->saveFile(out)) return 1;
        std::printf("%s: format 0, 1 track, division %d\n", out.c_str(), song->division());
    }
    return 0;
}

}  // namespace tunecase::cli
