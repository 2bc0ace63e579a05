#pragma once
// A named slot holding at most one pending delayed task. Scheduling replaces what is in the
// slot; destroying the slot cancels it, so a manager's pending work never outlives it.

#include <string>
#include <utility>

#include "runtime/main_queue.h"

namespace halvyn {

class Debounce {
public:
    Debounce(MainQueue& queue, const char* name) : queue_(&queue), name_(name) {}
    ~Debounce() { cancel(); }
    Debounce(const Debounce&) = delete;
    Debounce& operator=(const Debounce&) = delete;

    void schedule(Duration delay, Task task) {
        handle_.cancel();
        handle_ = queue_->postAfter(delay, std::move(task));
    }
    void schedule(double delaySeconds, Task task) { schedule(seconds(delaySeconds), std::move(task)); }
    void cancel() { handle_.cancel(); }
    bool isPending() const { return handle_.pending(); }
    const char* name() const { return name_; }

private:
    MainQueue* queue_;
    const char* name_;
    TaskHandle handle_;
};

}  // namespace halvyn
