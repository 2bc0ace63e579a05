#pragma once
// Clock, main queue and background queue on a virtual timeline: time moves only when asked,
// and every task due on the way runs in due-time, then posting, order.

#include <cstdint>
#include <vector>

#include "runtime/clock.h"
#include "runtime/main_queue.h"
#include "runtime/runtime.h"
#include "runtime/timed_task.h"

namespace halvyn {

class VirtualTime final : public Runtime, public Clock, public MainQueue {
public:
    explicit VirtualTime(WallTime start = WallTime{});
    ~VirtualTime() override;
    VirtualTime(const VirtualTime&) = delete;
    VirtualTime& operator=(const VirtualTime&) = delete;

    WallTime now() const override { return start_ + now_; }
    Uptime uptime() const override { return now_; }

    void post(Task task) override;
    TaskHandle postAfter(Duration delay, Task task) override;

    // Runs every task due up to and including now + d, then leaves the clock at now + d.
    void advance(Duration d);
    // Runs every task due up to and including t (an uptime), then leaves the clock at t.
    void runUntil(Uptime t);
    // Runs every task due strictly before t and leaves the clock at t; tasks due exactly at t
    // stay queued. Lets a caller act "at t, before anything the run scheduled for t".
    void runBefore(Uptime t);
    // Runs tasks until none is left, moving the clock to each one's due time. Stops after
    // `maxTasks` tasks (a guard against a timer that re-arms itself forever); returns whether
    // the queue emptied.
    bool runUntilIdle(std::size_t maxTasks = 1'000'000);
    // Runs only the tasks that are due now (including ones they post for now).
    void runCurrent();

    std::size_t pendingCount() const { return heap_.size(); }
    // Due time of the earliest pending task, or -1 µs when none.
    Uptime nextDue() const;

    Clock& clock() override { return *this; }
    MainQueue& main() override { return *this; }
    BackgroundQueue& background() override { return background_; }

private:
    // Background work runs on the same virtual timeline, as a task posted for now.
    class Background final : public BackgroundQueue {
    public:
        explicit Background(VirtualTime& vt) : vt_(vt) {}
        void post(Task task) override { vt_.post(std::move(task)); }

    private:
        VirtualTime& vt_;
    };

    bool runOne(Uptime limit, bool inclusive);
    void push(Uptime due, Task task, std::shared_ptr<TaskState> state);

    WallTime start_;
    Uptime now_{0};
    std::uint64_t seq_ = 0;
    std::vector<TimedTask> heap_;
    Background background_{*this};
};

}  // namespace halvyn
