#include "platform/fluid_synth_device.h"

#ifdef TUNECASE_HAVE_FLUIDSYNTH
#include <fluidsynth.h>

#include <filesystem>
#include <mutex>
#endif

namespace tunecase {

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

class FluidSynthDevice final : public MidiOutDevice {
public:
    FluidSynthDevice(fluid_settings_t* settings, fluid_synth_t* synth, fluid_audio_driver_t* driver)
        : settings_(settings), synth_(synth), driver_(driver) {}
    ~FluidSynthDevice() override { close(); }

    int sendShort(uint32_t packed) override {
        uint8_t bytes[3];
        size_t n = unpackShortMessage(packed, bytes);
        if (n == 0) return midiresult::InvalidParam;
        std::lock_guard lock(mutex_);
        if (!synth_) return midiresult::InvalidHandle;
        return playOnFluidSynth(synth_, bytes, n);
    }

    int sendLong(const uint8_t* bytes, size_t length) override {
        if (!bytes || length == 0) return midiresult::InvalidParam;
        std::lock_guard lock(mutex_);
        if (!synth_) return midiresult::InvalidHandle;
        return playBytesOnFluidSynth(synth_, bytes, length);
    }

    int close() override {
        std::lock_guard lock(mutex_);
        if (!synth_) return midiresult::InvalidHandle;
        // The audio thread reads the synth, so it goes first.
        if (driver_) delete_fluid_audio_driver(driver_);
        delete_fluid_synth(synth_);
        delete_fluid_settings(settings_);
        driver_ = nullptr;
        synth_ = nullptr;
        settings_ = nullptr;
        return midiresult::NoError;
    }

protected:
    int resetSynth() override {
        std::lock_guard lock(mutex_);
        if (!synth_) return midiresult::InvalidHandle;
        return fluid_synth_system_reset(synth_) == FLUID_OK ? midiresult::NoError : midiresult::Error;
    }

private:
    std::mutex mutex_;
    fluid_settings_t* settings_;
    fluid_synth_t* synth_;
    fluid_audio_driver_t* driver_;
};

// The default audio output: the sound server first (PulseAudio, or PipeWire through its
// PulseAudio service), then ALSA's default device when the machine has sound devices at
// all. JACK is left alone: a player should not start or grab an audio server.
fluid_audio_driver_t* openAudioOutput(fluid_settings_t* settings, fluid_synth_t* synth) {
    std::error_code ec;
    bool soundDevices = std::filesystem::exists("/dev/snd", ec);
    for (const char* name : {"pulseaudio", "alsa"}) {
        if (std::string_view(name) == "alsa" && !soundDevices) continue;
        if (fluid_settings_setstr(settings, "audio.driver", name) != FLUID_OK) continue;
        if (auto* driver = new_fluid_audio_driver(settings, synth)) return driver;
    }
    return nullptr;
}

}  // namespace

void quietFluidSynthLog() {
    static std::once_flag once;
    std::call_once(once, [] {
        fluid_set_log_function(FLUID_PANIC, keepError, nullptr);
        fluid_set_log_function(FLUID_ERR, keepError, nullptr);
        fluid_set_log_function(FLUID_WARN, dropMessage, nullptr);
        fluid_set_log_function(FLUID_INFO, dropMessage, nullptr);
        fluid_set_log_function(FLUID_DBG, dropMessage, nullptr);
    });
}

std::string lastFluidSynthError() {
    std::lock_guard lock(logMutex);
    return lastError;
}

bool fluidSynthAvailable() { return true; }

std::string fluidSynthDeviceName() { return "FluidSynth GM synthesizer"; }

int openFluidSynthDevice(bool forMapper, const std::string& soundfont,
                         std::unique_ptr<MidiOutDevice>& out) {
    quietFluidSynthLog();
    fluid_settings_t* settings = new_fluid_settings();
    if (!settings) return midiresult::NoMemory;
    fluid_settings_setnum(settings, "synth.gain", kSynthGain);
    fluid_synth_t* synth = new_fluid_synth(settings);
    if (!synth) {
        delete_fluid_settings(settings);
        return midiresult::NoMemory;
    }
    // The audio output is tried before the soundfont is loaded: the soundfont takes a tenth
    // of a second, and without an output it is not needed at all.
    fluid_audio_driver_t* driver = openAudioOutput(settings, synth);
    if (!driver) {
        delete_fluid_synth(synth);
        delete_fluid_settings(settings);
        return forMapper ? midiresult::NoMapperPort : midiresult::NoDriver;
    }
    if (fluid_synth_sfload(synth, soundfont.c_str(), 1) == FLUID_FAILED) {
        delete_fluid_audio_driver(driver);
        delete_fluid_synth(synth);
        delete_fluid_settings(settings);
        return midiresult::Error;
    }
    out = std::make_unique<FluidSynthDevice>(settings, synth, driver);
    return midiresult::NoError;
}

int playOnFluidSynth(fluid_synth_t* synth, const uint8_t* m, size_t length) {
    if (!synth || !m || length == 0) return midiresult::InvalidParam;
    uint8_t status = m[0];
    if (status == 0xF0) {
        // The library wants the body without the F0 and F7 ends.
        if (length < 2 || m[length - 1] != 0xF7) return midiresult::InvalidParam;
        const char* body = reinterpret_cast<const char*>(m + 1);
        fluid_synth_sysex(synth, body, static_cast<int>(length - 2), nullptr, nullptr, nullptr, 0);
        return midiresult::NoError;
    }
    size_t need = shortMessageLength(status);
    if (need == 0 || length < need) return midiresult::InvalidParam;
    int channel = status & 0x0F;
    int d1 = need > 1 ? m[1] & 0x7F : 0;
    int d2 = need > 2 ? m[2] & 0x7F : 0;
    switch (status & 0xF0) {
        case 0x80: fluid_synth_noteoff(synth, channel, d1); break;
        case 0x90: fluid_synth_noteon(synth, channel, d1, d2); break;  // velocity 0 is a note off
        case 0xA0: fluid_synth_key_pressure(synth, channel, d1, d2); break;
        case 0xB0: fluid_synth_cc(synth, channel, d1, d2); break;
        case 0xC0: fluid_synth_program_change(synth, channel, d1); break;
        case 0xD0: fluid_synth_channel_pressure(synth, channel, d1); break;
        case 0xE0: fluid_synth_pitch_bend(synth, channel, d1 | (d2 << 7)); break;
        default:
            if (status == 0xFF) fluid_synth_system_reset(synth);
            break;  // other system messages mean nothing to a synthesizer
    }
    // A note off for a silent key and the like are not failures of the output.
    return midiresult::NoError;
}

int playBytesOnFluidSynth(fluid_synth_t* synth, const uint8_t* bytes, size_t length) {
    int result = midiresult::NoError;
    splitMidiBytes(bytes, length, [&](const uint8_t* message, size_t n) {
        int r = playOnFluidSynth(synth, message, n);
        if (result == midiresult::NoError) result = r;
    });
    return result;
}

#endif

}  // namespace tunecase
