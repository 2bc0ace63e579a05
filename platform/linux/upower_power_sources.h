#pragma once
// The battery as UPower reports it (its display device and whether the machine runs on battery),
// and the low-power mode as power-profiles-daemon reports it ("power-saver" active). Both are
// followed on the system bus by name: late or stalled at start, they are read when they answer;
// one that goes away reads as no readings (and tells no change) until it returns, when it is read
// again and its first reading is announced as a starting point, not a change.

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

    // "AppleSmartBattery" is the internal battery: the display device, when it is a present battery.
    Service matchingService(std::string_view name) override;
    // ExternalConnected, IsCharging, CurrentCapacity, MaxCapacity (100), AvgTimeToFull (minutes).
    Value registryProperty(Service service, std::string_view key) override;
    // One "InternalBattery" with its "Current Capacity" in percent, while a battery is present.
    std::vector<Value> powerSourceDescriptions() override;

    Subscription observeChanges(std::function<void()> cb) override;
    Subscription observeConnected(std::function<void()> cb) override;
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
