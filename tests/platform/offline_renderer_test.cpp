#include "platform/offline_renderer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

#include "platform/fluid_synth_device.h"
#include "support/test_support.h"

namespace tunecase {
namespace {

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
uint16_t le16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }

// The synthesizer dithers its 16-bit output, so silence is a sample or two off zero.
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
    RenderResult result = renderToWav(chord(), path, options);
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
    // Not silent, and at a sound level (the gain is set), but not clipping all the time.
    EXPECT_GT(peak(wav), 3000);
    EXPECT_FALSE(std::filesystem::exists(path + ".part"));

    // The first 10 ms come before any note: silence there shows the messages were placed
    // at their times.
    std::vector<uint8_t> head(wav.begin(), wav.begin() + 44 + 400 * 4);
    EXPECT_LE(peak(head), kDither);
}

TEST_F(OfflineRender, SoxReadsItAsAudibleAudioOfTheRightLength) {
    std::string path = folder.file("sox.wav");
    ASSERT_TRUE(renderToWav(chord(), path).ok);
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
    RenderResult result = renderToWav({}, path, options);
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
    RenderResult result = renderToWav(chord(), path, badFont);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.error.find("none.sf2"), std::string::npos) << result.error;

    RenderOptions badRate;
    badRate.sampleRate = 0;
    EXPECT_FALSE(renderToWav(chord(), path, badRate).ok);

    // Longer than a WAV file can describe.
    EXPECT_FALSE(renderToWav({{int64_t{1} << 50, {0x90, 60, 100}}}, path).ok);

    EXPECT_FALSE(renderToWav(chord(), folder.file("no/such/folder/x.wav")).ok);
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

}  // namespace
}  // namespace tunecase
