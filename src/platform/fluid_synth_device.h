// The built-in General MIDI synthesizer: FluidSynth with a soundfont, sounding through the
// default audio output. Also the pieces the offline renderer shares with it.
//
// The library is opened on first use (see shared_library.h): listing the devices or opening
// the synthesizer loads it, nothing else does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/midi_out_device.h"

#ifdef TUNECASE_HAVE_FLUIDSYNTH
#include <fluidsynth.h>

#include "platform/shared_library.h"
#endif

namespace tunecase {

// True when the synthesizer can be used: the program was built with it, and its library and
// every function this program calls in it are there. The first call opens the library.
bool fluidSynthAvailable();

// The name the device list shows for the synthesizer.
std::string fluidSynthDeviceName();

// The player's level (CONFIG's volume). The default, 4 times kSynthGain (+12 dB), brings a
// typical arranged song to about the -16 LUFS of a normalised render (songs of the sample
// library measured with the offline renderer needed +11.4 to +13.4 dB; composed songs are
// quieter still). 10 is the synthesizer's own ceiling.
inline constexpr double kDefaultPlayerGain = 3.2;
inline constexpr double kMaxPlayerGain = 10.0;
// Any thread; taken into 0..kMaxPlayerGain. An open synthesizer follows at its next message.
void setPlayerSynthGain(double gain);
double playerSynthGain();

// Opens the synthesizer with `soundfont` at the player's level. When no audio output opens, the
// result is NoMapperPort for the mapper (`forMapper`) and NoDriver for device 0; a soundfont
// that does not load gives Error. Without the synthesizer (not built in, or its library
// missing): BadDeviceId.
int openFluidSynthDevice(bool forMapper, const std::string& soundfont,
                         std::unique_ptr<MidiOutDevice>& out);

#ifdef TUNECASE_HAVE_FLUIDSYNTH

// Every library function the synthesizer device and the offline renderer call.
#define TUNECASE_FLUIDSYNTH_FUNCTIONS(X)                                                      \
    X(fluid_set_log_function)                                                                \
    X(new_fluid_settings) X(delete_fluid_settings) X(fluid_settings_setnum)                  \
    X(fluid_settings_setstr) X(fluid_settings_setint)                                        \
    X(new_fluid_synth) X(delete_fluid_synth) X(fluid_synth_sfload) X(fluid_synth_system_reset) \
    X(new_fluid_audio_driver) X(delete_fluid_audio_driver)                                   \
    X(fluid_synth_noteon) X(fluid_synth_noteoff) X(fluid_synth_key_pressure) X(fluid_synth_cc) \
    X(fluid_synth_program_change) X(fluid_synth_channel_pressure) X(fluid_synth_pitch_bend)  \
    X(fluid_synth_sysex) X(fluid_synth_write_s16) X(fluid_synth_write_float) X(fluid_synth_set_gain) \
    X(fluid_synth_set_channel_type)

struct FluidSynthApi {
    TUNECASE_FLUIDSYNTH_FUNCTIONS(TUNECASE_TABLE_ENTRY)
    bool resolve(SharedLibrary& library) { return true TUNECASE_FLUIDSYNTH_FUNCTIONS(TUNECASE_TABLE_FIND); }
};

// The process's table of library functions, loaded by the first call (from any thread);
// nullptr when the library or one of the functions is missing, with fluidSynthLoadError()
// saying which.
const FluidSynthApi* fluidSynthApi();
std::string fluidSynthLoadError();

// Routes the library's own log lines away from stderr (our errors go through the Reporter)
// and keeps the last error line for callers that explain a failure. Safe to call often.
void quietFluidSynthLog(const FluidSynthApi& fluid);
std::string lastFluidSynthError();

// Plays one complete message (short, or F0 .. F7) on `synth`. Returns a midiresult code.
int playOnFluidSynth(const FluidSynthApi& fluid, fluid_synth_t* synth, const uint8_t* message,
                     size_t length);

// Plays a run of raw MIDI bytes (as a long message carries them) on `synth`.
int playBytesOnFluidSynth(const FluidSynthApi& fluid, fluid_synth_t* synth, const uint8_t* bytes,
                          size_t length);
#endif

}  // namespace tunecase
