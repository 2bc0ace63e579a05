#include "settings/defaults.h"

#include <algorithm>
#include <unordered_map>

#include "platform/cloud_store.h"
#include "platform/preferences.h"
#include "runtime/runtime.h"
#include "settings/icloud_synchronizer.h"

namespace halvyn {

struct Defaults::Observation {
    std::string name;
    std::optional<Value> last;
    StoredObserver cb;
    bool live = true;
};

// Main-queue state that deliveries reach through a weak pointer, so a delivery queued before
// the store went away does nothing.
// Observations are kept by key, so a change reaches only that key's observers.
struct Defaults::Shared {
    std::unordered_map<std::string, std::vector<std::shared_ptr<Observation>>> observations;

    void deliver(const std::string& name, const std::optional<Value>& now) {
        const auto it = observations.find(name);
        if (it == observations.end()) return;
        // A copy: an observer may observe or stop observing this key meanwhile.
        const std::vector<std::shared_ptr<Observation>> matching = it->second;
        for (auto& o : matching) {
            if (!o->live || o->last == now) continue;
            std::optional<Value> old = std::exchange(o->last, now);
            o->cb(old, now);
        }
    }
};

Defaults::Defaults(Preferences* prefs, CloudStore* cloud, Runtime& runtime, Logger log)
    : prefs_(prefs), log_(std::move(log)),
      shared_(std::make_shared<Shared>()) {
    if (!prefs_) return;
    for (const auto& key : allKeys())
        if (key.storedDefault) prefs_->registerDefault(key.name, *key.storedDefault);

    // The snapshot is taken on the thread that made the change, so each change arrives on the
    // main queue with the value it wrote, in order.
    std::weak_ptr<Shared> weak = shared_;
    MainQueue* main = &runtime.main();
    prefsChanges_ = prefs_->observe([weak, prefs, main](const std::vector<std::string>& names, Preferences::Origin) {
        for (const auto& name : names) {
            main->post([weak, name, now = prefs->get(name)] {
                if (auto s = weak.lock()) s->deliver(name, now);
            });
        }
    });

    if (cloud) {
        cloud_ = cloud;
        synchronizer_ = std::make_unique<iCloudSynchronizer>(*prefs_, *cloud, runtime.clock(), runtime.background(), log_);
    }
}

Defaults::~Defaults() = default;

std::optional<Value> Defaults::storedOrRegistered(std::string_view name) const {
    if (!prefs_) return std::nullopt;
    return prefs_->get(name);
}

void Defaults::reset(std::string_view name) {
    if (prefs_) prefs_->remove(name);
}

void Defaults::setStored(std::string_view name, Value stored) {
    if (prefs_) prefs_->set(name, std::move(stored));
}

Subscription Defaults::observeStored(std::string_view name, StoredObserver cb) {
    auto o = std::make_shared<Observation>();
    o->name = std::string(name);
    o->last = storedOrRegistered(name);
    o->cb = std::move(cb);
    shared_->observations[o->name].push_back(o);
    std::weak_ptr<Shared> weak = shared_;
    return Subscription([weak, o] {
        o->live = false;
        if (auto s = weak.lock()) {
            auto it = s->observations.find(o->name);
            if (it == s->observations.end()) return;
            std::erase(it->second, o);
            if (it->second.empty()) s->observations.erase(it);
        }
    });
}

const PropertySet& Defaults::properties() {
    if (properties_) return *properties_;
    properties_ = std::make_unique<PropertySet>();
    PropertySet& set = *properties_;
    for (const auto& key : allKeys()) {
        const KeyInfo* k = &key;
        set.add(
            std::string(key.name), [this, k] { return k->effective(*this); },
            [this, k](std::function<void()> changed) {
                // Only a change of what a read returns is a change of the property.
                auto last = std::make_shared<Value>(k->effective(*this));
                return observeStored(k->name, [this, k, last, changed = std::move(changed)](
                                                  const std::optional<Value>&, const std::optional<Value>&) {
                    Value now = k->effective(*this);
                    if (now == *last) return;
                    *last = std::move(now);
                    changed();
                });
            });
    }
    return set;
}

void Defaults::startCloudSynchronization() {
    if (!synchronizer_) return;
    synchronizer_->trackLocalChanges(synchronizedKeyNames());
    applyCloudSynchronization();
    if (!synchronizeSettingsChanges_.active()) {
        synchronizeSettingsChanges_ =
            observe(keys::synchronizeSettings, [this](const bool&, const bool&) { applyCloudSynchronization(); });
        // Adding the keys again compares each one with the store's new place.
        cloudAvailability_ = cloud_->observeAvailability([this] { applyCloudSynchronization(); });
    }
}

void Defaults::applyCloudSynchronization() {
    if (get(keys::synchronizeSettings) && cloud_->available()) {
        synchronizer_->add(synchronizedKeyNames());
    } else {
        synchronizer_->removeAll();
    }
}

}  // namespace halvyn
