// The built-in General MIDI synthesizer: FluidSynth with a soundfont, sounding through the
// default audio output. Also the pieces the offline renderer shares with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/midi_out_device.h"

#ifdef TUNECASE_HAVE_FLUIDSYNTH
typedef struct _fluid_synth_t fluid_synth_t;
#endif

namespace tunecase {

// True when the program was built with the synthesizer.
bool fluidSynthAvailable();

// The name the device list shows for the synthesizer.
std::string fluidSynthDeviceName();

// Opens the synthesizer with `soundfont` at kSynthGain. When no audio output opens, the
// result is NoMapperPort for the mapper (`forMapper`) and NoDriver for device 0; a soundfont
// that does not load gives Error. Without the synthesizer built in: BadDeviceId.
int openFluidSynthDevice(bool forMapper, const std::string& soundfont,
                         std::unique_ptr<MidiOutDevice>& out);

#ifdef TUNECASE_HAVE_FLUIDSYNTH
// Routes the library's own log lines away from stderr (our errors go through the Reporter)
// and keeps the last error line for callers that explain a failure. Safe to call often.
void quietFluidSynthLog();
std::string lastFluidSynthError();

// Plays one complete message (short, or F0 .. F7) on `synth`. Returns a midiresult code.
int playOnFluidSynth(fluid_synth_t* synth, const uint8_t* message, size_t length);

// Plays a run of raw MIDI bytes (as a long message carries them) on `synth`.
int playBytesOnFluidSynth(fluid_synth_t* synth, const uint8_t* bytes, size_t length);
#endif

}  // namespace tunecase
