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
template <class T>
void build(std::unique_ptr<T>& member, Context& ctx, const Assembly::Built& built, std::string_view name) {
    member = std::make_unique<T>(ctx);
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
    build(notch_, ctx, built, "Notch");
    build(screenManager_, ctx, built, "ScreenManager");
    build(notchInput_, ctx, built, "NotchInput");
    build(outline_, ctx, built, "Outline");
    build(sounds_, ctx, built, "SoundManager");
    build(connectivity_, ctx, built, "ConnectivityManager");
    build(volume_, ctx, built, "VolumeManager");
    build(brightness_, ctx, built, "BrightnessManager");
    build(keyboardBrightness_, ctx, built, "KeyboardBrightnessManager");
    build(osdUI_, ctx, built, "OSDUIManager");
    build(battery_, ctx, built, "BatteryManager");
    build(lock_, ctx, built, "LockManager");
    build(focus_, ctx, built, "FocusManager");
    build(privacy_, ctx, built, "PrivacyManager");
    build(calendar_, ctx, built, "CalendarManager");
    build(weather_, ctx, built, "WeatherManager");
    build(updates_, ctx, built, "UpdateController");
    build(xpc_, ctx, built, "XPCManager");
    build(music_, ctx, built, "MusicManager");
    build(lockScreen_, ctx, built, "LockScreen");
    build(appState_, ctx, built, "AppState");
    build(guiManager_, ctx, built, "GUIManager");
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
