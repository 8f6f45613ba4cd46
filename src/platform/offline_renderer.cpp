#include "platform/offline_renderer.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <filesystem>
#include <numeric>

#include "base/atomic_file.h"

#ifdef TUNECASE_HAVE_FLUIDSYNTH
#include "platform/fluid_synth_device.h"
#endif

namespace tunecase {

#ifndef TUNECASE_HAVE_FLUIDSYNTH

RenderResult renderToWav(const std::vector<TimedMidiMessage>&, const std::string&, const RenderOptions&) {
    return {false, "this build has no synthesizer", 0};
}

#else

namespace {

constexpr int kChannels = 2;
constexpr int kBytesPerFrame = kChannels * 2;
constexpr int kBlockFrames = 1024;
constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFull - 36;  // the RIFF size field is 32 bits

void put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void put32(uint8_t* p, uint32_t v) {
    put16(p, v & 0xFFFF);
    put16(p + 2, v >> 16);
}

void wavHeader(uint8_t h[44], int sampleRate, uint32_t dataBytes) {
    std::copy_n("RIFF", 4, h);
    put32(h + 4, 36 + dataBytes);
    std::copy_n("WAVEfmt ", 8, h + 8);
    put32(h + 16, 16);  // PCM format chunk size
    put16(h + 20, 1);   // PCM
    put16(h + 22, kChannels);
    put32(h + 24, static_cast<uint32_t>(sampleRate));
    put32(h + 28, static_cast<uint32_t>(sampleRate) * kBytesPerFrame);
    put16(h + 32, kBytesPerFrame);
    put16(h + 34, 16);
    std::copy_n("data", 4, h + 36);
    put32(h + 40, dataBytes);
}

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
    // Split to keep the product in range for any time a WAV file can hold.
    uint64_t t = static_cast<uint64_t>(timeUs);
    return (t / 1000000) * static_cast<uint64_t>(sampleRate) +
           (t % 1000000) * static_cast<uint64_t>(sampleRate) / 1000000;
}

}  // namespace

RenderResult renderToWav(const std::vector<TimedMidiMessage>& messages, const std::string& wavPath,
                         const RenderOptions& options) {
    RenderResult result;
    if (options.sampleRate < 8000 || options.sampleRate > 192000) {
        result.error = "sample rate out of range";
        return result;
    }
    std::vector<size_t> order(messages.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return messages[a].timeUs < messages[b].timeUs; });
    int64_t lastUs = messages.empty() ? 0 : std::max<int64_t>(0, messages[order.back()].timeUs);
    uint64_t totalFrames = frameAt(lastUs, options.sampleRate) +
                           frameAt(std::max<int64_t>(0, options.tailUs), options.sampleRate);
    if (totalFrames > kMaxDataBytes / kBytesPerFrame) {
        result.error = "too long for a WAV file";
        return result;
    }

    // The synthesizer's library is opened by the first render (or device listing).
    const FluidSynthApi* api = fluidSynthApi();
    if (!api) {
        result.error = "the synthesizer is not available: " + fluidSynthLoadError();
        return result;
    }
    const FluidSynthApi& fluid = *api;
    quietFluidSynthLog(fluid);
    Owned own(fluid);
    own.settings = fluid.new_fluid_settings();
    if (!own.settings) {
        result.error = "out of memory";
        return result;
    }
    fluid.fluid_settings_setnum(own.settings, "synth.gain", options.gain);
    fluid.fluid_settings_setnum(own.settings, "synth.sample-rate", options.sampleRate);
    own.synth = fluid.new_fluid_synth(own.settings);
    if (!own.synth) {
        result.error = "the synthesizer did not start: " + lastFluidSynthError();
        return result;
    }
    if (fluid.fluid_synth_sfload(own.synth, options.soundfont.c_str(), 1) == FLUID_FAILED) {
        result.error = "the soundfont " + options.soundfont + " did not load: " + lastFluidSynthError();
        return result;
    }

    // Nothing reaches wavPath until the whole file is on the disk.
    AtomicFile wav;
    if (!wav.open(wavPath)) {
        result.error = "cannot write " + wav.reason();
        return result;
    }
    uint8_t header[44];
    wavHeader(header, options.sampleRate, static_cast<uint32_t>(totalFrames * kBytesPerFrame));
    bool written = wav.write(header, sizeof header);

    std::vector<int16_t> block(static_cast<size_t>(kBlockFrames) * kChannels);
    uint64_t done = 0;
    auto renderUntil = [&](uint64_t frame) {
        while (written && done < frame) {
            int n = static_cast<int>(std::min<uint64_t>(kBlockFrames, frame - done));
            fluid.fluid_synth_write_s16(own.synth, n, block.data(), 0, 2, block.data(), 1, 2);
            static_assert(std::endian::native == std::endian::little, "WAV samples are little-endian");
            size_t bytes = static_cast<size_t>(n) * kBytesPerFrame;
            written = wav.write(block.data(), bytes);
            done += static_cast<uint64_t>(n);
        }
    };
    for (size_t index : order) {
        const TimedMidiMessage& m = messages[index];
        renderUntil(frameAt(m.timeUs, options.sampleRate));
        playBytesOnFluidSynth(fluid, own.synth, m.bytes.data(), m.bytes.size());
    }
    renderUntil(totalFrames);

    if (!written || !wav.commit()) {
        result.error = "cannot write " + wav.reason();
        return result;
    }
    result.ok = true;
    result.frames = totalFrames;
    return result;
}

#endif

}  // namespace tunecase
