#pragma once
// The battery as UPower reports it (its display device and whether the machine runs on battery),
// and the low-power mode as power-profiles-daemon reports it ("power-saver" active). Both are
// followed on the system bus; a service that goes away reads as no readings until it returns.

#include <QDBusConnection>

#include <memory>
#include <string>

#include "platform/power_sources.h"
#include "runtime/logger.h"

namespace halvyn {

class DBusObject;

class UPowerPowerSources final : public PowerSources {
public:
    UPowerPowerSources(QDBusConnection bus, Logger logger);
    ~UPowerPowerSources() override;

    // Whether UPower answered when the port was made; no battery service otherwise.
    bool available() const;

    // "AppleSmartBattery" is the internal battery: the display device, when it is a present battery.
    Service matchingService(std::string_view name) override;
    // ExternalConnected, IsCharging, CurrentCapacity, MaxCapacity (100), AvgTimeToFull (minutes).
    Value registryProperty(Service service, std::string_view key) override;
    // One "InternalBattery" with its "Current Capacity" in percent, while a battery is present.
    std::vector<Value> powerSourceDescriptions() override;

    Subscription observeChanges(std::function<void()> cb) override;
    Subscription observeLowPowerMode(std::function<void(std::optional<bool>)> cb) override;

private:
    struct State;
    void changed();
    void profileChanged();
    std::string reading();

    Logger logger_;
    std::unique_ptr<State> state_;
};

}  // namespace halvyn
