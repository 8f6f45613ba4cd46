// Two runs started together on two threads, round after round: for tests that two runs
// share nothing (each must give what it gives alone) and that nothing serialises them.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <latch>
#include <thread>

namespace tunecase::testing {

// Calls run(0, round) and run(1, round) at once, `rounds` times, then check(round) after
// each round. Returns how many rounds the two calls overlapped in time.
inline int runTwoAtOnce(int rounds, const std::function<void(size_t k, int round)>& run,
                        const std::function<void(int round)>& check) {
    using Clock = std::chrono::steady_clock;
    int overlapped = 0;
    for (int round = 0; round < rounds; ++round) {
        std::latch start(2);
        Clock::time_point from[2], to[2];
        std::thread threads[2];
        for (size_t k = 0; k < 2; ++k)
            threads[k] = std::thread([&, k] {
                start.arrive_and_wait();
                from[k] = Clock::now();
                run(k, round);
                to[k] = Clock::now();
            });
        for (std::thread& t : threads) t.join();
        check(round);
        overlapped += from[0] < to[1] && from[1] < to[0];
    }
    return overlapped;
}

}  // namespace tunecase::testing
