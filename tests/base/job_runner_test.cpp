// The job runner with a plain queue for the window's thread: endings and handed-back results
// run only there and in order, busy and idle follow the jobs, cancel reaches running jobs
// only, and nothing posted runs after the runner has gone.
#include "base/job_runner.h"

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace tunecase {
namespace {

// The window's thread: tasks queued from any thread, run when the test pumps.
class WindowQueue {
public:
    JobRunner::Post post() {
        return [this](JobRunner::Task task) {
            std::lock_guard lock(mutex_);
            tasks_.push_back(std::move(task));
        };
    }
    // Runs what is queued now; true when something ran.
    bool pump() {
        std::deque<JobRunner::Task> now;
        {
            std::lock_guard lock(mutex_);
            now.swap(tasks_);
        }
        for (auto& task : now) task();
        if (now.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return !now.empty();
    }

private:
    std::mutex mutex_;
    std::deque<JobRunner::Task> tasks_;
};

TEST(JobRunner, ResultsAndEndingsRunOnTheWindowThreadInOrderWhileBusyFollowsTheJobs) {
    WindowQueue window;
    const auto windowThread = std::this_thread::get_id();
    std::vector<std::string> seen;
    std::vector<bool> busyChanges;
    {
        JobRunner runner(window.post());
        runner.setBusyListener([&](bool busy) { busyChanges.push_back(busy); });
        for (int j = 0; j < 3; ++j)
            runner.start(
                [&, j](const JobRunner::Job& job) {
                    EXPECT_NE(std::this_thread::get_id(), windowThread);
                    for (int i = 0; i < 3; ++i)
                        job.post([&, j, i] {
                            EXPECT_EQ(std::this_thread::get_id(), windowThread);
                            seen.push_back(std::to_string(j) + "." + std::to_string(i));
                        });
                },
                [&, j] { seen.push_back("done " + std::to_string(j)); });
        EXPECT_TRUE(runner.busy());
        EXPECT_EQ(runner.running(), 3);
        runner.waitIdle([&] { window.pump(); });
        EXPECT_FALSE(runner.busy());
    }
    ASSERT_EQ(seen.size(), 12u);
    // Each job's results come before its ending, in the order posted.
    for (int j = 0; j < 3; ++j) {
        std::vector<std::string> mine;
        for (const auto& s : seen)
            if (s[0] == '0' + j || s == "done " + std::to_string(j)) mine.push_back(s);
        const std::string n = std::to_string(j);
        EXPECT_EQ(mine, (std::vector<std::string>{n + ".0", n + ".1", n + ".2", "done " + n}));
    }
    EXPECT_EQ(busyChanges, (std::vector<bool>{true, false}));
}

TEST(JobRunner, CancelReachesTheRunningJobsOnlyAndLatePostsAreDropped) {
    WindowQueue window;
    std::atomic<bool> sawCancel{false};
    bool laterCancelled = true;
    int endings = 0;
    {
        JobRunner runner(window.post());
        runner.start(
            [&](const JobRunner::Job& job) {
                while (!job.cancelled()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
                sawCancel = true;
            },
            [&] { ++endings; });
        runner.cancel();
        runner.waitIdle([&] { window.pump(); });
        EXPECT_TRUE(sawCancel);
        runner.start([&](const JobRunner::Job& job) { laterCancelled = job.cancelled(); }, [&] { ++endings; });
        runner.waitIdle([&] { window.pump(); });
        EXPECT_FALSE(laterCancelled);
        EXPECT_EQ(endings, 2);

        // A job still posting when the runner goes: the destructor cancels and waits for it,
        // and what it posted never runs.
        runner.start([&](const JobRunner::Job& job) {
            job.post([&] { ++endings; });
            while (!job.cancelled()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            job.post([&] { ++endings; });
        });
    }
    while (window.pump()) {
    }
    EXPECT_EQ(endings, 2);
}

// A window that goes on from one job's ending to the next (an upload after a delete) sees
// the runner idle inside the ending, and busy and idle only once for the whole chain.
TEST(JobRunner, AnEndingMayStartTheNextJobWithoutAnIdleBetween) {
    WindowQueue window;
    std::vector<bool> busyChanges;
    std::vector<int> order;
    JobRunner runner(window.post());
    runner.setBusyListener([&](bool busy) { busyChanges.push_back(busy); });
    runner.start([&](const JobRunner::Job&) {}, [&] {
        order.push_back(1);
        EXPECT_FALSE(runner.busy());
        runner.start([&](const JobRunner::Job&) {}, [&] { order.push_back(2); });
        EXPECT_TRUE(runner.busy());
    });
    runner.waitIdle([&] { window.pump(); });
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_EQ(busyChanges, (std::vector<bool>{true, false}));
}

}  // namespace
}  // namespace tunecase
