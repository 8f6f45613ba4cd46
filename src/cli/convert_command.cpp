// tunecase-cli convert: opens any Standard MIDI File as one song, as the player does, and
// writes it as format 0 or, with --format1, split into one track per channel.
#include <cstdio>
#include <memory>
#include <string>

#include "base/text_codec.h"
#include "base/reporter.h"
#include "base/translation.h"
#include "cli/commands.h"
#include "cli/input_reasons.h"
#include "midi/midi_f0_data.h"
#include "midi/midi_f1_data.h"

namespace tunecase::cli {

namespace {

struct ConvertOptions {
    bool format1 = false;
    std::string in, out;
};

int convert(const ConvertOptions& o) {
    ScopedReason why(midiInputReason("convert", o.in));
    auto song = MidiF0Data::openFile(o.in);
    if (!song->isLoaded()) return 1;  // the readers have said why
    if (o.format1) {
        auto file = MidiF1Data::fromFormat0(*song);
        if (!file->saveFile(o.out)) return 1;
        std::printf(tr("%s: format 1, %d tracks, division %d\n"), escapeControls(o.out).c_str(), file->trackCount(),
                    file->division());
    } else {
        if (!song->saveFile(o.out)) return 1;
        std::printf(tr("%s: format 0, 1 track, division %d\n"), escapeControls(o.out).c_str(), song->division());
    }
    return 0;
}

}  // namespace

Action declareConvert(CLI::App& sub) {
    auto o = std::make_shared<ConvertOptions>();
    sub.add_flag("--format1", o->format1, tr("split the song into one track per channel (format 1)"));
    sub.add_option("IN", o->in, tr("the MIDI file to read"))->required();
    sub.add_option("OUT", o->out, tr("the MIDI file to write"))->required();
    return [o] { return convert(*o); };
}

}  // namespace tunecase::cli
