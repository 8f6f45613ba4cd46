// One job at a time off a window's thread, so that a slow server never freezes the window.
// The job's ending runs back on the window's thread, as a posted message would.
//
// A job may show boxes; with the desktop player's sink a box from a worker waits for the
// window's thread. So a window must not wait for its job (close, destroy) while the job
// may still be running: the windows refuse to close while busy() and close when it ends.
#pragma once

#include <QMetaObject>
#include <QObject>
#include <functional>
#include <thread>

namespace tunecase {

class BackgroundJob {
public:
    explicit BackgroundJob(QObject* owner) : owner_(owner) {}
    ~BackgroundJob() { wait(); }
    BackgroundJob(const BackgroundJob&) = delete;
    BackgroundJob& operator=(const BackgroundJob&) = delete;

    // Runs `work` on a thread of its own, then `finished` on the owner's thread (dropped
    // when the owner is gone by then). False, and nothing runs, while a job is busy.
    // Window's thread only.
    bool start(std::function<void()> work, std::function<void()> finished = {}) {
        if (busy_) return false;
        wait();
        busy_ = true;
        thread_ = std::thread([this, work = std::move(work), finished = std::move(finished)]() mutable {
            work();
            QMetaObject::invokeMethod(
                owner_,
                [this, finished = std::move(finished)] {
                    wait();
                    busy_ = false;
                    if (finished) finished();
                },
                Qt::QueuedConnection);
        });
        return true;
    }

    // From start until the ending has run on the window's thread.
    bool busy() const { return busy_; }

    // Waits for the thread (the ending is not run).
    void wait() {
        if (thread_.joinable()) thread_.join();
    }

private:
    QObject* owner_;
    std::thread thread_;
    bool busy_ = false;
};

}  // namespace tunecase
