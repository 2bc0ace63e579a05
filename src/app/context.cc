#include "app/context.h"

#include "app/app_state.h"

#include "calendar/calendar_manager.h"
#include "sources/focus_manager.h"
#include "weather/weather_manager.h"

#include "hud/brightness_manager.h"
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
#include "updates/update_controller.h"

namespace halvyn {

Context::Context(std::unique_ptr<Runtime> runtime, std::unique_ptr<Platform> platform, LogSink* logs)
    : runtime_(std::move(runtime)), platform_(std::move(platform)), logs_(logs) {}

Context::~Context() = default;

Defaults& Context::defaults() {
    if (!defaults_) defaults_ = std::make_unique<Defaults>(platform_->preferences(), platform_->cloudStore(), *runtime_,
                                                           logger("Defaults"));
    return *defaults_;
}

NotchSources& Context::notchSources() {
    if (!notchSources_) notchSources_ = std::make_unique<NotchSources>();
    return *notchSources_;
}

Notch& Context::notch() {
    if (!notch_) notch_ = std::make_unique<Notch>(*this);
    return *notch_;
}

ScreenManager& Context::screenManager() {
    if (!screenManager_) screenManager_ = std::make_unique<ScreenManager>(*this);
    return *screenManager_;
}

GUIManager& Context::guiManager() {
    if (!guiManager_) guiManager_ = std::make_unique<GUIManager>(*this);
    return *guiManager_;
}

NotchInput& Context::notchInput() {
    if (!notchInput_) notchInput_ = std::make_unique<NotchInput>(*this);
    return *notchInput_;
}

Outline& Context::outline() {
    if (!outline_) outline_ = std::make_unique<Outline>(*this);
    return *outline_;
}

SystemHUDSuppression* Context::systemHUD() {
    if (systemHUD_) return systemHUD_;
    return &osdUI();
}

VolumeManager& Context::volume() {
    if (!volume_) volume_ = std::make_unique<VolumeManager>(*this);
    return *volume_;
}

BrightnessManager& Context::brightness() {
    if (!brightness_) brightness_ = std::make_unique<BrightnessManager>(*this);
    return *brightness_;
}

OSDUIManager& Context::osdUI() {
    if (!osdUI_) osdUI_ = std::make_unique<OSDUIManager>(*this);
    return *osdUI_;
}

SoundManager& Context::sounds() {
    if (!sounds_) sounds_ = std::make_unique<SoundManager>(*this);
    return *sounds_;
}

LockScreen& Context::lockScreen() {
    if (!lockScreen_) lockScreen_ = std::make_unique<LockScreen>(*this);
    return *lockScreen_;
}

BatteryManager& Context::battery() {
    if (!battery_) battery_ = std::make_unique<BatteryManager>(*this);
    return *battery_;
}

ConnectivityManager& Context::connectivity() {
    if (!connectivity_) connectivity_ = std::make_unique<ConnectivityManager>(*this);
    return *connectivity_;
}

UpdateController& Context::updates() {
    if (!updates_) updates_ = std::make_unique<UpdateController>(*this);
    return *updates_;
}

LockManager& Context::lock() {
    if (!lock_) lock_ = std::make_unique<LockManager>(*this);
    return *lock_;
}

MusicManager& Context::music() {
    if (!music_) {
        // Created by the now-playing source's first use, the connection exists before the
        // source asks the helper anything.
        xpc();
        music_ = std::make_unique<MusicManager>(*this);
    }
    return *music_;
}

XPCManager& Context::xpc() {
    if (!xpc_) xpc_ = std::make_unique<XPCManager>(*this);
    return *xpc_;
}

FocusManager& Context::focus() {
    if (!focus_) focus_ = std::make_unique<FocusManager>(*this);
    return *focus_;
}

WeatherManager& Context::weather() {
    if (!weather_) weather_ = std::make_unique<WeatherManager>(*this);
    return *weather_;
}

CalendarManager& Context::calendar() {
    if (!calendar_) calendar_ = std::make_unique<CalendarManager>(*this);
    return *calendar_;
}

AppState& Context::appState() {
    if (!appState_) appState_ = std::make_unique<AppState>(*this);
    return *appState_;
}

}  // namespace halvyn
