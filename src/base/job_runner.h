// Work off the window's thread, the one way the program has of doing it. A job runs on a
// worker thread of its own; whatever it hands back (songs as they are made, its ending, a
// numeric window message) runs on the window's thread through the post function the window
// supplies. The window sees busy and idle, and at close it cancels and waits.
//
// Jobs may show boxes, and a box shown from a worker waits for the window's thread: so the
// window never blocks on a job; waitIdle() keeps the window's tasks running while it waits.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

namespace tunecase {

class JobRunner final {
public:
    using Task = std::function<void()>;
    // Queues a task on the window's thread; it may be called from any thread.
    using Post = std::function<void(Task)>;

    // What a job sees of the runner.
    class Job final {
    public:
        // True once the window has asked the jobs to stop; a job looks at it between steps.
        bool cancelled() const;
        // Runs `task` on the window's thread, after the tasks posted before it.
        void post(Task task) const;

    private:
        friend class JobRunner;
        Job(const JobRunner& runner, unsigned generation) : runner_(runner), generation_(generation) {}
        const JobRunner& runner_;
        unsigned generation_;
    };

    explicit JobRunner(Post post);
    // Cancels, then waits for the workers (not for the window's tasks: those still queued are
    // dropped when they come up). Destroy the runner before what its jobs use.
    ~JobRunner();
    JobRunner(const JobRunner&) = delete;
    JobRunner& operator=(const JobRunner&) = delete;

    // Window's thread. Runs `work` on a worker, then `done` on the window's thread. The job
    // counts as running from here until its `done` begins, so an ending may start the next
    // job; the idle signal comes after the ending, and only when nothing new started.
    void start(std::function<void(const Job&)> work, Task done = {});

    // Window's thread: jobs started whose ending has not yet run.
    int running() const { return running_; }
    bool busy() const { return running_ > 0; }
    // Called on the window's thread when the runner turns busy (true) or idle (false).
    void setBusyListener(std::function<void(bool)> listener) { busyListener_ = std::move(listener); }

    // Runs `task` on the window's thread; from any thread (a timer, a device callback).
    void post(Task task) const;
    // Asks the jobs running now to stop (their Job::cancelled() turns true); later jobs run.
    void cancel() { ++generation_; }
    // Window's thread: waits until every job has ended and its ending has run, calling
    // `pumpWindowTasks` meanwhile so that posted tasks (and boxes from workers) go on.
    void waitIdle(const std::function<void()>& pumpWindowTasks);

private:
    struct Worker {
        std::thread thread;
        std::atomic<bool> finished{false};
    };
    void reapFinished();
    void tellBusy();

    Post post_;
    // Shared with the tasks posted: a task that comes up after the runner has gone does nothing.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    std::atomic<unsigned> generation_{0};
    int running_ = 0;
    bool toldBusy_ = false;
    std::function<void(bool)> busyListener_;
    std::list<Worker> workers_;
};

}  // namespace tunecase
