#include "platform/sim/sim_cloud_store.h"

namespace halvyn {

std::optional<CloudEntry> SimCloudStore::get(std::string_view name) const {
    std::lock_guard lock(mutex_);
    auto it = entries_.find(name);
    if (it == entries_.end()) return std::nullopt;
    return it->second;
}

void SimCloudStore::set(std::string_view name, CloudEntry entry) {
    std::lock_guard lock(mutex_);
    entries_.insert_or_assign(std::string(name), std::move(entry));
}

void SimCloudStore::remove(std::string_view name) {
    std::lock_guard lock(mutex_);
    if (auto it = entries_.find(name); it != entries_.end()) entries_.erase(it);
}

void SimCloudStore::synchronize() {
    std::lock_guard lock(mutex_);
    ++synchronizeCount_;
}

Subscription SimCloudStore::observeExternalChanges(ExternalChange observer) {
    return observers_.add(std::move(observer));
}

void SimCloudStore::externalChange(std::string_view name, std::optional<Value> value, WallTime time) {
    set(name, CloudEntry{std::move(value), time});
    observers_.notify({std::string(name)});
}

int SimCloudStore::synchronizeCount() const {
    std::lock_guard lock(mutex_);
    return synchronizeCount_;
}

std::map<std::string, CloudEntry, std::less<>> SimCloudStore::entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
}

}  // namespace halvyn
