#pragma once
// Follows the keyboard's backlight and asks the notch for the keyboard display when the hardware
// changes the level (a key the firmware handles). Changes that programs make through the service
// are followed but not shown: the desktop dims the keyboard when idle and shows its own display
// for the keys it handles. It keeps to the brightness display's look and Focus and lock rules,
// with its own switch. It only observes.

#include "notch/notch_sources.h"
#include "runtime/properties.h"
#include "runtime/published.h"

namespace halvyn {

class BatteryManager;
class Context;
class Defaults;
class Notch;
class NotchSources;
class ScreenManager;

class KeyboardBrightnessManager final : public NotificationSource {
public:
    KeyboardBrightnessManager(Context& ctx, Defaults& defaults, Notch& notch, NotchSources& sources,
                              const ScreenManager& screens, const BatteryManager& battery);
    KeyboardBrightnessManager(const KeyboardBrightnessManager&) = delete;
    KeyboardBrightnessManager& operator=(const KeyboardBrightnessManager&) = delete;

    // Level shown by the views, 0...1.
    Owned<float, KeyboardBrightnessManager> currentKeyboardBrightness{0.0f};

    bool allowsNotification(Notch::Notification kind) const override;
    const PropertySet& properties() const { return properties_; }

private:
    void changed(float level, bool external);

    Context& ctx_;
    Defaults& defaults_;
    Notch& notch_;
    const ScreenManager& screens_;
    const BatteryManager& battery_;
    Subscription registration_, changes_;
    PropertySet properties_;
};

}  // namespace halvyn
