#pragma once
// Follows the brightness of one display (the built-in one, else the main one) and asks the
// notch for the brightness display when the level moves by a key step. It only observes.

#include <memory>
#include <optional>

#include "notch/notch_sources.h"
#include "platform/display_brightness.h"
#include "runtime/logger.h"
#include "runtime/properties.h"
#include "runtime/published.h"
#include "runtime/seam.h"

namespace halvyn {

class Services;
class Defaults;
class FocusStateSource;
class Notch;
class NotchSources;
class ScreenManager;

class BrightnessManager final : public NotificationSource {
public:
    BrightnessManager(Services& ctx, Defaults& defaults, Notch& notch, NotchSources& sources,
                      const ScreenManager& screens, Seam<FocusStateSource> focus,
                      Seam<const Published<bool>> powerSourceChanged);
    ~BrightnessManager() override;
    BrightnessManager(const BrightnessManager&) = delete;
    BrightnessManager& operator=(const BrightnessManager&) = delete;

    // Level shown by the views.
    Owned<float, BrightnessManager> currentBrightness{100.0f};

    bool allowsNotification(Notch::Notification kind) const override;

    // The display followed, if there is one.
    std::optional<DisplayID> observedDisplay() const { return display_; }
    const PropertySet& properties() const { return properties_; }

    // The main-thread flag that records a display's registration.
    static std::string observingKey(DisplayID display);

private:
    std::optional<DisplayID> chooseDisplay() const;
    void registerForChanges(DisplayID display);
    void brightnessChanged(float level);

    Services& ctx_;
    Seam<FocusStateSource> focus_;
    // The battery's "the power source changed recently" (the battery is built later).
    Seam<const Published<bool>> powerSourceChanged_;
    Defaults& defaults_;
    Notch& notch_;
    NotchSources& sources_;
    const ScreenManager& screens_;
    DisplayBrightness* displayServices_;
    std::optional<DisplayID> display_;
    Subscription registration_;
    PropertySet properties_;
    std::shared_ptr<BrightnessManager*> self_;
};

}  // namespace halvyn
