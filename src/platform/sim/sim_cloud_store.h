#pragma once
// The simulated cloud key-value store: in memory. `externalChange` is another machine writing a
// key, which the store reports as an external change.

#include <map>
#include <mutex>
#include <string>

#include "platform/cloud_store.h"
#include "platform/observer_list.h"

namespace halvyn {

class SimCloudStore final : public CloudStore {
public:
    std::optional<CloudEntry> get(std::string_view name) const override;
    void set(std::string_view name, CloudEntry entry) override;
    void remove(std::string_view name) override;
    void synchronize() override;
    Subscription observeExternalChanges(ExternalChange observer) override;

    // Another machine changed `name` to `value` (nothing: removed it) at `time`.
    void externalChange(std::string_view name, std::optional<Value> value, WallTime time);

    int synchronizeCount() const;
    std::map<std::string, CloudEntry, std::less<>> entries() const;

private:
    mutable std::mutex mutex_;
    std::map<std::string, CloudEntry, std::less<>> entries_;
    int synchronizeCount_ = 0;
    ObserverList<const std::vector<std::string>&> observers_;
};

}  // namespace halvyn
