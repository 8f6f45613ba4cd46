// The MIDI output port: one open output device for the length of one play run.
//
// Turns note, controller, program and system-exclusive requests into device messages and
// reports failures in the MDCT error boxes. Open and close run on the thread that starts
// and stops playback; sends run on the timer thread. The port itself takes no lock: the
// player ends its timer chain before it closes the port.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/reporter.h"
#include "platform/midi_out_device.h"

namespace tunecase {

namespace mdct {
inline constexpr uint32_t CantOpen = 0x07000001;
inline constexpr uint32_t CantClose = 0x07000002;
inline constexpr uint32_t CantChangeTone = 0x07000003;
inline constexpr uint32_t CantSendSysEx = 0x07000004;
inline constexpr uint32_t InvalidParameter = 0x07000005;
}  // namespace mdct

extern const MessageTable kMidiControlerErrors;

// 1 until the "no MIDI output device" box has been shown once; later runs fail silently.
extern std::atomic<int32_t> reportMissingMidiDevice;

// The device every play run opens; the mapper unless changed.
extern std::atomic<int32_t> defaultMidiDeviceId;

// The system text an OK box shows for a failed open (empty for codes without one).
const char* midiOpenErrorText(int result);

// The longest stored system-exclusive event: a leading F0 and a length byte, then at most
// 256 bytes sent (kSysExBlockSize).
inline constexpr size_t kSysExBlockSize = 256;
inline constexpr size_t kMaxStoredSysEx = kSysExBlockSize + 1;

class MidiControler {
public:
    // Opens `deviceId`. With no device at all, or when the open fails (after the mapper's
    // retry on device 0), the port stays closed: isOpen() is false.
    explicit MidiControler(int deviceId = defaultMidiDeviceId.load());
    // A port on a device that is already open (the offline schedule's recorder).
    explicit MidiControler(std::unique_ptr<MidiOutDevice> device) : device_(std::move(device)) {}
    ~MidiControler();  // closes the port if it is still open
    MidiControler(const MidiControler&) = delete;
    MidiControler& operator=(const MidiControler&) = delete;

    // Whether a device is open; the player ends a run at once when it is not.
    bool isOpen() const { return device_ != nullptr; }

    // Resets the device (silencing every note), then closes it. Each failure shows
    // MDCT 0x07000002. Returns 1 when both steps succeeded; does nothing (returns 1) when
    // no device is open.
    int close();

    // The sends return the device's result code, 0 when the message went out.

    // Note on; a velocity with bit 7 set is sent as 127.
    int noteOn(int note, int velocity, int channel);
    // Note off with release velocity 0.
    int noteOff(int note, int channel);
    // Sends status, data1, data2, each masked to 8 bits.
    int sendShort(int data2, int data1, int status);
    int controlChange(int value, int controller, int channel);
    // Failure shows MDCT 0x07000003.
    int programChange(int program, int channel);

    // Sends a system-exclusive event in its stored form: F0, a length byte, then the body
    // ending in F7; the device gets F0 and the body, without the length byte. Anything that
    // does not start with F0 (an escape event) is sent unchanged. A message that does not
    // fit the 256-byte send block is refused with MDCT 0x07000005; an empty one fails
    // without a box.
    int sendSystemExclusive(size_t length, const uint8_t* bytes);

    // Controller 123 (all notes off) on channels 0..15, in order.
    void allNotesOff();

    // GM System On (kGmSystemOnStored): the device receives it without the length byte.
    int sendGmSystemOn();

private:
    int send(uint32_t packed);

    std::unique_ptr<MidiOutDevice> device_;
};

}  // namespace tunecase
