// One-shot timers on a thread of their own, for the player's chain of timer callbacks.
//
// Each timer has an absolute steady-clock deadline (the time it was set plus its delay),
// and its callback runs on the service's thread. A callback may set the next timer or kill
// any timer. Killing from another thread never waits for a running callback (so it cannot
// deadlock against it), and once timeKillEvent returns, that timer's callback does not
// start any more.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <thread>
#include <tuple>

namespace tunecase {

// Result codes of the timer calls.
namespace timerresult {
inline constexpr int NoError = 0;
inline constexpr int NoCanDo = 97;  // unknown timer, or it has already fired
}  // namespace timerresult

// Timer resolution limits in ms.
struct TimerCaps {
    uint32_t periodMin = 1;
    uint32_t periodMax = 1000000;
};

using TimerCallback = std::function<void(uint32_t timerId)>;

class TimerService {
public:
    TimerService();
    ~TimerService();  // drops pending timers, waits for a running callback, ends the thread
    TimerService(const TimerService&) = delete;
    TimerService& operator=(const TimerService&) = delete;

    // The service the free functions below use.
    static TimerService& instance();

    // Sets a one-shot timer `delayMs` from now. Returns its id, or 0 when the delay is
    // outside the caps or the thread cannot start.
    uint32_t setEvent(uint32_t delayMs, TimerCallback callback);

    // Sets a one-shot timer at an absolute deadline, so that a chain of timers does not
    // drift by the time its callbacks take. A deadline already past fires at once; one
    // further ahead than the longest delay is refused (0).
    uint32_t setEventAt(std::chrono::steady_clock::time_point deadline, TimerCallback callback);

    // Removes a pending timer. NoCanDo when it is unknown, has fired or is firing.
    int killEvent(uint32_t timerId);

    // Timers not yet fired.
    size_t pendingCount() const;

private:
    using Clock = std::chrono::steady_clock;
    struct Entry {
        Clock::time_point deadline;
        uint64_t sequence;
        TimerCallback callback;
    };

    void run();
    bool startLocked();
    uint32_t add(Clock::time_point deadline, TimerCallback callback);

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    // Pending timers by deadline, then by arming order, then id.
    std::set<std::tuple<Clock::time_point, uint64_t, uint32_t>> queue_;
    std::map<uint32_t, Entry> entries_;
    uint64_t nextSequence_ = 0;
    uint32_t lastId_ = 0;
    bool stopping_ = false;
    std::thread thread_;
};

// The timer calls the player makes, on TimerService::instance().
int timeGetDevCaps(TimerCaps& caps);
int timeBeginPeriod(uint32_t periodMs);  // timers are always as fine as the clock allows
int timeEndPeriod(uint32_t periodMs);
uint32_t timeSetEvent(uint32_t delayMs, uint32_t resolutionMs, TimerCallback callback);
uint32_t timeSetEventAt(std::chrono::steady_clock::time_point deadline, TimerCallback callback);
int timeKillEvent(uint32_t timerId);

}  // namespace tunecase
