#pragma once
// A task waiting on a queue's timeline, and the order every queue runs them in: earliest due time
// first, then posting order. Shared by virtual and real time so both order tasks alike.

#include <cstdint>
#include <memory>

#include "runtime/task.h"
#include "runtime/time.h"

namespace halvyn {

struct TimedTask {
    Uptime due;
    std::uint64_t seq;
    Task task;
    std::shared_ptr<TaskState> state;  // null for tasks that cannot be cancelled
};

// Heap comparator (std::push_heap / pop_heap keep the task that runs first at the front).
struct RunsLater {
    bool operator()(const TimedTask& a, const TimedTask& b) const {
        return a.due != b.due ? a.due > b.due : a.seq > b.seq;
    }
};

}  // namespace halvyn
