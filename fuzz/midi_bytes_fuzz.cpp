// Arbitrary bytes as the data of a stored system-exclusive event, sent through the output
// port to a device that checks what arrives, and as a raw byte run split into messages.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/reporter.h"
#include "platform/midi_out_device.h"
#include "playback/midi_controler.h"

namespace {

// Checks every long message against the port's send block size.
class CheckingDevice final : public tunecase::MidiOutDevice {
public:
    int sendShort(uint32_t) override { return 0; }
    int sendLong(const uint8_t* bytes, size_t length) override {
        if (!bytes || length == 0 || length > tunecase::kSysExBlockSize) __builtin_trap();
        volatile uint8_t touch = bytes[length - 1];
        (void)touch;
        return 0;
    }
    int close() override { return 0; }
};

class CheckingSystem final : public tunecase::MidiOutSystem {
public:
    std::vector<tunecase::MidiOutDeviceInfo> devices() override { return {{0, "check"}}; }
    int open(int, std::unique_ptr<tunecase::MidiOutDevice>& out) override {
        out = std::make_unique<CheckingDevice>();
        return 0;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static tunecase::SilentSink sink;
    static CheckingSystem system;
    tunecase::setReportSink(&sink);
    tunecase::setMidiOutSystem(&system);
    {
        tunecase::MidiControler port(0);
        // An exact-size copy, so reading past the event shows up under the sanitizers.
        std::vector<uint8_t> event(data, data + size);
        port.sendSystemExclusive(event.size(), event.empty() ? nullptr : event.data());
    }
    tunecase::splitMidiBytes(data, size, [](const uint8_t* m, size_t n) {
        if (n == 0) __builtin_trap();
        if (m[0] == 0xF0) {
            if (n < 2 || m[n - 1] != 0xF7) __builtin_trap();
        } else if (tunecase::shortMessageLength(m[0]) != n) {
            __builtin_trap();
        }
    });
    tunecase::setMidiOutSystem(nullptr);
    return 0;
}
