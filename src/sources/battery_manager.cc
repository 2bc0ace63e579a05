#include "sources/battery_manager.h"

#include <cmath>

#include "hud/sound_manager.h"
#include "platform/platform.h"
#include "platform/power_sources.h"
#include "platform/services.h"
#include "settings/defaults.h"
#include "sources/source_state.h"

namespace halvyn {

BatteryManager::BatteryManager(Services& ctx, Defaults& defaults, Notch& notch, NotchSources& notchSources,
                               SoundManager& sounds, Seam<FocusStateSource> focus)
    : ctx_(ctx), focus_(std::move(focus)), defaults_(defaults), notch_(notch), sources_(notchSources), sounds_(sounds),
      powerSourceDebounce_(ctx.main(), "hasRecentlyChangedPowerSource") {
    properties_.add("batteryLevel", batteryLevel);
    properties_.add("isOnBattery", isOnBattery);
    properties_.add("isLowPowerModeEnabled", isLowPowerModeEnabled);
    properties_.add("hasPassedThreshold", hasPassedThreshold);
    properties_.add("hasRecentlyChangedPowerSource", hasRecentlyChangedPowerSource);
    properties_.add("remainingTime", remainingTime);

    sounds_.prepareAlert("low-power", "caf");

    PowerSources* sources = ctx.platform().powerSources();
    const Lifetime::Token weak = lifetime_.token();
    if (sources) {
        batteryHelper = BatteryHelper::find(*sources);
        // A battery service that answers only after start-up, or comes back, is read then.
        cancellables.push_back(sources->observeConnected([this, weak, sources] {
            if (weak) serviceConnected(*sources);
        }));
    }
    updateRemainingTime();
    if (batteryHelper) follow(*sources);

    auto& registry = sources_;
    for (auto kind : {Notch::Notification::isCharging, Notch::Notification::isLowBattery,
                      Notch::Notification::isLowPowerMode})
        cancellables.push_back(registry.addNotificationSource(kind, *this));
}

BatteryManager::~BatteryManager() = default;

bool BatteryManager::allowsNotification(Notch::Notification) const {
    const Defaults& d = defaults_;
    return allowsShowing(d, focus_, sources_,
                         {keys::enableBattery, keys::allowBatteryWhenFocused, keys::allowBatteryWhenLocked});
}

const char* batteryNotificationTitle(Notch::Notification kind) {
    switch (kind) {
        case Notch::Notification::isCharging: return "Charging";
        case Notch::Notification::isLowBattery: return "Low Battery";
        case Notch::Notification::isLowPowerMode: return "Low Power";
        default: return nullptr;
    }
}

std::optional<std::string> BatteryManager::notificationLabel(Notch::Notification kind) const {
    if (defaults_.get(keys::hideBatteryLabel)) return std::nullopt;
    const char* title = batteryNotificationTitle(kind);
    if (!title) return std::nullopt;
    return title;
}

std::optional<int> BatteryManager::notificationPercentage() const {
    if (defaults_.get(keys::hideBatteryPercentage)) return std::nullopt;
    return static_cast<int>(std::lround(batteryLevel.get() * 100));
}

void BatteryManager::follow(PowerSources& sources) {
    const Lifetime::Token weak = lifetime_.token();
    cancellables.push_back(sources.observeChanges([this, weak] {
        if (weak) powerSourceChanged();
    }));
    // Without a battery there is no low-power mode to report either: nothing is followed.
    cancellables.push_back(sources.observeLowPowerMode([this, weak](std::optional<bool> enabled) {
        if (!weak) return;
        lowPowerModeChanged(enabled);
        updateRemainingTime();
    }));
}

void BatteryManager::serviceConnected(PowerSources& sources) {
    if (!batteryHelper) {
        batteryHelper = BatteryHelper::find(sources);
        if (!batteryHelper) return;
        follow(sources);
    }
    update(true);
    updateRemainingTime();
}

void BatteryManager::powerSourceChanged() {
    hasRecentlyChangedPowerSource.set(true);
    powerSourceDebounce_.schedule(0.5, [this] { hasRecentlyChangedPowerSource.set(false); });
    update();
    updateRemainingTime();
}

void BatteryManager::update(bool baseline) {
    if (!batteryHelper) return;
    const bool wasOnBattery = isOnBattery.get();
    isOnBattery.set(batteryHelper->powerSource() != PowerSource::powerAdapter);
    const bool changed = !baseline && wasOnBattery != isOnBattery.get();
    const auto percent = batteryHelper->batteryPercent();
    batteryLevel.set(percent ? *percent / 100.0 : 0.0);

    const Defaults& d = defaults_;
    if (!d.get(keys::enableBattery)) return;

    // A level nobody knows reads as 0 for the views, but is no reason to warn.
    if (percent && batteryLevel.get() <= d.get(keys::lowBatteryThreshold) / 100.0 && isOnBattery.get() &&
        !hasPassedThreshold.get()) {
        warnLowBattery();
        hasPassedThreshold.set(true);
        return;
    }
    // A first reading on the adapter ends the discharge as a connection would, silently.
    if (baseline && !isOnBattery.get()) hasPassedThreshold.set(false);
    if (changed && !isOnBattery.get()) {
        hasPassedThreshold.set(false);
        const Lifetime::Token weak = lifetime_.token();
        ctx_.main().postAfter(seconds(0.2), [this, weak] {
            if (weak) request(Notch::Notification::isCharging);
        });
    }
    // Disconnecting the adapter asks for nothing.
}

void BatteryManager::updateRemainingTime() {
    remainingTime.set(batteryHelper ? batteryHelper->timeToFull() : std::nullopt);
}

void BatteryManager::lowPowerModeChanged(std::optional<bool> enabled) {
    if (!defaults_.get(keys::notifyOnLowPowerMode)) return;
    isLowPowerModeEnabled.set(enabled.value_or(false));
    if (isLowPowerModeEnabled.get()) request(Notch::Notification::isLowPowerMode);
}

void BatteryManager::warnLowBattery() {
    const Defaults& d = defaults_;
    if (!d.get(keys::warnOnLowBattery)) return;
    if (d.get(keys::playSoundOnLowBattery)) sounds_.playAlert("low-power");
    request(Notch::Notification::isLowBattery);
}

void BatteryManager::request(Notch::Notification kind) {
    notch_.setNotification(true, kind, 0.35, defaults_.get(keys::batteryDuration));
}

}  // namespace halvyn
