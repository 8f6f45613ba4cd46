// tunecase-cli devices: the MIDI outputs a play run can open.
#include <cstdio>

#include "base/text_codec.h"
#include "base/translation.h"
#include "cli/commands.h"
#include "platform/midi_out_device.h"
#include "playback/midi_controler.h"

namespace tunecase::cli {

namespace {

int listDevices() {
    auto devices = midiOutDevices();
    int chosen = defaultMidiDeviceId.load();
    std::printf(tr("%3d  MIDI mapper (plays through device 0)%s\n"), kMidiMapper,
                chosen == kMidiMapper ? tr("  [default]") : "");
    for (const auto& d : devices)
        std::printf("%3d  %s%s\n", d.id, escapeControls(d.name).c_str(), chosen == d.id ? tr("  [default]") : "");
    if (devices.empty()) std::printf("%s\n", tr("no MIDI output devices"));
    return 0;
}

}  // namespace

Action declareDevices(CLI::App&) { return listDevices; }

}  // namespace tunecase::cli
