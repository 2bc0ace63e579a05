#pragma once
// The simulated operating system: every port implemented over plain state that a test or a
// scenario sets, with every side effect recorded in one EffectLog.

#include <memory>

#include "platform/platform.h"
#include "platform/sim/effect_log.h"
#include "platform/sim/sim_cloud_store.h"
#include "platform/sim/sim_preferences.h"
#include "platform/sim/sim_app_shell.h"
#include "platform/sim/sim_audio_devices.h"
#include "platform/sim/sim_bluetooth.h"
#include "platform/sim/sim_display_brightness.h"
#include "platform/sim/sim_file_system.h"
#include "platform/sim/sim_http.h"
#include "platform/sim/sim_keyboard_backlight.h"
#include "platform/sim/sim_calendar.h"
#include "platform/sim/sim_capture_devices.h"
#include "platform/sim/sim_locale.h"
#include "platform/sim/sim_location.h"
#include "platform/sim/sim_travel_time.h"
#include "platform/sim/sim_url_opener.h"
#include "platform/sim/sim_weather.h"
#include "platform/sim/sim_focus_log.h"
#include "platform/sim/sim_log_stream.h"
#include "platform/sim/sim_login_items.h"
#include "platform/sim/sim_installer.h"
#include "platform/sim/sim_now_playing.h"
#include "platform/sim/sim_power_assertions.h"
#include "platform/sim/sim_power_sources.h"
#include "platform/sim/sim_processes.h"
#include "platform/sim/sim_sounds.h"
#include "platform/sim/sim_darwin_notify.h"
#include "platform/sim/sim_screens.h"
#include "platform/sim/sim_system.h"
#include "platform/sim/sim_window_server.h"
#include "platform/sim/sim_workspace.h"

namespace halvyn {

class MainQueue;

class SimPlatform final : public Platform {
public:
    explicit SimPlatform(MainQueue& main);
    ~SimPlatform() override;

    Preferences* preferences() override { return &preferences_; }
    CloudStore* cloudStore() override { return &cloudStore_; }
    SimPreferences& simPreferences() { return preferences_; }
    SimCloudStore& simCloudStore() { return cloudStore_; }

    EffectLog& effects() { return effects_; }
    MainQueue& mainQueue() { return main_; }

    AudioDevices* audioDevices() override { return &audio_; }
    DisplayBrightness* displayBrightness() override { return &brightness_; }
    Processes* processes() override { return &processes_; }
    Sounds* sounds() override { return &sounds_; }
    SimAudioDevices& audio() { return audio_; }
    SimDisplayBrightness& brightness() { return brightness_; }
    // Absent once the scenario says the machine has no lit keyboard.
    KeyboardBacklight* keyboardBacklight() override { return keyboardPresent_ ? &keyboard_ : nullptr; }
    SimKeyboardBacklight& keyboard() { return keyboard_; }
    void setKeyboardPresent(bool present) { keyboardPresent_ = present; }
    SimProcesses& simProcesses() { return processes_; }
    SimSounds& simSounds() { return sounds_; }
    PowerSources* powerSources() override { return &power_; }
    Bluetooth* bluetooth() override { return &bluetooth_; }
    SimPowerSources& simPowerSources() { return power_; }
    SimBluetooth& simBluetooth() { return bluetooth_; }

    Http* http() override { return &http_; }
    FileSystem* fileSystem() override { return &files_; }
    SimHttp& simHttp() { return http_; }
    SimFileSystem& simFiles() { return files_; }
    Bundle* bundle() override { return &bundle_; }
    Installer* installer() override { return &installer_; }
    SimBundle& simBundle() { return bundle_; }
    SimInstaller& simInstaller() { return installer_; }
    ArchiveVerifier* archiveVerifier() override { return &verifier_; }
    SimArchiveVerifier& simVerifier() { return verifier_; }
    SimUpdateWindow& simUpdateWindow() { return updateWindow_; }

    PlayerApplications* players() override { return &players_; }
    HelperConnection* helper() override { return &helper_; }
    AppleScript* appleScript() override { return &appleScript_; }
    Pasteboard* pasteboard() override { return &pasteboard_; }
    AppLauncher* appLauncher() override { return &launcher_; }
    ArtworkDecoder* artworkDecoder() override { return &artwork_; }
    SimPlayers& simPlayers() { return players_; }
    SimHelper& simHelper() { return helper_; }
    SimAppleScript& simAppleScript() { return appleScript_; }
    SimPasteboard& simPasteboard() { return pasteboard_; }
    SimAppLauncher& simLauncher() { return launcher_; }
    FocusStatus* focusStatus() override { return focusStatus_ ? focusStatus_ : &focusLog_; }
    // Another Focus source in place of the daemons' log (a desktop adapter, in its tests).
    void useFocusStatus(FocusStatus* status) { focusStatus_ = status; }
    CalendarStore* calendarStore() override { return &calendarStore_; }
    TravelTime* travelTime() override { return &travelTime_; }
    Location* location() override { return &location_; }
    WeatherService* weatherService() override { return &weather_; }
    Locale* locale() override { return &locale_; }
    UrlOpener* urlOpener() override { return &urlOpener_; }
    SimLogStream& simLogStream() { return logStream_; }
    SimCalendarStore& simCalendarStore() { return calendarStore_; }
    SimTravelTime& simTravelTime() { return travelTime_; }
    SimLocation& simLocation() { return location_; }
    SimWeatherService& simWeather() { return weather_; }
    SimLocale& simLocale() { return locale_; }

    LoginItems* loginItems() override { return &loginItems_; }
    SimLoginItems& simLoginItems() { return loginItems_; }
    SimAppShell& simAppShell() { return appShell_; }

    Screens* screens() override { return &screens_; }
    WindowServer* windowServer() override { return &windowServer_; }
    OverlayPlacement* overlayPlacement() override { return &windowServer_; }
    Workspace* workspace() override { return &workspace_; }
    DarwinNotify* darwinNotify() override { return &darwinNotify_; }
    SystemInfo* systemInfo() override { return &systemInfo_; }
    Haptics* haptics() override { return &haptics_; }

    SimScreens& simScreens() { return screens_; }
    SimWindowServer& simWindowServer() { return windowServer_; }
    SimWorkspace& simWorkspace() { return workspace_; }
    SimDarwinNotify& simDarwinNotify() { return darwinNotify_; }
    SimSystemInfo& simSystemInfo() { return systemInfo_; }
    SimHaptics& simHaptics() { return haptics_; }

    PowerAssertions* powerAssertions() override { return &powerAssertions_; }
    CaptureDevices* captureDevices() override { return &capture_; }
    SimCaptureDevices& simCapture() { return capture_; }
    SimPowerAssertions& simPowerAssertions() { return powerAssertions_; }

private:
    MainQueue& main_;
    EffectLog effects_;
    SimPreferences preferences_;
    SimCloudStore cloudStore_;
    SimAudioDevices audio_{main_};
    SimDisplayBrightness brightness_;
    SimKeyboardBacklight keyboard_;
    bool keyboardPresent_ = true;
    SimProcesses processes_{main_, &effects_};
    SimSounds sounds_{main_, &effects_};
    SimPowerSources power_;
    SimBluetooth bluetooth_;
    SimScreens screens_;
    SimWindowServer windowServer_{&effects_};
    SimWorkspace workspace_;
    SimDarwinNotify darwinNotify_{&effects_};
    SimSystemInfo systemInfo_;
    SimHaptics haptics_{&effects_};
    SimFileSystem files_{main_};
    SimHttp http_{main_, &effects_, &files_};
    SimLogStream logStream_{processes_};
    SimFocusLog focusLog_{main_, processes_, logStream_};
    FocusStatus* focusStatus_ = nullptr;
    SimCalendarStore calendarStore_{main_};
    SimTravelTime travelTime_{main_};
    SimLocation location_{main_};
    SimWeatherService weather_{main_};
    SimLocale locale_;
    SimUrlOpener urlOpener_{&effects_};
    SimBundle bundle_;
    SimInstaller installer_{main_, &effects_, files_};
    SimArchiveVerifier verifier_{main_, files_};
    SimUpdateWindow updateWindow_{&effects_};
    SimPlayers players_{&effects_};
    SimHelper helper_{main_, &effects_};
    SimAppleScript appleScript_{&effects_};
    SimPasteboard pasteboard_{&effects_};
    SimAppLauncher launcher_{&effects_, &processes_, &players_};
    SimArtworkDecoder artwork_;
    SimPowerAssertions powerAssertions_{&effects_};
    SimLoginItems loginItems_{&effects_};
    SimAppShell appShell_{&effects_};
    SimCaptureDevices capture_;
};

}  // namespace halvyn
