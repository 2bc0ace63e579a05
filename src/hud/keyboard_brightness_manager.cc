#include "hud/keyboard_brightness_manager.h"

#include <algorithm>
#include <cmath>

#include "app/context.h"
#include "hud/volume_manager.h"
#include "notch/notch.h"
#include "notch/screen_manager.h"
#include "platform/keyboard_backlight.h"
#include "platform/platform.h"
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

KeyboardBrightnessManager::KeyboardBrightnessManager(Context& ctx) : ctx_(ctx) {
    if (KeyboardBacklight* backlight = ctx.platform().keyboardBacklight()) {
        if (auto level = backlight->level()) currentKeyboardBrightness = bounded(*level).value_or(0.0f);
        changes_ = backlight->observeChanges([this](float level, bool external) { changed(level, external); });
    }
    registration_ = ctx.notchSources().addNotificationSource(Notch::Notification::didChangeKeyboardBrightness, *this);
    properties_.add("currentKeyboardBrightness", currentKeyboardBrightness);
}

bool KeyboardBrightnessManager::allowsNotification(Notch::Notification) const {
    auto& d = ctx_.defaults();
    if (!d.get(keys::enableKeyboardBrightness)) return false;
    if (isFocusActive(ctx_) && !d.get(keys::allowBrightnessWhenFocused)) return false;
    if (isScreenLocked(ctx_)) return d.get(keys::allowBrightnessWhenLocked);
    return true;
}

void KeyboardBrightnessManager::changed(float level, bool external) {
    auto& d = ctx_.defaults();
    if (!d.get(keys::enableKeyboardBrightness)) return;
    const auto b = bounded(level);
    if (!b) return;
    currentKeyboardBrightness.set(*b, Animation::linear(0.1));

    if (!external) return;
    // Firmware restores the light on wake and may dim it on a power change: not the user's key.
    if (ctx_.screenManager().hasRecentlySleptOrWake) return;
    if (ctx_.battery().hasRecentlyChangedPowerSource) return;

    const HUDSettings s = hudSettings(d, HUDKind::brightness);
    ctx_.notch().setNotification(true, Notch::Notification::didChangeKeyboardBrightness, animationDuration(s.speed),
                                 s.duration);
}

}  // namespace halvyn
