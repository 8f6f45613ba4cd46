#include "platform/loudness.h"

#include <ebur128.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <random>
#include <vector>

namespace tunecase {
namespace {

constexpr double kPi = 3.14159265358979323846;

TEST(Loudness, TheGainReachesTheTargetUnlessThePeakWouldPassTheCeiling) {
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double lufs, peak, gain;
    } cases[] = {
        {-30, -20, 14},    // quiet, peaks far below: the loudness decides
        {-16, -5, 0},      // already there
        {-10, 0, -6},      // too loud
        {-30, -8, 7},      // a spiky song: the peak stops it at -1 dBTP, 7 LU short
        {-inf, -inf, 0},   // silence stays silence
    };
    for (const Case& c : cases) EXPECT_DOUBLE_EQ(normalisingGainDb(c.lufs, c.peak), c.gain) << c.lufs << " " << c.peak;
    EXPECT_DOUBLE_EQ(normalisingGainDb(-30, -20, {-23, -2}), 7);
    EXPECT_NEAR(gainFactor(-6.0206), 0.5, 1e-4);
}

// The meters against the library measuring everything itself: the integrated loudness of
// stretches measured apart is the loudness of the whole (but for the few 400 ms blocks across
// the join), and oversampling only the pieces near the loudest sample finds the same true peak.
TEST(Loudness, MetersAgreeWithMeasuringTheWholeSignal) {
    const int rate = 44100;
    std::mt19937 random(3);
    for (int trial = 0; trial < 4; ++trial) {
        SCOPED_TRACE(trial);
        // Tones of random pitch and level, some near a quarter of the rate, where samples miss
        // the peaks between them by up to 3 dB.
        std::vector<float> s(static_cast<size_t>(rate) * 20 * 2);
        for (size_t f = 0; f < s.size() / 2; f += 11025) {
            const double freq = trial % 2 ? rate / 4.0 : 200.0 + random() % 4000;
            const double level = 0.05 + (random() % 100) / 120.0;
            const double phase = kPi / 4;
            for (size_t i = f; i < std::min(s.size() / 2, f + 11025); ++i) {
                const double v = level * std::sin(2 * kPi * freq * static_cast<double>(i - f) / rate + phase);
                s[2 * i] = static_cast<float>(v);
                s[2 * i + 1] = static_cast<float>(v * 0.5);
            }
        }
        ebur128_state* whole = ebur128_init(2, rate, EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
        ASSERT_NE(whole, nullptr);
        ebur128_add_frames_float(whole, s.data(), s.size() / 2);
        double lufs = 0, left = 0, right = 0;
        ebur128_loudness_global(whole, &lufs);
        ebur128_true_peak(whole, 0, &left);
        ebur128_true_peak(whole, 1, &right);
        ebur128_destroy(&whole);

        LoudnessMeter first(2, rate), second(2, rate);
        const size_t half = s.size() / 4;  // in frames
        ASSERT_TRUE(first.add(s.data(), half));
        ASSERT_TRUE(second.add(s.data() + half * 2, s.size() / 2 - half));
        EXPECT_NEAR(LoudnessMeter::integratedLufs({&first, &second}), lufs, 0.1);

        // Pieces' peaks given in uneven blocks; the true peak of those near the loudest, read
        // back (past the end: silence), is the whole signal's, and measuring them in two
        // ranges finds the same.
        PiecePeaks peaks(2);
        for (size_t f = 0; f < s.size() / 2; f += 3000) {
            peaks.add(s.data() + f * 2, std::min<size_t>(3000, s.size() / 2 - f));
        }
        ASSERT_EQ(peaks.pieces().size(), (s.size() / 2 + PiecePeaks::kFrames - 1) / PiecePeaks::kFrames);
        size_t reads = 0;
        const FrameReader read = [&](uint64_t at, size_t count, float* out) {
            ++reads;
            for (size_t i = 0; i < count * 2 && (at * 2 + i) < s.size(); ++i) out[i] = s[at * 2 + i];
            return true;
        };
        const float inf = std::numeric_limits<float>::infinity();
        const float near = lowestReaching(peaks.loudest());
        const std::optional<double> all = truePeakOfPieces(peaks, rate, near, inf, read);
        ASSERT_TRUE(all.has_value());
        EXPECT_NEAR(20 * std::log10(*all), 20 * std::log10(std::max(left, right)), 0.01);
        const float middle = (near + peaks.loudest()) / 2;
        const double upper = truePeakOfPieces(peaks, rate, middle, inf, read).value();
        const double lower = truePeakOfPieces(peaks, rate, near, middle, read).value();
        EXPECT_DOUBLE_EQ(std::max(upper, lower), *all);
        EXPECT_FALSE(truePeakOfPieces(peaks, rate, near, inf, [](uint64_t, size_t, float*) { return false; }));
        EXPECT_EQ(truePeakOfPieces(peaks, rate, inf, inf, read), 0.0);
    }
    LoudnessMeter silent(2, rate);
    std::vector<float> zeros(static_cast<size_t>(rate) * 2);
    silent.add(zeros.data(), zeros.size() / 2);
    EXPECT_EQ(silent.integratedLufs(), -std::numeric_limits<double>::infinity());
    PiecePeaks none(2);
    none.add(zeros.data(), zeros.size() / 2);
    EXPECT_EQ(none.loudest(), 0.0f);
}

}  // namespace
}  // namespace tunecase
