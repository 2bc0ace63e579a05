#pragma once
// The one queue all logic runs on. Tasks due at the same time run in the order they were
// posted; a task posted while another runs runs on a later turn, never inside it.

#include "runtime/task.h"
#include "runtime/time.h"

namespace halvyn {

class MainQueue {
public:
    virtual ~MainQueue() = default;
    // Runs `task` on the next turn.
    virtual void post(Task task) = 0;
    // Runs `task` once `delay` has passed (a negative delay counts as zero).
    virtual TaskHandle postAfter(Duration delay, Task task) = 0;
};

// Where blocking work goes. Results come back to the main queue with MainQueue::post.
class BackgroundQueue {
public:
    virtual ~BackgroundQueue() = default;
    virtual void post(Task task) = 0;
};

}  // namespace halvyn
