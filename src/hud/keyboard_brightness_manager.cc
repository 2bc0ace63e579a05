#include "hud/keyboard_brightness_manager.h"

#include <algorithm>
#include <cmath>

#include "hud/volume_manager.h"
#include "notch/notch.h"
#include "notch/screen_manager.h"
#include "platform/keyboard_backlight.h"
#include "platform/platform.h"
#include "platform/services.h"
#include "settings/defaults.h"
#include "settings/hud_settings.h"
#include "settings/keys.h"
#include "sources/battery_manager.h"
#include "sources/source_state.h"

namespace halvyn {

namespace {
// A level the service reported, bounded; nothing for one that is not a number.
std::optional<float> bounded(float level) {
    if (std::isnan(level)) return std::nullopt;
    return std::clamp(level, 0.0f, 1.0f);
}
}  // namespace

KeyboardBrightnessManager::KeyboardBrightnessManager(Services& ctx, Defaults& defaults, Notch& notch,
                                                     NotchSources& sources, const ScreenManager& screens,
                                                     const BatteryManager& battery, Seam<FocusStateSource> focus)
    : ctx_(ctx), focus_(std::move(focus)), sources_(sources), defaults_(defaults), notch_(notch), screens_(screens),
      battery_(battery) {
    if (KeyboardBacklight* backlight = ctx.platform().keyboardBacklight()) {
        if (auto level = backlight->level()) currentKeyboardBrightness = bounded(*level).value_or(0.0f);
        changes_ = backlight->observeChanges([this](float level, bool external) { changed(level, external); });
    }
    registration_ = sources.addNotificationSource(Notch::Notification::didChangeKeyboardBrightness, *this);
    properties_.add("currentKeyboardBrightness", currentKeyboardBrightness);
}

bool KeyboardBrightnessManager::allowsNotification(Notch::Notification) const {
    auto& d = defaults_;
    return allowsShowing(d, focus_, sources_,
                         {keys::enableKeyboardBrightness, keys::allowBrightnessWhenFocused,
                          keys::allowBrightnessWhenLocked});
}

void KeyboardBrightnessManager::changed(float level, bool external) {
    auto& d = defaults_;
    if (!d.get(keys::enableKeyboardBrightness)) return;
    const auto b = bounded(level);
    if (!b) return;
    currentKeyboardBrightness.set(*b, Animation::linear(0.1));

    if (!external) return;
    // Firmware restores the light on wake and may dim it on a power change: not the user's key.
    if (screens_.hasRecentlySleptOrWake) return;
    if (battery_.hasRecentlyChangedPowerSource) return;

    const HUDSettings s = hudSettings(d, HUDKind::brightness);
    notch_.setNotification(true, Notch::Notification::didChangeKeyboardBrightness, animationDuration(s.speed),
                                 s.duration);
}

}  // namespace halvyn
