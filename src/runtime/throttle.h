#pragma once
// At most one value per interval, latest wins: a value that arrives while no interval runs is
// delivered at once and opens an interval; values inside it are held, and when the interval
// ends the latest held one is delivered and opens the next interval.

#include <functional>
#include <optional>
#include <utility>

#include "runtime/main_queue.h"

namespace halvyn {

template <class T>
class Throttle {
public:
    Throttle(MainQueue& queue, Duration interval, std::function<void(const T&)> sink)
        : queue_(queue), interval_(interval), sink_(std::move(sink)) {}
    ~Throttle() { timer_.cancel(); }
    Throttle(const Throttle&) = delete;
    Throttle& operator=(const Throttle&) = delete;

    void push(T value) {
        if (timer_.pending()) {
            held_ = std::move(value);
            return;
        }
        openInterval();
        sink_(value);
    }
    bool hasHeld() const { return held_.has_value(); }

private:
    void openInterval() {
        timer_ = queue_.postAfter(interval_, [this] {
            if (!held_) return;
            T v = std::move(*held_);
            held_.reset();
            openInterval();
            sink_(v);
        });
    }

    MainQueue& queue_;
    Duration interval_;
    std::function<void(const T&)> sink_;
    std::optional<T> held_;
    TaskHandle timer_;
};

}  // namespace halvyn
