#pragma once
// The settings store. Reads convert the stored object to the key's type, falling back to the
// key's default when nothing is stored or the stored object does not convert (which stays
// stored as it is). Reads are cheap and may come from any thread; managers read a key at the
// moment they act. Observers hear changes of the stored object on the main queue, whoever made
// them: this process, another process, or the cloud synchroniser.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "runtime/logger.h"
#include "runtime/properties.h"
#include "runtime/published.h"
#include "settings/keys.h"

namespace halvyn {

class CloudStore;
class Preferences;
class Runtime;
class iCloudSynchronizer;

class Defaults {
public:
    // Without preferences nothing is stored and every read gives the key's default; without a
    // cloud store nothing is synchronised.
    Defaults(Preferences* prefs, CloudStore* cloud, Runtime& runtime, Logger log);
    ~Defaults();
    Defaults(const Defaults&) = delete;
    Defaults& operator=(const Defaults&) = delete;

    template <class T>
    T get(const Key<T>& key) const {
        if (auto v = storedOrRegistered(key.name))
            if (auto t = Codec<T>::decode(*v)) return std::move(*t);
        return key.defaultValue;
    }

    template <class T>
    void set(const Key<T>& key, const T& value) {
        setStored(key.name, Codec<T>::encode(value));
    }

    template <class T>
    void reset(const Key<T>& key) {
        reset(key.name);
    }
    void reset(std::string_view name);

    // Writes a stored object as it is (null removes it), whatever the key's type.
    void setStored(std::string_view name, Value stored);

    template <class T>
    using Observer = std::function<void(const T& oldValue, const T& newValue)>;

    // Calls `cb` on the main queue with the old and the new value whenever the stored object of
    // `key` changes, until the subscription ends.
    template <class T>
    Subscription observe(const Key<T>& key, std::type_identity_t<Observer<T>> cb) {
        const Key<T>* k = &key;
        return observeStored(key.name, [k, cb = std::move(cb)](const std::optional<Value>& o,
                                                               const std::optional<Value>& n) {
            cb(decodeOr(*k, o), decodeOr(*k, n));
        });
    }

    using StoredObserver =
        std::function<void(const std::optional<Value>& oldStored, const std::optional<Value>& newStored)>;
    Subscription observeStored(std::string_view name, StoredObserver cb);

    // Every key's effective value by name, for traces; a change is reported only when the value a
    // read returns changes.
    const PropertySet& properties();

    // Cloud synchronisation: adds the synchronised keys now if "synchronizeSettings" is true and
    // the cloud store is available (removes them all otherwise) and again whenever either changes;
    // when the store's place changes, every key is compared anew. Does nothing without a cloud
    // store. Calling it again only re-applies.
    void startCloudSynchronization();
    iCloudSynchronizer* synchronizer() { return synchronizer_.get(); }

private:
    struct Observation;
    struct Shared;

    template <class T>
    static T decodeOr(const Key<T>& key, const std::optional<Value>& v) {
        if (v)
            if (auto t = Codec<T>::decode(*v)) return std::move(*t);
        return key.defaultValue;
    }
    std::optional<Value> storedOrRegistered(std::string_view name) const;
    void applyCloudSynchronization();

    Preferences* prefs_;
    Logger log_;
    std::shared_ptr<Shared> shared_;
    Subscription prefsChanges_;
    std::unique_ptr<PropertySet> properties_;
    std::unique_ptr<iCloudSynchronizer> synchronizer_;
    Subscription synchronizeSettingsChanges_;
    CloudStore* cloud_ = nullptr;
    Subscription cloudAvailability_;
};

}  // namespace halvyn
