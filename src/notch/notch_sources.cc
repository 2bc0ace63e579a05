#include "notch/notch_sources.h"

namespace halvyn {

namespace {
// Clears a slot only while it still holds the same object.
template <class Map, class Key, class T>
Subscription releaseEntry(const std::shared_ptr<void>& owner, Map* map, Key key, T* source) {
    std::weak_ptr<void> weak = owner;
    return Subscription([weak, map, key, source] {
        if (weak.expired()) return;
        auto it = map->find(key);
        if (it != map->end() && it->second == source) map->erase(it);
    });
}
template <class T>
Subscription releaseSlot(const std::shared_ptr<void>& owner, T** slot, T* source) {
    std::weak_ptr<void> weak = owner;
    return Subscription([weak, slot, source] {
        if (!weak.expired() && *slot == source) *slot = nullptr;
    });
}
}  // namespace

NotchSources::NotchSources() : state_(std::make_shared<State>()) {}

Subscription NotchSources::addNotificationSource(Notch::Notification kind, NotificationSource& source) {
    if (kind == Notch::Notification::none) return {};
    state_->notifications[kind] = &source;
    return releaseEntry(state_, &state_->notifications, kind, &source);
}

Subscription NotchSources::addLiveActivitySource(Notch::LiveActivity kind, LiveActivitySource& source) {
    if (kind == Notch::LiveActivity::none) return {};
    state_->activities[kind] = &source;
    return releaseEntry(state_, &state_->activities, kind, &source);
}

Subscription NotchSources::setLockState(LockStateSource& source) {
    state_->lock = &source;
    return releaseSlot(state_, &state_->lock, &source);
}

Subscription NotchSources::setMediaState(MediaStateSource& source) {
    state_->media = &source;
    return releaseSlot(state_, &state_->media, &source);
}

Subscription NotchSources::setAccessory(AccessorySource& source) {
    state_->accessory = &source;
    return releaseSlot(state_, &state_->accessory, &source);
}

NotificationSource* NotchSources::notificationSource(Notch::Notification kind) const {
    auto it = state_->notifications.find(kind);
    return it == state_->notifications.end() ? nullptr : it->second;
}

LiveActivitySource* NotchSources::liveActivitySource(Notch::LiveActivity kind) const {
    auto it = state_->activities.find(kind);
    return it == state_->activities.end() ? nullptr : it->second;
}

}  // namespace halvyn
