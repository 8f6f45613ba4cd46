// Renders timed MIDI messages into a WAV file through the built-in synthesizer, as fast as
// the machine computes (no audio output involved): 16-bit stereo PCM.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/midi_out_device.h"

namespace tunecase {

struct RenderOptions {
    std::string soundfont = kDefaultSoundfont;
    double gain = kSynthGain;
    int sampleRate = 44100;
    // Rendered after the last message, so releases and reverb die away.
    int64_t tailUs = 2'000'000;
};

struct RenderResult {
    bool ok = false;
    std::string error;    // why it failed, for the caller's message
    uint64_t frames = 0;  // sample frames written
};

// Renders `messages` (times in microseconds from the start; any order, negative times
// count as 0) into `wavPath`. The file is written under a temporary name and renamed, so a
// failed render leaves no partial file. Without the synthesizer (not built in, or its library
// missing) nothing is written and `error` says why.
RenderResult renderToWav(const std::vector<TimedMidiMessage>& messages, const std::string& wavPath,
                         const RenderOptions& options = {});

}  // namespace tunecase
