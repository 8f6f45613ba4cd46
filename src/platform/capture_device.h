// The capture device: records every message it is sent into a text file, one line per
// message: the time in microseconds since the device opened, a blank, then the message
// bytes as upper-case hexadecimal pairs separated by blanks ("125000 90 3C 40"). A long
// message stays on one line. Its reset records what reset sends (all sound off and reset
// controllers on every channel), then the system-reset byte FF for the synthesizer reset.
#pragma once

#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/midi_out_device.h"

namespace tunecase {

class CaptureDevice final : public MidiOutDevice {
public:
    // Creates (or empties) `path`. Returns Error when the file cannot be written.
    static int open(const std::string& path, std::unique_ptr<MidiOutDevice>& out);

    ~CaptureDevice() override;
    int sendShort(uint32_t packed) override;
    int sendLong(const uint8_t* bytes, size_t length) override;
    int close() override;

protected:
    int resetSynth() override;

private:
    explicit CaptureDevice(std::FILE* file);
    int write(const uint8_t* bytes, size_t length);

    std::mutex mutex_;
    std::FILE* file_;
    std::chrono::steady_clock::time_point opened_;
};

// One capture line (without the line end).
std::string formatCaptureLine(int64_t timeUs, const uint8_t* bytes, size_t length);

// Reads capture text back. Empty lines are skipped; any other line must be a time of up to
// 18 digits followed by at least one blank-separated hexadecimal pair. Returns false and
// sets `badLine` (1-based) at the first line that is not.
bool parseCaptureText(std::string_view text, std::vector<TimedMidiMessage>& out,
                      size_t* badLine = nullptr);

// Reads a capture file. Returns false when it does not open or does not parse.
bool readCaptureFile(const std::string& path, std::vector<TimedMidiMessage>& out);

}  // namespace tunecase
