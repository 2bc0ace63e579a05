#include "hud/brightness_manager.h"

#include <cmath>
#include <string>

#include "hud/volume_manager.h"
#include "notch/notch.h"
#include "notch/screen_manager.h"
#include "platform/platform.h"
#include "platform/screens.h"
#include "platform/services.h"
#include "settings/defaults.h"
#include "settings/hud_settings.h"
#include "settings/keys.h"
#include "sources/battery_manager.h"
#include "sources/source_state.h"

namespace halvyn {

std::string BrightnessManager::observingKey(DisplayID display) {
    return "observingBrightnessChange-" + std::to_string(display);
}

BrightnessManager::BrightnessManager(Services& ctx, Defaults& defaults, Notch& notch, NotchSources& sources,
                                     const ScreenManager& screens, Seam<FocusStateSource> focus,
                                     Seam<const Published<bool>> powerSourceChanged)
    : ctx_(ctx), focus_(std::move(focus)), powerSourceChanged_(std::move(powerSourceChanged)), defaults_(defaults),
      notch_(notch), sources_(sources), screens_(screens),
      displayServices_(ctx.platform().displayBrightness()), self_(std::make_shared<BrightnessManager*>(this)) {
    display_ = chooseDisplay();
    if (display_ && displayServices_) {
        currentBrightness = displayServices_->brightness(*display_).value_or(0.0f);
        registerForChanges(*display_);
    }
    registration_ = sources_.addNotificationSource(Notch::Notification::didChangeBrightness, *this);
    properties_.add("currentBrightness", currentBrightness);
}

BrightnessManager::~BrightnessManager() { *self_ = nullptr; }

std::optional<DisplayID> BrightnessManager::chooseDisplay() const {
    auto* screens = ctx_.platform().screens();
    if (!screens) return std::nullopt;
    const auto list = screens->screens();
    for (auto& s : list)
        if (s.isBuiltIn()) return *s.displayNumber;
    for (auto& s : list)
        if (s.mainDisplay && s.displayNumber) return *s.displayNumber;
    return std::nullopt;
}

void BrightnessManager::registerForChanges(DisplayID display) {
    const std::string key = observingKey(display);
    if (!displayServices_->canChangeBrightness(display) || displayServices_->threadFlag(key)) return;
    // The framework keeps the callback for the rest of the run; it finds the manager through a
    // weak reference and does nothing once the manager is gone.
    MainQueue* main = &ctx_.main();
    std::weak_ptr<BrightnessManager*> weak = self_;
    const int result = displayServices_->registerForBrightnessChanges(display, [main, weak](const Value& userInfo) {
        main->post([weak, userInfo] {
            const Value* value = userInfo.find("value");
            if (!value || !value->isNumber()) return;
            if (auto s = weak.lock(); s && *s) (*s)->brightnessChanged(static_cast<float>(value->asNumber()));
        });
    });
    displayServices_->setThreadFlag(key, result == 0);
}

bool BrightnessManager::allowsNotification(Notch::Notification) const {
    auto& d = defaults_;
    return allowsShowing(d, focus_, sources_,
                         {keys::enableBrightness, keys::allowBrightnessWhenFocused, keys::allowBrightnessWhenLocked});
}

void BrightnessManager::brightnessChanged(float level) {
    auto& d = defaults_;
    if (!d.get(keys::enableBrightness)) return;
    const float clamped = level > 0.0f ? level : 0.0f;
    const float diff = std::fabs(currentBrightness - clamped);
    currentBrightness.set(clamped, Animation::linear(0.1));

    if (!isKeyStep(diff) || diff >= 0.1f) return;
    if (screens_.hasRecentlySleptOrWake) return;
    if (const auto* changed = powerSourceChanged_.get(); changed && changed->get()) return;

    const HUDSettings s = hudSettings(d, HUDKind::brightness);
    notch_.setNotification(true, Notch::Notification::didChangeBrightness, animationDuration(s.speed),
                                 s.duration);
}

}  // namespace halvyn
