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

struct Destroy {
    void operator()(ebur128_state* s) const { ebur128_destroy(&s); }
};
using MeterPtr = std::unique_ptr<ebur128_state, Destroy>;

MeterPtr newState(int channels, int sampleRate, int mode) {
    if (channels <= 0 || sampleRate <= 0) return nullptr;
    return MeterPtr(ebur128_init(static_cast<unsigned>(channels), static_cast<unsigned long>(sampleRate), mode));
}

}  // namespace

struct LoudnessMeter::State {
    MeterPtr meter;
};

LoudnessMeter::LoudnessMeter(int channels, int sampleRate) {
    if (MeterPtr s = newState(channels, sampleRate, EBUR128_MODE_I)) {
        state_ = std::make_unique<State>(State{std::move(s)});
    }
}

LoudnessMeter::~LoudnessMeter() = default;

bool LoudnessMeter::ok() const { return state_ != nullptr; }

bool LoudnessMeter::add(const float* frames, size_t count) {
    return state_ && ebur128_add_frames_float(state_->meter.get(), frames, count) == EBUR128_SUCCESS;
}

double LoudnessMeter::integratedLufs() const { return integratedLufs({this}); }

double LoudnessMeter::integratedLufs(const std::vector<const LoudnessMeter*>& stretches) {
    std::vector<ebur128_state*> states;
    for (const LoudnessMeter* m : stretches) {
        if (!m || !m->state_) return kSilent;
        states.push_back(m->state_->meter.get());
    }
    double lufs = kSilent;
    if (states.empty() || ebur128_loudness_global_multiple(states.data(), states.size(), &lufs) != EBUR128_SUCCESS) {
        return kSilent;
    }
    return lufs;
}

void PiecePeaks::add(const float* frames, size_t count) {
    const size_t width = static_cast<size_t>(channels_);
    while (count > 0) {
        if (inLast_ == kFrames) {
            pieces_.push_back(0);
            inLast_ = 0;
        }
        const size_t n = std::min(count, kFrames - inLast_);
        float loudest = pieces_.back();
        for (size_t i = 0; i < n * width; ++i) loudest = std::max(loudest, std::fabs(frames[i]));
        pieces_.back() = loudest;
        loudest_ = std::max(loudest_, loudest);
        inLast_ += n;
        frames += n * width;
        count -= n;
    }
}

float lowestReaching(double level) { return static_cast<float>(level * std::pow(10.0, -PiecePeaks::kWindowDb / 20)); }

std::optional<double> truePeakOfPieces(const PiecePeaks& peaks, int sampleRate, float from, float below,
                                       const FrameReader& read) {
    const std::vector<float>& pieces = peaks.pieces();
    auto wanted = [&](size_t p) { return pieces[p] > 0 && pieces[p] >= from && pieces[p] < below; };
    const size_t width = static_cast<size_t>(peaks.channels());
    MeterPtr meter;
    std::vector<float> frames;
    double peak = 0;
    for (size_t p = 0; p < pieces.size();) {
        if (!wanted(p)) {
            ++p;
            continue;
        }
        // A run of wanted pieces goes through the filter in one, started on the frames before
        // it (what comes out of those is left out, being partly the piece before's) and ended
        // on the frames after it (which bring out the run's last frames).
        size_t end = p;
        while (end < pieces.size() && wanted(end)) ++end;
        const uint64_t first = p * PiecePeaks::kFrames, last = end * PiecePeaks::kFrames;
        const uint64_t lead = std::min<uint64_t>(first, kFilterFrames);
        const uint64_t count = last + kFilterFrames - (first - lead);
        frames.assign(count * width, 0.0f);
        if (!read(first - lead, static_cast<size_t>(count), frames.data())) return std::nullopt;
        if (!meter) {
            meter = newState(peaks.channels(), sampleRate, EBUR128_MODE_TRUE_PEAK);
            if (!meter) return std::nullopt;
            // Channels left out of the loudness still have their peaks found, without the
            // weighting filter's work.
            for (unsigned c = 0; c < width; ++c) ebur128_set_channel(meter.get(), c, EBUR128_UNUSED);
        }
        if (lead > 0 && ebur128_add_frames_float(meter.get(), frames.data(), lead) != EBUR128_SUCCESS) {
            return std::nullopt;
        }
        if (ebur128_add_frames_float(meter.get(), frames.data() + lead * width, count - lead) != EBUR128_SUCCESS) {
            return std::nullopt;
        }
        for (size_t c = 0; c < width; ++c) {
            double channelPeak = 0;
            if (ebur128_prev_true_peak(meter.get(), static_cast<unsigned>(c), &channelPeak) == EBUR128_SUCCESS) {
                peak = std::max(peak, channelPeak);
            }
        }
        p = end;
    }
    return peak;
}

double normalisingGainDb(double lufs, double peakDbtp, const LevelTarget& target) {
    if (!std::isfinite(lufs) || std::isnan(peakDbtp)) return 0;
    return std::min(target.loudnessLufs - lufs, target.truePeakCeilingDbtp - peakDbtp);
}

double gainFactor(double db) { return std::pow(10.0, db / 20.0); }

}  // namespace tunecase
