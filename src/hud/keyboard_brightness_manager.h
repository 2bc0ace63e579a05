#pragma once
// Follows the keyboard's backlight and asks the notch for the keyboard display when the hardware
// changes the level (a key the firmware handles). Changes that programs make through the service
// are followed but not shown: the desktop dims the keyboard when idle and shows its own display
// for the keys it handles. It keeps to the brightness display's look and Focus and lock rules,
// with its own switch. It only observes.

#include "notch/notch_sources.h"
#include "runtime/properties.h"
#include "runtime/published.h"
#include "runtime/seam.h"

namespace halvyn {

class BatteryManager;
class Services;
class Defaults;
class FocusStateSource;
class Notch;
class NotchSources;
class ScreenManager;

class KeyboardBrightnessManager final : public NotificationSource {
public:
    KeyboardBrightnessManager(Services& ctx, Defaults& defaults, Notch& notch, NotchSources& sources,
                              const ScreenManager& screens, const BatteryManager& battery,
                              Seam<FocusStateSource> focus);
    KeyboardBrightnessManager(const KeyboardBrightnessManager&) = delete;
    KeyboardBrightnessManager& operator=(const KeyboardBrightnessManager&) = delete;

    // Level shown by the views, 0...1.
    Owned<float, KeyboardBrightnessManager> currentKeyboardBrightness{0.0f};

    bool allowsNotification(Notch::Notification kind) const override;
    const PropertySet& properties() const { return properties_; }

private:
    void changed(float level, bool external);

    Services& ctx_;
    Seam<FocusStateSource> focus_;
    NotchSources& sources_;
    Defaults& defaults_;
    Notch& notch_;
    const ScreenManager& screens_;
    const BatteryManager& battery_;
    Subscription registration_, changes_;
    PropertySet properties_;
};

}  // namespace halvyn
