#include "base/job_runner.h"

namespace tunecase {

bool JobRunner::Job::cancelled() const { return runner_.generation_ != generation_; }

void JobRunner::Job::post(Task task) const { runner_.post(std::move(task)); }

JobRunner::JobRunner(Post post) : post_(std::move(post)) {}

JobRunner::~JobRunner() {
    *alive_ = false;
    cancel();
    for (auto& worker : workers_)
        if (worker.thread.joinable()) worker.thread.join();
}

void JobRunner::post(Task task) const {
    post_([alive = alive_, task = std::move(task)] {
        if (*alive && task) task();
    });
}

void JobRunner::reapFinished() {
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (it->finished) {
            it->thread.join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}

void JobRunner::start(std::function<void(const Job&)> work, Task done) {
    reapFinished();
    ++running_;
    tellBusy();
    Worker& worker = workers_.emplace_back();
    const unsigned generation = generation_;
    worker.thread = std::thread([this, &worker, generation, work = std::move(work), done = std::move(done)]() mutable {
        work(Job(*this, generation));
        // The ending is counted on the window's thread, so busy() changes only there.
        post([this, done = std::move(done)] {
            --running_;
            if (done) done();
            tellBusy();
        });
        worker.finished = true;
    });
}

void JobRunner::tellBusy() {
    if (busy() == toldBusy_) return;
    toldBusy_ = busy();
    if (busyListener_) busyListener_(toldBusy_);
}

void JobRunner::waitIdle(const std::function<void()>& pumpWindowTasks) {
    while (running_ > 0) pumpWindowTasks();
    reapFinished();
}

}  // namespace tunecase
