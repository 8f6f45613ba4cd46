// Renders timed MIDI messages into an audio file through the built-in synthesizer, as fast as
// the machine computes (no audio output involved): stereo, brought to a loudness target, in
// the format the file's extension names (written with libsndfile).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/loudness.h"
#include "platform/midi_out_device.h"

namespace tunecase {

enum class AudioFormat { Wav, Flac, OggVorbis, Opus, Mp3 };

struct AudioFormatInfo {
    AudioFormat format;
    const char* extension;  // lower case, without the dot
    int sampleRate;         // the one rate the format takes, 0 when any
};

// The format a file name asks for by its extension (any case), or nullptr.
const AudioFormatInfo* audioFormatFor(std::string_view path);
// ".wav, .flac, .ogg, .opus, .mp3", for messages.
std::string acceptedAudioExtensions();

struct RenderOptions {
    std::string soundfont = kDefaultSoundfont;
    double synthGain = kSynthGain;
    int sampleRate = 0;  // 0: the format's own rate, else 44.1 kHz
    // Rendered after the last message, so releases and reverb die away.
    int64_t tailUs = 2'000'000;
    // Normalising brings the song to the target; gainDb is added after it (or to the raw
    // level without it) and the true-peak ceiling still holds when normalising.
    bool normalize = true;
    LevelTarget target;
    double gainDb = 0;
    // Synthesizers rendering parts of the song side by side; 0: one per core, at most 2.
    int threads = 0;
    // Reads only the samples of the presets the song plays (the same sound, less memory and
    // time); off, the synthesizer first loads its default presets as a live one does.
    bool onlyPlayedPresets = true;
    // Called on the caller's thread with the share done, 0..1.
    std::function<void(double)> progress;
};

struct RenderResult {
    bool ok = false;
    std::string error;    // why it failed, for the caller's message
    uint64_t frames = 0;  // sample frames written
    size_t messages = 0;  // MIDI messages played
    int sampleRate = 0;
    double gainDb = 0;    // the gain applied to the synthesizer's output
    // Of the file as written: -infinity when silent, NaN when not measured (no normalising).
    double loudnessLufs = 0;
    double truePeakDbtp = 0;
};

// Renders `messages` (times in microseconds from the start; any order, negative times
// count as 0) into `path` in the format its extension names. The file is written under a
// temporary name and renamed, so a failed render leaves no partial file. Without the
// synthesizer (not built in, or its library missing) nothing is written and `error` says why.
RenderResult renderAudioFile(const std::vector<TimedMidiMessage>& messages, const std::string& path,
                             const RenderOptions& options = {});

}  // namespace tunecase
