// Output ports of the MIDI library (ALSA sequencer and JACK clients), as devices 1..n.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/midi_out_device.h"

namespace tunecase {

// The names of the output ports, in the order the device list numbers them. Back ends
// that are not running here (no sequencer device, no JACK server) are skipped quietly.
std::vector<std::string> rtMidiPortNames();

// Opens port `index` (0-based, in rtMidiPortNames() order). Returns a midiresult code.
int openRtMidiPort(int index, std::unique_ptr<MidiOutDevice>& out);

}  // namespace tunecase
