// Output ports of the MIDI library (ALSA sequencer and JACK clients), as devices 1..n.
//
// The library is opened on first use (see shared_library.h): listing the ports or opening
// one loads it, nothing else does.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/midi_out_device.h"

namespace tunecase {

// True when the program was built with the MIDI port library, and it and every function this
// program calls in it are there. The first call opens the library.
bool rtMidiAvailable();

// The names of the output ports, in the order the device list numbers them. Back ends
// that are not running here (no sequencer device, no JACK server) are skipped quietly.
std::vector<std::string> rtMidiPortNames();

// Opens port `index` (0-based, in rtMidiPortNames() order). Returns a midiresult code.
int openRtMidiPort(int index, std::unique_ptr<MidiOutDevice>& out);

}  // namespace tunecase
