#include "platform/offline_renderer.h"

#include <sndfile.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <future>
#include <limits>
#include <memory>
#include <numeric>
#include <optional>
#include <thread>

#include <unistd.h>

#include "base/atomic_file.h"
#include "base/reporter.h"
#include "base/translation.h"
#include "base/utilities.h"

#ifdef TUNECASE_HAVE_FLUIDSYNTH
#include "platform/fluid_synth_device.h"
#endif

namespace tunecase {

namespace {

constexpr std::array<AudioFormatInfo, 5> kFormats{{
    {AudioFormat::Wav, "wav", 0},
    {AudioFormat::Flac, "flac", 0},
    {AudioFormat::OggVorbis, "ogg", 0},
    {AudioFormat::Opus, "opus", 48000},  // Opus knows 48 kHz and its fractions only
    {AudioFormat::Mp3, "mp3", 0},
}};

int sndfileFormat(AudioFormat format) {
    switch (format) {
        case AudioFormat::Wav: return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        case AudioFormat::Flac: return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
        case AudioFormat::OggVorbis: return SF_FORMAT_OGG | SF_FORMAT_VORBIS;
        case AudioFormat::Opus: return SF_FORMAT_OGG | SF_FORMAT_OPUS;
        case AudioFormat::Mp3: return SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
    }
    return 0;
}

}  // namespace

const AudioFormatInfo* audioFormatFor(std::string_view path) {
    const std::string ext = extensionLower(path);
    for (const AudioFormatInfo& f : kFormats) {
        if (ext == f.extension) return &f;
    }
    return nullptr;
}

std::string acceptedAudioExtensions() {
    std::string list;
    for (const AudioFormatInfo& f : kFormats) list += (list.empty() ? "." : ", .") + std::string(f.extension);
    return list;
}

#ifndef TUNECASE_HAVE_FLUIDSYNTH

RenderResult renderAudioFile(const std::vector<TimedMidiMessage>&, const std::string&, const RenderOptions&) {
    RenderResult result;
    result.error = tr("this build has no synthesizer");
    return result;
}

#else

namespace {

constexpr int kChannels = 2;
constexpr uint64_t kBlockFrames = 4096;
// The synthesizer starts every message on its own grid of 64 frames from its start; a part
// rendered by a second synthesizer starts on that grid too, so its notes fall where the
// first one's would.
constexpr uint64_t kGrid = 64;
// The second synthesizer starts at least this long before its part, and before every note that
// may still sound there (a note sounds on for this long after its note off), so notes and
// reverb are in full swing where it takes over; the two overlap by a short cross-fade.
constexpr double kLeadInSeconds = 2.0;
constexpr double kReleaseSeconds = 2.0;
constexpr uint64_t kFadeFrames = 4096;
constexpr int kPolyphony = 48;
// Shorter songs are not worth a second synthesizer.
constexpr double kMinSplitSeconds = 20.0;
// Keeps the 16-bit formats' sizes and the frame arithmetic in range.
constexpr uint64_t kMaxFrames = (0xFFFFFFFFull - 36) / 4;

struct Owned {
    explicit Owned(const FluidSynthApi& api) : fluid(api) {}
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    const FluidSynthApi& fluid;
    fluid_settings_t* settings = nullptr;
    fluid_synth_t* synth = nullptr;
    ~Owned() {
        if (synth) fluid.delete_fluid_synth(synth);
        if (settings) fluid.delete_fluid_settings(settings);
    }
};

uint64_t frameAt(int64_t timeUs, int sampleRate) {
    if (timeUs <= 0) return 0;
    // Split to keep the product in range for any time.
    uint64_t t = static_cast<uint64_t>(timeUs);
    return (t / 1000000) * static_cast<uint64_t>(sampleRate) +
           (t % 1000000) * static_cast<uint64_t>(sampleRate) / 1000000;
}

// Chorus costs a third of the rendering time; the music-box presets send nothing to it unless
// the song raises a chorus depth (controller 93). Reverb stays: the presets send to it themselves.
bool songUsesChorus(const std::vector<TimedMidiMessage>& messages) {
    bool used = false;
    for (const TimedMidiMessage& m : messages) {
        splitMidiBytes(m.bytes.data(), m.bytes.size(), [&used](const uint8_t* b, size_t n) {
            if (n == 3 && (b[0] & 0xF0) == 0xB0 && b[1] == 93 && b[2] != 0) used = true;
        });
        if (used) return true;
    }
    return false;
}

// The synthesizer itself; the soundfont is loaded by loadSoundfont, on the thread that renders.
bool startSynth(const FluidSynthApi& fluid, const RenderOptions& options, int rate, bool chorus, Owned& own,
                std::string& error) {
    own.settings = fluid.new_fluid_settings();
    if (!own.settings) {
        error = tr("out of memory");
        return false;
    }
    fluid.fluid_settings_setnum(own.settings, "synth.gain", options.synthGain);
    fluid.fluid_settings_setnum(own.settings, "synth.sample-rate", rate);
    // Only the samples of the presets the song selects are read from the soundfont.
    fluid.fluid_settings_setint(own.settings, "synth.dynamic-sample-loading", 1);
    fluid.fluid_settings_setint(own.settings, "synth.chorus.active", chorus ? 1 : 0);
    // A music box sounds a handful of notes at once; fewer voices keep the memory down.
    fluid.fluid_settings_setint(own.settings, "synth.polyphony", kPolyphony);
    own.synth = fluid.new_fluid_synth(own.settings);
    if (!own.synth) {
        error = fillIn(tr("the synthesizer did not start: %s"), lastFluidSynthError());
        return false;
    }
    return true;
}

struct Placed {
    uint64_t frame;
    const TimedMidiMessage* message;
};

// General MIDI (1 or 2) System On: the state a synthesizer starts in.
bool isSystemOn(const uint8_t* m, size_t n) {
    return n == 6 && m[0] == 0xF0 && m[1] == 0x7E && m[3] == 0x09 && (m[4] == 0x01 || m[4] == 0x03) && m[5] == 0xF7;
}

// The frame of the song's first note. A reset before it finds a fresh synthesizer as it is
// already, and would only load the default presets' samples (a piano, a drum kit) for nothing.
uint64_t firstNoteFrame(const std::vector<Placed>& order) {
    uint64_t first = UINT64_MAX;
    for (const Placed& p : order) {
        splitMidiBytes(p.message->bytes.data(), p.message->bytes.size(), [&](const uint8_t* m, size_t n) {
            if (n == 3 && (m[0] & 0xF0) == 0x90 && m[2] != 0) first = std::min(first, p.frame);
        });
        if (first != UINT64_MAX) break;
    }
    return first;
}

// The bank and program a channel sounds its first note with (-1: as the channel starts).
struct PresetChoice {
    int bankMsb = -1, bankLsb = -1, program = -1;
    bool sounds = false;  // the channel has a note from the part's start on
};

// Each channel's choice at its first note from `from` on, as the song's messages select it.
std::array<PresetChoice, 16> firstPresets(const std::vector<Placed>& order, uint64_t from) {
    std::array<PresetChoice, 16> now{}, chosen{};
    for (const Placed& p : order) {
        splitMidiBytes(p.message->bytes.data(), p.message->bytes.size(), [&](const uint8_t* m, size_t n) {
            if (isSystemOn(m, n)) now = {};
            if (n < 2 || m[0] >= 0xF0) return;
            const size_t channel = m[0] & 0x0F;
            PresetChoice& c = now[channel];
            const int kind = m[0] & 0xF0;
            if (kind == 0xC0) c.program = m[1];
            if (kind == 0xB0 && n == 3 && m[1] == 0) c.bankMsb = m[2];
            if (kind == 0xB0 && n == 3 && m[1] == 32) c.bankLsb = m[2];
            if (kind == 0x90 && n == 3 && m[2] != 0 && p.frame >= from && !chosen[channel].sounds) {
                chosen[channel] = c;
                chosen[channel].sounds = true;
            }
        });
    }
    return chosen;
}

// Selects the presets before the soundfont loads, so that loading reads the samples of these
// and no others (the synthesizer loads samples as presets are selected). A silent channel
// takes the first sounding melodic channel's preset, the drum channel turned melodic for it,
// rather than the piano or drum kit it would start with.
void choosePresets(const FluidSynthApi& fluid, fluid_synth_t* synth, const std::array<PresetChoice, 16>& choice) {
    constexpr int kDrumChannel = 9;
    const PresetChoice* melodic = nullptr;
    for (int ch = 0; ch < 16 && !melodic; ++ch) {
        if (ch != kDrumChannel && choice[static_cast<size_t>(ch)].sounds) melodic = &choice[static_cast<size_t>(ch)];
    }
    for (int ch = 0; ch < 16; ++ch) {
        const PresetChoice* c = &choice[static_cast<size_t>(ch)];
        if (!c->sounds) {
            if (!melodic) continue;
            if (ch == kDrumChannel) fluid.fluid_synth_set_channel_type(synth, ch, CHANNEL_TYPE_MELODIC);
            c = melodic;
        }
        if (c->bankMsb >= 0) fluid.fluid_synth_cc(synth, ch, 0, c->bankMsb);
        if (c->bankLsb >= 0) fluid.fluid_synth_cc(synth, ch, 32, c->bankLsb);
        if (c->program >= 0) fluid.fluid_synth_program_change(synth, ch, c->program);
    }
}

// Where a second synthesizer must start to play the song from `split` on as the first plays
// it: before every note that may still sound at `split`. 0 when that is the start itself
// (or a held pedal makes it unknowable).
uint64_t leadInStart(const std::vector<Placed>& order, uint64_t split, int rate) {
    const uint64_t release = static_cast<uint64_t>(kReleaseSeconds * rate);
    uint64_t start = split - std::min(split, static_cast<uint64_t>(kLeadInSeconds * rate));
    std::vector<uint64_t> onAt(16 * 128, UINT64_MAX);  // each key's oldest note still sounding
    bool pedal = false;
    for (const Placed& p : order) {
        if (p.frame >= split) break;
        splitMidiBytes(p.message->bytes.data(), p.message->bytes.size(), [&](const uint8_t* m, size_t n) {
            if (n != 3) return;
            const int kind = m[0] & 0xF0;
            uint64_t& on = onAt[static_cast<size_t>((m[0] & 0x0F) * 128 + (m[1] & 0x7F))];
            if (kind == 0xB0 && m[1] == 64 && m[2] >= 64) pedal = true;
            if (kind == 0x90 && m[2] != 0) {
                on = std::min(on, p.frame);
            } else if ((kind == 0x80 || kind == 0x90) && p.frame + release <= split) {
                on = UINT64_MAX;  // died away before the split
            }
        });
    }
    if (pedal) return 0;
    for (uint64_t on : onAt) start = std::min(start, on);
    return start / kGrid * kGrid;
}

// Blocks go in and out whole, each in one system call.
struct TempFile {
    std::FILE* file = [] {
        std::FILE* f = std::tmpfile();
        if (f) std::setvbuf(f, nullptr, _IONBF, 0);
        return f;
    }();
    ~TempFile() {
        if (file) std::fclose(file);
    }
};

// One synthesizer's part: started at `start` (on the grid) with the settings of every earlier
// message but none of their notes, it renders up to `to` and keeps the frames from `from` on.
// It measures the loudness of the frames it owns, from `from` up to `owns`, and the pieces'
// peaks of all it keeps, for the true peak (the cross-fade mixes two parts, and is no louder
// than the louder of them).
struct Part {
    Part(const FluidSynthApi& fluid, int rate) : synth(fluid), meter(kChannels, rate), peaks(kChannels) {}
    Owned synth;
    uint64_t start = 0, from = 0, owns = 0, to = 0;
    TempFile out;
    LoudnessMeter meter;
    PiecePeaks peaks;
    std::atomic<uint64_t> done{0};
    std::atomic<bool> ok{true};
    std::string error;
    bool scratchFull = false;  // the scratch file could not take the sound: the output cannot either
    uint64_t freshUntil = 0;   // resets before this frame (the song's first note) are left out

    // Only the presets the part plays are loaded.
    bool loadSoundfont(const std::string& soundfont, const std::vector<Placed>& order, uint64_t firstNote,
                       bool onlyPlayed) {
        if (onlyPlayed) {
            freshUntil = firstNote;
            choosePresets(synth.fluid, synth.synth, firstPresets(order, start));
        }
        if (synth.fluid.fluid_synth_sfload(synth.synth, soundfont.c_str(), 1) != FLUID_FAILED) return true;
        error = fillIn(tr("the soundfont %s did not load: %s"), {soundfont, lastFluidSynthError()});
        return ok = false;
    }

    // `tick`, when given, is called after every block.
    void render(const std::vector<Placed>& order, bool measure, const std::function<void()>& tick = {}) {
        const FluidSynthApi& fluid = synth.fluid;
        // Before the part's start only the settings play, none of the notes.
        auto play = [&](const Placed& p, bool notes) {
            splitMidiBytes(p.message->bytes.data(), p.message->bytes.size(), [&](const uint8_t* m, size_t n) {
                const uint8_t kind = m[0] & 0xF0;
                if (!notes && (kind == 0x80 || kind == 0x90 || kind == 0xA0)) return;
                if (p.frame < freshUntil && isSystemOn(m, n)) return;
                playOnFluidSynth(fluid, synth.synth, m, n);
            });
        };
        size_t i = 0;
        for (; i < order.size() && order[i].frame < start; ++i) play(order[i], false);
        std::vector<float> block(kBlockFrames * kChannels);
        uint64_t at = start;
        auto renderUntil = [&](uint64_t frame) {
            while (ok && at < frame) {
                uint64_t n = std::min(kBlockFrames, frame - at);
                if (at < from) n = std::min(n, from - at);
                if (at < owns) n = std::min(n, owns - at);
                fluid.fluid_synth_write_float(synth.synth, static_cast<int>(n), block.data(), 0, 2, block.data(), 1, 2);
                if (at >= from) {
                    if (measure) {
                        ok = at >= owns || meter.add(block.data(), n);
                        peaks.add(block.data(), n);
                    }
                    if (std::fwrite(block.data(), sizeof(float) * kChannels, n, out.file) != n) ok = false;
                }
                at += n;
                done.store(at - start, std::memory_order_relaxed);
                if (tick) tick();
            }
        };
        for (; i < order.size() && order[i].frame < to; ++i) {
            renderUntil(order[i].frame);
            play(order[i], true);
        }
        renderUntil(to);
        if (ok && std::fflush(out.file) != 0) ok = false;
        if (!ok && error.empty()) {
            error = std::strerror(errno);
            scratchFull = true;
        }
        // The soundfont's samples go before the file is written.
        fluid.delete_fluid_synth(synth.synth);
        synth.synth = nullptr;
    }

    // The frames kept from `from` on, read again (for the true peak, beside the writer).
    bool readKept(uint64_t first, size_t count, float* frames) const {
        auto* bytes = reinterpret_cast<char*>(frames);
        size_t left = count * kChannels * sizeof(float);
        off_t at = static_cast<off_t>(first * kChannels * sizeof(float));
        while (left > 0) {
            const ssize_t n = ::pread(::fileno(out.file), bytes, left, at);
            if (n == 0) return true;  // past the end: silence
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return false;
            bytes += n;
            at += n;
            left -= static_cast<size_t>(n);
        }
        return true;
    }
};

// The true peak (linear) of the parts' pieces in two ranges of their loudest samples, each part
// on a thread of its own: first those from `first` up, then those from `rest` up to `first`.
// Each answer is asked for once; nullopt when the sound could not be read again.
class PeakMeasuring {
public:
    PeakMeasuring(const std::vector<std::unique_ptr<Part>>& parts, int rate, float first, float rest) {
        for (const auto& part : parts) {
            std::promise<std::optional<double>> firstFound, restFound;
            first_.push_back(firstFound.get_future());
            rest_.push_back(restFound.get_future());
            threads_.emplace_back([&part = *part, rate, first, rest, firstFound = std::move(firstFound),
                                   restFound = std::move(restFound)]() mutable {
                const FrameReader read = [&part](uint64_t at, size_t count, float* out) {
                    return part.readKept(at, count, out);
                };
                constexpr float kAll = std::numeric_limits<float>::infinity();
                firstFound.set_value(truePeakOfPieces(part.peaks, rate, first, kAll, read));
                restFound.set_value(truePeakOfPieces(part.peaks, rate, rest, first, read));
            });
        }
    }
    std::optional<double> first() { return largest(first_); }
    std::optional<double> rest() { return largest(rest_); }

private:
    using Found = std::future<std::optional<double>>;
    static std::optional<double> largest(std::vector<Found>& found) {
        double peak = 0;
        bool ok = true;
        for (Found& f : found) {
            const std::optional<double> p = f.get();
            ok = ok && p.has_value();
            peak = std::max(peak, p.value_or(0));
        }
        return ok ? std::optional<double>(peak) : std::nullopt;
    }
    std::vector<Found> first_, rest_;
    std::vector<std::jthread> threads_;
};

// The rendered song read back in order: the first part, the cross-fade, the second part.
bool readSong(const std::vector<std::unique_ptr<Part>>& parts, uint64_t fade,
              const std::function<bool(float*, size_t)>& use) {
    std::vector<float> block(kBlockFrames * kChannels), other(kBlockFrames * kChannels);
    for (auto& part : parts) std::rewind(part->out.file);
    for (size_t p = 0; p < parts.size(); ++p) {
        const Part& part = *parts[p];
        const bool last = p + 1 == parts.size();
        // The fade at the start of this part was read with the one before it.
        uint64_t at = part.from + (p > 0 ? fade : 0);
        while (at < part.owns) {
            size_t n = static_cast<size_t>(std::min(kBlockFrames, part.owns - at));
            if (std::fread(block.data(), sizeof(float) * kChannels, n, part.out.file) != n) return false;
            if (!use(block.data(), n)) return false;
            at += n;
        }
        if (last) break;
        // Both synthesizers play the same notes here; only their reverb and chorus differ.
        Part& next = *parts[p + 1];
        for (uint64_t f = 0; f < fade;) {
            size_t n = static_cast<size_t>(std::min(kBlockFrames, fade - f));
            if (std::fread(block.data(), sizeof(float) * kChannels, n, part.out.file) != n ||
                std::fread(other.data(), sizeof(float) * kChannels, n, next.out.file) != n) {
                return false;
            }
            for (size_t i = 0; i < n; ++i) {
                float w = static_cast<float>(f + i) / static_cast<float>(fade);
                for (int c = 0; c < kChannels; ++c) {
                    float& s = block[i * kChannels + c];
                    s = s * (1 - w) + other[i * kChannels + c] * w;
                }
            }
            if (!use(block.data(), n)) return false;
            f += n;
        }
    }
    return true;
}

// libsndfile writes through the AtomicFile's stream, so the file appears only when whole.
sf_count_t vioLength(void* user) {
    std::FILE* f = static_cast<std::FILE*>(user);
    off_t here = ftello(f);
    if (fseeko(f, 0, SEEK_END) != 0) return -1;
    off_t end = ftello(f);
    fseeko(f, here, SEEK_SET);
    return end;
}
sf_count_t vioSeek(sf_count_t offset, int whence, void* user) {
    std::FILE* f = static_cast<std::FILE*>(user);
    if (fseeko(f, offset, whence) != 0) return -1;
    return ftello(f);
}
sf_count_t vioRead(void* ptr, sf_count_t count, void* user) {
    return static_cast<sf_count_t>(std::fread(ptr, 1, static_cast<size_t>(count), static_cast<std::FILE*>(user)));
}
sf_count_t vioWrite(const void* ptr, sf_count_t count, void* user) {
    return static_cast<sf_count_t>(std::fwrite(ptr, 1, static_cast<size_t>(count), static_cast<std::FILE*>(user)));
}
sf_count_t vioTell(void* user) { return ftello(static_cast<std::FILE*>(user)); }

}  // namespace

RenderResult renderAudioFile(const std::vector<TimedMidiMessage>& messages, const std::string& path,
                             const RenderOptions& options) {
    RenderResult result;
    const AudioFormatInfo* format = audioFormatFor(path);
    if (!format) {
        result.error = fillIn(tr("the formats written are %s"), acceptedAudioExtensions());
        return result;
    }
    const int rate = format->sampleRate ? format->sampleRate : options.sampleRate ? options.sampleRate : 44100;
    if (rate < 8000 || rate > 192000 || (format->sampleRate && options.sampleRate && options.sampleRate != rate)) {
        result.error = tr("sample rate out of range");
        return result;
    }
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = kChannels;
    info.format = sndfileFormat(format->format);
    if (!sf_format_check(&info)) {
        result.error = fillIn(tr("this system's libsndfile does not write .%s files"), format->extension);
        return result;
    }

    std::vector<Placed> order;
    order.reserve(messages.size());
    for (const TimedMidiMessage& m : messages) order.push_back({frameAt(m.timeUs, rate), &m});
    std::stable_sort(order.begin(), order.end(), [](const Placed& a, const Placed& b) { return a.frame < b.frame; });
    const uint64_t lastFrame = order.empty() ? 0 : order.back().frame;
    const uint64_t total = lastFrame + frameAt(std::max<int64_t>(0, options.tailUs), rate);
    if (total > kMaxFrames) {
        result.error = tr("too long for an audio file");
        return result;
    }

    // The synthesizer's library is opened by the first render (or device listing).
    const FluidSynthApi* api = fluidSynthApi();
    if (!api) {
        result.error = fillIn(tr("the synthesizer is not available: %s"), fluidSynthLoadError());
        return result;
    }
    const FluidSynthApi& fluid = *api;
    quietFluidSynthLog(fluid);

    // A long song is rendered as two halves side by side, the second from a little before
    // its half on. The split lies as far past the middle as makes both parts equally long,
    // the second's lead-in included.
    int threads = options.threads > 0 ? options.threads
                                      : static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 2u));
    const uint64_t fade = kFadeFrames;
    const uint64_t middle = total / 2 / kGrid * kGrid;
    const uint64_t lead = middle - leadInStart(order, middle, rate);
    const uint64_t split = std::min(middle + lead / 2, total) / kGrid * kGrid;
    const uint64_t secondStart = leadInStart(order, split, rate);
    // Not worth it for a short song, nor where the second part would start near the first.
    if (total < static_cast<uint64_t>(kMinSplitSeconds * rate) || secondStart < split / 2) threads = 1;
    const bool chorus = songUsesChorus(messages);
    const uint64_t firstNote = firstNoteFrame(order);
    std::vector<std::unique_ptr<Part>> parts;
    for (int p = 0; p < threads; ++p) {
        auto part = std::make_unique<Part>(fluid, rate);
        if (p == 0) {
            part->owns = threads > 1 ? split : total;
            part->to = threads > 1 ? split + fade : total;
        } else {
            part->start = secondStart;
            part->from = split;
            part->owns = part->to = total;
        }
        if (!part->out.file) {
            result.error = fillIn(tr("no room for a temporary file: %s"), std::strerror(errno));
            return result;
        }
        if (!startSynth(fluid, options, rate, chorus, part->synth, result.error)) return result;
        parts.push_back(std::move(part));
    }
    uint64_t work = 0;
    for (auto& part : parts) work += part->to - part->start;

    // Render: the second part on a thread of its own, the first here, with the progress.
    constexpr double kRenderShare = 0.85;
    auto report = [&options](double share) {
        if (options.progress) options.progress(std::clamp(share, 0.0, 1.0));
    };
    auto renderProgress = [&] {
        uint64_t done = 0;
        for (auto& part : parts) done += part->done.load(std::memory_order_relaxed);
        report(kRenderShare * static_cast<double>(done) / static_cast<double>(std::max<uint64_t>(work, 1)));
    };
    // Each part loads its soundfont on its own thread.
    std::thread helper;
    std::promise<void> secondDone;
    std::future<void> secondFinished = secondDone.get_future();
    if (parts.size() > 1) {
        helper = std::thread([&] {
            if (parts[1]->loadSoundfont(options.soundfont, order, firstNote, options.onlyPlayedPresets)) {
                parts[1]->render(order, options.normalize);
            }
            secondDone.set_value();
        });
    }
    if (parts[0]->loadSoundfont(options.soundfont, order, firstNote, options.onlyPlayedPresets)) {
        parts[0]->render(order, options.normalize, options.progress ? renderProgress : std::function<void()>{});
    }
    if (helper.joinable()) {
        constexpr auto kProgressEvery = std::chrono::milliseconds(50);
        while (options.progress && secondFinished.wait_for(kProgressEvery) != std::future_status::ready) {
            renderProgress();
        }
        helper.join();
    }
    for (auto& part : parts) {
        if (!part->ok) {
            // Where the sound cannot be kept, it cannot be written: the user hears of the file asked for.
            result.error = part->scratchFull ? fillIn(tr("cannot write %s: %s"), {path, part->error}) : part->error;
            return result;
        }
    }
    report(kRenderShare);

    // The gain that brings the song to the target. The true peak decides it only where it would
    // pass the ceiling at the loudness's gain: the pieces that may take it there are measured
    // first; the others, which only tell how far below the ceiling the peak is, while the file
    // is written.
    double gainDb = options.gainDb;
    double lufs = std::numeric_limits<double>::quiet_NaN();
    std::optional<double> truePeak;
    std::optional<PeakMeasuring> peaks;
    bool restCounts = false;
    if (options.normalize) {
        std::vector<const LoudnessMeter*> meters;
        float loudest = 0;
        for (auto& part : parts) {
            meters.push_back(&part->meter);
            loudest = std::max(loudest, part->peaks.loudest());
        }
        lufs = LoudnessMeter::integratedLufs(meters);
        LevelTarget target = options.target;
        target.loudnessLufs += options.gainDb;
        // Pieces that may hold the song's true peak come near its loudest sample; those that may
        // take it past the ceiling at the loudness's gain, near that level (none in silence).
        const float mayHoldThePeak = lowestReaching(loudest);
        const double ceilingAtLoudness = target.truePeakCeilingDbtp - target.loudnessLufs + lufs;
        const float mayDecide = std::isfinite(lufs) ? lowestReaching(gainFactor(ceilingAtLoudness))
                                                    : std::numeric_limits<float>::infinity();
        peaks.emplace(parts, rate, std::max(mayHoldThePeak, mayDecide), mayHoldThePeak);
        truePeak = peaks->first();
        if (!truePeak) {
            result.error = fillIn(tr("cannot write %s"), path);
            return result;
        }
        gainDb = normalisingGainDb(lufs, 20 * std::log10(*truePeak), target);
        // A peak past the ceiling leaves the rest below it; one below it may be beaten by the rest.
        restCounts = *truePeak < gainFactor(target.truePeakCeilingDbtp - gainDb);
    }
    const float factor = static_cast<float>(gainFactor(gainDb));

    AtomicFile file;
    if (!file.open(path)) {
        result.error = fillIn(tr("cannot write %s"), file.reason());
        return result;
    }
    SF_VIRTUAL_IO io{vioLength, vioSeek, vioRead, vioWrite, vioTell};
    SNDFILE* sf = sf_open_virtual(&io, SFM_WRITE, &info, file.stream());
    if (!sf) {
        file.fail(EIO);
        result.error = fillIn(tr("cannot write %s: %s"), {path, sf_strerror(nullptr)});
        return result;
    }
    // The 16-bit formats clip a raised level rather than wrap it round.
    sf_command(sf, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    uint64_t out = 0;
    bool ok = readSong(parts, fade, [&](float* frames, size_t n) {
        for (size_t i = 0; i < n * kChannels; ++i) frames[i] *= factor;
        out += n;
        report(kRenderShare +
               (1 - kRenderShare) * static_cast<double>(out) / static_cast<double>(std::max<uint64_t>(total, 1)));
        return sf_writef_float(sf, frames, static_cast<sf_count_t>(n)) == static_cast<sf_count_t>(n);
    });
    std::string why = ok ? "" : sf_strerror(sf);
    if (sf_close(sf) != 0 && ok) {
        ok = false;
        why = tr("the encoder failed");
    }
    if (ok && restCounts) {
        const std::optional<double> rest = peaks->rest();
        if (rest) {
            truePeak = std::max(*truePeak, *rest);
        } else {
            ok = false;  // the kept sound could not be read again
            why.clear();
        }
    }
    if (!ok) {
        file.fail(file.error() ? file.error() : EIO);
        result.error = why.empty() ? fillIn(tr("cannot write %s"), path) : fillIn(tr("cannot write %s: %s"), {path, why});
        return result;
    }
    if (!file.commit()) {
        result.error = fillIn(tr("cannot write %s"), file.reason());
        return result;
    }
    report(1.0);
    result.ok = true;
    result.frames = out;
    result.messages = messages.size();
    result.sampleRate = rate;
    result.gainDb = gainDb;
    // A gain moves both by its own amount (the 16-bit formats' clipping aside).
    result.loudnessLufs = lufs + gainDb;
    result.truePeakDbtp = truePeak ? 20 * std::log10(*truePeak) + gainDb : std::numeric_limits<double>::quiet_NaN();
    return result;
}

#endif

}  // namespace tunecase
