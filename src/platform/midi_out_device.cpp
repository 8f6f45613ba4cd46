#include "platform/midi_out_device.h"

#include <atomic>
#include <mutex>

#include "base/reporter.h"
#include "base/translation.h"
#include "platform/capture_device.h"
#include "platform/fluid_synth_device.h"
#include "platform/rtmidi_device.h"

namespace tunecase {

int MidiOutDevice::reset() {
    int result = midiresult::NoError;
    auto keep = [&result](int r) {
        if (result == midiresult::NoError) result = r;
    };
    for (uint32_t channel = 0; channel < 16; ++channel) {
        keep(sendShort(0xB0 | channel | (120u << 8)));  // all sound off
        keep(sendShort(0xB0 | channel | (121u << 8)));  // reset all controllers
    }
    keep(resetSynth());
    return result;
}

namespace {

std::mutex captureMutex;
std::string capturePath;

// Device 0 is the capture file when one is asked for, else the built-in synthesizer when
// there is one; the library's output ports follow.
class RealMidiOutSystem final : public MidiOutSystem {
public:
    std::vector<MidiOutDeviceInfo> devices() override {
        std::vector<MidiOutDeviceInfo> list;
        std::string capture = midiCaptureFile();
        if (!capture.empty())
            list.push_back({0, fillIn(tr("Capture to %s"), capture)});

        else if (fluidSynthAvailable())
            list.push_back({0, fluidSynthDeviceName()});
        for (auto& name : rtMidiPortNames())
            list.push_back({static_cast<int>(list.size()), std::move(name)});
        return list;
    }

    int open(int deviceId, std::unique_ptr<MidiOutDevice>& out) override {
        if (deviceId < kMidiMapper) return midiresult::BadDeviceId;
        bool mapper = deviceId == kMidiMapper;
        int first = 0;
        std::string capture = midiCaptureFile();
        if (!capture.empty()) {
            if (deviceId <= 0) return CaptureDevice::open(capture, out);
            first = 1;
        } else if (fluidSynthAvailable()) {
            if (deviceId <= 0) return openFluidSynthDevice(mapper, kDefaultSoundfont, out);
            first = 1;
        }
        int port = (mapper ? 0 : deviceId) - first;
        int result = openRtMidiPort(port, out);
        if (mapper && result == midiresult::BadDeviceId) return midiresult::NoMapperPort;
        return result;
    }
};

RealMidiOutSystem& realSystem() {
    static RealMidiOutSystem system;
    return system;
}

std::atomic<MidiOutSystem*> installedSystem{nullptr};

MidiOutSystem& activeSystem() {
    MidiOutSystem* system = installedSystem.load();
    return system ? *system : realSystem();
}

}  // namespace

MidiOutSystem* setMidiOutSystem(MidiOutSystem* system) { return installedSystem.exchange(system); }

void setMidiCaptureFile(std::string path) {
    std::lock_guard lock(captureMutex);
    capturePath = std::move(path);
}

std::string midiCaptureFile() {
    std::lock_guard lock(captureMutex);
    return capturePath;
}

int midiOutGetNumDevs() { return static_cast<int>(activeSystem().devices().size()); }

std::vector<MidiOutDeviceInfo> midiOutDevices() { return activeSystem().devices(); }

namespace {
thread_local std::string lastOpenFailure;
}  // namespace

std::string midiOutOpenFailure() { return lastOpenFailure; }

void setMidiOutOpenFailure(std::string cause) { lastOpenFailure = std::move(cause); }

int midiOutOpen(int deviceId, std::unique_ptr<MidiOutDevice>& out) {
    lastOpenFailure.clear();
    std::unique_ptr<MidiOutDevice> opened;
    int result = activeSystem().open(deviceId, opened);
    if (result == midiresult::NoError) {
        if (!opened) return midiresult::Error;
        out = std::move(opened);
    }
    return result;
}

size_t shortMessageLength(uint8_t status) {
    if (status < 0x80) return 0;
    if (status < 0xC0) return 3;  // note off, note on, key pressure, control change
    if (status < 0xE0) return 2;  // program change, channel pressure
    if (status < 0xF0) return 3;  // pitch bend
    switch (status) {
        case 0xF0:
        case 0xF7: return 0;  // long messages
        case 0xF1:            // time code quarter frame
        case 0xF3: return 2;  // song select
        case 0xF2: return 3;  // song position
        default: return 1;    // tune request, real-time and undefined system bytes
    }
}

size_t unpackShortMessage(uint32_t packed, uint8_t out[3]) {
    out[0] = static_cast<uint8_t>(packed);
    out[1] = static_cast<uint8_t>(packed >> 8);
    out[2] = static_cast<uint8_t>(packed >> 16);
    return shortMessageLength(out[0]);
}

void splitMidiBytes(const uint8_t* bytes, size_t length,
                    const std::function<void(const uint8_t*, size_t)>& each) {
    if (!bytes) return;
    std::vector<uint8_t> sysex;
    bool inSysex = false;
    uint8_t running = 0;
    uint8_t message[3];
    size_t have = 0, need = 0;
    for (size_t i = 0; i < length; ++i) {
        uint8_t b = bytes[i];
        if (b >= 0xF8) {  // real-time bytes may appear anywhere
            each(&b, 1);
            continue;
        }
        if (inSysex) {
            if (b < 0x80) {
                sysex.push_back(b);
                continue;
            }
            inSysex = false;
            if (b == 0xF7) {
                sysex.push_back(b);
                each(sysex.data(), sysex.size());
                sysex.clear();
                continue;
            }
            sysex.clear();  // cut short by another status byte: dropped
        }
        if (b == 0xF0) {
            inSysex = true;
            sysex.assign(1, b);
            running = 0;
            have = need = 0;
            continue;
        }
        if (b >= 0x80) {
            running = b < 0xF0 ? b : 0;
            have = need = 0;
            if (b == 0xF7) continue;  // an end byte with no start
            message[0] = b;
            have = 1;
            need = shortMessageLength(b);
        } else {
            if (need == 0) {
                if (running == 0) continue;  // stray data byte
                message[0] = running;
                have = 1;
                need = shortMessageLength(running);
            }
            message[have++] = b;
        }
        if (have == need) {
            each(message, need);
            have = need = 0;
        }
    }
}

}  // namespace tunecase
