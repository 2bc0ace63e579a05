#include "shell/context_levels.h"

#include <memory>
#include <vector>

#include "app/context.h"
#include "hud/brightness_manager.h"
#include "hud/keyboard_brightness_manager.h"
#include "hud/volume_manager.h"
#include "platform/keyboard_backlight.h"
#include "platform/platform.h"
#include "sources/battery_manager.h"
#include "sources/connectivity_manager.h"

namespace halvyn {

std::optional<float> ContextLevels::volume() const {
    if (!ctx_.platform().audioDevices()) return std::nullopt;
    const VolumeManager& v = ctx_.volume();
    return v.volume.get() > 0 ? v.volume.get() + v.overAmplification.get() : 0.0f;
}

std::optional<float> ContextLevels::brightness() const {
    if (!ctx_.platform().displayBrightness()) return std::nullopt;
    return ctx_.brightness().currentBrightness.get();
}

std::optional<float> ContextLevels::keyboardBrightness() const {
    // A machine without a lit keyboard has the port but never a level.
    const KeyboardBacklight* port = ctx_.platform().keyboardBacklight();
    if (!port || !port->level()) return std::nullopt;
    return ctx_.keyboardBrightness().currentKeyboardBrightness.get();
}

std::optional<double> ContextLevels::batteryLevel() const {
    if (!ctx_.platform().powerSources() || !ctx_.battery().batteryHelper) return std::nullopt;
    return ctx_.battery().batteryLevel.get();
}

std::optional<std::string> ContextLevels::outputDeviceSymbol() const {
    if (!ctx_.platform().audioDevices()) return std::nullopt;
    const auto device = ctx_.connectivity().virtualDevice.get();
    if (!device || device->kind == VirtualDevice::Kind::macBook) return std::nullopt;
    return ctx_.connectivity().deviceSymbol();
}

std::optional<DisplayLevels::Power> ContextLevels::power() const {
    const auto level = batteryLevel();
    if (!level) return std::nullopt;
    const BatteryManager& b = ctx_.battery();
    return Power{*level, b.isOnBattery.get(), b.isLowPowerModeEnabled.get()};
}

std::optional<DisplayLevels::Accessory> ContextLevels::accessory() const {
    if (!ctx_.platform().audioDevices()) return std::nullopt;
    const ConnectivityManager& c = ctx_.connectivity();
    const auto device = c.virtualDevice.get();
    if (!device) return std::nullopt;
    Accessory a{device->displayName(), c.deviceSymbol(), c.batteryLevel.get(), false};
    a.batteryLow = c.batteryIndicatorColor() == std::optional<std::string>("RoseColor");
    return a;
}

Subscription ContextLevels::observe(std::function<void(const Animation*)> changed) const {
    auto cb = std::make_shared<std::function<void(const Animation*)>>(std::move(changed));
    auto subs = std::make_shared<std::vector<Subscription>>();
    auto forward = [cb](const auto&, const Animation* anim) { (*cb)(anim); };
    Platform& p = ctx_.platform();
    if (p.audioDevices()) {
        subs->push_back(ctx_.volume().volume.observe(forward));
        subs->push_back(ctx_.volume().overAmplification.observe(forward));
        subs->push_back(ctx_.connectivity().virtualDevice.observe(forward));
        subs->push_back(ctx_.connectivity().batteryLevel.observe(forward));
    }
    if (p.displayBrightness()) subs->push_back(ctx_.brightness().currentBrightness.observe(forward));
    if (p.keyboardBacklight())
        subs->push_back(ctx_.keyboardBrightness().currentKeyboardBrightness.observe(forward));
    if (p.powerSources()) {
        subs->push_back(ctx_.battery().batteryLevel.observe(forward));
        subs->push_back(ctx_.battery().isOnBattery.observe(forward));
        subs->push_back(ctx_.battery().isLowPowerModeEnabled.observe(forward));
    }
    return Subscription([subs] { subs->clear(); });
}

}  // namespace halvyn
