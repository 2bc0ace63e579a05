#pragma once
// Observable properties: read and observed by anyone, set only by the manager that owns them.

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
// delivered: one that unsubscribes is never called afterwards, one that subscribes hears the next
// notification. Delivery is linear in the observers; removal marks the entry and the list is
// compacted once at least half of it is gone, so unsubscribing is amortised constant time.
template <class... Args>
class Signal {
public:
    using Callback = std::function<void(Args...)>;

    Signal() : state_(std::make_shared<State>()) {}
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;

    Subscription connect(Callback cb) {
        auto entry = std::make_shared<Entry>(Entry{std::move(cb), true});
        state_->slots.push_back(entry);
        std::weak_ptr<State> weakState = state_;
        std::weak_ptr<Entry> weakEntry = entry;
        return Subscription([weakState, weakEntry] {
            auto e = weakEntry.lock();
            if (!e || !e->connected) return;
            e->connected = false;
            if (auto s = weakState.lock()) {
                ++s->dead;
                s->compactIfWorthIt();
            }
        });
    }

    void emit(Args... args) const {
        // Held: a callback may destroy the signal's owner.
        const std::shared_ptr<State> s = state_;
        const std::size_t n = s->slots.size();
        if (n == s->dead) return;
        ++s->emitting;
        for (std::size_t i = 0; i < n; ++i) {
            if (!s->slots[i]->connected) continue;
            const std::shared_ptr<Entry> e = s->slots[i];  // the list may grow meanwhile
            e->cb(args...);
        }
        --s->emitting;
        s->compactIfWorthIt();
    }
    bool empty() const { return state_->slots.size() == state_->dead; }

private:
    struct Entry {
        Callback cb;
        bool connected;
    };
    struct State {
        std::vector<std::shared_ptr<Entry>> slots;
        std::size_t dead = 0;
        int emitting = 0;
        void compactIfWorthIt() {
            if (emitting > 0 || dead == 0 || dead * 2 < slots.size()) return;
            std::erase_if(slots, [](const std::shared_ptr<Entry>& e) { return !e->connected; });
            dead = 0;
        }
    };
    std::shared_ptr<State> state_;
};

// An observable property as everyone but its owner sees it: read it, observe it. Observers hear
// only real changes, with the animation of the change (or nullptr), on the thread that set it —
// which for managers is the main queue.
template <class T>
class Published {
public:
    using Observer = std::function<void(const T& value, const Animation* anim)>;

    Published(const Published&) = delete;
    Published& operator=(const Published&) = delete;

    const T& get() const { return value_; }
    operator const T&() const { return value_; }

    Subscription observe(Observer cb) const { return changed_.connect(std::move(cb)); }

protected:
    Published() = default;
    explicit Published(T initial) : value_(std::move(initial)) {}
    ~Published() = default;

    // Observers hear of the value only when it differs. The animation is the one of the
    // enclosing `animate`, if any.
    void assign(T v) {
        if (value_ == v) return;
        value_ = std::move(v);
        changed_.emit(value_, currentAnimation());
    }

private:
    T value_{};
    mutable Signal<const T&, const Animation*> changed_;
};

// A property that only `Owner` sets: a manager declares its state as `Owned<T, Manager>`, sets it
// in its own members, and everyone else reads it as a `Published<T>`.
template <class T, class Owner>
class Owned final : public Published<T> {
public:
    Owned() = default;
    explicit Owned(T initial) : Published<T>(std::move(initial)) {}

private:
    friend Owner;
    friend struct OwnedTestAccess;  // tests/runtime/owned_access.h: a test standing in for the owner
    void set(T v) { this->assign(std::move(v)); }
    void set(T v, const Animation& anim) {
        AnimationScope scope(&anim);
        set(std::move(v));
    }
    Owned& operator=(T v) {
        set(std::move(v));
        return *this;
    }
};

}  // namespace halvyn
