#include "app/assembly.h"

#include "app/app_state.h"
#include "app/context.h"
#include "calendar/calendar_manager.h"
#include "hud/brightness_manager.h"
#include "hud/keyboard_brightness_manager.h"
#include "hud/osdui_manager.h"
#include "hud/sound_manager.h"
#include "hud/volume_manager.h"
#include "lockscreen/lock_manager.h"
#include "lockscreen/lock_screen.h"
#include "notch/gui_manager.h"
#include "notch/notch.h"
#include "notch/notch_input.h"
#include "notch/notch_sources.h"
#include "notch/outline_model.h"
#include "notch/screen_manager.h"
#include "nowplaying/music_manager.h"
#include "nowplaying/xpc_manager.h"
#include "platform/platform.h"
#include "settings/defaults.h"
#include "sources/battery_manager.h"
#include "sources/connectivity_manager.h"
#include "sources/focus_manager.h"
#include "sources/privacy_manager.h"
#include "updates/update_controller.h"
#include "weather/weather_manager.h"

namespace halvyn {

namespace {
// A manager takes the context (runtime, platform, logging), then the managers it uses, all built
// before it, then the seams to the ones built after it.
template <class T, class... Deps>
void build(std::unique_ptr<T>& member, Context& ctx, const Assembly::Built& built, std::string_view name,
           Deps&&... deps) {
    member = std::make_unique<T>(ctx, std::forward<Deps>(deps)...);
    if (built) built(name);
}
}  // namespace

Assembly::Lent::Lent(Context& c, Assembly& a) : ctx(c) { ctx.lend(&a); }
Assembly::Lent::~Lent() { ctx.lend(nullptr); }

Assembly::Assembly(Context& ctx, Seams seams, const Built& built) : ctx_(ctx), seams_(seams), lent_(ctx, *this) {
    defaults_ = std::make_unique<Defaults>(ctx.platform().preferences(), ctx.platform().cloudStore(), ctx.runtime(),
                                           ctx.logger("Defaults"));
    if (built) built("Defaults");
    notchSources_ = std::make_unique<NotchSources>();
    if (built) built("NotchSources");
    build(guiManager_, ctx, built, "GUIManager", seam(&Assembly::systemHUD));
    build(notch_, ctx, built, "Notch", *defaults_, *notchSources_, *guiManager_);
    build(screenManager_, ctx, built, "ScreenManager", *defaults_, *notch_, *guiManager_);
    build(notchInput_, ctx, built, "NotchInput", *defaults_, *notch_, *notchSources_,
          seam(&Assembly::nowPlayingControls), seam(&Assembly::calendarControls));
    build(outline_, ctx, built, "Outline", *defaults_, *notch_, *notchInput_);
    build(sounds_, ctx, built, "SoundManager");
    const auto focus = seam(&Assembly::focusState);
    build(connectivity_, ctx, built, "ConnectivityManager", *defaults_, *notch_, *notchSources_, *sounds_, focus);
    build(volume_, ctx, built, "VolumeManager", *defaults_, *notch_, *notchSources_, *connectivity_, focus,
          seam(&Assembly::nowPlayingVisibility));
    build(brightness_, ctx, built, "BrightnessManager", *defaults_, *notch_, *notchSources_, *screenManager_, focus,
          Seam<const Published<bool>>([this]() -> const Published<bool>* {
              return battery_ ? &battery_->hasRecentlyChangedPowerSource : nullptr;
          }));
    build(osdUI_, ctx, built, "OSDUIManager", *defaults_, *guiManager_);
    build(battery_, ctx, built, "BatteryManager", *defaults_, *notch_, *notchSources_, *sounds_, focus);
    build(keyboardBrightness_, ctx, built, "KeyboardBrightnessManager", *defaults_, *notch_, *notchSources_,
          *screenManager_, *battery_, focus);
    build(lock_, ctx, built, "LockManager", *defaults_, *notch_, *notchSources_, *sounds_, *guiManager_,
          LockedScreenParts{
              Seam<LockScreenPresenter>([this] { return static_cast<LockScreenPresenter*>(lockScreen_.get()); }),
              Seam<CalendarRefresh>([this] { return static_cast<CalendarRefresh*>(calendar_.get()); }),
              Seam<WeatherUpdates>([this] { return static_cast<WeatherUpdates*>(weather_.get()); })});
    build(focus_, ctx, built, "FocusManager", *defaults_, *notch_, *notchSources_, *lock_);
    build(privacy_, ctx, built, "PrivacyManager", *defaults_, *notch_, *notchSources_, focus);
    build(calendar_, ctx, built, "CalendarManager", *defaults_, *notch_, *notchSources_, *screenManager_, *sounds_,
          *lock_, Seam<const Published<LocationAuthorization>>([this]() -> const Published<LocationAuthorization>* {
              return weather_ ? &weather_->authorizationStatus : nullptr;
          }));
    build(weather_, ctx, built, "WeatherManager", *defaults_);
    build(updates_, ctx, built, "UpdateController", *defaults_, *screenManager_);
    build(xpc_, ctx, built, "XPCManager", *defaults_,
          Seam<HelperSource>([this] { return music_ ? &music_->helperSource() : nullptr; }));
    build(music_, ctx, built, "MusicManager", *defaults_, *notch_, *notchSources_, *screenManager_, *connectivity_,
          *lock_, *xpc_);
    build(lockScreen_, ctx, built, "LockScreen", *defaults_, *lock_, *calendar_, *weather_, *music_);
    build(appState_, ctx, built, "AppState", *defaults_, *notch_, *notchSources_, *connectivity_, *osdUI_, *focus_,
          *calendar_, *weather_, *updates_, *music_, *xpc_);
}

template <class T>
Seam<T> Assembly::seam(T* (Assembly::*answer)() const) const {
    return Seam<T>([this, answer] { return (this->*answer)(); });
}

Assembly::~Assembly() = default;

SystemHUDSuppression* Assembly::systemHUD() const {
    if (seams_.systemHUD) return seams_.systemHUD;
    return osdUI_.get();
}

FocusStateSource* Assembly::focusState() const {
    if (seams_.focusState) return seams_.focusState;
    return focus_.get();
}

NowPlayingVisibility* Assembly::nowPlayingVisibility() const {
    if (seams_.nowPlayingVisibility) return seams_.nowPlayingVisibility;
    return music_ ? &music_->visibility() : nullptr;
}

NowPlayingControls* Assembly::nowPlayingControls() const {
    if (seams_.nowPlayingControls) return seams_.nowPlayingControls;
    return music_ ? &music_->controls() : nullptr;
}

CalendarControls* Assembly::calendarControls() const {
    if (seams_.calendarControls) return seams_.calendarControls;
    return calendar_.get();
}

}  // namespace halvyn
