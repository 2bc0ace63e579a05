#include "settings/memory_preferences.h"

namespace halvyn {

std::optional<Value> MemoryPreferences::get(std::string_view name) const {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(name);
    if (it == entries_.end()) return std::nullopt;
    return it->second.stored ? it->second.stored : it->second.registered;
}

std::optional<Value> MemoryPreferences::stored(std::string_view name) const {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(name);
    if (it == entries_.end()) return std::nullopt;
    return it->second.stored;
}

void MemoryPreferences::set(std::string_view name, Value value, Origin origin) {
    if (value.isNull()) {
        change(name, std::nullopt, origin);
    } else {
        change(name, std::move(value), origin);
    }
}

void MemoryPreferences::remove(std::string_view name, Origin origin) { change(name, std::nullopt, origin); }

void MemoryPreferences::change(std::string_view name, std::optional<Value> value, Origin origin) {
    {
        std::lock_guard lock(mutex_);
        auto it = entries_.find(name);
        if (it == entries_.end()) {
            if (!value) return;
            it = entries_.emplace(std::string(name), Entry{}).first;
        }
        // Writing what is already stored is no change.
        if (it->second.stored == value) return;
        it->second.stored = std::move(value);
        didChange(name, it->second.stored, origin);
    }
    notify({std::string(name)}, origin);
}

void MemoryPreferences::registerDefault(std::string_view name, Value value) {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(name);
    if (it == entries_.end()) it = entries_.emplace(std::string(name), Entry{}).first;
    if (value.isNull()) {
        it->second.registered.reset();
    } else {
        it->second.registered = std::move(value);
    }
}

Subscription MemoryPreferences::observe(Observer observer) { return observers_.add(std::move(observer)); }

MemoryPreferences::Contents MemoryPreferences::contents() const {
    std::lock_guard lock(mutex_);
    return contentsLocked();
}

MemoryPreferences::Contents MemoryPreferences::contentsLocked() const {
    Contents out;
    for (const auto& [name, entry] : entries_)
        if (entry.stored) out.emplace(name, *entry.stored);
    return out;
}

std::vector<std::string> MemoryPreferences::replaceLocked(Contents contents) {
    std::vector<std::string> changed;
    for (auto& [name, entry] : entries_) {
        if (!entry.stored) continue;
        auto it = contents.find(name);
        if (it == contents.end()) {
            entry.stored.reset();
            changed.push_back(name);
        }
    }
    for (auto& [name, value] : contents) {
        auto it = entries_.find(name);
        if (it == entries_.end()) it = entries_.emplace(name, Entry{}).first;
        if (it->second.stored == value) continue;
        it->second.stored = std::move(value);
        changed.push_back(name);
    }
    return changed;
}

void MemoryPreferences::notify(const std::vector<std::string>& names, Origin origin) const {
    if (!names.empty()) observers_.notify(names, origin);
}

}  // namespace halvyn
