#include "platform/offline_renderer.h"

#include <ebur128.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <regex>

#include "platform/fluid_synth_device.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
uint16_t le16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }

// Silence may be a sample or two off zero.
constexpr int kDither = 2;

int peak(const std::vector<uint8_t>& wav) {
    int best = 0;
    for (size_t i = 44; i + 1 < wav.size(); i += 2) {
        int s = static_cast<int16_t>(le16(wav, i));
        best = std::max(best, std::abs(s));
    }
    return best;
}

class OfflineRender : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fluidSynthAvailable()) GTEST_SKIP() << "built without the synthesizer";
        if (!std::filesystem::exists(kDefaultSoundfont)) GTEST_SKIP() << "no General MIDI soundfont";
    }
    testing::TempFolder folder;
};

// A C major chord held for a second, given out of order.
std::vector<TimedMidiMessage> chord() {
    return {
        {1'000'000, {0x80, 60, 0}},     {1'000'000, {0x80, 64, 0}}, {1'000'000, {0x80, 67, 0}},
        {0, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}},
        {0, {0xC0, 0x00}},              {10'000, {0x90, 60, 100}},  {10'000, {0x90, 64, 100}},
        {10'000, {0x90, 67, 100}},
    };
}

TEST_F(OfflineRender, WritesAWavFileOfTheRightShape) {
    std::string path = folder.file("chord.wav");
    RenderOptions options;
    options.tailUs = 500'000;
    RenderResult result = renderAudioFile(chord(), path, options);
    ASSERT_TRUE(result.ok) << result.error;
    const uint64_t frames = 44100 + 22050;
    EXPECT_EQ(result.frames, frames);

    auto wav = testing::readFileBytes(path);
    ASSERT_EQ(wav.size(), 44 + frames * 4);
    EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
    EXPECT_EQ(le32(wav, 4), wav.size() - 8);
    EXPECT_EQ(std::string(wav.begin() + 8, wav.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(le32(wav, 16), 16u);
    EXPECT_EQ(le16(wav, 20), 1);      // PCM
    EXPECT_EQ(le16(wav, 22), 2);      // stereo
    EXPECT_EQ(le32(wav, 24), 44100u);
    EXPECT_EQ(le32(wav, 28), 44100u * 4);
    EXPECT_EQ(le16(wav, 32), 4);
    EXPECT_EQ(le16(wav, 34), 16);
    EXPECT_EQ(std::string(wav.begin() + 36, wav.begin() + 40), "data");
    EXPECT_EQ(le32(wav, 40), frames * 4);
    // Not silent, and brought up to a sound level, its true peak under -1 dBTP.
    EXPECT_GT(peak(wav), 3000);
    EXPECT_LT(peak(wav), 32767 * 0.9);
    EXPECT_FALSE(std::filesystem::exists(path + ".part"));

    // The first 10 ms come before any note: silence there shows the messages were placed
    // at their times.
    std::vector<uint8_t> head(wav.begin(), wav.begin() + 44 + 400 * 4);
    EXPECT_LE(peak(head), kDither);
}

TEST_F(OfflineRender, SoxReadsItAsAudibleAudioOfTheRightLength) {
    std::string path = folder.file("sox.wav");
    ASSERT_TRUE(renderAudioFile(chord(), path).ok);
    std::string out;
    if (testing::runCommand("command -v sox", out) != 0) GTEST_SKIP() << "sox is not installed";
    ASSERT_EQ(testing::runCommand("sox '" + path + "' -n stat", out), 0) << out;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(out, m, std::regex(R"(Length \(seconds\):\s+([0-9.]+))"))) << out;
    EXPECT_NEAR(std::stod(m[1]), 3.0, 0.001);  // one second of chord, two of tail
    ASSERT_TRUE(std::regex_search(out, m, std::regex(R"(Maximum amplitude:\s+([0-9.]+))"))) << out;
    EXPECT_GT(std::stod(m[1]), 0.1);
    EXPECT_LT(std::stod(m[1]), 1.0);
    ASSERT_TRUE(std::regex_search(out, m, std::regex(R"(RMS\s+amplitude:\s+([0-9.]+))"))) << out;
    EXPECT_GT(std::stod(m[1]), 0.005);
}

TEST_F(OfflineRender, NoMessagesGiveSilenceOfTheTailLength) {
    std::string path = folder.file("silent.wav");
    RenderOptions options;
    options.tailUs = 100'000;
    RenderResult result = renderAudioFile({}, path, options);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.frames, 4410u);
    auto wav = testing::readFileBytes(path);
    EXPECT_EQ(wav.size(), 44u + 4410 * 4);
    EXPECT_LE(peak(wav), kDither);
}

TEST_F(OfflineRender, FailuresLeaveNoFile) {
    std::string path = folder.file("bad.wav");
    RenderOptions badFont;
    badFont.soundfont = folder.file("none.sf2");
    RenderResult result = renderAudioFile(chord(), path, badFont);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find("none.sf2"), std::string::npos) << result.error;

    RenderOptions badRate;
    badRate.sampleRate = 1000;
    EXPECT_FALSE(renderAudioFile(chord(), path, badRate).ok);

    // Longer than a WAV file can describe.
    EXPECT_FALSE(renderAudioFile({{int64_t{1} << 50, {0x90, 60, 100}}}, path).ok);

    EXPECT_FALSE(renderAudioFile(chord(), folder.file("no/such/folder/x.wav")).ok);

    // A format that is not written is refused before any work, with the ones that are.
    for (const char* name : {"x.aiff", "x.WAV.txt", "x"}) {
        result = renderAudioFile(chord(), folder.file(name));
        EXPECT_FALSE(result.ok) << name;
        EXPECT_EQ(result.error, "the formats written are .wav, .flac, .ogg, .opus, .mp3") << name;
    }
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

struct Decoded {
    int channels = 0, rate = 0;
    int64_t frames = 0;
    std::vector<float> samples;
};

Decoded decode(const std::string& path) {
    Decoded d;
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return d;
    d.channels = info.channels;
    d.rate = info.samplerate;
    // Counted by reading: some decoders do not know the length beforehand.
    std::vector<float> block(4096 * static_cast<size_t>(info.channels));
    sf_count_t n;
    while ((n = sf_readf_float(f, block.data(), 4096)) > 0) {
        d.frames += n;
        d.samples.insert(d.samples.end(), block.begin(), block.begin() + n * info.channels);
    }
    sf_close(f);
    return d;
}

// Every format decodes back, by the library itself, to stereo of the song's length (lossy
// coders pad their last block) at the loudness target.
TEST_F(OfflineRender, EveryFormatDecodesBackToTheSongsLengthAndLevel) {
    struct Case {
        const char* name;
        int rate;
        int64_t slack;  // frames a coder may add or drop at the ends
    } cases[] = {{"song.wav", 44100, 0}, {"song.FLAC", 44100, 0}, {"song.ogg", 44100, 1024},
                 {"song.opus", 48000, 1024}, {"song.mp3", 44100, 1152 * 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = folder.file(c.name);
        RenderResult result = renderAudioFile(chord(), path);
        ASSERT_TRUE(result.ok) << result.error;
        EXPECT_EQ(result.sampleRate, c.rate);
        const int64_t frames = c.rate * 3;  // a second of chord, two of tail
        EXPECT_EQ(static_cast<int64_t>(result.frames), frames);
        Decoded d = decode(path);
        EXPECT_EQ(d.channels, 2);
        EXPECT_EQ(d.rate, c.rate);
        EXPECT_NEAR(static_cast<double>(d.frames), static_cast<double>(frames), static_cast<double>(c.slack));
        // Measured again from the decoded file, by the library the renderer does not use to write.
        ebur128_state* m = ebur128_init(2, static_cast<unsigned long>(d.rate), EBUR128_MODE_I);
        ASSERT_NE(m, nullptr);
        ebur128_add_frames_float(m, d.samples.data(), static_cast<size_t>(d.frames));
        double lufs = 0;
        ebur128_loudness_global(m, &lufs);
        ebur128_destroy(&m);
        EXPECT_NEAR(lufs, -16.0, 1.0);
    }
}

// The level options: a gain moves the normalised level, and without normalising the
// synthesizer's own level is kept.
TEST_F(OfflineRender, GainMovesTheTargetAndNoNormalizeKeepsTheRawLevel) {
    RenderOptions raw;
    raw.normalize = false;
    RenderResult rawResult = renderAudioFile(chord(), folder.file("raw.wav"), raw);
    ASSERT_TRUE(rawResult.ok) << rawResult.error;
    EXPECT_EQ(rawResult.gainDb, 0);
    EXPECT_TRUE(std::isnan(rawResult.loudnessLufs));

    RenderOptions quieter;
    quieter.gainDb = -6;
    RenderResult q = renderAudioFile(chord(), folder.file("quieter.wav"), quieter);
    RenderResult n = renderAudioFile(chord(), folder.file("normal.wav"));
    ASSERT_TRUE(q.ok && n.ok);
    EXPECT_NEAR(n.loudnessLufs, -16.0, 0.1);
    EXPECT_LE(n.truePeakDbtp, -1.0 + 1e-9);
    EXPECT_NEAR(q.loudnessLufs, -22.0, 0.1);
    EXPECT_NEAR(q.gainDb, n.gainDb - 6, 1e-6);
    // The files bear it out: the raw file's samples times the gain are the normalised ones.
    Decoded r = decode(folder.file("raw.wav")), nd = decode(folder.file("normal.wav"));
    ASSERT_EQ(r.samples.size(), nd.samples.size());
    const double factor = std::pow(10.0, n.gainDb / 20);
    double worst = 0;
    for (size_t i = 0; i < r.samples.size(); ++i) {
        worst = std::max(worst, std::fabs(r.samples[i] * factor - nd.samples[i]));
    }
    EXPECT_LT(worst, factor * 2.0 / 32768);  // two 16-bit steps of the raw file, raised
}

// A long song is rendered by two synthesizers side by side: the result is the one-synthesizer
// render up to the takeover, and after it differs only by the effects' own motion.
TEST_F(OfflineRender, TwoSynthesizersRenderTheSameSongAsOne) {
    std::vector<TimedMidiMessage> song{{0, {0xC0, 10}}};
    std::mt19937 random(5);
    for (int i = 0; i < 120; ++i) {
        const int64_t at = i * 250'000;
        const uint8_t key = static_cast<uint8_t>(60 + random() % 24);
        song.push_back({at, {0x90, key, 100}});
        song.push_back({at + 200'000, {0x80, key, 0}});
    }
    RenderOptions one, two;
    one.threads = 1;
    two.threads = 2;
    one.normalize = two.normalize = false;
    ASSERT_TRUE(renderAudioFile(song, folder.file("one.wav"), one).ok);
    ASSERT_TRUE(renderAudioFile(song, folder.file("two.wav"), two).ok);
    Decoded a = decode(folder.file("one.wav")), b = decode(folder.file("two.wav"));
    ASSERT_EQ(a.frames, b.frames);
    const size_t half = static_cast<size_t>(a.frames / 2 / 64 * 64) * 2;
    double before = 0, energy = 0, after = 0;
    for (size_t i = 0; i < a.samples.size(); ++i) {
        const double d = a.samples[i] - b.samples[i];
        (i < half ? before : after) += d * d;
        energy += a.samples[i] * a.samples[i];
    }
    EXPECT_EQ(before, 0.0);
    EXPECT_GT(after, 0.0) << "the second half came from a second synthesizer";
    ASSERT_GT(energy, 0.0);
    EXPECT_LT(10 * std::log10(after / energy), -15.0);  // the reverb's tail, not missing notes
}

// Loading only the presets a song plays must not change a sample of what it sounds like, for
// drums, defaults, bank and program changes, resets and channels that start late, in one part
// and in two.
TEST_F(OfflineRender, LoadingOnlyThePlayedPresetsSoundsTheSame) {
    using Song = std::vector<TimedMidiMessage>;
    const TimedMidiMessage reset{0, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}};
    auto notes = [](Song song, uint8_t status, int64_t from, int count) {
        for (int i = 0; i < count; ++i) {
            const uint8_t key = static_cast<uint8_t>(40 + (i * 7) % 40);
            song.push_back({from + i * 300'000, {status, key, 90}});
            song.push_back({from + i * 300'000 + 250'000, {static_cast<uint8_t>(status - 0x10), key, 0}});
        }
        return song;
    };
    const struct {
        const char* name;
        Song song;
    } cases[] = {
        {"music box only", notes({reset, {0, {0xC0, 10}}}, 0x90, 0, 8)},
        {"default piano and drums", notes(notes({reset}, 0x90, 0, 6), 0x99, 100'000, 6)},
        {"drums alone", notes({reset}, 0x99, 0, 8)},
        {"program and bank changes", notes(notes({reset, {0, {0xB1, 0, 8}}, {0, {0xC1, 4}}, {0, {0xC0, 10}},
                                                  {1'000'000, {0xC0, 19}}},
                                                 0x90, 0, 8),
                                           0x91, 500'000, 5)},
        {"a reset between notes", notes(notes({reset, {0, {0xC0, 10}}, {1'200'000, {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}}},
                                              0x90, 0, 4),
                                        0x90, 1'300'000, 4)},
        {"late channel, long song", notes(notes({reset, {0, {0xC0, 10}}, {20'000'000, {0xC2, 73}}}, 0x90, 0, 90),
                                          0x92, 21'000'000, 20)},
    };
    for (const auto& c : cases) {
        for (int threads : {1, 2}) {
            RenderOptions played, all;
            played.threads = all.threads = threads;
            played.normalize = all.normalize = false;
            all.onlyPlayedPresets = false;
            const std::string a = folder.file("played.wav"), b = folder.file("all.wav");
            ASSERT_TRUE(renderAudioFile(c.song, a, played).ok) << c.name;
            ASSERT_TRUE(renderAudioFile(c.song, b, all).ok) << c.name;
            const std::vector<uint8_t> x = testing::readFileBytes(a), y = testing::readFileBytes(b);
            EXPECT_GT(peak(x), 100) << c.name;
            EXPECT_TRUE(x == y) << c.name << ", " << threads << " synthesizer(s)";
        }
    }
}

}  // namespace
}  // namespace tunecase
