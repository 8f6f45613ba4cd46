// A player's clock: the state of its current run (tempo, speed, position, flags), shared
// between the thread that starts and stops the run and the timer thread that plays it. Each
// player owns one; nothing of it is process-wide.
//
// What is process-wide is the rule that only one run plays at a time: the run slot knows
// which clock's run holds it, can ask that run to stop, and wakes every thread that waits
// for a run to change.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace tunecase {

namespace mdpl {
inline constexpr uint32_t DivisionTooLarge = 0x08000001;
inline constexpr uint32_t CantUseTimer = 0x08000002;
inline constexpr uint32_t TempoTooSlow = 0x08000003;
inline constexpr uint32_t InternalError = 0x08000004;
inline constexpr uint32_t PlayPointWrong = 0x08000005;
inline constexpr uint32_t TempoWrong = 0x08000006;
inline constexpr uint32_t InvalidData = 0x08000007;
inline constexpr uint32_t AnotherRunActive = 0x08000008;
}  // namespace mdpl

// The tempo every run starts at, in quarter notes per minute.
inline constexpr uint32_t kRunStartBpm = 240;

class PlayerClock {
public:
    PlayerClock() = default;
    PlayerClock(const PlayerClock&) = delete;
    PlayerClock& operator=(const PlayerClock&) = delete;

    std::atomic<uint32_t> tempoBpm{kRunStartBpm};
    std::atomic<int32_t> speedPercent{100};
    std::atomic<int32_t> nextIndex{0};    // the next event of the track to look at
    std::atomic<uint32_t> period{1};      // the run's timer period in ms
    std::atomic<int32_t> stopRequested{0};
    std::atomic<int32_t> loopAtEnd{0};    // 1: when the song runs out, go on from its start
    std::atomic<int32_t> lastDelta{0};    // delta of the event after the last one looked at
    std::atomic<int32_t> songTime{0};     // ticks: the time of the last event looked at
    std::atomic<int32_t> endTime{-1};     // callback mode ends before this tick; -1: no end
    std::atomic<uint32_t> timerId{0};     // the pending one-shot timer

    // 1 while the run's timer chain is alive.
    int32_t playerBusy() const { return playerBusy_.load(); }
    // Sets the busy flag and wakes the threads that wait on it.
    void setPlayerBusy(int32_t busy);

    // Takes effect at the next delay the run computes, even in the middle of a run.
    void setSpeed(int percent) { speedPercent = percent; }
    // The chain ends at its next timer callback.
    void requestStop() { stopRequested = 1; }
    // Kills the pending timer (when it has not started yet) and marks the run idle.
    void killTimer();

    // Waits while playerBusy is 1. Returns false when `limit` (zero: none) ran out first.
    bool waitWhileBusy(std::chrono::milliseconds limit = std::chrono::milliseconds::zero()) const;

    // What every run starts from: no stop asked, 240 BPM at 100 %, from the first event.
    void resetForRun();

private:
    std::atomic<int32_t> playerBusy_{0};
};

// Ticks per minute at a tempo and speed: trunc(division * bpm * speed / 100).
int64_t ticksPerMinute(int division, uint32_t tempoBpm, int32_t speedPercent);

// Milliseconds until an event `delta` ticks away: delta * 60000 / tpm, truncated.
int64_t delayMs(int64_t delta, int64_t tpm);

// What a tempo event of `microseconds` per quarter note sets, as the player takes it:
// 60000 / (u / 1000) beats per minute, raised to 10 with "Tempo is too slow!" below that;
// under 1000 us the tempo is wrong and 60 is used. `problem` is the MDPL code to show, or 0.
struct TempoSetting {
    uint32_t bpm = kRunStartBpm;
    uint32_t problem = 0;
};
TempoSetting tempoSettingOf(int microseconds);

// The run's timer period: one tick at 240 BPM in whole milliseconds, at least `periodMin`.
uint32_t timerPeriodMs(int division, uint32_t periodMin);

// The one run the process plays at a time.
class RunSlot {
public:
    static RunSlot& instance();

    // Takes the slot for the run on `clock`. False when another run holds it.
    bool claim(PlayerClock& clock);
    // Gives the slot back; nothing happens unless `clock`'s run holds it.
    void release(const PlayerClock& clock);

    // Whether the run that holds the slot has its chain alive.
    bool holderBusy() const;
    // Asks the run that holds the slot, whichever player it belongs to, to stop.
    void requestStopOfHolder();

    // Wakes every waiter; call after changing anything a wait below reads.
    void notifyAll();
    // Waits until `done()` holds, at most `limit` (zero: no limit). Returns done(). `done`
    // runs under the slot's lock and must not call back into the slot.
    bool waitUntil(const std::function<bool()>& done,
                   std::chrono::milliseconds limit = std::chrono::milliseconds::zero());
    // The same, until `done()` holds and no run in the process is busy.
    bool waitUntilNoRunBusy(const std::function<bool()>& done, std::chrono::milliseconds limit);

private:
    RunSlot() = default;
    bool holderBusyLocked() const { return holder_ && holder_->playerBusy() == 1; }
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    PlayerClock* holder_ = nullptr;
};

}  // namespace tunecase
