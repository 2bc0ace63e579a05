#pragma once
// The user's remote key-value store, shared between their machines. Each entry carries the
// time of its last change so that the newer side can win.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/published.h"
#include "runtime/time.h"
#include "runtime/value.h"

namespace halvyn {

struct CloudEntry {
    // Absent when the value was removed on the machine that wrote the entry.
    std::optional<Value> value;
    WallTime time;

    friend bool operator==(const CloudEntry&, const CloudEntry&) = default;
};

class CloudStore {
public:
    // Names changed by another machine; delivered on the main queue.
    using ExternalChange = std::function<void(const std::vector<std::string>& names)>;

    virtual ~CloudStore() = default;

    virtual std::optional<CloudEntry> get(std::string_view name) const = 0;
    virtual void set(std::string_view name, CloudEntry entry) = 0;
    virtual void remove(std::string_view name) = 0;
    // Asks the store to exchange pending changes with the other machines.
    virtual void synchronize() = 0;
    // Whether the store has somewhere to keep entries now (one kept in a folder the user chooses
    // has none until a folder is chosen).
    virtual bool available() const { return true; }
    // Called on the main queue whenever availability, or where entries are kept, changes: every
    // key is then compared anew.
    virtual Subscription observeAvailability(std::function<void()> cb) {
        (void)cb;
        return {};
    }

    virtual Subscription observeExternalChanges(ExternalChange observer) = 0;
};

}  // namespace halvyn
