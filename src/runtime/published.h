#pragma once
// An observable property. Observers hear only real changes, with the animation of the change
// (or nullptr), on the thread that set it — which for managers is the main queue.

#include <cstddef>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "runtime/animation.h"

namespace halvyn {

// Stops an observation when destroyed or reset.
class Subscription {
public:
    Subscription() = default;
    explicit Subscription(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
    Subscription(Subscription&& o) noexcept : cancel_(std::move(o.cancel_)) { o.cancel_ = nullptr; }
    Subscription& operator=(Subscription&& o) noexcept {
        if (this != &o) {
            reset();
            cancel_ = std::move(o.cancel_);
            o.cancel_ = nullptr;
        }
        return *this;
    }
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    ~Subscription() { reset(); }

    void reset() {
        if (cancel_) {
            auto c = std::move(cancel_);
            cancel_ = nullptr;
            c();
        }
    }
    bool active() const { return static_cast<bool>(cancel_); }

private:
    std::function<void()> cancel_;
};

// Shared list of observers. Observers may subscribe or unsubscribe while a notification is being
// delivered; removal is by id, so a removed observer is never called afterwards.
template <class... Args>
class Signal {
public:
    using Callback = std::function<void(Args...)>;

    Signal() : state_(std::make_shared<State>()) {}
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;

    Subscription connect(Callback cb) {
        const std::size_t id = ++state_->nextId;
        state_->slots.push_back({id, std::make_shared<Callback>(std::move(cb))});
        std::weak_ptr<State> weak = state_;
        return Subscription([weak, id] {
            if (auto s = weak.lock()) {
                for (auto it = s->slots.begin(); it != s->slots.end(); ++it) {
                    if (it->id == id) {
                        s->slots.erase(it);
                        break;
                    }
                }
            }
        });
    }

    void emit(Args... args) const {
        if (state_->slots.empty()) return;
        // Copy: callbacks may change the list.
        auto slots = state_->slots;
        for (auto& slot : slots) {
            if (!stillConnected(slot.id)) continue;
            (*slot.cb)(args...);
        }
    }
    bool empty() const { return state_->slots.empty(); }

private:
    struct Slot {
        std::size_t id;
        std::shared_ptr<Callback> cb;
    };
    struct State {
        std::size_t nextId = 0;
        std::vector<Slot> slots;
    };
    bool stillConnected(std::size_t id) const {
        for (auto& s : state_->slots)
            if (s.id == id) return true;
        return false;
    }
    std::shared_ptr<State> state_;
};

template <class T>
class Published {
public:
    using Observer = std::function<void(const T& value, const Animation* anim)>;

    Published() = default;
    explicit Published(T initial) : value_(std::move(initial)) {}
    Published(const Published&) = delete;
    Published& operator=(const Published&) = delete;

    const T& get() const { return value_; }
    operator const T&() const { return value_; }

    // Sets the value; observers hear of it only when it differs. The animation is the one of
    // the enclosing `animate`, if any.
    void set(T v) {
        if (value_ == v) return;
        value_ = std::move(v);
        changed_.emit(value_, currentAnimation());
    }
    void set(T v, const Animation& anim) {
        AnimationScope scope(&anim);
        set(std::move(v));
    }
    Published& operator=(T v) {
        set(std::move(v));
        return *this;
    }

    Subscription observe(Observer cb) { return changed_.connect(std::move(cb)); }

private:
    T value_{};
    Signal<const T&, const Animation*> changed_;
};

}  // namespace halvyn
