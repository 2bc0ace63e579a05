#pragma once
// A preferences domain held in memory: the simulated domain, and the working copy of the
// preferences file. Thread-safe; observers hear of a change after the lock is released.

#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/observer_list.h"
#include "platform/preferences.h"

namespace halvyn {

class MemoryPreferences : public Preferences {
public:
    // Stored objects by name, ordered so that files and dumps are stable.
    using Contents = std::map<std::string, Value, std::less<>>;

    MemoryPreferences() = default;

    std::optional<Value> get(std::string_view name) const override;
    std::optional<Value> stored(std::string_view name) const override;
    void set(std::string_view name, Value value, Origin origin = Origin::app) override;
    void remove(std::string_view name, Origin origin = Origin::app) override;
    void registerDefault(std::string_view name, Value value) override;
    Subscription observe(Observer observer) override;

    // Every stored object.
    Contents contents() const;

protected:
    // Called with the lock held after this process changed the stored object of `name`
    // (nothing: removed).
    virtual void didChange(std::string_view /*name*/, const std::optional<Value>& /*value*/, Origin /*origin*/) {}
    // Replaces every stored object at once, with the lock held; returns the names whose object
    // changed.
    std::vector<std::string> replaceLocked(Contents contents);
    void notify(const std::vector<std::string>& names, Origin origin) const;
    Contents contentsLocked() const;

    mutable std::mutex mutex_;

private:
    struct Entry {
        std::optional<Value> stored;
        std::optional<Value> registered;
    };
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    void change(std::string_view name, std::optional<Value> value, Origin origin);

    std::unordered_map<std::string, Entry, Hash, std::equal_to<>> entries_;
    ObserverList<const std::vector<std::string>&, Origin> observers_;
};

}  // namespace halvyn
