#include "platform/loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace tunecase {

namespace {

constexpr double kSilent = -std::numeric_limits<double>::infinity();
// Oversampling looks at this many frames on either side of a sample.
constexpr size_t kFilterFrames = 32;
constexpr size_t kPieceFrames = 1024;
const float kWindow = static_cast<float>(std::pow(10.0, -TruePeakMeter::kWindowDb / 20));

ebur128_state* newState(int channels, int sampleRate, int mode) {
    if (channels <= 0 || sampleRate <= 0) return nullptr;
    return ebur128_init(static_cast<unsigned>(channels), static_cast<unsigned long>(sampleRate), mode);
}

}  // namespace

struct LoudnessMeter::State {
    explicit State(ebur128_state* s) : meter(s) {}
    ~State() { ebur128_destroy(&meter); }
    ebur128_state* meter;
};

LoudnessMeter::LoudnessMeter(int channels, int sampleRate) {
    if (ebur128_state* s = newState(channels, sampleRate, EBUR128_MODE_I)) state_ = std::make_unique<State>(s);
}

LoudnessMeter::~LoudnessMeter() = default;

bool LoudnessMeter::ok() const { return state_ != nullptr; }

bool LoudnessMeter::add(const float* frames, size_t count) {
    return state_ && ebur128_add_frames_float(state_->meter, frames, count) == EBUR128_SUCCESS;
}

double LoudnessMeter::integratedLufs() const { return integratedLufs({this}); }

double LoudnessMeter::integratedLufs(const std::vector<const LoudnessMeter*>& stretches) {
    std::vector<ebur128_state*> states;
    for (const LoudnessMeter* m : stretches) {
        if (!m || !m->state_) return kSilent;
        states.push_back(m->state_->meter);
    }
    double lufs = kSilent;
    if (states.empty() || ebur128_loudness_global_multiple(states.data(), states.size(), &lufs) != EBUR128_SUCCESS) {
        return kSilent;
    }
    return lufs;
}

struct TruePeakMeter::State {
    explicit State(ebur128_state* s) : meter(s) {}
    ~State() { ebur128_destroy(&meter); }
    ebur128_state* meter;
};

TruePeakMeter::TruePeakMeter(int channels, int sampleRate) : channels_(channels), sampleRate_(sampleRate) {}

TruePeakMeter::~TruePeakMeter() = default;

bool TruePeakMeter::measure(const float* frames, size_t count, bool keep) {
    if (!meter_) {
        ebur128_state* s = newState(channels_, sampleRate_, EBUR128_MODE_TRUE_PEAK);
        if (!s) return ok_ = false;
        meter_ = std::make_unique<State>(s);
    }
    if (ebur128_add_frames_float(meter_->meter, frames, count) != EBUR128_SUCCESS) return ok_ = false;
    for (int c = 0; keep && c < channels_; ++c) {
        double p = 0;
        if (ebur128_prev_true_peak(meter_->meter, static_cast<unsigned>(c), &p) == EBUR128_SUCCESS) {
            peak_ = std::max(peak_, p);
        }
    }
    return true;
}

bool TruePeakMeter::add(const float* frames, size_t count) {
    const size_t width = static_cast<size_t>(std::max(channels_, 1));
    for (size_t at = 0; ok_ && at < count; at += kPieceFrames) {
        const size_t n = std::min(kPieceFrames, count - at);
        const float* piece = frames + at * width;
        float loudest = 0;
        for (size_t i = 0; i < n * width; ++i) loudest = std::max(loudest, std::fabs(piece[i]));
        loudest_ = std::max(loudest_, loudest);
        if (loudest > 0 && loudest >= loudest_ * kWindow) {
            // A stretch starts its filter on the frames before it, as it would have run; what
            // comes out of that is left out, being partly the last stretch's.
            if (!inStretch_ && !before_.empty()) measure(before_.data(), before_.size() / width, false);
            inStretch_ = measure(piece, n, true);
        } else if (inStretch_) {
            // The stretch's last frames come out of the filter with the frames after them.
            measure(piece, std::min(n, kFilterFrames), true);
            inStretch_ = false;
        }
        const size_t keep = std::min(n, kFilterFrames);
        before_.assign(piece + (n - keep) * width, piece + n * width);
    }
    return ok_;
}

double TruePeakMeter::truePeakDbtp() {
    return peak_ > 0 ? 20 * std::log10(peak_) : kSilent;
}

double normalisingGainDb(double lufs, double peakDbtp, const LevelTarget& target) {
    if (!std::isfinite(lufs) || !std::isfinite(peakDbtp)) return 0;
    return std::min(target.loudnessLufs - lufs, target.truePeakCeilingDbtp - peakDbtp);
}

double gainFactor(double db) { return std::pow(10.0, db / 20.0); }

}  // namespace tunecase
