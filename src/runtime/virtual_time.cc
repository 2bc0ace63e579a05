#include "runtime/virtual_time.h"

#include <algorithm>

namespace halvyn {

VirtualTime::VirtualTime(WallTime start) : start_(start) {}

VirtualTime::~VirtualTime() {
    // Pending tasks may capture objects that are already gone; drop them unrun.
    heap_.clear();
}

void VirtualTime::push(Uptime due, Task task, std::shared_ptr<TaskState> state) {
    heap_.push_back(TimedTask{due, seq_++, std::move(task), std::move(state)});
    std::push_heap(heap_.begin(), heap_.end(), RunsLater{});
}

void VirtualTime::post(Task task) { push(now_, std::move(task), nullptr); }

TaskHandle VirtualTime::postAfter(Duration delay, Task task) {
    auto state = std::make_shared<TaskState>();
    push(now_ + std::max(delay, Duration::zero()), std::move(task), state);
    return TaskHandle(std::move(state));
}

Uptime VirtualTime::nextDue() const { return heap_.empty() ? Uptime(-1) : heap_.front().due; }

bool VirtualTime::runOne(Uptime limit, bool inclusive) {
    while (!heap_.empty()) {
        const Uptime due = heap_.front().due;
        if (inclusive ? due > limit : due >= limit) return false;
        std::pop_heap(heap_.begin(), heap_.end(), RunsLater{});
        TimedTask e = std::move(heap_.back());
        heap_.pop_back();
        if (e.state && e.state->cancelled) continue;
        if (due > now_) now_ = due;
        if (e.state) e.state->finished = true;
        e.task();
        return true;
    }
    return false;
}

void VirtualTime::runUntil(Uptime t) {
    while (runOne(t, true)) {
    }
    if (t > now_) now_ = t;
}

void VirtualTime::runBefore(Uptime t) {
    while (runOne(t, false)) {
    }
    if (t > now_) now_ = t;
}

void VirtualTime::advance(Duration d) { runUntil(now_ + std::max(d, Duration::zero())); }

void VirtualTime::runCurrent() { runUntil(now_); }

bool VirtualTime::runUntilIdle(std::size_t maxTasks) {
    for (std::size_t i = 0; i < maxTasks; ++i) {
        if (heap_.empty()) return true;
        runOne(heap_.front().due, true);
    }
    return heap_.empty();
}

}  // namespace halvyn
