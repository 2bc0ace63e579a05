#pragma once
// Observers of a port implementation that may be notified from any thread. A notification calls
// the observers registered when it starts, outside the lock, so an observer may read the port
// or unsubscribe; an observer removed meanwhile is not called afterwards.

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "runtime/published.h"

namespace halvyn {

template <class... Args>
class ObserverList {
public:
    using Callback = std::function<void(Args...)>;

    ObserverList() : state_(std::make_shared<State>()) {}
    ObserverList(const ObserverList&) = delete;
    ObserverList& operator=(const ObserverList&) = delete;

    Subscription add(Callback cb) {
        auto slot = std::make_shared<Slot>(std::move(cb));
        {
            std::lock_guard lock(state_->mutex);
            state_->slots.push_back(slot);
        }
        std::weak_ptr<State> weakState = state_;
        std::weak_ptr<Slot> weakSlot = slot;
        return Subscription([weakState, weakSlot] {
            auto s = weakState.lock();
            auto slot = weakSlot.lock();
            if (!s || !slot) return;
            std::lock_guard lock(s->mutex);
            slot->live = false;
            std::erase(s->slots, slot);
        });
    }

    void notify(Args... args) const {
        std::vector<std::shared_ptr<Slot>> slots;
        {
            std::lock_guard lock(state_->mutex);
            slots = state_->slots;
        }
        for (auto& slot : slots) {
            bool live;
            {
                std::lock_guard lock(state_->mutex);
                live = slot->live;
            }
            if (live) slot->cb(args...);
        }
    }

private:
    struct Slot {
        explicit Slot(Callback c) : cb(std::move(c)) {}
        Callback cb;
        bool live = true;
    };
    struct State {
        std::mutex mutex;
        std::vector<std::shared_ptr<Slot>> slots;
    };
    std::shared_ptr<State> state_;
};

}  // namespace halvyn
