#pragma once
// Every setting of the system, declared once, in the order of the settings table: that order
// is the order in which synchronised keys are added to the cloud synchroniser. Each row is
// (name, type, default, sync); the name is also the key in the preferences domain.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/value.h"
#include "settings/key.h"

namespace halvyn {

class Defaults;

inline WidgetOrder defaultWidgetOrder() {
    return {LockScreenWidgetType::battery, LockScreenWidgetType::connectivity, LockScreenWidgetType::focus,
            LockScreenWidgetType::calendar, LockScreenWidgetType::weather};
}

// clang-format off
#define HALVYN_SETTINGS_KEYS(X) \
    X(isFirstLaunch, bool, true, no) \
    X(launchAtLogin, bool, false, no) \
    X(hideMenuBarIcon, bool, false, no) \
    X(hideFromScreenCapture, bool, false, no) \
    X(disableWhileInFullscreen, bool, false, no) \
    X(simulateFakeNotch, bool, false, no) \
    X(synchronizeSettings, bool, true, no) \
    X(showOnDisplay, DisplayType, DisplayType::mainScreen, no) \
    X(showRemainingTime, bool, true, no) \
    X(enableHaptics, bool, true, yes) \
    X(allowSimultaneousActivities, bool, false, yes) \
    X(expandNotchOnHover, bool, false, yes) \
    X(hoverDuration, double, 0.0, yes) \
    X(disableExpandWhileInactive, bool, false, yes) \
    X(useAccentColorOnGestures, bool, false, yes) \
    X(naturalMovement, bool, false, yes) \
    X(swipeToToggle, bool, true, yes) \
    X(swipeToDismiss, bool, true, yes) \
    X(swipeToSkip, bool, true, yes) \
    X(notchAdjustedWidth, double, 0.0, no) \
    X(notchAdjustedHeight, double, 0.0, no) \
    X(enableBattery, bool, true, yes) \
    X(batteryDuration, double, 5.0, yes) \
    X(notifyOnLowPowerMode, bool, true, yes) \
    X(warnOnLowBattery, bool, true, yes) \
    X(lowBatteryThreshold, double, 10.0, yes) \
    X(hideBatteryLabel, bool, false, yes) \
    X(hideBatteryPercentage, bool, false, yes) \
    X(playSoundOnLowBattery, bool, true, yes) \
    X(enableConnectivity, bool, true, yes) \
    X(hasPromptedBluetoothPermission, bool, false, no) \
    X(connectivityDuration, double, 5.0, yes) \
    X(warnOnLowConnectBattery, bool, false, yes) \
    X(lowConnectBatteryThreshold, double, 20.0, yes) \
    X(playSoundOnLowConnectBattery, bool, false, yes) \
    X(connectivityModel, ConnectivityModel, ConnectivityModel::threeDimensional, yes) \
    X(enableFocus, bool, true, yes) \
    X(displayWhileActive, bool, false, yes) \
    X(focusDuration, double, 5.0, yes) \
    X(hideLabel, bool, false, yes) \
    X(allowBatteryWhenFocused, bool, true, yes) \
    X(allowConnectivityWhenFocused, bool, true, yes) \
    X(allowBrightnessWhenFocused, bool, true, yes) \
    X(allowVolumeWhenFocused, bool, true, yes) \
    X(enableBrightness, bool, true, yes) \
    X(brightnessDuration, double, 1.5, yes) \
    X(brightnessProgressStyle, HUDProgressStyle, HUDProgressStyle::white, yes) \
    X(brightnessSpeed, HUDSpeed, HUDSpeed::fast, yes) \
    X(showBrightnessPercentage, bool, false, yes) \
    X(hideBrightnessLabel, bool, false, yes) \
    X(brightnessSymbolScaling, SymbolScaling, SymbolScaling::scale, yes) \
    X(enableVolume, bool, true, yes) \
    X(outputDevice, OutputDevice, OutputDevice::dynamic, yes) \
    X(volumeDuration, double, 1.5, yes) \
    X(volumeProgressStyle, HUDProgressStyle, HUDProgressStyle::white, yes) \
    X(volumeSpeed, HUDSpeed, HUDSpeed::fast, yes) \
    X(showVolumePercentage, bool, false, yes) \
    X(hideVolumeLabel, bool, false, yes) \
    X(volumeSymbolScaling, SymbolScaling, SymbolScaling::scale, yes) \
    X(synchronizedHUD, bool, true, yes) \
    X(hudDuration, double, 1.5, yes) \
    X(hudProgressStyle, HUDProgressStyle, HUDProgressStyle::white, yes) \
    X(hudSpeed, HUDSpeed, HUDSpeed::fast, yes) \
    X(showHUDPercentage, bool, false, yes) \
    X(hideHUDLabel, bool, false, yes) \
    X(symbolScaling, SymbolScaling, SymbolScaling::scale, yes) \
    X(enableNowPlaying, bool, true, yes) \
    X(idleDuration, double, 3.0, yes) \
    X(visualizerStyle, ColorStyle, ColorStyle::gradient, yes) \
    X(disableWaveform, bool, false, yes) \
    X(progressStyle, ColorStyle, ColorStyle::mono, yes) \
    X(showArtworkGlare, bool, false, yes) \
    X(disableAlbumArtFlip, bool, false, yes) \
    X(disableAlbumArtOpacity, bool, false, yes) \
    X(hideWhileSourceIsActive, bool, false, yes) \
    X(hideWhileInFullscreen, bool, false, yes) \
    X(hideSongTitleExtras, bool, false, yes) \
    X(retainVolumeControlOnCollapse, bool, false, yes) \
    X(controlChoice, ControlType, ControlType::shuffle, yes) \
    X(automaticMusicApp, bool, true, yes) \
    X(musicApp, MusicApp, MusicApp::system, no) \
    X(excludeInaptSources, bool, true, yes) \
    X(enableQuickPeek, bool, true, yes) \
    X(whenSongChanges, bool, true, yes) \
    X(peekDuration, double, 2.0, yes) \
    X(hideSymbol, bool, false, yes) \
    X(enableCalendar, bool, false, yes) \
    X(timeBeforeEvent, double, 15.0, yes) \
    X(playSoundOnCalendarEvent, bool, true, yes) \
    X(disableActivityDuringEvents, bool, false, yes) \
    X(reverseEventProgress, bool, false, yes) \
    X(excludeSubscribedCalendars, bool, true, no) \
    X(hideCalendarWhileInFullscreen, bool, false, yes) \
    X(playHourlyChime, bool, false, yes) \
    X(notifyWhenTimeToLeave, bool, false, yes) \
    X(timeToLeaveBuffer, double, 10.0, yes) \
    X(timeToLeaveDuration, double, 8.0, yes) \
    X(playSoundOnTimeToLeave, bool, true, yes) \
    X(defaultTransportType, TransportType, TransportType::drive, yes) \
    X(enableCalendarQuickPeek, bool, true, yes) \
    X(beforeEventStarts, bool, false, yes) \
    X(whenEventIsStarting, bool, true, yes) \
    X(calendarPeekDuration, double, 4.0, yes) \
    X(useColoredCalendarIndicator, bool, false, yes) \
    X(enableFileTray, bool, true, yes) \
    X(enableLockScreen, bool, true, yes) \
    X(keepAwake, double, 0.0, yes) \
    X(playSoundOnLock, bool, false, yes) \
    X(playSoundOnUnlock, bool, true, yes) \
    X(allowBatteryWhenLocked, bool, true, yes) \
    X(allowConnectivityWhenLocked, bool, true, yes) \
    X(allowFocusWhenLocked, bool, true, yes) \
    X(allowBrightnessWhenLocked, bool, true, yes) \
    X(allowVolumeWhenLocked, bool, true, yes) \
    X(lockScreenWidgetOrder, WidgetOrder, defaultWidgetOrder(), yes) \
    X(allowBatteryWidgetWhenLocked, bool, true, yes) \
    X(allowConnectivityWidgetWhenLocked, bool, true, yes) \
    X(allowFocusWidgetWhenLocked, bool, true, yes) \
    X(allowNowPlayingWidgetWhenLocked, bool, true, yes) \
    X(hideIdleDuration, double, 10.0, yes) \
    X(showVolumeControl, bool, false, yes) \
    X(allowCalendarWidgetWhenLocked, bool, false, yes) \
    X(hasPromptedCalendarPermission, bool, false, no) \
    X(allowWeatherWidgetWhenLocked, bool, false, yes) \
    X(weatherStyle, WeatherStyle, WeatherStyle::conditions, yes) \
    X(hasPromptedLocationPermission, bool, false, no) \
    X(cachedWeather, JsonRecord, std::nullopt, no) \
    X(earlyBirdUpdates, bool, false, no) \
    X(silenceUpdatePrompt, bool, false, yes) \
    X(showPrivacyIndicator, bool, true, yes) \
    X(notifyWhenRecordingStarts, bool, true, yes) \
    X(enableKeyboardBrightness, bool, true, yes) \
    X(syncFolder, std::string, std::string(), no)
// clang-format on

namespace keys {
#define HALVYN_DECLARE_KEY(name, Type, def, sync) extern const Key<Type> name;
HALVYN_SETTINGS_KEYS(HALVYN_DECLARE_KEY)
#undef HALVYN_DECLARE_KEY
}  // namespace keys

// A key seen without its type: for the synchroniser, halvyn-sim and tests.
struct KeyInfo {
    std::string_view name;
    Sync sync;
    // The default in stored form, as registered; nothing for a key without a default.
    std::optional<Value> storedDefault;
    // Whether a stored object reads back as the key's type (otherwise the default applies).
    bool (*converts)(const Value& stored);
    // What a read returns, as a value for traces.
    Value (*effective)(const Defaults& defaults);
};

// Every key, in table order.
const std::vector<KeyInfo>& allKeys();
// The key with this name, or nullptr.
const KeyInfo* findKey(std::string_view name);
// The names of the synchronised keys, in table order.
const std::vector<std::string_view>& synchronizedKeyNames();

}  // namespace halvyn
