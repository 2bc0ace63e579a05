#pragma once
// The per-user preferences domain: named values that persist across runs, with a registration
// domain of defaults that reads fall back to. Safe to use from any thread.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/published.h"
#include "runtime/value.h"

namespace halvyn {

class Preferences {
public:
    // Who changed the domain: this process, another process writing the same domain, or the
    // cloud synchroniser writing what it pulled (which must not be pushed back).
    enum class Origin { app, external, sync };
    // Called with the names whose stored object changed. Changes made by this process are
    // reported on the thread that made them, external ones on the main queue.
    using Observer = std::function<void(const std::vector<std::string>& names, Origin origin)>;

    virtual ~Preferences() = default;

    // The stored object, else the registered default, else nothing.
    virtual std::optional<Value> get(std::string_view name) const = 0;
    // The stored object only.
    virtual std::optional<Value> stored(std::string_view name) const = 0;
    // Stores `value`; a null value removes the object (the domain stores no nulls).
    virtual void set(std::string_view name, Value value, Origin origin = Origin::app) = 0;
    virtual void remove(std::string_view name, Origin origin = Origin::app) = 0;
    // Registration domain: what a read returns while nothing is stored. Never persisted and
    // never reported as a change.
    virtual void registerDefault(std::string_view name, Value value) = 0;

    virtual Subscription observe(Observer observer) = 0;

    // Why changes are not being kept right now (the last save failed: a full disk, a read-only
    // folder), empty while they are. `changed` is called on the main queue when it changes.
    virtual std::string saveProblem() const { return {}; }
    virtual Subscription observeSaveProblem(std::function<void()> changed) {
        (void)changed;
        return {};
    }
};

}  // namespace halvyn
