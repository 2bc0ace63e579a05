#pragma once
// The lifetime of an object that hands out closures running later (queued tasks, timers, the
// callbacks of ports): a closure that checks its token, or one made by guard(), does nothing once
// the object is gone or has begun to go.

#include <memory>
#include <utility>

namespace halvyn {

class Lifetime {
public:
    // Whether the object still lives; copied into closures.
    class Token {
    public:
        explicit operator bool() const {
            const auto alive = alive_.lock();
            return alive && *alive;
        }

    private:
        friend class Lifetime;
        explicit Token(std::weak_ptr<const bool> alive) : alive_(std::move(alive)) {}
        std::weak_ptr<const bool> alive_;
    };

    Lifetime() = default;
    ~Lifetime() { end(); }
    Lifetime(const Lifetime&) = delete;
    Lifetime& operator=(const Lifetime&) = delete;

    Token token() const { return Token(alive_); }

    // `fn` wrapped to run only while the object lives; arguments pass through.
    template <class F>
    auto guard(F fn) const {
        return [alive = token(), fn = std::move(fn)](auto&&... args) mutable {
            if (alive) fn(std::forward<decltype(args)>(args)...);
        };
    }

    // Ends the lifetime before the members go: an owner calls it first in its destructor, so that
    // nothing its members' destruction sets off reaches it half destroyed.
    void end() { *alive_ = false; }

private:
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace halvyn
