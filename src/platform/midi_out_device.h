// MIDI output devices: the interface every output implements, the list of devices the
// program can open, and the process-wide switch that routes playback into a capture file.
//
// Device ids follow the usual MIDI-output numbering: -1 is the mapper, which plays through
// device 0; devices 0..count-1 are real outputs. Device 0 is the built-in General MIDI
// synthesizer (FluidSynth, sounding through the default audio output) when the program was
// built with it; the output ports RtMidi lists (ALSA sequencer, JACK) follow. When a capture
// file is asked for, the capture device takes device 0's place, so the mapper records into
// the file instead of sounding.
//
// This layer stands in for the Win32 multimedia MIDI output; its result codes keep those
// values (MMSYSERR_*, MIDIERR_NODEVICE) so that a failed open shows the matching system text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tunecase {

namespace midiresult {
inline constexpr int NoError = 0;
inline constexpr int Error = 1;           // unspecified failure
inline constexpr int BadDeviceId = 2;     // no device with that id
inline constexpr int Allocated = 4;       // device already in use
inline constexpr int InvalidHandle = 5;   // the port is not open
inline constexpr int NoDriver = 6;        // no driver behind the device (no audio output)
inline constexpr int NoMemory = 7;
inline constexpr int InvalidParam = 11;   // bad message or length
inline constexpr int NoMapperPort = 68;   // the mapper found no port to play through
}  // namespace midiresult

// The mapper's device id.
inline constexpr int kMidiMapper = -1;

// The General MIDI soundfont the built-in synthesizer loads.
inline constexpr const char* kDefaultSoundfont = "/usr/share/sounds/sf2/default-GM.sf2";

// The built-in synthesizer's output level (the library's default 0.2 is far too quiet).
inline constexpr double kSynthGain = 0.8;

// One open output. Sends may come from the timer thread while open and close run on the
// starting thread; implementations keep themselves consistent under that use.
class MidiOutDevice {
public:
    virtual ~MidiOutDevice() = default;

    // Sends a short message packed status | data1 << 8 | data2 << 16. Only the bytes the
    // status calls for are sent. Returns a midiresult code.
    virtual int sendShort(uint32_t packed) = 0;

    // Sends a complete long message (a system-exclusive message F0 .. F7, or any run of raw
    // MIDI bytes). Returns a midiresult code.
    virtual int sendLong(const uint8_t* bytes, size_t length) = 0;

    // Silences the device: all sound off and reset all controllers on every channel, then
    // whatever resets the device's synthesizer. Returns a midiresult code.
    virtual int reset();

    // Closes the device; later sends fail with InvalidHandle. Returns a midiresult code.
    virtual int close() = 0;

protected:
    // The last step of reset(). Outputs without a synthesizer of their own do nothing.
    virtual int resetSynth() { return midiresult::NoError; }
};

// A device the program can open.
struct MidiOutDeviceInfo {
    int id = 0;
    std::string name;
};

// What device ids lead to. The default one lists the real outputs; tests install their own.
class MidiOutSystem {
public:
    virtual ~MidiOutSystem() = default;
    virtual std::vector<MidiOutDeviceInfo> devices() = 0;
    // Opens `deviceId` (kMidiMapper included) into `out`. Returns a midiresult code; `out`
    // is set only on NoError.
    virtual int open(int deviceId, std::unique_ptr<MidiOutDevice>& out) = 0;
};

// Installs `system` for the whole process and returns the previous one; nullptr restores
// the real outputs. The caller keeps ownership.
MidiOutSystem* setMidiOutSystem(MidiOutSystem* system);

// Routes device 0 (and so the mapper) into a capture file at `path` for every later open;
// an empty path switches capture off again.
void setMidiCaptureFile(std::string path);
std::string midiCaptureFile();

// The number of openable devices (the mapper not counted).
int midiOutGetNumDevs();

// Every openable device, in id order.
std::vector<MidiOutDeviceInfo> midiOutDevices();

// Opens a device through the installed system. Returns a midiresult code.
int midiOutOpen(int deviceId, std::unique_ptr<MidiOutDevice>& out);

// What the last failed open on this thread knows of the cause, for the message that
// follows it (for a capture file: its path and the system's reason); "" when nothing is
// known or the last open succeeded.
std::string midiOutOpenFailure();

// Records the cause of a failing open on this thread (an output calls it as it fails).
void setMidiOutOpenFailure(std::string cause);

// ---- Message bytes -------------------------------------------------------------------------

// The length of the short message that starts with `status`: 1 to 3, or 0 when `status`
// is not a status byte or starts a long message (F0, F7).
size_t shortMessageLength(uint8_t status);

// The bytes of a packed short message; returns their count (0 for an invalid status).
size_t unpackShortMessage(uint32_t packed, uint8_t out[3]);

// Splits a run of raw MIDI bytes into whole messages: F0 .. F7 system-exclusive messages
// (handed over with both end bytes) and short messages (running status is honoured).
// Real-time bytes inside a system-exclusive message are handed over on their own. Stray
// data bytes and unfinished messages are dropped.
void splitMidiBytes(const uint8_t* bytes, size_t length,
                    const std::function<void(const uint8_t* message, size_t length)>& each);

// A message with its time, for capture files and offline rendering.
struct TimedMidiMessage {
    int64_t timeUs = 0;  // microseconds from the start
    std::vector<uint8_t> bytes;

    bool operator==(const TimedMidiMessage&) const = default;
};

}  // namespace tunecase
