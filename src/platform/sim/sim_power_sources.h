#pragma once
// The simulated battery: a registry entry of plain values and one internal battery in the
// power-source list. Values are kept as given, of whatever kind, so that bad registry values can
// be simulated; null or a missing key is unknown.

#include <map>
#include <optional>
#include <string>

#include "platform/power_sources.h"

namespace halvyn {

class SimPowerSources final : public PowerSources {
public:
    // On battery, not charging, 80 of 100, no time to full (65535), 80 %.
    SimPowerSources();

    Service matchingService(std::string_view name) override;
    Value registryProperty(Service service, std::string_view key) override;
    std::vector<Value> powerSourceDescriptions() override;
    Subscription observeChanges(std::function<void()> cb) override;
    Subscription observeConnected(std::function<void()> cb) override;
    Subscription observeLowPowerMode(std::function<void(std::optional<bool>)> cb) override;

    // Simulation controls.
    // Without the battery service there is no registry entry and no power source.
    bool present = true;
    // The battery's registry entry by key ("ExternalConnected", "IsCharging", ...).
    std::map<std::string, Value, std::less<>> registry;
    // "Current Capacity" of the internal battery in the power-source list; null is unknown.
    Value percent;
    bool lowPowerMode = false;

    // Forgets every value (all unknown); the service stays present.
    void clear();
    // Posts the power-source change notification.
    void postChange();
    // Announces the battery service as (re)connected with the values as they are now.
    void postConnected();
    // Sets the low-power state and posts its notification, carrying it.
    void setLowPowerMode(bool enabled);
    // Posts the low-power notification as given (without a state: nullopt).
    void postLowPowerMode(std::optional<bool> carried);

    static constexpr Service kBatteryService = 0x2a03;

private:
    Signal<> changes_, connected_;
    Signal<std::optional<bool>> lowPower_;
};

}  // namespace halvyn
