#include "platform/fluid_synth_device.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "base/translation.h"

#ifdef TUNECASE_HAVE_FLUIDSYNTH
#include <filesystem>
#include <mutex>
#endif

namespace tunecase {

namespace {
std::atomic<double> playerGain{kDefaultPlayerGain};
}  // namespace

void setPlayerSynthGain(double gain) {
    playerGain = std::isfinite(gain) ? std::clamp(gain, 0.0, kMaxPlayerGain) : kDefaultPlayerGain;
}

double playerSynthGain() { return playerGain; }

#ifndef TUNECASE_HAVE_FLUIDSYNTH

bool fluidSynthAvailable() { return false; }

std::string fluidSynthDeviceName() { return {}; }

int openFluidSynthDevice(bool, const std::string&, std::unique_ptr<MidiOutDevice>&) {
    return midiresult::BadDeviceId;
}

#else

namespace {

std::mutex logMutex;
std::string lastError;

void keepError(int, const char* message, void*) {
    std::lock_guard lock(logMutex);
    lastError = message ? message : "";
}

void dropMessage(int, const char*, void*) {}

// The library's file name as the runtime package installs it; the build system takes it from
// the library the headers belong to.
#ifndef TUNECASE_FLUIDSYNTH_LIBRARY
#define TUNECASE_FLUIDSYNTH_LIBRARY "libfluidsynth.so.3"
#endif

struct LoadedApi {
    std::unique_ptr<const FluidSynthApi> table;
    std::string error;
};

const LoadedApi& loadedApi() {
    // Loaded once, by whichever thread asks first. Never freed: a device still open while
    // static objects are destroyed at exit must still find its functions.
    static const LoadedApi* loaded = [] {
        auto* result = new LoadedApi;
        result->table = loadFunctionTable<FluidSynthApi>(TUNECASE_FLUIDSYNTH_LIBRARY, result->error);
        return result;
    }();
    return *loaded;
}

class FluidSynthDevice final : public MidiOutDevice {
public:
    FluidSynthDevice(const FluidSynthApi& fluid, fluid_settings_t* settings, fluid_synth_t* synth,
                     fluid_audio_driver_t* driver)
        : fluid_(fluid), settings_(settings), synth_(synth), driver_(driver), gain_(playerSynthGain()) {}
    ~FluidSynthDevice() override { close(); }

    int sendShort(uint32_t packed) override {
        uint8_t bytes[3];
        size_t n = unpackShortMessage(packed, bytes);
        if (n == 0) return midiresult::InvalidParam;
        std::lock_guard lock(mutex_);
        if (!synth_) return midiresult::InvalidHandle;
        followVolume();
        return playOnFluidSynth(fluid_, synth_, bytes, n);
    }

    int sendLong(const uint8_t* bytes, size_t length) override {
        if (!bytes || length == 0) return midiresult::InvalidParam;
        std::lock_guard lock(mutex_);
        if (!synth_) return midiresult::InvalidHandle;
        return playBytesOnFluidSynth(fluid_, synth_, bytes, length);
    }

    int close() override {
        std::lock_guard lock(mutex_);
        if (!synth_) return midiresult::InvalidHandle;
        // The audio thread reads the synth, so it goes first.
        if (driver_) fluid_.delete_fluid_audio_driver(driver_);
        fluid_.delete_fluid_synth(synth_);
        fluid_.delete_fluid_settings(settings_);
        driver_ = nullptr;
        synth_ = nullptr;
        settings_ = nullptr;
        return midiresult::NoError;
    }

protected:
    int resetSynth() override {
        std::lock_guard lock(mutex_);
        if (!synth_) return midiresult::InvalidHandle;
        return fluid_.fluid_synth_system_reset(synth_) == FLUID_OK ? midiresult::NoError : midiresult::Error;
    }

private:
    // A volume changed while the synthesizer is open takes effect at once (under mutex_).
    void followVolume() {
        const double wanted = playerSynthGain();
        if (wanted == gain_) return;
        fluid_.fluid_synth_set_gain(synth_, static_cast<float>(wanted));
        gain_ = wanted;
    }

    const FluidSynthApi& fluid_;
    std::mutex mutex_;
    fluid_settings_t* settings_;
    fluid_synth_t* synth_;
    fluid_audio_driver_t* driver_;
    double gain_;
};

// The default audio output: the sound server first (PulseAudio, or PipeWire through its
// PulseAudio service), then ALSA's default device when the machine has sound devices at
// all. JACK is left alone: a player should not start or grab an audio server.
fluid_audio_driver_t* openAudioOutput(const FluidSynthApi& fluid, fluid_settings_t* settings,
                                      fluid_synth_t* synth) {
    std::error_code ec;
    bool soundDevices = std::filesystem::exists("/dev/snd", ec);
    for (const char* name : {"pulseaudio", "alsa"}) {
        if (std::string_view(name) == "alsa" && !soundDevices) continue;
        if (fluid.fluid_settings_setstr(settings, "audio.driver", name) != FLUID_OK) continue;
        if (auto* driver = fluid.new_fluid_audio_driver(settings, synth)) return driver;
    }
    return nullptr;
}

}  // namespace

const FluidSynthApi* fluidSynthApi() { return loadedApi().table.get(); }

std::string fluidSynthLoadError() { return loadedApi().error; }

void quietFluidSynthLog(const FluidSynthApi& fluid) {
    static std::once_flag once;
    std::call_once(once, [&fluid] {
        fluid.fluid_set_log_function(FLUID_PANIC, keepError, nullptr);
        fluid.fluid_set_log_function(FLUID_ERR, keepError, nullptr);
        fluid.fluid_set_log_function(FLUID_WARN, dropMessage, nullptr);
        fluid.fluid_set_log_function(FLUID_INFO, dropMessage, nullptr);
        fluid.fluid_set_log_function(FLUID_DBG, dropMessage, nullptr);
    });
}

std::string lastFluidSynthError() {
    std::lock_guard lock(logMutex);
    return lastError;
}

bool fluidSynthAvailable() { return fluidSynthApi() != nullptr; }

std::string fluidSynthDeviceName() { return tr("FluidSynth GM synthesizer"); }


int openFluidSynthDevice(bool forMapper, const std::string& soundfont,
                         std::unique_ptr<MidiOutDevice>& out) {
    const FluidSynthApi* api = fluidSynthApi();
    if (!api) return midiresult::BadDeviceId;
    const FluidSynthApi& fluid = *api;
    quietFluidSynthLog(fluid);
    fluid_settings_t* settings = fluid.new_fluid_settings();
    if (!settings) return midiresult::NoMemory;
    fluid.fluid_settings_setnum(settings, "synth.gain", playerSynthGain());
    // Only the samples of the presets a song selects are read, when it selects them: a music
    // box needs one or two of the soundfont's hundred and more.
    fluid.fluid_settings_setint(settings, "synth.dynamic-sample-loading", 1);
    fluid_synth_t* synth = fluid.new_fluid_synth(settings);
    if (!synth) {
        fluid.delete_fluid_settings(settings);
        return midiresult::NoMemory;
    }
    // The audio output is tried before the soundfont is loaded: the soundfont takes a tenth
    // of a second, and without an output it is not needed at all.
    fluid_audio_driver_t* driver = openAudioOutput(fluid, settings, synth);
    if (!driver) {
        fluid.delete_fluid_synth(synth);
        fluid.delete_fluid_settings(settings);
        return forMapper ? midiresult::NoMapperPort : midiresult::NoDriver;
    }
    if (fluid.fluid_synth_sfload(synth, soundfont.c_str(), 1) == FLUID_FAILED) {
        fluid.delete_fluid_audio_driver(driver);
        fluid.delete_fluid_synth(synth);
        fluid.delete_fluid_settings(settings);
        return midiresult::Error;
    }
    out = std::make_unique<FluidSynthDevice>(fluid, settings, synth, driver);
    return midiresult::NoError;
}

int playOnFluidSynth(const FluidSynthApi& fluid, fluid_synth_t* synth, const uint8_t* m, size_t length) {
    if (!synth || !m || length == 0) return midiresult::InvalidParam;
    uint8_t status = m[0];
    if (status == 0xF0) {
        // The library wants the body without the F0 and F7 ends.
        if (length < 2 || m[length - 1] != 0xF7) return midiresult::InvalidParam;
        const char* body = reinterpret_cast<const char*>(m + 1);
        fluid.fluid_synth_sysex(synth, body, static_cast<int>(length - 2), nullptr, nullptr, nullptr, 0);
        return midiresult::NoError;
    }
    size_t need = shortMessageLength(status);
    if (need == 0 || length < need) return midiresult::InvalidParam;
    int channel = status & 0x0F;
    int d1 = need > 1 ? m[1] & 0x7F : 0;
    int d2 = need > 2 ? m[2] & 0x7F : 0;
    switch (status & 0xF0) {
        case 0x80: fluid.fluid_synth_noteoff(synth, channel, d1); break;
        case 0x90: fluid.fluid_synth_noteon(synth, channel, d1, d2); break;  // velocity 0 is a note off
        case 0xA0: fluid.fluid_synth_key_pressure(synth, channel, d1, d2); break;
        case 0xB0: fluid.fluid_synth_cc(synth, channel, d1, d2); break;
        case 0xC0: fluid.fluid_synth_program_change(synth, channel, d1); break;
        case 0xD0: fluid.fluid_synth_channel_pressure(synth, channel, d1); break;
        case 0xE0: fluid.fluid_synth_pitch_bend(synth, channel, d1 | (d2 << 7)); break;
        default:
            if (status == 0xFF) fluid.fluid_synth_system_reset(synth);
            break;  // other system messages mean nothing to a synthesizer
    }
    // A note off for a silent key and the like are not failures of the output.
    return midiresult::NoError;
}

int playBytesOnFluidSynth(const FluidSynthApi& fluid, fluid_synth_t* synth, const uint8_t* bytes,
                          size_t length) {
    int result = midiresult::NoError;
    splitMidiBytes(bytes, length, [&](const uint8_t* message, size_t n) {
        int r = playOnFluidSynth(fluid, synth, message, n);
        if (result == midiresult::NoError) result = r;
    });
    return result;
}

#endif

}  // namespace tunecase
