#pragma once
// Follows the internal battery and the power source: publishes the level, the power source, the
// low-power state and the time to full charge, and asks the notch for the charging, low-battery
// and low-power notifications.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "notch/notch.h"
#include "notch/notch_sources.h"
#include "runtime/debounce.h"
#include "runtime/lifetime.h"
#include "runtime/properties.h"
#include "runtime/published.h"
#include "runtime/seam.h"
#include "sources/battery_helper.h"

namespace halvyn {

class Services;
class Defaults;
class FocusStateSource;
class Notch;
class NotchSources;
class SoundManager;

// The title of a battery notification ("Charging", "Low Battery", "Low Power"); nullptr for
// kinds that are not the battery's.
const char* batteryNotificationTitle(Notch::Notification kind);

class BatteryManager final : public NotificationSource {
public:
    BatteryManager(Services& ctx, Defaults& defaults, Notch& notch, NotchSources& notchSources, SoundManager& sounds,
                   Seam<FocusStateSource> focus);
    ~BatteryManager() override;
    BatteryManager(const BatteryManager&) = delete;
    BatteryManager& operator=(const BatteryManager&) = delete;

    // Absent when the machine has no battery service.
    std::optional<BatteryHelper> batteryHelper;

    Owned<double, BatteryManager> batteryLevel{1.0};
    Owned<bool, BatteryManager> isOnBattery{false};
    Owned<bool, BatteryManager> isLowPowerModeEnabled{false};
    // The low-battery warning has been given for the current discharge.
    Owned<bool, BatteryManager> hasPassedThreshold{false};
    // True for 0.5 s after each power-source notification; the brightness display stays quiet.
    Owned<bool, BatteryManager> hasRecentlyChangedPowerSource{false};
    // Minutes to full charge while charging.
    Owned<std::optional<int>, BatteryManager> remainingTime;

    // isCharging, isLowBattery, isLowPowerMode.
    bool allowsNotification(Notch::Notification kind) const override;

    // What the battery notification shows: "Charging", "Low Battery" or "Low Power" (nothing
    // when "hideBatteryLabel" is on, or for another kind), and the percentage of the level
    // (nothing when "hideBatteryPercentage" is on).
    std::optional<std::string> notificationLabel(Notch::Notification kind) const;
    std::optional<int> notificationPercentage() const;

    const PropertySet& properties() const { return properties_; }

private:
    // Subscribes to the battery's changes once it has been found.
    void follow(PowerSources& sources);
    void serviceConnected(PowerSources& sources);
    void powerSourceChanged();
    // `baseline`: the reading is where later changes start from, so no charging is announced.
    void update(bool baseline = false);
    void updateRemainingTime();
    void lowPowerModeChanged(std::optional<bool> enabled);
    void warnLowBattery();
    void request(Notch::Notification kind);

    Services& ctx_;
    Seam<FocusStateSource> focus_;
    Defaults& defaults_;
    Notch& notch_;
    NotchSources& sources_;
    SoundManager& sounds_;
    Lifetime lifetime_;
    std::vector<Subscription> cancellables;
    Debounce powerSourceDebounce_;
    PropertySet properties_;
};

}  // namespace halvyn
