// How late the one-shot timers fire: median, 99th percentile and maximum lateness in
// microseconds, reported as counters. Lateness is the time from a timer's deadline to the
// start of its callback.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <vector>

#include "platform/timer_service.h"

namespace {

using Clock = std::chrono::steady_clock;
using Micro = std::chrono::duration<double, std::micro>;

void reportLateness(benchmark::State& state, std::vector<double> lateUs) {
    if (lateUs.empty()) return;
    std::sort(lateUs.begin(), lateUs.end());
    auto at = [&](double q) { return lateUs[std::min(lateUs.size() - 1, static_cast<size_t>(q * lateUs.size()))]; };
    state.counters["median_us"] = at(0.5);
    state.counters["p99_us"] = at(0.99);
    state.counters["max_us"] = lateUs.back();
    state.counters["timers"] = static_cast<double>(lateUs.size());
}

// One timer at a time, set from this thread with a delay in ms, as the first timer of a
// run is.
void BM_OneShotLateness(benchmark::State& state) {
    const auto delayMs = static_cast<uint32_t>(state.range(0));
    std::vector<double> lateUs;
    for (auto _ : state) {
        std::promise<Clock::time_point> fired;
        auto future = fired.get_future();
        auto armed = Clock::now();
        if (!tunecase::timeSetEvent(delayMs, 1, [&](uint32_t) { fired.set_value(Clock::now()); })) {
            state.SkipWithError("timer refused");
            return;
        }
        auto at = future.get();
        lateUs.push_back(Micro(at - armed - std::chrono::milliseconds(delayMs)).count());
    }
    reportLateness(state, std::move(lateUs));
}
BENCHMARK(BM_OneShotLateness)->Arg(1)->Arg(5)->Iterations(1000)->UseRealTime()->Unit(benchmark::kMillisecond);

// A player-like chain: every callback sets the next timer at an absolute deadline one
// period after the previous one, so lateness does not add up.
void BM_ChainLateness(benchmark::State& state) {
    const auto period = std::chrono::milliseconds(state.range(0));
    constexpr int kTicks = 250;
    std::vector<double> lateUs;
    lateUs.reserve(kTicks * 8);
    for (auto _ : state) {
        std::promise<void> done;
        int ticks = 0;
        Clock::time_point deadline = Clock::now() + period;
        std::function<void(uint32_t)> tick = [&](uint32_t) {
            lateUs.push_back(Micro(Clock::now() - deadline).count());
            if (++ticks == kTicks) {
                done.set_value();
                return;
            }
            deadline += period;
            tunecase::timeSetEventAt(deadline, tick);
        };
        tunecase::timeSetEventAt(deadline, tick);
        done.get_future().wait();
    }
    reportLateness(state, std::move(lateUs));
}
BENCHMARK(BM_ChainLateness)->Arg(2)->Iterations(4)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
