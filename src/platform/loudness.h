// Loudness of rendered audio (EBU R128: integrated loudness in LUFS, true peak in dBTP) and
// the gain that brings it to a target, so songs of very different make come out equally loud.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
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

// The loudest sample of every piece of kFrames frames of interleaved audio given in order. The
// true peak (4x oversampled) is what the ceiling holds, but oversampling is the costly part of
// measuring: between samples a signal rises at most 3 dB above them unless it is near the
// Nyquist frequency, where music has no strength, so only the pieces whose samples come within
// kWindowDb of a level can reach it, and only those need oversampling.
class PiecePeaks {
public:
    static constexpr size_t kFrames = 256;
    static constexpr double kWindowDb = 4.0;
    explicit PiecePeaks(int channels) : channels_(std::max(channels, 1)) {}

    void add(const float* frames, size_t count);
    // The loudest sample of all (linear).
    float loudest() const { return loudest_; }
    // One per piece, the last one possibly short.
    const std::vector<float>& pieces() const { return pieces_; }
    int channels() const { return channels_; }

private:
    int channels_;
    size_t inLast_ = kFrames;  // frames in the last piece
    float loudest_ = 0;
    std::vector<float> pieces_;
};

// Reads `count` frames (interleaved) from frame `first` on into `out`, which comes filled with
// silence: frames past the end of the audio are left so. False when reading fails.
using FrameReader = std::function<bool(uint64_t first, size_t count, float* out)>;

// The true peak (linear) of the pieces whose loudest sample is at least `from` and below
// `below`, read again through `read` with the frames around them that the oversampling filter
// needs. 0 when there is none; nullopt when reading or the meter failed.
std::optional<double> truePeakOfPieces(const PiecePeaks& peaks, int sampleRate, float from, float below,
                                       const FrameReader& read);

// 10^(-kWindowDb/20) of `level`: the quietest loudest sample of a piece whose true peak may
// still reach `level`.
float lowestReaching(double level);

// The gain in dB that brings audio measured at `lufs` with its true peak at `peakDbtp` to the
// target loudness, lowered where the peak would pass the ceiling (such audio then comes out
// quieter than the target). 0 for silence; a peak of -infinity leaves the loudness to decide.
double normalisingGainDb(double lufs, double peakDbtp, const LevelTarget& target = {});

// 10^(dB/20).
double gainFactor(double db);

}  // namespace tunecase
