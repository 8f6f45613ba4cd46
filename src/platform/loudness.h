// Loudness of rendered audio (EBU R128: integrated loudness in LUFS, true peak in dBTP) and
// the gain that brings it to a target, so songs of very different make come out equally loud.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace tunecase {

struct LevelTarget {
    double loudnessLufs = -16.0;
    double truePeakCeilingDbtp = -1.0;
};

// Integrated loudness of interleaved frames given in order.
class LoudnessMeter {
public:
    LoudnessMeter(int channels, int sampleRate);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    // False when the meter could not be made (out of memory, a rate it does not take).
    bool ok() const;
    bool add(const float* frames, size_t count);
    // -infinity for silence (nothing above the absolute gate).
    double integratedLufs() const;
    // The loudness of consecutive stretches measured by meters of their own, as one.
    static double integratedLufs(const std::vector<const LoudnessMeter*>& stretches);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The true peak (4x oversampled) of interleaved frames given in order. Oversampling is the
// costly part of measuring, so only the stretches whose samples come within kWindowDb of the
// loudest sample so far are oversampled: between samples a signal rises at most 3 dB above
// them unless it is near the Nyquist frequency, where music has no strength.
class TruePeakMeter {
public:
    static constexpr double kWindowDb = 4.0;
    TruePeakMeter(int channels, int sampleRate);
    ~TruePeakMeter();
    TruePeakMeter(const TruePeakMeter&) = delete;
    TruePeakMeter& operator=(const TruePeakMeter&) = delete;

    bool add(const float* frames, size_t count);
    // -infinity for silence.
    double truePeakDbtp();

private:
    // Oversamples frames; their peak counts when `keep` (not for frames that only fill the filter).
    bool measure(const float* frames, size_t count, bool keep);

    int channels_, sampleRate_;
    float loudest_ = 0;  // the loudest sample so far
    struct State;
    std::unique_ptr<State> meter_;   // one for the whole run: setting one up costs more than a stretch
    bool inStretch_ = false;         // the frames given last were oversampled
    std::vector<float> before_;      // the frames just before, to start a stretch's filter on
    double peak_ = 0;
    bool ok_ = true;
};

// The gain in dB that brings audio measured at `lufs` with its true peak at `peakDbtp` to the
// target loudness, lowered where the peak would pass the ceiling (such audio then comes out
// quieter than the target). 0 for silence.
double normalisingGainDb(double lufs, double peakDbtp, const LevelTarget& target = {});

// 10^(dB/20).
double gainFactor(double db);

}  // namespace tunecase
