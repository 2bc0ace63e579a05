#pragma once
// A handle to a delayed task on a queue. Cancelling is idempotent and safe after the task ran
// or after the queue is gone.

#include <functional>
#include <memory>

namespace halvyn {

using Task = std::function<void()>;

struct TaskState {
    bool cancelled = false;
    bool finished = false;
};

class TaskHandle {
public:
    TaskHandle() = default;
    explicit TaskHandle(std::shared_ptr<TaskState> state) : state_(std::move(state)) {}

    void cancel() {
        if (state_) state_->cancelled = true;
        state_.reset();
    }
    // True while the task is waiting to run.
    bool pending() const { return state_ && !state_->cancelled && !state_->finished; }

private:
    std::shared_ptr<TaskState> state_;
};

}  // namespace halvyn
