#pragma once
// Clock, main queue and background queue of the desktop program: the main queue runs on the
// toolkit's event loop, background work on a pool of threads. Nothing wakes the process while
// no task is due: one single-shot timer is armed for the earliest task and stopped when the
// queue is empty.

#include <cstddef>
#include <memory>

#include "runtime/runtime.h"

namespace halvyn {

class RealTime final : public Runtime, public Clock, public MainQueue {
public:
    // Must be made on the thread that runs the event loop, after the application object.
    // `backgroundThreads` 0 picks one per core.
    explicit RealTime(int backgroundThreads = 0);
    ~RealTime() override;
    RealTime(const RealTime&) = delete;
    RealTime& operator=(const RealTime&) = delete;

    WallTime now() const override;
    Uptime uptime() const override;

    // Safe from any thread; the task always runs on the event loop's thread.
    void post(Task task) override;
    TaskHandle postAfter(Duration delay, Task task) override;

    Clock& clock() override { return *this; }
    MainQueue& main() override { return *this; }
    BackgroundQueue& background() override;

    // Tasks waiting to run (cancelled ones still count until their time comes).
    std::size_t pendingCount() const;
    // Whether the wake-up timer is armed; false whenever nothing is queued.
    bool timerArmed() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace halvyn
