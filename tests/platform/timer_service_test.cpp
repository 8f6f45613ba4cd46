#include "platform/timer_service.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace tunecase {
namespace {

using namespace std::chrono_literals;

// Generous: only there so a broken service fails the test instead of hanging it.
constexpr auto kPatience = 10s;

// Collects fired timers; waits for a given number of them.
class Fired {
public:
    TimerCallback record(int tag) {
        return [this, tag](uint32_t) {
            std::lock_guard lock(mutex_);
            tags_.push_back(tag);
            threads_.insert(std::this_thread::get_id());
            changed_.notify_all();
        };
    }
    bool waitFor(size_t count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kPatience, [&] { return tags_.size() >= count; });
    }
    std::vector<int> tags() {
        std::lock_guard lock(mutex_);
        return tags_;
    }
    std::set<std::thread::id> threads() {
        std::lock_guard lock(mutex_);
        return threads_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<int> tags_;
    std::set<std::thread::id> threads_;
};

TEST(TimerService, FiresInDeadlineOrderOnItsOwnThread) {
    TimerService service;
    Fired fired;
    uint32_t a = service.setEvent(150, fired.record(3));
    uint32_t b = service.setEvent(50, fired.record(1));
    uint32_t c = service.setEvent(100, fired.record(2));
    EXPECT_NE(a, 0u);
    EXPECT_NE(b, 0u);
    EXPECT_NE(c, 0u);
    EXPECT_TRUE(a != b && b != c && a != c);
    ASSERT_TRUE(fired.waitFor(3));
    EXPECT_EQ(fired.tags(), (std::vector<int>{1, 2, 3}));
    ASSERT_EQ(fired.threads().size(), 1u);
    EXPECT_NE(*fired.threads().begin(), std::this_thread::get_id());
    EXPECT_EQ(service.pendingCount(), 0u);
}

TEST(TimerService, NeverFiresEarly) {
    TimerService service;
    std::promise<std::chrono::steady_clock::time_point> firedAt;
    auto armed = std::chrono::steady_clock::now();
    ASSERT_NE(service.setEvent(15, [&](uint32_t) { firedAt.set_value(std::chrono::steady_clock::now()); }), 0u);
    auto future = firedAt.get_future();
    ASSERT_EQ(future.wait_for(kPatience), std::future_status::ready);
    EXPECT_GE(future.get() - armed, 15ms);
}

TEST(TimerService, AbsoluteDeadlines) {
    TimerService service;
    Fired fired;
    auto now = std::chrono::steady_clock::now();
    ASSERT_NE(service.setEventAt(now + 80ms, fired.record(3)), 0u);
    ASSERT_NE(service.setEventAt(now - 5s, fired.record(1)), 0u);  // already due: fires at once
    ASSERT_NE(service.setEventAt(now + 40ms, fired.record(2)), 0u);
    EXPECT_EQ(service.setEventAt(now + 2h, fired.record(9)), 0u);  // beyond the longest delay
    EXPECT_EQ(service.setEventAt(now, TimerCallback{}), 0u);
    ASSERT_TRUE(fired.waitFor(3));
    EXPECT_EQ(fired.tags(), (std::vector<int>{1, 2, 3}));
}

TEST(TimerService, KilledTimerNeverFires) {
    TimerService service;
    Fired fired;
    uint32_t killed = service.setEvent(30, fired.record(1));
    service.setEvent(60, fired.record(2));
    EXPECT_EQ(service.killEvent(killed), timerresult::NoError);
    EXPECT_EQ(service.killEvent(killed), timerresult::NoCanDo);
    EXPECT_EQ(service.killEvent(0), timerresult::NoCanDo);
    EXPECT_EQ(service.killEvent(123456), timerresult::NoCanDo);
    ASSERT_TRUE(fired.waitFor(1));
    EXPECT_EQ(fired.tags(), std::vector<int>{2});
}

TEST(TimerService, RefusesDelaysOutsideTheCaps) {
    TimerService service;
    TimerCaps caps;
    EXPECT_EQ(timeGetDevCaps(caps), timerresult::NoError);
    EXPECT_EQ(caps.periodMin, 1u);
    EXPECT_EQ(service.setEvent(0, [](uint32_t) {}), 0u);
    EXPECT_EQ(service.setEvent(caps.periodMax + 1, [](uint32_t) {}), 0u);
    EXPECT_EQ(service.setEvent(5, TimerCallback{}), 0u);
}

// The player's pattern: every callback arms the next timer.
TEST(TimerService, CallbackArmsTheNextTimer) {
    TimerService service;
    std::vector<uint32_t> ids;
    std::promise<void> done;
    std::function<void(uint32_t)> step = [&](uint32_t id) {
        ids.push_back(id);  // only the timer thread touches `ids` until `done`
        if (ids.size() == 5) {
            done.set_value();
            return;
        }
        EXPECT_NE(service.setEvent(2, step), 0u);
    };
    ASSERT_NE(service.setEvent(2, step), 0u);
    ASSERT_EQ(done.get_future().wait_for(kPatience), std::future_status::ready);
    EXPECT_EQ(ids.size(), 5u);
    EXPECT_EQ(std::set<uint32_t>(ids.begin(), ids.end()).size(), 5u);
}

TEST(TimerService, CallbackCanKillAnotherTimer) {
    TimerService service;
    Fired fired;
    uint32_t victim = service.setEvent(80, fired.record(2));
    std::atomic<int> killResult{-1};
    service.setEvent(10, [&](uint32_t) { killResult = service.killEvent(victim); });
    service.setEvent(120, fired.record(3));
    ASSERT_TRUE(fired.waitFor(1));
    EXPECT_EQ(killResult.load(), timerresult::NoError);
    EXPECT_EQ(fired.tags(), std::vector<int>{3});
}

// A kill while the callback runs does not wait for it (no deadlock against a callback that
// waits for the killer) and reports the timer as gone.
TEST(TimerService, KillDuringCallbackReturnsAtOnce) {
    TimerService service;
    std::promise<void> started, release;
    auto releasedFuture = release.get_future().share();
    uint32_t id = service.setEvent(5, [&](uint32_t) {
        started.set_value();
        releasedFuture.wait_for(kPatience);
    });
    ASSERT_NE(id, 0u);
    ASSERT_EQ(started.get_future().wait_for(kPatience), std::future_status::ready);
    EXPECT_EQ(service.killEvent(id), timerresult::NoCanDo);
    // Other timers can be set and killed meanwhile.
    uint32_t other = service.setEvent(1000, [](uint32_t) {});
    EXPECT_EQ(service.killEvent(other), timerresult::NoError);
    release.set_value();
}

// Every kill that succeeds, from another thread, keeps that callback from ever starting.
TEST(TimerService, SuccessfulKillWinsEveryRace) {
    TimerService service;
    constexpr int kTimers = 300;
    std::mutex mutex;
    std::set<uint32_t> fired;
    std::atomic<int> callbacks{0};
    std::vector<uint32_t> ids;
    for (int i = 0; i < kTimers; ++i) {
        ids.push_back(service.setEvent(1 + i % 3, [&](uint32_t id) {
            std::lock_guard lock(mutex);
            fired.insert(id);
            ++callbacks;
        }));
    }
    std::set<uint32_t> killed;
    for (int i = 0; i < kTimers; i += 2)
        if (service.killEvent(ids[i]) == timerresult::NoError) killed.insert(ids[i]);
    // Wait until every timer that was not killed has run.
    auto until = std::chrono::steady_clock::now() + kPatience;
    while (callbacks.load() + static_cast<int>(killed.size()) < kTimers && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(1ms);
    std::lock_guard lock(mutex);
    EXPECT_EQ(fired.size() + killed.size(), static_cast<size_t>(kTimers));
    for (uint32_t id : killed) EXPECT_EQ(fired.count(id), 0u) << id;
}

TEST(TimerService, PendingTimersDieWithTheService) {
    std::atomic<int> calls{0};
    {
        TimerService service;
        service.setEvent(5, [&](uint32_t) { ++calls; });
        service.setEvent(10000, [&](uint32_t) { ++calls; });
        EXPECT_EQ(service.pendingCount(), 2u);
    }
    // The destructor has joined the thread: nothing can run any more. The 5 ms timer may
    // or may not have fired before; the long one never.
    EXPECT_LE(calls.load(), 1);
}

TEST(TimerService, ProcessWideFunctionsUseOneService) {
    std::promise<uint32_t> fired;
    uint32_t id = timeSetEvent(3, 1, [&](uint32_t timerId) { fired.set_value(timerId); });
    ASSERT_NE(id, 0u);
    auto future = fired.get_future();
    ASSERT_EQ(future.wait_for(kPatience), std::future_status::ready);
    EXPECT_EQ(future.get(), id);
    EXPECT_EQ(timeKillEvent(id), timerresult::NoCanDo);
    uint32_t pending = timeSetEvent(10000, 1, [](uint32_t) {});
    EXPECT_EQ(timeKillEvent(pending), timerresult::NoError);
}

}  // namespace
}  // namespace tunecase
