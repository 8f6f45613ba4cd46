#include "playback/player_clock.h"

#include "base/utilities.h"
#include "platform/timer_service.h"

namespace tunecase {

void PlayerClock::setPlayerBusy(int32_t busy) {
    playerBusy_ = busy;
    RunSlot::instance().notifyAll();
}

void PlayerClock::killTimer() {
    if (const uint32_t id = timerId.exchange(0)) timeKillEvent(id);
    setPlayerBusy(0);
}

bool PlayerClock::waitWhileBusy(std::chrono::milliseconds limit) const {
    return RunSlot::instance().waitUntil([this] { return playerBusy_.load() != 1; }, limit);
}

void PlayerClock::resetForRun() {
    stopRequested = 0;
    tempoBpm = kRunStartBpm;
    speedPercent = 100;
    nextIndex = 0;
}

int64_t ticksPerMinute(int division, uint32_t tempoBpm, int32_t speedPercent) {
    double tpm = static_cast<double>(division) * tempoBpm * speedPercent / 100.0;
    return static_cast<int64_t>(tpm);
}

int64_t delayMs(int64_t delta, int64_t tpm) { return tpm == 0 ? 0 : delta * 60000 / tpm; }

TempoSetting tempoSettingOf(int microseconds) {
    if (microseconds < 1000) return {60, mdpl::TempoWrong};
    // At 1000 us or more the divisor is at least 1, so the conversion has nothing to report.
    const auto bpm = static_cast<uint32_t>(bpmFromMicroseconds(microseconds));
    if (bpm < 10) return {10, mdpl::TempoTooSlow};
    return {bpm, 0};
}

uint32_t timerPeriodMs(int division, uint32_t periodMin) {
    const int64_t ticksAt240 = static_cast<int64_t>(division) * kRunStartBpm;
    const auto period = ticksAt240 > 0 ? static_cast<uint32_t>(60000 / ticksAt240) : 0u;
    return period < periodMin ? periodMin : period;
}

RunSlot& RunSlot::instance() {
    static RunSlot slot;
    return slot;
}

bool RunSlot::claim(PlayerClock& clock) {
    {
        std::lock_guard lock(mutex_);
        if (holder_) return false;
        holder_ = &clock;
    }
    changed_.notify_all();
    return true;
}

void RunSlot::release(const PlayerClock& clock) {
    {
        std::lock_guard lock(mutex_);
        if (holder_ != &clock) return;
        holder_ = nullptr;
    }
    changed_.notify_all();
}

bool RunSlot::holderBusy() const {
    std::lock_guard lock(mutex_);
    return holderBusyLocked();
}

void RunSlot::requestStopOfHolder() {
    std::lock_guard lock(mutex_);
    if (holder_) holder_->requestStop();
}

void RunSlot::notifyAll() {
    // Taking the lock orders this wake-up after any waiter's check of its condition, so a
    // change made just before it is never missed.
    { std::lock_guard lock(mutex_); }
    changed_.notify_all();
}

bool RunSlot::waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    if (limit <= std::chrono::milliseconds::zero()) {
        changed_.wait(lock, done);
        return true;
    }
    return changed_.wait_for(lock, limit, done);
}

bool RunSlot::waitUntilNoRunBusy(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    return waitUntil([this, &done] { return !holderBusyLocked() && done(); }, limit);
}

}  // namespace tunecase
