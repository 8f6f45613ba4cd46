#include "platform/timer_service.h"

#include <sys/prctl.h>

namespace tunecase {

TimerService::TimerService() = default;

TimerService::~TimerService() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        queue_.clear();
        entries_.clear();
    }
    wake_.notify_all();
    if (!thread_.joinable()) return;
    // A callback that ends the service cannot wait for its own thread.
    if (thread_.get_id() == std::this_thread::get_id())
        thread_.detach();
    else
        thread_.join();
}

TimerService& TimerService::instance() {
    static TimerService service;
    return service;
}

bool TimerService::startLocked() {
    if (thread_.joinable()) return true;
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

uint32_t TimerService::setEvent(uint32_t delayMs, TimerCallback callback) {
    TimerCaps caps;
    if (delayMs < caps.periodMin || delayMs > caps.periodMax) return 0;
    return add(Clock::now() + std::chrono::milliseconds(delayMs), std::move(callback));
}

uint32_t TimerService::setEventAt(Clock::time_point deadline, TimerCallback callback) {
    TimerCaps caps;
    if (deadline - Clock::now() > std::chrono::milliseconds(caps.periodMax)) return 0;
    return add(deadline, std::move(callback));
}

uint32_t TimerService::add(Clock::time_point deadline, TimerCallback callback) {
    if (!callback) return 0;
    uint32_t id;
    {
        std::lock_guard lock(mutex_);
        if (stopping_ || !startLocked()) return 0;
        // Ids wrap after 2^32 timers; skip 0 and any id still pending.
        do {
            id = ++lastId_;
        } while (id == 0 || entries_.count(id));
        uint64_t sequence = nextSequence_++;
        entries_.emplace(id, Entry{deadline, sequence, std::move(callback)});
        queue_.emplace(deadline, sequence, id);
    }
    wake_.notify_one();
    return id;
}

int TimerService::killEvent(uint32_t timerId) {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(timerId);
    if (it == entries_.end()) return timerresult::NoCanDo;
    queue_.erase({it->second.deadline, it->second.sequence, timerId});
    entries_.erase(it);
    // The thread may now sleep longer than needed, which is harmless: it re-checks the
    // queue when it wakes.
    return timerresult::NoError;
}

size_t TimerService::pendingCount() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

void TimerService::run() {
    // Default timer slack lets the kernel wake us up to 50 us late; a player wants less.
    prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (queue_.empty()) {
            wake_.wait(lock);
            continue;
        }
        auto [deadline, sequence, id] = *queue_.begin();
        if (Clock::now() < deadline) {
            wake_.wait_until(lock, deadline);
            continue;
        }
        // Taking the entry out under the lock is what makes a later kill a no-op.
        queue_.erase(queue_.begin());
        {
            auto node = entries_.extract(id);
            lock.unlock();
            node.mapped().callback(id);
            // The callback's captures are released here, still outside the lock.
        }
        lock.lock();
    }
}

int timeGetDevCaps(TimerCaps& caps) {
    caps = TimerCaps{};
    return timerresult::NoError;
}

int timeBeginPeriod(uint32_t) { return timerresult::NoError; }

int timeEndPeriod(uint32_t) { return timerresult::NoError; }

uint32_t timeSetEvent(uint32_t delayMs, uint32_t, TimerCallback callback) {
    return TimerService::instance().setEvent(delayMs, std::move(callback));
}

uint32_t timeSetEventAt(std::chrono::steady_clock::time_point deadline, TimerCallback callback) {
    return TimerService::instance().setEventAt(deadline, std::move(callback));
}

int timeKillEvent(uint32_t timerId) { return TimerService::instance().killEvent(timerId); }

}  // namespace tunecase
